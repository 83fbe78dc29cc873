
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <tuple>

#include "calc_test_support.h"
#include "com/error.h"
#include "excel/calc/macros/office_reach.h"
#include "excel/calc/process/child_process.h"
#include "excel/calc/process/office_launcher.h"
#include "excel/calc/process/office_leftovers.h"
#include "excel/calc/process/office_pipes.h"
#include "excel/calc/process/office_profile.h"
#include "excel/calc/process/office_program.h"
#include "support/temp_folder.h"
#include "support/wait.h"

namespace excel::calc {
namespace {
namespace fs = std::filesystem;

class OfficeProgramTest : public ::testing::Test {
 protected:
  // An executable file (or not) at root/relative.
  fs::path MakeFile(const std::string& relative, bool executable = true) {
    const fs::path path = root_ / relative;
    fs::create_directories(path.parent_path());
    std::ofstream(path) << "#!/bin/sh\n";
    fs::permissions(path, executable ? fs::perms::owner_all : fs::perms::owner_read);
    return path;
  }

  const test_support::TempFolder folder_;
  const fs::path root_ = folder_.path();
};

TEST_F(OfficeProgramTest, TheOverrideAloneIsLookedAtElsePathThenTheUsualFolders) {
  const fs::path program = MakeFile("office/program/soffice.bin");
  const fs::path other = MakeFile("other/soffice.bin");
  const std::string path = (root_ / "other").string();
  // A folder, the wrapper's name or the program itself.
  EXPECT_EQ(FindOfficeProgramIn((root_ / "office/program").string(), path, {}), program);
  MakeFile("office/program/soffice");
  EXPECT_EQ(FindOfficeProgramIn((root_ / "office/program/soffice").string(), path, {}), program);
  EXPECT_EQ(FindOfficeProgramIn(program.string(), path, {}), program);
  // A missing override does not fall back to PATH.
  EXPECT_EQ(FindOfficeProgramIn((root_ / "missing").string(), path, {}), std::nullopt);
  // An empty one is no override.
  EXPECT_EQ(FindOfficeProgramIn(std::string(), path, {}), other);
  // The wrapper on PATH leads to the program beside it.
  fs::create_directories(root_ / "bin");
  fs::create_symlink(root_ / "office/program/soffice", root_ / "bin/soffice");
  EXPECT_EQ(FindOfficeProgramIn(std::nullopt, "/nonexistent:" + (root_ / "bin").string(), {}),
            program);
  // The usual folders come last and need an executable.
  MakeFile("usual1/soffice.bin", false);
  const fs::path usual = MakeFile("usual2/soffice.bin");
  EXPECT_EQ(FindOfficeProgramIn(std::nullopt, "", {root_ / "usual1", root_ / "usual2"}), usual);
  EXPECT_EQ(FindOfficeProgramIn(std::nullopt, "", {root_ / "usual1"}), std::nullopt);
  EXPECT_EQ(FindOfficeProgramIn(std::nullopt, "::", {}), std::nullopt);
}

TEST_F(OfficeProgramTest, TheVersionIsTheAboutBoxPropertyOfTheRegistryBesideTheProgram) {
  const fs::path program = MakeFile("office/program/soffice.bin");
  const fs::path registry = root_ / "office/share/registry/main.xcd";
  fs::create_directories(registry.parent_path());
  const std::string property = "<prop oor:name=\"ooSetupVersionAboutBox\">";
  // Megabytes of other items come before it in the office's own file.
  const std::string before(3 << 20, ' ');
  const struct {
    std::string xml;
    std::optional<std::string> version;
  } cases[] = {
      {before + property + "<value>25.2.3</value></prop>", "25.2.3"},
      {property + "\n  <value>7.4</value>" + before + "<value>9</value>", "7.4"},
      // The file is read in pieces of 64 KiB: the property, or its value,
      // across the end of one.
      {std::string((1 << 16) - 10, ' ') + property + "<value>1.2</value>", "1.2"},
      {std::string((1 << 16) - property.size() - 3, ' ') + property + "<value>3.4</value>", "3.4"},
      {before + "<prop oor:name=\"ooSetupVersion\"><value>25.2</value></prop>", std::nullopt},
      {property + "<value>25.2 beta</value>", std::nullopt},
      {property + "<value></value>", std::nullopt},
      {property + "<value>25.2", std::nullopt},
      {property + "<value>" + std::string(70, '1') + "</value>", std::nullopt},
      {"", std::nullopt},
  };
  for (const auto& c : cases) {
    std::ofstream(registry, std::ios::binary | std::ios::trunc) << c.xml;
    EXPECT_EQ(OfficeVersionOf(program), c.version) << c.xml.substr(0, 80);
  }
  fs::remove(registry);
  EXPECT_EQ(OfficeVersionOf(program), std::nullopt);
}

TEST(OfficeFiles, UrlsEncodeEverythingButPlainCharactersAndPathsAreMadeAbsolute) {
  EXPECT_EQ(FileUrlFromPath("/tmp/a b/Ü#1.ods"), "file:///tmp/a%20b/%C3%9C%231.ods");
  EXPECT_EQ(FileUrlFromPath("/x/y_z-1.~"), "file:///x/y_z-1.~");
  // Absolute paths are made normal; relative ones start here.
  const std::string here = fs::current_path().string();
  const std::pair<std::string, std::string> cases[] = {
      {"/data/./models/../book.xlsx", "/data/book.xlsx"},
      {"sub/../other/./book.ods", here + "/other/book.ods"}};
  for (const auto& [path, expected] : cases)
    EXPECT_EQ(AbsolutePath(path), expected) << path;
}

const std::vector<std::string> kEnvironment = {"PATH=/usr/bin:/bin"};

// The pid of a child that has ended, as an office killed while saving.
long EndedChildPid() {
  const std::shared_ptr<ChildProcess> child = ChildProcess::Start("/bin/true", {}, kEnvironment);
  EXPECT_TRUE(child->WaitForExit(std::chrono::seconds(10)));
  return child->Pid();
}

TEST_F(OfficeProgramTest, LeftoversOfEndedProcessesAreRemovedAndOthersKept) {
  const std::string self = std::to_string(::getpid());
  const std::string dead = std::to_string(EndedChildPid());
  const std::vector<std::string> folders = {"gridmoor-office-" + dead + "-a1",
                                            "gridmoor-office-" + self + "-b2", "gridmoor-office-x",
                                            "other-" + dead + "-c3"};
  for (const std::string& folder : folders)
    fs::create_directories(root_ / folder / "profile");
  const std::string pipes = "/tmp/OSL_PIPE_" + std::to_string(::getuid()) + "_gridmoor_";
  std::ofstream(pipes + dead + "_1_test");
  std::ofstream(pipes + self + "_1_test");

  RemoveLeftoversOfEndedProcesses(root_);
  EXPECT_FALSE(fs::exists(root_ / ("gridmoor-office-" + dead + "-a1")));
  EXPECT_TRUE(fs::exists(root_ / ("gridmoor-office-" + self + "-b2")));
  EXPECT_TRUE(fs::exists(root_ / "gridmoor-office-x"));
  EXPECT_TRUE(fs::exists(root_ / ("other-" + dead + "-c3")));
  EXPECT_FALSE(fs::exists(pipes + dead + "_1_test"));
  EXPECT_TRUE(fs::exists(pipes + self + "_1_test"));
  fs::remove(pipes + self + "_1_test");
}

// A file last written `age` ago.
void MakeAgedFile(const fs::path& path, std::chrono::seconds age) {
  std::ofstream(path) << "partly saved workbook";
  const auto when = fs::file_time_type::clock::now() - age;
  fs::last_write_time(path, when);
}

// Only what an ended office of this process wrote after it started goes;
// the user's files of like names, and what was there before, stay.
TEST_F(OfficeProgramTest, OnlyTempFilesAnEndedOfficeOfThisProcessMadeAreRemoved) {
  using std::chrono::minutes;
  const long ended = EndedChildPid();
  const std::string id = std::to_string(ended);
  const StartedOffice office{ended, std::chrono::system_clock::now() - minutes(5)};
  const StartedOffice running{::getpid(), office.started};
  const std::string self = std::to_string(::getpid());
  // The name, its age and whether it goes.
  const std::tuple<std::string, minutes, bool> kCases[] = {
      {"lu" + id + "7lupk.tmp", minutes(1), true},  // what a killed office leaves
      {"lu" + id + "0.tmp", minutes(0), true},
      {"lu" + id + "7lupk.tmp.xlsx", minutes(1), false},
      {"lu" + id + "7LUPK.tmp", minutes(1), false},
      {"lu" + id + "12345678.tmp", minutes(1), false},  // no 32-bit counter
      {"lu" + id + "7lupl.tmp", minutes(10), false},    // there before the office started
      {"lu" + self + "7lupk.tmp", minutes(1), false},   // its office still runs
      {"lunch.tmp", minutes(10), false},
      {"blu" + id + "7lupk.tmp", minutes(1), false}};
  for (const auto& [name, age, removed] : kCases)
    MakeAgedFile(root_ / name, age);
  fs::create_directory(root_ / ("lu" + id + "1.tmp"));  // a folder is no temporary file
  fs::create_symlink(root_ / "lunch.tmp", root_ / ("lu" + id + "2.tmp"));

  const std::vector<fs::path> removed = RemoveOfficeTempFilesIn(root_, {office, running});
  for (const auto& [name, age, gone] : kCases) {
    EXPECT_EQ(fs::exists(root_ / name), !gone) << name;
    EXPECT_EQ(std::count(removed.begin(), removed.end(), root_ / name), gone ? 1 : 0) << name;
  }
  EXPECT_TRUE(fs::is_directory(root_ / ("lu" + id + "1.tmp")));
  EXPECT_TRUE(fs::is_symlink(root_ / ("lu" + id + "2.tmp")));
  EXPECT_EQ(removed.size(), 2u);
  EXPECT_TRUE(RemoveOfficeTempFilesIn(root_, {}).empty());
}

TEST_F(OfficeProgramTest, AnOfficeTempFileAnOfficeHoldsOpenIsKept) {
  const long ended = EndedChildPid();
  const StartedOffice maker{ended, std::chrono::system_clock::now() - std::chrono::minutes(5)};
  // A process named as the office is, holding the file open on fd 3.
  const fs::path program = root_ / "bin" / "soffice.bin";
  fs::create_directories(program.parent_path());
  fs::copy_file("/bin/sleep", program);
  const fs::path held = root_ / ("lu" + std::to_string(ended) + "5k2x.tmp");
  const fs::path loose = root_ / ("lu" + std::to_string(ended) + "5k2y.tmp");
  MakeAgedFile(held, std::chrono::seconds(1));
  MakeAgedFile(loose, std::chrono::seconds(1));
  const std::shared_ptr<ChildProcess> office = ChildProcess::Start(
      "/bin/sh", {"-c", "exec 3<\"$0\"; exec \"$1\" 60", held.string(), program.string()},
      kEnvironment);
  ASSERT_TRUE(test_support::WaitFor(
      [&] { return test_support::ProcessName(office->Pid()) == "soffice.bin"; }, 5))
      << "the stand-in office never ran";

  EXPECT_EQ(RemoveOfficeTempFilesIn(root_, {maker}), std::vector<fs::path>{loose});
  EXPECT_TRUE(fs::exists(held));
  office->Kill();
  EXPECT_EQ(RemoveOfficeTempFilesIn(root_, {maker}), std::vector<fs::path>{held});
}

TEST(ChildProcesses, OnlyAnEndOrAKillCountsAsEndedAndAKilledChildHasEndedAtOnce) {
  // Repeated: a check that only waits for the zombie passes now and then.
  for (int round = 0; round < 20; ++round) {
    const std::shared_ptr<ChildProcess> child =
        ChildProcess::Start("/bin/sleep", {"30"}, kEnvironment);
    EXPECT_FALSE(child->Ended());
    ASSERT_EQ(::kill(child->Pid(), SIGKILL), 0);
    EXPECT_TRUE(child->Ended()) << "round " << round;
    ASSERT_TRUE(child->WaitForExit(std::chrono::seconds(10)));
    EXPECT_TRUE(child->Ended());
    EXPECT_EQ(child->ExitStatus(), 128 + SIGKILL);
  }
  // Only an end or a kill counts as ended (an exit: calc_office_test.cpp's).
  const std::shared_ptr<ChildProcess> stopped =
      ChildProcess::Start("/bin/sleep", {"30"}, kEnvironment);
  ASSERT_TRUE(testing::Freeze(stopped->Pid()));
  ASSERT_EQ(::kill(stopped->Pid(), SIGTERM), 0);  // stays queued while stopped
  EXPECT_FALSE(stopped->Ended());
  ASSERT_EQ(::kill(stopped->Pid(), SIGKILL), 0);  // ends even a stopped process
  EXPECT_TRUE(stopped->Ended());
}

// The live processes running sleep in `leader`'s group or started by it,
// but for the leader itself.
std::size_t SleepersStartedBy(int leader) {
  std::size_t found = 0;
  for (const auto& entry : fs::directory_iterator("/proc")) {
    const int pid = std::atoi(entry.path().filename().c_str());
    if (pid <= 0 || pid == leader || test_support::ProcessName(pid) != "sleep") continue;
    const std::string stat = test_support::FirstLineOf((entry.path() / "stat").string());
    std::istringstream rest(stat.substr(stat.rfind(')') + 1));
    char state = 0;
    int parent = 0, group = 0;
    rest >> state >> parent >> group;
    if ((parent == leader || group == leader) && state != 'Z' && state != 'X') ++found;
  }
  return found;
}

// A background process in the child's group, one reparented (still of the
// group), one in a session of its own: ended, the child left running.
TEST(ChildProcesses, EveryProcessAChildStartedIsEndedAndTheChildRunsOn) {
  const std::tuple<const char*, std::size_t> cases[] = {
      {"exec sleep 30", 0},
      {"sleep 30 & exec sleep 30", 1},
      {"(sleep 30 &); exec sleep 30", 1},
      {"setsid sleep 30 & sleep 30 & exec sleep 30", 2},
  };
  for (const auto& [script, count] : cases) {
    SCOPED_TRACE(script);
    const std::shared_ptr<ChildProcess> child =
        ChildProcess::Start("/bin/sh", {"-c", script}, kEnvironment);
    // Once all of them sleep, none is still on its way there.
    ASSERT_TRUE(test_support::WaitFor(
        [&, count = count] {
          return test_support::ProcessName(child->Pid()) == "sleep" &&
                 SleepersStartedBy(child->Pid()) == count;
        },
        10))
        << "the shell and what it started never all reached their sleep";
    EXPECT_EQ(child->EndDescendants(), count);
    // Killed is not yet dead: one still dying is not counted again.
    EXPECT_EQ(child->EndDescendants(), 0u) << "a process already ended counted as left behind";
    EXPECT_TRUE(test_support::WaitFor([&] { return SleepersStartedBy(child->Pid()) == 0; }, 10))
        << "a process the child started outlived its SIGKILL";
    EXPECT_EQ(child->EndDescendants(), 0u) << "nothing is left to end";
    EXPECT_FALSE(child->Ended());
    child->Kill();
  }
}

// Which words are calls that outlive a document (the host's run-many runs them).
TEST(OfficeReach, CallsThatOutliveTheirDocumentAreFoundAsWholeNames) {
  const std::pair<const char*, std::optional<std::string>> cases[] = {
      {"Sub A\n  x = 1\nEnd Sub", std::nullopt},
      {"Dim ShellCount As Integer\nx = MyShell + Shell_2", std::nullopt},
      {"GetDefaultContext().getValueByName(\"/singletons/com.sun.star.frame."
       "theGlobalEventBroadcaster\")",
       "theGlobalEventBroadcaster"},
      {"p.createInstanceWithArguments(\"com.sun.star.configuration.ConfigurationUpdateAccess\", a)",
       "ConfigurationUpdateAccess"},
      {"StarDesktop.addTerminateListener(t): Shell x", "addTerminateListener"},
  };
  for (const auto& [source, call] : cases)
    EXPECT_EQ(CallReachingTheOffice(source), call) << source;
}

TEST(ChildProcesses, OutlivesTheThreadThatAskedForItAndEndsWithItsLastHold) {
  // The parent-death signal follows the forking thread: a child asked for
  // by a short-lived thread must not die with that thread.
  std::shared_ptr<ChildProcess> child;
  std::thread asker([&] { child = ChildProcess::Start("/bin/sleep", {"30"}, kEnvironment); });
  asker.join();
  ASSERT_TRUE(child);
  // Past the program's start, the death signal is set; had the thread's end
  // sent it, it would be pending or done.
  ASSERT_TRUE(test_support::WaitFor(
      [&] {
        return test_support::ProcessName(child->Pid()) == "sleep" ||
               child->ExitStatus().has_value();
      },
      10))
      << "the child never ran its program";
  EXPECT_EQ(child->ExitStatus(), std::nullopt);
  EXPECT_EQ(test_support::PendingSignals(child->Pid()), 0u);
  EXPECT_TRUE(ListeningPipePaths(child->Pid()).empty());
  // Releasing the last hold ends the child: killed and reaped, not a zombie.
  const int pid = child->Pid();
  child.reset();
  EXPECT_NE(::kill(pid, 0), 0);
}

}  // namespace
}  // namespace excel::calc
