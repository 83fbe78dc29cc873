#include "host/host_record.h"
#include "support/guarded_buffer.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <functional>
#include <limits>
#include <string>
#include <vector>

namespace {

using host::TextFit;
using host::ConstHostRecord;
using host::HostRecord;
using host::StatusRecord;

constexpr std::size_t kMax = std::numeric_limits<std::size_t>::max();
using test_support::GuardedBuffer;
using test_support::kGuard;

// One writer per width, so that every case runs for each.
struct Writer {
  const char* name;
  std::size_t width;
  std::function<bool(host::HostRecord&, std::size_t)> write;
};

std::vector<Writer> AllWriters() {
  static int target = 0;
  return {
      {"u8", 1, [](host::HostRecord& r, std::size_t at) { return r.WriteU8(at, 0xEE); }},
      {"i32", 4, [](host::HostRecord& r, std::size_t at) { return r.WriteI32(at, -2); }},
      {"u32", 4, [](host::HostRecord& r, std::size_t at) { return r.WriteU32(at, 0xDEADBEEF); }},
      {"i64", 8, [](host::HostRecord& r, std::size_t at) { return r.WriteI64(at, -3); }},
      {"u64", 8, [](host::HostRecord& r, std::size_t at) { return r.WriteU64(at, ~0ull); }},
      {"double", 8, [](host::HostRecord& r, std::size_t at) { return r.WriteDouble(at, -1.25); }},
      {"pointer", 8, [](host::HostRecord& r, std::size_t at) { return r.WritePointer(at, &target); }},
      {"bytes", 5,
       [](host::HostRecord& r, std::size_t at) { return r.WriteBytes(at, "\xEE\xEE\xEE\xEE\xEE", 5); }},
      {"fill", 6, [](host::HostRecord& r, std::size_t at) { return r.Fill(at, 6, 0xEE); }},
      {"text", 7, [](host::HostRecord& r, std::size_t at) { return r.WriteText(at, 7, "abcdefghij"); }},
      {"filled text", 7,
       [](host::HostRecord& r, std::size_t at) {
         return r.WriteText(at, 7, "abcdefghij", host::TextFit::kMayFill);
       }},
  };
}

TEST(HostRecord, WritesUpToTheLastByteAndRefusesOneBytePastIt) {
  for (const Writer& w : AllWriters()) {
    SCOPED_TRACE(w.name);
    GuardedBuffer buffer(32);
    host::HostRecord record = buffer.record();

    EXPECT_TRUE(w.write(record, 32 - w.width));
    EXPECT_NE(buffer.bytes[31], 0x11) << "the last byte was written";
    EXPECT_TRUE(buffer.GuardsIntact());

    const std::vector<unsigned char> before = buffer.bytes;
    EXPECT_FALSE(w.write(record, 32 - w.width + 1));
    EXPECT_FALSE(w.write(record, 32));
    EXPECT_FALSE(w.write(record, kMax));
    if (w.width > 1) {
      EXPECT_FALSE(w.write(record, kMax - w.width + 2));  // offset + width wraps to 1
    }
    EXPECT_EQ(buffer.bytes, before) << "a refused write touched nothing, not even in range";
  }
}

TEST(HostRecord, StoresEveryWidthLittleEndianAtBothEnds) {
  GuardedBuffer buffer(24, 0);
  host::HostRecord record = buffer.record();
  const unsigned char* b = buffer.bytes.data();

  ASSERT_TRUE(record.WriteU32(0, 0x11223344));
  ASSERT_TRUE(record.WriteI32(20, -2));
  EXPECT_EQ(std::vector<unsigned char>(b, b + 4),
            (std::vector<unsigned char>{0x44, 0x33, 0x22, 0x11}));
  EXPECT_EQ(std::vector<unsigned char>(b + 20, b + 24),
            (std::vector<unsigned char>{0xFE, 0xFF, 0xFF, 0xFF}));

  ASSERT_TRUE(record.WriteU64(0, 0x0102030405060708ull));
  ASSERT_TRUE(record.WriteDouble(16, 1.0));
  EXPECT_EQ(std::vector<unsigned char>(b, b + 8),
            (std::vector<unsigned char>{8, 7, 6, 5, 4, 3, 2, 1}));
  EXPECT_EQ(std::vector<unsigned char>(b + 16, b + 24),
            (std::vector<unsigned char>{0, 0, 0, 0, 0, 0, 0xF0, 0x3F}));
  EXPECT_TRUE(buffer.GuardsIntact());
}

// Writes `value` at both ends of the record and reads it back; reads that
// reach past the end are refused and leave their output alone.
template <typename Stored, typename Read>
void ExpectRoundTripAndReadBounds(host::HostRecord& record,
                                  bool (host::HostRecord::*write)(std::size_t, Stored) noexcept,
                                  bool (host::ConstHostRecord::*read)(std::size_t, Read&) const noexcept,
                                  Stored value, Read expected) {
  const std::size_t width = sizeof(Read);
  for (const std::size_t at : {std::size_t{0}, record.size() - width}) {
    Read out{};
    EXPECT_TRUE((record.*write)(at, value)) << at;
    EXPECT_TRUE((record.*read)(at, out)) << at;
    EXPECT_EQ(out, expected) << at;
  }
  for (const std::size_t at : {record.size() - width + 1, record.size(), kMax, kMax - 2}) {
    Read kept = expected;
    EXPECT_FALSE((record.*read)(at, kept)) << at;
    EXPECT_EQ(kept, expected) << "a refused read leaves its output alone";
  }
}

TEST(HostRecord, EveryWidthRoundTripsAtBothEndsAndReadsRefusePastTheEnd) {
  GuardedBuffer buffer(40);
  host::HostRecord record = buffer.record();
  int object = 0;
  ExpectRoundTripAndReadBounds<std::uint8_t, std::uint8_t>(record, &host::HostRecord::WriteU8,
                                                           &host::ConstHostRecord::ReadU8, 0xC3, 0xC3);
  const std::int32_t i32 = std::numeric_limits<std::int32_t>::min();
  ExpectRoundTripAndReadBounds(record, &host::HostRecord::WriteI32, &host::ConstHostRecord::ReadI32, i32, i32);
  ExpectRoundTripAndReadBounds<std::uint32_t, std::uint32_t>(
      record, &host::HostRecord::WriteU32, &host::ConstHostRecord::ReadU32, 0xFFFFFFFE, 0xFFFFFFFE);
  ExpectRoundTripAndReadBounds<std::int64_t, std::int64_t>(
      record, &host::HostRecord::WriteI64, &host::ConstHostRecord::ReadI64, -1234567890123ll, -1234567890123ll);
  ExpectRoundTripAndReadBounds<std::uint64_t, std::uint64_t>(
      record, &host::HostRecord::WriteU64, &host::ConstHostRecord::ReadU64, 0x8000000000000001ull,
      0x8000000000000001ull);
  ExpectRoundTripAndReadBounds(record, &host::HostRecord::WriteDouble, &host::ConstHostRecord::ReadDouble,
                               3.4e35, 3.4e35);
  ExpectRoundTripAndReadBounds<const void*, void*>(record, &host::HostRecord::WritePointer,
                                                   &host::ConstHostRecord::ReadPointer, &object, &object);

  unsigned char out[5] = {};
  ASSERT_TRUE(record.WriteBytes(35, "\x01\x02\x03\x04\x05", 5));
  ASSERT_TRUE(record.ReadBytes(35, out, 5));
  EXPECT_EQ(std::memcmp(out, "\x01\x02\x03\x04\x05", 5), 0);
  std::string text = "kept";
  EXPECT_FALSE(record.ReadBytes(36, out, 5));
  EXPECT_FALSE(record.ReadBytes(1, out, kMax));
  EXPECT_FALSE(record.ReadText(kMax, 4, text));
  EXPECT_FALSE(record.ReadText(1, kMax, text));
  EXPECT_EQ(out[0], 1);
  EXPECT_EQ(text, "kept");
  EXPECT_TRUE(buffer.GuardsIntact());
}

TEST(HostRecord, ZeroWidthAccessAtTheEndIsAllowedButNotBeyond) {
  GuardedBuffer buffer(8);
  host::HostRecord record = buffer.record();
  EXPECT_TRUE(record.WriteBytes(8, nullptr, 0));
  EXPECT_TRUE(record.Fill(8, 0, 0));
  EXPECT_FALSE(record.WriteBytes(9, nullptr, 0));
  EXPECT_TRUE(record.Contains(0, 8));
  EXPECT_FALSE(record.Contains(kMax, 1));
  EXPECT_FALSE(record.Contains(1, kMax));
}

TEST(HostRecord, NullRecordRefusesEverything) {
  host::HostRecord record(nullptr, 264);
  EXPECT_TRUE(record.empty());
  EXPECT_FALSE(record.WriteU8(0, 1));
  EXPECT_FALSE(record.WriteText(0, 4, "x"));
  std::uint32_t value;
  EXPECT_FALSE(record.ReadU32(0, value));
}

struct TextCase {
  const char* name;
  std::string text;
  std::size_t field;
  host::TextFit fit;
  std::string expected;  // the field's bytes that are written
};

TEST(HostRecord, WriteTextCutsToTheFieldAtCharacterBoundaries) {
  const TextCase cases[] = {
      {"short", "ab", 4, host::TextFit::kTerminated, std::string("ab\0", 3)},
      {"cut", "abcdef", 4, host::TextFit::kTerminated, std::string("abc\0", 4)},
      {"exactly the field", "abcd", 4, host::TextFit::kTerminated, std::string("abc\0", 4)},
      {"fills the field", "abcd", 4, host::TextFit::kMayFill, "abcd"},
      {"longer fills the field", "abcdef", 4, host::TextFit::kMayFill, "abcd"},
      {"short is padded", "ab", 4, host::TextFit::kMayFill, std::string("ab\0\0", 4)},
      {"empty", "", 3, host::TextFit::kTerminated, std::string("\0", 1)},
      {"empty padded", "", 3, host::TextFit::kMayFill, std::string("\0\0\0", 3)},
      {"two-byte char at the cut", "a\xc3\xa9", 3, host::TextFit::kTerminated, std::string("a\0", 2)},
      {"two-byte char fits", "a\xc3\xa9", 4, host::TextFit::kTerminated, std::string("a\xc3\xa9\0", 4)},
      {"two-byte char fills", "a\xc3\xa9", 3, host::TextFit::kMayFill, "a\xc3\xa9"},
      {"two-byte char at the fill cut", "ab\xc3\xa9", 3, host::TextFit::kMayFill, std::string("ab\0", 3)},
      {"three-byte char", "\xe6\xb2\xb9\xe4\xba\x95", 5, host::TextFit::kTerminated,
       std::string("\xe6\xb2\xb9\0", 4)},
      {"four-byte char", "\xf0\x9d\x84\x9e", 4, host::TextFit::kTerminated, std::string("\0", 1)},
      {"stray byte counts as a character", "ab\xe9z", 4, host::TextFit::kTerminated,
       std::string("ab\xe9\0", 4)},
      {"embedded NUL ends the text", std::string("ab\0cd", 5), 8, host::TextFit::kMayFill,
       std::string("ab\0\0\0\0\0\0", 8)},
      {"one-byte field", "abc", 1, host::TextFit::kTerminated, std::string("\0", 1)},
  };
  for (const TextCase& c : cases) {
    SCOPED_TRACE(c.name);
    GuardedBuffer buffer(c.field + 2);
    host::HostRecord record = buffer.record();
    ASSERT_TRUE(record.WriteText(1, c.field, c.text, c.fit));
    EXPECT_EQ(buffer.bytes[0], 0x11);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer.bytes.data()) + 1, c.expected.size()),
              c.expected);
    for (std::size_t i = 1 + c.expected.size(); i < buffer.size; ++i) {
      EXPECT_EQ(buffer.bytes[i], 0x11) << "byte " << i << " past the text was left alone";
    }
    EXPECT_TRUE(buffer.GuardsIntact());
  }
}

