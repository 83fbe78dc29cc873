#include "archive/json/json_values.h"

#include <cmath>
#include <limits>

#include "text/utf8.h"

namespace archive {
namespace {

constexpr char kBytesKey[] = "bytes";
constexpr char kNaN[] = "NaN";
constexpr char kInfinity[] = "Infinity";
constexpr char kMinusInfinity[] = "-Infinity";

// Each byte as the character of the same number, in UTF-8.
std::string BytesAsCharacters(const std::string& bytes) {
  std::string characters;
  characters.reserve(bytes.size() * 2);
  for (const char c : bytes) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x80) {
      characters += c;
    } else {
      characters += static_cast<char>(0xC0 | (byte >> 6));
      characters += static_cast<char>(0x80 | (byte & 0x3F));
    }
  }
  return characters;
}

outcome::Expected<std::string> CharactersAsBytes(const std::string& characters,
                                                 const std::string& path) {
  std::string bytes;
  for (const char16_t unit : text::Utf8ToUtf16(characters)) {
    if (unit > 0xFF) return JsonError(path, "a character of \"bytes\" must be U+0000 ... U+00FF");
    bytes += static_cast<char>(unit);
  }
  return bytes;
}

}  // namespace

outcome::Error JsonError(const std::string& path, const std::string& problem) {
  return outcome::Error::Failed(path.empty() ? problem : path + ": " + problem);
}

bool IsValidUtf8(std::string_view bytes) {
  std::size_t i = 0;
  while (i < bytes.size()) {
    const auto lead = static_cast<unsigned char>(bytes[i]);
    std::size_t length = 0;
    unsigned char low = 0x80;  // bounds of the second byte
    unsigned char high = 0xBF;
    if (lead < 0x80) {
      ++i;
      continue;
    } else if (lead >= 0xC2 && lead <= 0xDF) {
      length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      length = 3;
      if (lead == 0xE0) low = 0xA0;   // no overlong forms
      if (lead == 0xED) high = 0x9F;  // no surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      length = 4;
      if (lead == 0xF0) low = 0x90;   // no overlong forms
      if (lead == 0xF4) high = 0x8F;  // nothing above U+10FFFF
    } else {
      return false;
    }
    if (bytes.size() - i < length) return false;
    for (std::size_t k = 1; k < length; ++k) {
      const auto next = static_cast<unsigned char>(bytes[i + k]);
      if (k == 1 ? (next < low || next > high) : (next < 0x80 || next > 0xBF)) return false;
    }
    i += length;
  }
  return true;
}

nlohmann::json TextToJson(const std::string& text) {
  if (IsValidUtf8(text)) return text;
  return nlohmann::json{{kBytesKey, BytesAsCharacters(text)}};
}

nlohmann::json DoubleToJson(double value) {
  if (std::isnan(value)) return kNaN;
  if (std::isinf(value)) return value > 0 ? kInfinity : kMinusInfinity;
  return value;
}

outcome::Expected<std::string> TextFromJson(const nlohmann::json& value, const std::string& path) {
  if (value.is_string()) return value.get<std::string>();
  if (value.is_object() && value.size() == 1 && value.contains(kBytesKey) &&
      value[kBytesKey].is_string()) {
    return CharactersAsBytes(value[kBytesKey].get<std::string>(), path + "." + kBytesKey);
  }
  return JsonError(path, "expected a text (a string, or {\"bytes\": string})");
}

outcome::Expected<double> DoubleFromJson(const nlohmann::json& value, const std::string& path) {
  if (value.is_number()) return value.get<double>();
  if (value.is_string()) {
    const std::string& name = value.get_ref<const std::string&>();
    if (name == kNaN) return std::numeric_limits<double>::quiet_NaN();
    if (name == kInfinity) return std::numeric_limits<double>::infinity();
    if (name == kMinusInfinity) return -std::numeric_limits<double>::infinity();
  }
  return JsonError(path, "expected a number (or \"NaN\", \"Infinity\", \"-Infinity\")");
}

outcome::Expected<bool> FlagFromJson(const nlohmann::json& value, const std::string& path) {
  if (!value.is_boolean()) return JsonError(path, "expected true or false");
  return value.get<bool>();
}

outcome::Expected<std::int64_t> IntegerFromJson(const nlohmann::json& value,
                                                const std::string& path, std::int64_t min,
                                                std::int64_t max) {
  const std::string range = " between " + std::to_string(min) + " and " + std::to_string(max);
  if (value.is_number_unsigned()) {
    const auto number = value.get<std::uint64_t>();
    if (number <= static_cast<std::uint64_t>(max) && static_cast<std::int64_t>(number) >= min) {
      return static_cast<std::int64_t>(number);
    }
    return JsonError(path, "expected an integer" + range);
  }
  if (value.is_number_integer()) {
    const auto number = value.get<std::int64_t>();
    if (number >= min && number <= max) return number;
  }
  return JsonError(path, "expected an integer" + range);
}

}  // namespace archive
