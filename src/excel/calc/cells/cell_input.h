// How a value written into a cell is taken: a text as if typed, a VARIANT
// as a cell value, and an array spread over a range. Kept free of UNO so
// that they are unit tested alone.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "com/oleauto_types.h"
#include "com/variants/variant_grid.h"

namespace excel::calc {

// How a value written into a cell is taken.
enum class InputKind {
  kEmpty,    // clears the cell
  kNumber,   // `number`
  kLogical,  // `number` is 1 or 0
  kText,     // `text`, stored as it is
  kFormula,  // `text` is the formula, "=" included, as a spreadsheet user writes it
  kTyped,    // `text` goes to the application's own input recognition (dates, 1,234, 50%)
  kError,    // `error` is an error value
};

struct CellInput {
  InputKind kind = InputKind::kEmpty;
  double number = 0;
  std::u16string text;
  com::SCODE error = 0;
};

// A text as if typed into a cell: "" clears, "'…" is text without the
// apostrophe, "=…" is a formula, TRUE/FALSE are logicals, an error value's
// name (#N/A) is that error value, a plain decimal
// number is that number, a text without digits is text, and anything else
// (dates, percentages, grouped digits) is left to the application.
CellInput ClassifyText(std::u16string_view text);

// A VARIANT as a cell value. Throws com::Error(DISP_E_TYPEMISMATCH) for what
// no cell can hold (arrays, the missing marker, objects).
CellInput ClassifyValue(const com::VARIANT& value);

// The element of `block` that goes into cell (row, column) of the target
// range (0-based), as the spreadsheet spreads an array over a range: a
// single row repeats down, a single column across; nullptr (#N/A) beyond.
const com::VARIANT* ArrayElementFor(const com::VariantGrid& block, std::int32_t row,
                                    std::int32_t column);

// A plain decimal number: optional sign, digits with an optional point and
// an optional exponent, blanks around allowed. nullopt otherwise.
std::optional<double> ParsePlainNumber(std::u16string_view text);

// The VARIANT a VT_BYREF|VT_VARIANT points to; `value` itself otherwise.
const com::VARIANT& Dereferenced(const com::VARIANT& value);

}  // namespace excel::calc