TEST(HostRecord, WriteTextRefusesFieldsOutsideTheRecordOrEmpty) {
  GuardedBuffer buffer(8);
  host::HostRecord record = buffer.record();
  const std::vector<unsigned char> before = buffer.bytes;
  EXPECT_FALSE(record.WriteText(5, 4, "x"));
  EXPECT_FALSE(record.WriteText(5, 4, "x", host::TextFit::kMayFill));
  EXPECT_FALSE(record.WriteText(0, 0, ""));
  EXPECT_FALSE(record.WriteText(kMax, 2, "x"));
  EXPECT_EQ(buffer.bytes, before);
}

TEST(HostRecord, ReadTextStopsAtTheTerminatorOrTheFieldEnd) {
  unsigned char bytes[12];
  std::memcpy(bytes, "ab\0dEFGHijkl", 12);
  const host::ConstHostRecord record(bytes, 12);
  std::string text;
  ASSERT_TRUE(record.ReadText(0, 12, text));
  EXPECT_EQ(text, "ab");
  ASSERT_TRUE(record.ReadText(3, 4, text));
  EXPECT_EQ(text, "dEFG") << "an unterminated field is read to its end, no further";
  ASSERT_TRUE(record.ReadText(8, 4, text));
  EXPECT_EQ(text, "ijkl");
  ASSERT_TRUE(record.ReadText(12, 0, text));
  EXPECT_EQ(text, "");
  EXPECT_FALSE(record.ReadText(9, 4, text));
}

