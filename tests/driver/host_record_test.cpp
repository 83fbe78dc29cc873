#include "driver/host_record.h"
#include "support/guarded_buffer.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <functional>
#include <limits>
#include <string>
#include <vector>

namespace {

using driver::ConstHostRecord;
using driver::HostRecord;
using driver::StatusRecord;
using driver::TextFit;

constexpr std::size_t kMax = std::numeric_limits<std::size_t>::max();
using test_support::GuardedBuffer;
using test_support::kGuard;

// One writer per width, so that every case runs for each.
struct Writer {
  const char* name;
  std::size_t width;
  std::function<bool(HostRecord&, std::size_t)> write;
};

std::vector<Writer> AllWriters() {
  static int target = 0;
  return {
      {"u8", 1, [](HostRecord& r, std::size_t at) { return r.WriteU8(at, 0xEE); }},
      {"i32", 4, [](HostRecord& r, std::size_t at) { return r.WriteI32(at, -2); }},
      {"u32", 4, [](HostRecord& r, std::size_t at) { return r.WriteU32(at, 0xDEADBEEF); }},
      {"i64", 8, [](HostRecord& r, std::size_t at) { return r.WriteI64(at, -3); }},
      {"u64", 8, [](HostRecord& r, std::size_t at) { return r.WriteU64(at, ~0ull); }},
      {"double", 8, [](HostRecord& r, std::size_t at) { return r.WriteDouble(at, -1.25); }},
      {"pointer", 8, [](HostRecord& r, std::size_t at) { return r.WritePointer(at, &target); }},
      {"bytes", 5,
       [](HostRecord& r, std::size_t at) { return r.WriteBytes(at, "\xEE\xEE\xEE\xEE\xEE", 5); }},
      {"fill", 6, [](HostRecord& r, std::size_t at) { return r.Fill(at, 6, 0xEE); }},
      {"text", 7, [](HostRecord& r, std::size_t at) { return r.WriteText(at, 7, "abcdefghij"); }},
      {"filled text", 7,
       [](HostRecord& r, std::size_t at) {
         return r.WriteText(at, 7, "abcdefghij", TextFit::kMayFill);
       }},
  };
}

TEST(HostRecord, WritesUpToTheLastByteAndRefusesOneBytePastIt) {
  for (const Writer& w : AllWriters()) {
    SCOPED_TRACE(w.name);
    GuardedBuffer buffer(32);
    HostRecord record = buffer.record();

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

TEST(HostRecord, ReadsRefusePastTheEndAndLeaveTheOutputAlone) {
  GuardedBuffer buffer(16);
  const ConstHostRecord record(buffer.bytes.data(), 16);
  std::uint8_t u8 = 7;
  std::int32_t i32 = 7;
  std::uint32_t u32 = 7;
  std::int64_t i64 = 7;
  std::uint64_t u64 = 7;
  double d = 7;
  void* p = &d;
  unsigned char bytes[4] = {7, 7, 7, 7};
  std::string text = "kept";
  for (std::size_t at : {std::size_t{16}, kMax, kMax - 2}) {
    EXPECT_FALSE(record.ReadU8(at, u8));
    EXPECT_FALSE(record.ReadI32(at, i32));
    EXPECT_FALSE(record.ReadU32(at, u32));
    EXPECT_FALSE(record.ReadI64(at, i64));
    EXPECT_FALSE(record.ReadU64(at, u64));
    EXPECT_FALSE(record.ReadDouble(at, d));
    EXPECT_FALSE(record.ReadPointer(at, p));
    EXPECT_FALSE(record.ReadBytes(at, bytes, 4));
    EXPECT_FALSE(record.ReadText(at, 4, text));
  }
  EXPECT_FALSE(record.ReadU32(13, u32));
  EXPECT_FALSE(record.ReadU64(9, u64));
  EXPECT_FALSE(record.ReadBytes(1, bytes, kMax));
  EXPECT_FALSE(record.ReadText(1, kMax, text));
  EXPECT_EQ(u8, 7);
  EXPECT_EQ(i32, 7);
  EXPECT_EQ(u32, 7u);
  EXPECT_EQ(i64, 7);
  EXPECT_EQ(u64, 7u);
  EXPECT_EQ(d, 7);
  EXPECT_EQ(p, &d);
  EXPECT_EQ(bytes[0], 7);
  EXPECT_EQ(text, "kept");
}

TEST(HostRecord, StoresEveryWidthLittleEndianAtBothEnds) {
  GuardedBuffer buffer(24, 0);
  HostRecord record = buffer.record();
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

TEST(HostRecord, EveryWidthRoundTripsAtBothEnds) {
  GuardedBuffer buffer(40);
  HostRecord record = buffer.record();
  int object = 0;
  for (std::size_t end : {std::size_t{0}, std::size_t{1}}) {
    SCOPED_TRACE(end == 0 ? "first bytes" : "last bytes");
    auto at = [&](std::size_t width) { return end == 0 ? 0 : 40 - width; };

    std::uint8_t u8 = 0;
    ASSERT_TRUE(record.WriteU8(at(1), 0xC3));
    ASSERT_TRUE(record.ReadU8(at(1), u8));
    EXPECT_EQ(u8, 0xC3);

    std::int32_t i32 = 0;
    ASSERT_TRUE(record.WriteI32(at(4), std::numeric_limits<std::int32_t>::min()));
    ASSERT_TRUE(record.ReadI32(at(4), i32));
    EXPECT_EQ(i32, std::numeric_limits<std::int32_t>::min());

    std::uint32_t u32 = 0;
    ASSERT_TRUE(record.WriteU32(at(4), 0xFFFFFFFE));
    ASSERT_TRUE(record.ReadU32(at(4), u32));
    EXPECT_EQ(u32, 0xFFFFFFFEu);

    std::int64_t i64 = 0;
    ASSERT_TRUE(record.WriteI64(at(8), -1234567890123ll));
    ASSERT_TRUE(record.ReadI64(at(8), i64));
    EXPECT_EQ(i64, -1234567890123ll);

    std::uint64_t u64 = 0;
    ASSERT_TRUE(record.WriteU64(at(8), 0x8000000000000001ull));
    ASSERT_TRUE(record.ReadU64(at(8), u64));
    EXPECT_EQ(u64, 0x8000000000000001ull);

    double d = 0;
    ASSERT_TRUE(record.WriteDouble(at(8), 3.4e35));
    ASSERT_TRUE(record.ReadDouble(at(8), d));
    EXPECT_EQ(d, 3.4e35);

    void* p = nullptr;
    ASSERT_TRUE(record.WritePointer(at(8), &object));
    ASSERT_TRUE(record.ReadPointer(at(8), p));
    EXPECT_EQ(p, &object);

    unsigned char out[5] = {};
    ASSERT_TRUE(record.WriteBytes(at(5), "\x01\x02\x03\x04\x05", 5));
    ASSERT_TRUE(record.ReadBytes(at(5), out, 5));
    EXPECT_EQ(std::memcmp(out, "\x01\x02\x03\x04\x05", 5), 0);
  }
  EXPECT_TRUE(buffer.GuardsIntact());
}

TEST(HostRecord, ZeroWidthAccessAtTheEndIsAllowedButNotBeyond) {
  GuardedBuffer buffer(8);
  HostRecord record = buffer.record();
  EXPECT_TRUE(record.WriteBytes(8, nullptr, 0));
  EXPECT_TRUE(record.Fill(8, 0, 0));
  EXPECT_FALSE(record.WriteBytes(9, nullptr, 0));
  EXPECT_TRUE(record.Contains(0, 8));
  EXPECT_FALSE(record.Contains(kMax, 1));
  EXPECT_FALSE(record.Contains(1, kMax));
}

TEST(HostRecord, NullRecordRefusesEverything) {
  HostRecord record(nullptr, 264);
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
  TextFit fit;
  std::string expected;  // the field's bytes that are written
};

TEST(HostRecord, WriteTextCutsToTheFieldAtCharacterBoundaries) {
  const TextCase cases[] = {
      {"short", "ab", 4, TextFit::kTerminated, std::string("ab\0", 3)},
      {"cut", "abcdef", 4, TextFit::kTerminated, std::string("abc\0", 4)},
      {"exactly the field", "abcd", 4, TextFit::kTerminated, std::string("abc\0", 4)},
      {"fills the field", "abcd", 4, TextFit::kMayFill, "abcd"},
      {"longer fills the field", "abcdef", 4, TextFit::kMayFill, "abcd"},
      {"short is padded", "ab", 4, TextFit::kMayFill, std::string("ab\0\0", 4)},
      {"empty", "", 3, TextFit::kTerminated, std::string("\0", 1)},
      {"empty padded", "", 3, TextFit::kMayFill, std::string("\0\0\0", 3)},
      {"two-byte char at the cut", "a\xc3\xa9", 3, TextFit::kTerminated, std::string("a\0", 2)},
      {"two-byte char fits", "a\xc3\xa9", 4, TextFit::kTerminated, std::string("a\xc3\xa9\0", 4)},
      {"two-byte char fills", "a\xc3\xa9", 3, TextFit::kMayFill, "a\xc3\xa9"},
      {"two-byte char at the fill cut", "ab\xc3\xa9", 3, TextFit::kMayFill, std::string("ab\0", 3)},
      {"three-byte char", "\xe6\xb2\xb9\xe4\xba\x95", 5, TextFit::kTerminated,
       std::string("\xe6\xb2\xb9\0", 4)},
      {"four-byte char", "\xf0\x9d\x84\x9e", 4, TextFit::kTerminated, std::string("\0", 1)},
      {"stray byte counts as a character", "ab\xe9z", 4, TextFit::kTerminated,
       std::string("ab\xe9\0", 4)},
      {"embedded NUL ends the text", std::string("ab\0cd", 5), 8, TextFit::kMayFill,
       std::string("ab\0\0\0\0\0\0", 8)},
      {"one-byte field", "abc", 1, TextFit::kTerminated, std::string("\0", 1)},
  };
  for (const TextCase& c : cases) {
    SCOPED_TRACE(c.name);
    GuardedBuffer buffer(c.field + 2);
    HostRecord record = buffer.record();
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
  HostRecord record = buffer.record();
  const std::vector<unsigned char> before = buffer.bytes;
  EXPECT_FALSE(record.WriteText(5, 4, "x"));
  EXPECT_FALSE(record.WriteText(5, 4, "x", TextFit::kMayFill));
  EXPECT_FALSE(record.WriteText(0, 0, ""));
  EXPECT_FALSE(record.WriteText(kMax, 2, "x"));
  EXPECT_EQ(buffer.bytes, before);
}

TEST(HostRecord, ReadTextStopsAtTheTerminatorOrTheFieldEnd) {
  unsigned char bytes[12];
  std::memcpy(bytes, "ab\0dEFGHijkl", 12);
  const ConstHostRecord record(bytes, 12);
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
  HostRecord record = buffer.record();
  HostRecord entry;
  ASSERT_TRUE(record.Slice(16, 8, entry));
  EXPECT_EQ(entry.size(), 8u);
  ASSERT_TRUE(entry.WriteU32(4, 0x01020304));
  EXPECT_EQ(buffer.bytes[20], 0x04);
  EXPECT_FALSE(entry.WriteU32(5, 1)) << "an entry's end is its own end";
  EXPECT_FALSE(record.Slice(36, 8, entry));
  EXPECT_FALSE(record.Slice(kMax, 2, entry));
  EXPECT_EQ(entry.size(), 8u) << "a refused slice leaves the output alone";

  ConstHostRecord view;
  const ConstHostRecord& constRecord = record;
  ASSERT_TRUE(constRecord.Slice(20, 4, view));
  std::uint32_t value = 0;
  ASSERT_TRUE(view.ReadU32(0, value));
  EXPECT_EQ(value, 0x01020304u);
  EXPECT_TRUE(buffer.GuardsIntact());
}

TEST(StatusRecord, ClearZeroesAllBytesAndNothingElse) {
  GuardedBuffer buffer(EXT_STATUS_RECORD_SIZE, 0x5A);
  StatusRecord status(reinterpret_cast<ExtStatusRecord*>(buffer.bytes.data()));
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
  StatusRecord status(&raw);
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
  StatusRecord status(nullptr);
  EXPECT_FALSE(status.valid());
  EXPECT_FALSE(status.HasExpectedSize());
  status.Clear();
  EXPECT_FALSE(status.SetText("message"));
  EXPECT_EQ(status.Text(), "");
}

}  // namespace
