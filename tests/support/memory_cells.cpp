#include "support/memory_cells.h"

#include <algorithm>
#include <charconv>
#include <system_error>

#include "com/error.h"
#include "excel/errors.h"

namespace test_support {

namespace {

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

bool IsLetter(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

int UpperLetterValue(char c) {
  return (c >= 'a' ? c - 'a' : c - 'A') + 1;
}

struct ErrorName {
  std::string_view name;
  SCODE code;
};
constexpr ErrorName kErrorNames[] = {
    {"#NULL!", excel::kErrNull}, {"#DIV/0!", excel::kErrDiv0}, {"#VALUE!", excel::kErrValue},
    {"#REF!", excel::kErrRef},   {"#NAME?", excel::kErrName},  {"#NUM!", excel::kErrNum},
    {"#N/A", excel::kErrNA},
};

}  // namespace

CellBlock CellBlock::Span(const CellBlock& a, const CellBlock& b) {
  return {{std::min(a.first.row, b.first.row), std::min(a.first.column, b.first.column)},
          {std::max(a.last.row, b.last.row), std::max(a.last.column, b.last.column)}};
}

std::optional<CellPosition> ParseCellAddress(std::string_view text) {
  std::size_t at = 0;
  if (at < text.size() && text[at] == '$') ++at;
  int column = 0;
  std::size_t letters = 0;
  while (at < text.size() && IsLetter(text[at])) {
    if (++letters > 3) return std::nullopt;
    column = column * 26 + UpperLetterValue(text[at]);
    ++at;
  }
  if (letters == 0 || column > kMaxColumns) return std::nullopt;
  if (at < text.size() && text[at] == '$') ++at;
  if (at >= text.size() || text[at] == '0') return std::nullopt;  // no digits, or a leading zero
  long row = 0;
  for (; at < text.size(); ++at) {
    if (!IsDigit(text[at])) return std::nullopt;
    row = row * 10 + (text[at] - '0');
    if (row > kMaxRows) return std::nullopt;
  }
  return CellPosition{static_cast<int>(row), column};
}

std::optional<CellBlock> ParseBlockAddress(std::string_view text) {
  const std::size_t colon = text.find(':');
  if (colon == std::string_view::npos) {
    const auto cell = ParseCellAddress(text);
    if (!cell) return std::nullopt;
    return CellBlock{*cell, *cell};
  }
  const auto first = ParseCellAddress(text.substr(0, colon));
  const auto last = ParseCellAddress(text.substr(colon + 1));
  if (!first || !last) return std::nullopt;
  return CellBlock::Span({*first, *first}, {*last, *last});
}

std::string ColumnLetters(int column) {
  std::string letters;
  for (; column > 0; column = (column - 1) / 26) {
    letters.insert(letters.begin(), static_cast<char>('A' + (column - 1) % 26));
  }
  return letters;
}

std::string CellAddressText(CellPosition cell) {
  return ColumnLetters(cell.column) + std::to_string(cell.row);
}

std::string BlockAddressText(const CellBlock& block) {
  if (block.first == block.last) return CellAddressText(block.first);
  return CellAddressText(block.first) + ":" + CellAddressText(block.last);
}

bool IsCellErrorCode(SCODE code) {
  switch (code) {
    case excel::kErrNull:
    case excel::kErrDiv0:
    case excel::kErrValue:
    case excel::kErrRef:
    case excel::kErrName:
    case excel::kErrNum:
    case excel::kErrNA:
      return true;
    default:
      return false;
  }
}

bool SameName(std::string_view a, std::string_view b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
    const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
    return lower(x) == lower(y);
  });
}

std::string_view TrimBlanks(std::string_view text) {
  constexpr std::string_view kNoBreakSpace = "\xC2\xA0";
  while (true) {
    if (!text.empty() && (text.front() == ' ' || text.front() == '\t')) {
      text.remove_prefix(1);
    } else if (text.starts_with(kNoBreakSpace)) {
      text.remove_prefix(kNoBreakSpace.size());
    } else {
      break;
    }
  }
  while (true) {
    if (!text.empty() && (text.back() == ' ' || text.back() == '\t')) {
      text.remove_suffix(1);
    } else if (text.ends_with(kNoBreakSpace)) {
      text.remove_suffix(kNoBreakSpace.size());
    } else {
      return text;
    }
  }
}

