#include "host/message.h"
#include "support/guarded_buffer.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

using host::FormatString;
using host::HostRecord;
using host::PrintMessage;
using host::StatusRecord;
using host::WriteStatus;

using test_support::kGuard;
using Field = test_support::GuardedBuffer;

TEST(FormatString, FormatsTextsOfAnyLength) {
  EXPECT_EQ(host::FormatString("Out-%d", 3), "Out-3");
  EXPECT_EQ(host::FormatString("%s", ""), "");
  for (std::size_t length : {511u, 512u, 513u, 5000u}) {
    const std::string long_text(length, 'q');
    EXPECT_EQ(host::FormatString("<%s>", long_text.c_str()), "<" + long_text + ">") << length;
  }
}

TEST(PrintMessage, CutsALongMessageTo259CharactersAndTheTerminator) {
  Field field(260, kGuard);
  const std::string message(300, 'm');
  EXPECT_EQ(host::PrintMessage(field.chars(), 260, "%s", message.c_str()), 259);
  EXPECT_EQ(field.Text(), std::string(259, 'm'));
  EXPECT_EQ(field.bytes[259], 0);
  EXPECT_TRUE(field.GuardsIntact());
}

TEST(PrintMessage, CutsBeforeAMultiByteCharacterThatWouldNotFit) {
  struct Case {
    const char* name;
    const char* character;
  } cases[] = {{"two bytes", "\xc3\xa9"},
               {"three bytes", "\xe6\xb2\xb9"},
               {"four bytes", "\xf0\x9d\x84\x9e"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Field field(260, kGuard);
    const std::string head(258, 'a');  // the character starts at byte 258 of 259
    EXPECT_EQ(host::PrintMessage(field.chars(), 260, "%s%s", head.c_str(), c.character), 258);
    EXPECT_EQ(field.Text(), head);
    EXPECT_EQ(field.bytes[259], kGuard) << "bytes after the terminator are untouched";
    EXPECT_TRUE(field.GuardsIntact());
  }
  Field fits(260, kGuard);
  const std::string head(257, 'a');
  EXPECT_EQ(host::PrintMessage(fits.chars(), 260, "%s\xc3\xa9", head.c_str()), 259);
  EXPECT_EQ(fits.Text(), head + "\xc3\xa9");
}

TEST(PrintMessage, EmptyArgumentGivesAnEmptyTerminatedText) {
  Field field(16, kGuard);
  EXPECT_EQ(host::PrintMessage(field.chars(), 16, "%s", ""), 0);
  EXPECT_EQ(field.bytes[0], 0);
  EXPECT_EQ(field.bytes[1], kGuard);
}

TEST(PrintMessage, FormatsArgumentsAsPrintfDoes) {
  Field field(64, kGuard);
  EXPECT_EQ(host::PrintMessage(field.chars(), 64, "An error occurred (%s)\n%d %g", "boom", -4, 0.5), 31);
  EXPECT_EQ(field.Text(), "An error occurred (boom)\n-4 0.5");
}

TEST(PrintMessage, TinyOrMissingFields) {
  Field one(1, kGuard);
  EXPECT_EQ(host::PrintMessage(one.chars(), 1, "abc"), 0);
  EXPECT_EQ(one.bytes[0], 0);
  EXPECT_TRUE(one.GuardsIntact());

  Field none(0, kGuard);
  EXPECT_EQ(host::PrintMessage(none.chars(), 0, "abc"), -1);
  EXPECT_TRUE(none.GuardsIntact());
  EXPECT_EQ(host::PrintMessage(static_cast<char*>(nullptr), 8, "abc"), -1);
}

TEST(PrintMessage, ReportsTheBytesKeptWhenTheTextHoldsANul) {
  Field field(16, kGuard);
  EXPECT_EQ(host::PrintMessage(field.chars(), 16, "ab%cde", 0), 2);
  EXPECT_EQ(field.Text(), "ab");
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
  EXPECT_EQ(bytes[EXT_STATUS_RECORD_SIZE - 1], 0);
  EXPECT_EQ(raw->size, static_cast<std::uint32_t>(EXT_STATUS_RECORD_SIZE));
  for (std::size_t i = EXT_STATUS_RECORD_SIZE; i < bytes.size(); ++i)
    ASSERT_EQ(bytes[i], kGuard);

  EXPECT_EQ(host::WriteStatus(status, "There is no connection to Excel"), 31);
  EXPECT_EQ(status.Text(), "There is no connection to Excel");
}

TEST(WriteStatus, NullStatusIsRefused) {
  host::StatusRecord status(nullptr);
  EXPECT_EQ(host::WriteStatus(status, "%s", "anything"), -1);
}

}  // namespace
