#include "com/ole_date.h"

#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <optional>

#include "text/ascii.h"

#include "com/error.h"

namespace com {
namespace {

constexpr std::int64_t kSecondsPerDay = 86400;

using std::chrono::days;
using std::chrono::sys_days;
using std::chrono::year_month_day;

// The OLE day 0.
constexpr sys_days kOleDayZero{std::chrono::year{1899} / std::chrono::December / 30};

constexpr std::int64_t OleDayOf(const year_month_day& date) {
  return (sys_days{date} - kOleDayZero).count();
}

constexpr year_month_day CalendarDateOf(std::int64_t oleDay) {
  return year_month_day{kOleDayZero + days{oleDay}};
}

static_assert(OleDayOf(std::chrono::year{100} / 1 / 1) == -657434);
static_assert(OleDayOf(std::chrono::year{9999} / 12 / 31) == 2958465);
static_assert(CalendarDateOf(-1) == std::chrono::year{1899} / 12 / 29);

// The OLE day (as counted from day 0 forwards in the calendar) and the
// second of that day, rounded; false when invalid.
bool SplitDate(DATE date, std::int64_t* day, std::int64_t* second) {
  if (!std::isfinite(date)) return false;
  const double whole = std::trunc(date);
  if (whole < kMinOleDay || whole > kMaxOleDay) return false;
  *day = static_cast<std::int64_t>(whole);
  *second = static_cast<std::int64_t>(std::round(std::fabs(date - whole) * kSecondsPerDay));
  if (*second >= kSecondsPerDay) {
    *day += 1;
    *second -= kSecondsPerDay;
  }
  return *day <= static_cast<std::int64_t>(kMaxOleDay);
}

std::string DateText(std::int64_t day) {
  const year_month_day ymd = CalendarDateOf(day);
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%u/%u/%04d", static_cast<unsigned>(ymd.month()),
                static_cast<unsigned>(ymd.day()), static_cast<int>(ymd.year()));
  return buffer;
}

std::string TimeText(std::int64_t second) {
  const int hour = static_cast<int>(second / 3600);
  const int minute = static_cast<int>(second / 60 % 60);
  const int sec = static_cast<int>(second % 60);
  const int clock = hour % 12 == 0 ? 12 : hour % 12;
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%d:%02d:%02d %s", clock, minute, sec,
                hour < 12 ? "AM" : "PM");
  return buffer;
}

}  // namespace

bool OleDateToCivil(DATE date, CivilDateTime* civil) {
  std::int64_t day = 0, second = 0;
  if (!SplitDate(date, &day, &second)) return false;
  const year_month_day ymd = CalendarDateOf(day);
  civil->year = static_cast<int>(ymd.year());
  civil->month = static_cast<int>(static_cast<unsigned>(ymd.month()));
  civil->day = static_cast<int>(static_cast<unsigned>(ymd.day()));
  civil->hour = static_cast<int>(second / 3600);
  civil->minute = static_cast<int>(second / 60 % 60);
  civil->second = static_cast<int>(second % 60);
  return true;
}

bool CivilToOleDate(const CivilDateTime& civil, DATE* date) {
  if (civil.year < 100 || civil.year > 9999 || civil.month < 1 || civil.month > 12 ||
      civil.day < 1 || civil.day > 31 || civil.hour < 0 || civil.hour > 23 || civil.minute < 0 ||
      civil.minute > 59 || civil.second < 0 || civil.second > 59)
    return false;
  // ok() knows the length of each month, leap years of the Gregorian calendar
  // included.
  const year_month_day calendarDate{std::chrono::year{civil.year},
                                    std::chrono::month{static_cast<unsigned>(civil.month)},
                                    std::chrono::day{static_cast<unsigned>(civil.day)}};
  if (!calendarDate.ok()) return false;
  const std::int64_t day = OleDayOf(calendarDate);
  const double fraction =
      static_cast<double>(civil.hour * 3600 + civil.minute * 60 + civil.second) / kSecondsPerDay;
  // Before day 0 the time still runs forward from the day's midnight.
  *date = day < 0 ? static_cast<double>(day) - fraction : static_cast<double>(day) + fraction;
  return true;
}

