#include "text/ascii.h"

#include <gtest/gtest.h>

#include <clocale>
#include <string>

namespace {

TEST(Ascii, FoldsOnlyAsciiLettersWhateverTheLocale) {
  // A host may set a single-byte locale where tolower would fold Latin-1.
  const std::string previous = std::setlocale(LC_CTYPE, nullptr);
  std::setlocale(LC_CTYPE, "de_DE.UTF-8");
  struct Case {
    std::string_view a, b;
    bool equal;
  } const cases[] = {
      {"Excel.Application.16", "EXCEL.application.16", true},
      {"", "", true},
      {"abc", "abcd", false},
      {"\xC3\x89", "\xC3\xA9", false},  // É and é: not ASCII, not folded
      {"a@[", "A`{", false},            // neighbours of the letter ranges
  };
  for (const Case& c : cases) {
    EXPECT_EQ(text::EqualsNoCase(c.a, c.b), c.equal) << c.a << " / " << c.b;
    EXPECT_EQ(text::CompareNoCase(c.a, c.b) == 0, c.equal) << c.a << " / " << c.b;
  }
  EXPECT_TRUE(text::EqualsNoCase(std::u16string_view(u"Données"), u"DONNéES"));
  EXPECT_FALSE(text::EqualsNoCase(std::u16string_view(u"é"), u"É"));
  EXPECT_LT(text::CompareNoCase("apple", "Banana"), 0);
  EXPECT_GT(text::CompareNoCase("b", "A"), 0);
  EXPECT_LT(text::CompareNoCase("ab", "AB c"), 0);
  EXPECT_TRUE(text::StartsWithNoCase("DWORD:0a", "dword:"));
  EXPECT_FALSE(text::StartsWithNoCase("dw", "dword:"));
  std::setlocale(LC_CTYPE, previous.c_str());
}

TEST(Ascii, TrimsTheGivenCharactersFromEachEnd) {
  EXPECT_EQ(text::Trim(" \t\r\nA b\v\f "), "A b");
  EXPECT_EQ(text::Trim(" \t \n"), "");
  EXPECT_EQ(text::TrimLeft("  a  ", " "), "a  ");
  EXPECT_EQ(text::TrimRight("  a \n", " \t"), "  a \n");
  EXPECT_EQ(text::Trim(std::u16string_view(u"\u00A0 x\t"), u" \t\u00A0"), u"x");
}

}  // namespace
