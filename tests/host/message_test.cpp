#include "host/message.h"
#include "support/guarded_buffer.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using test_support::kGuard;
using Field = test_support::GuardedBuffer;

TEST(FormatString, FormatsTextsOfAnyLength) {
  EXPECT_EQ(host::FormatString("Out-%d", 3), "Out-3");
  // 511 characters fit the first buffer with the NUL, 512 need the second.
  for (std::size_t length : {509u, 510u, 5000u}) {
    const std::string long_text(length, 'q');
    EXPECT_EQ(host::FormatString("<%s>", long_text.c_str()), "<" + long_text + ">") << length;
  }
}

TEST(PrintMessage, FormatsAsPrintfAndCutsTo259CharactersAndTheTerminator) {
  Field printed(64, kGuard);
  EXPECT_EQ(
      host::PrintMessage(printed.chars(), 64, "An error occurred (%s)\n%d %g", "boom", -4, 0.5),
      31);
  EXPECT_EQ(printed.Text(), "An error occurred (boom)\n-4 0.5");

  Field field(260, kGuard);
  const std::string message(300, 'm');
  EXPECT_EQ(host::PrintMessage(field.chars(), 260, "%s", message.c_str()), 259);
  EXPECT_EQ(field.Text(), std::string(259, 'm'));
  EXPECT_TRUE(field.GuardsIntact());

  // A character that would not fit goes whole; the count says what stayed.
  Field cut(260, kGuard);
  const std::string head(257, 'a');
  EXPECT_EQ(host::PrintMessage(cut.chars(), 260, "%sb\xe6\xb2\xb9", head.c_str()), 258);
  EXPECT_EQ(cut.Text(), head + "b");
  EXPECT_EQ(cut.bytes[259], kGuard) << "bytes after the terminator are untouched";
}

TEST(PrintMessage, EmptyTinyMissingAndNulHoldingTexts) {
  Field field(16, kGuard);
  EXPECT_EQ(host::PrintMessage(field.chars(), 16, "%s", ""), 0);
  EXPECT_EQ(field.bytes[0], 0);
  EXPECT_EQ(field.bytes[1], kGuard);
  EXPECT_EQ(host::PrintMessage(field.chars(), 16, "ab%cde", 0), 2);
  EXPECT_EQ(field.Text(), "ab");

  Field one(1, kGuard);
  EXPECT_EQ(host::PrintMessage(one.chars(), 1, "abc"), 0);
  EXPECT_EQ(one.bytes[0], 0);
  EXPECT_TRUE(one.GuardsIntact());
  Field none(0, kGuard);
  EXPECT_EQ(host::PrintMessage(none.chars(), 0, "abc"), -1);
  EXPECT_TRUE(none.GuardsIntact());
  EXPECT_EQ(host::PrintMessage(static_cast<char*>(nullptr), 8, "abc"), -1);
}

TEST(PrintMessage, IntoARecordFieldStaysInsideTheRecord) {
  std::vector<unsigned char> bytes(48, kGuard);
  host::HostRecord record(bytes.data(), 32);
  EXPECT_EQ(host::PrintMessage(record, 24, 8, "%s", "0123456789"), 7);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(bytes.data()) + 24), "0123456");
  EXPECT_EQ(bytes[23], kGuard);

  const std::vector<unsigned char> before = bytes;
  EXPECT_EQ(host::PrintMessage(record, 28, 8, "%s", "x"), -1) << "field reaches past the record";
  EXPECT_EQ(host::PrintMessage(record, 32, 0, "%s", "x"), -1);
  EXPECT_EQ(bytes, before);
}

TEST(WriteStatus, WritesAtMost259CharactersIntoTheStatusText) {
  std::vector<unsigned char> bytes(EXT_STATUS_RECORD_SIZE + 16, kGuard);
  auto* raw = reinterpret_cast<ExtStatusRecord*>(bytes.data());
  raw->size = EXT_STATUS_RECORD_SIZE;
  host::StatusRecord status(raw);

  const std::string message(300, 'z');
  EXPECT_EQ(host::WriteStatus(status, "Failed to save: %s", message.c_str()), 259);
  EXPECT_EQ(status.Text(), "Failed to save: " + std::string(259 - 16, 'z'));
  EXPECT_EQ(raw->size, static_cast<std::uint32_t>(EXT_STATUS_RECORD_SIZE));
  EXPECT_EQ(std::vector<unsigned char>(bytes.begin() + EXT_STATUS_RECORD_SIZE, bytes.end()),
            std::vector<unsigned char>(16, kGuard));

  host::StatusRecord none(nullptr);
  EXPECT_EQ(host::WriteStatus(none, "%s", "anything"), -1);
}

TEST(Answer, AFailureWritesItsWholeMessageVerbatimSuccessWritesNothing) {
  std::vector<unsigned char> bytes(EXT_STATUS_RECORD_SIZE + 16, kGuard);
  auto* raw = reinterpret_cast<ExtStatusRecord*>(bytes.data());
  raw->size = EXT_STATUS_RECORD_SIZE;
  host::StatusRecord status(raw);
  ASSERT_TRUE(status.SetText("earlier text"));

  EXPECT_EQ(host::Answer(outcome::Error::Success(), status), EXT_RESULT_OK);
  EXPECT_EQ(status.Text(), "earlier text");

  // The message is text, never a format: a '%' reaches the host as it is.
  EXPECT_EQ(host::Answer(outcome::Error::Failed("100% of Sheet1!A1"), status), EXT_RESULT_FAILED);
  EXPECT_EQ(status.Text(), "100% of Sheet1!A1");
  EXPECT_EQ(host::Answer(outcome::Error::Failed("no more", EXT_RESULT_NONE), status),
            EXT_RESULT_NONE);
  EXPECT_EQ(status.Text(), "no more");

  EXPECT_EQ(host::Answer(outcome::Error::Failed(std::string(400, 'y')), status), EXT_RESULT_FAILED);
  EXPECT_EQ(status.Text(), std::string(259, 'y'));
  EXPECT_EQ(std::vector<unsigned char>(bytes.begin() + EXT_STATUS_RECORD_SIZE, bytes.end()),
            std::vector<unsigned char>(16, kGuard));

  host::StatusRecord none(nullptr);
  EXPECT_EQ(host::Answer(outcome::Error::Failed("lost"), none), EXT_RESULT_FAILED);
}

}  // namespace
