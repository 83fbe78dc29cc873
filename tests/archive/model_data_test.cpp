// The model data file: written with the marker the host gets, read back in
// the layout of the case version, files that cannot be used and the locks.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <tuple>
#include <vector>

#include "archive/archive_error.h"
#include "archive/archive_helpers.h"
#include "archive/byte_builder.h"
#include "archive/locked_file.h"
#include "archive/records/model_data_file.h"
#include "support/temp_folder.h"

namespace {

using archive::ArchiveError;
using archive_test::ByteBuilder;
using archive_test::ErrorKind;
using archive_test::VariableFields;
using Stored = outcome::Partial<std::vector<std::uint8_t>>;

constexpr char kWriteFailed[] = "Failed to write all model data - buffer overflow";
constexpr char kWriteFailedBecause[] = "Failed to write all model data - ";

// A model data file holding one variable "P" at A1, cascading to A9, in the
// layout of case `version`: the region from 32 on, the delimiters from 40.
std::vector<std::uint8_t> OneVariableFile(std::uint32_t version, std::int32_t region) {
  ByteBuilder b;
  b.Signature().U32(1).Text("P").Text("u").Text("S").Text("A1").Text("A9").U32(1);
  if (version >= 32) b.I32(region).I32(region + 1);
  if (version >= 40) b.Text(",").Text(";");
  return b.bytes();
}

class ModelData : public archive_test::ModelTest {
 protected:
  ModelData() { WriteBytes({}); }

