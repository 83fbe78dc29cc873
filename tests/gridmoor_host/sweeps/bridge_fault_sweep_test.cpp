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
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <pugixml.hpp>

#include "fault_sweep_support.h"
#include "scenario/library.h"

namespace {

using ::testing::HasSubstr;
using ::testing::Not;

namespace fs = std::filesystem;
using hosttest::ReadText;
using nlohmann::json;
using sweeptest::HostRun;
using sweeptest::Lines;
using sweeptest::RunFolder;
using Arguments = std::function<std::vector<std::string>(const RunFolder&)>;

// `gridmoor-host run` on the folder's scenario.
Arguments RunArguments(bool save) {
  return [save](const RunFolder& folder) {
    std::vector<std::string> arguments = {"run", folder.Scenario().string(), "--quiet", "--out",
                                          folder.Out().string()};
    if (save) arguments.push_back("--save");
    return arguments;
  };
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

class BridgeFaultSweep : public ::testing::TestWithParam<Example> {
 protected:
  const Example example = GetParam();
  const std::string original =
      ReadText(hosttest::Example(example.name) / (std::string(example.name) + ".fods"));
};

TEST_P(BridgeFaultSweep, EveryFaultedRunFailsCleanly) {
  // Unfaulted, without and with --save: the ranges of the sweep.
  std::uint64_t calls[2] = {0, 0};
  sweeptest::Paths paths;
  for (const bool save : {false, true}) {
    sweeptest::RunAndJudge(example.name, "unfaulted", RunArguments(save), 0, false,
                           [&](const RunFolder& folder, const HostRun& run) {
                             ASSERT_EQ(run.status, 0);
                             calls[save] = sweeptest::CountIn(folder.CountFile());
                             if (!save) return;
                             paths = sweeptest::ReadPaths(folder.PathsFile());
                             EXPECT_NE(ReadText(folder.Workbook()), original) << "saved nothing";
                             EXPECT_TRUE(CompleteDocument(folder.Workbook()));
                           });
  }
  ASSERT_GT(calls[0], 0u) << "no bridge call counted: is the build without GRIDMOOR_TEST_SEAMS?";
  ASSERT_GT(calls[1], calls[0]);
  ASSERT_GE(paths.count, 2u) << "no call paths listed";

  int doneBefore[2] = {0, 0};  // without and with --save
  const auto faulted = [&](std::uint64_t n, std::size_t i) {
    // Every other run saves, and so does every run past the unsaved range.
    const bool save = i % 2 == 1 || n > calls[0];
    sweeptest::RunAndJudge(
        example.name, save ? "run --save" : "run", RunArguments(save), n, false,
        [&](const RunFolder& folder, const HostRun& run) {
          EXPECT_EQ(run.status, 1);
          // The failure on one line, and where the run's files are once a
          // timestep has started.
          const std::vector<std::string> lines = Lines(run.out + run.err);
          ASSERT_GE(lines.size(), 1u);
          ASSERT_LE(lines.size(), 2u);
          if (lines.size() == 2) {
            EXPECT_THAT(lines[1], HasSubstr("what the run got so far is in"));
          }
          const json summary = json::parse(ReadText(folder.Out() / "summary.json"), nullptr, false);
          ASSERT_TRUE(summary.is_object()) << "no summary.json";
          EXPECT_EQ(summary["status"], "failed");
          const std::string command = summary["error"].value("command", "");
          EXPECT_FALSE(command.empty());
          // Named by what the driver was asked to do, never by a code.
          const int code = summary["error"].value("code", 0);
          if (code != 0) {
            EXPECT_THAT(lines[0], HasSubstr(refhost::CommandPurpose(code))) << "no operation";
          }
          EXPECT_THAT(lines[0], Not(HasSubstr("(code "))) << lines[0];
          // End of run has no status record to say why in: the line says that.
          const bool silent = command == "EndOfRun" &&
                              lines[0].find("the library gives no message") != std::string::npos;
          EXPECT_TRUE(silent || lines[0].find("office ended") != std::string::npos ||
                      lines[0].find("office has ended") != std::string::npos ||
                      lines[0].find("office did not answer") != std::string::npos)
              << "the line does not say the office ended";
          ASSERT_TRUE(summary["error"].contains("timestep"));
          const json& timestep = summary["error"]["timestep"];
          EXPECT_LT(timestep.is_null() ? -1 : timestep.get<int>(), example.timesteps);
          // The timesteps done: the calls come in the same order each run, so
          // a later fault never does fewer. (--save adds calls of its own.)
          const int done = static_cast<int>(summary["timesteps"].size());
          EXPECT_LE(done, example.timesteps);
          EXPECT_GE(done, doneBefore[save]);
          doneBefore[save] = std::max(doneBefore[save], done);
          if (ReadText(folder.Workbook()) != original) {
            EXPECT_TRUE(save) << "the workbook changed without --save";
            EXPECT_TRUE(CompleteDocument(folder.Workbook())) << "a cut save";
          }
        });
  };
  sweeptest::ForEachFaulted(
      std::string(example.name) + " run (" + std::to_string(calls[0]) + " calls without --save, " +
          std::to_string(paths.count) + " call paths)",
      calls[1], sweeptest::SampleCalls(calls[1], example.runs, example.fullByPath, paths.ends),
      faulted);
}

// A separator run takes about 2 s, a gas-lift run up to 12 s (its optimiser
// makes 25 times the calls): the default suite's sweep stays under two
// minutes.
INSTANTIATE_TEST_SUITE_P(Examples, BridgeFaultSweep,
                         ::testing::Values(Example{"separator", 3, 10, false},
                                           Example{"gaslift", 2, 7, true}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
