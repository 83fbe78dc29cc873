// The bridge fault sweep (src/excel/calc/bridge_faults.h): a private copy of
// an example for one run, the calls to fault, and what a run may leave
// behind.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "host_test_support.h"

namespace sweeptest {

namespace fs = std::filesystem;

// One run's folder: the example's workbook copied into work/ (so that its
// bytes and lock files are this run's alone), the run's TMPDIR in tmp/ (so
// that every temporary folder of the host and the office lands there), the
// outputs in out/.
class RunFolder {
 public:
  explicit RunFolder(const std::string& example) : example_(example) {
    fs::create_directories(Work());
    fs::create_directories(Temp());
    fs::copy_file(hosttest::Example(example) / (example + ".fods"), Workbook());
    hosttest::ExampleScenario(example, Scenario(), [&](nlohmann::json& scenario) {
      scenario["workbook"] = Workbook().string();
    });
  }
  const fs::path& Path() const { return folder_.path(); }
  fs::path Work() const { return Path() / "work"; }
  fs::path Temp() const { return Path() / "tmp"; }
  fs::path Out() const { return Path() / "out"; }
  fs::path Scenario() const { return Path() / "scenario.json"; }
  fs::path Workbook() const { return Work() / (example_ + ".fods"); }
  fs::path CountFile() const { return Path() / "bridge-calls.txt"; }
  fs::path PathsFile() const { return Path() / "bridge-paths.txt"; }

