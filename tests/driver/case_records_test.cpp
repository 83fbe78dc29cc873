// The case's file and date records between the host's bytes and the model:
// the file-name record (136), the file-description record (16), the date
// record (63) and the next-event record (62), each followed by guard bytes
// and sent through its command's edge, where only the named fields may
// change and a refused request leaves the record as it was.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "driver/case_commands.h"
#include "driver/case_records.h"
#include "gridmoor/host.h"
#include "model/model.h"
#include "support/guarded_buffer.h"
#include "support/temp_registry.h"

namespace {

namespace edge = driver::edge;
using test_support::GuardedBuffer;

constexpr unsigned char kHostByte = 0x33;

class CaseRecordsTest : public ::testing::Test {
 protected:
  // The edge's answer to `record` (null: no record).
  std::int32_t Run(std::int32_t (*command)(edge::M, edge::A), GuardedBuffer* record) {
    driver::CommandArgs args;
    args.arg = record != nullptr ? record->bytes.data() : nullptr;
    args.status = status_.status();
    return command(model_, args);
  }
  std::string Message() { return status_.status()->text; }

  test_support::ScopedEnv noApplication_{"GRIDMOOR_SPREADSHEET", "none"};
  model::CExcModel model_;
  GuardedBuffer status_{EXT_STATUS_RECORD_SIZE, 0};
};

TEST_F(CaseRecordsTest, TheFileNameIsTakenOnlyWhenItEndsInsideItsField) {
  constexpr char kCut[] =
      "The file name does not fit its field: more than 1023 bytes, so it was cut";
  const std::string longest(EXT_FILE_NAME_TEXT_SIZE - 1, 'n');
  struct Case {
    const char* label;
    std::optional<std::string> field;  // the field's bytes; none: no record
    std::int32_t result;
    std::string message;
    std::string fileName;  // the case's file name afterwards
  };
  const Case cases[] = {
      {"a path", std::string("/data/Case 1.xlsx\0tail", 22), 0, "", "/data/Case 1.xlsx"},
      {"the longest path", longest + '\0', 0, "", longest},
      {"a path the host cut", std::string(EXT_FILE_NAME_TEXT_SIZE, 'c'), 1, kCut, "/kept.xlsx"},
      {"no record", std::nullopt, 1, "No file name was given", "/kept.xlsx"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    model_.caseDetails.fileName = "/kept.xlsx";
    GuardedBuffer record(EXT_FILE_NAME_RECORD_MIN_SIZE, kHostByte);
    if (c.field)
      std::memcpy(record.chars() + EXT_FILE_NAME_TEXT_OFFSET, c.field->data(), c.field->size());
    const std::vector<unsigned char> sent = record.bytes;
    EXPECT_EQ(Run(edge::SetFileName, c.field ? &record : nullptr), c.result);
    EXPECT_EQ(Message(), c.message);
    EXPECT_EQ(model_.caseDetails.fileName, c.fileName);
    EXPECT_EQ(record.bytes, sent) << "the record is only read";
  }
}

TEST_F(CaseRecordsTest, AFileDescriptionFillsItsThreeFieldsAndLeavesTheRest) {
  const std::string longName = "/" + std::string(400, 'p');
  struct Case {
    std::string fileName;
    std::int32_t index;
    std::int32_t result;
    std::string path;  // what the path field holds up to its NUL
  };
  const Case cases[] = {
      {"/work/case.xlsx", 0, 0, "/work/case.xlsx"},
      {"/work/case.xlsx", -4, 0, "/work/case.xlsx"},
      {longName, 0, 0, longName.substr(0, EXT_FILE_DESCRIPTION_PATH_SIZE - 1)},  // cut to the field
      {"/work/case.xlsx", 1, -1, ""},
      {"", 0, -1, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.fileName.substr(0, 20) + " index " + std::to_string(c.index));
    model_.caseDetails.fileName = c.fileName;
    GuardedBuffer record(EXT_FILE_DESCRIPTION_RECORD_MIN_SIZE, kHostByte);
    ASSERT_TRUE(record.record().WriteI32(EXT_FILE_DESCRIPTION_INDEX_OFFSET, c.index));
    std::vector<unsigned char> expected = record.bytes;
    if (c.result == 0) {
      const std::string text = "Excel spreadsheet file";
      std::memcpy(expected.data() + EXT_FILE_DESCRIPTION_PATH_OFFSET, c.path.c_str(),
                  c.path.size() + 1);
      std::memcpy(expected.data() + EXT_FILE_DESCRIPTION_TEXT_OFFSET, text.c_str(),
                  text.size() + 1);
      expected[EXT_FILE_DESCRIPTION_PRESENT_OFFSET] = 1;
    }
    EXPECT_EQ(Run(edge::GetFileDescription, &record), c.result);
    EXPECT_EQ(record.bytes, expected);
    EXPECT_EQ(Message(), "");
  }
  EXPECT_EQ(Run(edge::GetFileDescription, nullptr), -1);
}

TEST_F(CaseRecordsTest, TheDateRecordsFourthDoubleIsTheDayBeforeTheRun) {
  GuardedBuffer record(EXT_DATE_RECORD_MIN_SIZE, kHostByte);
  const double dayBefore = 45296.25;
  std::memcpy(record.bytes.data() + EXT_DATE_RECORD_DATE_OFFSET, &dayBefore, sizeof dayBefore);
  const std::vector<unsigned char> sent = record.bytes;
  EXPECT_EQ(Run(edge::SetDate, &record), 0);
  EXPECT_DOUBLE_EQ(model_.runDate.days, 45297.25);
  EXPECT_EQ(model_.runDate.status, model::RunDate::kValid);
  EXPECT_EQ(record.bytes, sent);

  // No record: refused with a message, the run date as it was.
  EXPECT_EQ(Run(edge::SetDate, nullptr), 1);
  EXPECT_EQ(Message(), "No run date was given");
  EXPECT_DOUBLE_EQ(model_.runDate.days, 45297.25);
}

TEST_F(CaseRecordsTest, TheNextEventWritesItsFlagAndTimeOnlyWhenOneIsSet) {
  GuardedBuffer record(EXT_NEXT_EVENT_RECORD_MIN_SIZE, kHostByte);
  const std::vector<unsigned char> sent = record.bytes;
  model_.nextEvent = EXT_UNDEFINED_VALUE;
  EXPECT_EQ(Run(edge::GetNextEvent, &record), 1);
  EXPECT_EQ(record.bytes, sent);

  model_.nextEvent = -0.5;  // any number below the undefined threshold
  std::vector<unsigned char> expected = sent;
  expected[EXT_NEXT_EVENT_FLAG_OFFSET] = 1;
  std::memcpy(expected.data() + EXT_NEXT_EVENT_TIME_OFFSET, &model_.nextEvent, sizeof(double));
  EXPECT_EQ(Run(edge::GetNextEvent, &record), 0);
  EXPECT_EQ(record.bytes, expected);
  EXPECT_EQ(Run(edge::GetNextEvent, nullptr), 1);

  // A record too short for the time fails; the bytes past it stay.
  GuardedBuffer shortRecord(EXT_NEXT_EVENT_TIME_OFFSET + 4, kHostByte);
  EXPECT_FALSE(driver::EncodeNextEvent(1.0, shortRecord.record()));
  EXPECT_TRUE(shortRecord.GuardsIntact());
  EXPECT_EQ(shortRecord.bytes[EXT_NEXT_EVENT_TIME_OFFSET], kHostByte);
  EXPECT_EQ(Message(), "");
}

}  // namespace