std::optional<double> ParseClassicNumber(std::string_view text) {
  text = TrimBlanks(text);
  std::size_t at = 0;
  bool negative = false;
  if (at < text.size() && (text[at] == '+' || text[at] == '-')) negative = text[at++] == '-';
  const std::size_t bodyStart = at;
  std::size_t digits = 0;
  while (at < text.size() && IsDigit(text[at]))
    ++at, ++digits;
  if (at < text.size() && text[at] == '.') {
    ++at;
    while (at < text.size() && IsDigit(text[at]))
      ++at, ++digits;
  }
  if (digits == 0) return std::nullopt;
  if (at < text.size() && (text[at] == 'e' || text[at] == 'E')) {
    ++at;
    if (at < text.size() && (text[at] == '+' || text[at] == '-')) ++at;
    std::size_t exponentDigits = 0;
    while (at < text.size() && IsDigit(text[at]))
      ++at, ++exponentDigits;
    if (exponentDigits == 0) return std::nullopt;
  }
  if (at != text.size()) return std::nullopt;
  // from_chars takes no '+' and never reads the process locale.
  double value = 0;
  const char* begin = text.data() + bodyStart;
  const auto result = std::from_chars(begin, text.data() + text.size(), value);
  if (result.ec != std::errc() || result.ptr != text.data() + text.size()) return std::nullopt;
  return negative ? -value : value;
}

CellInput InterpretInput(const VARIANT& value) {
  switch (value.vt) {
    case VT_EMPTY:
    case VT_NULL:
      return {};
    case VT_R8:
    case VT_DATE:
      return {com::Variant::Double(value.dblVal), {}};
    case VT_R4:
      return {com::Variant::Double(value.fltVal), {}};
    case VT_I1:
      return {com::Variant::Double(value.cVal), {}};
    case VT_UI1:
      return {com::Variant::Double(value.bVal), {}};
    case VT_I2:
      return {com::Variant::Double(value.iVal), {}};
    case VT_UI2:
      return {com::Variant::Double(value.uiVal), {}};
    case VT_I4:
    case VT_INT:
      return {com::Variant::Double(value.lVal), {}};
    case VT_UI4:
    case VT_UINT:
      return {com::Variant::Double(value.ulVal), {}};
    case VT_I8:
      return {com::Variant::Double(static_cast<double>(value.llVal)), {}};
    case VT_UI8:
      return {com::Variant::Double(static_cast<double>(value.ullVal)), {}};
    case VT_BOOL:
      return {com::Variant::Bool(value.boolVal != VARIANT_FALSE), {}};
    case VT_ERROR:
      if (!IsCellErrorCode(value.scode)) com::Throw(com::DISP_E_TYPEMISMATCH);
      return {com::Variant::ErrorValue(value.scode), {}};
    case VT_BYREF | VT_VARIANT:
      if (value.pvarVal == nullptr) com::Throw(com::E_POINTER);
      return InterpretInput(*value.pvarVal);
    case VT_BSTR: {
      const std::string text = com::BstrToUtf8(value.bstrVal);
      if (text.empty()) return {};
      if (text.front() == '\'') return {com::Variant::Text(std::string_view(text).substr(1)), {}};
      if (text.front() == '=' && text.size() > 1) return {com::Variant(), text};
      const std::string_view trimmed = TrimBlanks(text);
      for (const auto& [name, code] : kErrorNames) {
        if (SameName(trimmed, name)) return {com::Variant::ErrorValue(code), {}};
      }
      if (SameName(trimmed, "TRUE") || SameName(trimmed, "FALSE")) {
        return {com::Variant::Bool(SameName(trimmed, "TRUE")), {}};
      }
      if (const auto number = ParseClassicNumber(text)) return {com::Variant::Double(*number), {}};
      return {com::Variant::Text(text), {}};
    }
    default:
      com::Throw(com::DISP_E_TYPEMISMATCH);
  }
}

}  // namespace test_support
