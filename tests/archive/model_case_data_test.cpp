// The model's case-data and model-data operations with the host's records:
// placement, results and messages, what a failed read leaves, and where the
// workbook is looked for after a read.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "archive/archive_helpers.h"
#include "archive/byte_builder.h"
#include "archive/case_checks.h"
#include "archive/case_record.h"
#include "archive/relocation.h"
#include "archive/sample_case.h"
#include "model/model.h"
#include "support/application_registration.h"
#include "support/guarded_buffer.h"
#include "support/temp_folder.h"
#include "support/temp_registry.h"

namespace {

using archive_test::ByteBuilder;
using archive_test::StoreCase;
using test_support::GuardedBuffer;

constexpr char kReadFailed[] = "Failed to read all case data - buffer overflow";
constexpr char kWriteFailed[] = "Failed to write all case data - buffer overflow";
constexpr char kTooNew[] = "Unable to read case data - version too new";
constexpr char kModelDataFailed[] = "Failed to write all model data - buffer overflow";

archive::CaseView CaseOf(model::CExcModel& m) {
  return {m.caseDetails, m.objective,          m.constraints, m.controls,
          m.intControls, m.publishedVariables, m.caseVersion};
}

// The host's case-data record: the archive at byte 4, its size, the model
// path and the no-relocation flag.
struct CaseRecord {
  explicit CaseRecord(const std::vector<std::uint8_t>& archiveBytes,
                      const char* modelPath = nullptr, std::uint32_t noRelocation = 0)
      : buffer(EXT_CASE_DATA_RECORD_SIZE, 0) {
    host::HostRecord record = buffer.record();
    EXPECT_TRUE(
        record.WriteBytes(EXT_CASE_DATA_ARCHIVE_OFFSET, archiveBytes.data(), archiveBytes.size()));
    SetSize(static_cast<std::uint32_t>(archiveBytes.size()));
    EXPECT_TRUE(record.WritePointer(EXT_CASE_DATA_MODEL_PATH_OFFSET, modelPath));
    EXPECT_TRUE(record.WriteU32(EXT_CASE_DATA_NO_RELOCATION_OFFSET, noRelocation));
  }
  void SetSize(std::uint32_t size) {
    host::HostRecord record = buffer.record();
    EXPECT_TRUE(record.WriteU32(EXT_CASE_DATA_ARCHIVE_SIZE_OFFSET, size));
  }
  void* data() { return buffer.bytes.data(); }

  GuardedBuffer buffer;
};

class ModelCaseData : public testing::Test {
 protected:
  ExtStatusRecord* Status() { return reinterpret_cast<ExtStatusRecord*>(status_.bytes.data()); }
  std::string Message() const {
    return reinterpret_cast<const char*>(status_.bytes.data()) + EXT_STATUS_TEXT_OFFSET;
  }

