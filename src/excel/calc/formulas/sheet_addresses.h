// Where cells are, as a spreadsheet user writes it: A1 references as areas
// of the grid, and the sheet names the spreadsheet accepts. Kept free of UNO
// so that they are unit tested alone.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace excel::calc {

// Columns and rows, 0-based, inclusive; a whole column or row spans the grid.
struct CellArea {
  std::int32_t firstColumn = 0;
  std::int32_t firstRow = 0;
  std::int32_t lastColumn = 0;
  std::int32_t lastRow = 0;

  std::int32_t Columns() const { return lastColumn - firstColumn + 1; }
  std::int32_t Rows() const { return lastRow - firstRow + 1; }
  bool IsSingleCell() const { return firstColumn == lastColumn && firstRow == lastRow; }
  friend bool operator==(const CellArea&, const CellArea&) = default;
};

inline constexpr std::int32_t kMaxColumns = 16384;  // A..XFD
inline constexpr std::int32_t kMaxRows = 1048576;

// An A1 reference as a spreadsheet user writes it: "B7", "$B$7", "b7",
// "A1:C3" (corners in any order), "A:C", "3:5". nullopt for anything else,
// such as a name or a reference outside the grid.
std::optional<CellArea> ParseA1Area(std::string_view text);

// "$B$7", or "$B$7:$C$9" for more than one cell.
std::string AbsoluteA1(const CellArea& area);
// "A" for column 0, "AA" for 26.
std::string ColumnLetters(std::int32_t column);

// The smallest area holding both.
CellArea BoundingArea(const CellArea& a, const CellArea& b);

// A sheet name that the spreadsheet accepts: 1 to 31 characters, none of
// []:*?/\ and no apostrophe at either end.
bool IsAcceptableSheetName(std::u16string_view name);

}  // namespace excel::calc
