#include "text/utf8.h"

#include <cstring>

namespace text {
namespace {

constexpr char16_t kReplacement = 0xFFFD;
constexpr char16_t kEscapeBase = 0xDC00;  // invalid byte b travels as U+DC00+b

bool IsContinuation(unsigned char c) {
  return (c & 0xC0) == 0x80;
}

// Length of the valid UTF-8 sequence starting at s[i], or 0 when the bytes
// there do not form one (overlong forms, surrogates and values past U+10FFFF
// included).
std::size_t ValidSequenceLength(std::string_view s, std::size_t i, char32_t* code) {
  const auto c0 = static_cast<unsigned char>(s[i]);
  if (c0 < 0x80) {
    *code = c0;
    return 1;
  }
  std::size_t length;
  char32_t value;
  char32_t minimum;
  if ((c0 & 0xE0) == 0xC0) {
    length = 2, value = c0 & 0x1F, minimum = 0x80;
  } else if ((c0 & 0xF0) == 0xE0) {
    length = 3, value = c0 & 0x0F, minimum = 0x800;
  } else if ((c0 & 0xF8) == 0xF0) {
    length = 4, value = c0 & 0x07, minimum = 0x10000;
  } else {
    return 0;
  }
  if (i + length > s.size()) return 0;
  for (std::size_t k = 1; k < length; ++k) {
    const auto c = static_cast<unsigned char>(s[i + k]);
    if (!IsContinuation(c)) return 0;
    value = (value << 6) | (c & 0x3F);
  }
  if (value < minimum || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) return 0;
  *code = value;
  return length;
}

void AppendUtf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

}  // namespace

std::u16string Utf8ToUtf16(std::string_view utf8) {
  std::u16string out;
  out.reserve(utf8.size());
  for (std::size_t i = 0; i < utf8.size();) {
    char32_t code;
    const std::size_t length = ValidSequenceLength(utf8, i, &code);
    if (length == 0) {
      out += static_cast<char16_t>(kEscapeBase + static_cast<unsigned char>(utf8[i]));
      ++i;
      continue;
    }
    if (code >= 0x10000) {
      code -= 0x10000;
      out += static_cast<char16_t>(0xD800 + (code >> 10));
      out += static_cast<char16_t>(0xDC00 + (code & 0x3FF));
    } else {
      out += static_cast<char16_t>(code);
    }
    i += length;
  }
  return out;
}

std::string Utf16ToUtf8(std::u16string_view utf16) {
  std::string out;
  out.reserve(utf16.size());
  for (std::size_t i = 0; i < utf16.size(); ++i) {
    const char16_t c = utf16[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < utf16.size() && utf16[i + 1] >= 0xDC00 &&
        utf16[i + 1] <= 0xDFFF) {
      AppendUtf8(out, 0x10000 + ((char32_t(c) - 0xD800) << 10) + (utf16[i + 1] - 0xDC00));
      ++i;
    } else if (c >= kEscapeBase + 0x80 && c <= kEscapeBase + 0xFF) {
      out += static_cast<char>(c - kEscapeBase);
    } else if (c >= 0xD800 && c <= 0xDFFF) {
      AppendUtf8(out, kReplacement);
    } else {
      AppendUtf8(out, c);
    }
  }
  return out;
}

std::size_t Utf8PrefixLength(std::string_view utf8, std::size_t maxBytes) {
  if (maxBytes >= utf8.size()) return utf8.size();
  // Step back over continuation bytes to the start of the character that the
  // cut would split; a stray byte counts as a character of its own.
  std::size_t cut = maxBytes;
  std::size_t start = cut;
  while (start > 0 && IsContinuation(static_cast<unsigned char>(utf8[start])) && cut - start < 3) {
    --start;
  }
  char32_t code;
  if (start < cut && ValidSequenceLength(utf8, start, &code) > cut - start) return start;
  return cut;
}

std::size_t CopyTerminated(std::string_view utf8, char* dest, std::size_t destSize) {
  if (destSize == 0) return 0;
  const std::size_t n = Utf8PrefixLength(utf8, destSize - 1);
  if (n > 0) std::memcpy(dest, utf8.data(), n);
  dest[n] = '\0';
  return n;
}

std::string ReplaceInvalidUtf8(std::string_view utf8, bool (*keep)(char32_t)) {
  std::string out;
  out.reserve(utf8.size());
  for (std::size_t i = 0; i < utf8.size();) {
    char32_t code = kReplacement;
    const std::size_t length = ValidSequenceLength(utf8, i, &code);
    if (length == 0 || !keep(code)) {
      AppendUtf8(out, kReplacement);
      i += length == 0 ? 1 : length;
      continue;
    }
    out.append(utf8.substr(i, length));
    i += length;
  }
  return out;
}

}  // namespace text
