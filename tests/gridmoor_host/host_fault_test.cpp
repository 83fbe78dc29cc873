// Faults of a real run: signals in the middle of it, and what the driver
// does silently that the program must say.
#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

#include <nlohmann/json.hpp>

#include "host_test_support.h"

namespace {

namespace fs = std::filesystem;
using hosttest::ExitStatus;
using hosttest::Folder;
using hosttest::Gone;
using hosttest::ReadText;
using hosttest::WaitFor;
using nlohmann::json;

struct Started {
  pid_t pid;
  fs::path err;
  int office;
};

// The gas-lift example run in the background until it is into its
// optimisation, stderr kept in `folder`; office 0 when none started.
Started StartRun(const fs::path& folder) {
  Started run{0, folder / "stderr.txt", 0};
  run.pid = hosttest::Spawn({"run", (hosttest::Example("gaslift") / "scenario.json").string(),
                             "--quiet", "--out", (folder / "out").string()},
                            run.err);
  if (WaitFor([&] { return (run.office = hosttest::OfficeOf(run.pid)) != 0; }, 60))
    std::this_thread::sleep_for(std::chrono::seconds(2));
  return run;
}

TEST(IntegrationSignals, FirstSignalWindsTheRunDownAndWritesWhatItGot) {
  for (const int signal : {SIGINT, SIGTERM}) {
    Folder folder;
    const Started run = StartRun(folder.path());
    ASSERT_NE(run.office, 0);
    ::kill(run.pid, signal);
    const std::string name = signal == SIGINT ? "SIGINT" : "SIGTERM";
    EXPECT_EQ(ExitStatus(run.pid), 128 + signal) << name;
    const std::string err = ReadText(run.err);
    EXPECT_EQ(err.find('\n'), err.size() - 1) << "one line: " << err;
    EXPECT_NE(err.find("interrupted by " + name), std::string::npos) << err;
    const json summary = json::parse(ReadText(folder.path() / "out" / "summary.json"));
    EXPECT_EQ(summary["status"], "interrupted");
    EXPECT_NE(summary["notes"].dump().find("interrupted by " + name), std::string::npos);
    EXPECT_TRUE(WaitFor([&] { return Gone(run.office); }, 10))
        << "office " << run.office << " left";
  }
}

TEST(IntegrationSignals, SecondSignalEndsAtOnce) {
  // A run that happens to wind down before the second signal arrives proves
  // nothing; the attempt is made again.
  bool atOnce = false;
  for (int attempt = 0; attempt < 4 && !atOnce; ++attempt) {
    Folder folder;
    const Started run = StartRun(folder.path());
    ASSERT_NE(run.office, 0);
    ::kill(run.pid, SIGTERM);
    // Apart, or the kernel merges them into one; winding down (end of run,
    // stop, destroy) takes longer than this.
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
    ::kill(run.pid, SIGTERM);
    EXPECT_EQ(ExitStatus(run.pid), 128 + SIGTERM);
    const std::string err = ReadText(run.err);
    atOnce = err.find("stopping at once") != std::string::npos;
    if (!atOnce) {
      EXPECT_NE(err.find("interrupted by SIGTERM"), std::string::npos) << err;
    }
    EXPECT_TRUE(WaitFor([&] { return Gone(run.office); }, 10))
        << "office " << run.office << " left";
  }
  EXPECT_TRUE(atOnce) << "the run always wound down before the second signal";
}

TEST(IntegrationNotes, WhatTheDriverDoesSilentlyIsSaid) {
  Folder folder;
  std::ofstream(folder.path() / "garbage.gmd") << "not a model data file";
  const fs::path scenario =
      hosttest::ExampleScenario("separator", folder.path() / "s.json", [&](json& s) {
        s["case"]["inputStreams"][0]["sheetName"] = "NoSuchSheet";
        s.erase("publishedVariables");
        s["modelDataFile"] = (folder.path() / "garbage.gmd").string();
      });
  const hosttest::Result r = hosttest::Host(
      "run " + scenario.string() + " --quiet --out " + (folder.path() / "out").string(),
      folder.path());
  EXPECT_EQ(r.status, 0) << r.err;
  for (const char* said :
       {"input stream In-1: the workbook had no sheet 'NoSuchSheet'; the driver added it",
        "the model data file cannot be read (", "garbage.gmd"})
    EXPECT_NE(r.err.find(said), std::string::npos) << said << "\n" << r.err;
  const json summary = json::parse(ReadText(folder.path() / "out" / "summary.json"));
  EXPECT_NE(summary["notes"].dump().find("NoSuchSheet"), std::string::npos);
  EXPECT_NE(summary["notes"].dump().find("model data file"), std::string::npos);
}

// An empty output cell is a missing value, not a failure: the run says which
// cell it was and when, once for all the timesteps.
TEST(IntegrationNotes, EmptyOutputCellsAreListedOncePerStreamAndField) {
  Folder folder;
  const fs::path scenario = hosttest::ExampleScenario(
      "separator", folder.path() / "s.json",
      [&](json& s) { s["case"]["outputStreams"][1]["propertyCells"][3]["cell"] = "Z99"; });
  const hosttest::Result r = hosttest::Host(
      "run " + scenario.string() + " --quiet --out " + (folder.path() / "out").string(),
      folder.path());
  EXPECT_EQ(r.status, 0) << r.err;
  const json summary = json::parse(ReadText(folder.path() / "out" / "summary.json"));
  const std::string notes = summary["notes"].dump();
  EXPECT_NE(notes.find("output stream Out-2: pressure cell Outputs!Z99 was empty at timesteps 0-2"),
            std::string::npos)
      << notes;
  EXPECT_EQ(notes.find("Out-1"), std::string::npos) << "its cells all hold numbers: " << notes;
}

}  // namespace
