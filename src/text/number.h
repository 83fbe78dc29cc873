// Numbers as text the way the C runtime reads and prints them in the C
// locale, whatever locale a host has set, and without the undefined
// behaviour of atoi or scanf on a number too large for its type.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace text {

// As printf's "%g".
std::string FormatGeneral(double value);

// As atof: leading white space, then the longest numeric prefix; 0.0 when
// there is none.
double ParseDouble(std::string_view text);

// As strtod in the C locale at the start of `text` (leading white space,
// decimal and hexadecimal forms, infinities, NaN; a value out of range is
// HUGE_VAL or 0, as strtod gives it). Gives the characters used, 0 (and
// `value` untouched) when there is no number.
std::size_t ScanDouble(std::string_view text, double& value);

// The number a text wholly is, as a spreadsheet takes typed text: ASCII
// blanks around it aside, an optional sign, digits with at most one point
// (at least one digit) and an optional exponent, read in the C locale. None
// for anything else: an empty text, thousands separators, trailing words,
// hexadecimal, infinities, NaN and values out of the double range.
std::optional<double> ParseWholeNumber(std::string_view text);

// As scanf's "%d" at the start of `text`: leading white space, an optional
// sign, at least one digit. A value past the 32-bit range saturates. Gives
// the characters used, 0 (and `value` untouched) when there is no number.
std::size_t ScanInt32(std::string_view text, std::int32_t& value);

// As atoi: ScanInt32's value, 0 when there is no number.
std::int32_t ParseInt32(std::string_view text);

}  // namespace text
