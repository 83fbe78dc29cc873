#include "com/bstr.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <utility>

namespace {

TEST(SysString, NullIsTheEmptyText) {
  EXPECT_EQ(SysAllocString(nullptr), nullptr);
  EXPECT_EQ(SysStringLen(nullptr), 0u);
  EXPECT_EQ(SysStringByteLen(nullptr), 0u);
  SysFreeString(nullptr);
}

TEST(SysString, KeepsLengthPrefixAndTerminator) {
  BSTR text = SysAllocString(u"Débit");
  ASSERT_NE(text, nullptr);
  EXPECT_EQ(SysStringLen(text), 5u);
  EXPECT_EQ(SysStringByteLen(text), 10u);
  std::uint32_t prefix;
  std::memcpy(&prefix, reinterpret_cast<const char*>(text) - 4, sizeof prefix);
  EXPECT_EQ(prefix, 10u);
  EXPECT_EQ(text[5], u'\0');
  EXPECT_EQ(std::u16string(text), u"Débit");
  SysFreeString(text);
}

TEST(SysString, LengthFormKeepsEmbeddedNuls) {
  const char16_t source[] = {u'a', 0, u'b', 0, u'c'};
  BSTR text = SysAllocStringLen(source, 5);
  ASSERT_NE(text, nullptr);
  EXPECT_EQ(SysStringLen(text), 5u);
  EXPECT_EQ(std::u16string(text, 5), std::u16string(source, 5));
  EXPECT_EQ(text[5], u'\0');
  SysFreeString(text);

  BSTR blank = SysAllocStringLen(nullptr, 3);
  ASSERT_NE(blank, nullptr);
  EXPECT_EQ(SysStringLen(blank), 3u);
  EXPECT_EQ(std::u16string(blank, 4), std::u16string(4, u'\0'));
  SysFreeString(blank);

  BSTR empty = SysAllocStringLen(u"", 0);
  ASSERT_NE(empty, nullptr);
  EXPECT_EQ(SysStringLen(empty), 0u);
  SysFreeString(empty);

  EXPECT_EQ(SysAllocStringLen(nullptr, 0xFFFFFFFFu), nullptr);
  EXPECT_EQ(SysAllocStringLen(nullptr, 0x80000000u), nullptr);
}

TEST(Bstr, RoundTripsUtf8Losslessly) {
  const std::string samples[] = {
      "",
      "Plain",
      "Débit d'huile 油井 𝄞",
      std::string("nul\0inside", 10),
      "latin1 caf\xe9 and stray \xff",
  };
  for (const std::string& sample : samples) {
    const com::Bstr text = com::Bstr::FromUtf8(sample);
    EXPECT_NE(text.Get(), nullptr);
    EXPECT_EQ(text.ToUtf8(), sample);
  }
  EXPECT_EQ(com::Bstr::FromUtf8("油井").Length(), 2u);
  EXPECT_EQ(com::Bstr::FromUtf8("𝄞").Length(), 2u);  // a surrogate pair
  EXPECT_EQ(com::Bstr::FromUtf8(std::string("a\0b", 3)).View(), std::u16string_view(u"a\0b", 3));
}

TEST(Bstr, EmptyHandleReadsAsEmptyText) {
  const com::Bstr none;
  EXPECT_EQ(none.Get(), nullptr);
  EXPECT_TRUE(none.Empty());
  EXPECT_EQ(none.ToUtf8(), "");
  EXPECT_EQ(none, com::Bstr::FromUtf8(""));
}

TEST(Bstr, CopyIsDeepMoveSteals) {
  com::Bstr original = com::Bstr::FromUtf16(u"Żółć");
  com::Bstr copy = original;
  EXPECT_NE(copy.Get(), original.Get());
  EXPECT_EQ(copy, original);

  BSTR raw = original.Get();
  com::Bstr moved = std::move(original);
  EXPECT_EQ(moved.Get(), raw);
  EXPECT_EQ(original.Get(), nullptr);  // NOLINT(bugprone-use-after-move)

  copy = moved;
  EXPECT_EQ(copy.View(), u"Żółć");
  copy = copy;  // self-assignment keeps the text
  EXPECT_EQ(copy.View(), u"Żółć");
  moved = std::move(copy);
  EXPECT_EQ(moved.View(), u"Żółć");
}

TEST(Bstr, DetachAndAttachHandOverOwnership) {
  com::Bstr text = com::Bstr::FromUtf8("owned");
  BSTR raw = text.Detach();
  EXPECT_EQ(text.Get(), nullptr);
  com::Bstr again = com::Bstr::Attach(raw);
  EXPECT_EQ(again.Get(), raw);
  again.Reset(SysAllocString(u"next"));
  EXPECT_EQ(again.ToUtf8(), "next");
  again.Reset();
  EXPECT_EQ(again.Get(), nullptr);
}

TEST(Bstr, CopiesToAFieldAtACharacterBoundary) {
  char field[6];
  std::memset(field, 'X', sizeof field);
  const com::Bstr text = com::Bstr::FromUtf8("ab€def");
  EXPECT_EQ(com::CopyBstrToField(text.Get(), field, sizeof field), 5u);
  EXPECT_STREQ(field, "ab€");

  EXPECT_EQ(com::CopyBstrToField(nullptr, field, sizeof field), 0u);
  EXPECT_STREQ(field, "");
}

}  // namespace
