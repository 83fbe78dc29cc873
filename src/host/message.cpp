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

std::string FormatStringV(const char* fmt, va_list args) {
  char small[512];
  va_list copy;
  va_copy(copy, args);
  const int needed = std::vsnprintf(small, sizeof small, fmt, copy);
  va_end(copy);
  if (needed < 0) return std::string();
  if (static_cast<std::size_t>(needed) < sizeof small) return std::string(small, needed);
  std::string text(static_cast<std::size_t>(needed), '\0');
  va_copy(copy, args);
  const int written = std::vsnprintf(text.data(), text.size() + 1, fmt, copy);
  va_end(copy);
  if (written < 0) return std::string();
  if (static_cast<std::size_t>(written) < text.size()) text.resize(written);
  return text;
}

std::string FormatString(const char* fmt, ...) {
  va_list args;
  va_start(args, fmt);
  std::string text = FormatStringV(fmt, args);
  va_end(args);
  return text;
}

int PrintMessageV(char* field, std::size_t fieldSize, const char* fmt, va_list args) {
  if (field == nullptr || fieldSize == 0) return -1;
  HostRecord record(field, fieldSize);
  return PutText(record, 0, fieldSize, FormatStringV(fmt, args));
}

int PrintMessage(char* field, std::size_t fieldSize, const char* fmt, ...) {
  va_list args;
  va_start(args, fmt);
  const int written = PrintMessageV(field, fieldSize, fmt, args);
  va_end(args);
  return written;
}

int PrintMessage(HostRecord& record, std::size_t offset, std::size_t fieldSize, const char* fmt,
                 ...) {
  if (fieldSize == 0 || !record.Contains(offset, fieldSize)) return -1;
  va_list args;
  va_start(args, fmt);
  const std::string text = FormatStringV(fmt, args);
  va_end(args);
  return PutText(record, offset, fieldSize, text);
}

int WriteStatusV(StatusRecord& status, const char* fmt, va_list args) {
  if (!status.valid()) return -1;
  return PutText(status.record(), EXT_STATUS_TEXT_OFFSET, EXT_STATUS_TEXT_SIZE,
                 FormatStringV(fmt, args));
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
