#include "excel/calc/formulas/sheet_addresses.h"

#include <algorithm>
#include <cctype>

#include "text/ascii.h"

namespace excel::calc {
namespace {

using text::LowerAscii;

// One corner or edge of an A1 reference: "$B$7", "B", "7". Column and row
// are -1 when absent.
struct RefPart {
  std::int32_t column = -1;
  std::int32_t row = -1;
};

std::optional<RefPart> ParseRefPart(std::string_view text) {
  RefPart part;
  std::size_t at = 0;
  if (at < text.size() && text[at] == '$') ++at;
  std::int64_t column = 0;
  std::size_t letters = 0;
  while (at < text.size() && std::isalpha(static_cast<unsigned char>(text[at]))) {
    column = column * 26 + (LowerAscii(text[at]) - 'a' + 1);
    if (column > kMaxColumns) return std::nullopt;
    ++at;
    ++letters;
  }
  if (letters > 0) part.column = static_cast<std::int32_t>(column - 1);
  if (at < text.size() && text[at] == '$') {
    if (letters == 0 && at > 0) return std::nullopt;  // "$$7"
    ++at;
  }
  std::int64_t row = 0;
  std::size_t digits = 0;
  while (at < text.size() && std::isdigit(static_cast<unsigned char>(text[at]))) {
    row = row * 10 + (text[at] - '0');
    if (row > kMaxRows) return std::nullopt;
    ++at;
    ++digits;
  }
  if (at != text.size()) return std::nullopt;
  if (digits > 0) {
    if (row == 0) return std::nullopt;
    part.row = static_cast<std::int32_t>(row - 1);
  }
  if (letters == 0 && digits == 0) return std::nullopt;
  return part;
}

}  // namespace

std::optional<CellArea> ParseA1Area(std::string_view text) {
  const std::size_t colon = text.find(':');
  const std::string_view first = text.substr(0, colon);
  const std::optional<RefPart> a = ParseRefPart(first);
  if (!a) return std::nullopt;
  RefPart b = *a;
  if (colon != std::string_view::npos) {
    const std::optional<RefPart> second = ParseRefPart(text.substr(colon + 1));
    if (!second) return std::nullopt;
    b = *second;
  }
  const bool aCell = a->column >= 0 && a->row >= 0;
  const bool bCell = b.column >= 0 && b.row >= 0;
  CellArea area;
  if (aCell && bCell) {
    area.firstColumn = std::min(a->column, b.column);
    area.lastColumn = std::max(a->column, b.column);
    area.firstRow = std::min(a->row, b.row);
    area.lastRow = std::max(a->row, b.row);
    return area;
  }
  if (colon == std::string_view::npos) return std::nullopt;          // "B" or "7" alone
  if (a->row < 0 && b.row < 0 && a->column >= 0 && b.column >= 0) {  // "A:C"
    area.firstColumn = std::min(a->column, b.column);
    area.lastColumn = std::max(a->column, b.column);
    area.firstRow = 0;
    area.lastRow = kMaxRows - 1;
    return area;
  }
  if (a->column < 0 && b.column < 0 && a->row >= 0 && b.row >= 0) {  // "3:5"
    area.firstRow = std::min(a->row, b.row);
    area.lastRow = std::max(a->row, b.row);
    area.firstColumn = 0;
    area.lastColumn = kMaxColumns - 1;
    return area;
  }
  return std::nullopt;
}

std::string ColumnLetters(std::int32_t column) {
  std::string letters;
  for (std::int32_t c = column + 1; c > 0; c = (c - 1) / 26)
    letters.insert(letters.begin(), static_cast<char>('A' + (c - 1) % 26));
  return letters;
}

std::string AbsoluteA1(const CellArea& area) {
  const auto corner = [](std::int32_t column, std::int32_t row) {
    return "$" + ColumnLetters(column) + "$" + std::to_string(row + 1);
  };
  const std::string first = corner(area.firstColumn, area.firstRow);
  return area.IsSingleCell() ? first : first + ":" + corner(area.lastColumn, area.lastRow);
}

CellArea BoundingArea(const CellArea& a, const CellArea& b) {
  return CellArea{std::min(a.firstColumn, b.firstColumn), std::min(a.firstRow, b.firstRow),
                  std::max(a.lastColumn, b.lastColumn), std::max(a.lastRow, b.lastRow)};
}

bool IsAcceptableSheetName(std::u16string_view name) {
  if (name.empty() || name.size() > 31) return false;
  if (name.front() == u'\'' || name.back() == u'\'') return false;
  return name.find_first_of(u"[]:*?/\\") == std::u16string_view::npos;
}

}  // namespace excel::calc
