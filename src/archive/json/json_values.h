// The JSON form of the archive's field kinds. Texts are bytes in the
// archive and UTF-8 in JSON: a text that is valid UTF-8 is a JSON string;
// any other (a legacy single-byte text) is {"bytes": s}, where each
// character of s, U+0000 ... U+00FF, stands for one byte. Doubles that JSON
// has no number for are the strings "NaN", "Infinity" and "-Infinity".
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

#include "outcome/outcome.h"

namespace archive {

// A JSON value that does not fit its field; the text starts with the path
// of the value ("inputStreams[0].sheetName: ...").
outcome::Error JsonError(const std::string& path, const std::string& problem);

bool IsValidUtf8(std::string_view bytes);

nlohmann::json TextToJson(const std::string& text);
nlohmann::json DoubleToJson(double value);

// Each reads `value` found at `path`, or fails with JsonError.
outcome::Expected<std::string> TextFromJson(const nlohmann::json& value, const std::string& path);
outcome::Expected<double> DoubleFromJson(const nlohmann::json& value, const std::string& path);
outcome::Expected<bool> FlagFromJson(const nlohmann::json& value, const std::string& path);
// An integer within [min, max]; numbers with a fraction or exponent are
// refused even when whole.
outcome::Expected<std::int64_t> IntegerFromJson(const nlohmann::json& value,
                                                const std::string& path, std::int64_t min,
                                                std::int64_t max);

}  // namespace archive
