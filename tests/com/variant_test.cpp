#include "com/variant.h"

#include <gtest/gtest.h>

#include <utility>

#include "com/error.h"
#include "com/hresult.h"

namespace {

using com::Variant;

VARIANT RawText(const char16_t* text) {
  VARIANT raw;
  VariantInit(&raw);
  raw.vt = VT_BSTR;
  raw.bstrVal = text ? SysAllocString(text) : nullptr;
  return raw;
}

TEST(Variant, FactoriesEqualityAndDescriptions) {
  EXPECT_EQ(Variant::Bool(true).boolVal, -1);
  EXPECT_EQ(std::u16string(Variant::Text("Débit").bstrVal), u"Débit");
  EXPECT_TRUE(Variant::Missing().IsMissing());
  EXPECT_EQ(Variant::Missing().scode, com::DISP_E_PARAMNOTFOUND);
  EXPECT_FALSE(Variant::ErrorValue(com::E_FAIL).IsMissing());
  EXPECT_FALSE(Variant::Int4(com::DISP_E_PARAMNOTFOUND).IsMissing());

  Variant nullText;
  nullText.vt = VT_BSTR;  // null BSTR: the empty text
  const std::pair<Variant, Variant> equal[] = {
      {Variant::Int4(5), Variant::Int4(5)},
      {Variant::Text(u"wide"), Variant::Text("wide")},
      {Variant::Missing(), Variant::ErrorValue(com::DISP_E_PARAMNOTFOUND)},
      {Variant(), Variant()},
      {nullText, Variant::Text("")}};
  for (const auto& [a, b] : equal)
    EXPECT_TRUE(a == b) << com::Describe(a);
  const std::pair<Variant, Variant> different[] = {{Variant::Int4(5), Variant::Int(5)},
                                                   {Variant::Int4(5), Variant::Int4(6)},
                                                   {Variant::Double(1), Variant::Date(1)},
                                                   {Variant::Text("a"), Variant::Text("b")}};
  for (const auto& [a, b] : different)
    EXPECT_FALSE(a == b) << com::Describe(a);

  EXPECT_EQ(com::Describe(Variant::Int4(42)), "VT_I4 42");
  EXPECT_EQ(com::Describe(Variant::Text("abc")), "VT_BSTR \"abc\"");
  EXPECT_EQ(com::Describe(Variant::Missing()), "VT_ERROR 0x80020004");
  EXPECT_EQ(com::VarTypeName(VT_ARRAY | VT_VARIANT), "VT_ARRAY|VT_VARIANT");
  EXPECT_EQ(com::VarTypeName(0x7F), "VT 0x7F");
}

// Texts are owned: the sanitizer build reports a leak or a double free.
TEST(Variant, CopiesAreDeepMovesStealAndOwnershipIsHandedOver) {
  const Variant original = Variant::Text("cell text");
  Variant copy = original;
  EXPECT_NE(copy.bstrVal, original.bstrVal);
  copy.bstrVal[0] = u'C';
  EXPECT_EQ(std::u16string(original.bstrVal), u"cell text");
  Variant target = Variant::Text("old");
  target = original;
  target = target;
  EXPECT_EQ(target, original);
  const Variant fromRaw(static_cast<const VARIANT&>(original));
  EXPECT_NE(fromRaw.bstrVal, original.bstrVal);
  EXPECT_EQ(fromRaw, original);

  BSTR raw = copy.bstrVal;
  Variant moved = std::move(copy);
  EXPECT_EQ(moved.bstrVal, raw);
  EXPECT_EQ(copy.vt, VT_EMPTY);  // NOLINT(bugprone-use-after-move)
  target = std::move(moved);
  EXPECT_EQ(target.bstrVal, raw);
  EXPECT_EQ(moved.vt, VT_EMPTY);  // NOLINT(bugprone-use-after-move)

  EXPECT_EQ(target.Out(), static_cast<VARIANT*>(&target));
  EXPECT_EQ(target.vt, VT_EMPTY) << "Out clears";
  VARIANT given = RawText(u"raw");
  Variant owner = Variant::Attach(given);
  EXPECT_EQ(given.vt, VT_EMPTY);
  EXPECT_EQ(std::u16string(owner.bstrVal), u"raw");
  VARIANT back = owner.Detach();
  EXPECT_EQ(owner.vt, VT_EMPTY);
  EXPECT_EQ(std::u16string(back.bstrVal), u"raw");
  EXPECT_EQ(VariantClear(&back), com::S_OK);
  EXPECT_EQ(back.vt, VT_EMPTY);
}

TEST(VariantApi, CopyClearsTheDestinationAndCopiesDeeply) {
  VARIANT dest = RawText(u"overwritten");
  const Variant source = Variant::Text("source");
  ASSERT_EQ(VariantCopy(&dest, &source), com::S_OK);
  EXPECT_NE(dest.bstrVal, source.bstrVal);
  EXPECT_EQ(std::u16string(dest.bstrVal), u"source");
  EXPECT_EQ(VariantCopy(&dest, &dest), com::S_OK);
  EXPECT_EQ(std::u16string(dest.bstrVal), u"source");
  VARIANT nullText = RawText(nullptr);
  ASSERT_EQ(VariantCopy(&dest, &nullText), com::S_OK);
  EXPECT_EQ(dest.vt, VT_BSTR);
  EXPECT_EQ(dest.bstrVal, nullptr) << "a null BSTR stays null";

  double number = 4.5;
  VARIANT reference;
  VariantInit(&reference);
  reference.vt = VT_BYREF | VT_R8;
  reference.byref = &number;
  Variant shallow(reference);
  EXPECT_EQ(shallow.byref, &number);
  shallow.Clear();  // must not touch the target
  EXPECT_EQ(shallow.vt, VT_EMPTY);
  EXPECT_EQ(number, 4.5);

  SAFEARRAY fake{};
  VARIANT ints;
  VariantInit(&ints);
  ints.vt = VT_ARRAY | VT_I4;
  ints.parray = &fake;
  Variant dropped = Variant::Text("dropped");
  EXPECT_EQ(VariantCopy(&dropped, &ints), com::DISP_E_BADVARTYPE);
  EXPECT_EQ(dropped.vt, VT_EMPTY);
  EXPECT_THROW(Variant{ints}, com::Error);

  EXPECT_EQ(VariantClear(nullptr), com::E_INVALIDARG);
  EXPECT_EQ(VariantCopy(nullptr, &dest), com::E_INVALIDARG);
  EXPECT_EQ(VariantCopy(&dest, nullptr), com::E_INVALIDARG);
  VariantInit(nullptr);
}

}  // namespace
