// Host records: bounds, byte order and text fields; and the messages written
// into them and into the status record.
#include "host/host_record.h"
#include "host/message.h"
#include "support/guarded_buffer.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <limits>
#include <string>
#include <tuple>
#include <vector>

namespace {

using host::TextFit;
using test_support::GuardedBuffer;
using test_support::kGuard;

constexpr std::size_t kMax = std::numeric_limits<std::size_t>::max();

// One writer per accessor that checks bounds itself; the signed, double and
// pointer writers only convert and hand over to the unsigned ones.
struct Writer {
  const char* name;
  std::size_t width;
  std::function<bool(host::HostRecord&, std::size_t)> write;
};

const Writer kWriters[] = {
    {"u8", 1, [](host::HostRecord& r, std::size_t at) { return r.WriteU8(at, 0xEE); }},
    {"u32", 4, [](host::HostRecord& r, std::size_t at) { return r.WriteU32(at, 0xDEADBEEF); }},
    {"u64", 8, [](host::HostRecord& r, std::size_t at) { return r.WriteU64(at, ~0ull); }},
    {"fill", 6, [](host::HostRecord& r, std::size_t at) { return r.Fill(at, 6, 0xEE); }},
    {"text", 7,
     [](host::HostRecord& r, std::size_t at) { return r.WriteText(at, 7, "abcdefghij"); }},
    {"filled text", 7, [](host::HostRecord& r, std::size_t at) {
       return r.WriteText(at, 7, "abcdefghij", TextFit::kMayFill);
     }}};

TEST(HostRecord, WritesUpToTheLastByteAndRefusesOneBytePastIt) {
  for (const Writer& w : kWriters) {
    SCOPED_TRACE(w.name);
    GuardedBuffer buffer(32);
    host::HostRecord record = buffer.record();
    EXPECT_TRUE(w.write(record, 32 - w.width));
    EXPECT_NE(buffer.bytes[31], 0x11) << "the last byte was written";
    EXPECT_TRUE(buffer.GuardsIntact());

    const std::vector<unsigned char> before = buffer.bytes;
    EXPECT_FALSE(w.write(record, 32 - w.width + 1));
    EXPECT_FALSE(w.write(record, kMax));
    if (w.width > 1) {
      EXPECT_FALSE(w.write(record, kMax - w.width + 2));  // offset + width wraps to 1
    }
    EXPECT_EQ(buffer.bytes, before) << "a refused write touched nothing, not even in range";
  }
}

// Byte order and offsets are the driver's record tests'.
TEST(HostRecord, NumbersReadBackUpToTheEndButNotPast) {
  GuardedBuffer buffer(24, 0);
  host::HostRecord record = buffer.record();
  ASSERT_TRUE(record.WriteI32(4, std::numeric_limits<std::int32_t>::min()));
  ASSERT_TRUE(record.WriteDouble(8, -3.4e35));
  ASSERT_TRUE(record.WriteU64(16, 0x0102030405060708ull));
  std::uint8_t u8 = 0;
  std::uint32_t u32 = 0;
  std::int32_t i32 = 0;
  double d = 0;
  std::uint64_t u64 = 0;
  EXPECT_TRUE(record.ReadI32(4, i32) && i32 == std::numeric_limits<std::int32_t>::min());
  EXPECT_TRUE(record.ReadDouble(8, d) && d == -3.4e35);
  EXPECT_TRUE(record.ReadU32(20, u32) && u32 == 0x01020304u);
  EXPECT_TRUE(record.ReadU8(23, u8) && u8 == 1);
  EXPECT_TRUE(record.ReadU64(16, u64) && u64 == 0x0102030405060708ull);

  std::string text = "kept";
  EXPECT_FALSE(record.ReadU8(24, u8));
  EXPECT_FALSE(record.ReadU32(21, u32));
  EXPECT_FALSE(record.ReadU64(17, u64));
  EXPECT_FALSE(record.ReadU64(kMax - 2, u64));
  EXPECT_FALSE(record.ReadText(kMax, 4, text));
  EXPECT_FALSE(record.ReadText(1, kMax, text));
  EXPECT_FALSE(record.ReadText(21, 4, text));
  EXPECT_EQ(
      std::make_tuple(u8, u32, u64, text),
      std::make_tuple(std::uint8_t{1}, 0x01020304u, 0x0102030405060708ull, std::string("kept")))
      << "a refused read leaves its output alone";
}

TEST(HostRecord, ZeroWidthAtTheEndIsAllowedAnEmptyTextFieldAndANullRecordAreNot) {
  GuardedBuffer buffer(8);
  host::HostRecord record = buffer.record();
  EXPECT_TRUE(record.Fill(8, 0, 0));
  EXPECT_FALSE(record.Fill(9, 0, 0));
  EXPECT_FALSE(record.Contains(1, kMax));
  EXPECT_FALSE(record.WriteText(0, 0, ""));

  host::HostRecord null(nullptr, 264);
  EXPECT_TRUE(null.empty());
  EXPECT_FALSE(null.WriteU8(0, 1));
  std::uint32_t value;
  EXPECT_FALSE(null.ReadU32(0, value));
}

TEST(HostRecord, WriteTextCutsToTheFieldAndNeverWritesPastIt) {
  const struct {
    const char* name;
    std::string text;
    std::size_t field;
    TextFit fit;
    std::string expected;  // the field's bytes that are written
  } cases[] = {
      {"exactly the field", "abcd", 4, TextFit::kTerminated, std::string("abc\0", 4)},
      {"fills the field", "abcd", 4, TextFit::kMayFill, "abcd"},
      {"short is padded", "ab", 4, TextFit::kMayFill, std::string("ab\0\0", 4)},
      {"character at the cut", "a\xc3\xa9", 3, TextFit::kTerminated, std::string("a\0", 2)},
      {"embedded NUL ends the text", std::string("ab\0cd", 5), 8, TextFit::kMayFill,
       std::string("ab\0\0\0\0\0\0", 8)},
      {"one-byte field", "abc", 1, TextFit::kTerminated, std::string("\0", 1)}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    GuardedBuffer buffer(c.field + 2);
    host::HostRecord record = buffer.record();
    ASSERT_TRUE(record.WriteText(1, c.field, c.text, c.fit));
    EXPECT_EQ(buffer.bytes[0], 0x11);
    EXPECT_EQ(std::string(buffer.chars() + 1, c.expected.size()), c.expected);
    for (std::size_t i = 1 + c.expected.size(); i < buffer.size; ++i)
      EXPECT_EQ(buffer.bytes[i], 0x11) << "byte " << i << " past the text was left alone";
    EXPECT_TRUE(buffer.GuardsIntact());
  }
}

TEST(HostRecord, ReadTextStopsAtTheTerminatorOrTheFieldEnd) {
  const host::ConstHostRecord record("ab\0dEFGHijkl", 12);
  std::string text;
  ASSERT_TRUE(record.ReadText(0, 4, text) && text == "ab");
  ASSERT_TRUE(record.ReadText(8, 4, text));
  EXPECT_EQ(text, "ijkl") << "an unterminated field is read to its end, no further";
}

TEST(HostRecord, SliceAddressesAnEntryAndKeepsItsBounds) {
  GuardedBuffer buffer(40, 0);
  host::HostRecord record = buffer.record();
  host::HostRecord entry;
  ASSERT_TRUE(record.Slice(16, 8, entry));
  ASSERT_TRUE(entry.WriteU32(4, 0x01020304));
  EXPECT_EQ(buffer.bytes[20], 0x04);
  EXPECT_FALSE(entry.WriteU32(5, 1)) << "an entry's end is its own end";
  EXPECT_FALSE(record.Slice(36, 8, entry));
  EXPECT_FALSE(record.Slice(kMax, 2, entry));
  EXPECT_EQ(entry.size(), 8u) << "a refused slice leaves the output alone";
}

// A status record the host sized, followed by guard bytes.
struct GuardedStatus : GuardedBuffer {
  GuardedStatus() : GuardedBuffer(EXT_STATUS_RECORD_SIZE, kGuard) {
    status()->size = EXT_STATUS_RECORD_SIZE;
  }
  host::StatusRecord record{status()};
};

TEST(PrintMessage, IntoARecordFieldStaysInsideTheRecord) {
  GuardedBuffer buffer(32, kGuard);
  host::HostRecord record = buffer.record();
  EXPECT_EQ(host::PrintMessage(record, 24, 8, "%s", "0123456789"), 7);
  EXPECT_EQ(buffer.Text(24), "0123456");
  EXPECT_EQ(buffer.bytes[23], kGuard);

  const std::vector<unsigned char> before = buffer.bytes;
  EXPECT_EQ(host::PrintMessage(record, 28, 8, "%s", "x"), -1) << "field reaches past the record";
  EXPECT_EQ(host::PrintMessage(record, 32, 0, "%s", "x"), -1);
  EXPECT_EQ(buffer.bytes, before);
}

TEST(WriteStatus, WritesAtMost259CharactersIntoTheStatusText) {
  GuardedStatus status;
  const std::string message(300, 'z');
  EXPECT_EQ(host::WriteStatus(status.record, "Failed to save: %s", message.c_str()), 259);
  EXPECT_EQ(status.record.Text(), "Failed to save: " + std::string(259 - 16, 'z'));
  EXPECT_EQ(status.status()->size, static_cast<std::uint32_t>(EXT_STATUS_RECORD_SIZE));
  EXPECT_TRUE(status.GuardsIntact());

  host::StatusRecord none(nullptr);
  EXPECT_EQ(host::WriteStatus(none, "%s", "anything"), -1);
}

TEST(Answer, AFailureWritesItsWholeMessageVerbatimSuccessWritesNothing) {
  GuardedStatus status;
  ASSERT_TRUE(status.record.SetText("earlier text"));
  // The error, the result and the status text after it. The message is
  // text, never a format: a '%' reaches the host as it is.
  const std::tuple<outcome::Error, std::int32_t, std::string> cases[] = {
      {outcome::Error::Success(), EXT_RESULT_OK, "earlier text"},
      {outcome::Error::Failed("100% of Sheet1!A1"), EXT_RESULT_FAILED, "100% of Sheet1!A1"},
      {outcome::Error::Failed("no more", EXT_RESULT_NONE), EXT_RESULT_NONE, "no more"},
      {outcome::Error::Failed(std::string(400, 'y')), EXT_RESULT_FAILED, std::string(259, 'y')}};
  for (const auto& [error, result, text] : cases) {
    EXPECT_EQ(host::Answer(error, status.record), result);
    EXPECT_EQ(status.record.Text(), text);
  }
  EXPECT_TRUE(status.GuardsIntact());

  host::StatusRecord none(nullptr);
  EXPECT_EQ(host::Answer(outcome::Error::Failed("lost"), none), EXT_RESULT_FAILED);
}

}  // namespace
