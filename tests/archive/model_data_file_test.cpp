// The model data file: the variables written into an existing file and read
// back with the layout of the case version, the locks, and the failures.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "archive/archive.h"
#include "archive/archive_error.h"
#include "archive/archive_helpers.h"
#include "archive/byte_builder.h"
#include "archive/case_checks.h"
#include "archive/locked_file.h"
#include "archive/model_data_file.h"
#include "archive/sample_case.h"
#include "support/temp_folder.h"

namespace {

using archive::ArchiveError;
using archive_test::ByteBuilder;
using archive_test::OneVariableFile;
using archive_test::SampleVariables;

std::vector<std::uint8_t> FileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteBytes(const std::string& path, const std::vector<std::uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
}

class ModelDataFile : public testing::Test {
 protected:
  test_support::TempFolder folder_;
  std::string path_ = folder_.File("model.dat");
};

TEST_F(ModelDataFile, VariablesComeBackAsWrittenAndTheFileEndsWithThem) {
  WriteBytes(path_, std::vector<std::uint8_t>(5000, 0x5A));  // a longer old content
  optimisation::CExcclExportedVariable written = SampleVariables(3);
  archive::WriteModelDataFile(path_.c_str(), written);

  std::vector<std::uint8_t> bytes;
  archive::Archive store = archive::Archive::StoreGrowing(bytes);
  archive::TransferModelData(store, written);
  EXPECT_EQ(FileBytes(path_), bytes) << "nothing of the old content stays";

  optimisation::CExcclExportedVariable read;
  read.Add(archive_test::SamplePublishedVariable(9));
  archive::ReadModelDataFile(path_.c_str(), 40, read);
  ASSERT_EQ(read.size(), 4u) << "appended";
  read.RemoveAt(0);
  archive_test::ExpectSamePublishedVariables(written, read);
}

TEST_F(ModelDataFile, LargeFilesCrossTheBlocksOfTheFileArchive) {
  WriteBytes(path_, {});
  optimisation::CExcclExportedVariable written = SampleVariables(5000);
  archive::WriteModelDataFile(path_.c_str(), written);
  EXPECT_GT(FileBytes(path_).size(), 2u * 64 * 1024);
  optimisation::CExcclExportedVariable read;
  archive::ReadModelDataFile(path_.c_str(), 40, read);
  archive_test::ExpectSamePublishedVariables(written, read);
}

TEST_F(ModelDataFile, TheLayoutFollowsTheCaseVersion) {
  struct Case {
    std::uint32_t version;
    std::int32_t width;
    const char* delimiter;
  };
  for (const Case& c : {Case{31, 1, ""}, Case{32, 6, ""}, Case{40, 6, ","}}) {
    SCOPED_TRACE(c.version);
    WriteBytes(path_, OneVariableFile(c.version, "A9"));
    optimisation::CExcclExportedVariable read;
    archive::ReadModelDataFile(path_.c_str(), c.version, read);
    ASSERT_EQ(read.size(), 1u);
    EXPECT_EQ(read.At(0)->name, "P");
    EXPECT_EQ(read.At(0)->CascadeCell, "A9");
    EXPECT_EQ(read.At(0)->RegionWidth, c.width);
    EXPECT_EQ(read.At(0)->ColumnDelimiter, c.delimiter);
  }
}

TEST_F(ModelDataFile, RegionsAreKeptWithinOneToTenThousand) {
  for (const auto& [stored, kept] : std::vector<std::pair<std::int32_t, std::int32_t>>{
           {0, 1}, {-4, 1}, {1, 1}, {10000, 10000}, {10001, 10000}}) {
    WriteBytes(path_, OneVariableFile(40, "", stored));
    optimisation::CExcclExportedVariable read;
    archive::ReadModelDataFile(path_.c_str(), 40, read);
    EXPECT_EQ(read.At(0)->RegionWidth, kept) << stored;
    EXPECT_EQ(read.At(0)->RegionHeight, kept) << stored;
  }
}

TEST_F(ModelDataFile, ADamagedFileKeepsTheVariablesReadCompletely) {
  optimisation::CExcclExportedVariable written = SampleVariables(3);
  WriteBytes(path_, {});
  archive::WriteModelDataFile(path_.c_str(), written);
  std::vector<std::uint8_t> bytes = FileBytes(path_);
  bytes.resize(bytes.size() - 1);  // into the last variable's last text
  WriteBytes(path_, bytes);
  optimisation::CExcclExportedVariable read;
  EXPECT_EQ(archive_test::ErrorKind([&] { archive::ReadModelDataFile(path_.c_str(), 40, read); }),
            ArchiveError::Kind::kFormat);
  EXPECT_EQ(read.size(), 2u);
}

TEST_F(ModelDataFile, FilesThatCannotBeUsedAreFileErrors) {
  optimisation::CExcclExportedVariable variables = SampleVariables(1);
  const std::string missing = folder_.File("missing.dat");
  EXPECT_EQ(
      archive_test::ErrorKind([&] { archive::WriteModelDataFile(missing.c_str(), variables); }),
      ArchiveError::Kind::kFile);
  EXPECT_FALSE(std::filesystem::exists(missing)) << "never created";
  EXPECT_EQ(archive_test::ErrorKind([&] { archive::WriteModelDataFile(nullptr, variables); }),
            ArchiveError::Kind::kFile);
  EXPECT_EQ(archive_test::ErrorKind([&] { archive::ReadModelDataFile(nullptr, 40, variables); }),
            ArchiveError::Kind::kFile);
  EXPECT_EQ(archive_test::ErrorKind([&] {
              archive::ReadModelDataFile(folder_.path().string().c_str(), 40, variables);
            }),
            ArchiveError::Kind::kFile)
      << "a folder";
}

TEST_F(ModelDataFile, AWriterHasTheFileToItselfAndReadersShareIt) {
  WriteBytes(path_, ByteBuilder().Signature().U32(0).bytes());
  optimisation::CExcclExportedVariable variables = SampleVariables(1);
  {
    archive::LockedFile reader(path_.c_str(), archive::LockedFile::Access::kRead);
    optimisation::CExcclExportedVariable read;
    EXPECT_EQ(archive_test::ErrorKind([&] { archive::ReadModelDataFile(path_.c_str(), 40, read); }),
              std::nullopt)
        << "readers share";
    EXPECT_EQ(
        archive_test::ErrorKind([&] { archive::WriteModelDataFile(path_.c_str(), variables); }),
        ArchiveError::Kind::kFile)
        << "no writing while someone reads";
  }
  {
    archive::LockedFile writer(path_.c_str(), archive::LockedFile::Access::kWrite);
    optimisation::CExcclExportedVariable read;
    EXPECT_EQ(archive_test::ErrorKind([&] { archive::ReadModelDataFile(path_.c_str(), 40, read); }),
              ArchiveError::Kind::kFile)
        << "no reading a file half written";
  }
  EXPECT_EQ(archive_test::ErrorKind([&] { archive::WriteModelDataFile(path_.c_str(), variables); }),
            std::nullopt)
      << "the locks went with the files";
}

}  // namespace
