// Dates: the two programs count days from different origins before
// 1 March 1900 (the other spreadsheet keeps a 29 February 1900 that never
// was), read years 0-1899 otherwise and know different ranges of dates.
#include <cmath>
#include <cstdlib>
#include <regex>

#include "differences/difference_recognisers.h"

namespace refhost::differences {
namespace {

struct Civil {
  long year = 0;
  int month = 0;
  int day = 0;
};

// The proleptic Gregorian date `days` after 1970-01-01.
Civil CivilFromDays(long days) {
  days += 719468;
  const long era = (days >= 0 ? days : days - 146096) / 146097;
  const long dayOfEra = days - era * 146097;
  const long yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
  const long dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
  const long mp = (5 * dayOfYear + 2) / 153;
  const int day = static_cast<int>(dayOfYear - (153 * mp + 2) / 5 + 1);
  const int month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  return Civil{yearOfEra + era * 400 + (month <= 2 ? 1 : 0), month, day};
}

constexpr long kCalcOrigin = -25569;  // 1899-12-30, Calc's day 0, from 1970-01-01

Civil FromCalcSerial(double serial) {
  return CivilFromDays(kCalcOrigin + static_cast<long>(std::floor(serial)));
}

// The other spreadsheet's day 1 is 1900-01-01 and its day 60 is
// 29 February 1900; only from day 61 on do both count alike.
Civil FromExcelSerial(double serial) {
  const long day = static_cast<long>(std::floor(serial));
  if (day == 60) return Civil{1900, 2, 29};
  return CivilFromDays(kCalcOrigin + day + (day < 60 ? 1 : 0));
}

bool BothNumbers(const CellResult& saved, const CellResult& calc) {
  return IsNumber(saved) && IsNumber(calc);
}

// DATE's first argument written as a number: DATE(1899,12,31).
std::optional<long> LiteralYear(const FormulaView& f) {
  static const std::regex date(R"(\bDATE\(\s*(\d+)\s*[,;])", std::regex::icase);
  std::smatch m;
  if (!std::regex_search(f.text, m, date)) return std::nullopt;
  return std::atol(m[1].str().c_str());
}

}  // namespace

Label DateTwoDigitYear(const FormulaView& f, const CellResult& saved, const CellResult& calc) {
  if (!f.Calls("DATE")) return std::nullopt;
  if (BothNumbers(saved, calc) && saved.number >= 1) {
    const Civil a = FromExcelSerial(saved.number), b = FromCalcSerial(calc.number);
    const long apart = std::labs(a.year - b.year);
    if (a.month == b.month && a.day == b.day && (apart == 100 || apart == 1900)) return "DATE";
    const double years = std::fabs(saved.number - calc.number);
    if (f.Calls("YEAR") && (years == 100 || years == 1900)) return "DATE";
  }
  // DATE(100..1899, ...): a date after 2000 there, no date in Calc.
  const std::optional<long> year = LiteralYear(f);
  if (IsNumber(saved) && IsError(calc) && year && *year >= 100 && *year < 1900) return "DATE";
  return std::nullopt;
}

Label SerialBeforeMarch1900(const FormulaView& f, const CellResult& saved, const CellResult& calc) {
  if (IsText(saved) && IsText(calc) && f.Calls("TEXT") &&
      saved.text.find("1900") != std::string::npos &&
      (calc.text.find("1899") != std::string::npos || calc.text.find("1900") != std::string::npos))
    return "TEXT";
  if (!BothNumbers(saved, calc)) return std::nullopt;
  const double s = saved.number, c = calc.number;
  if (f.Calls("DAY") && s >= 0 && s <= 31 && (c == s - 1 || (s <= 1 && (c == 30 || c == 31))))
    return "DAY";
  if (f.Calls("MONTH") && (s == 1 || s == 2) && (c == s - 1 || (s == 1 && c == 12))) return "MONTH";
  if (f.Calls("YEAR") && s == 1900 && c == 1899) return "YEAR";
  if (f.Calls("WEEKNUM") && s <= 9 && (c == s - 1 || c >= 52)) return "WEEKNUM";
  // A day number itself, of a formula of date functions alone.
  const bool datesOnly = f.CallsOnly({"DATE", "EDATE", "EOMONTH", "DATEVALUE", "WORKDAY",
                                      "WORKDAY.INTL", "DAY", "MONTH", "YEAR", "WEEKDAY"});
  if (Label serial =
          f.FirstOf({"DATE", "EDATE", "EOMONTH", "DATEVALUE", "WORKDAY", "WORKDAY.INTL"}))
    if (datesOnly && std::max(s, c) < 92 && std::min(s, c) < 61) return serial;
  return std::nullopt;
}

Label DateOutOfRange(const FormulaView& f, const CellResult& saved, const CellResult& calc) {
  if (!(IsError(saved, "#VALUE!") || IsError(saved, "#NUM!")) || !IsNumber(calc))
    return std::nullopt;
  const double c = calc.number;
  constexpr double kLastDay = 2958465;  // 9999-12-31
  if (f.Calls("YEAR") && (c < 1900 || c > 9999)) return "YEAR";
  if (Label serial = f.FirstOf({"DATEVALUE", "DATE"}))
    if (c < 1 || c > kLastDay) return serial;
  return std::nullopt;
}

Label YearFracBasis(const FormulaView& f, const CellResult& saved, const CellResult& calc) {
  // Day counts of a basis differ by a few days at most: 0.02 years.
  if (f.Calls("YEARFRAC") && BothNumbers(saved, calc) &&
      std::fabs(saved.number - calc.number) <= 0.02)
    return "YEARFRAC";
  return std::nullopt;
}

}  // namespace refhost::differences
