// A rows x columns block of values, as a range of cells travels: a
// two-dimensional VT_ARRAY|VT_VARIANT with the row as the leftmost index,
// lower bounds 1 unless told otherwise.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "com/variants/variant.h"

namespace com {

class VariantGrid {
 public:
  VariantGrid() = default;  // 0 x 0
  // Every cell VT_EMPTY. Throws com::Error(E_INVALIDARG) when the bounds
  // cannot be represented by 32-bit indices.
  VariantGrid(std::size_t rows, std::size_t columns, std::int32_t firstRow = 1,
              std::int32_t firstColumn = 1);

  std::size_t Rows() const noexcept { return rows_; }
  std::size_t Columns() const noexcept { return columns_; }
  std::int32_t FirstRow() const noexcept { return firstRow_; }
  std::int32_t FirstColumn() const noexcept { return firstColumn_; }

  // The cell at (row, column), counted from FirstRow() and FirstColumn();
  // throws com::Error(DISP_E_BADINDEX) outside the grid.
  Variant& At(std::int32_t row, std::int32_t column);
  const Variant& At(std::int32_t row, std::int32_t column) const;

  // A deep copy as a VT_ARRAY|VT_VARIANT VARIANT; throws com::Error.
  Variant ToVariant() const&;
  // The same without copying: the cells move into the array.
  Variant ToVariant() &&;
  // A deep copy of a VT_ARRAY|VT_VARIANT (also by reference, or behind
  // VT_BYREF|VT_VARIANT). A one-dimensional array becomes one row, its bound
  // the column bound. Anything else throws com::Error(DISP_E_TYPEMISMATCH).
  static VariantGrid FromVariant(const VARIANT& value);
  // The same, moving the elements out of an array `value` holds itself.
  static VariantGrid FromVariant(Variant&& value);

  friend bool operator==(const VariantGrid& a, const VariantGrid& b) = default;

 private:
  std::size_t Offset(std::int32_t row, std::int32_t column) const;
  // A VT_ARRAY|VT_VARIANT of this grid's bounds, every element VT_EMPTY.
  Variant EmptyArray() const;

  std::size_t rows_ = 0;
  std::size_t columns_ = 0;
  std::int32_t firstRow_ = 1;
  std::int32_t firstColumn_ = 1;
  std::vector<Variant> cells_;  // column by column, as the array holds them
};

}  // namespace com
