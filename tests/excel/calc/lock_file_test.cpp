// The lock files: their text, whose lock still counts, and holding one.
#include "excel/calc/locks/lock_file.h"
#include "excel/calc/locks/lock_registry.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <tuple>

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

// A machine where process kOtherDriver and a personal office run or not.
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

// Holding the workbook's registry locks proves every driver's lock of this
// host stale, whatever runs under its process id; nobody else's.
TEST(LockEntryLife, EachKindOfWriterIsAskedItsOwnWay) {
  const std::string person = "file:///home/ann/.config/office/4";
  // What, the lock's host and profile, whether the other driver and a personal
  // office run, whether the registry locks are held, and whether it lives.
  const std::tuple<const char*, std::string, std::string, bool, bool, bool, bool> cases[] = {
      {"another host's", "there", DriverUrl(kOtherDriver), false, false, false, true},
      {"a running driver's", "here", DriverUrl(kOtherDriver), true, false, false, true},
      {"an ended driver's", "here", DriverUrl(kOtherDriver), false, true, false, false},
      {"this process's leftover", "here", DriverUrl(::getpid()), true, true, false, false},
      {"a person's, office running", "here", person, false, true, false, true},
      {"a person's, no office", "here", person, true, false, false, false},
      {"a running driver's, held", "here", DriverUrl(kOtherDriver), true, true, true, false},
      {"another host's, held", "there", DriverUrl(kOtherDriver), true, true, true, true},
      {"a person's, held", "here", person, true, true, true, true}};
  for (const auto& [what, host, url, other, personal, held, live] : cases) {
    std::tie(otherRuns, personalRuns) = std::pair(other, personal);
    EXPECT_EQ(LockIsLive(LockEntry{"u", "s", host, "t", url}, FakeHost(), held), live) << what;
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

// Holders by other paths and the sharing until the last hold goes:
// calc_office_test.cpp, through a real office.
TEST_F(WorkbookLockTest, TheFileIsBesideTheWorkbookAndNamesThisHostAndOffice) {
  EXPECT_EQ(LockFilePath(Book()), root_ / ".~lock.book.xlsx#");
  auto held = Acquire();
  const std::optional<LockEntry> entry = ParseLockEntry(LockText());
  ASSERT_TRUE(entry);
  EXPECT_EQ(entry->host, "here");
  EXPECT_EQ(entry->profileUrl, "file:///tmp/gridmoor-office-1-x/profile");
  held.reset();
  EXPECT_FALSE(fs::exists(LockFilePath(Book())));
  // A folder where no file can be made gives an empty hold.
  const fs::path book = root_ / "gone" / "book.xlsx";
  EXPECT_NE(WorkbookLock::Acquire(book, "/tmp/p", FakeHost()), nullptr);
  EXPECT_FALSE(fs::exists(LockFilePath(book)));
}

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

// Whether another process may take the registry file of `key` now.
bool RegistryKeyFree(const std::string& key) {
  const int fd = ::open((LockRegistryFolder() / key).c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return true;
  const bool free = ::flock(fd, LOCK_EX | LOCK_NB) == 0;
  ::close(fd);
  return free;
}

// A live lock without a registry lock behind it (a person's office) makes
// the hold read-only and says which file to remove if it is stale.
TEST_F(WorkbookLockTest, AReadOnlyHoldSaysWhoAndWhichFileClearsAStaleLock) {
  std::ofstream(Book()) << "x";
  personalRuns = true;
  WriteLock(FormatLockEntry({"Ann", "ann", "here", "01.02.2024 09:30", "file:///home/ann/p"}));
  auto held = Acquire();
  ASSERT_TRUE(held->ReadOnly());
  EXPECT_THAT(held->Holder(), HasSubstr("Ann on here since 01.02.2024 09:30"));
  EXPECT_THAT(held->Holder(), HasSubstr(LockFilePath(Book()).string()));
  for (const std::string& key : IdentityKeys(Book()))
    EXPECT_TRUE(RegistryKeyFree(key)) << key;
  held.reset();
  EXPECT_THAT(LockText(), HasSubstr("Ann"));  // not this process's to remove
}

// A folder or a link in place of a registry entry or the lock file is
// refused at once, naming it, and leaves nothing held (a FIFO: the host's).
TEST_F(WorkbookLockTest, AnEntryOrALockFileThatIsNoPlainFileIsRefusedNamingIt) {
  std::ofstream(Book()) << "x";
  std::ofstream(root_ / "entry") << FormatLockEntry({"A", "a", "here", "t", "file:///p"});
  const fs::path registry = LockRegistryFolder() / IdentityKeys(Book())[0];
  const fs::path lock = LockFilePath(Book());
  const std::tuple<fs::path, std::function<void(const fs::path&)>, const char*> kEntries[] = {
      {registry, [](const fs::path& p) { fs::create_directory(p); }, "a folder"},
      {registry, [&](const fs::path& p) { fs::create_symlink(root_ / "nothing", p); },
       "a symbolic link"},
      {lock, [](const fs::path& p) { fs::create_directory(p); }, "a folder"},
      {lock, [&](const fs::path& p) { fs::create_symlink(root_ / "entry", p); },
       "a symbolic link"}};
  for (const auto& [entry, make, kind] : kEntries) {
    SCOPED_TRACE(entry.string());
    make(entry);
    const com::Error error = com_test::ErrorOf([&] { Acquire(); });
    EXPECT_EQ(error.hr(), kApplicationError);
    EXPECT_THAT(error.what(),
                HasSubstr(entry == lock ? "book.xlsx has a lock file that cannot be read"
                                        : entry.string() + " is " + kind));
    EXPECT_THAT(error.what(), HasSubstr(kind));
    fs::remove(entry);
    for (const std::string& key : IdentityKeys(Book()))
      EXPECT_TRUE(RegistryKeyFree(key)) << key;
  }
  EXPECT_FALSE(Acquire()->ReadOnly());
}

// Makes a folder of `mode`, of user `owner` unless 0.
std::function<void(const fs::path&)> Folder(mode_t mode, uid_t owner = 0) {
  return [=](const fs::path& p) {
    fs::create_directory(p);
    ::chmod(p.c_str(), mode);
    if (owner != 0) {
      ASSERT_EQ(::chown(p.c_str(), owner, owner), 0);
    }
  };
}

// A folder that someone else could empty holds no lock; a missing one is
// made sticky and shared.
TEST(LockRegistry, OnlyAFolderNobodyElseCanEmptyIsTrusted) {
  const test_support::TempFolder folder;
  const fs::path root = folder.path();
  // How to prepare the folder, the problem's words (empty: none).
  const std::tuple<const char*, std::function<void(const fs::path&)>, const char*> kFolders[] = {
      {"missing", [](const fs::path&) {}, ""},
      {"own private", Folder(0700), ""},
      {"own open", Folder(0777), "not sticky"},
      {"another user's sticky", Folder(01777, 4321), ""},
      {"another user's private", Folder(0755, 4321), "belongs to user 4321"},
      {"a link to a good one",
       [](const fs::path& p) {
         fs::create_directory(p.string() + "-real");
         fs::create_symlink(p.string() + "-real", p);
       },
       "is a symbolic link"},
      {"a file", [](const fs::path& p) { std::ofstream(p) << ""; }, "is a file"}};
  int n = 0;
  for (const auto& [what, make, problem] : kFolders) {
    if (::getuid() != 0 && std::string_view(what).starts_with("another")) continue;
    const fs::path path = root / ("registry" + std::to_string(n++));
    make(path);
    const std::optional<std::string> found = RegistryFolderProblem(path);
    if (*problem == '\0') {
      EXPECT_FALSE(found) << what << ": " << found.value_or("");
    } else {
      ASSERT_TRUE(found) << what;
      EXPECT_THAT(*found, HasSubstr(path.string())) << what;
      EXPECT_THAT(*found, HasSubstr(problem)) << what;
    }
  }
  EXPECT_EQ(fs::status(root / "registry0").permissions() & fs::perms::sticky_bit,
            fs::perms::sticky_bit);
}

}  // namespace
}  // namespace excel::calc
