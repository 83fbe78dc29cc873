// SAFEARRAYs of VARIANT. Bounds are stored rightmost dimension first and
// elements with the leftmost index running fastest, as a Windows host lays
// them out, so arrays can cross the library boundary unchanged.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <limits>

#include "com/hresult.h"
#include "gridmoor/oleauto.h"

namespace {

constexpr std::uint32_t kMaxDims = 2;

// rgsabound is declared with one entry and allocated with cDims; index it
// through a pointer.
GmSafeArrayBound* StoredBounds(GmSafeArray* array) {
  return array->rgsabound;
}

// The bound of dimension `dim`, numbered from 1 at the leftmost.
const GmSafeArrayBound& BoundOf(GmSafeArray* array, std::uint32_t dim) {
  return StoredBounds(array)[array->cDims - dim];
}

std::size_t ElementCount(GmSafeArray* array) {
  std::size_t count = 1;
  for (std::uint32_t i = 0; i < array->cDims; ++i)
    count *= StoredBounds(array)[i].cElements;
  return count;
}

bool HoldsVariants(const GmSafeArray* array) {
  return (array->fFeatures & GM_FADF_VARIANT) != 0 && array->cbElements == sizeof(GmVariant);
}

}  // namespace

GmSafeArray* GmSafeArrayCreate(GmVartype vt, uint32_t dims, const GmSafeArrayBound* bounds) {
  if (vt != GM_VT_VARIANT || dims == 0 || dims > kMaxDims || bounds == nullptr) return nullptr;

  std::size_t count = 1;
  for (std::uint32_t i = 0; i < dims; ++i) {
    const std::int64_t last = std::int64_t{bounds[i].lLbound} + bounds[i].cElements - 1;
    if (last > std::numeric_limits<std::int32_t>::max()) return nullptr;
    if (__builtin_mul_overflow(count, std::size_t{bounds[i].cElements}, &count)) return nullptr;
  }
  if (count > std::numeric_limits<std::size_t>::max() / sizeof(GmVariant)) return nullptr;

  const std::size_t header = offsetof(GmSafeArray, rgsabound) + dims * sizeof(GmSafeArrayBound);
  auto* array = static_cast<GmSafeArray*>(std::calloc(1, header));
  if (array == nullptr) return nullptr;
  if (count > 0) {
    // All-zero bytes are VT_EMPTY.
    array->pvData = std::calloc(count, sizeof(GmVariant));
    if (array->pvData == nullptr) {
      std::free(array);
      return nullptr;
    }
  }
  array->cDims = static_cast<std::uint16_t>(dims);
  array->fFeatures = GM_FADF_VARIANT;
  array->cbElements = sizeof(GmVariant);
  for (std::uint32_t i = 0; i < dims; ++i)
    StoredBounds(array)[i] = bounds[dims - 1 - i];
  return array;
}

GmHresult GmSafeArrayDestroy(GmSafeArray* array) {
  if (array == nullptr) return com::S_OK;
  if (array->pvData != nullptr && HoldsVariants(array)) {
    auto* elements = static_cast<GmVariant*>(array->pvData);
    const std::size_t count = ElementCount(array);
    for (std::size_t i = 0; i < count; ++i)
      GmVariantClear(&elements[i]);
  }
  std::free(array->pvData);
  std::free(array);
  return com::S_OK;
}

GmHresult GmSafeArrayCopy(GmSafeArray* source, GmSafeArray** copy) {
  if (copy == nullptr) return com::E_INVALIDARG;
  *copy = nullptr;
  if (source == nullptr) return com::S_OK;
  if (!HoldsVariants(source) || source->cDims == 0 || source->cDims > kMaxDims)
    return com::DISP_E_BADVARTYPE;

  GmSafeArrayBound bounds[kMaxDims];
  for (std::uint32_t dim = 1; dim <= source->cDims; ++dim)
    bounds[dim - 1] = BoundOf(source, dim);
  GmSafeArray* result = GmSafeArrayCreate(GM_VT_VARIANT, source->cDims, bounds);
  if (result == nullptr) return com::E_OUTOFMEMORY;

  const auto* from = static_cast<const GmVariant*>(source->pvData);
  auto* to = static_cast<GmVariant*>(result->pvData);
  const std::size_t count = ElementCount(source);
  for (std::size_t i = 0; i < count; ++i) {
    const GmHresult hr = GmVariantCopy(&to[i], &from[i]);
    if (com::FAILED(hr)) {
      GmSafeArrayDestroy(result);
      return hr;
    }
  }
  *copy = result;
  return com::S_OK;
}

