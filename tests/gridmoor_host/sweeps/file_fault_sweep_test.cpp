// A failing disk at every file operation of a command (platform/file_faults.h):
// each command runs once unfaulted, counting the write, fsync, close and
// rename calls of the program, the library and their child processes, then
// once with operation N failing, for every N under the label `sweep` and a
// sample in the default suite. Every faulted run must end with a non-zero
// status and one line naming the failed write, leave each output that was
// there before either as it was or whole (never cut), and leave no
// temporary file, office or lock file behind.
#include <gtest/gtest.h>

#include <set>

#include "fault_sweep_support.h"

namespace {

namespace fs = std::filesystem;
using hosttest::ReadText;
using nlohmann::json;
using sweeptest::RunFolder;

constexpr const char* kOldBytes = "old output, to be kept or replaced whole\n";

// A command of the program, made ready in a run's folder: its arguments and
// the outputs that hold kOldBytes before it runs.
struct Prepared {
  std::vector<std::string> arguments;
  std::vector<fs::path> outputs;
  fs::path summary;  // must say the run failed, unless the fault was its own
};

struct Command {
  const char* name;
  std::uint64_t runs;  // faulted runs in the default suite
  // Makes the command's inputs in `folder`; `shared` holds what every run
  // of the command may read (made once by the unfaulted run).
  Prepared (*prepare)(const RunFolder& folder, const fs::path& shared);
};

void WriteOld(const std::vector<fs::path>& files) {
  for (const fs::path& file : files) {
    fs::create_directories(file.parent_path());
    std::ofstream(file) << kOldBytes;
  }
}

Prepared PrepareRun(const RunFolder& folder, const fs::path&) {
  const fs::path out = folder.Out();
  Prepared run{{"run", folder.Scenario().string(), "--quiet", "--out", out.string()},
               {},
               out / "summary.json"};
  for (const char* name :
       {"streams.csv", "compositions.csv", "published.csv", "optimisation.csv", "summary.json"})
    run.outputs.push_back(out / name);
  return run;
}

Prepared PrepareRunMany(const RunFolder& folder, const fs::path&) {
  const fs::path out = folder.Out();
  return {{"run-many", folder.Scenario().string(), "--jobs", "1", "--out", out.string()},
          {out / "summary.csv", out / "summary.json"},
          {}};
}

// Collects the scenario folder of one unfaulted run-many, made once.
Prepared PrepareCollect(const RunFolder& folder, const fs::path& shared) {
  const fs::path many = shared / "many";
  if (!fs::exists(many)) {
    const hosttest::Result made = hosttest::Host(
        "run-many " + folder.Scenario().string() + " --jobs 1 --out " + many.string(), shared);
    EXPECT_EQ(made.status, 0) << made.err;
  }
  const fs::path out = folder.Out();
  return {{"collect", (many / "scenario").string(), "--out", out.string()},
          {out / "summary.csv", out / "summary.json"},
          {}};
}

Prepared PrepareCaseBuild(const RunFolder& folder, const fs::path&) {
  const json scenario = json::parse(ReadText(folder.Scenario()));
  const fs::path input = folder.Path() / "case.json";
  std::ofstream(input) << scenario.at("case").dump(2);
  const fs::path archive = folder.Out() / "case.gmc";
  return {{"case", "build", input.string(), "-o", archive.string()}, {archive}, {}};
}

Prepared PrepareCheck(const RunFolder& folder, const fs::path&) {
  const fs::path report = folder.Out() / "check.json";
  return {
      {"workbook", "check", folder.Workbook().string(), "--json", report.string()}, {report}, {}};
}

using sweeptest::HostRun;

// Every file and folder under `root`, relative to it.
std::set<std::string> Listing(const fs::path& root) {
  std::set<std::string> names;
  std::error_code error;
  for (const auto& entry : fs::recursive_directory_iterator(root, error))
    names.insert(fs::relative(entry.path(), root).string());
  return names;
}

// The lines of `text` but run-many's opening one ("1 scenario, 1 at a time,
// into OUT"), which is no failure.
std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines = sweeptest::Lines(text);
  std::erase_if(lines, [](const std::string& line) {
    return line.find(" at a time, into ") != std::string::npos;
  });
  return lines;
}

// The lines of a run's output that tell of the failing disk. run-many puts
// a run's failure on its line of stdout, its own on stderr.
std::size_t FaultLines(const HostRun& run) {
  std::size_t count = 0;
  for (const std::string& line : Lines(run.out + "\n" + run.err))
    count += line.find("Input/output error") != std::string::npos ? 1 : 0;
  return count;
}

