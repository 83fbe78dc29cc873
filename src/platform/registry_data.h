// The line syntax of the settings file: blanks, quoted texts, dwords and
// hexadecimal value data as Windows' registry editor writes them, and the
// file's text encodings.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "outcome/outcome.h"

namespace platform {

// Only blanks and tabs are trimmed: a line break ends a line of the file.
inline constexpr std::string_view kBlanks = " \t";
bool IsBlank(char c);
std::string_view TrimLeft(std::string_view s);
std::string_view TrimRight(std::string_view s);

// A short, printable piece of a line for an error message.
std::string Excerpt(std::string_view line);

// Undoes BOMs: UTF-8 is used as is, UTF-16LE (as Windows'
// editor exports version 5 files) is converted to UTF-8.
outcome::Error DecodeText(std::string& text);

// Reads a quoted text at the start of `rest` ('"' first) and moves past it.
// Only \\ and \" are escapes; a backslash before anything else is kept, as
// hand-written paths ("C:\dir") are common.
std::optional<std::string> TakeQuoted(std::string_view& rest);
// `text` quoted so that TakeQuoted reads it back.
std::string Quote(std::string_view text);

// Raw data of another type ("hex(2):..." or "hex:...") split into its type
// number (-1 for plain "hex:") and its bytes.
struct OtherData {
  long type = -1;
  std::string bytes;
};
// Nullopt when malformed.
std::optional<OtherData> ParseOtherData(std::string_view raw);

inline constexpr long kStringType = 1;  // a text in hexadecimal form

// A text in hexadecimal form: UTF-16LE in version 5 files, single bytes in
// version 4 files, both up to the terminator.
std::string DecodeHexString(std::string_view bytes, bool wide);
std::string EncodeHexString(std::string_view text, bool wide);

// Writes `bytes` as "xx,xx,...", continued with ",\" and an indented line
// before a line grows past 80 columns; `column` is where the data starts.
void AppendHexData(std::string& out, std::size_t column, std::string_view bytes,
                   std::string_view eol);

// 1 to 8 hexadecimal digits; nullopt otherwise.
std::optional<std::uint32_t> ParseDword(std::string_view digits);

}  // namespace platform
