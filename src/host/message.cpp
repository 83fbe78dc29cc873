#include "host/message.h"

#include <cstdio>
#include <string_view>

#include "text/utf8.h"

namespace host {
namespace {

// Writes text into a record field through the accessor, so that a field
// outside the record is refused rather than written.
int PutText(HostRecord& record, std::size_t offset, std::size_t fieldSize, std::string_view text) {
  if (!record.WriteText(offset, fieldSize, text)) return -1;
  text = text.substr(0, text.find('\0'));  // as WriteText cuts it
  return static_cast<int>(text::Utf8PrefixLength(text, fieldSize - 1));
}

}  // namespace

int PrintMessage(HostRecord& record, std::size_t offset, std::size_t fieldSize, const char* fmt,
                 ...) {
  if (fieldSize == 0 || !record.Contains(offset, fieldSize)) return -1;
  va_list args;
  va_start(args, fmt);
  const std::string text = text::FormatStringV(fmt, args);
  va_end(args);
  return PutText(record, offset, fieldSize, text);
}

int WriteStatusV(StatusRecord& status, const char* fmt, va_list args) {
  if (!status.valid()) return -1;
  return PutText(status.record(), EXT_STATUS_TEXT_OFFSET, EXT_STATUS_TEXT_SIZE,
                 text::FormatStringV(fmt, args));
}

int WriteStatus(StatusRecord& status, const char* fmt, ...) {
  va_list args;
  va_start(args, fmt);
  const int written = WriteStatusV(status, fmt, args);
  va_end(args);
  return written;
}

std::int32_t Fail(StatusRecord& status, const char* fmt, ...) {
  va_list args;
  va_start(args, fmt);
  WriteStatusV(status, fmt, args);
  va_end(args);
  return EXT_RESULT_FAILED;
}

std::int32_t Answer(const outcome::Error& error, StatusRecord& status) {
  if (!error) return EXT_RESULT_OK;
  if (status.valid()) {
    PutText(status.record(), EXT_STATUS_TEXT_OFFSET, EXT_STATUS_TEXT_SIZE, error.Message());
  }
  return error.Result();
}

}  // namespace host
