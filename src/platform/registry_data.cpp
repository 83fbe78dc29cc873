#include "platform/registry_data.h"

#include <algorithm>
#include <cctype>
#include <charconv>

#include "text/ascii.h"
#include "text/utf8.h"

namespace platform {
namespace {

bool IsHexDigit(char c) {
  return std::isxdigit(static_cast<unsigned char>(c)) != 0;
}

// The bytes of hexadecimal value data ("0a,ff,\<line break>  00"); nullopt
// when it is not such data.
std::optional<std::string> ParseHexBytes(std::string_view data) {
  std::string digits;  // the data without blanks and continuations
  for (std::size_t i = 0; i < data.size(); ++i) {
    const char c = data[i];
    if (c == '\\') {
      std::size_t j = i + 1;
      while (j < data.size() && IsBlank(data[j]))
        ++j;
      if (j >= data.size() || data[j] != '\n') return std::nullopt;
      i = j;
    } else if (c == '\n') {
      return std::nullopt;
    } else if (!IsBlank(c)) {
      digits += c;
    }
  }
  std::string bytes;
  if (digits.empty()) return bytes;
  if (digits.back() == ',') digits.pop_back();
  std::string_view rest = digits;
  for (;;) {
    const std::size_t comma = rest.find(',');
    const std::string_view token = rest.substr(0, comma);
    unsigned value = 0;
    if (token.empty() || token.size() > 2 || !std::all_of(token.begin(), token.end(), IsHexDigit))
      return std::nullopt;
    std::from_chars(token.data(), token.data() + token.size(), value, 16);
    bytes += static_cast<char>(value);
    if (comma == std::string_view::npos) break;
    rest.remove_prefix(comma + 1);
  }
  return bytes;
}

}  // namespace

bool IsBlank(char c) {
  return kBlanks.find(c) != std::string_view::npos;
}

std::string_view TrimLeft(std::string_view s) {
  return text::TrimLeft(s, kBlanks);
}

std::string_view TrimRight(std::string_view s) {
  return text::TrimRight(s, kBlanks);
}

std::string Excerpt(std::string_view line) {
  constexpr std::size_t kMax = 40;
  std::string out;
  for (char c : line.substr(0, kMax)) {
    out += (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) ? '?' : c;
  }
  if (line.size() > kMax) out += "...";
  return out;
}

outcome::Error DecodeText(std::string& text) {
  if (text.starts_with("\xEF\xBB\xBF")) {
    text.erase(0, 3);
  } else if (text.starts_with("\xFF\xFE")) {
    if (text.size() % 2 != 0)
      return outcome::Error::Failed("UTF-16 file with an odd number of bytes");
    std::u16string wide;
    wide.reserve(text.size() / 2 - 1);
    for (std::size_t i = 2; i < text.size(); i += 2) {
      wide += static_cast<char16_t>(static_cast<unsigned char>(text[i]) |
                                    (static_cast<unsigned char>(text[i + 1]) << 8));
    }
    text = text::Utf16ToUtf8(wide);
  } else if (text.starts_with("\xFE\xFF")) {
    return outcome::Error::Failed(
        "UTF-16 big-endian files are not supported; save the file as UTF-8");
  }
  return outcome::Error::Success();
}

std::optional<std::string> TakeQuoted(std::string_view& rest) {
  std::string out;
  for (std::size_t i = 1; i < rest.size(); ++i) {
    const char c = rest[i];
    if (c == '\\' && i + 1 < rest.size() && (rest[i + 1] == '\\' || rest[i + 1] == '"')) {
      out += rest[++i];
    } else if (c == '"') {
      rest.remove_prefix(i + 1);
      return out;
    } else {
      out += c;
    }
  }
  return std::nullopt;
}

std::string Quote(std::string_view text) {
  std::string out = "\"";
  for (char c : text) {
    if (c == '\\' || c == '"') out += '\\';
    out += c;
  }
  out += '"';
  return out;
}

std::optional<OtherData> ParseOtherData(std::string_view raw) {
  OtherData parsed;
  std::string_view data;
  if (text::StartsWithNoCase(raw, "hex:")) {
    data = raw.substr(4);
  } else if (text::StartsWithNoCase(raw, "hex(")) {
    const std::size_t close = raw.find("):");
    const std::string_view number = raw.substr(4, close == raw.npos ? 0 : close - 4);
    if (number.empty() || number.size() > 8 ||
        !std::all_of(number.begin(), number.end(), IsHexDigit))
      return std::nullopt;
    std::from_chars(number.data(), number.data() + number.size(), parsed.type, 16);
    data = raw.substr(close + 2);
  } else {
    return std::nullopt;
  }
  std::optional<std::string> bytes = ParseHexBytes(data);
  if (!bytes) return std::nullopt;
  parsed.bytes = std::move(*bytes);
  return parsed;
}

std::string DecodeHexString(std::string_view bytes, bool wide) {
  if (!wide) return std::string(bytes.substr(0, bytes.find('\0')));
  std::u16string units;
  for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
    const auto unit = static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                            (static_cast<unsigned char>(bytes[i + 1]) << 8));
    if (unit == 0) break;
    units += unit;
  }
  return text::Utf16ToUtf8(units);
}

std::string EncodeHexString(std::string_view text, bool wide) {
  std::string bytes;
  if (wide) {
    for (char16_t unit : text::Utf8ToUtf16(text)) {
      bytes += static_cast<char>(unit & 0xFF);
      bytes += static_cast<char>(unit >> 8);
    }
    bytes += std::string(2, '\0');
  } else {
    bytes = std::string(text);
    bytes += '\0';
  }
  return bytes;
}

void AppendHexData(std::string& out, std::size_t column, std::string_view bytes,
                   std::string_view eol) {
  static constexpr char kDigits[] = "0123456789abcdef";
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    const bool last = i + 1 == bytes.size();
    if (column + (last ? 2 : 3) > 79) {
      out += '\\';
      out += eol;
      out += "  ";
      column = 2;
    }
    const auto byte = static_cast<unsigned char>(bytes[i]);
    out += kDigits[byte >> 4];
    out += kDigits[byte & 0xF];
    if (!last) out += ',';
    column += last ? 2 : 3;
  }
}

std::optional<std::uint32_t> ParseDword(std::string_view digits) {
  if (digits.empty() || digits.size() > 8 || !std::all_of(digits.begin(), digits.end(), IsHexDigit))
    return std::nullopt;
  std::uint32_t value = 0;
  std::from_chars(digits.data(), digits.data() + digits.size(), value, 16);
  return value;
}

}  // namespace platform
