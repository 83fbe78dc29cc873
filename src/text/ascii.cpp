#include "text/ascii.h"

#include <algorithm>
#include <cstdio>

namespace text {
namespace {

template <class Char>
bool Equal(std::basic_string_view<Char> a, std::basic_string_view<Char> b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                    [](Char x, Char y) { return LowerAscii(x) == LowerAscii(y); });
}

template <class Char>
std::basic_string_view<Char> TrimBoth(std::basic_string_view<Char> s,
                                      std::basic_string_view<Char> chars) {
  const std::size_t first = s.find_first_not_of(chars);
  if (first == s.npos) return s.substr(s.size());
  return s.substr(first, s.find_last_not_of(chars) - first + 1);
}

}  // namespace

bool EqualsNoCase(std::string_view a, std::string_view b) {
  return Equal(a, b);
}

bool EqualsNoCase(std::u16string_view a, std::u16string_view b) {
  return Equal(a, b);
}

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() && Equal(text.substr(0, prefix.size()), prefix);
}

int CompareNoCase(std::string_view a, std::string_view b) {
  const std::size_t n = std::min(a.size(), b.size());
  for (std::size_t i = 0; i < n; ++i) {
    const unsigned char x = static_cast<unsigned char>(LowerAscii(a[i]));
    const unsigned char y = static_cast<unsigned char>(LowerAscii(b[i]));
    if (x != y) return x < y ? -1 : 1;
  }
  return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

std::string_view TrimLeft(std::string_view s, std::string_view chars) {
  const std::size_t first = s.find_first_not_of(chars);
  return first == s.npos ? s.substr(s.size()) : s.substr(first);
}

std::string_view TrimRight(std::string_view s, std::string_view chars) {
  const std::size_t last = s.find_last_not_of(chars);
  return last == s.npos ? s.substr(0, 0) : s.substr(0, last + 1);
}

std::string_view Trim(std::string_view s, std::string_view chars) {
  return TrimBoth(s, chars);
}

std::u16string_view Trim(std::u16string_view s, std::u16string_view chars) {
  return TrimBoth(s, chars);
}

std::string OneLine(std::string_view text) {
  std::string out;
  for (const char c : text) {
    const auto u = static_cast<unsigned char>(c);
    if (c == '\n') {
      out += "\\n";
    } else if (c == '\r') {
      out += "\\r";
    } else if (c == '\t') {
      out += "\\t";
    } else if (u < 0x20 || u == 0x7f) {
      char escape[8];
      std::snprintf(escape, sizeof escape, "\\x%02x", u);
      out += escape;
    } else {
      out += c;
    }
  }
  return out;
}

}  // namespace text
