#include "com/variants/variant_grid.h"

#include <limits>

#include "com/error.h"

namespace com {
namespace {

bool FitsBound(std::size_t count, std::int32_t first) {
  return count <= std::numeric_limits<std::uint32_t>::max() &&
         std::int64_t{first} + static_cast<std::int64_t>(count) - 1 <=
             std::numeric_limits<std::int32_t>::max();
}

SAFEARRAY* ArrayOf(const VARIANT& value) {
  if (value.vt == (VT_BYREF | VT_VARIANT) && value.pvarVal != nullptr)
    return ArrayOf(*value.pvarVal);
  if (value.vt == (VT_ARRAY | VT_VARIANT)) return value.parray;
  if (value.vt == (VT_BYREF | VT_ARRAY | VT_VARIANT) && value.byref != nullptr)
    return *static_cast<SAFEARRAY**>(value.byref);
  return nullptr;
}

struct Bound {
  std::int32_t first = 1;
  std::size_t count = 0;
};

Bound BoundOf(SAFEARRAY* array, std::uint32_t dim) {
  std::int32_t low = 0, high = 0;
  ThrowIfFailed(GmSafeArrayGetLBound(array, dim, &low));
  ThrowIfFailed(GmSafeArrayGetUBound(array, dim, &high));
  return {low, static_cast<std::size_t>(std::int64_t{high} - low + 1)};
}

// Moves `from` into `to`, an empty element, leaving `from` empty: no copy
// of its text, and nothing freed twice.
void Take(VARIANT& to, VARIANT& from) {
  to = from;
  from.vt = VT_EMPTY;
}

}  // namespace

VariantGrid::VariantGrid(std::size_t rows, std::size_t columns, std::int32_t firstRow,
                         std::int32_t firstColumn)
    : rows_(rows), columns_(columns), firstRow_(firstRow), firstColumn_(firstColumn) {
  if (!FitsBound(rows, firstRow) || !FitsBound(columns, firstColumn)) Throw(E_INVALIDARG);
  std::size_t count = 0;
  if (__builtin_mul_overflow(rows, columns, &count)) Throw(E_INVALIDARG);
  cells_.resize(count);
}

std::size_t VariantGrid::Offset(std::int32_t row, std::int32_t column) const {
  const std::int64_t r = std::int64_t{row} - firstRow_;
  const std::int64_t c = std::int64_t{column} - firstColumn_;
  if (r < 0 || c < 0 || r >= static_cast<std::int64_t>(rows_) ||
      c >= static_cast<std::int64_t>(columns_))
    Throw(DISP_E_BADINDEX);
  return static_cast<std::size_t>(c) * rows_ + static_cast<std::size_t>(r);
}

Variant& VariantGrid::At(std::int32_t row, std::int32_t column) {
  return cells_[Offset(row, column)];
}

const Variant& VariantGrid::At(std::int32_t row, std::int32_t column) const {
  return cells_[Offset(row, column)];
}

Variant VariantGrid::EmptyArray() const {
  const SAFEARRAYBOUND bounds[2] = {{static_cast<std::uint32_t>(rows_), firstRow_},
                                    {static_cast<std::uint32_t>(columns_), firstColumn_}};
  Variant result = Variant::Array(GmSafeArrayCreate(VT_VARIANT, 2, bounds));
  if (result.parray == nullptr) Throw(E_OUTOFMEMORY);
  return result;
}

Variant VariantGrid::ToVariant() const& {
  Variant result = EmptyArray();
  auto* elements = static_cast<VARIANT*>(result.parray->pvData);
  for (std::size_t i = 0; i < cells_.size(); ++i)
    ThrowIfFailed(GmVariantCopy(&elements[i], &cells_[i]));
  return result;
}

Variant VariantGrid::ToVariant() && {
  Variant result = EmptyArray();
  auto* elements = static_cast<VARIANT*>(result.parray->pvData);
  for (std::size_t i = 0; i < cells_.size(); ++i)
    Take(elements[i], cells_[i]);
  return result;
}

VariantGrid VariantGrid::FromVariant(const VARIANT& value) {
  SAFEARRAY* array = ArrayOf(value);
  const std::uint32_t dims = GmSafeArrayGetDim(array);
  if (array == nullptr || dims < 1 || dims > 2 || array->cbElements != sizeof(VARIANT))
    Throw(DISP_E_TYPEMISMATCH);

  const Bound rows = dims == 2 ? BoundOf(array, 1) : Bound{1, 1};
  const Bound columns = BoundOf(array, dims);
  VariantGrid grid(rows.count, columns.count, rows.first, columns.first);
  const auto* elements = static_cast<const VARIANT*>(array->pvData);
  // A one-dimensional array is one row, so its elements keep their order.
  for (std::size_t i = 0; i < grid.cells_.size(); ++i)
    grid.cells_[i] = Variant(elements[i]);
  return grid;
}

VariantGrid VariantGrid::FromVariant(Variant&& value) {
  // Only an array the variant owns may give its elements up.
  if (value.vt != (VT_ARRAY | VT_VARIANT) || value.parray == nullptr ||
      GmSafeArrayGetDim(value.parray) != 2 || value.parray->cbElements != sizeof(VARIANT))
    return FromVariant(static_cast<const VARIANT&>(value));
  SAFEARRAY* array = value.parray;
  const Bound rows = BoundOf(array, 1);
  const Bound columns = BoundOf(array, 2);
  VariantGrid grid(rows.count, columns.count, rows.first, columns.first);
  auto* elements = static_cast<VARIANT*>(array->pvData);
  for (std::size_t i = 0; i < grid.cells_.size(); ++i)
    Take(grid.cells_[i], elements[i]);
  return grid;
}

}  // namespace com