GmHresult GmSafeArrayPtrOfIndex(GmSafeArray* array, const int32_t* indices, void** element) {
  if (array == nullptr || indices == nullptr || element == nullptr) return com::E_INVALIDARG;
  // The leftmost index runs fastest.
  std::size_t cell = 0;
  std::size_t stride = 1;
  for (std::uint32_t dim = 1; dim <= array->cDims; ++dim) {
    const GmSafeArrayBound& bound = BoundOf(array, dim);
    const std::int64_t offset = std::int64_t{indices[dim - 1]} - bound.lLbound;
    if (offset < 0 || offset >= std::int64_t{bound.cElements}) return com::DISP_E_BADINDEX;
    cell += static_cast<std::size_t>(offset) * stride;
    stride *= bound.cElements;
  }
  *element = static_cast<char*>(array->pvData) + cell * array->cbElements;
  return com::S_OK;
}

uint32_t GmSafeArrayGetDim(GmSafeArray* array) {
  return array == nullptr ? 0 : array->cDims;
}

GmHresult GmSafeArrayGetLBound(GmSafeArray* array, uint32_t dim, int32_t* lower) {
  if (array == nullptr || lower == nullptr) return com::E_INVALIDARG;
  if (dim < 1 || dim > array->cDims) return com::DISP_E_BADINDEX;
  *lower = BoundOf(array, dim).lLbound;
  return com::S_OK;
}

GmHresult GmSafeArrayGetUBound(GmSafeArray* array, uint32_t dim, int32_t* upper) {
  if (array == nullptr || upper == nullptr) return com::E_INVALIDARG;
  if (dim < 1 || dim > array->cDims) return com::DISP_E_BADINDEX;
  const GmSafeArrayBound& bound = BoundOf(array, dim);
  *upper = static_cast<int32_t>(std::int64_t{bound.lLbound} + bound.cElements - 1);
  return com::S_OK;
}

GmSafeArray* GmSafeArrayCreateMatrix(uint32_t rows, uint32_t columns) {
  if (rows == 0 || columns == 0) return nullptr;
  const GmSafeArrayBound bounds[2] = {{rows, 1}, {columns, 1}};
  return GmSafeArrayCreate(GM_VT_VARIANT, 2, bounds);
}

GmHresult GmSafeArrayGetElement(GmSafeArray* array, const int32_t* indices, GmVariant* value) {
  if (value == nullptr) return com::E_INVALIDARG;
  if (array != nullptr && !HoldsVariants(array)) return com::DISP_E_BADVARTYPE;
  void* element = nullptr;
  const GmHresult hr = GmSafeArrayPtrOfIndex(array, indices, &element);
  if (com::FAILED(hr)) return hr;
  return GmVariantCopy(value, static_cast<const GmVariant*>(element));
}

GmHresult GmSafeArrayPutElement(GmSafeArray* array, const int32_t* indices,
                                const GmVariant* value) {
  if (value == nullptr) return com::E_INVALIDARG;
  if (array != nullptr && !HoldsVariants(array)) return com::DISP_E_BADVARTYPE;
  void* element = nullptr;
  const GmHresult hr = GmSafeArrayPtrOfIndex(array, indices, &element);
  if (com::FAILED(hr)) return hr;
  // Copied aside first, so that the element keeps its value when the copy fails.
  GmVariant copy;
  GmVariantInit(&copy);
  const GmHresult copied = GmVariantCopy(&copy, value);
  if (com::FAILED(copied)) return copied;
  GmVariantClear(static_cast<GmVariant*>(element));
  *static_cast<GmVariant*>(element) = copy;
  return com::S_OK;
}
