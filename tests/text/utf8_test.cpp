#include "text/utf8.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

TEST(Utf8, RoundTripsValidTextAndEncodesSupplementaryCharactersAsSurrogatePairs) {
  const std::string samples[] = {"",     "Plain ASCII", "Débit d'huile",
                                 "油井", "Żółć 𝄞 end",  std::string("nul\0inside", 10)};
  for (const std::string& s : samples) {
    EXPECT_EQ(text::Utf16ToUtf8(text::Utf8ToUtf16(s)), s) << s;
  }
  EXPECT_EQ(text::Utf8ToUtf16("𝄞"), (std::u16string{0xD834, 0xDD1E}));
  EXPECT_EQ(text::Utf8ToUtf16("é"), u"é");
}

TEST(Utf8, StrayBytesSurviveTheRoundTripAndLoneSurrogatesAreReplaced) {
  const std::string samples[] = {
      "\xff",          "a\xc3", "\xc3(", "\xe2\x82", "\xed\xa0\x80", "\xc0\xaf", "\xf4\x90\x80\x80",
      "latin1 caf\xe9"};
  for (const std::string& s : samples) {
    EXPECT_EQ(text::Utf16ToUtf8(text::Utf8ToUtf16(s)), s);
  }
  EXPECT_EQ(text::Utf8ToUtf16("\xff"), std::u16string(1, char16_t(0xDCFF)));
  EXPECT_EQ(text::Utf16ToUtf8(std::u16string{0xD834}), "\xEF\xBF\xBD");
  EXPECT_EQ(text::Utf16ToUtf8(std::u16string{u'a', 0xDD1E, u'b'}), "a\xEF\xBF\xBD\x62");  // b
}

TEST(Utf8, PrefixNeverEndsInsideACharacterAndCountsStrayBytesAsCharacters) {
  const struct {
    std::string_view text;
    std::size_t max, expected;
  } cases[] = {{"ab€d", 0, 0},   {"ab€d", 2, 2},  // the euro sign is bytes 2..4
               {"ab€d", 4, 2},   {"ab€d", 5, 5},
               {"ab€d", 100, 6}, {"x𝄞", 4, 1},  // four bytes at 1..4
               {"x𝄞", 5, 5},     {"a\x80\x80\x80\x80z", 3, 3},
               {"ab\xff", 3, 3}, {"a\xe2\x82\x62", 3, 3}};  // truncated sequence, then b
  for (const auto& c : cases)
    EXPECT_EQ(text::Utf8PrefixLength(c.text, c.max), c.expected) << c.text << " " << c.max;
}

TEST(Utf8, CopyTerminatedFitsTheField) {
  char field[6];
  std::memset(field, 'X', sizeof field);
  EXPECT_EQ(text::CopyTerminated("ab€def", field, sizeof field), 5u);
  EXPECT_STREQ(field, "ab€");

  std::memset(field, 'X', sizeof field);
  EXPECT_EQ(text::CopyTerminated("abcd€", field, sizeof field), 4u);
  EXPECT_STREQ(field, "abcd");

  EXPECT_EQ(text::CopyTerminated("abc", field, 0), 0u);
  EXPECT_EQ(field[0], 'a');  // untouched
}

}  // namespace
