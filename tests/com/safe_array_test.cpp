#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "com/error.h"
#include "com/hresult.h"
#include "com/variant.h"
#include "com/variant_grid.h"
#include "thrown_error.h"

namespace {

using com::Variant;
using com::VariantGrid;

std::string CellName(int row, int column) {
  return "r" + std::to_string(row) + "c" + std::to_string(column);
}

VARIANT* Element(SAFEARRAY* array, std::int32_t row, std::int32_t column) {
  const std::int32_t indices[] = {row, column};
  void* element = nullptr;
  EXPECT_EQ(SafeArrayPtrOfIndex(array, indices, &element), com::S_OK);
  return static_cast<VARIANT*>(element);
}

TEST(SafeArray, TwoDimensionsWithTextElements) {
  // Three rows, two columns, bounds given leftmost (rows) first.
  const SAFEARRAYBOUND bounds[] = {{3, 1}, {2, 1}};
  SAFEARRAY* array = SafeArrayCreate(VT_VARIANT, 2, bounds);
  ASSERT_NE(array, nullptr);
  EXPECT_EQ(array->cDims, 2);
  EXPECT_EQ(array->cbElements, sizeof(VARIANT));
  EXPECT_EQ(array->fFeatures & FADF_VARIANT, FADF_VARIANT);
  // Stored rightmost first.
  EXPECT_EQ(array->rgsabound[0].cElements, 2u);
  EXPECT_EQ((&array->rgsabound[0])[1].cElements, 3u);

  for (int row = 1; row <= 3; ++row) {
    for (int column = 1; column <= 2; ++column) {
      VARIANT* element = Element(array, row, column);
      ASSERT_NE(element, nullptr);
      EXPECT_EQ(element->vt, VT_EMPTY);
      Variant text = Variant::Text(CellName(row, column));
      *element = text.Detach();
    }
  }
  // Column by column in memory: the row index runs fastest.
  auto* data = static_cast<VARIANT*>(array->pvData);
  EXPECT_EQ(Element(array, 2, 1), &data[1]);
  EXPECT_EQ(Element(array, 1, 2), &data[3]);
  EXPECT_EQ(Element(array, 3, 2), &data[5]);
  EXPECT_EQ(com::BstrToUtf8(data[4].bstrVal), "r2c2");

  std::int32_t low = 0, high = 0;
  EXPECT_EQ(SafeArrayGetDim(array), 2u);
  EXPECT_EQ(SafeArrayGetLBound(array, 1, &low), com::S_OK);
  EXPECT_EQ(SafeArrayGetUBound(array, 1, &high), com::S_OK);
  EXPECT_EQ(low, 1);
  EXPECT_EQ(high, 3);
  EXPECT_EQ(SafeArrayGetUBound(array, 2, &high), com::S_OK);
  EXPECT_EQ(high, 2);
  EXPECT_EQ(SafeArrayGetLBound(array, 0, &low), com::DISP_E_BADINDEX);
  EXPECT_EQ(SafeArrayGetUBound(array, 3, &high), com::DISP_E_BADINDEX);

  // Destroying clears the texts; the sanitizer build reports any leak.
  EXPECT_EQ(SafeArrayDestroy(array), com::S_OK);
}

TEST(SafeArray, IndexOutsideAnyDimensionIsRefused) {
  const SAFEARRAYBOUND bounds[] = {{3, 0}, {2, -2}};  // rows 0..2, columns -2..-1
  SAFEARRAY* array = SafeArrayCreate(VT_VARIANT, 2, bounds);
  ASSERT_NE(array, nullptr);
  const struct {
    std::int32_t row, column;
    HRESULT expected;
  } cases[] = {
      {0, -2, com::S_OK},
      {2, -1, com::S_OK},
      {-1, -2, com::DISP_E_BADINDEX},
      {3, -2, com::DISP_E_BADINDEX},
      {0, -3, com::DISP_E_BADINDEX},
      {0, 0, com::DISP_E_BADINDEX},
      {INT32_MAX, INT32_MIN, com::DISP_E_BADINDEX},
  };
  for (const auto& c : cases) {
    const std::int32_t indices[] = {c.row, c.column};
    void* element = reinterpret_cast<void*>(0x1);
    EXPECT_EQ(SafeArrayPtrOfIndex(array, indices, &element), c.expected)
        << c.row << "," << c.column;
  }
  const std::int32_t last[] = {2, -1};
  void* element = nullptr;
  ASSERT_EQ(SafeArrayPtrOfIndex(array, last, &element), com::S_OK);
  EXPECT_EQ(element, static_cast<VARIANT*>(array->pvData) + 5);
  EXPECT_EQ(SafeArrayPtrOfIndex(array, nullptr, &element), com::E_INVALIDARG);
  SafeArrayDestroy(array);
}

TEST(SafeArray, CreateRefusesWhatItCannotHold) {
  const SAFEARRAYBOUND two[] = {{2, 1}, {2, 1}};
  const SAFEARRAYBOUND three[] = {{2, 1}, {2, 1}, {2, 1}};
  EXPECT_EQ(SafeArrayCreate(VT_I4, 2, two), nullptr);
  EXPECT_EQ(SafeArrayCreate(VT_VARIANT, 0, two), nullptr);
  EXPECT_EQ(SafeArrayCreate(VT_VARIANT, 3, three), nullptr);
  EXPECT_EQ(SafeArrayCreate(VT_VARIANT, 2, nullptr), nullptr);
  const SAFEARRAYBOUND pastLastIndex[] = {{2, INT32_MAX}};
  EXPECT_EQ(SafeArrayCreate(VT_VARIANT, 1, pastLastIndex), nullptr);
  const SAFEARRAYBOUND huge[] = {{0xFFFFFFFFu, 0}, {0xFFFFFFFFu, 0}};
  EXPECT_EQ(SafeArrayCreate(VT_VARIANT, 2, huge), nullptr);
  EXPECT_EQ(SafeArrayDestroy(nullptr), com::S_OK);
}

TEST(SafeArray, EmptyArrayHasNoElements) {
  const SAFEARRAYBOUND bounds[] = {{0, 1}, {4, 1}};
  SAFEARRAY* array = SafeArrayCreate(VT_VARIANT, 2, bounds);
  ASSERT_NE(array, nullptr);
  const std::int32_t indices[] = {1, 1};
  void* element = nullptr;
  EXPECT_EQ(SafeArrayPtrOfIndex(array, indices, &element), com::DISP_E_BADINDEX);
  std::int32_t high = 7;
  EXPECT_EQ(SafeArrayGetUBound(array, 1, &high), com::S_OK);
  EXPECT_EQ(high, 0);
  EXPECT_EQ(SafeArrayDestroy(array), com::S_OK);
}

TEST(SafeArray, CopyIsDeep) {
  const SAFEARRAYBOUND bounds[] = {{2, 1}};
  SAFEARRAY* array = SafeArrayCreate(VT_VARIANT, 1, bounds);
  ASSERT_NE(array, nullptr);
  auto* data = static_cast<VARIANT*>(array->pvData);
  data[0] = Variant::Text("first").Detach();
  data[1] = Variant::Double(2).Detach();

  SAFEARRAY* copy = nullptr;
  ASSERT_EQ(SafeArrayCopy(array, &copy), com::S_OK);
  ASSERT_NE(copy, nullptr);
  auto* copied = static_cast<VARIANT*>(copy->pvData);
  EXPECT_NE(copied[0].bstrVal, data[0].bstrVal);
  EXPECT_TRUE(com::VariantsEqual(copied[0], data[0]));
  EXPECT_TRUE(com::VariantsEqual(copied[1], data[1]));
  SafeArrayDestroy(copy);
  SafeArrayDestroy(array);

  EXPECT_EQ(SafeArrayCopy(nullptr, &copy), com::S_OK);
  EXPECT_EQ(copy, nullptr);
}

TEST(Variant, ArrayCopiesAndComparesElementwise) {
  VariantGrid grid(2, 2);
  grid.At(1, 1) = Variant::Text("a");
  grid.At(2, 2) = Variant::Int4(4);
  const Variant array = grid.ToVariant();
  Variant copy = array;
  EXPECT_EQ(copy, array);
  EXPECT_NE(copy.parray, array.parray);
  VARIANT* element = Element(copy.parray, 1, 1);
  VariantClear(element);
  *element = Variant::Text("changed").Detach();
  EXPECT_FALSE(copy == array);
  EXPECT_EQ(com::Describe(array), "VT_ARRAY|VT_VARIANT (1..2, 1..2)");
}

TEST(VariantGrid, AccessIsBoundsAware) {
  VariantGrid grid(2, 3, 0, 5);
  EXPECT_EQ(grid.Rows(), 2u);
  EXPECT_EQ(grid.Columns(), 3u);
  grid.At(0, 5) = Variant::Int4(1);
  grid.At(1, 7) = Variant::Text("last");
  EXPECT_EQ(grid.At(1, 7), Variant::Text("last"));
  EXPECT_TRUE(grid.At(1, 6).IsEmpty());

  const std::pair<int, int> outside[] = {{-1, 5}, {2, 5}, {0, 4}, {0, 8}};
  for (const auto& [row, column] : outside)
    EXPECT_EQ(com_test::ThrownCode([&] { grid.At(row, column); }), com::DISP_E_BADINDEX)
        << row << "," << column;
}

TEST(VariantGrid, RoundTripsThroughAnArrayVariant) {
  VariantGrid grid(3, 2);
  for (int row = 1; row <= 3; ++row) {
    for (int column = 1; column <= 2; ++column) {
      grid.At(row, column) = Variant::Text(CellName(row, column));
    }
  }
  grid.At(3, 1) = Variant::Double(0.25);

  const Variant array = grid.ToVariant();
  ASSERT_EQ(array.vt, VT_ARRAY | VT_VARIANT);
  EXPECT_EQ(com::BstrToUtf8(Element(array.parray, 2, 1)->bstrVal), "r2c1");
  EXPECT_EQ(com::BstrToUtf8(Element(array.parray, 1, 2)->bstrVal), "r1c2");
  EXPECT_EQ(Element(array.parray, 3, 1)->dblVal, 0.25);

  const VariantGrid back = VariantGrid::FromVariant(array);
  EXPECT_EQ(back, grid);

  // Behind a reference too.
  VARIANT reference;
  VariantInit(&reference);
  reference.vt = VT_BYREF | VT_VARIANT;
  reference.pvarVal = const_cast<Variant*>(&array);
  EXPECT_EQ(VariantGrid::FromVariant(reference), grid);
}

TEST(VariantGrid, OneDimensionalArrayIsOneRow) {
  const SAFEARRAYBOUND bounds[] = {{3, 0}};
  Variant array = Variant::Array(SafeArrayCreate(VT_VARIANT, 1, bounds));
  ASSERT_NE(array.parray, nullptr);
  auto* data = static_cast<VARIANT*>(array.parray->pvData);
  for (int i = 0; i < 3; ++i)
    data[i] = Variant::Int4(10 + i).Detach();

  const VariantGrid grid = VariantGrid::FromVariant(array);
  EXPECT_EQ(grid.Rows(), 1u);
  EXPECT_EQ(grid.Columns(), 3u);
  EXPECT_EQ(grid.FirstColumn(), 0);
  EXPECT_EQ(grid.At(1, 2), Variant::Int4(12));
}

TEST(VariantGrid, RefusesWhatIsNotAnArray) {
  for (const Variant& value : {Variant::Double(1), Variant::Text("x"), Variant()})
    EXPECT_EQ(com_test::ThrownCode([&] { VariantGrid::FromVariant(value); }),
              com::DISP_E_TYPEMISMATCH)
        << com::Describe(value);
  EXPECT_THROW(VariantGrid(2, 2, INT32_MAX), com::Error);
}

}  // namespace
