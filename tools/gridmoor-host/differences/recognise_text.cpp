// TEXT: the two programs read some format codes otherwise. The format code
// is often in another cell, so these tests read the two results: the same
// number shown otherwise, never two different numbers.
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <regex>

#include "differences/difference_recognisers.h"

namespace refhost::differences {
namespace {

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

// Figure, no-break and narrow no-break spaces as plain spaces: Calc pads a
// "?" placeholder with a figure space, Excel with a space.
std::string PlainSpaces(std::string text) {
  for (const std::string_view space : {"\xE2\x80\x87", "\xC2\xA0", "\xE2\x80\xAF"}) {
    for (std::size_t at = text.find(space); at != std::string::npos; at = text.find(space, at))
      text.replace(at, space.size(), " ");
  }
  return text;
}

// The number a formatted text shows, without its decoration: digits (each
// run without leading zeros, which placeholders pad differently, and
// without grouping), exponent letters and signs, and a decimal point only
// where digits follow it.
std::string NumericSkeleton(std::string_view text) {
  std::string kept;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (IsDigit(c) || c == 'e' || c == 'E' || c == '+' || c == '-' || c == '%' ||
        (c == '.' && i + 1 < text.size() && IsDigit(text[i + 1])))
      kept += c;
  }
  std::string out;
  for (std::size_t i = 0; i < kept.size(); ++i) {
    // Zeros after a decimal point are digits of the number.
    const bool runStart = i == 0 || (!IsDigit(kept[i - 1]) && kept[i - 1] != '.');
    if (!runStart || kept[i] != '0') {
      out += kept[i];
      continue;
    }
    while (i + 1 < kept.size() && kept[i] == '0' && IsDigit(kept[i + 1]))
      ++i;
    out += kept[i];
  }
  return out;
}

bool HasDigit(std::string_view text) {
  return text.find_first_of("0123456789") != std::string_view::npos;
}

// A whole text read as a number ("1.5", "-1E+11").
bool ReadNumber(const std::string& text, double& value) {
  if (text.empty() || std::isspace(static_cast<unsigned char>(text.front()))) return false;
  char* end = nullptr;
  value = std::strtod(text.c_str(), &end);
  return end == text.c_str() + text.size() && std::isfinite(value);
}

// The power of ten of the last digit a number text shows: -9 for
// "1.234567891", 6 for "1.12346E+11".
int LastDigitPower(const std::string& text) {
  const std::size_t e = text.find_first_of("eE");
  const std::string mantissa = text.substr(0, e);
  const std::size_t point = mantissa.find('.');
  const int decimals =
      point == std::string::npos ? 0 : static_cast<int>(mantissa.size() - point - 1);
  const int exponent = e == std::string::npos ? 0 : std::atoi(text.c_str() + e + 1);
  return exponent - decimals;
}

// Only the case of the letters a, m, p differs: "6 A" and "6 a" (A/P, AM/PM).
bool OnlyMeridiemCase(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  bool differs = false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (a[i] == b[i]) continue;
    const char lower = static_cast<char>(std::tolower(static_cast<unsigned char>(a[i])));
    if (lower != std::tolower(static_cast<unsigned char>(b[i])) ||
        std::string_view("amp").find(lower) == std::string_view::npos)
      return false;
    differs = true;
  }
  return differs;
}

// Calc shows a code letter it does not read ("y" alone) as it is, where
// Excel shows digits: "15-3-23" and "15-3-y".
bool CodeLetterLeftAsText(const std::string& saved, const std::string& calc) {
  std::size_t prefix = 0;
  while (prefix < saved.size() && prefix < calc.size() && saved[prefix] == calc[prefix])
    ++prefix;
  std::size_t suffix = 0;
  while (suffix < saved.size() - prefix && suffix < calc.size() - prefix &&
         saved[saved.size() - 1 - suffix] == calc[calc.size() - 1 - suffix])
    ++suffix;
  const std::string savedMiddle = saved.substr(prefix, saved.size() - prefix - suffix);
  const std::string calcMiddle = calc.substr(prefix, calc.size() - prefix - suffix);
  return !savedMiddle.empty() && !calcMiddle.empty() &&
         savedMiddle.find_first_not_of("0123456789") == std::string::npos &&
         calcMiddle.find_first_not_of("yYmMdDhHsSgGeEbB") == std::string::npos;
}

// The same time but for one second: Excel rounds to the second, Calc cuts.
bool OneSecondApart(const std::string& saved, const std::string& calc) {
  static const std::regex time(R"((\d+):(\d\d):(\d\d))");
  std::smatch a, b;
  if (!std::regex_search(saved, a, time) || !std::regex_search(calc, b, time)) return false;
  if (a.prefix().str() != b.prefix().str() || a.suffix().str() != b.suffix().str()) return false;
  const auto seconds = [](const std::smatch& m) {
    return std::stol(m[1].str()) * 3600 + std::stol(m[2].str()) * 60 + std::stol(m[3].str());
  };
  return std::labs(seconds(a) - seconds(b)) == 1;
}

