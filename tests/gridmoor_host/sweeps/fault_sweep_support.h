// The fault sweeps (a dead office at a bridge call, a failing disk at a file
// operation): a private copy of an example for one run, the calls to fault,
// and what a run may leave behind.
#pragma once

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <map>
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

// A swept run's environment, set in its process: the run's TMPDIR, where
// its bridge calls (or, with `files`, its file operations) are counted and
// the bridge calls' paths listed, and the one that fails (0: none).
inline void SweepEnvironment(const RunFolder& folder, std::uint64_t failAt, bool files = false) {
  ::setenv("TMPDIR", folder.Temp().c_str(), 1);
  ::setenv(files ? "GRIDMOOR_TEST_COUNT_FILE_OPS" : "GRIDMOOR_TEST_COUNT_BRIDGE_CALLS",
           folder.CountFile().c_str(), 1);
  if (!files) ::setenv("GRIDMOOR_TEST_LIST_BRIDGE_PATHS", folder.PathsFile().c_str(), 1);
  const char* fail = files ? "GRIDMOOR_TEST_FAIL_FILE_OP" : "GRIDMOOR_TEST_FAIL_BRIDGE_CALL";
  if (failAt > 0)
    ::setenv(fail, std::to_string(failAt).c_str(), 1);
  else
    ::unsetenv(fail);
}

struct HostRun {
  int pid = 0, status = -1;  // -1: killed for running too long
  std::string out, err;
};

// The lines of `text` that are not empty.
inline std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);)
    if (!line.empty()) lines.push_back(line);
  return lines;
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
  hosttest::WaitFor([&] { return hosttest::ProcessesNaming(tag).empty(); }, 10);
  for (const int office : hosttest::ProcessesNaming(tag)) {
    found.push_back("process " + std::to_string(office) + " still runs");
    ::kill(office, SIGKILL);
  }
  for (const fs::path& lock : hosttest::EntriesNamed(run.Work(), ".~lock."))
    found.push_back("lock file " + lock.string());
  std::error_code error;
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

inline void SortUnique(std::vector<std::uint64_t>& calls) {
  std::sort(calls.begin(), calls.end());
  calls.erase(std::unique(calls.begin(), calls.end()), calls.end());
}

// The call paths of a run, from the list GRIDMOOR_TEST_LIST_BRIDGE_PATHS
// wrote: how many, and the first and the last call of each, in order, each
// once.
struct Paths {
  std::size_t count = 0;
  std::vector<std::uint64_t> ends;
};
inline Paths ReadPaths(const fs::path& file) {
  std::map<std::uint64_t, std::pair<std::uint64_t, std::uint64_t>> ends;  // path: first, last
  std::istringstream lines(hosttest::ReadText(file));
  for (std::uint64_t call = 0, path = 0; lines >> call >> path;)
    ends.try_emplace(path, call, call).first->second.second = call;
  Paths paths{ends.size(), {}};
  for (const auto& [path, firstLast] : ends)
    paths.ends.insert(paths.ends.end(), {firstLast.first, firstLast.second});
  SortUnique(paths.ends);
  return paths;
}

// The calls a sweep faults among 1..count, in order, each once: every
// `every`-th from `first` (0: from `every` on) and the last, which the
// stride may skip. `every` is GRIDMOOR_SWEEP_EVERY when set; else under
// GRIDMOOR_SWEEP_FULL (the label `sweep`) 1, or, for a long example swept
// by path (`byPath`), 30 from the first call with the first and last call
// of each path (`pathEnds`) added; else what makes about `runs` runs.
struct Sample {
  bool byPath;
  std::uint64_t every;
  std::vector<std::uint64_t> calls;
};
inline Sample SampleCalls(std::uint64_t count, std::uint64_t runs, bool byPath,
                          const std::vector<std::uint64_t>& pathEnds, std::uint64_t first = 1) {
  const char* every = std::getenv("GRIDMOOR_SWEEP_EVERY");
  const char* full = std::getenv("GRIDMOOR_SWEEP_FULL");
  Sample sample{false, (count + runs - 1) / std::max<std::uint64_t>(1, runs), {}};
  if (every != nullptr && *every != '\0')
    sample.every = std::strtoull(every, nullptr, 10);
  else if (full != nullptr && *full != '\0')
    sample = byPath ? Sample{true, 30, pathEnds} : Sample{false, 1, {}};
  sample.every = std::max<std::uint64_t>(1, sample.every);
  std::uint64_t n = sample.byPath ? 1 : first != 0 ? first : sample.every;
  for (; n <= count; n += sample.every)
    sample.calls.push_back(n);
  if (count > 0) sample.calls.push_back(count);
  SortUnique(sample.calls);
  return sample;
}

// The program with `arguments` (made ready in a fresh folder of `example`,
// its output in the folder) and the fault at `failAt` (0: none); `judge`
// sees what it did, then nothing may be left behind. A run that outlives
// four minutes has hung: it is killed.
inline void RunAndJudge(const std::string& example, const std::string& what,
                        const std::function<std::vector<std::string>(const RunFolder&)>& arguments,
                        std::uint64_t failAt, bool files,
                        const std::function<void(const RunFolder&, const HostRun&)>& judge) {
  const RunFolder folder(example);
  const fs::path out = folder.Path() / "stdout.txt", err = folder.Path() / "stderr.txt";
  HostRun run;
  run.pid = hosttest::Spawn(arguments(folder), err, false, [&] {
    ::dup2(::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644), STDOUT_FILENO);
    SweepEnvironment(folder, failAt, files);
  });
  run.status = hosttest::ExitStatusWithin(run.pid, std::chrono::seconds(240)).value_or(-1);
  run.out = hosttest::ReadText(out);
  run.err = hosttest::ReadText(err);
  SCOPED_TRACE(example + ": " + what + (failAt > 0 ? ", fault at " + std::to_string(failAt) : "") +
               "\n" + run.out + run.err);
  EXPECT_NE(run.status, -1) << "hung";
  if (run.status != -1) judge(folder, run);
  EXPECT_EQ(Leftovers(folder, run.pid), std::vector<std::string>{});
}

// `faulted` for each call `sample` picks (and its place in the sample),
// then what the sweep did, flushed at once: a child forked later would
// print the buffer again.
inline void ForEachFaulted(const std::string& what, std::uint64_t count, const Sample& sample,
                           const std::function<void(std::uint64_t, std::size_t)>& faulted) {
  const auto started = std::chrono::steady_clock::now();
  for (std::size_t i = 0; i < sample.calls.size(); ++i)
    faulted(sample.calls[i], i);
  std::cout << what << ": " << count << " counted; " << sample.calls.size()
            << " faulted runs, every " << sample.every
            << (sample.byPath ? " and the first and last of each path" : "") << ", in "
            << std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count()
            << " s" << std::endl;
}

}  // namespace sweeptest
