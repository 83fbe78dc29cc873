// Texts: ASCII case and trimming, printf-style messages cut to their field,
// numbers in any locale, UTF-8 and UTF-16.
#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <cstring>
#include <string>
#include <tuple>
#include <utility>

#include "support/cell_texts.h"
#include "support/guarded_buffer.h"
#include "text/ascii.h"
#include "text/message_format.h"
#include "text/number.h"
#include "text/utf8.h"

namespace {

using test_support::kGuard;
using Field = test_support::GuardedBuffer;

TEST(Ascii, FoldsOnlyAsciiLettersWhateverTheLocale) {
  // A host may set a single-byte locale where tolower would fold Latin-1.
  const std::string previous = std::setlocale(LC_CTYPE, nullptr);
  std::setlocale(LC_CTYPE, "de_DE.UTF-8");
  struct Case {
    std::string_view a, b;
    bool equal;
  } const cases[] = {{"Excel.Application.16", "EXCEL.application.16", true},
                     {"", "", true},
                     {"abc", "abcd", false},
                     {"\xC3\x89", "\xC3\xA9", false},  // É and é: not ASCII, not folded
                     {"a@[", "A`{", false}};           // neighbours of the letter ranges
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
  EXPECT_TRUE(text::IsBlank("   "));
  EXPECT_FALSE(text::IsBlank("\t")) << "only spaces are blank";
}

TEST(FormatString, FormatsTextsOfAnyLength) {
  EXPECT_EQ(text::FormatString("Out-%d", 3), "Out-3");
  // 511 characters fit the first buffer with the NUL, 512 need the second.
  for (std::size_t length : {509u, 510u, 5000u}) {
    const std::string long_text(length, 'q');
    EXPECT_EQ(text::FormatString("<%s>", long_text.c_str()), "<" + long_text + ">") << length;
  }
}

TEST(PrintMessage, FormatsAsPrintfAndCutsTo259CharactersAndTheTerminator) {
  Field printed(64, kGuard);
  EXPECT_EQ(
      text::PrintMessage(printed.chars(), 64, "An error occurred (%s)\n%d %g", "boom", -4, 0.5),
      31);
  EXPECT_EQ(printed.Text(), "An error occurred (boom)\n-4 0.5");

  // Cut to 259 bytes and the terminator: a character that would not fit goes
  // whole (é would end at byte 260), and the count says what stayed.
  Field cut(260, kGuard);
  const std::string head(257, 'a');
  EXPECT_EQ(text::PrintMessage(cut.chars(), 260, "%sb\xc3\xa9", head.c_str()), 258);  // b, é
  EXPECT_EQ(cut.Text(), head + "b");
  EXPECT_EQ(cut.bytes[259], kGuard) << "bytes after the terminator are untouched";
  EXPECT_TRUE(cut.GuardsIntact());
}

TEST(PrintMessage, EmptyTinyMissingAndNulHoldingTexts) {
  Field field(16, kGuard);
  EXPECT_EQ(text::PrintMessage(field.chars(), 16, "%s", ""), 0);
  EXPECT_EQ(std::tuple(field.bytes[0], field.bytes[1]), std::tuple(0, kGuard));
  EXPECT_EQ(text::PrintMessage(field.chars(), 16, "ab%cde", 0), 2);
  EXPECT_EQ(field.Text(), "ab");

  Field one(1, kGuard);
  EXPECT_EQ(text::PrintMessage(one.chars(), 1, "abc"), 0);
  EXPECT_TRUE(one.bytes[0] == 0 && one.GuardsIntact());
  Field none(0, kGuard);
  EXPECT_EQ(text::PrintMessage(none.chars(), 0, "abc"), -1);
  EXPECT_TRUE(none.GuardsIntact());
  EXPECT_EQ(text::PrintMessage(static_cast<char*>(nullptr), 8, "abc"), -1);
}

// As scanf's "%d" and atoi, but a number too large for 32 bits saturates
// instead of being undefined.
TEST(NumberText, IntegersSaturate) {
  const struct {
    const char* text;
    std::int32_t value;
    std::size_t used;
  } cases[] = {{" \t-7x", -7, 4},
               {"2147483648", INT32_MAX, 10},
               {"-2147483648", INT32_MIN, 11},
               {"-99999999999999999999", INT32_MIN, 21},
               {"", 0, 0},
               {"-", 0, 0}};
  for (const auto& c : cases) {
    std::int32_t value = 0;
    EXPECT_EQ(text::ScanInt32(c.text, value), c.used) << c.text;
    EXPECT_EQ(value, c.value) << c.text;
    EXPECT_EQ(text::ParseInt32(c.text), c.value) << c.text;
  }
}

// Read the same in a decimal-comma locale: whole numbers only; as strtod,
// where the number ends (a caller wants the whole text to be one); as atof.
TEST(NumberText, WholeNumbersDoublePrefixesAndAtofInAnyLocale) {
  const test_support::CellTextCase whole[] = {{"5.", 5.0},
                                              {".5", 0.5},
                                              {"1e", std::nullopt},
                                              {"1e999", std::nullopt},
                                              {"5,5", std::nullopt},
                                              {"+2.5", 2.5},
                                              {"1e-400", 0.0},  // underflow as strtod gives it
                                              {"4.9e-324", 4.9e-324},
                                              {"2.2250738585072011e-308", 2.2250738585072011e-308},
                                              {"0.1000000000000000055511151231257827", 0.1}};
  const struct {
    const char* text;
    double value;
    std::size_t used;
  } prefixes[] = {{" -1.5e2x", -150.0, 7}, {"0x10", 16.0, 4}, {"5,5", 5.0, 1},
                  {"1e999", HUGE_VAL, 5},  {"", 7.0, 0},      {"-", 7.0, 0}};
  const std::pair<const char*, double> atof[] = {{"0.1", 0.1}, {"  42abc", 42},     {"", 0},
                                                 {"abc", 0},   {"3.4E+35", 3.4e35}, {"1,5", 1}};
  const std::string previous = std::setlocale(LC_ALL, nullptr);
  for (const char* locale : {"C", "de_DE.UTF-8"}) {
    ASSERT_NE(std::setlocale(LC_ALL, locale), nullptr) << "scripts/install-deps makes it";
    for (const auto& [text, number] : test_support::kCellTexts)
      EXPECT_EQ(text::ParseWholeNumber(text), number) << locale << " \"" << text << "\"";
    for (const auto& [text, number] : whole)
      EXPECT_EQ(text::ParseWholeNumber(text), number) << locale << " \"" << text << "\"";
    for (const auto& c : prefixes) {
      double value = 7.0;  // untouched when there is no number
      EXPECT_EQ(text::ScanDouble(c.text, value), c.used) << locale << " \"" << c.text << "\"";
      EXPECT_EQ(value, c.value) << locale << " \"" << c.text << "\"";
    }
    for (const auto& [text, value] : atof)
      EXPECT_EQ(text::ParseDouble(text), value) << locale << " \"" << text << "\"";
  }
  std::setlocale(LC_ALL, previous.c_str());
}

TEST(Utf8, RoundTripsValidTextAndEncodesSupplementaryCharactersAsSurrogatePairs) {
  const std::string samples[] = {"",     "Plain ASCII", "Débit d'huile",
                                 "油井", "Żółć 𝄞 end",  std::string("nul\0inside", 10)};
  for (const std::string& s : samples)
    EXPECT_EQ(text::Utf16ToUtf8(text::Utf8ToUtf16(s)), s) << s;
  EXPECT_EQ(text::Utf8ToUtf16("𝄞"), (std::u16string{0xD834, 0xDD1E}));
  EXPECT_EQ(text::Utf8ToUtf16("é"), u"é");
}

TEST(Utf8, EachSequenceLengthStartsAtItsFirstCodePoint) {
  const struct {
    std::string utf8;
    std::u16string utf16;
  } cases[] = {{"\xC2\x80", u"\u0080"},
               {"\xDF\xBF", u"\u07FF"},
               {"\xE0\xA0\x80", u"\u0800"},
               {"\xF0\x90\x80\x80", u"\U00010000"}};
  for (const auto& c : cases) {
    EXPECT_EQ(text::Utf8ToUtf16(c.utf8), c.utf16);
    EXPECT_EQ(text::Utf16ToUtf8(c.utf16), c.utf8);
  }
}

TEST(Utf8, StrayBytesSurviveTheRoundTripAndLoneSurrogatesAreReplaced) {
  const std::string samples[] = {
      "\xff",          "a\xc3", "\xc3(", "\xe2\x82", "\xed\xa0\x80", "\xc0\xaf", "\xf4\x90\x80\x80",
      "latin1 caf\xe9"};
  for (const std::string& s : samples)
    EXPECT_EQ(text::Utf16ToUtf8(text::Utf8ToUtf16(s)), s);
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
  // The text, the field's size, the count copied and the field after it.
  const std::tuple<const char*, std::size_t, std::size_t, const char*> cases[] = {
      {"ab€def", 6, 5, "ab€"}, {"abcd€", 6, 4, "abcd"}, {"abc", 0, 0, "XXXXXX"}};
  for (const auto& [from, size, copied, field] : cases) {
    char out[7] = "XXXXXX";
    EXPECT_EQ(text::CopyTerminated(from, out, size), copied) << from;
    EXPECT_STREQ(out, field) << "a field of none is untouched";
  }
}

}  // namespace
