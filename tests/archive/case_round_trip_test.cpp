// The archive's field encodings; a case written by the model and read back
// (as binary and as JSON), refused when damaged or cut, kept within range,
// its workbook relocated; and archives of every version, whose tests pin the
// byte layout of every number and text.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include "archive/archive_helpers.h"
#include "archive/byte_builder.h"
#include "archive/json/case_json.h"
#include "archive/primitives.h"
#include "archive/records/case_record.h"
#include "archive/sample_case.h"
#include "archive/version_builder.h"
#include "casedata/composition.h"
#include "gridmoor/host.h"
#include "model/model.h"
#include "support/temp_folder.h"
#include "support/temp_registry.h"

namespace {

using archive_test::ErrorKind;
using archive_test::StoreCase;
using archive_test::WriteCase;

constexpr char kReadFailed[] = "Failed to read all case data - buffer overflow";
constexpr char kTooNew[] = "Unable to read case data - version too new";

// A case handed back with no model path.
casedata::StoredCase Stored(std::vector<std::uint8_t> archive) {
  casedata::StoredCase stored;
  stored.archive = std::move(archive);
  return stored;
}

using CaseData = archive_test::ModelTest;
using archive_test::CaseOf;

TEST(ArchiveEncoding, AnyByteButZeroLoadsAsASetFlag) {
  const std::vector<std::uint8_t> flagBytes = {0, 1, 2, 0xFF};
  archive::Archive flags = archive::Archive::LoadFrom(flagBytes);
  for (const bool expected : {false, true, true, true}) {
    bool flag = !expected;
    archive::TransferFlag(flags, flag);
    EXPECT_EQ(flag, expected);
  }
}

TEST(ArchiveBounds, ATransferPastTheEndFailsAndTouchesNothingBeyond) {
  std::vector<std::uint8_t> buffer(6, 0xEE);
  archive::Archive store = archive::Archive::StoreInto(std::span(buffer).first(5));
  std::uint32_t value = 0x11223344;
  std::uint8_t fits = 0x55;
  archive::TransferU32(store, value);
  archive::TransferU32(store, value);
  const auto failure = [](archive::Archive& archive) {
    return ErrorKind([&] { return archive.TakeFailure(); });
  };
  EXPECT_EQ(failure(store), archive::ArchiveError::Kind::kEnd);
  archive::TransferU8(store, fits);  // one byte is left, but the archive has stopped
  EXPECT_EQ(buffer, (std::vector<std::uint8_t>{0x44, 0x33, 0x22, 0x11, 0xEE, 0xEE}));
  EXPECT_EQ(failure(store), archive::ArchiveError::Kind::kEnd) << "stopped at its first failure";

  archive::Archive load = archive::Archive::LoadFrom(std::span(buffer).first(3));
  archive::TransferU32(load, value);
  EXPECT_EQ(failure(load), archive::ArchiveError::Kind::kEnd);
  EXPECT_EQ(value, 0x11223344u) << "a failed load leaves the value";
}

TEST(ArchiveText16, ALoadedTextIsCutToFifteenCharactersOrAtANul) {
  const std::vector<std::uint8_t> bytes = archive_test::ByteBuilder()
                                              .Text("ABCDEFGHIJKLMNOPQRST")
                                              .Text(std::string("B7\0C9", 5))
                                              .bytes();
  archive::Archive load = archive::Archive::LoadFrom(bytes);
  casedata::CellField cut;
  casedata::CellField nul;
  archive::TransferText16(load, cut);
  archive::TransferText16(load, nul);
  EXPECT_EQ(cut.view(), "ABCDEFGHIJKLMNO");
  EXPECT_EQ(nul.view(), "B7");
  EXPECT_EQ(load.Remaining(), 0u) << "the whole stored text is consumed";
}

TEST_F(CaseData, EveryElementKindComesBackAsWrittenAsBinaryAndAsJson) {
  archive_test::FillSampleCase(CaseOf(model_), 3);
  model_.caseVersion = 12;  // the version last read does not change what is written
  model_.caseDetails.plugIns = "/addins/one.xlam";
  model_.caseDetails.fileName = "C:\\Fall\xE9s\\book.xls";  // a single-byte legacy text
  model_.caseDetails.macros[3] = std::string("with\0nul", 8);
  model_.constraints.At(0)->Limit = std::numeric_limits<double>::quiet_NaN();
  model_.constraints.At(1)->Limit = std::numeric_limits<double>::infinity();
  model_.controls.At(0)->LowerBound = -std::numeric_limits<double>::infinity();
  model_.controls.At(1)->UpperBound = -0.0;
  model_.intControls.At(1)->StateNames[17] = "stored beyond the count";
  const std::vector<std::uint8_t> bytes = StoreCase(CaseOf(model_));
  // Too little room: the driver's case records test.
  const outcome::Partial<std::vector<std::uint8_t>> written =
      model_.WriteCaseData(EXT_CASE_DATA_ARCHIVE_CAPACITY);
  ASSERT_EQ(written.error.Message(), "");
  ASSERT_EQ(written.value, bytes);

  // The host hands back its whole buffer: the bytes after the case are
  // not read.
  casedata::StoredCase stored = Stored(written.value);
  stored.archive.resize(EXT_CASE_DATA_ARCHIVE_CAPACITY, 0);
  // Read over a case of its own: the streams are replaced, the other
  // collections appended to.
  model::CExcModel restored;
  restored.caseDetails.inputCount = 5;
  restored.caseDetails.SyncStreamCounts();
  restored.constraints.Add(std::make_unique<casedata::CExcConstraint>());
  restored.caseDetails.compositions.Add(std::make_unique<casedata::CExcCompositionDefinition>());
  ASSERT_EQ(restored.ReadCaseData(stored).Message(), "");
  EXPECT_EQ(restored.caseVersion, 40);
  EXPECT_EQ(restored.caseDetails.plugIns, "") << "plug-ins are not part of the case";
  ASSERT_EQ(std::tuple(restored.constraints.size(), restored.caseDetails.compositions.size()),
            std::tuple(3u, 3u));
  restored.constraints.RemoveAt(0);
  restored.caseDetails.compositions.RemoveAt(0);
  EXPECT_EQ(StoreCase(CaseOf(restored)), bytes) << "writing what was read gives the same bytes";

  // Through JSON, also as text. The forms the documentation's example does
  // not show are pinned here.
  outcome::Expected<nlohmann::json> read = archive::CaseArchiveToJson(bytes);
  ASSERT_TRUE(read) << read.GetError().Message();
  nlohmann::json& dumped = *read;
  outcome::Expected<std::vector<std::uint8_t>> built =
      archive::CaseJsonToArchive(nlohmann::json::parse(dumped.dump(2)));
  ASSERT_TRUE(built) << built.GetError().Message();
  EXPECT_EQ(*built, bytes);
  EXPECT_EQ(dumped["fileName"], nlohmann::json({{"bytes", "C:\\Fall\u00e9s\\book.xls"}}));
  EXPECT_EQ(nlohmann::json({dumped["constraints"][0]["limit"], dumped["constraints"][1]["limit"],
                            dumped["controls"][0]["lowerBound"],
                            dumped["integerControls"][1]["stateCount"]}),
            nlohmann::json({"NaN", "Infinity", "-Infinity", 3}));
  EXPECT_EQ(dumped["integerControls"][1]["states"].size(), 18u) << "up to the last one stored";
  EXPECT_FALSE(dumped.contains("publishedVariables")) << "a current case has none";
}

// Each refused with the model's message and the dump's account of what and
// where, keeping the version read and adding nothing: a new case with no
// streams and one empty composition, a word of it replaced.
TEST_F(CaseData, DamagedArchivesAreRefusedWithTheirMessages) {
  archive::CaseContent one;
  one.details.fileName = "x";
  one.details.inputStreams.Clear();
  one.details.outputStreams.Clear();
  one.details.compositions.Add(std::make_unique<casedata::CExcCompositionDefinition>());
  // Version written, where and which word replaces what is there, the
  // model's message, the version it keeps and the dump's error.
  const std::tuple<std::uint32_t, std::size_t, std::uint32_t, const char*, std::int32_t,
                   const char*>
      cases[] = {
          {40, 8, 41, kTooNew, 41, "version 41 is newer than 40"},
          {40, 8, 0xFFFFFFFF, kTooNew, 0x7FFFFFFF, "version 4294967295 is newer than 40"},
          {40, 8, 0, kReadFailed, 0, "version 0 is not a case version"},
          {40, 4, 0x385FD21B, kReadFailed, 0, "the archive does not start with its signature"},
          {40, 12, 0xFFFFFFFF, kReadFailed, 40,
           "a text of 4294967295 bytes at byte 12 does not fit the 96 bytes left"},
          {40, 60, 0x10000000, kReadFailed, 40,
           "268435456 input streams at byte 60 do not fit the 48 bytes left"},
          {40, 64, 0xFFFFFFFF, kReadFailed, 40,
           "4294967295 output streams at byte 64 do not fit the 44 bytes left"},
          {40, 86, 400, kReadFailed, 40, "400 constraints at byte 86 do not fit the 22 bytes left"},
          {40, 91, 0xFFFFFFFF, kReadFailed, 40,
           "4294967295 compositions at byte 91 do not fit the 17 bytes left"},
          {40, 99, 0xFFFFFFF0, kReadFailed, 40,
           "4294967280 components at byte 99 do not fit the 9 bytes left"},
          // Version 9 keeps a single legacy composition of its own.
          {9, 61, 50000, kReadFailed, 9,
           "50000 legacy components at byte 61 do not fit the 4 bytes left"}};
  for (const auto& [version, at, word, message, versionKept, dumpError] : cases) {
    SCOPED_TRACE(dumpError);
    std::vector<std::uint8_t> bytes = WriteCase(one.View(), version, version);
    std::memcpy(bytes.data() + at, &word, sizeof word);
    model::CExcModel fresh;
    const outcome::Error refused = fresh.ReadCaseData(Stored(bytes));
    EXPECT_EQ(std::tuple(refused.Result(), refused.Message()), std::tuple(1, message));
    EXPECT_EQ(fresh.caseVersion, versionKept) << "the version read stays";
    EXPECT_TRUE(fresh.constraints.empty() && fresh.caseDetails.compositions.empty());
    EXPECT_EQ(fresh.caseDetails.fileName, at <= 12 ? "" : "x") << "read up to the fault";
    outcome::Expected<nlohmann::json> out = archive::CaseArchiveToJson(bytes);
    ASSERT_FALSE(out);
    EXPECT_EQ(out.TakeError().Message(), std::string("case data: ") + dumpError);
  }
  // An empty archive; a size past the record's room is the edge test's.
  EXPECT_EQ(model_.ReadCaseData({}).Message(), kReadFailed);
}

// Every cut of a case is refused cleanly, keeping what was read before it:
// the objective and each element only once complete, the streams matching
// their counts.
TEST_F(CaseData, EveryCutOfACaseIsRefusedKeepingWhatWasReadWhole) {
  archive::CaseContent content;
  archive_test::FillSampleCase(content.View(), 2);
  const std::vector<std::uint8_t> bytes = StoreCase(content.View());
  std::size_t read = 0;  // fields and elements read
  for (std::size_t size = 0; size < bytes.size(); ++size) {
    model::CExcModel m;
    const outcome::Error refused =
        m.ReadCaseData(Stored({bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(size)}));
    ASSERT_EQ(std::tuple(refused.Result(), refused.Message()), std::tuple(1, kReadFailed)) << size;
    const casedata::CExcCaseDetails& details = m.caseDetails;
    ASSERT_EQ(details.inputStreams.size(), details.inputCount) << size;
    ASSERT_EQ(details.outputStreams.size(), details.outputCount) << size;
    ASSERT_EQ(m.objective.unit, m.objective.Defined ? "bbl/d" : "") << size;
    for (std::size_t i = 0; i < m.constraints.size(); ++i)
      ASSERT_EQ(m.constraints.At(i)->unit, "bbl/d") << size;
    const std::size_t now = !details.fileName.empty() + m.objective.Defined + m.constraints.size() +
                            details.compositions.size() + m.controls.size() + m.intControls.size();
    ASSERT_GE(now, read) << size;
    read = now;
  }
  EXPECT_EQ(read, 10u) << "all but the last flag";
}

// Stream counts within 1 ... 5000 with as many streams, state counts
// within 0 ... 20.
TEST_F(CaseData, LoadedCountsAreKeptWithinTheirRanges) {
  for (const auto& [stored, kept] : std::vector<std::pair<std::uint32_t, std::uint32_t>>{
           {0, 1}, {1, 1}, {5000, 5000}, {5001, 5000}, {0xFFFFFFFF, 5000}}) {
    // Two streams of each kind stored, whatever the counts say.
    archive::CaseContent written;
    archive_test::FillSampleCase(written.View(), 2);
    written.details.outputStreams.RemoveAt(2);
    written.details.inputCount = written.details.outputCount = stored;
    written.intControls.At(1)->StateCount = static_cast<std::int32_t>(stored);
    const std::vector<std::uint8_t> bytes = StoreCase(written.View());
    model::CExcModel read;
    ASSERT_EQ(read.ReadCaseData(Stored(bytes)).Message(), "");
    const casedata::CExcCaseDetails& details = read.caseDetails;
    EXPECT_EQ(std::tuple(details.inputCount, details.outputCount, details.inputStreams.size(),
                         details.outputStreams.size()),
              std::tuple(kept, kept, std::size_t{kept}, std::size_t{kept}))
        << stored;
    EXPECT_EQ(details.inputStreams.At(0)->sheetName, "Inputs 0");
    EXPECT_EQ(read.intControls.At(1)->StateCount,
              std::clamp(static_cast<std::int32_t>(stored), 0, 20))
        << stored;
    const outcome::Expected<nlohmann::json> dumped = archive::CaseArchiveToJson(bytes);
    ASSERT_TRUE(dumped);
    EXPECT_EQ((*dumped)["outputStreams"].size(), kept)
        << "the dump holds the case as the model does";
  }
}

// Where the workbook ends up after a read of a case naming `fileName` with
// the model file `modelPath`: beside the model file (cut at its last '\'
// or '/') in a batch job, or when it cannot be found and the host allows.
// (The edge reads a null model path as the empty one.)
TEST_F(CaseData, TheWorkbookIsRelocatedByTheBatchJobTheFileTheHostsFlagAndTheModelPath) {
  test_support::TempFolder folder;
  const std::filesystem::path models = folder.path() / "models";
  std::filesystem::create_directories(models);
  std::ofstream(models / "book.xlsx") << "beside the model";
  const std::string existing = (folder.path() / "book.xlsx").string();
  std::ofstream(existing) << "where the case says";
  const std::string missing = "C:\\Cases\\book.xlsx";
  const std::string elsewhere = "C:\\Cases\\other.xlsx";  // not beside the model either
  const std::string modelFile = (models / "field.cfx").string();
  const std::string backslashed = models.string() + "\\field.cfx";
  const std::string moved = (models / "book.xlsx").string();
  // In a batch job, the case's file name, the host's flag, the file name
  // after the read, the model path.
  const std::tuple<bool, std::string, bool, std::string, std::string> cases[] = {
      {false, existing, false, existing, modelFile},
      {true, existing, false, moved, modelFile},
      {false, missing, false, moved, modelFile},
      {false, missing, true, missing, modelFile},
      {true, missing, true, moved, modelFile},
      {false, elsewhere, false, elsewhere, modelFile},
      {false, "", false, "", modelFile},
      {true, "book.xlsx", false, "book.xlsx", modelFile},
      {false, missing, false, moved, backslashed},
      {false, missing, false, missing, ""}};
  for (const auto& [batch, fileName, flag, expected, modelPath] : cases) {
    std::optional<test_support::ScopedEnv> job;
    if (batch) job.emplace("LSB_JOBID", "4711");
    archive::CaseContent content;
    content.details.fileName = fileName;
    model::CExcModel reader;
    EXPECT_EQ(reader.ReadCaseData({StoreCase(content.View()), modelPath, flag}).Message(), "");
    EXPECT_EQ(reader.caseDetails.fileName, expected) << fileName << (batch ? " in a batch job" : "")
                                                     << " flag " << flag << " model " << modelPath;
  }
}

// Archives of every version put together byte by byte from the record
// tables (version_builder.h): the reader stops exactly at the end of the
// record and holds what the version has, the other fields at their
// defaults, so that storing it again gives the builder's current layout.
//
// The sample case, with fields of one kind side by side told apart.
struct Sample : archive::CaseContent {
  Sample() {
    archive_test::FillSampleCase(View(), 2);
    details.inputStreams.At(1)->forecastDisplay = true;
    details.passDate[2] = false;
    publishedVariables = archive_test::SampleVariables(2);
  }
};

class CaseVersion : public testing::TestWithParam<std::uint32_t> {};

TEST_P(CaseVersion, ReadsExactlyTheFieldsOfItsVersion) {
  const std::uint32_t v = GetParam();
  Sample sample;
  const std::vector<std::uint8_t> bytes = WriteCase(sample.View(), v, v);
  archive::CaseContent read;
  archive::Archive load = archive::Archive::LoadFrom(bytes);
  const archive::ArchiveError failure = archive::TransferCase(load, read.View());
  ASSERT_FALSE(failure) << failure.Message();
  EXPECT_EQ(load.Remaining(), 0u) << "the record ends where the version says";
  EXPECT_EQ(read.version, static_cast<std::int32_t>(v));
  EXPECT_EQ(StoreCase(read.View()), WriteCase(sample.View(), v, 40));

  EXPECT_EQ(WriteCase(read.View(), v, v), bytes) << "what was read is what the version holds";
  EXPECT_EQ(read.publishedVariables.size(), v >= 11 && v <= 30 ? 2u : 0u);

  // Its dump shows them, and without them builds a current case of the
  // same content.
  outcome::Expected<nlohmann::json> dumped = archive::CaseArchiveToJson(bytes);
  ASSERT_TRUE(dumped) << dumped.GetError().Message();
  EXPECT_EQ(dumped->contains("publishedVariables"), !read.publishedVariables.empty());
  dumped->erase("publishedVariables");
  const outcome::Expected<std::vector<std::uint8_t>> built = archive::CaseJsonToArchive(*dumped);
  ASSERT_TRUE(built) << built.GetError().Message();
  EXPECT_EQ(*built, StoreCase(read.View()));
}

INSTANTIATE_TEST_SUITE_P(EveryVersion, CaseVersion, testing::Range(1u, 41u),
                         [](const testing::TestParamInfo<std::uint32_t>& info) {
                           return "v" + std::to_string(info.param);
                         });

}  // namespace