TEST(HostRecord, SliceAddressesAnEntryAndKeepsItsBounds) {
  GuardedBuffer buffer(40, 0);
  host::HostRecord record = buffer.record();
  host::HostRecord entry;
  ASSERT_TRUE(record.Slice(16, 8, entry));
  EXPECT_EQ(entry.size(), 8u);
  ASSERT_TRUE(entry.WriteU32(4, 0x01020304));
  EXPECT_EQ(buffer.bytes[20], 0x04);
  EXPECT_FALSE(entry.WriteU32(5, 1)) << "an entry's end is its own end";
  EXPECT_FALSE(record.Slice(36, 8, entry));
  EXPECT_FALSE(record.Slice(kMax, 2, entry));
  EXPECT_EQ(entry.size(), 8u) << "a refused slice leaves the output alone";

  host::ConstHostRecord view;
  const host::ConstHostRecord& constRecord = record;
  ASSERT_TRUE(constRecord.Slice(20, 4, view));
  std::uint32_t value = 0;
  ASSERT_TRUE(view.ReadU32(0, value));
  EXPECT_EQ(value, 0x01020304u);
  EXPECT_TRUE(buffer.GuardsIntact());
}

TEST(StatusRecord, ClearZeroesAllBytesAndNothingElse) {
  GuardedBuffer buffer(EXT_STATUS_RECORD_SIZE, 0x5A);
  host::StatusRecord status(reinterpret_cast<ExtStatusRecord*>(buffer.bytes.data()));
  status.Clear();
  for (std::size_t i = 0; i < EXT_STATUS_RECORD_SIZE; ++i)
    ASSERT_EQ(buffer.bytes[i], 0) << i;
  EXPECT_TRUE(buffer.GuardsIntact());
  EXPECT_EQ(status.Text(), "");
  EXPECT_FALSE(status.HasExpectedSize());
}

TEST(StatusRecord, SizeWordAndText) {
  ExtStatusRecord raw{};
  raw.size = 264;
  host::StatusRecord status(&raw);
  EXPECT_TRUE(status.valid());
  EXPECT_TRUE(status.HasExpectedSize());
  raw.size = 263;
  EXPECT_FALSE(status.HasExpectedSize());

  ASSERT_TRUE(status.SetText(std::string(400, 'x')));
  EXPECT_EQ(status.Text(), std::string(259, 'x'));
  EXPECT_EQ(raw.text[259], '\0');
  EXPECT_EQ(raw.size, 263u) << "the text never reaches the size word";

  std::memset(raw.text, 'y', sizeof raw.text);
  EXPECT_EQ(status.Text(), std::string(260, 'y')) << "an unterminated text stays in its field";
}

TEST(StatusRecord, NullRecordIsHarmless) {
  host::StatusRecord status(nullptr);
  EXPECT_FALSE(status.valid());
  EXPECT_FALSE(status.HasExpectedSize());
  status.Clear();
  EXPECT_FALSE(status.SetText("message"));
  EXPECT_EQ(status.Text(), "");
}

}  // namespace
