#include "xml/xml_dates.h"

#include <cstdio>

#include "com/ole_date.h"
#include "text/ascii.h"
#include "text/number.h"
#include "values/host_values.h"

namespace xml {
namespace {

constexpr double kUnsetThreshold = 3.2e35;

// Reads "%d" and then the literal `after` (when not NUL) at `at`; false when
// either is missing.
bool ReadPart(std::string_view text, std::size_t& at, int& value, char after) {
  std::int32_t part = 0;
  const std::size_t used = text::ScanInt32(text.substr(at), part);
  if (used == 0) return false;
  at += used;
  value = part;
  if (after == '\0') return true;
  if (at >= text.size() || text[at] != after) return false;
  ++at;
  return true;
}

}  // namespace

std::string DateToText(double days) {
  com::CivilDateTime civil;
  if (!(days <= kUnsetThreshold) || !com::OleDateToCivil(days, &civil)) return {};
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02dT%02d:%02d:%02d.000Z", civil.year,
                civil.month, civil.day, civil.hour, civil.minute, civil.second);
  return buffer;
}

double TextToDate(std::string_view text) {
  std::string blanked(text::Trim(text));
  for (char& c : blanked) {
    if (c == 'T' || c == 'Z') c = ' ';
  }
  const std::string_view s(blanked);
  com::CivilDateTime civil;
  civil.hour = civil.minute = civil.second = 0;
  std::size_t at = 0;
  if (!ReadPart(s, at, civil.year, '-') || !ReadPart(s, at, civil.month, '-') ||
      !ReadPart(s, at, civil.day, '\0')) {
    return values::kUndefinedValue;
  }
  if (!text::Trim(s.substr(at)).empty()) {
    if (!ReadPart(s, at, civil.hour, ':') || !ReadPart(s, at, civil.minute, ':') ||
        !ReadPart(s, at, civil.second, '\0')) {
      return values::kUndefinedValue;
    }
    // The fraction of the second is written as ".000" and not kept.
    if (at < s.size() && s[at] == '.') {
      ++at;
      while (at < s.size() && s[at] >= '0' && s[at] <= '9')
        ++at;
    }
    if (!text::Trim(s.substr(at)).empty()) return values::kUndefinedValue;
  }
  double days = 0;
  return com::CivilToOleDate(civil, &days) ? days : values::kUndefinedValue;
}

}  // namespace xml
