#include "excel/calc/cells/cell_input.h"

#include <algorithm>

#include "com/error.h"
#include "excel/calc/calls/calc_errors.h"
#include "text/ascii.h"
#include "text/number.h"

namespace excel::calc {
namespace {

using text::EqualsNoCase;

// A cell's text is trimmed of blanks, tabs and no-break spaces.
std::u16string_view Trim(std::u16string_view text) {
  return text::Trim(text, u" \t\u00A0");
}

bool HasDigit(std::u16string_view text) {
  return std::any_of(text.begin(), text.end(), [](char16_t c) { return c >= u'0' && c <= u'9'; });
}

// The number a numeric VARIANT holds (dates are day numbers).
double NumberOf(const com::VARIANT& value) {
  switch (value.vt) {
    case com::VT_R8:
      return value.dblVal;
    case com::VT_DATE:
      return value.date;
    case com::VT_R4:
      return value.fltVal;
    case com::VT_I4:
    case com::VT_INT:
      return value.lVal;
    case com::VT_I2:
      return value.iVal;
    case com::VT_I1:
      return value.cVal;
    case com::VT_UI1:
      return value.bVal;
    case com::VT_UI2:
      return value.uiVal;
    case com::VT_UI4:
    case com::VT_UINT:
      return value.ulVal;
    case com::VT_I8:
      return static_cast<double>(value.llVal);
    default:
      return static_cast<double>(value.ullVal);  // VT_UI8
  }
}

}  // namespace

const com::VARIANT& Dereferenced(const com::VARIANT& value) {
  return value.vt == (com::VT_BYREF | com::VT_VARIANT) && value.pvarVal != nullptr ? *value.pvarVal
                                                                                   : value;
}

std::optional<double> ParsePlainNumber(std::u16string_view text) {
  text = Trim(text);
  if (text.empty() || text.size() > 400) return std::nullopt;
  std::string ascii;
  ascii.reserve(text.size());
  for (const char16_t c : text) {
    if (c > 0x7F) return std::nullopt;
    ascii += static_cast<char>(c);
  }
  return text::ParseWholeNumber(ascii);
}

CellInput ClassifyText(std::u16string_view text) {
  CellInput input;
  if (text.empty()) return input;  // kEmpty
  if (text.front() == u'\'') {
    input.kind = InputKind::kText;
    input.text = std::u16string(text.substr(1));
    return input;
  }
  if (text.front() == u'=' && text.size() > 1) {
    input.kind = InputKind::kFormula;
    input.text = std::u16string(text);
    return input;
  }
  const std::u16string_view trimmed = Trim(text);
  if (const std::optional<com::SCODE> error = ErrorValueNamed(trimmed)) {
    input.kind = InputKind::kError;
    input.error = *error;
    return input;
  }
  if (EqualsNoCase(trimmed, u"TRUE") || EqualsNoCase(trimmed, u"FALSE")) {
    input.kind = InputKind::kLogical;
    input.number = EqualsNoCase(trimmed, u"TRUE") ? 1 : 0;
    return input;
  }
  if (const std::optional<double> number = ParsePlainNumber(text)) {
    input.kind = InputKind::kNumber;
    input.number = *number;
    return input;
  }
  input.text = std::u16string(text);
  // Without a digit the office's recognition can only give text (a month
  // name alone stays text), so it is stored directly.
  input.kind = HasDigit(text) ? InputKind::kTyped : InputKind::kText;
  return input;
}

CellInput ClassifyValue(const com::VARIANT& value) {
  if (value.vt == (com::VT_BYREF | com::VT_VARIANT) && value.pvarVal != nullptr)
    return ClassifyValue(*value.pvarVal);
  CellInput input;
  switch (value.vt) {
    case com::VT_EMPTY:
    case com::VT_NULL:
      return input;
    case com::VT_R8:
    case com::VT_DATE:
    case com::VT_R4:
    case com::VT_I4:
    case com::VT_INT:
    case com::VT_I2:
    case com::VT_I1:
    case com::VT_UI1:
    case com::VT_UI2:
    case com::VT_UI4:
    case com::VT_UINT:
    case com::VT_I8:
    case com::VT_UI8:
      input.kind = InputKind::kNumber;
      input.number = NumberOf(value);
      return input;
    case com::VT_BOOL:
      input.kind = InputKind::kLogical;
      input.number = value.boolVal != com::VARIANT_FALSE ? 1 : 0;
      return input;
    case com::VT_BSTR:
      return ClassifyText(
          std::u16string_view(value.bstrVal == nullptr ? u"" : value.bstrVal,
                              value.bstrVal == nullptr ? 0 : GmSysStringLen(value.bstrVal)));
    case com::VT_ERROR:
      if (!ErrorFormula(value.scode)) com::Throw(com::DISP_E_TYPEMISMATCH);
      input.kind = InputKind::kError;
      input.error = value.scode;
      return input;
    default:
      com::Throw(com::DISP_E_TYPEMISMATCH);
  }
}

const com::VARIANT* ArrayElementFor(const com::VariantGrid& block, std::int32_t row,
                                    std::int32_t column) {
  const auto rows = static_cast<std::int32_t>(block.Rows());
  const auto columns = static_cast<std::int32_t>(block.Columns());
  if (rows == 0 || columns == 0) return nullptr;
  const std::int32_t r = rows == 1 ? 0 : row;
  const std::int32_t c = columns == 1 ? 0 : column;
  if (r >= rows || c >= columns) return nullptr;
  return &block.At(block.FirstRow() + r, block.FirstColumn() + c);
}

}  // namespace excel::calc
