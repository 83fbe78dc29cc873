// The case's records through their commands' edge, each followed by guard
// bytes: only the named fields change, and a refused request leaves the
// record as it was. The date and next-event records are the model's events
// tests'.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <optional>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "driver/commands/case_commands.h"
#include "driver/commands/workbook_commands.h"
#include "driver/records/case_records.h"
#include "gridmoor/host.h"
#include "model/model.h"
#include "support/guarded_buffer.h"
#include "support/temp_folder.h"
#include "support/temp_registry.h"

namespace {

namespace edge = driver::edge;
using test_support::GuardedBuffer;

constexpr unsigned char kHostByte = 0x33;
using Command = std::int32_t (*)(edge::M, edge::A);

// The bytes a store gave, whether or not it ran out of room: the tests
// that take them check the failure through the command's answer instead.
std::vector<std::uint8_t> BytesOf(const outcome::Partial<std::vector<std::uint8_t>>& stored) {
  stored.error.Consume();
  return stored.value;
}

// A command's answer and status text.
using Outcome = std::pair<std::int32_t, std::string>;

class CaseRecordsTest : public ::testing::Test {
 protected:
  // The edge's answer to `record` (null: no record) and `iarg`, on `model`
  // (null: the fixture's).
  Outcome Run(Command command, GuardedBuffer* record, std::int32_t iarg = 0,
              model::CExcModel* model = nullptr) {
    const std::int32_t result = command(
        model != nullptr ? *model : model_,
        {nullptr, record != nullptr ? record->bytes.data() : nullptr, iarg, status_.Cleared()});
    return {result, status_.Message()};
  }

  test_support::ScopedEnv noApplication_{"GRIDMOOR_SPREADSHEET", "none"};
  test_support::ScopedEnv interactive_{"LSB_JOBID", std::nullopt};
  model::CExcModel model_;
  test_support::StatusBuffer status_;
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
    EXPECT_EQ(Run(edge::SetFileName, c.field ? &record : nullptr), Outcome(c.result, c.message));
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
    EXPECT_EQ(Run(edge::GetFileDescription, &record), Outcome(c.result, ""));
    EXPECT_EQ(record.bytes, expected);
  }
  EXPECT_EQ(Run(edge::GetFileDescription, nullptr).first, -1);
}

TEST_F(CaseRecordsTest, ACaseDataRecordIsReadUpToItsSizeWithItsModelPathAndFlag) {
  model_.caseDetails.fileName = "/cases/stored.xlsx";
  const std::vector<std::uint8_t> archive =
      BytesOf(model_.WriteCaseData(EXT_CASE_DATA_RECORD_SIZE));
  const std::string modelPath = "/models/field.cfx";
  struct Case {
    const char* label;
    std::optional<std::uint32_t> size;  // none: no record
    const char* modelPath;
    std::uint32_t flag;
    std::int32_t result;
    const char* message;
  };
  const Case cases[] = {
      {"the archive", static_cast<std::uint32_t>(archive.size()), modelPath.c_str(), 7, 0, ""},
      {"the whole room", EXT_CASE_DATA_ARCHIVE_CAPACITY, nullptr, 0, 0, ""},
      {"a size past the room", EXT_CASE_DATA_ARCHIVE_CAPACITY + 1, nullptr, 0, 1,
       casedata::kReadCaseFailed},
      {"no record", std::nullopt, nullptr, 0, 1, casedata::kReadCaseFailed},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    GuardedBuffer record(EXT_CASE_DATA_RECORD_SIZE, 0);
    host::HostRecord bytes = record.record();
    ASSERT_TRUE(bytes.WriteBytes(EXT_CASE_DATA_ARCHIVE_OFFSET, archive.data(), archive.size()));
    ASSERT_TRUE(bytes.WriteU32(EXT_CASE_DATA_ARCHIVE_SIZE_OFFSET, c.size.value_or(0)));
    ASSERT_TRUE(bytes.WritePointer(EXT_CASE_DATA_MODEL_PATH_OFFSET, c.modelPath));
    ASSERT_TRUE(bytes.WriteU32(EXT_CASE_DATA_NO_RELOCATION_OFFSET, c.flag));
    const std::vector<unsigned char> sent = record.bytes;
    model_.caseDetails.fileName.clear();
    EXPECT_EQ(Run(edge::ReadCaseData, c.size ? &record : nullptr), Outcome(c.result, c.message));
    EXPECT_EQ(record.bytes, sent) << "the record is only read";
    if (c.result != 0) continue;
    EXPECT_EQ(model_.caseDetails.fileName, "/cases/stored.xlsx");
    const outcome::Expected<casedata::StoredCase> stored =
        driver::DecodeStoredCase(record.record());
    ASSERT_TRUE(stored);
    EXPECT_EQ(stored->archive.size(), *c.size);
    EXPECT_TRUE(std::equal(archive.begin(), archive.end(), stored->archive.begin()));
    EXPECT_EQ(std::tuple(stored->modelPath, stored->noRelocation),
              std::tuple(c.modelPath ? c.modelPath : "", c.flag != 0));
  }
}

