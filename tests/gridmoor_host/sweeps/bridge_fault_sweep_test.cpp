// A dead office at a bridge call of a whole run of the program: each
// example runs once unfaulted, counting its bridge calls, then once with
// the office killed on entering each call SampleCalls picks. Every faulted
// run must fail with status 1 and one line naming the command, write
// summary.json with the timestep it reached, leave the workbook as it was
// (or completely saved, when --save was asked and the save had finished)
// and leave no office, lock file or temporary folder behind. The same fault
// in `workbook check` (every call, always) and in run-many on warm offices:
// one line, the workbook as it was, nothing left behind, and each run of
// run-many failing alone.
#include <gtest/gtest.h>

#include <pugixml.hpp>

#include "fault_sweep_support.h"

namespace {

namespace fs = std::filesystem;
using hosttest::ReadText;
using nlohmann::json;
using sweeptest::RunFolder;

using sweeptest::HostRun;
using sweeptest::Lines;

// The program with `args` in the folder's sweep environment, the office
// killed on entering bridge call `failAt` (0: never).
HostRun Spawned(const RunFolder& folder, const std::vector<std::string>& args,
                std::uint64_t failAt) {
  return sweeptest::RunInFolder(folder, args, [&] { sweeptest::SweepEnvironment(folder, failAt); });
}

// `gridmoor-host run` on the folder's scenario.
HostRun RunHost(const RunFolder& folder, std::uint64_t failAt, bool save) {
  std::vector<std::string> arguments = {"run", folder.Scenario().string(), "--quiet", "--out",
                                        folder.Out().string()};
  if (save) arguments.push_back("--save");
  HostRun run = Spawned(folder, arguments, failAt);
  run.err = run.out + run.err;  // what a run says, on either stream
  return run;
}

// A workbook the office saved in full: the flat XML parses to its end.
bool CompleteDocument(const fs::path& file) {
  pugi::xml_document document;
  return document.load_file(file.c_str()) &&
         std::string(document.document_element().name()) == "office:document";
}

struct Example {
  const char* name;
  int timesteps;
  std::uint64_t runs;  // faulted runs in the default suite
  bool fullByPath;     // the whole sweep: the ends of each path and every 30th call
};

class BridgeFaultSweep : public ::testing::TestWithParam<Example> {};

TEST_P(BridgeFaultSweep, EveryFaultedRunFailsCleanly) {
  const Example example = GetParam();
  const std::string original =
      ReadText(hosttest::Example(example.name) / (std::string(example.name) + ".fods"));

  // Unfaulted, without and with --save: the ranges of the sweep.
  std::uint64_t plainCalls = 0, savingCalls = 0;
  sweeptest::Paths paths;
  for (const bool save : {false, true}) {
    const RunFolder folder(example.name);
    const HostRun run = RunHost(folder, 0, save);
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(sweeptest::Leftovers(folder, run.pid), std::vector<std::string>{});
    (save ? savingCalls : plainCalls) = sweeptest::CountIn(folder.CountFile());
    if (save) {
      paths = sweeptest::ReadPaths(folder.PathsFile());
      EXPECT_NE(ReadText(folder.Workbook()), original) << "--save saved nothing";
      EXPECT_TRUE(CompleteDocument(folder.Workbook()));
    }
  }
  ASSERT_GT(plainCalls, 0u) << "no bridge call counted: is the build without GRIDMOOR_TEST_SEAMS?";
  ASSERT_GT(savingCalls, plainCalls);

  ASSERT_GE(paths.count, 2u) << "no call paths listed";
  const sweeptest::Sample sample =
      sweeptest::SampleCalls(savingCalls, example.runs, example.fullByPath, paths.ends);
  const std::vector<std::uint64_t>& calls = sample.calls;
  const auto started = std::chrono::steady_clock::now();
  int doneBefore[2] = {0, 0};  // without and with --save
  for (std::size_t i = 0; i < calls.size(); ++i) {
    const std::uint64_t n = calls[i];
    // Every other run saves, and so does every run past the unsaved range.
    const bool save = i % 2 == 1 || n > plainCalls;
    const RunFolder folder(example.name);
    const HostRun run = RunHost(folder, n, save);
    SCOPED_TRACE(std::string(example.name) + ": fault at bridge call " + std::to_string(n) +
                 (save ? " with --save" : "") + "\n" + run.err);
    ASSERT_NE(run.status, -1) << "hung";
    EXPECT_EQ(run.status, 1);
    const std::vector<std::string> lines = Lines(run.err);
    ASSERT_EQ(lines.size(), 1u);

    const json summary = json::parse(ReadText(folder.Out() / "summary.json"), nullptr, false);
    ASSERT_TRUE(summary.is_object()) << "no summary.json";
    EXPECT_EQ(summary["status"], "failed");
    const std::string command = summary["error"].value("command", "");
    EXPECT_FALSE(command.empty());
    EXPECT_NE(lines[0].find(command), std::string::npos) << "the line names no command";
    // End of run has no status record to say why in: the line says that.
    const bool silent =
        command == "EndOfRun" && lines[0].find("the library gives no message") != std::string::npos;
    EXPECT_TRUE(silent || lines[0].find("office ended") != std::string::npos ||
                lines[0].find("office has ended") != std::string::npos ||
                lines[0].find("office did not answer") != std::string::npos)
        << "the line does not say the office ended";
    ASSERT_TRUE(summary["error"].contains("timestep"));
    const json& timestep = summary["error"]["timestep"];
    const int reached = timestep.is_null() ? -1 : timestep.get<int>();
    EXPECT_LT(reached, example.timesteps);
    // The timesteps done: the calls come in the same order each run, so a
    // later fault never does fewer. (--save adds calls of its own.)
    const int done = static_cast<int>(summary["timesteps"].size());
    EXPECT_LE(done, example.timesteps);
    EXPECT_GE(done, doneBefore[save]);
    doneBefore[save] = std::max(doneBefore[save], done);

    const std::string bytes = ReadText(folder.Workbook());
    if (bytes != original) {
      EXPECT_TRUE(save) << "the workbook changed without --save";
      EXPECT_TRUE(CompleteDocument(folder.Workbook())) << "a cut save";
    }
    EXPECT_EQ(sweeptest::Leftovers(folder, run.pid), std::vector<std::string>{});
  }
  sweeptest::Tell(std::string(example.name) + " run (" + std::to_string(plainCalls) +
                      " calls without --save, " + std::to_string(paths.count) + " call paths)",
                  savingCalls, sample, started);
}

// The same fault in the commands that reach the office otherwise: a
// workbook check, and run-many handing warm offices from scenario to
// scenario.

// Two runs of the example one after another on one warm office.
std::vector<std::string> RunManyArguments(const RunFolder& folder) {
  fs::copy_file(folder.Scenario(), folder.Path() / "second.json");
  return {"run-many",
          folder.Scenario().string(),
          (folder.Path() / "second.json").string(),
          "--jobs",
          "1",
          "--out",
          folder.Out().string()};
}

// A check whose office dies says so in one line and ends with 2, unless
// the office died once the check had all it needed (closing its copy):
// then the report is the unfaulted one. The workbook is never changed, and
// nothing is left behind.
TEST_P(BridgeFaultSweep, EveryFaultedCheckFailsCleanly) {
  const Example example = GetParam();
  const std::string original =
      ReadText(hosttest::Example(example.name) / (std::string(example.name) + ".fods"));
  const auto check = [](const RunFolder& folder) {
    return std::vector<std::string>{"workbook", "check", folder.Workbook().string()};
  };
  // The report less its first line, which names the run's own folder.
  const auto report = [](const HostRun& run) {
    std::vector<std::string> lines = Lines(run.out);
    if (!lines.empty()) lines.erase(lines.begin());
    return lines;
  };
  std::uint64_t calls = 0;
  int unfaultedStatus = 0;
  std::vector<std::string> unfaulted;
  {
    const RunFolder folder(example.name);
    const HostRun run = Spawned(folder, check(folder), 0);
    ASSERT_TRUE(run.status == 0 || run.status == 1) << run.err;
    EXPECT_EQ(run.err, "");
    calls = sweeptest::CountIn(folder.CountFile());
    unfaultedStatus = run.status;
    unfaulted = report(run);
  }
  ASSERT_GT(calls, 0u);
  ASSERT_FALSE(unfaulted.empty());
  // Few calls: every one, in the default suite too.
  const sweeptest::Sample sample = sweeptest::SampleCalls(calls, calls, false, {});
  const auto started = std::chrono::steady_clock::now();
  int failed = 0;
  for (const std::uint64_t n : sample.calls) {
    const RunFolder folder(example.name);
    const HostRun run = Spawned(folder, check(folder), n);
    SCOPED_TRACE(std::string(example.name) + ": check, fault at bridge call " + std::to_string(n) +
                 "\n" + run.err);
    ASSERT_NE(run.status, -1) << "hung";
    if (run.status == 2) {
      ++failed;
      const std::vector<std::string> lines = Lines(run.err);
      ASSERT_EQ(lines.size(), 1u);
      EXPECT_EQ(lines[0].rfind("gridmoor-host: could not check: ", 0), 0u);
    } else {
      EXPECT_EQ(run.status, unfaultedStatus);
      EXPECT_EQ(run.err, "");
      EXPECT_EQ(report(run), unfaulted);
    }
    EXPECT_EQ(ReadText(folder.Workbook()), original);
    EXPECT_EQ(sweeptest::Leftovers(folder, run.pid), std::vector<std::string>{});
  }
  EXPECT_GT(failed, 0) << "no fault reached the check";
  sweeptest::Tell(std::string(example.name) + " check", calls, sample, started);
}

// Every run of run-many meets the dead office at the same call, warm office
// or not: each fails alone with its reason, the office is replaced between
// them, and none, nor any office, is left behind.
TEST_P(BridgeFaultSweep, EveryFaultedRunManyOnWarmOfficesFailsCleanly) {
  const Example example = GetParam();
  std::uint64_t calls = 0;
  sweeptest::Paths paths;
  {
    const RunFolder folder(example.name);
    const HostRun run = Spawned(folder, RunManyArguments(folder), 0);
    ASSERT_EQ(run.status, 0) << run.err << run.out;
    EXPECT_EQ(sweeptest::Leftovers(folder, run.pid), std::vector<std::string>{});
    calls = sweeptest::CountIn(folder.CountFile());  // one run's: the last to write it
    paths = sweeptest::ReadPaths(folder.PathsFile());
  }
  ASSERT_GT(calls, 0u);
  const sweeptest::Sample sample = sweeptest::SampleCalls(calls, 3, example.fullByPath, paths.ends);
  const auto started = std::chrono::steady_clock::now();
  for (const std::uint64_t n : sample.calls) {
    const RunFolder folder(example.name);
    const HostRun run = Spawned(folder, RunManyArguments(folder), n);
    SCOPED_TRACE(std::string(example.name) + ": run-many, fault at bridge call " +
                 std::to_string(n) + "\n" + run.err);
    ASSERT_NE(run.status, -1) << "hung";
    EXPECT_EQ(run.status, 1);
    // The header line alone: no warm office failed to start.
    EXPECT_EQ(Lines(run.err).size(), 1u);
    const json summary = json::parse(ReadText(folder.Out() / "summary.json"), nullptr, false);
    ASSERT_TRUE(summary.is_object()) << "no summary.json";
    ASSERT_EQ(summary["scenarios"].size(), 2u);
    for (const json& s : summary["scenarios"]) {
      EXPECT_FALSE(s["passed"]) << s.dump();
      EXPECT_EQ(s["exitStatus"], 1) << s.dump();
      EXPECT_FALSE(s.value("message", "").empty()) << s.dump();
    }
    // The second met its fault where the first did: on a working office.
    EXPECT_EQ(summary["scenarios"][0]["timesteps"], summary["scenarios"][1]["timesteps"]);
    EXPECT_EQ(sweeptest::Leftovers(folder, run.pid), std::vector<std::string>{});
  }
  sweeptest::Tell(std::string(example.name) + " run-many", calls, sample, started);
}

// A separator run takes about 2 s, a gas-lift run up to 12 s (its optimiser
// makes 25 times the calls): the default suite's sweep stays under two
// minutes.
INSTANTIATE_TEST_SUITE_P(Examples, BridgeFaultSweep,
                         ::testing::Values(Example{"separator", 3, 10, false},
                                           Example{"gaslift", 2, 7, true}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