// The one number a text holds, read with `decimal` as the decimal
// separator and the other of ".," as the grouping; the text around it in
// `around`, and the count of decimals it shows.
bool ReadSeparated(const std::string& text, char decimal, double& value, int& decimals,
                   std::string& around) {
  const std::size_t first = text.find_first_of("0123456789");
  if (first == std::string::npos) return false;
  std::size_t start = first, end = first;
  while (start > 0 && (text[start - 1] == '.' || text[start - 1] == ','))
    --start;
  while (end < text.size() && (IsDigit(text[end]) || text[end] == '.' || text[end] == ','))
    ++end;
  if (HasDigit(text.substr(end))) return false;
  around = text.substr(0, start) + "#" + text.substr(end);
  std::string number;
  decimals = -1;
  for (std::size_t i = start; i < end; ++i) {
    if (text[i] == decimal) {
      if (decimals >= 0) return false;
      number += '.';
      decimals = 0;
    } else if (IsDigit(text[i])) {
      number += text[i];
      if (decimals >= 0) ++decimals;
    }
  }
  decimals = std::max(decimals, 0);
  return ReadNumber(number, value);
}

// Both texts show the same number when one is read with "." and the other
// with "," as the decimal separator (to the digits each shows), and not
// when both are read alike.
bool SameNumberOtherSeparators(const std::string& saved, const std::string& calc) {
  const auto agree = [&](char savedDecimal, char calcDecimal) {
    double a = 0, b = 0;
    int da = 0, db = 0;
    std::string aroundA, aroundB;
    if (!ReadSeparated(saved, savedDecimal, a, da, aroundA) ||
        !ReadSeparated(calc, calcDecimal, b, db, aroundB) || aroundA != aroundB)
      return false;
    return std::fabs(a - b) <= 0.5 * std::pow(10.0, -std::min(da, db)) * (1 + 1e-9);
  };
  return !agree('.', '.') && !agree(',', ',') && (agree(',', '.') || agree('.', ','));
}

}  // namespace

Label TextLogical(const FormulaView& f, const CellResult& saved, const CellResult& calc) {
  if (!f.Calls("TEXT") || !IsText(saved) || !IsText(calc)) return std::nullopt;
  // A logical takes the text section in Excel; in Calc it is the number 1
  // or 0, whose sections may show nothing.
  if (!saved.text.empty() && calc.text.empty()) return "TEXT";
  std::string asNumbers = saved.text;
  bool replaced = false;
  for (const auto& [word, digit] : {std::pair{"TRUE", "1"}, std::pair{"FALSE", "0"}}) {
    for (std::size_t at = asNumbers.find(word); at != std::string::npos;
         at = asNumbers.find(word, at)) {
      asNumbers.replace(at, std::string_view(word).size(), digit);
      replaced = true;
    }
  }
  if (replaced && asNumbers == calc.text) return "TEXT";
  return std::nullopt;
}

Label TextGeneralDigits(const FormulaView& f, const CellResult& saved, const CellResult& calc) {
  if (!f.Calls("TEXT") || !IsText(saved) || !IsText(calc)) return std::nullopt;
  double s = 0, c = 0;
  if (!ReadNumber(saved.text, s) || !ReadNumber(calc.text, c)) return std::nullopt;
  const std::size_t savedWidth = saved.text.size() - (saved.text.front() == '-' ? 1 : 0);
  if (savedWidth > 11 || calc.text.size() <= saved.text.size()) return std::nullopt;
  const double step = std::pow(10.0, LastDigitPower(saved.text));
  if (std::fabs(s - c) > 0.5 * step * (1 + 1e-9)) return std::nullopt;
  return "TEXT";
}

Label TextSeparators(const FormulaView& f, const CellResult& saved, const CellResult& calc) {
  if (!f.Calls("TEXT") || !IsText(saved) || !IsText(calc)) return std::nullopt;
  // Only a code written in the formula shows its separators.
  const bool separatorCode = std::any_of(f.literals.begin(), f.literals.end(), [](const auto& l) {
    return l.find_first_of(".,") != std::string::npos &&
           l.find_first_not_of("0#?.,") == std::string::npos;
  });
  if (!separatorCode || !SameNumberOtherSeparators(saved.text, calc.text)) return std::nullopt;
  return "TEXT";
}

Label TextFormatCode(const FormulaView& f, const CellResult& saved, const CellResult& calc) {
  if (!f.Calls("TEXT") || !IsText(saved)) return std::nullopt;
  // A code Calc does not read at all.
  if (IsError(calc, "#NUM!") || IsError(calc, "#VALUE!")) return "TEXT";
  if (!IsText(calc)) return std::nullopt;
  const std::string s = PlainSpaces(saved.text), c = PlainSpaces(calc.text);
  if (s == c || OnlyMeridiemCase(s, c) || CodeLetterLeftAsText(s, c) || OneSecondApart(s, c) ||
      s == "-" + c || c == "-" + s)
    return "TEXT";
  const std::string skeleton = NumericSkeleton(s);
  if (HasDigit(skeleton) && skeleton == NumericSkeleton(c)) return "TEXT";
  return std::nullopt;
}

}  // namespace refhost::differences
