#include "text/number.h"

#include <locale.h>
#include <stdlib.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>

#include "text/ascii.h"

namespace text {
namespace {

locale_t ClassicLocale() {
  static const locale_t locale = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(0));
  return locale;
}

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

}  // namespace

std::string FormatGeneral(double value) {
  // to_chars with a precision is "%.*g" in the C locale, by definition.
  char buffer[64];
  const std::to_chars_result result =
      std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::general, 6);
  return std::string(buffer, result.ptr);
}

double ParseDouble(std::string_view text) {
  const std::string terminated(text);
  return strtod_l(terminated.c_str(), nullptr, ClassicLocale());
}

std::size_t ScanDouble(std::string_view text, double& value) {
  // strtod stops at a NUL, so an embedded one ends the number as it would.
  const std::string terminated(text);
  char* end = nullptr;
  const double number = strtod_l(terminated.c_str(), &end, ClassicLocale());
  const auto used = static_cast<std::size_t>(end - terminated.c_str());
  if (used > 0) value = number;
  return used;
}

std::optional<double> ParseWholeNumber(std::string_view text) {
  const std::string_view number = Trim(text);
  std::size_t i = 0;
  const auto digits = [&] {
    const std::size_t from = i;
    while (i < number.size() && IsDigit(number[i]))
      ++i;
    return i - from;
  };
  if (i < number.size() && (number[i] == '+' || number[i] == '-')) ++i;
  std::size_t mantissa = digits();
  if (i < number.size() && number[i] == '.') {
    ++i;
    mantissa += digits();
  }
  if (mantissa == 0) return std::nullopt;
  if (i < number.size() && (number[i] == 'e' || number[i] == 'E')) {
    ++i;
    if (i < number.size() && (number[i] == '+' || number[i] == '-')) ++i;
    if (digits() == 0) return std::nullopt;
  }
  if (i != number.size()) return std::nullopt;
  // The text is a plain decimal now: from_chars reads it as strtod would
  // (both round correctly), without a copy. It takes no '+', and leaves
  // a value out of range to strtod, whose overflow and underflow results
  // are the ones kept.
  const std::size_t from = number[0] == '+' ? 1 : 0;
  double value = 0;
  const std::from_chars_result read =
      std::from_chars(number.data() + from, number.data() + number.size(), value);
  if (read.ec != std::errc() || read.ptr != number.data() + number.size())
    value = ParseDouble(number);
  if (!std::isfinite(value)) return std::nullopt;
  return value;
}

std::size_t ScanInt32(std::string_view text, std::int32_t& value) {
  std::size_t i = text.size() - TrimLeft(text).size();
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  if (i >= text.size() || !IsDigit(text[i])) return 0;
  constexpr std::int64_t kLimit = std::int64_t{std::numeric_limits<std::int32_t>::max()} + 1;
  std::int64_t magnitude = 0;
  for (; i < text.size() && IsDigit(text[i]); ++i) {
    if (magnitude < kLimit) magnitude = magnitude * 10 + (text[i] - '0');
  }
  if (magnitude > kLimit) magnitude = kLimit;
  const std::int64_t signedValue = negative ? -magnitude : magnitude;
  value = static_cast<std::int32_t>(
      std::min<std::int64_t>(signedValue, std::numeric_limits<std::int32_t>::max()));
  return i;
}

std::int32_t ParseInt32(std::string_view text) {
  std::int32_t value = 0;
  ScanInt32(text, value);
  return value;
}

}  // namespace text