// What a store gave reaches the host's buffer from its start, also when it
// ran out of room; the bytes past it keep the host's.
TEST_F(CaseRecordsTest, AStoreFillsTheBufferFromItsStartAlsoWhenItRunsOutOfRoom) {
  test_support::TempFolder folder;
  const std::string dataFile = folder.File("model.dat");
  std::ofstream(dataFile) << "old";
  model_.SetModelDataFile(dataFile.c_str(), false);
  constexpr char kCaseFull[] = "Failed to write all case data - buffer overflow";
  constexpr char kModelFull[] = "Failed to write all model data - buffer overflow";
  const auto caseSize =
      static_cast<std::uint16_t>(BytesOf(model_.WriteCaseData(EXT_CASE_DATA_RECORD_SIZE)).size());
  struct Case {
    Command command;
    std::uint16_t room;                 // (small, so that the compiler sees no wrapped buffer size)
    std::optional<std::size_t> stored;  // the bytes the store gives; none: some
    std::int32_t result;
    const char* message;
  };
  const Case cases[] = {
      {edge::WriteCaseData, static_cast<std::uint16_t>(caseSize + 5), caseSize, 0, ""},
      {edge::WriteCaseData, static_cast<std::uint16_t>(caseSize - 1), std::nullopt, 1, kCaseFull},
      {edge::WriteCaseData, 0, 0, 1, kCaseFull},
      {edge::WriteModelData, 10, 10, 0, ""},
      {edge::WriteModelData, 9, 8, 1, kModelFull},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.room) + (c.command == edge::WriteCaseData ? " case" : " model"));
    const bool isCase = c.command == edge::WriteCaseData;
    const std::vector<std::uint8_t> given =
        BytesOf(isCase ? model_.WriteCaseData(c.room) : model_.WriteModelData(c.room));
    EXPECT_EQ(given.size(), c.stored.value_or(given.size()));
    GuardedBuffer buffer(c.room, kHostByte);
    std::vector<unsigned char> expected = buffer.bytes;
    std::copy(given.begin(), given.end(), expected.begin());
    EXPECT_EQ(Run(c.command, &buffer, static_cast<std::int32_t>(c.room)),
              Outcome(c.result, c.message));
    EXPECT_EQ(buffer.bytes, expected);
  }
  // No buffer has no room, whatever the host says.
  EXPECT_EQ(Run(edge::WriteCaseData, nullptr, 1000), Outcome(1, kCaseFull));
  EXPECT_EQ(Run(edge::WriteModelData, nullptr, 10), Outcome(1, kModelFull));

  // A model data file that cannot be read is the model's concern only.
  std::ofstream(dataFile) << "not a model data file";
  model_.caseVersion = 40;
  EXPECT_EQ(Run(edge::ReadModelData, nullptr), Outcome(0, ""));
  EXPECT_TRUE(model_.ReadModelData()) << "the model knows why";
}

TEST_F(CaseRecordsTest, TheFileLabelIsCutToTheHostsLength) {
  // The file name, the host's length and the bytes written; the rest keep 'x'.
  const std::tuple<std::string, std::int32_t, std::vector<char>> labels[] = {
      {"", 3, {'<', 'N', 'o'}},  // cut as the record helper cuts: no terminator
      {"/w/a.xlsx", 10, {'/', 'w', '/', 'a', '.', 'x', 'l', 's', 'x', 0}},
      {"/w/a.xlsx", -5, {}},
  };
  for (const auto& [fileName, length, label] : labels) {
    SCOPED_TRACE(fileName + " length " + std::to_string(length));
    model_.caseDetails.fileName = fileName;
    GuardedBuffer buffer(std::max(length, 0) + 4, 'x');
    auto expected = buffer.bytes;
    std::copy(label.begin(), label.end(), expected.begin());
    EXPECT_EQ(Run(edge::GetFileLabel, &buffer, length).first, 0);
    EXPECT_EQ(buffer.bytes, expected);
  }
  EXPECT_EQ(Run(edge::GetFileLabel, nullptr, 10).first, 0);
}

}  // namespace
