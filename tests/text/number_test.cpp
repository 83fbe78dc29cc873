#include "text/number.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <string>

namespace {

// A host's locale with a decimal comma changes nothing.
class NumberText : public ::testing::TestWithParam<const char*> {
 protected:
  void SetUp() override {
    saved_ = std::setlocale(LC_ALL, nullptr);
    if (std::setlocale(LC_ALL, GetParam()) == nullptr) GTEST_SKIP() << "no locale " << GetParam();
  }
  void TearDown() override { std::setlocale(LC_ALL, saved_.c_str()); }
  std::string saved_;
};

TEST_P(NumberText, FormatsAsPercentG) {
  const struct {
    double value;
    const char* text;
  } cases[] = {{0.1, "0.1"},   {1234567.0, "1.23457e+06"}, {3.4e35, "3.4e+35"},
               {-2.5, "-2.5"}, {100000.0, "100000"},       {1e-5, "1e-05"},
               {0.0, "0"},     {INFINITY, "inf"}};
  for (const auto& c : cases)
    EXPECT_EQ(text::FormatGeneral(c.value), c.text);
}

TEST_P(NumberText, ParsesAsAtofAndAtoiWithoutOverflow) {
  EXPECT_EQ(text::ParseDouble(" 1.5e3xyz"), 1500.0);
  EXPECT_EQ(text::ParseDouble("2,5"), 2.0);
  EXPECT_EQ(text::ParseDouble("abc"), 0.0);
  const struct {
    const char* text;
    std::int32_t value;
    std::size_t used;
  } cases[] = {{"42", 42, 2},
               {" \t-7x", -7, 4},
               {"+3", 3, 2},
               {"2147483647", 2147483647, 10},
               {"2147483648", 2147483647, 10},
               {"-2147483648", -2147483647 - 1, 11},
               {"-99999999999999999999", -2147483647 - 1, 21},
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

INSTANTIATE_TEST_SUITE_P(Locales, NumberText, ::testing::Values("C", "de_DE.UTF-8"));

}  // namespace
