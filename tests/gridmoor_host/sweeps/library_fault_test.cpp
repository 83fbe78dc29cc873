// A dead office at a bridge call, seen by a host that keeps the library
// loaded: in a process of its own per call N, the library is loaded with
// dlopen and driven through its exports only (the reference host's run), the
// office is killed on entering call N and the run fails; the next run of the
// same process then starts a fresh office and completes with the unfaulted
// run's results. In both modes.
#include <gtest/gtest.h>

#include "fault_sweep_support.h"
#include "running/run.h"
#include "scenario/library.h"
#include "scenario/scenario.h"

namespace {

namespace fs = std::filesystem;
using sweeptest::RunFolder;

// What a run produced that a rerun must reproduce: the output streams'
// values per timestep.
std::string Results(const refhost::RunRecord& record) {
  std::ostringstream text;
  text.precision(10);
  for (const refhost::StreamSample& sample : record.streamSamples) {
    if (!record.streams[sample.stream].output) continue;
    text << sample.timestep << " " << record.streams[sample.stream].name;
    for (const double value : sample.state.scalars)
      text << " " << value;
    text << "\n";
  }
  return text.str();
}

// In a child process: loads the library (direct or threaded), runs the
// scenario with the office killed on entering bridge call `failAt` (0:
// never), then, after a faulted run, once more unfaulted. What went wrong
// goes to `report`, one line each; the exit status is 0 when nothing did.
// The unfaulted run writes its results to `results`; a rerun compares with
// them.
void RunInChild(const RunFolder& folder, std::uint64_t failAt, bool direct, const fs::path& results,
                const fs::path& report) {
  sweeptest::SweepEnvironment(folder, failAt);
  std::ofstream problems(report);
  const auto fail = [&](const std::string& what) {
    problems << what << "\n";
    problems.flush();
  };
  refhost::Library library;
  if (const outcome::Error error = library.Load({GRIDMOOR_LIBRARY_FILE, direct})) {
    fail("cannot start: " + error.Message());
    return;
  }
  const outcome::Expected<refhost::Scenario> loaded = refhost::LoadScenario(folder.Scenario());
  if (!loaded) {
    fail("cannot start: " + loaded.GetError().Message());
    return;
  }
  const refhost::Scenario& scenario = *loaded;
  refhost::RunOptions options;
  options.progress = false;
  refhost::RunRecord first;
  refhost::RunScenario(library, scenario, options, first);
  if (failAt == 0) {
    if (first.failure) fail("the unfaulted run failed: " + first.failure->message);
    std::ofstream(results) << Results(first);
  } else {
    if (!first.failure) fail("the faulted run did not fail");
    // Stopped and destroyed: the killed office is reaped, its locks gone.
    for (const int office : hosttest::ChildrenOf(::getpid(), "soffice.bin"))
      if (!hosttest::ProcessGone(office)) fail("office " + std::to_string(office) + " still runs");
    for (const fs::path& lock : hosttest::EntriesNamed(folder.Work(), ".~lock."))
      fail("lock file left: " + lock.string());
    refhost::RunRecord again;
    refhost::RunScenario(library, scenario, options, again);
    if (again.failure)
      fail("the run after the fault failed: " + again.failure->command + ": " +
           again.failure->message);
    else if (Results(again) != hosttest::ReadText(results))
      fail("the run after the fault has other results:\n" + Results(again));
  }
}

struct Outcome {
  int pid = 0;
  int status = -1;
  std::string report;
};

Outcome RunLoaded(const RunFolder& folder, std::uint64_t failAt, bool direct,
                  const fs::path& results) {
  const fs::path report = folder.Path() / "report.txt";
  Outcome outcome;
  outcome.pid = ::fork();
  if (outcome.pid == 0) {
    // The library object ends (its scratch folder with it) before the exit,
    // as in a host.
    RunInChild(folder, failAt, direct, results, report);
    std::exit(hosttest::ReadText(report).empty() ? 0 : 1);
  }
  const std::optional<int> status =
      hosttest::ExitStatusWithin(outcome.pid, std::chrono::minutes(4));
  outcome.status = status.value_or(-1);
  outcome.report = status ? hosttest::ReadText(report) : "hung\n";
  return outcome;
}

struct Example {
  const char* name;
  std::uint64_t runs;  // faulted processes per mode in the default suite
  bool fullByPath;     // the whole sweep: the ends of each path and every 30th call
};

class LibraryFault : public ::testing::TestWithParam<Example> {};

TEST_P(LibraryFault, TheNextRunStartsAFreshOfficeAndCompletes) {
  const std::string example = GetParam().name;
  hosttest::Folder shared;
  const fs::path results = shared.path() / "results.txt";
  // The modes make different calls (direct mode closes the workbook at
  // destroy): each is counted and sampled on its own.
  std::uint64_t calls[2] = {0, 0};  // threaded, direct
  std::vector<std::uint64_t> pathEnds[2];
  for (const bool direct : {false, true}) {
    const RunFolder folder(example);
    const Outcome outcome = RunLoaded(folder, 0, direct, results);
    ASSERT_EQ(outcome.status, 0) << outcome.report;
    EXPECT_EQ(sweeptest::Leftovers(folder, outcome.pid), std::vector<std::string>{});
    calls[direct] = sweeptest::CountIn(folder.CountFile());
    pathEnds[direct] = sweeptest::ReadPaths(folder.PathsFile()).ends;
    ASSERT_GT(calls[direct], 0u)
        << "no bridge call counted: is the build without GRIDMOOR_TEST_SEAMS?";
  }
  ASSERT_FALSE(hosttest::ReadText(results).empty());

  for (const bool direct : {false, true}) {
    // From the stride on, so that a sample of one is the last call (the
    // close at stop or destroy), never the first (the program's sweep has it).
    const sweeptest::Sample sample = sweeptest::SampleCalls(
        calls[direct], GetParam().runs, GetParam().fullByPath, pathEnds[direct], 0);
    const auto started = std::chrono::steady_clock::now();
    for (const std::uint64_t n : sample.calls) {
      const RunFolder folder(example);
      const Outcome outcome = RunLoaded(folder, n, direct, results);
      SCOPED_TRACE(example + ": fault at bridge call " + std::to_string(n) +
                   (direct ? " (direct mode)" : " (threaded mode)"));
      EXPECT_EQ(outcome.status, 0) << outcome.report;
      EXPECT_EQ(sweeptest::Leftovers(folder, outcome.pid), std::vector<std::string>{});
    }
    sweeptest::Tell(example + (direct ? " direct" : " threaded"), calls[direct], sample, started);
  }
}

// Each run after a fault is a whole run; a gas-lift one takes about 4 s.
INSTANTIATE_TEST_SUITE_P(Examples, LibraryFault,
                         ::testing::Values(Example{"separator", 3, false},
                                           Example{"gaslift", 1, true}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
