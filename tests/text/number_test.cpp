#include "text/number.h"

#include <gtest/gtest.h>

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

}  // namespace
