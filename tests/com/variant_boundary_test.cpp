#include "com/variants/variant_boundary.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "com/variants/variant_grid.h"
#include "thrown_error.h"

namespace {

using com::Variant;

// A 2 x 3 block of every scalar kind, one of them a null BSTR.
Variant Block(bool withNullText) {
  com::VariantGrid grid(2, 3);
  grid.At(1, 1) = Variant::Double(1.5);
  grid.At(1, 2) = Variant::Text("h\xc3\xa9llo");
  grid.At(1, 3) = Variant::Bool(true);
  grid.At(2, 1) = Variant::ErrorValue(static_cast<com::SCODE>(0x800A07E7));
  grid.At(2, 2) = Variant::Int4(-4);
  if (withNullText) {
    grid.At(2, 3).vt = com::VT_BSTR;  // bstrVal stays null
  }
  return grid.ToVariant();
}

TEST(VariantBoundary, EveryAcceptedTypeCrossesBothWaysAsADeepCopy) {
  // clang-format off
  const Variant accepted[] = {Variant(), Variant::Int4(7), Variant::Int(-3), Variant::Double(2.5),
      Variant::Bool(false), Variant::Text("\xe2\x82\xac"), Variant::Date(45000.25),
      Variant::ErrorValue(static_cast<com::SCODE>(0x800A07FA)), Block(false)};
  // clang-format on
  for (const Variant& original : accepted) {
    SCOPED_TRACE(com::Describe(original));
    EXPECT_EQ(com::CheckHostVariant(&original), "");
    Variant copy = com::ImportHostVariant(original);
    EXPECT_EQ(copy, original);
    EXPECT_TRUE(original.vt != com::VT_BSTR || copy.bstrVal != original.bstrVal) << "not shared";
    Variant out = Variant::Text("the caller's old value");
    ASSERT_TRUE(com::ExportHostVariant(copy, &out));
    EXPECT_EQ(out, original);
    EXPECT_TRUE(copy.IsEmpty()) << "moved out";
  }
}

TEST(VariantBoundary, NullTextsBecomeEmptyTexts) {
  com::VARIANT nullText{};
  nullText.vt = com::VT_BSTR;
  const Variant copy = com::ImportHostVariant(nullText);
  const Variant element =
      com::VariantGrid::FromVariant(com::ImportHostVariant(Block(true))).At(2, 3);
  for (const Variant* text : {&copy, &element}) {
    ASSERT_EQ(text->vt, com::VT_BSTR);
    EXPECT_NE(text->bstrVal, nullptr);
  }
}

TEST(VariantBoundary, WhatTheLibraryDoesNotTakeIsRefusedWithTheReason) {
  Variant small;
  small.vt = com::VT_I2;
  Variant byReference;
  double number = 1;
  byReference.vt = com::VT_BYREF | com::VT_R8;
  byReference.byref = &number;
  const com::SAFEARRAYBOUND row = {3, 1};
  const Variant oneDimension = Variant::Array(GmSafeArrayCreate(com::VT_VARIANT, 1, &row));
  com::VariantGrid nestedGrid(1, 2);
  nestedGrid.At(1, 2) = Block(false);
  const Variant nested = nestedGrid.ToVariant();
  Variant noArray;
  noArray.vt = com::VT_ARRAY | com::VT_VARIANT;
  // Doubles, not VARIANTs: the header of a foreign array, never freed here.
  com::SAFEARRAY doubles = {2, 0, sizeof(double), 0, nullptr, {{1, 1}}};
  com::VARIANT foreign;
  GmVariantInit(&foreign);
  foreign.vt = com::VT_ARRAY | com::VT_VARIANT;
  foreign.parray = &doubles;

  struct Case {
    const com::VARIANT* value;
    std::string reason;
  } const cases[] = {
      {&small, "A VARIANT of type VT_I2 is not supported ("},
      {&byReference, "A VARIANT of type VT_BYREF|VT_R8 is not supported ("},
      {&oneDimension, "An array of 1 dimension(s) is not supported ("},
      {&nested, "Element (1, 2) of type VT_ARRAY|VT_VARIANT is not supported ("},
      {&noArray, "A VT_ARRAY value without an array"},
      {&foreign, "An array whose elements are not VARIANTs is not supported ("},
      {nullptr, "No VARIANT was given (a null pointer)"},
  };
  for (const Case& c : cases) {
    const std::string reason = com::CheckHostVariant(c.value);
    EXPECT_EQ(reason.substr(0, c.reason.size()), c.reason);
    EXPECT_LT(reason.size(), 260u) << "fits a message";
    if (c.value == nullptr) continue;
    EXPECT_EQ(com_test::FailureOf([&] { com::ImportHostVariant(*c.value); }),
              com::DISP_E_BADVARTYPE)
        << c.reason;
    if (c.value == &foreign) continue;  // the library may not free it
    Variant kept(*c.value);
    Variant out = Variant::Double(1);
    EXPECT_FALSE(com::ExportHostVariant(kept, &out)) << c.reason;
    EXPECT_TRUE(out.IsEmpty());
    EXPECT_EQ(kept.vt, c.value->vt) << "kept";
  }
  byReference.vt = com::VT_EMPTY;  // nothing of its own to free
}

}  // namespace
