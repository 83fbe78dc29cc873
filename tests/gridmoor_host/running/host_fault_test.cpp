// Faults of a real run: signals in the middle of it, what the driver does
// silently that the program must say, and locks another user tampered with.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "excel/calc/locks/lock_file.h"
#include "excel/calc/process/office_pipes.h"
#include "host_test_support.h"

namespace {

using ::testing::HasSubstr;
using ::testing::Not;

namespace fs = std::filesystem;
using namespace hosttest;
using nlohmann::json;

struct Started {
  pid_t pid;
  fs::path err;
  int office;
};

// The gas-lift example run in the background until its office listens for
// the run, stderr kept in `folder`; office 0 when none started. The whole
// run takes about a second and a half from there, so the signal must come
// at once.
Started StartRun(const fs::path& folder) {
  Started run{0, folder / "stderr.txt", 0};
  run.pid = Spawn({"run", (Example("gaslift") / "scenario.json").string(), "--quiet", "--out",
                   (folder / "out").string()},
                  run.err);
  const bool listening = WaitFor(
      [&] {
        run.office = OfficeOf(run.pid);
        return run.office != 0 && !excel::calc::ListeningPipePaths(run.office).empty();
      },
      60);
  if (!listening) run.office = 0;
  return run;
}

// A first signal winds the run down (ASignalDuringALongDriverCall...); a
// second ends it at once.
TEST(IntegrationSignals, SecondSignalEndsAtOnce) {
  // A run that happens to wind down before the second signal arrives proves
  // nothing; the attempt is made again.
  bool atOnce = false;
  for (int attempt = 0; attempt < 4 && !atOnce; ++attempt) {
    Folder folder;
    const Started run = StartRun(folder.path());
    ASSERT_NE(run.office, 0);
    ::kill(run.pid, SIGTERM);
    // Once the first is delivered, or the kernel merges them into one;
    // winding down (end of run, stop, destroy) takes longer than that.
    const std::uint64_t term = 1ull << (SIGTERM - 1);
    ASSERT_TRUE(WaitFor([&] { return (test_support::PendingSignals(run.pid) & term) == 0; }, 5))
        << "the first SIGTERM was never delivered";
    ::kill(run.pid, SIGTERM);
    EXPECT_EQ(ExitStatus(run.pid), 128 + SIGTERM);
    const std::string err = ReadText(run.err);
    atOnce = err.find("stopping at once") != std::string::npos;
    if (!atOnce) {
      EXPECT_THAT(err, HasSubstr("interrupted by SIGTERM"));
    }
    EXPECT_TRUE(WaitFor([&] { return ProcessGone(run.office); }, 10))
        << "office " << run.office << " left";
  }
  EXPECT_TRUE(atOnce) << "the run always wound down before the second signal";
}

// The separator example whose PostSolve macro writes `mark` and then never
// returns: a driver call as long as the test makes it.
fs::path StallingScenario(const fs::path& folder, const fs::path& mark) {
  std::string workbook = ReadText(Example("separator") / "separator.fods");
  const std::string library = "<ooo:library-embedded ooo:name=\"Standard\">";
  workbook.insert(workbook.find(library) + library.size(),
                  "<ooo:module ooo:name=\"Stall\"><ooo:source-code>Sub Stall()\n"
                  "  Open \"" +
                      mark.string() +
                      "\" For Output As #1\n  Close #1\n"
                      "  Do\n    Wait 100\n  Loop\nEnd Sub\n</ooo:source-code></ooo:module>");
  std::ofstream(folder / "stall.fods") << workbook;
  return ExampleScenario("separator", folder / "s.json", [&](json& s) {
    s["workbook"] = (folder / "stall.fods").string();
    s["case"]["macros"]["PostSolve"]["macro"] = "Stall.Stall";
  });
}

TEST(IntegrationSignals, ASignalDuringALongDriverCallEndsTheOfficeAndTheRun) {
  Folder folder;
  const fs::path temp = folder.path() / "tmp";
  fs::create_directories(temp);
  const fs::path mark = folder.path() / "stalling";
  const fs::path scenario = StallingScenario(folder.path(), mark);
  const fs::path err = folder.path() / "stderr.txt";
  const pid_t pid =
      Spawn({"run", scenario.string(), "--quiet", "--out", (folder.path() / "out").string()}, err,
            false, [&] { ::setenv("TMPDIR", temp.c_str(), 1); });
  int office = 0;
  ASSERT_TRUE(WaitFor([&] { return (office = OfficeOf(pid)) != 0; }, 60))
      << "no office started: " << ReadText(err);
  ASSERT_TRUE(WaitFor([&] { return fs::exists(mark) || ProcessGone(pid); }, 120))
      << "the stalling macro never ran: " << ReadText(err);
  ASSERT_FALSE(ProcessGone(pid)) << "the run ended before the signal: " << ReadText(err);
  ::kill(pid, SIGTERM);
  bool ended = false;
  EXPECT_TRUE(WaitFor([&] { return ended = ProcessGone(pid); }, 20)) << "no end 20 s after SIGTERM";
  if (!ended) ::kill(pid, SIGKILL);
  EXPECT_EQ(ExitStatus(pid), 128 + SIGTERM) << ReadText(err);
  const std::string said = ReadText(err);
  EXPECT_EQ(said.find('\n'), said.size() - 1) << "one line: " << said;
  EXPECT_THAT(said, HasSubstr("interrupted by SIGTERM at timestep 0"));
  const json summary = ReadJson(folder.path() / "out" / "summary.json");
  EXPECT_EQ(summary["status"], "interrupted");
  const std::string notes = summary["notes"].dump();
  EXPECT_THAT(notes, HasSubstr("interrupted by SIGTERM at timestep 0"));
  EXPECT_THAT(notes, HasSubstr("the office was ended"));
  EXPECT_TRUE(WaitFor([&] { return ProcessGone(office); }, 10)) << "office " << office << " left";
  // No scratch or office folder is left.
  EXPECT_EQ(EntriesNamed(temp, "gridmoor-"), std::vector<fs::path>{});
}

// What the driver does silently is said; an empty output cell is a missing
// value, not a failure: the run says which cell it was and when, once for
// all the timesteps.
TEST(IntegrationNotes, WhatTheDriverDoesSilentlyAndEmptyOutputCellsAreSaid) {
  Folder folder;
  std::ofstream(folder.path() / "garbage.gmd") << "not a model data file";
  const fs::path scenario = ExampleScenario("separator", folder.path() / "s.json", [&](json& s) {
    s["case"]["inputStreams"][0]["sheetName"] = "NoSuchSheet";
    s["case"]["outputStreams"][1]["propertyCells"][3]["cell"] = "Z99";
    s.erase("publishedVariables");
    s["modelDataFile"] = (folder.path() / "garbage.gmd").string();
  });
  const Result r = RunQuiet(scenario, folder.path() / "out", folder.path());
  EXPECT_EQ(r.status, 0) << r.err;
  for (const char* said :
       {"input stream In-1: the workbook had no sheet 'NoSuchSheet'; the driver added it",
        "the model data file cannot be read (", "garbage.gmd"})
    EXPECT_THAT(r.err, HasSubstr(said)) << said << "\n" << r.err;
  const std::string notes = ReadJson(folder.path() / "out" / "summary.json")["notes"].dump();
  EXPECT_THAT(notes, HasSubstr("NoSuchSheet"));
  EXPECT_THAT(notes, HasSubstr("model data file"));
  EXPECT_THAT(
      notes,
      HasSubstr("output stream Out-2: pressure cell Outputs!Z99 was empty at timesteps 0-2"));
  EXPECT_THAT(notes, Not(HasSubstr("Out-1"))) << "its cells all hold numbers: " << notes;
}

// Another user's FIFOs in place of a workbook's registry entries let two
// runs by two paths both save with status 0; a FIFO as the office's lock
// file beside it hung the run. Each is now a refusal at once, naming the
// FIFO, and the workbook is left as it was.
TEST(IntegrationLocks, FifosInPlaceOfLocksStopTheRunsAtOnce) {
  const std::string original = ReadText(Example("separator") / "separator.fods");
  for (const bool registry : {true, false}) {
    SCOPED_TRACE(registry ? "registry FIFOs" : "lock file FIFO");
    Folder folder;
    const fs::path book = folder.path() / "separator.fods";
    fs::copy_file(Example("separator") / "separator.fods", book);
    std::vector<fs::path> fifos = {folder.path() / ".~lock.separator.fods#"};
    if (registry) {
      fifos.clear();
      for (const std::string& key : excel::calc::IdentityKeys(book))
        fifos.push_back(excel::calc::LockRegistryFolder() / key);
    }
    for (const fs::path& fifo : fifos) {
      ASSERT_EQ(::mkfifo(fifo.c_str(), 0666), 0) << fifo;
      if (::getuid() == 0) {
        ASSERT_EQ(::chown(fifo.c_str(), 4321, 4321), 0);
      }
    }
    const fs::path scenario = ExampleScenario("separator", folder.path() / "s.json",
                                              [&](json& s) { s["workbook"] = book.string(); });
    const pid_t run = Spawn(
        {"run", scenario.string(), "--quiet", "--save", "--out", (folder.path() / "out").string()},
        folder.path() / "err.txt");
    EXPECT_EQ(ExitStatusWithin(run, std::chrono::seconds(120)), 1);
    EXPECT_THAT(ReadText(folder.path() / "err.txt"), HasSubstr("a FIFO of user"));
    EXPECT_EQ(ReadText(book), original);
    for (const fs::path& fifo : fifos)
      fs::remove(fifo);
  }
}

}  // namespace