  test_support::ScopedEnv noApplication_{"GRIDMOOR_SPREADSHEET", "none"};
  test_support::ScopedEnv interactive_{"LSB_JOBID", std::nullopt};
  GuardedBuffer status_{EXT_STATUS_RECORD_SIZE, 0};
  model::CExcModel model_;
};

TEST_F(ModelCaseData, WhatIsWrittenIsReadBackFromTheHostRecord) {
  archive_test::FillSampleCase(CaseOf(model_), 3);
  model_.caseDetails.plugIns = "/addins/one.xlam";
  GuardedBuffer written(EXT_CASE_DATA_ARCHIVE_CAPACITY, 0);
  ASSERT_EQ(model_.WriteCaseData(written.bytes.data(), EXT_CASE_DATA_ARCHIVE_CAPACITY, Status()),
            0);
  EXPECT_TRUE(written.GuardsIntact());

  // The host hands back its whole buffer: the bytes after the case are
  // not read.
  CaseRecord record(std::vector<std::uint8_t>(
      written.bytes.begin(), written.bytes.begin() + EXT_CASE_DATA_ARCHIVE_CAPACITY));
  model::CExcModel restored;
  ASSERT_EQ(restored.ReadCaseData(record.data(), Status()), 0) << Message();
  EXPECT_EQ(restored.caseVersion, 40);
  archive_test::ExpectSameCase(CaseOf(model_), CaseOf(restored));
  EXPECT_EQ(restored.caseDetails.plugIns, "") << "plug-ins are not part of the case";
  EXPECT_TRUE(record.buffer.GuardsIntact());
}

TEST_F(ModelCaseData, ABufferTooSmallFailsWithTheOverflowMessage) {
  archive_test::FillSampleCase(CaseOf(model_));
  for (const std::uint32_t capacity : {0u, 8u, 500u}) {
    GuardedBuffer buffer(capacity, 0);
    EXPECT_EQ(model_.WriteCaseData(buffer.bytes.data(), capacity, Status()), 1);
    EXPECT_EQ(Message(), kWriteFailed);
    EXPECT_TRUE(buffer.GuardsIntact()) << capacity;
  }
  EXPECT_EQ(model_.WriteCaseData(nullptr, 1000, Status()), 1);
  EXPECT_EQ(Message(), kWriteFailed);
}

TEST_F(ModelCaseData, RefusedArchivesGiveTheirMessagesAndReadNothingPastTheVersion) {
  archive::CaseContent sample;
  archive_test::FillSampleCase(sample.View());
  struct Case {
    const char* what;
    std::vector<std::uint8_t> bytes;
    const char* message;
    std::int32_t caseVersion;
    std::optional<std::uint32_t> size =
        std::nullopt;  // the record's size field, when not the bytes'
  };
  const std::vector<Case> cases = {
      {"version 41", ByteBuilder().Signature().U32(41).Text("x.xlsx").bytes(), kTooNew, 41},
      {"no signature", ByteBuilder().U32(1).U32(2).U32(40).bytes(), kReadFailed, 0},
      {"empty", {}, kReadFailed, 0},
      {"cut after the version", ByteBuilder().Signature().U32(40).U32(9).bytes(), kReadFailed, 40},
      {"a size beyond the record", StoreCase(sample), kReadFailed, 0,
       EXT_CASE_DATA_ARCHIVE_CAPACITY + 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    model::CExcModel fresh;
    CaseRecord record(c.bytes);
    if (c.size) record.SetSize(*c.size);
    EXPECT_EQ(fresh.ReadCaseData(record.data(), Status()), 1);
    EXPECT_EQ(Message(), c.message);
    EXPECT_EQ(fresh.caseVersion, c.caseVersion);
    EXPECT_EQ(fresh.caseDetails.fileName, "");
    EXPECT_TRUE(fresh.constraints.empty());
  }
  EXPECT_EQ(model_.ReadCaseData(nullptr, Status()), 1);
  EXPECT_EQ(Message(), kReadFailed);
}

TEST_F(ModelCaseData, AfterAnyTruncatedReadTheModelStillWorks) {
  test_support::MemoryApplicationRegistration applications("memory", /*asDefault=*/true);
  model::CExcModel connected;
  archive::CaseContent content;
  archive_test::FillSampleCase(content.View(), 2);
  const std::vector<std::uint8_t> bytes = StoreCase(content);
  CaseRecord record(bytes);
  for (std::uint32_t size = 0; size < bytes.size(); ++size) {
    record.SetSize(size);
    ASSERT_EQ(connected.ReadCaseData(record.data(), Status()), 1) << size;
    ASSERT_EQ(Message(), kReadFailed) << size;
    const model::CExcCaseDetails& details = connected.caseDetails;
    ASSERT_EQ(details.inputStreams.size(), details.inputCount) << size;
    ASSERT_EQ(details.outputStreams.size(), details.outputCount) << size;
  }
  // Every stream handle the host is told of leads to a stream.
  GuardedBuffer stream(EXT_STREAM_RECORD_MIN_SIZE, 0);
  const std::uint32_t start = 0xFFFFFFFFu;
  std::memcpy(stream.bytes.data() + EXT_STREAM_CURSOR_OFFSET, &start, sizeof start);
  std::size_t listed = 0;
  while (connected.EnumStreams(stream.bytes.data(), 1, Status()) == 0)
    ++listed;
  EXPECT_EQ(listed, connected.caseDetails.inputCount + connected.caseDetails.outputCount);
  // Every partial read appended its complete items, so the case has grown
  // past what a host record holds.
  std::vector<std::uint8_t> written(16 << 20);
  EXPECT_EQ(
      connected.WriteCaseData(written.data(), static_cast<std::uint32_t>(written.size()), Status()),
      0);

  record.SetSize(static_cast<std::uint32_t>(bytes.size()));
  ASSERT_EQ(connected.ReadCaseData(record.data(), Status()), 0);
  EXPECT_EQ(connected.caseDetails.inputStreams.size(), 2u);
}

// Where the workbook ends up after a read: a case naming `fileName`, read
// with the model file `modelPath`.
class Relocation : public ModelCaseData {
 protected:
  Relocation() {
    std::filesystem::create_directories(models_);
    std::filesystem::create_directories(cases_);
    std::ofstream(models_ / "book.xlsx") << "beside the model";
  }

  std::string ReadWith(const std::string& fileName, const char* modelPath, std::uint32_t flag) {
    archive::CaseContent content;
    content.details.fileName = fileName;
    CaseRecord record(StoreCase(content), modelPath, flag);
    model::CExcModel reader;
    EXPECT_EQ(reader.ReadCaseData(record.data(), Status()), 0) << Message();
    return reader.caseDetails.fileName;
  }

  test_support::TempFolder folder_;
  std::filesystem::path models_ = folder_.path() / "models";
  std::filesystem::path cases_ = folder_.path() / "cases";
  std::string modelFile_ = (models_ / "field.cfx").string();
  std::string moved_ = (models_ / "book.xlsx").string();
};

TEST_F(Relocation, FollowsTheBatchJobTheWorkbookTheHostsFlagAndTheModelPath) {
  const std::string existing = (cases_ / "book.xlsx").string();
  std::ofstream(existing) << "where the case says";
  const std::string missing = "C:\\Cases\\book.xlsx";
  const std::string elsewhere = "C:\\Cases\\other.xlsx";  // not beside the model either
  struct Case {
    bool batch;
    std::string fileName;
    std::uint32_t flag;
    std::string expected;
  };
  const std::vector<Case> cases = {
      {false, existing, 0, existing},
      {true, existing, 0, moved_},
      {false, missing, 0, moved_},
      {false, missing, 1, missing},
      {true, missing, 1, moved_},
      {false, elsewhere, 0, elsewhere},
      {false, "", 0, ""},
      {true, "book.xlsx", 0, "book.xlsx"},
  };
  for (const Case& c : cases) {
    std::optional<test_support::ScopedEnv> batch;
    if (c.batch) batch.emplace("LSB_JOBID", "4711");
    EXPECT_EQ(ReadWith(c.fileName, modelFile_.c_str(), c.flag), c.expected)
        << c.fileName << (c.batch ? " in a batch job" : "") << " flag " << c.flag;
  }
  // Where the model lies decides the folder (cut at either separator).
  const std::string backslashed = models_.string() + "\\field.cfx";
  EXPECT_EQ(ReadWith(missing, backslashed.c_str(), 0), moved_);
  EXPECT_EQ(ReadWith(missing, nullptr, 0), missing) << "no model path";
}

TEST(RelocationFolder, IsTheModelPathUpToItsLastSeparator) {
  archive::RelocationFacts facts;
  facts.fileName = "C:\\a\\book.xlsx";
  for (const auto& [modelPath, folder] :
       std::vector<std::pair<const char*, std::optional<std::string>>>{
           {"C:\\models\\field.cfx", "C:\\models"},
           {"/srv/models/field.cfx", "/srv/models"},
           {"/srv/x\\y/field.cfx", "/srv/x\\y"},
           {"field.cfx", std::nullopt},
           {"", std::nullopt}}) {
    facts.modelPath = modelPath;
    EXPECT_EQ(archive::RelocationFolder(facts), folder) << modelPath;
  }
}

class ModelData : public ModelCaseData {
 protected:
  ModelData() { std::ofstream(path_) << ""; }

  test_support::TempFolder folder_;
  std::string path_ = folder_.File("model.dat");
  GuardedBuffer marker_{10, 0};
};

TEST_F(ModelData, IsWrittenToTheNamedFileAndReadBackWithTheCaseVersion) {
  ASSERT_EQ(model_.SetModelDataFile(path_.c_str(), true, Status()), 0);
  EXPECT_EQ(model_.modelDataFile, path_.c_str()) << "the host's text itself";
  for (std::size_t i = 0; i < 3; ++i)
    model_.publishedVariables.Add(archive_test::SamplePublishedVariable(i));
  ASSERT_EQ(model_.WriteModelData(marker_.bytes.data(), 10, Status()), 0);
  EXPECT_EQ(std::vector<std::uint8_t>(marker_.bytes.begin(), marker_.bytes.begin() + 10),
            ByteBuilder().Signature().U16(255).bytes());
  EXPECT_TRUE(marker_.GuardsIntact());

  model::CExcModel reader;
  reader.SetModelDataFile(path_.c_str(), false, Status());
  reader.caseVersion = 40;
  EXPECT_EQ(reader.ReadModelData(nullptr, 0, Status()), 0);
  archive_test::ExpectSamePublishedVariables(model_.publishedVariables, reader.publishedVariables);
}

TEST_F(ModelData, CasesOlderThanVersion31ReadNothing) {
  model_.SetModelDataFile(path_.c_str(), false, Status());
  model_.publishedVariables.Add(archive_test::SamplePublishedVariable(0));
  ASSERT_EQ(model_.WriteModelData(marker_.bytes.data(), 10, Status()), 0);
  for (const std::int32_t version : {0, 12, 30, 31}) {
    model::CExcModel reader;
    reader.SetModelDataFile(path_.c_str(), false, Status());
    reader.caseVersion = version;
    EXPECT_EQ(reader.ReadModelData(nullptr, 0, Status()), 0);
    // Version 31 reads the file with its own layout (no region, no
    // delimiters), so the bytes of a version-40 file are left over.
    EXPECT_EQ(reader.publishedVariables.size(), version >= 31 ? 1u : 0u) << version;
  }
}

TEST_F(ModelData, AFileThatCannotBeWrittenGivesTheMessage) {
  const std::string missing = folder_.File("missing.dat");
  for (const char* path : {missing.c_str(), static_cast<const char*>(nullptr)}) {
    model_.SetModelDataFile(path, false, Status());
    EXPECT_EQ(model_.WriteModelData(marker_.bytes.data(), 10, Status()), 1);
    EXPECT_EQ(Message(), kModelDataFailed);
  }
  EXPECT_FALSE(std::filesystem::exists(missing));
  model_.SetModelDataFile(path_.c_str(), false, Status());
  EXPECT_EQ(model_.WriteModelData(marker_.bytes.data(), 9, Status()), 1)
      << "no room for the marker";
  EXPECT_EQ(Message(), kModelDataFailed);
  EXPECT_EQ(model_.WriteModelData(nullptr, 10, Status()), 1);
}

TEST_F(ModelData, ReadingFailsSilently) {
  const std::string missing = folder_.File("missing.dat");
  std::ofstream(folder_.File("damaged.dat")) << "not a model data file";
  const std::string damaged = folder_.File("damaged.dat");
  for (const char* path : {missing.c_str(), damaged.c_str(), static_cast<const char*>(nullptr)}) {
    model::CExcModel reader;
    reader.SetModelDataFile(path, false, Status());
    reader.caseVersion = 40;
    std::memset(status_.bytes.data(), 0, EXT_STATUS_RECORD_SIZE);
    EXPECT_EQ(reader.ReadModelData(nullptr, 0, Status()), 0);
    EXPECT_EQ(Message(), "");
    EXPECT_TRUE(reader.publishedVariables.empty());
  }
}

}  // namespace