// Whole: as it was, as the unfaulted run wrote it, JSON that parses
// (summaries hold times) or a table under the unfaulted one's heading
// ending with its line (a failed run writes what it got so far).
bool Whole(const fs::path& file, const std::string& unfaulted) {
  const std::string bytes = ReadText(file);
  if (bytes == kOldBytes || bytes == unfaulted) return true;
  if (file.extension() == ".json") return json::accept(bytes);
  const std::string heading = unfaulted.substr(0, unfaulted.find('\n') + 1);
  return file.extension() == ".csv" && bytes.starts_with(heading) && bytes.ends_with('\n');
}

// The file the line of the fault names ("cannot write 'FILE': ..."), empty
// when none.
fs::path FaultedFile(const HostRun& run) {
  for (const std::string& line : Lines(run.out + "\n" + run.err)) {
    if (line.find("Input/output error") == std::string::npos) continue;
    const std::size_t open = line.find('\'');
    const std::size_t close = line.find('\'', open + 1);
    if (open != std::string::npos && close != std::string::npos)
      return line.substr(open + 1, close - open - 1);
  }
  return {};
}

class FileFaultSweep : public ::testing::TestWithParam<Command> {};

TEST_P(FileFaultSweep, EveryFaultedWriteFailsCleanly) {
  const Command command = GetParam();
  const hosttest::Folder shared;
  Prepared prepared;  // the last run's
  const auto arguments = [&](const RunFolder& folder) {
    prepared = command.prepare(folder, shared.path());
    WriteOld(prepared.outputs);
    return prepared.arguments;
  };
  // Unfaulted: the range of the sweep, what each output becomes, and every
  // file the command leaves.
  std::map<std::string, std::string> written;
  std::set<std::string> made;
  std::uint64_t operations = 0;
  sweeptest::RunAndJudge(
      "separator", command.name, arguments, 0, true,
      [&](const RunFolder& folder, const HostRun& run) {
        ASSERT_TRUE(run.status == 0 || (command.name == std::string("check") && run.status == 1));
        operations = sweeptest::CountIn(folder.CountFile());
        for (const fs::path& output : prepared.outputs) {
          written[output.filename().string()] = ReadText(output);
          EXPECT_NE(ReadText(output), kOldBytes) << output << " was not written";
        }
        made = Listing(folder.Out());
      });
  ASSERT_GT(operations, 0u) << "no file operation counted: is the build without the test seams?";

  const auto faulted = [&](std::uint64_t n, std::size_t) {
    sweeptest::RunAndJudge(
        "separator", command.name, arguments, n, true,
        [&](const RunFolder& folder, const HostRun& run) {
          EXPECT_NE(run.status, 0);
          EXPECT_LE(Lines(run.err).size(), 1u);
          EXPECT_EQ(FaultLines(run), 1u) << "the fault is not told once";
          const fs::path named = FaultedFile(run);
          const fs::path faulted = named.empty() ? named : fs::absolute(named);
          if (!prepared.summary.empty() && faulted != prepared.summary) {
            const json summary = json::parse(ReadText(prepared.summary), nullptr, false);
            EXPECT_EQ(summary.is_object() ? summary.value("status", "") : "", "failed")
                << "the summary does not tell of the failure";
          }
          for (const fs::path& output : prepared.outputs) {
            EXPECT_TRUE(Whole(output, written[output.filename().string()])) << output << " cut";
            if (faulted == output) {
              EXPECT_EQ(ReadText(output), kOldBytes) << output;
            }
          }
          for (const std::string& name : Listing(folder.Out()))
            EXPECT_TRUE(made.contains(name)) << name << " left behind";
        });
  };
  sweeptest::ForEachFaulted(command.name, operations,
                            sweeptest::SampleCalls(operations, command.runs, false, {}), faulted);
}

// The office's commands take seconds a run, the others a fraction: the
// default suite samples the first ones, the label `sweep` takes every
// operation of each.
INSTANTIATE_TEST_SUITE_P(Examples, FileFaultSweep,
                         ::testing::Values(Command{"run", 6, PrepareRun},
                                           Command{"run_many", 6, PrepareRunMany},
                                           Command{"collect", 1000, PrepareCollect},
                                           Command{"case_build", 1000, PrepareCaseBuild},
                                           Command{"check", 4, PrepareCheck}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
