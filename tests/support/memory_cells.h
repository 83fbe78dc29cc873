// Cells of the in-memory spreadsheet: A1 addresses, and what a value written
// through Value2 becomes in a cell.
#pragma once

#include <compare>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "com/variant.h"

namespace test_support {

inline constexpr int kMaxRows = 1048576;
inline constexpr int kMaxColumns = 16384;  // XFD

// 1-based row and column; ordered row first.
struct CellPosition {
  int row = 1;
  int column = 1;
  auto operator<=>(const CellPosition&) const = default;
};

// A rectangle of cells, corners included, first <= last in both directions.
struct CellBlock {
  CellPosition first;
  CellPosition last;
  int Rows() const { return last.row - first.row + 1; }
  int Columns() const { return last.column - first.column + 1; }
  std::size_t CellCount() const {
    return static_cast<std::size_t>(Rows()) * static_cast<std::size_t>(Columns());
  }
  bool Contains(CellPosition cell) const {
    return cell.row >= first.row && cell.row <= last.row && cell.column >= first.column &&
           cell.column <= last.column;
  }
  // The smallest block holding both.
  static CellBlock Span(const CellBlock& a, const CellBlock& b);
  friend bool operator==(const CellBlock&, const CellBlock&) = default;
};

// "B7", "$B$7", "b7" (letters in any case, `$` before either part). Nothing
// else: no blanks, no sheet prefix, no whole rows or columns.
std::optional<CellPosition> ParseCellAddress(std::string_view text);
// A cell address or two of them joined by ':' ("A1:C3", "$C$3:A1"), in any
// corner order.
std::optional<CellBlock> ParseBlockAddress(std::string_view text);

std::string ColumnLetters(int column);                 // 1 -> "A", 27 -> "AA"
std::string CellAddressText(CellPosition cell);        // "B7"
std::string BlockAddressText(const CellBlock& block);  // "B7", or "A1:C3" for more cells

// What one cell holds. `value` is VT_EMPTY, VT_R8, VT_BSTR, VT_BOOL
// (VARIANT_TRUE or VARIANT_FALSE) or VT_ERROR; for a formula cell it is the
// computed value the test set (VT_EMPTY until then). An empty numberFormat is
// the default "General".
struct CellContent {
  com::Variant value;
  std::string formula;
  std::string numberFormat;

  bool HoldsNothing() const { return value.IsEmpty() && formula.empty() && numberFormat.empty(); }
};

// A value written through Value2, as the cell takes it: what it becomes and
// the formula text, if it is one.
struct CellInput {
  com::Variant value;
  std::string formula;
};

// The type mapping of a Value2 put:
//   VT_EMPTY, VT_NULL             clear the cell
//   VT_R8, VT_R4, VT_DATE,        a number (VT_R8); dates are day numbers
//   VT_I1 ... VT_UI8, VT_INT/UINT
//   VT_BOOL                       a logical (normalised to VARIANT_TRUE/FALSE)
//   VT_ERROR                      one of the seven cell error codes; any other
//                                 code (the Missing marker included) is refused
//   VT_BSTR                       as if typed: "" clears; "'rest" is the text
//                                 rest; "=..." a formula (computed value
//                                 VT_EMPTY); then, blanks (space, tab,
//                                 no-break space) around ignored: an error
//                                 name ("#N/A", any case) the error value,
//                                 TRUE or FALSE (any case) a logical, a number
//                                 in the classic "C" form (" 1.5e3") VT_R8;
//                                 anything else stays text as given (also
//                                 "=" alone, and dates or percentages, which
//                                 the real application may recognise)
//   VT_BYREF|VT_VARIANT           as the value it points to
// Every other type fails with DISP_E_TYPEMISMATCH.
CellInput InterpretInput(const VARIANT& value);

// A number written as the classic "C" locale writes it: optional sign,
// digits with an optional decimal point, optional exponent, blanks (space,
// tab, no-break space) around.
// No hexadecimal, infinities, NaN, thousands separators; out of range is no
// number.
std::optional<double> ParseClassicNumber(std::string_view text);

// True for the VT_ERROR codes a cell can hold (kErrNull ... kErrNA).
bool IsCellErrorCode(SCODE code);

// Sheet, workbook, macro and range names compare without regard to ASCII
// case, as the application compares them.
bool SameName(std::string_view a, std::string_view b);

}  // namespace test_support
