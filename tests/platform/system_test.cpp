#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "platform/files.h"
#include "support/temp_folder.h"

namespace {

namespace fs = std::filesystem;

class FilesTest : public ::testing::Test {
 protected:
  test_support::TempFolder temp_;
  fs::path Path(const char* name) const { return temp_.path() / name; }
};

TEST_F(FilesTest, StatusOfFilesFoldersAndMissingPaths) {
  std::ofstream(Path("data.bin"), std::ios::binary) << "12345";
  fs::create_directory(Path("sub"));
  fs::create_symlink(Path("data.bin"), Path("link"));
  fs::create_symlink(Path("gone"), Path("dangling"));

  const platform::FileStatus file = platform::GetFileStatus(Path("data.bin").string());
  EXPECT_TRUE(file.exists);
  EXPECT_FALSE(file.isDirectory);
  EXPECT_EQ(file.size, 5u);
  const platform::FileStatus folder = platform::GetFileStatus(Path("sub").string());
  EXPECT_TRUE(folder.exists);
  EXPECT_TRUE(folder.isDirectory);

  EXPECT_TRUE(platform::FileExists(Path("link").string()));
  EXPECT_FALSE(platform::FileExists(Path("dangling").string()));
  EXPECT_FALSE(platform::FileExists(""));
}

TEST_F(FilesTest, ReadWholeFileReportsWhyItFailed) {
  std::error_code ec;
  EXPECT_FALSE(platform::ReadWholeFile(Path("missing"), &ec));
  EXPECT_EQ(ec, std::errc::no_such_file_or_directory);
  EXPECT_FALSE(platform::ReadWholeFile(temp_.path(), &ec));
  EXPECT_EQ(ec, std::errc::is_a_directory);

  const std::string bytes("a\0b\r\n\xff", 6);
  std::ofstream(Path("f"), std::ios::binary) << bytes;
  EXPECT_EQ(platform::ReadWholeFile(Path("f"), &ec), bytes);
  EXPECT_FALSE(ec);
}

TEST_F(FilesTest, AtomicWriteReplacesContentKeepsPermissionsAndLinksAndLeavesNoTemporaryFile) {
  const fs::path file = Path("deep/er/out.txt");
  const fs::path link = Path("deep/er/alias");
  const fs::perms perms = fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read;
  std::string error;
  ASSERT_TRUE(platform::WriteFileAtomically(file, "first", &error)) << error;
  fs::permissions(file, perms);
  fs::create_symlink("out.txt", link);
  ASSERT_TRUE(platform::WriteFileAtomically(link, "second", &error)) << error;
  EXPECT_TRUE(fs::is_symlink(link));
  std::error_code ec;
  EXPECT_EQ(platform::ReadWholeFile(file, &ec), "second");
  EXPECT_EQ(fs::status(file).permissions() & fs::perms::all, perms);
  int entries = 0;
  for ([[maybe_unused]] const auto& entry : fs::directory_iterator(file.parent_path()))
    ++entries;
  EXPECT_EQ(entries, 2);
}

TEST_F(FilesTest, AtomicWriteFailureIsReportedAndKeepsTheOldContent) {
  std::ofstream(Path("blocker")) << "a file where a folder is needed";
  std::string error;
  EXPECT_FALSE(platform::WriteFileAtomically(Path("blocker/out.txt"), "x", &error));
  EXPECT_NE(error.find("blocker"), std::string::npos) << error;

  if (::geteuid() != 0) {  // root writes into read-only folders anyway
    fs::create_directory(Path("ro"));
    std::ofstream(Path("ro/kept.txt")) << "old";
    fs::permissions(Path("ro"), fs::perms::owner_read | fs::perms::owner_exec);
    error.clear();
    EXPECT_FALSE(platform::WriteFileAtomically(Path("ro/kept.txt"), "new", &error));
    EXPECT_FALSE(error.empty());
    fs::permissions(Path("ro"), fs::perms::owner_all);
    std::error_code ec;
    EXPECT_EQ(platform::ReadWholeFile(Path("ro/kept.txt"), &ec), "old");
  }
  EXPECT_FALSE(platform::WriteFileAtomically("", "x", &error));
}

}  // namespace
