// Messages built printf-style: the whole text into a growable buffer, or cut
// at a UTF-8 character boundary so that the text and its NUL fit a fixed
// field. Nothing is ever written past the field, and the field is always
// terminated.
#pragma once

#include <cstdarg>
#include <cstddef>
#include <string>

#define GM_PRINTF_FORMAT(format_index, first_arg) \
  __attribute__((format(printf, format_index, first_arg)))

namespace text {

// The whole formatted text, however long. A format the C library cannot
// render gives the empty text.
std::string FormatString(const char* fmt, ...) GM_PRINTF_FORMAT(1, 2);
std::string FormatStringV(const char* fmt, va_list args) GM_PRINTF_FORMAT(1, 0);

// Prints into field[0, fieldSize): at most fieldSize - 1 bytes and the NUL;
// the text ends at its first NUL. Returns the bytes written before the NUL,
// or -1 when nothing can be written (null field, size 0).
int PrintMessage(char* field, std::size_t fieldSize, const char* fmt, ...) GM_PRINTF_FORMAT(3, 4);
int PrintMessageV(char* field, std::size_t fieldSize, const char* fmt, va_list args)
    GM_PRINTF_FORMAT(3, 0);

}  // namespace text