 private:
  hosttest::Folder folder_;
  std::string example_;
};

// A sweep run's environment, set in its process: the run's TMPDIR, where
// its bridge calls are counted and their call paths listed, and the call
// on whose entry the office is killed (0: none).
inline void SweepEnvironment(const RunFolder& folder, std::uint64_t failAt) {
  ::setenv("TMPDIR", folder.Temp().c_str(), 1);
  ::setenv("GRIDMOOR_TEST_COUNT_BRIDGE_CALLS", folder.CountFile().c_str(), 1);
  ::setenv("GRIDMOOR_TEST_LIST_BRIDGE_PATHS", folder.PathsFile().c_str(), 1);
  if (failAt > 0)
    ::setenv("GRIDMOOR_TEST_FAIL_BRIDGE_CALL", std::to_string(failAt).c_str(), 1);
  else
    ::unsetenv("GRIDMOOR_TEST_FAIL_BRIDGE_CALL");
}

// The processes whose command line names `text` (an office started for a
// run names its profile, inside the run's folder).
inline std::vector<int> ProcessesNaming(const std::string& text) {
  std::vector<int> pids;
  std::error_code error;
  for (const auto& entry : fs::directory_iterator("/proc", error)) {
    const std::string name = entry.path().filename().string();
    if (name.find_first_not_of("0123456789") != std::string::npos) continue;
    std::string line = hosttest::ReadText(entry.path() / "cmdline");
    for (char& c : line)
      if (c == '\0') c = ' ';
    if (line.find(text) != std::string::npos && !hosttest::Gone(std::stoi(name)))
      pids.push_back(std::stoi(name));
  }
  return pids;
}

// What a finished run left that it should not have: live offices, lock
// files beside the workbook, anything in its TMPDIR, office pipes named
// after `pid` (the process that ran the office) in /tmp. Empty when clean.
// An office found is killed, so that one fault does not spoil the runs
// after it.
inline std::vector<std::string> Leftovers(const RunFolder& run, int pid) {
  std::vector<std::string> found;
  const std::string tag = run.Path().filename().string();
  // An office whose host just ended may take a moment to be reaped.
  hosttest::WaitFor([&] { return ProcessesNaming(tag).empty(); }, 10);
  for (const int office : ProcessesNaming(tag)) {
    found.push_back("process " + std::to_string(office) + " still runs");
    ::kill(office, SIGKILL);
  }
  std::error_code error;
  for (const auto& entry : fs::directory_iterator(run.Work(), error))
    if (entry.path().filename().string().rfind(".~lock.", 0) == 0)
      found.push_back("lock file " + entry.path().string());
  for (const auto& entry : fs::directory_iterator(run.Temp(), error))
    found.push_back("temporary " + entry.path().string());
  const std::string pipe = "_gridmoor_" + std::to_string(pid) + "_";
  for (const auto& entry : fs::directory_iterator("/tmp", error)) {
    const std::string name = entry.path().filename().string();
    if (name.rfind("OSL_PIPE_", 0) == 0 && name.find(pipe) != std::string::npos)
      found.push_back("pipe " + entry.path().string());
  }
  return found;
}

// The count GRIDMOOR_TEST_COUNT_BRIDGE_CALLS wrote; 0 when none.
inline std::uint64_t CountIn(const fs::path& file) {
  return std::strtoull(hosttest::ReadText(file).c_str(), nullptr, 10);
}

// The calls to fault among 1..count: every `every`-th from `first`, and the
// last, which the stride may skip.
inline std::vector<std::uint64_t> CallsToFault(std::uint64_t count, std::uint64_t every,
                                               std::uint64_t first = 1) {
  std::vector<std::uint64_t> calls;
  for (std::uint64_t n = first; n <= count; n += every)
    calls.push_back(n);
  if (count > 0 && calls.back() != count) calls.push_back(count);
  return calls;
}

// From the list GRIDMOOR_TEST_LIST_BRIDGE_PATHS wrote, the first and the
// last call of each call path, in order, each once.
inline std::vector<std::uint64_t> PathEnds(const fs::path& file) {
  std::vector<std::uint64_t> calls;
  std::map<std::uint64_t, std::pair<std::uint64_t, std::uint64_t>> ends;  // path: first, last
  std::istringstream lines(hosttest::ReadText(file));
  std::uint64_t call = 0, path = 0;
  while (lines >> call >> path) {
    auto [it, added] = ends.try_emplace(path, call, call);
    if (!added) it->second.second = call;
  }
  for (const auto& [path, firstLast] : ends) {
    calls.push_back(firstLast.first);
    calls.push_back(firstLast.second);
  }
  std::sort(calls.begin(), calls.end());
  calls.erase(std::unique(calls.begin(), calls.end()), calls.end());
  return calls;
}

// The whole sweep of a long example: every `every`-th call and the last,
// with the first and last call of each path (PathEnds), in order, each once.
inline std::vector<std::uint64_t> CallsByPath(std::uint64_t count, std::uint64_t every,
                                              const std::vector<std::uint64_t>& pathEnds) {
  std::vector<std::uint64_t> calls = CallsToFault(count, every);
  calls.insert(calls.end(), pathEnds.begin(), pathEnds.end());
  std::sort(calls.begin(), calls.end());
  calls.erase(std::unique(calls.begin(), calls.end()), calls.end());
  return calls;
}

// The number of call paths in that list.
inline std::size_t PathCount(const fs::path& file) {
  std::set<std::uint64_t> paths;
  std::istringstream lines(hosttest::ReadText(file));
  for (std::uint64_t call = 0, path = 0; lines >> call >> path;)
    paths.insert(path);
  return paths.size();
}

// The whole sweep (label `sweep`) without a stride of its own.
inline bool FullSweep() {
  const char* every = std::getenv("GRIDMOOR_SWEEP_EVERY");
  const char* full = std::getenv("GRIDMOOR_SWEEP_FULL");
  return (every == nullptr || *every == '\0') && full != nullptr && *full != '\0';
}

// The stride: GRIDMOOR_SWEEP_EVERY when set; else 1 under GRIDMOOR_SWEEP_FULL
// (the label `sweep`); else one that makes about `runs` runs of `count`
// calls.
inline std::uint64_t Stride(std::uint64_t count, std::uint64_t runs) {
  if (const char* every = std::getenv("GRIDMOOR_SWEEP_EVERY"); every && *every)
    return std::max<std::uint64_t>(1, std::strtoull(every, nullptr, 10));
  if (const char* full = std::getenv("GRIDMOOR_SWEEP_FULL"); full && *full) return 1;
  return std::max<std::uint64_t>(1, (count + runs - 1) / std::max<std::uint64_t>(1, runs));
}

// The calls a sweep faults among `count`: under the whole sweep of an
// example swept by path (`byPath`), every 30th and the first and last of
// each path (`pathEnds`); else about `runs`, every Stride-th from `first`
// (0: from the stride on).
struct Sample {
  bool byPath;
  std::uint64_t every;
  std::vector<std::uint64_t> calls;
};
inline Sample SampleCalls(std::uint64_t count, std::uint64_t runs, bool byPath,
                          const std::vector<std::uint64_t>& pathEnds, std::uint64_t first = 1) {
  if (byPath && FullSweep()) return {true, 30, CallsByPath(count, 30, pathEnds)};
  const std::uint64_t every = Stride(count, runs);
  return {false, every, CallsToFault(count, every, first == 0 ? every : first)};
}

}  // namespace sweeptest
