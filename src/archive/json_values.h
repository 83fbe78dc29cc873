// The JSON form of the archive's field kinds. Texts are bytes in the
// archive and UTF-8 in JSON: a text that is valid UTF-8 is a JSON string;
// any other (a legacy single-byte text) is {"bytes": s}, where each
// character of s, U+0000 ... U+00FF, stands for one byte. Doubles that JSON
// has no number for are the strings "NaN", "Infinity" and "-Infinity".
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

namespace archive {

// A JSON value that does not fit its field; the text starts with the path
// of the value ("inputStreams[0].sheetName: ...").
class JsonError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

[[noreturn]] void ThrowJsonError(const std::string& path, const std::string& problem);

bool IsValidUtf8(std::string_view bytes);

nlohmann::json TextToJson(const std::string& text);
nlohmann::json DoubleToJson(double value);

// Each reads `value` found at `path`, or throws JsonError.
std::string TextFromJson(const nlohmann::json& value, const std::string& path);
double DoubleFromJson(const nlohmann::json& value, const std::string& path);
bool FlagFromJson(const nlohmann::json& value, const std::string& path);
// An integer within [min, max]; numbers with a fraction or exponent are
// refused even when whole.
std::int64_t IntegerFromJson(const nlohmann::json& value, const std::string& path, std::int64_t min,
                             std::int64_t max);

}  // namespace archive