  void WriteBytes(const std::vector<std::uint8_t>& bytes) {
    std::ofstream out(path_, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
  }
  casedata::CExcclExportedVariable Read(std::uint32_t version) {
    casedata::CExcclExportedVariable read;
    const archive::ArchiveError failure = archive::ReadModelDataFile(path_.c_str(), version, read);
    EXPECT_FALSE(failure) << failure.Message();
    return read;
  }
  // What the model reads from `path` with the case version, and why it failed.
  std::pair<casedata::CExcclExportedVariable, std::string> ReadByModel(const char* path,
                                                                       std::int32_t version) {
    model::CExcModel reader;
    reader.SetModelDataFile(path, false);
    reader.caseVersion = version;
    std::string why = reader.ReadModelData().Message();
    return {std::move(reader.publishedVariables), why};
  }

  test_support::TempFolder folder_;
  std::string path_ = folder_.File("model.dat");
};

TEST_F(ModelData, IsWrittenToTheNamedFileAndReadBackWithTheCaseVersion) {
  WriteBytes(std::vector<std::uint8_t>(5000, 0x5A));  // a longer old content
  model_.SetModelDataFile(path_.c_str(), true);
  model_.publishedVariables = archive_test::SampleVariables(5000);  // across the file's blocks
  const Stored marker = model_.WriteModelData(10);
  ASSERT_FALSE(marker.error) << marker.error.Message();
  EXPECT_EQ(marker.value, ByteBuilder().Signature().U16(255).bytes());
  std::ifstream file(path_, std::ios::binary);
  std::vector<std::uint8_t> expected;
  archive::Archive store = archive::Archive::StoreGrowing(expected);
  ASSERT_FALSE(archive::TransferModelData(store, model_.publishedVariables));
  EXPECT_EQ(std::vector<std::uint8_t>(std::istreambuf_iterator<char>(file), {}), expected)
      << "the file ends with the data";
  EXPECT_GT(expected.size(), 2u * 64 * 1024);

  model::CExcModel reader;
  reader.SetModelDataFile(path_.c_str(), false);
  reader.caseVersion = 40;
  reader.publishedVariables.Add(archive_test::SamplePublishedVariable(9));
  EXPECT_FALSE(reader.ReadModelData());
  ASSERT_EQ(reader.publishedVariables.size(), 5001u) << "appended";
  reader.publishedVariables.RemoveAt(0);
  EXPECT_EQ(VariableFields(reader.publishedVariables), VariableFields(model_.publishedVariables));

  // Cases older than version 31 have no model data file; version 31 reads
  // it with its own layout (no region, no delimiters), so the bytes of a
  // version-40 file are left over.
  for (const std::int32_t version : {0, 30, 31}) {
    EXPECT_EQ(ReadByModel(path_.c_str(), version).first.empty(), version < 31) << version;
  }
}

// Every field of the layout of the version, the region kept within 1 ...
// 10,000 in each direction.
TEST_F(ModelData, TheLayoutFollowsTheCaseVersion) {
  struct Case {
    std::uint32_t version;
    std::int32_t region;  // stored as the width, one more as the height
    std::int32_t width;
    std::int32_t height;
  };
  for (const Case& c : {Case{31, 6, 1, 1}, Case{32, 6, 6, 7}, Case{40, 6, 6, 7}, Case{40, 0, 1, 1},
                        Case{40, 9999, 9999, 10000}, Case{40, 0x7FFFFFFE, 10000, 10000}}) {
    SCOPED_TRACE(testing::Message() << "version " << c.version << " region " << c.region);
    WriteBytes(OneVariableFile(c.version, c.region));
    const casedata::CExcclExportedVariable read = Read(c.version);
    ASSERT_EQ(read.size(), 1u);
    const casedata::CExcExportedVariable& v = *read.At(0);
    EXPECT_EQ(v.name + v.unit + v.worksheet + v.cell + v.CascadeCell, "PuSA1A9");
    EXPECT_EQ(std::tuple(v.CascadeDirection, v.RegionWidth, v.RegionHeight),
              std::tuple(1u, c.width, c.height));
    EXPECT_EQ(v.ColumnDelimiter + v.RowDelimiter, c.version >= 40 ? ",;" : "");
  }
}

// Reading fails to the model alone: the edge test pins that the host hears
// nothing.
TEST_F(ModelData, FilesThatCannotBeUsedFailWritingAndReadingWithTheirReason) {
  const std::string missing = folder_.File("missing.dat");
  for (const char* path : {missing.c_str(), static_cast<const char*>(nullptr)}) {
    SCOPED_TRACE(path ? path : "no path");
    model_.SetModelDataFile(path, false);
    const Stored written = model_.WriteModelData(10);
    EXPECT_EQ(written.error.Result(), 1);
    // No overflow: the file's own reason follows the operation's text.
    EXPECT_THAT(written.error.Message(),
                testing::AllOf(testing::StartsWith(kWriteFailedBecause),
                               testing::SizeIs(testing::Gt(std::strlen(kWriteFailedBecause))),
                               testing::Ne(kWriteFailed)));
    EXPECT_EQ(written.value, ByteBuilder().Signature().U16(255).bytes()) << "the marker went first";
  }
  EXPECT_FALSE(std::filesystem::exists(missing)) << "never created";

  const std::string damaged = folder_.File("damaged.dat");
  std::ofstream(damaged) << "not a model data file";
  const std::string folder = folder_.path().string();
  for (const char* path :
       {missing.c_str(), damaged.c_str(), folder.c_str(), static_cast<const char*>(nullptr)}) {
    SCOPED_TRACE(path ? path : "no path");
    const auto [read, why] = ReadByModel(path, 40);
    EXPECT_TRUE(read.empty());
    EXPECT_THAT(why, testing::AllOf(testing::StartsWith("the model data file "),
                                    testing::HasSubstr(path ? path : "")));  // the model says why
  }
  model::CExcModel noFile;
  noFile.caseVersion = 9;  // before model data files
  EXPECT_FALSE(noFile.ReadModelData());
  // Cut into the last variable's last text: the ones read completely stay.
  casedata::CExcclExportedVariable written = archive_test::SampleVariables(3);
  ASSERT_FALSE(archive::WriteModelDataFile(path_.c_str(), written));
  std::filesystem::resize_file(path_, std::filesystem::file_size(path_) - 1);
  casedata::CExcclExportedVariable read;
  EXPECT_EQ(ErrorKind([&] { return archive::ReadModelDataFile(path_.c_str(), 40, read); }),
            ArchiveError::Kind::kFormat);
  EXPECT_EQ(read.size(), 2u);
  EXPECT_EQ(ReadByModel(path_.c_str(), 40).first.size(), 2u);
}

TEST_F(ModelData, AWriterHasTheFileToItselfAndReadersShareIt) {
  WriteBytes(ByteBuilder().Signature().U32(0).bytes());
  casedata::CExcclExportedVariable variables = archive_test::SampleVariables(1);
  const auto read = [&] {
    casedata::CExcclExportedVariable got;
    return ErrorKind([&] { return archive::ReadModelDataFile(path_.c_str(), 40, got); });
  };
  const auto write = [&] {
    return ErrorKind([&] { return archive::WriteModelDataFile(path_.c_str(), variables); });
  };
  {
    const auto reader =
        archive::LockedFile::Open(path_.c_str(), archive::LockedFile::Access::kRead);
    ASSERT_TRUE(reader) << reader.GetError().Message();
    EXPECT_EQ(read(), std::nullopt) << "readers share";
    EXPECT_EQ(write(), ArchiveError::Kind::kFile) << "no writing while someone reads";
  }
  {
    const auto writer =
        archive::LockedFile::Open(path_.c_str(), archive::LockedFile::Access::kWrite);
    ASSERT_TRUE(writer) << writer.GetError().Message();
    EXPECT_EQ(read(), ArchiveError::Kind::kFile) << "no reading a file half written";
  }
  EXPECT_EQ(write(), std::nullopt) << "the locks went with the files";
}

}  // namespace
