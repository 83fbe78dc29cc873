#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <utility>

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

// Destroying clears the texts; the sanitizer build reports any leak.
TEST(SafeArray, TwoDimensionsStoredColumnByColumn) {
  // Three rows, two columns, bounds given leftmost (rows) first.
  const SAFEARRAYBOUND bounds[] = {{3, 1}, {2, 1}};
  SAFEARRAY* array = SafeArrayCreate(VT_VARIANT, 2, bounds);
  ASSERT_NE(array, nullptr);
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
      *element = Variant::Text(CellName(row, column)).Detach();
    }
  }
  // The row index runs fastest.
  auto* data = static_cast<VARIANT*>(array->pvData);
  EXPECT_EQ(Element(array, 2, 1), &data[1]);
  EXPECT_EQ(Element(array, 1, 2), &data[3]);
  EXPECT_EQ(com::BstrToUtf8(data[4].bstrVal), "r2c2");

  std::int32_t low = 0, high = 0;
  EXPECT_EQ(SafeArrayGetDim(array), 2u);
  EXPECT_EQ(SafeArrayGetLBound(array, 1, &low), com::S_OK);
  EXPECT_EQ(SafeArrayGetUBound(array, 1, &high), com::S_OK);
  EXPECT_EQ(std::make_pair(low, high), std::make_pair(1, 3));
  EXPECT_EQ(SafeArrayGetUBound(array, 2, &high), com::S_OK);
  EXPECT_EQ(high, 2);
  EXPECT_EQ(SafeArrayGetLBound(array, 0, &low), com::DISP_E_BADINDEX);
  EXPECT_EQ(SafeArrayGetUBound(array, 3, &high), com::DISP_E_BADINDEX);

  SAFEARRAY* copy = nullptr;
  ASSERT_EQ(SafeArrayCopy(array, &copy), com::S_OK);
  auto* copied = static_cast<VARIANT*>(copy->pvData);
  EXPECT_NE(copied[4].bstrVal, data[4].bstrVal);
  for (int i = 0; i < 6; ++i)
    EXPECT_TRUE(com::VariantsEqual(copied[i], data[i])) << i;
  EXPECT_EQ(SafeArrayDestroy(copy), com::S_OK);
  EXPECT_EQ(SafeArrayDestroy(array), com::S_OK);
  EXPECT_EQ(SafeArrayCopy(nullptr, &copy), com::S_OK);
  EXPECT_EQ(copy, nullptr);
}

TEST(SafeArray, IndexOutsideAnyDimensionIsRefused) {
  const SAFEARRAYBOUND bounds[] = {{3, 0}, {2, -2}};  // rows 0..2, columns -2..-1
  SAFEARRAY* array = SafeArrayCreate(VT_VARIANT, 2, bounds);
  ASSERT_NE(array, nullptr);
  const struct {
    std::int32_t row, column;
    HRESULT expected;
  } cases[] = {{0, -2, com::S_OK},
               {-1, -2, com::DISP_E_BADINDEX},
               {3, -2, com::DISP_E_BADINDEX},
               {0, -3, com::DISP_E_BADINDEX},
               {0, 0, com::DISP_E_BADINDEX},
               {INT32_MAX, INT32_MIN, com::DISP_E_BADINDEX}};
  for (const auto& c : cases) {
    const std::int32_t indices[] = {c.row, c.column};
    void* element = reinterpret_cast<void*>(0x1);
    EXPECT_EQ(SafeArrayPtrOfIndex(array, indices, &element), c.expected)
        << c.row << "," << c.column;
  }
  EXPECT_EQ(Element(array, 2, -1), static_cast<VARIANT*>(array->pvData) + 5);
  void* element = nullptr;
  EXPECT_EQ(SafeArrayPtrOfIndex(array, nullptr, &element), com::E_INVALIDARG);
  SafeArrayDestroy(array);

  const SAFEARRAYBOUND empty[] = {{0, 1}, {4, 1}};
  array = SafeArrayCreate(VT_VARIANT, 2, empty);
  ASSERT_NE(array, nullptr);
  const std::int32_t first[] = {1, 1};
  EXPECT_EQ(SafeArrayPtrOfIndex(array, first, &element), com::DISP_E_BADINDEX);
  std::int32_t high = 7;
  EXPECT_EQ(SafeArrayGetUBound(array, 1, &high), com::S_OK);
  EXPECT_EQ(high, 0) << "no rows";
  EXPECT_EQ(SafeArrayDestroy(array), com::S_OK);
}

