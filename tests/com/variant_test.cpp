// The automation value types: VARIANT, BSTR and SAFEARRAY, their owning
// wrappers, the grid of cell values and what crosses the library's boundary.
#include "com/variants/variant.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <tuple>
#include <utility>

#include "com/error.h"
#include "com/hresult.h"
#include "com/variants/bstr.h"
#include "com/variants/variant_boundary.h"
#include "com/variants/variant_grid.h"
#include "thrown_error.h"

namespace {

using com::Variant;

using com_test::Raw;

TEST(Variant, FactoriesAndEquality) {
  EXPECT_EQ(Variant::Bool(true).boolVal, -1);
  EXPECT_EQ(std::u16string(Variant::Text("Débit").bstrVal), u"Débit");
  EXPECT_TRUE(Variant::Missing().IsMissing());
  EXPECT_FALSE(Variant::ErrorValue(com::E_FAIL).IsMissing());
  EXPECT_FALSE(Variant::Int4(com::DISP_E_PARAMNOTFOUND).IsMissing());

  const std::pair<Variant, Variant> equal[] = {
      {Variant::Text(u"wide"), Variant::Text("wide")},
      {Variant::Missing(), Variant::ErrorValue(com::DISP_E_PARAMNOTFOUND)},
      {Variant(), Variant()},
      {Variant(Raw(com::VT_BSTR)), Variant::Text("")}};  // a null BSTR is the empty text
  for (const auto& [a, b] : equal)
    EXPECT_TRUE(a == b) << com::Describe(a);
  // clang-format off
  const std::pair<Variant, Variant> different[] = {
      {Variant::Int4(5), Variant::Int(5)}, {Variant::Int4(5), Variant::Int4(6)},
      {Variant::Double(1), Variant::Date(1)}, {Variant::Text("a"), Variant::Text("b")}};
  // clang-format on
  for (const auto& [a, b] : different)
    EXPECT_FALSE(a == b) << com::Describe(a);
}

// Copying is GmVariantCopy's (below). Texts are owned: the sanitizer build
// reports a leak or a double free.
TEST(Variant, AssignmentsReleaseWhatWasHeldAndMovesSteal) {
  const Variant original = Variant::Text("cell text");
  Variant target = Variant::Text("old");
  target = original;
  const Variant& same = target;  // self-assignment, unflagged
  target = same;
  EXPECT_EQ(target, original);
  EXPECT_NE(target.bstrVal, original.bstrVal);

  com::BSTR raw = target.bstrVal;
  Variant moved = std::move(target);
  EXPECT_EQ(target.vt, com::VT_EMPTY);  // NOLINT(bugprone-use-after-move)
  target = std::move(moved);
  EXPECT_EQ(target.bstrVal, raw);
  EXPECT_EQ(moved.vt, com::VT_EMPTY);  // NOLINT(bugprone-use-after-move)

  EXPECT_EQ(target.Out()->vt, com::VT_EMPTY) << "Out clears";
  com::VARIANT back = Variant::Text("raw").Detach();
  EXPECT_EQ(std::u16string(back.bstrVal), u"raw");
  EXPECT_EQ(GmVariantClear(&back), com::S_OK);
}

TEST(VariantApi, CopyClearsTheDestinationCopiesDeeplyAndRefusesWhatItCannotCopy) {
  com::VARIANT dest = Raw(com::VT_BSTR, [](auto& v) { v.bstrVal = GmSysAllocString(u"over"); });
  const Variant source = Variant::Text("source");
  ASSERT_EQ(GmVariantCopy(&dest, &source), com::S_OK);
  EXPECT_NE(dest.bstrVal, source.bstrVal);
  EXPECT_EQ(GmVariantCopy(&dest, &dest), com::S_OK);
  EXPECT_EQ(std::u16string(dest.bstrVal), u"source");
  const com::VARIANT nullText = Raw(com::VT_BSTR);
  ASSERT_EQ(GmVariantCopy(&dest, &nullText), com::S_OK);
  EXPECT_EQ(dest.vt, com::VT_BSTR);
  EXPECT_EQ(dest.bstrVal, nullptr) << "a null BSTR stays null";

  double number = 4.5;
  Variant shallow(Raw(com::VT_BYREF | com::VT_R8, [&](auto& v) { v.byref = &number; }));
  EXPECT_EQ(shallow.byref, &number);
  shallow.Clear();  // must not touch the target
  EXPECT_EQ(number, 4.5);

  com::SAFEARRAY fake{};
  const com::VARIANT ints = Raw(com::VT_ARRAY | com::VT_I4, [&](auto& v) { v.parray = &fake; });
  Variant dropped = Variant::Text("dropped");
  EXPECT_EQ(GmVariantCopy(&dropped, &ints), com::DISP_E_BADVARTYPE);
  EXPECT_EQ(dropped.vt, com::VT_EMPTY);
  EXPECT_THROW(Variant{ints}, com::Error);
  EXPECT_EQ(std::tuple(GmVariantClear(nullptr), GmVariantCopy(nullptr, &dest),
                       GmVariantCopy(&dest, nullptr)),
            std::tuple(com::E_INVALIDARG, com::E_INVALIDARG, com::E_INVALIDARG));
  GmVariantInit(nullptr);
}

TEST(SysString, KeepsLengthPrefixTerminatorAndEmbeddedNuls) {
  EXPECT_EQ(GmSysAllocString(nullptr), nullptr);
  EXPECT_EQ(GmSysStringLen(nullptr) + GmSysStringByteLen(nullptr), 0u);
  GmSysFreeString(nullptr);

  com::BSTR text = GmSysAllocString(u"Débit");
  std::uint32_t prefix;
  std::memcpy(&prefix, reinterpret_cast<const char*>(text) - 4, sizeof prefix);
  EXPECT_EQ(std::tuple(prefix, GmSysStringLen(text), GmSysStringByteLen(text)),
            std::tuple(10u, 5u, 10u));
  EXPECT_EQ(std::u16string(text, 6), std::u16string(u"Débit\0", 6));
  GmSysFreeString(text);

  const char16_t source[] = {u'a', 0, u'b', 0, u'c'};
  // Source and the text with its terminator.
  const std::pair<const char16_t*, std::u16string> cases[] = {
      {source, std::u16string(u"a\0b\0c\0", 6)}, {nullptr, std::u16string(4, u'\0')}};
  for (const auto& [from, expected] : cases) {
    com::BSTR made = GmSysAllocStringLen(from, static_cast<std::uint32_t>(expected.size() - 1));
    EXPECT_EQ(GmSysStringLen(made), expected.size() - 1);
    EXPECT_EQ(std::u16string(made, expected.size()), expected);
    GmSysFreeString(made);
  }
  for (const std::uint32_t tooLong : {0xFFFFFFFFu, 0x80000000u})
    EXPECT_EQ(GmSysAllocStringLen(nullptr, tooLong), nullptr);
}

// Copies and moves of the owning wrappers: Variant's (above).
TEST(Bstr, KeepsItsLengthAndNoneIsTheEmptyText) {
  const std::string withNul(
      "D\xc3\xa9"
      "bit\0 caf\xe9",
      12);
  EXPECT_EQ(com::Bstr::FromUtf8(withNul).ToUtf8(), withNul);
  EXPECT_NE(com::Bstr::FromUtf8("").Get(), nullptr);
  EXPECT_EQ(com::Bstr(), com::Bstr::FromUtf8(""));
}

using com::VariantGrid;

com::VARIANT* Element(com::SAFEARRAY* array, std::int32_t row, std::int32_t column) {
  const std::int32_t indices[] = {row, column};
  void* element = nullptr;
  EXPECT_EQ(GmSafeArrayPtrOfIndex(array, indices, &element), com::S_OK);
  return static_cast<com::VARIANT*>(element);
}

TEST(SafeArray, CreationAndIndicesOutsideTheBoundsAreRefused) {
  const com::SAFEARRAYBOUND bounds[] = {{3, 0}, {2, -2}};  // rows 0..2, columns -2..-1
  com::SAFEARRAY* array = GmSafeArrayCreate(com::VT_VARIANT, 2, bounds);
  ASSERT_NE(array, nullptr);
  const struct {
    std::int32_t row, column;
    com::HRESULT expected;
  } cases[] = {{0, -2, com::S_OK},
               {-1, -2, com::DISP_E_BADINDEX},
               {3, -2, com::DISP_E_BADINDEX},
               {0, -3, com::DISP_E_BADINDEX},
               {0, 0, com::DISP_E_BADINDEX},
               {INT32_MAX, INT32_MIN, com::DISP_E_BADINDEX}};
  for (const auto& c : cases) {
    const std::int32_t indices[] = {c.row, c.column};
    void* element = reinterpret_cast<void*>(0x1);
    EXPECT_EQ(GmSafeArrayPtrOfIndex(array, indices, &element), c.expected)
        << c.row << "," << c.column;
  }
  EXPECT_EQ(Element(array, 2, -1), static_cast<com::VARIANT*>(array->pvData) + 5);
  void* element = nullptr;
  EXPECT_EQ(GmSafeArrayPtrOfIndex(array, nullptr, &element), com::E_INVALIDARG);
  GmSafeArrayDestroy(array);

  const com::SAFEARRAYBOUND empty[] = {{0, 1}, {4, 1}};
  array = GmSafeArrayCreate(com::VT_VARIANT, 2, empty);
  ASSERT_NE(array, nullptr);
  const std::int32_t first[] = {1, 1};
  EXPECT_EQ(GmSafeArrayPtrOfIndex(array, first, &element), com::DISP_E_BADINDEX);
  std::int32_t high = 7;
  EXPECT_EQ(GmSafeArrayGetUBound(array, 1, &high), com::S_OK);
  EXPECT_EQ(high, 0) << "no rows";
  EXPECT_EQ(GmSafeArrayDestroy(array), com::S_OK);

  const com::SAFEARRAYBOUND three[] = {{2, 1}, {2, 1}, {2, 1}};
  const com::SAFEARRAYBOUND pastLastIndex[] = {{2, INT32_MAX}};
  const com::SAFEARRAYBOUND huge[] = {{0xFFFFFFFFu, 0}, {0xFFFFFFFFu, 0}};
  EXPECT_EQ(GmSafeArrayCreate(com::VT_I4, 2, bounds), nullptr);
  EXPECT_EQ(GmSafeArrayCreate(com::VT_VARIANT, 0, bounds), nullptr);
  EXPECT_EQ(GmSafeArrayCreate(com::VT_VARIANT, 3, three), nullptr);
  EXPECT_EQ(GmSafeArrayCreate(com::VT_VARIANT, 2, nullptr), nullptr);
  EXPECT_EQ(GmSafeArrayCreate(com::VT_VARIANT, 1, pastLastIndex), nullptr);
  EXPECT_EQ(GmSafeArrayCreate(com::VT_VARIANT, 2, huge), nullptr);
  EXPECT_EQ(GmSafeArrayDestroy(nullptr), com::S_OK);
}

// A grid goes to the application as a two-dimensional array, column by
// column, and comes back from one (the sanitizer build reports any leak).
TEST(VariantGrid, RoundTripsThroughATwoDimensionalArrayStoredColumnByColumn) {
  VariantGrid grid(3, 2);
  grid.At(2, 1) = Variant::Text("r2c1");
  grid.At(1, 2) = Variant::Text("r1c2");
  grid.At(3, 1) = Variant::Double(0.25);
  const Variant array = grid.ToVariant();
  ASSERT_EQ(array.vt, com::VT_ARRAY | com::VT_VARIANT);
  com::SAFEARRAY* sa = array.parray;
  EXPECT_EQ(sa->cbElements, sizeof(com::VARIANT));
  EXPECT_EQ(sa->fFeatures & com::FADF_VARIANT, com::FADF_VARIANT);
  EXPECT_EQ(sa->rgsabound[0].cElements, 2u) << "bounds are stored rightmost first";
  auto* data = static_cast<com::VARIANT*>(sa->pvData);
  EXPECT_EQ(com::BstrToUtf8(data[1].bstrVal), "r2c1") << "the row index runs fastest";
  EXPECT_EQ(com::BstrToUtf8(data[3].bstrVal), "r1c2");

  // clang-format off
  const struct {
    unsigned dimension;
    com::HRESULT hr;
    std::int32_t low, high;
  } dimensions[] = {{1, com::S_OK, 1, 3}, {2, com::S_OK, 1, 2},
                    {0, com::DISP_E_BADINDEX, -7, -7}, {3, com::DISP_E_BADINDEX, -7, -7}};
  // clang-format on
  EXPECT_EQ(GmSafeArrayGetDim(sa), 2u);
  for (const auto& d : dimensions) {
    std::int32_t low = -7, high = -7;
    EXPECT_EQ(GmSafeArrayGetLBound(sa, d.dimension, &low), d.hr);
    EXPECT_EQ(GmSafeArrayGetUBound(sa, d.dimension, &high), d.hr);
    EXPECT_EQ(std::make_pair(low, high), std::make_pair(d.low, d.high)) << d.dimension;
  }

  EXPECT_EQ(VariantGrid::FromVariant(array), grid);
  const com::VARIANT reference =  // behind a reference too
      Raw(com::VT_BYREF | com::VT_VARIANT,
          [&](auto& v) { v.pvarVal = const_cast<Variant*>(&array); });
  EXPECT_EQ(VariantGrid::FromVariant(reference), grid);

  Variant copy = array;  // a deep copy, compared element by element
  EXPECT_EQ(copy, array);
  EXPECT_NE(static_cast<com::VARIANT*>(copy.parray->pvData)[1].bstrVal, data[1].bstrVal);
  com::VARIANT* element = Element(copy.parray, 1, 1);
  *element = Variant::Text("changed").Detach();
  EXPECT_FALSE(copy == array);
  com::SAFEARRAY* none = sa;
  EXPECT_EQ(GmSafeArrayCopy(nullptr, &none), com::S_OK);
  EXPECT_EQ(none, nullptr);
}

TEST(VariantGrid, BoundsOneDimensionalArraysAndRefusals) {
  VariantGrid grid(2, 3, 0, 5);
  grid.At(1, 7) = Variant::Text("last");
  EXPECT_EQ(grid.At(1, 7), Variant::Text("last"));
  EXPECT_TRUE(grid.At(1, 6).IsEmpty());
  const std::pair<int, int> outside[] = {{-1, 5}, {2, 5}, {0, 4}, {0, 8}};
  for (const std::pair<int, int>& at : outside)
    EXPECT_EQ(com_test::FailureOf([&] { grid.At(at.first, at.second); }), com::DISP_E_BADINDEX)
        << at.first << "," << at.second;
  EXPECT_THROW(VariantGrid(2, 2, INT32_MAX), com::Error);

  const com::SAFEARRAYBOUND bounds[] = {{3, 0}};
  Variant array = Variant::Array(GmSafeArrayCreate(com::VT_VARIANT, 1, bounds));
  ASSERT_NE(array.parray, nullptr);
  static_cast<com::VARIANT*>(array.parray->pvData)[2] = Variant::Int4(12).Detach();
  const VariantGrid row = VariantGrid::FromVariant(array);
  EXPECT_EQ(std::make_pair(row.Rows(), row.Columns()), (std::pair<std::size_t, std::size_t>(1, 3)));
  EXPECT_EQ(row.FirstColumn(), 0);
  EXPECT_EQ(row.At(1, 2), Variant::Int4(12));

  for (const Variant& value : {Variant::Double(1), Variant::Text("x"), Variant()})
    EXPECT_EQ(com_test::FailureOf([&] { VariantGrid::FromVariant(value); }),
              com::DISP_E_TYPEMISMATCH)
        << com::Describe(value);
}

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

TEST(VariantBoundary, EveryAcceptedTypeCrossesBothWaysAsADeepCopyNullTextsAsEmptyOnes) {
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
  // Null texts become empty texts.
  const Variant copy = com::ImportHostVariant(Raw(com::VT_BSTR));
  const Variant element =
      com::VariantGrid::FromVariant(com::ImportHostVariant(Block(true))).At(2, 3);
  for (const Variant* text : {&copy, &element}) {
    ASSERT_EQ(text->vt, com::VT_BSTR);
    EXPECT_NE(text->bstrVal, nullptr);
  }
}

TEST(VariantBoundary, WhatTheLibraryDoesNotTakeIsRefusedWithTheReason) {
  const Variant small(Raw(com::VT_I2));
  double number = 1;
  Variant byReference(Raw(com::VT_BYREF | com::VT_R8, [&](auto& v) { v.byref = &number; }));
  const com::SAFEARRAYBOUND row = {3, 1};
  const Variant oneDimension = Variant::Array(GmSafeArrayCreate(com::VT_VARIANT, 1, &row));
  com::VariantGrid nestedGrid(1, 2);
  nestedGrid.At(1, 2) = Block(false);
  const Variant nested = nestedGrid.ToVariant();
  const com::VARIANT noArray = Raw(com::VT_ARRAY | com::VT_VARIANT);
  // Doubles, not VARIANTs: the header of a foreign array, never freed here.
  com::SAFEARRAY doubles = {2, 0, sizeof(double), 0, nullptr, {{1, 1}}};
  const com::VARIANT foreign =
      Raw(com::VT_ARRAY | com::VT_VARIANT, [&](auto& v) { v.parray = &doubles; });

  struct Case {
    const com::VARIANT* value;
    std::string reason;
  } const cases[] = {{&small, "A VARIANT of type VT_I2 is not supported ("},
                     {&byReference, "A VARIANT of type VT_BYREF|VT_R8 is not supported ("},
                     {&oneDimension, "An array of 1 dimension(s) is not supported ("},
                     {&nested, "Element (1, 2) of type VT_ARRAY|VT_VARIANT is not supported ("},
                     {&noArray, "A VT_ARRAY value without an array"},
                     {&foreign, "An array whose elements are not VARIANTs is not supported ("},
                     {nullptr, "No VARIANT was given (a null pointer)"}};
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
