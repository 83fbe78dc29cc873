// Case folding and trimming in ASCII only. Names, keys, tags and ProgIDs
// compare without case in ASCII alone, so the result never depends on the
// locale a host has set or on bytes of a multi-byte character.
#pragma once

#include <string>
#include <string_view>

namespace text {

constexpr char LowerAscii(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}
constexpr char UpperAscii(char c) {
  return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}
constexpr char16_t LowerAscii(char16_t c) {
  return (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c - u'A' + u'a') : c;
}

bool EqualsNoCase(std::string_view a, std::string_view b);
bool EqualsNoCase(std::u16string_view a, std::u16string_view b);
bool StartsWithNoCase(std::string_view text, std::string_view prefix);
// Negative, zero or positive as `a` sorts before, with or after `b`.
int CompareNoCase(std::string_view a, std::string_view b);

// Empty or only spaces (0x20; a tab counts as text).
constexpr bool IsBlank(std::string_view s) {
  return s.find_first_not_of(' ') == std::string_view::npos;
}

// What isspace gives in the C locale.
inline constexpr std::string_view kAsciiSpace = " \t\n\v\f\r";

std::string_view TrimLeft(std::string_view s, std::string_view chars = kAsciiSpace);
std::string_view TrimRight(std::string_view s, std::string_view chars = kAsciiSpace);
std::string_view Trim(std::string_view s, std::string_view chars = kAsciiSpace);
std::u16string_view Trim(std::u16string_view s, std::u16string_view chars);

// `text` made fit for a one-line message: line breaks and other control
// characters a user's file may hold become escapes ("\n", "\x01").
std::string OneLine(std::string_view text);

}  // namespace text
