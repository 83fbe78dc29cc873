// The one way a message reaches a host text field: printf-style formatting
// (text/message_format.h), then a cut at a UTF-8 character boundary so that
// the text and its NUL fit the field. Nothing is ever written past the field,
// and the field is always terminated.
#pragma once

#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <span>

#include "host/host_record.h"
#include "outcome/outcome.h"
#include "text/message_format.h"

namespace host {

// Prints into the text field [offset, offset + fieldSize) of a host record.
// Returns as PrintMessage; -1 also when the field is not inside the record.
int PrintMessage(HostRecord& record, std::size_t offset, std::size_t fieldSize, const char* fmt,
                 ...) GM_PRINTF_FORMAT(4, 5);

// Prints into the text of a status record: at most 259 bytes and the NUL.
// Returns as PrintMessage; -1 for a null status record.
int WriteStatus(StatusRecord& status, const char* fmt, ...) GM_PRINTF_FORMAT(2, 3);
int WriteStatusV(StatusRecord& status, const char* fmt, va_list args) GM_PRINTF_FORMAT(2, 0);

// Writes the message as WriteStatus does and gives EXT_RESULT_FAILED: the
// answer of an operation that refuses or fails with a message.
std::int32_t Fail(StatusRecord& status, const char* fmt, ...) GM_PRINTF_FORMAT(2, 3);

// How an operation's outcome reaches the host: a failure's message goes
// into the status text (cut to fit, as WriteStatus does) and its result is
// returned; success writes nothing and returns EXT_RESULT_OK.
std::int32_t Answer(const outcome::Error& error, StatusRecord& status);

// The text field of a status record as a message buffer for the automation
// layer; empty for a null record, so that nothing is written.
inline std::span<char> StatusText(ExtStatusRecord* status) noexcept {
  if (status == nullptr) return {};
  return std::span<char>(status->text, EXT_STATUS_TEXT_SIZE);
}

}  // namespace host
