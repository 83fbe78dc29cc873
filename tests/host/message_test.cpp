#include "host/message.h"
#include "support/guarded_buffer.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using test_support::kGuard;

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
