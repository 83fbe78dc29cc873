#include "text/number.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <string>

#include "support/cell_texts.h"

namespace {

// As scanf's "%d" and atoi, but a number too large for 32 bits saturates
// instead of being undefined.
TEST(NumberText, IntegersSaturate) {
  const struct {
    const char* text;
    std::int32_t value;
    std::size_t used;
  } cases[] = {{" \t-7x", -7, 4},
               {"+3", 3, 2},
               {"2147483648", INT32_MAX, 10},
               {"-2147483648", INT32_MIN, 11},
               {"-99999999999999999999", INT32_MIN, 21},
               {"", 0, 0},
               {"-", 0, 0},
               {"x1", 0, 0}};
  for (const auto& c : cases) {
    std::int32_t value = 0;
    EXPECT_EQ(text::ScanInt32(c.text, value), c.used) << c.text;
    EXPECT_EQ(value, c.value) << c.text;
    EXPECT_EQ(text::ParseInt32(c.text), c.value) << c.text;
  }
}

// Whole numbers only, read the same in a decimal-comma locale.
TEST(NumberText, WholeNumbersOnlyInAnyLocale) {
  const test_support::CellTextCase more[] = {{"5.", 5.0},
                                             {".5", 0.5},
                                             {"+7", 7.0},
                                             {"1e", std::nullopt},
                                             {"e5", std::nullopt},
                                             {".", std::nullopt},
                                             {"1e999", std::nullopt},
                                             {"1 000", std::nullopt},
                                             {"5,5", std::nullopt}};
  const std::string previous = std::setlocale(LC_ALL, nullptr);
  for (const char* locale : {"C", "de_DE.UTF-8"}) {
    ASSERT_NE(std::setlocale(LC_ALL, locale), nullptr) << "scripts/install-deps makes it";
    const auto check = [locale](const auto& table) {
      for (const auto& [text, number] : table)
        EXPECT_EQ(text::ParseWholeNumber(text), number) << locale << " \"" << text << "\"";
    };
    check(test_support::kCellTexts);
    check(more);
  }
  std::setlocale(LC_ALL, previous.c_str());
}

// As strtod, read the same in a decimal-comma locale: where the number ends
// matters to a caller that wants the whole text to be one.
TEST(NumberText, DoublePrefixesInAnyLocale) {
  const struct {
    const char* text;
    double value;
    std::size_t used;
  } cases[] = {
      {"2.5", 2.5, 3}, {" -1.5e2x", -150.0, 7}, {"0x10", 16.0, 4}, {"5,5", 5.0, 1}, {"2s", 2.0, 1},
      {".5", 0.5, 2},  {"1e999", HUGE_VAL, 5},  {"", 7.0, 0},      {"x1", 7.0, 0},  {"-", 7.0, 0}};
  const std::string previous = std::setlocale(LC_ALL, nullptr);
  for (const char* locale : {"C", "de_DE.UTF-8"}) {
    ASSERT_NE(std::setlocale(LC_ALL, locale), nullptr) << "scripts/install-deps makes it";
    for (const auto& c : cases) {
      double value = 7.0;  // untouched when there is no number
      EXPECT_EQ(text::ScanDouble(c.text, value), c.used) << locale << " \"" << c.text << "\"";
      EXPECT_EQ(value, c.value) << locale << " \"" << c.text << "\"";
    }
  }
  std::setlocale(LC_ALL, previous.c_str());
}

}  // namespace
