#include "com/bstr.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <utility>

namespace {

TEST(SysString, KeepsLengthPrefixTerminatorAndEmbeddedNuls) {
  EXPECT_EQ(SysAllocString(nullptr), nullptr);
  EXPECT_EQ(SysStringLen(nullptr) + SysStringByteLen(nullptr), 0u);
  SysFreeString(nullptr);

  BSTR text = SysAllocString(u"Débit");
  ASSERT_NE(text, nullptr);
  std::uint32_t prefix;
  std::memcpy(&prefix, reinterpret_cast<const char*>(text) - 4, sizeof prefix);
  EXPECT_EQ(prefix, 10u);
  EXPECT_EQ(SysStringLen(text), 5u);
  EXPECT_EQ(SysStringByteLen(text), 10u);
  EXPECT_EQ(std::u16string(text, 6), std::u16string(u"Débit\0", 6));
  SysFreeString(text);

  const char16_t source[] = {u'a', 0, u'b', 0, u'c'};
  // Source, length, and the text with its terminator.
  const std::pair<const char16_t*, std::u16string> cases[] = {
      {source, std::u16string(u"a\0b\0c\0", 6)},
      {nullptr, std::u16string(4, u'\0')},
      {u"", std::u16string(1, u'\0')}};
  for (const auto& [from, expected] : cases) {
    BSTR made = SysAllocStringLen(from, static_cast<std::uint32_t>(expected.size() - 1));
    ASSERT_NE(made, nullptr);
    EXPECT_EQ(SysStringLen(made), expected.size() - 1);
    EXPECT_EQ(std::u16string(made, expected.size()), expected);
    SysFreeString(made);
  }
  EXPECT_EQ(SysAllocStringLen(nullptr, 0xFFFFFFFFu), nullptr);
  EXPECT_EQ(SysAllocStringLen(nullptr, 0x80000000u), nullptr);
}

TEST(Bstr, RoundTripsUtf8Losslessly) {
  const std::string samples[] = {"", "Plain", "Débit d'huile 油井 𝄞",
                                 std::string("nul\0inside", 10), "latin1 caf\xe9 and stray \xff"};
  for (const std::string& sample : samples) {
    const com::Bstr text = com::Bstr::FromUtf8(sample);
    EXPECT_NE(text.Get(), nullptr);
    EXPECT_EQ(text.ToUtf8(), sample);
  }
  EXPECT_EQ(com::Bstr::FromUtf8("油井").Length(), 2u);
  EXPECT_EQ(com::Bstr::FromUtf8("𝄞").Length(), 2u);  // a surrogate pair
  EXPECT_EQ(com::Bstr::FromUtf8(std::string("a\0b", 3)).View(), std::u16string_view(u"a\0b", 3));

  const com::Bstr none;
  EXPECT_TRUE(none.Empty());
  EXPECT_EQ(none.ToUtf8(), "");
  EXPECT_EQ(none, com::Bstr::FromUtf8(""));
}

// Texts are owned: the sanitizer build reports a leak or a double free.
TEST(Bstr, CopyIsDeepMoveStealsAndOwnershipIsHandedOver) {
  com::Bstr original = com::Bstr::FromUtf16(u"Żółć");
  com::Bstr copy = original;
  EXPECT_NE(copy.Get(), original.Get());
  EXPECT_EQ(copy, original);
  BSTR raw = original.Get();
  com::Bstr moved = std::move(original);
  EXPECT_EQ(moved.Get(), raw);
  EXPECT_EQ(original.Get(), nullptr);  // NOLINT(bugprone-use-after-move)
  copy = moved;
  copy = copy;  // self-assignment keeps the text
  EXPECT_EQ(copy.View(), u"Żółć");
  moved = std::move(copy);
  EXPECT_EQ(moved.View(), u"Żółć");

  raw = moved.Detach();
  EXPECT_EQ(moved.Get(), nullptr);
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
