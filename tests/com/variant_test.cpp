#include "com/variant.h"

#include <gtest/gtest.h>

#include <utility>

#include "com/error.h"
#include "com/hresult.h"

namespace {

using com::Variant;

TEST(Variant, FactoriesSetTypeAndValue) {
  EXPECT_EQ(Variant().vt, VT_EMPTY);
  EXPECT_TRUE(Variant().IsEmpty());

  EXPECT_EQ(Variant::Int4(-7).vt, VT_I4);
  EXPECT_EQ(Variant::Int4(-7).lVal, -7);
  EXPECT_EQ(Variant::Int(3).vt, VT_INT);
  EXPECT_EQ(Variant::Int(3).intVal, 3);
  EXPECT_EQ(Variant::Double(2.5).vt, VT_R8);
  EXPECT_EQ(Variant::Double(2.5).dblVal, 2.5);
  EXPECT_EQ(Variant::Bool(true).vt, VT_BOOL);
  EXPECT_EQ(Variant::Bool(true).boolVal, -1);
  EXPECT_EQ(Variant::Bool(false).boolVal, 0);
  EXPECT_EQ(Variant::Date(45297.5).vt, VT_DATE);
  EXPECT_EQ(Variant::Date(45297.5).date, 45297.5);
  EXPECT_EQ(Variant::Null().vt, VT_NULL);

  const Variant text = Variant::Text("Débit");
  EXPECT_EQ(text.vt, VT_BSTR);
  EXPECT_EQ(std::u16string(text.bstrVal), u"Débit");
  EXPECT_EQ(Variant::Text(u"wide"), Variant::Text("wide"));
}

TEST(Variant, MissingIsTheParamNotFoundError) {
  const Variant missing = Variant::Missing();
  EXPECT_EQ(missing.vt, VT_ERROR);
  EXPECT_EQ(missing.scode, com::DISP_E_PARAMNOTFOUND);
  EXPECT_TRUE(missing.IsMissing());
  EXPECT_FALSE(Variant::ErrorValue(com::E_FAIL).IsMissing());
  EXPECT_FALSE(Variant::Int4(com::DISP_E_PARAMNOTFOUND).IsMissing());
}

TEST(Variant, CopyIsDeep) {
  const Variant original = Variant::Text("cell text");
  Variant copy = original;
  EXPECT_EQ(copy, original);
  EXPECT_NE(copy.bstrVal, original.bstrVal);
  copy.bstrVal[0] = u'C';
  EXPECT_EQ(std::u16string(original.bstrVal), u"cell text");

  // Assigning over a text frees the old one (the sanitizer build checks it).
  Variant target = Variant::Text("old");
  target = original;
  EXPECT_EQ(target, original);
  target = target;
  EXPECT_EQ(target, original);

  const Variant fromRaw(static_cast<const VARIANT&>(original));
  EXPECT_NE(fromRaw.bstrVal, original.bstrVal);
  EXPECT_EQ(fromRaw, original);
}

TEST(Variant, MoveStealsAndLeavesEmpty) {
  Variant source = Variant::Text("moved");
  BSTR raw = source.bstrVal;
  Variant moved = std::move(source);
  EXPECT_EQ(moved.bstrVal, raw);
  EXPECT_EQ(source.vt, VT_EMPTY);  // NOLINT(bugprone-use-after-move)

  Variant target = Variant::Text("replaced");
  target = std::move(moved);
  EXPECT_EQ(target.bstrVal, raw);
  EXPECT_EQ(moved.vt, VT_EMPTY);  // NOLINT(bugprone-use-after-move)
}

TEST(Variant, ClearOutAttachDetach) {
  Variant value = Variant::Text("text");
  value.Clear();
  EXPECT_EQ(value.vt, VT_EMPTY);

  value = Variant::Text("again");
  VARIANT* out = value.Out();
  EXPECT_EQ(out, static_cast<VARIANT*>(&value));
  EXPECT_EQ(value.vt, VT_EMPTY);

  VARIANT raw;
  VariantInit(&raw);
  raw.vt = VT_BSTR;
  raw.bstrVal = SysAllocString(u"raw");
  Variant owner = Variant::Attach(raw);
  EXPECT_EQ(raw.vt, VT_EMPTY);
  EXPECT_EQ(std::u16string(owner.bstrVal), u"raw");

  VARIANT back = owner.Detach();
  EXPECT_EQ(owner.vt, VT_EMPTY);
  EXPECT_EQ(back.vt, VT_BSTR);
  EXPECT_EQ(VariantClear(&back), com::S_OK);
  EXPECT_EQ(back.vt, VT_EMPTY);
}

TEST(VariantApi, CopyClearsTheDestinationAndCopiesDeeply) {
  VARIANT dest;
  VariantInit(&dest);
  dest.vt = VT_BSTR;
  dest.bstrVal = SysAllocString(u"overwritten");
  const Variant source = Variant::Text("source");
  ASSERT_EQ(VariantCopy(&dest, &source), com::S_OK);
  EXPECT_EQ(dest.vt, VT_BSTR);
  EXPECT_NE(dest.bstrVal, source.bstrVal);
  EXPECT_EQ(std::u16string(dest.bstrVal), u"source");
  EXPECT_EQ(VariantCopy(&dest, &dest), com::S_OK);
  EXPECT_EQ(std::u16string(dest.bstrVal), u"source");
  VariantClear(&dest);

  // A null BSTR stays null.
  VARIANT nullText;
  VariantInit(&nullText);
  nullText.vt = VT_BSTR;
  ASSERT_EQ(VariantCopy(&dest, &nullText), com::S_OK);
  EXPECT_EQ(dest.vt, VT_BSTR);
  EXPECT_EQ(dest.bstrVal, nullptr);
}

TEST(VariantApi, ByReferenceIsCopiedShallow) {
  double target = 4.5;
  VARIANT reference;
  VariantInit(&reference);
  reference.vt = VT_BYREF | VT_R8;
  reference.byref = &target;
  Variant copy(reference);
  EXPECT_EQ(copy.byref, &target);
  copy.Clear();  // must not touch the target
  EXPECT_EQ(target, 4.5);
}

TEST(VariantApi, ArrayOfAnotherElementTypeIsRefused) {
  SAFEARRAY fake{};
  VARIANT source;
  VariantInit(&source);
  source.vt = VT_ARRAY | VT_I4;
  source.parray = &fake;
  Variant dest = Variant::Text("dropped");
  EXPECT_EQ(VariantCopy(&dest, &source), com::DISP_E_BADVARTYPE);
  EXPECT_EQ(dest.vt, VT_EMPTY);
  EXPECT_THROW(Variant{source}, com::Error);
}

TEST(VariantApi, NullArgumentsAreRefused) {
  VARIANT value;
  VariantInit(&value);
  EXPECT_EQ(VariantClear(nullptr), com::E_INVALIDARG);
  EXPECT_EQ(VariantCopy(nullptr, &value), com::E_INVALIDARG);
  EXPECT_EQ(VariantCopy(&value, nullptr), com::E_INVALIDARG);
  VariantInit(nullptr);
}

TEST(Variant, EqualityComparesTypeAndValue) {
  EXPECT_EQ(Variant::Int4(5), Variant::Int4(5));
  EXPECT_FALSE(Variant::Int4(5) == Variant::Int(5));
  EXPECT_FALSE(Variant::Int4(5) == Variant::Int4(6));
  EXPECT_FALSE(Variant::Double(1) == Variant::Date(1));
  EXPECT_FALSE(Variant::Text("a") == Variant::Text("b"));
  EXPECT_EQ(Variant::Missing(), Variant::ErrorValue(com::DISP_E_PARAMNOTFOUND));
  EXPECT_EQ(Variant(), Variant());

  Variant nullText;
  nullText.vt = VT_BSTR;  // null BSTR: the empty text
  EXPECT_EQ(nullText, Variant::Text(""));
}

TEST(Variant, DescribesItselfForDiagnostics) {
  EXPECT_EQ(com::Describe(Variant::Int4(42)), "VT_I4 42");
  EXPECT_EQ(com::Describe(Variant::Text("abc")), "VT_BSTR \"abc\"");
  EXPECT_EQ(com::Describe(Variant::Double(0.5)), "VT_R8 0.5");
  EXPECT_EQ(com::Describe(Variant::Missing()), "VT_ERROR 0x80020004");
  EXPECT_EQ(com::VarTypeName(VT_ARRAY | VT_VARIANT), "VT_ARRAY|VT_VARIANT");
  EXPECT_EQ(com::VarTypeName(0x7F), "VT 0x7F");
}

}  // namespace
