// The platform's threads, events and files.
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <thread>
#include <tuple>
#include <vector>

#include "platform/event.h"
#include "platform/files.h"
#include "platform/thread.h"
#include "support/temp_folder.h"

namespace {

using namespace std::chrono_literals;

// Blocks until `count` threads wait on the event: the ordering the tests
// rely on comes from this, not from sleeping.
void AwaitWaiters(const platform::ManualResetEvent& event, std::size_t count) {
  while (event.WaiterCount() < count)
    std::this_thread::yield();
}

TEST(ManualResetEvent, StaysSetUntilReset) {
  platform::ManualResetEvent event(true);
  event.Wait();  // returns at once, and leaves the event set
  EXPECT_TRUE(event.IsSet());
  event.Reset();
  EXPECT_FALSE(event.WaitFor(0ms));
  event.Set();
  EXPECT_TRUE(event.WaitFor(0ms));
}

// One Set releases every blocked waiter, and only then, even when the event
// is reset right after: the waiters usually get to run only after the Reset;
// without the guarantee some round would hang here.
TEST(ManualResetEvent, OneSetReleasesEveryWaiterEvenWhenResetRightAfter) {
  platform::ManualResetEvent event;
  for (int round = 0; round < 300; ++round) {
    std::atomic<bool> released{false};
    std::atomic<int> woken{0};
    std::atomic<int> wokeEarly{0};
    std::vector<std::thread> waiters;
    for (int i = 0; i < 3; ++i) {
      waiters.emplace_back([&] {
        event.Wait();
        if (!released) ++wokeEarly;
        ++woken;
      });
    }
    AwaitWaiters(event, 3);
    released = true;
    event.Set();
    event.Set();  // setting twice is harmless
    event.Reset();
    for (std::thread& t : waiters)
      t.join();
    EXPECT_EQ(woken.load(), 3);
    EXPECT_EQ(wokeEarly.load(), 0) << "a waiter returned before the event was set";
    EXPECT_FALSE(event.IsSet());
  }
}

// The threaded mode's hand-over through these events is exercised by the
// threaded dispatch and stress tests.
TEST(Thread, AnExceptionInTheBodyDoesNotEndTheProcess) {
  std::atomic<bool> before{false};
  std::thread failing = platform::StartThread([&] {
    before = true;
    throw std::runtime_error("worker failed");
  });
  failing.join();  // reaching this line means the process was not terminated
  EXPECT_TRUE(before.load());
  platform::StartThread(nullptr).join();
}

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
  EXPECT_EQ(std::tuple(file.exists, file.isDirectory, file.size), std::tuple(true, false, 5u));
  const platform::FileStatus folder = platform::GetFileStatus(Path("sub").string());
  EXPECT_EQ(std::tuple(folder.exists, folder.isDirectory), std::tuple(true, true));

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
  ASSERT_EQ(platform::WriteFileAtomically(file, "first").Message(), "");
  fs::permissions(file, perms);
  fs::create_symlink("out.txt", link);
  ASSERT_EQ(platform::WriteFileAtomically(link, "second").Message(), "");
  EXPECT_TRUE(fs::is_symlink(link));
  std::error_code ec;
  EXPECT_EQ(platform::ReadWholeFile(file, &ec), "second");
  EXPECT_EQ(fs::status(file).permissions() & fs::perms::all, perms);
  EXPECT_EQ(std::distance(fs::directory_iterator(file.parent_path()), fs::directory_iterator()), 2);
}

TEST_F(FilesTest, AtomicWriteFailureIsReportedAndKeepsTheOldContent) {
  std::ofstream(Path("blocker")) << "a file where a folder is needed";
  EXPECT_NE(platform::WriteFileAtomically(Path("blocker/out.txt"), "x").Message().find("blocker"),
            std::string::npos);

  if (::geteuid() != 0) {  // root writes into read-only folders anyway
    fs::create_directory(Path("ro"));
    std::ofstream(Path("ro/kept.txt")) << "old";
    fs::permissions(Path("ro"), fs::perms::owner_read | fs::perms::owner_exec);
    EXPECT_TRUE(platform::WriteFileAtomically(Path("ro/kept.txt"), "new"));
    fs::permissions(Path("ro"), fs::perms::owner_all);
    std::error_code ec;
    EXPECT_EQ(platform::ReadWholeFile(Path("ro/kept.txt"), &ec), "old");
  }
  EXPECT_TRUE(platform::WriteFileAtomically("", "x"));
}

}  // namespace
