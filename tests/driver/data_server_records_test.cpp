// The data server's host records: the read result's codec over its record
// with guard bytes after it, and codes 96 to 98 from the host's bytes to the
// answer in both modes (which is where the records are decoded).
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "dataserver/data_server_fixture.h"
#include "driver/instances.h"
#include "driver/records/data_server_records.h"
#include "support/guarded_buffer.h"

namespace {

using test_support::GuardedBuffer;

// A code 96 record asking for `tag`, its result area 0x5C throughout.
GuardedBuffer ReadRecord(const char* tag, std::uint32_t size = EXT_DS_READ_RECORD_SIZE) {
  GuardedBuffer record(EXT_DS_READ_RECORD_SIZE, 0x5C);
  record.Put(0, size);
  record.Put(EXT_DS_READ_TAG_POINTER_OFFSET, tag);
  return record;
}

GuardedBuffer WriteRecord(const char* tag, const char* value) {
  GuardedBuffer record(EXT_DS_WRITE_RECORD_MIN_SIZE, 0);
  record.Put(EXT_DS_WRITE_TAG_POINTER_OFFSET, tag);
  record.Put(EXT_DS_WRITE_VALUE_POINTER_OFFSET, value);
  return record;
}

std::string Result(const GuardedBuffer& record) {
  return record.Text(EXT_DS_READ_RESULT_OFFSET);
}

TEST(DataServerRecordsTest, ReadResultIsZeroedThenCutAtACharacterBoundary) {
  // "a", then 170 times "|\xC3\xA9a": the 512th byte would be the first of a
  // two-byte character, so the cut comes before it, after 510 bytes.
  std::string joined = "a";
  for (int i = 0; i < 170; ++i)
    joined += "|\u00e9a";
  const std::string fits(EXT_DS_READ_RESULT_SIZE - 1, 'x');
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"", ""},
      {fits, fits},
      {fits + "y", fits},
      {joined, joined.substr(0, 510)},
  };
  for (const auto& [text, stored] : cases) {
    SCOPED_TRACE(text.size());
    GuardedBuffer record = ReadRecord("tag");
    const std::vector<unsigned char> before = record.bytes;
    host::HostRecord bytes = record.record();
    driver::EncodeTagReadResult(bytes, text);
    EXPECT_EQ(Result(record), stored);
    // After the text, the area holds zeros to its end; before it, the record
    // is as it was; after the record, the guards.
    for (std::size_t i = EXT_DS_READ_RESULT_OFFSET + stored.size(); i < EXT_DS_READ_RECORD_SIZE;
         ++i)
      ASSERT_EQ(record.bytes[i], 0) << i;
    EXPECT_TRUE(std::equal(before.begin(), before.begin() + EXT_DS_READ_RESULT_OFFSET,
                           record.bytes.begin()));
    EXPECT_TRUE(record.GuardsIntact());
  }
}

using dataserver_test::DataServerTest;
// A command's status and message.
using Outcome = std::pair<std::int32_t, std::string>;

class DataServerCodesTest : public DataServerTest {
 protected:
  ExtStatusRecord* Status() { return status_.Cleared(); }
  std::string StatusMessage() const { return status_.Message(); }
  void TearDown() override {
    EXPECT_TRUE(status_.GuardsIntact());
    DataServerTest::TearDown();
  }
  test_support::StatusBuffer status_;
};

// Nothing is read through a null pointer, and a read record of the right
// size has its result area cleared even then.
TEST_F(DataServerCodesTest, NullTagsAndValuesFailWithoutAMessage) {
  GuardedBuffer record = ReadRecord(nullptr);
  EXPECT_EQ(driver::GetDataServerValue(*model_, record.bytes.data(), Status()), 1);
  EXPECT_EQ(Result(record), "");
  EXPECT_EQ(record.bytes[EXT_DS_READ_RESULT_OFFSET + EXT_DS_READ_RESULT_SIZE - 1], 0);
  EXPECT_TRUE(record.GuardsIntact());
  GuardedBuffer missingValue = WriteRecord("Excel.NextEvent", nullptr);
  GuardedBuffer missingTag = WriteRecord(nullptr, "1");
  EXPECT_EQ(driver::SetDataServerValue(*model_, missingValue.bytes.data(), Status()), 1);
  EXPECT_EQ(driver::SetDataServerValue(*model_, missingTag.bytes.data(), Status()), 1);
  EXPECT_EQ(driver::ExecuteCommand(*model_, nullptr, Status()), 1);
  EXPECT_EQ(StatusMessage(), "");
  EXPECT_EQ(model_->nextEvent, EXT_UNDEFINED_VALUE);
}

// Codes 96 to 98 as the host sends them, in both modes: each answer, and
// nothing written past a record.
TEST_F(DataServerCodesTest, TheCodesReachTheDataServerInBothModes) {
  for (const driver::Mode mode : {driver::Mode::kDirect, driver::Mode::kThreaded}) {
    SCOPED_TRACE(mode == driver::Mode::kDirect ? "direct" : "threaded");
    ExtInstance handle = nullptr;
    ASSERT_EQ(driver::CreateInstance(mode, &handle, Status()), 0) << StatusMessage();
    const auto run = [&](std::int32_t code, void* record) {
      const std::int32_t status = driver::Command(handle, nullptr, code, record, 0, Status());
      return Outcome(status, StatusMessage());
    };
    const bool threaded = mode == driver::Mode::kThreaded;
    ASSERT_EQ(threaded ? driver::StartApp(handle, Status())
                       : run(EXT_CMD_OPEN_CASE_WORKBOOK, nullptr).first,
              0)
        << StatusMessage();

    GuardedBuffer write = WriteRecord("Excel.NextEvent", "2024-01-06");
    EXPECT_EQ(run(97, write.bytes.data()), Outcome(0, ""));
    EXPECT_TRUE(write.GuardsIntact());

    GuardedBuffer read = ReadRecord("Excel.NextEvent");
    EXPECT_EQ(run(96, read.bytes.data()), Outcome(0, ""));
    EXPECT_EQ(Result(read), "45297");
    EXPECT_TRUE(read.GuardsIntact());

    // A size word other than the record's is refused, the record left as it was.
    for (const std::uint32_t wrong :
         {EXT_DS_READ_RECORD_SIZE - 1, EXT_DS_READ_RECORD_SIZE + 1, 0}) {
      read.Put(0, wrong);
      const std::vector<unsigned char> before = read.bytes;
      EXPECT_EQ(run(96, read.bytes.data()), Outcome(1, driver::kDataServerNotCompatibleMessage));
      EXPECT_EQ(read.bytes, before) << wrong;
    }

    // What each command text does is the data server's tests'.
    GuardedBuffer command(32, 0);
    std::memcpy(command.bytes.data(), "Excel.Update()", 15);
    EXPECT_EQ(run(98, command.bytes.data()), Outcome(0, ""));
    EXPECT_TRUE(command.GuardsIntact());
    for (const std::int32_t code : {96, 97, 98})
      EXPECT_EQ(run(code, nullptr).first, 1) << code;

    // After ExtStopApp (threaded mode) the session is gone.
    if (threaded) {
      EXPECT_EQ(driver::StopApp(handle), 0);
      EXPECT_EQ(run(98, command.bytes.data()), Outcome(1, "There is no connection to Excel"));
    }
    EXPECT_EQ(driver::DestroyInstance(handle, nullptr), 0);
  }
}

}  // namespace
