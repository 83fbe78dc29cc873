#include "text/message_format.h"
#include "support/guarded_buffer.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using test_support::kGuard;
using Field = test_support::GuardedBuffer;

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

  Field field(260, kGuard);
  const std::string message(300, 'm');
  EXPECT_EQ(text::PrintMessage(field.chars(), 260, "%s", message.c_str()), 259);
  EXPECT_EQ(field.Text(), std::string(259, 'm'));
  EXPECT_TRUE(field.GuardsIntact());

  // A character that would not fit goes whole; the count says what stayed.
  Field cut(260, kGuard);
  const std::string head(257, 'a');
  EXPECT_EQ(text::PrintMessage(cut.chars(), 260, "%sb\xe6\xb2\xb9", head.c_str()), 258);
  EXPECT_EQ(cut.Text(), head + "b");
  EXPECT_EQ(cut.bytes[259], kGuard) << "bytes after the terminator are untouched";
}

TEST(PrintMessage, EmptyTinyMissingAndNulHoldingTexts) {
  Field field(16, kGuard);
  EXPECT_EQ(text::PrintMessage(field.chars(), 16, "%s", ""), 0);
  EXPECT_EQ(field.bytes[0], 0);
  EXPECT_EQ(field.bytes[1], kGuard);
  EXPECT_EQ(text::PrintMessage(field.chars(), 16, "ab%cde", 0), 2);
  EXPECT_EQ(field.Text(), "ab");

  Field one(1, kGuard);
  EXPECT_EQ(text::PrintMessage(one.chars(), 1, "abc"), 0);
  EXPECT_EQ(one.bytes[0], 0);
  EXPECT_TRUE(one.GuardsIntact());
  Field none(0, kGuard);
  EXPECT_EQ(text::PrintMessage(none.chars(), 0, "abc"), -1);
  EXPECT_TRUE(none.GuardsIntact());
  EXPECT_EQ(text::PrintMessage(static_cast<char*>(nullptr), 8, "abc"), -1);
}

}  // namespace