TEST(SafeArray, CreateRefusesWhatItCannotHold) {
  const SAFEARRAYBOUND two[] = {{2, 1}, {2, 1}};
  const SAFEARRAYBOUND three[] = {{2, 1}, {2, 1}, {2, 1}};
  const SAFEARRAYBOUND pastLastIndex[] = {{2, INT32_MAX}};
  const SAFEARRAYBOUND huge[] = {{0xFFFFFFFFu, 0}, {0xFFFFFFFFu, 0}};
  EXPECT_EQ(SafeArrayCreate(VT_I4, 2, two), nullptr);
  EXPECT_EQ(SafeArrayCreate(VT_VARIANT, 0, two), nullptr);
  EXPECT_EQ(SafeArrayCreate(VT_VARIANT, 3, three), nullptr);
  EXPECT_EQ(SafeArrayCreate(VT_VARIANT, 2, nullptr), nullptr);
  EXPECT_EQ(SafeArrayCreate(VT_VARIANT, 1, pastLastIndex), nullptr);
  EXPECT_EQ(SafeArrayCreate(VT_VARIANT, 2, huge), nullptr);
  EXPECT_EQ(SafeArrayDestroy(nullptr), com::S_OK);
}

TEST(VariantGrid, RoundTripsThroughAnArrayVariantThatCopiesAndComparesElementwise) {
  VariantGrid grid(3, 2);
  for (int row = 1; row <= 3; ++row)
    for (int column = 1; column <= 2; ++column)
      grid.At(row, column) = Variant::Text(CellName(row, column));
  grid.At(3, 1) = Variant::Double(0.25);

  const Variant array = grid.ToVariant();
  ASSERT_EQ(array.vt, VT_ARRAY | VT_VARIANT);
  EXPECT_EQ(com::Describe(array), "VT_ARRAY|VT_VARIANT (1..3, 1..2)");
  EXPECT_EQ(com::BstrToUtf8(Element(array.parray, 2, 1)->bstrVal), "r2c1");
  EXPECT_EQ(com::BstrToUtf8(Element(array.parray, 1, 2)->bstrVal), "r1c2");
  EXPECT_EQ(Element(array.parray, 3, 1)->dblVal, 0.25);
  EXPECT_EQ(VariantGrid::FromVariant(array), grid);
  VARIANT reference;  // behind a reference too
  VariantInit(&reference);
  reference.vt = VT_BYREF | VT_VARIANT;
  reference.pvarVal = const_cast<Variant*>(&array);
  EXPECT_EQ(VariantGrid::FromVariant(reference), grid);

  Variant copy = array;
  EXPECT_EQ(copy, array);
  EXPECT_NE(copy.parray, array.parray);
  VARIANT* element = Element(copy.parray, 1, 1);
  VariantClear(element);
  *element = Variant::Text("changed").Detach();
  EXPECT_FALSE(copy == array);
}

TEST(VariantGrid, BoundsOneDimensionalArraysAndRefusals) {
  VariantGrid grid(2, 3, 0, 5);
  EXPECT_EQ(std::make_pair(grid.Rows(), grid.Columns()),
            (std::pair<std::size_t, std::size_t>(2, 3)));
  grid.At(0, 5) = Variant::Int4(1);
  grid.At(1, 7) = Variant::Text("last");
  EXPECT_EQ(grid.At(1, 7), Variant::Text("last"));
  EXPECT_TRUE(grid.At(1, 6).IsEmpty());
  const std::pair<int, int> outside[] = {{-1, 5}, {2, 5}, {0, 4}, {0, 8}};
  for (const auto& [row, column] : outside)
    EXPECT_EQ(com_test::ThrownCode([&] { grid.At(row, column); }), com::DISP_E_BADINDEX)
        << row << "," << column;
  EXPECT_THROW(VariantGrid(2, 2, INT32_MAX), com::Error);

  const SAFEARRAYBOUND bounds[] = {{3, 0}};
  Variant array = Variant::Array(SafeArrayCreate(VT_VARIANT, 1, bounds));
  ASSERT_NE(array.parray, nullptr);
  auto* data = static_cast<VARIANT*>(array.parray->pvData);
  for (int i = 0; i < 3; ++i)
    data[i] = Variant::Int4(10 + i).Detach();
  const VariantGrid row = VariantGrid::FromVariant(array);
  EXPECT_EQ(std::make_pair(row.Rows(), row.Columns()), (std::pair<std::size_t, std::size_t>(1, 3)));
  EXPECT_EQ(row.FirstColumn(), 0);
  EXPECT_EQ(row.At(1, 2), Variant::Int4(12));

  for (const Variant& value : {Variant::Double(1), Variant::Text("x"), Variant()})
    EXPECT_EQ(com_test::ThrownCode([&] { VariantGrid::FromVariant(value); }),
              com::DISP_E_TYPEMISMATCH)
        << com::Describe(value);
}

}  // namespace
