// The lock files: their text, whose lock still counts, and holding one.
#include "excel/calc/lock_file.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "com/error.h"
#include "com/thrown_error.h"
#include "excel/errors.h"
#include "platform/files.h"
#include "support/temp_folder.h"

namespace excel::calc {
namespace {
namespace fs = std::filesystem;
using ::testing::HasSubstr;

constexpr long kOtherDriver = 4242;

// A machine where process kOtherDriver runs or not, and a personal office
// runs or not.
bool otherRuns = true;
bool personalRuns = false;
LockHost FakeHost() {
  return LockHost{"here", [](long pid) { return pid == kOtherDriver && otherRuns; },
                  [] { return personalRuns; }};
}

std::string DriverUrl(long pid) {
  return "file:///tmp/gridmoor-office-" + std::to_string(pid) + "-a1B2c3/profile";
}

TEST(LockEntryText, RoundTripsWithEscapesAndRefusesWhatIsNoEntry) {
  const LockEntry entry{"Ann, the 2nd", "ann;x", "here", "01.02.2024 09:30", "file:///a\\b"};
  const std::string text = FormatLockEntry(entry);
  EXPECT_EQ(text, "Ann\\, the 2nd,ann\\;x,here,01.02.2024 09:30,file:///a\\\\b;");
  EXPECT_EQ(ParseLockEntry(text), entry);
  EXPECT_EQ(ParseLockEntry(",user,host,01.01.2024 10:00,file:///p;\n")->systemUser, "user");
  for (const char* bad : {"", "a,b,c,d,e", "a,b,c,d;", "a,b,c,d,e,f;", "a,b,c,d,e\\"})
    EXPECT_FALSE(ParseLockEntry(bad)) << bad;
}

TEST(LockEntryLife, EachKindOfWriterIsAskedItsOwnWay) {
  const struct {
    const char* what;
    std::string host;
    std::string url;
    bool otherRuns;
    bool personalRuns;
    bool live;
  } cases[] = {
      {"another host's", "there", DriverUrl(kOtherDriver), false, false, true},
      {"a running driver's", "here", DriverUrl(kOtherDriver), true, false, true},
      {"an ended driver's", "here", DriverUrl(kOtherDriver), false, true, false},
      {"this process's leftover", "here", DriverUrl(::getpid()), true, true, false},
      {"a person's, office running", "here", "file:///home/ann/.config/office/4", false, true,
       true},
      {"a person's, no office", "here", "file:///home/ann/.config/office/4", true, false, false},
  };
  for (const auto& c : cases) {
    otherRuns = c.otherRuns;
    personalRuns = c.personalRuns;
    EXPECT_EQ(LockIsLive(LockEntry{"u", "s", c.host, "t", c.url}, FakeHost(), false), c.live)
        << c.what;
  }
}

class WorkbookLockTest : public ::testing::Test {
 protected:
  void SetUp() override {
    otherRuns = true;
    personalRuns = false;
  }
  std::string LockText() const {
    return platform::ReadWholeFile(LockFilePath(Book()), nullptr).value_or("");
  }
  void WriteLock(const std::string& text) const { std::ofstream(LockFilePath(Book())) << text; }
  fs::path Book() const { return root_ / "book.xlsx"; }
  std::unique_ptr<WorkbookLock> Acquire() const {
    return WorkbookLock::Acquire(Book(), "/tmp/gridmoor-office-1-x/profile", FakeHost());
  }

  const test_support::TempFolder folder_;
  const fs::path root_ = folder_.path();
};

// Its user (this process) and its sharing until the last hold goes are
// calc_office_test.cpp's, through a real office.
TEST_F(WorkbookLockTest, TheFileIsBesideTheWorkbookAndNamesThisHostAndOffice) {
  EXPECT_EQ(LockFilePath(Book()), root_ / ".~lock.book.xlsx#");
  auto held = Acquire();
  const std::optional<LockEntry> entry = ParseLockEntry(LockText());
  ASSERT_TRUE(entry);
  EXPECT_EQ(entry->host, "here");
  EXPECT_EQ(entry->profileUrl, "file:///tmp/gridmoor-office-1-x/profile");
  held.reset();
  EXPECT_FALSE(fs::exists(LockFilePath(Book())));
}

// A live holder's refusal and a stale lock's take-over through a real office
// are calc_office's tests.
TEST_F(WorkbookLockTest, AnUnreadableLockIsRefusedAndAReplacedOneLeftToItsWriter) {
  WriteLock("garbage");
  const com::Error error = com_test::ErrorOf([&] { Acquire(); });
  EXPECT_EQ(error.hr(), kApplicationError);
  EXPECT_THAT(error.what(), HasSubstr("book.xlsx has a lock file that cannot be read"));
  const std::string theirs =
      FormatLockEntry({"Ann", "ann", "here", "01.02.2024 09:30", DriverUrl(kOtherDriver)});
  otherRuns = false;
  WriteLock(theirs);
  auto held = Acquire();
  EXPECT_THAT(LockText(), HasSubstr("Gridmoor (process"));
  WriteLock(theirs);
  held.reset();
  EXPECT_EQ(LockText(), theirs);
}

TEST_F(WorkbookLockTest, AFolderWhereNoFileCanBeMadeGivesAnEmptyHold) {
  const fs::path book = root_ / "gone" / "book.xlsx";
  EXPECT_NE(WorkbookLock::Acquire(book, "/tmp/p", FakeHost()), nullptr);
  EXPECT_FALSE(fs::exists(LockFilePath(book)));
}

}  // namespace
}  // namespace excel::calc