HRESULT DateToText(DATE date, const DateTextOptions& options, std::string* text) {
  if (options.zeroIsNull && date == 0.0) {
    text->clear();
    return S_OK;
  }
  std::int64_t day = 0, second = 0;
  if (!SplitDate(date, &day, &second)) {
    if (!options.invalidAsText) return E_INVALIDARG;
    *text = "Invalid DateTime";
    return S_OK;
  }
  DatePart part = options.part;
  if (part == DatePart::kAuto) {
    if (day == 0) {
      part = DatePart::kTimeOnly;
    } else if (second == 0) {
      part = DatePart::kDateOnly;
    }
  }
  switch (part) {
    case DatePart::kDateOnly:
      *text = DateText(day);
      break;
    case DatePart::kTimeOnly:
      *text = TimeText(second);
      break;
    case DatePart::kAuto:
      *text = DateText(day) + " " + TimeText(second);
      break;
  }
  return S_OK;
}

std::string FormatDate(DATE date, const DateTextOptions& options) {
  std::string text;
  ThrowIfFailed(DateToText(date, options, &text));
  return text;
}

namespace {

// Reads text while it is the expected shape; every step fails once one has.
class DateReader {
 public:
  explicit DateReader(std::string_view text) : text_(text) {}

  bool AtEnd() const { return pos_ == text_.size(); }
  bool Peek(char c) const { return pos_ < text_.size() && text_[pos_] == c; }
  bool Take(char c) {
    if (!Peek(c)) return false;
    ++pos_;
    return true;
  }
  // 1 to maxDigits decimal digits; at most four, so never an overflow.
  std::optional<int> Number(std::size_t minDigits, std::size_t maxDigits) {
    int value = 0;
    std::size_t count = 0;
    while (pos_ < text_.size() && count < maxDigits && text_[pos_] >= '0' && text_[pos_] <= '9') {
      value = value * 10 + (text_[pos_++] - '0');
      ++count;
    }
    if (count < minDigits) return std::nullopt;
    return value;
  }
  std::size_t SkipBlanks() {
    const std::size_t start = pos_;
    while (Peek(' '))
      ++pos_;
    return pos_ - start;
  }
  // "AM" or "PM" in any case: 0 or 12 hours; -1 when neither is there.
  int Meridiem() {
    if (text_.size() - pos_ < 2 || text::LowerAscii(text_[pos_ + 1]) != 'm') return -1;
    const char first = text::LowerAscii(text_[pos_]);
    if (first != 'a' && first != 'p') return -1;
    pos_ += 2;
    return first == 'p' ? 12 : 0;
  }

 private:
  std::string_view text_;
  std::size_t pos_ = 0;
};

bool ReadCalendarDate(DateReader& reader, CivilDateTime& civil) {
  const std::optional<int> first = reader.Number(1, 4);
  if (!first) return false;
  std::optional<int> second, third;
  if (reader.Take('/')) {  // M/D/YYYY
    second = reader.Number(1, 2);
    if (!second || !reader.Take('/')) return false;
    third = reader.Number(4, 4);
    if (!third) return false;
    civil.month = *first, civil.day = *second, civil.year = *third;
    return true;
  }
  if (!reader.Take('-')) return false;  // YYYY-MM-DD
  second = reader.Number(1, 2);
  if (!second || !reader.Take('-')) return false;
  third = reader.Number(1, 2);
  if (!third) return false;
  civil.year = *first, civil.month = *second, civil.day = *third;
  return true;
}

bool ReadTimeOfDay(DateReader& reader, CivilDateTime& civil) {
  const std::optional<int> hour = reader.Number(1, 2);
  if (!hour || !reader.Take(':')) return false;
  const std::optional<int> minute = reader.Number(2, 2);
  if (!minute) return false;
  std::optional<int> second = 0;
  if (reader.Take(':')) second = reader.Number(2, 2);
  if (!second) return false;
  civil.hour = *hour, civil.minute = *minute, civil.second = *second;
  const std::size_t blanks = reader.SkipBlanks();
  if (reader.AtEnd()) return true;
  const int offset = blanks > 0 ? reader.Meridiem() : -1;
  // 12 AM is midnight, 12 PM noon.
  if (offset < 0 || *hour < 1 || *hour > 12) return false;
  civil.hour = *hour % 12 + offset;
  return true;
}

}  // namespace

bool ParseDateText(std::string_view text, DATE* date) {
  DateReader reader(text::Trim(text, " "));
  CivilDateTime civil{};
  if (!ReadCalendarDate(reader, civil)) return false;
  if (reader.SkipBlanks() > 0 && !ReadTimeOfDay(reader, civil)) return false;
  reader.SkipBlanks();
  if (!reader.AtEnd()) return false;
  return CivilToOleDate(civil, date);
}

}  // namespace com
