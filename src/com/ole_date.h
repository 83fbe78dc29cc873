// OLE date numbers and their en-US text.
//
// An OLE date counts days from 30 December 1899 (day 0); the fraction is the
// time of day. Before day 0 the integer part counts days backwards while the
// fraction still runs forward from that day's midnight: -1.25 is 29 December
// 1899, 06:00. So -0.5 and 0.5 are the same moment. Valid dates run from
// 1 January 100 (-657434) to 31 December 9999 23:59:59 (2958465.99999).
#pragma once

#include <string>
#include <string_view>

#include "com/hresult.h"

namespace com {

inline constexpr double kMinOleDay = -657434.0;
inline constexpr double kMaxOleDay = 2958465.0;  // the last valid whole day

struct CivilDateTime {
  int year = 1899;
  int month = 12;  // 1..12
  int day = 30;    // 1..31
  int hour = 0;    // 0..23
  int minute = 0;
  int second = 0;

  friend bool operator==(const CivilDateTime&, const CivilDateTime&) = default;
};

// Splits `date` into calendar date and time, the time rounded to the nearest
// second (a time that rounds to 24:00 moves to the next day's midnight).
// False when `date` is not finite or falls outside the valid range.
bool OleDateToCivil(DATE date, CivilDateTime* civil);

// The OLE date of a calendar date and time. False when a field is out of its
// range (the 29th of February only in leap years of the Gregorian calendar)
// or the year lies outside 100..9999.
bool CivilToOleDate(const CivilDateTime& civil, DATE* date);

enum class DatePart {
  kAuto,      // the time alone on day 0, the date alone at midnight, else both
  kDateOnly,  // "M/D/YYYY", also on day 0
  kTimeOnly,  // "h:mm:ss AM"
};

struct DateTextOptions {
  DatePart part = DatePart::kAuto;
  // The date 0 is "no date" and gives the empty text.
  bool zeroIsNull = false;
  // A date outside the valid range gives "Invalid DateTime" rather than a
  // failure.
  bool invalidAsText = false;
};

// The en-US text of `date`: "1/6/2024" at midnight, "1/6/2024 3:04:05 PM"
// otherwise, "3:04:05 PM" on day 0 (all by default). Years below 1000 are
// written with four digits ("1/1/0100"). An invalid date gives E_INVALIDARG
// unless the options say otherwise; `text` is then left alone.
HRESULT DateToText(DATE date, const DateTextOptions& options, std::string* text);

// As DateToText, throwing com::Error on failure.
std::string FormatDate(DATE date, const DateTextOptions& options = {});

// Reads a date written "M/D/YYYY" (the form DateToText gives, so a text the
// driver handed out reads back as the same day) or "YYYY-MM-DD" (the form
// that cannot be misread), each optionally followed by a time "h:mm" or
// "h:mm:ss", on the 24-hour clock or with " AM" / " PM". Blanks around the
// text are allowed. False, with *date untouched, for any other text or a
// date outside the valid range.
bool ParseDateText(std::string_view text, DATE* date);

}  // namespace com
