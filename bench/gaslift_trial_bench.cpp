// What one optimiser trial of the gas-lift example costs, two ways:
// - GasLiftTrialInRun runs the example in this process, as gridmoor-host
//   does, and reports the median of the trials' own wall times (each trial's
//   point set, solved and read), so office starts do not enter;
// - GasLiftTrial runs gridmoor-host with its optimiser and again with
//   optimisation off, and shares the difference in wall time among the
//   trials (optimisation.csv), with block transfer on and off. The bridge
//   calls of each run are counted too (the library's test seam), so a change
//   shows whether it saved calls or time per call. Two whole runs differ by
//   about a second from one office start to the next, so this one is noisy.
//
//   gaslift_trial_bench [--benchmark_repetitions=3]
//
// GRIDMOOR_BENCH_LIBRARY=FILE runs the in-run trials on another build of the
// library (an A/B comparison on the same office and host code).
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "run_host.h"
#include "running/run.h"
#include "scenario/library.h"
#include "scenario/scenario.h"

namespace {

namespace fs = std::filesystem;

struct RunFigures {
  double seconds = 0;
  double trials = 0;
  double bridgeCalls = 0;
};

// The copy of the example that a benchmark runs on, removed with it.
struct ExampleCopy {
  fs::path work = fs::temp_directory_path() / ("gaslift-trial-bench-" + std::to_string(::getpid()));
  ExampleCopy() {
    const fs::path example = fs::path(GRIDMOOR_SOURCE_DIR) / "examples" / "gaslift";
    fs::create_directories(work);
    for (const char* file : {"gaslift.fods", "inputs.csv", "scenario.json"})
      fs::copy_file(example / file, work / file, fs::copy_options::overwrite_existing);
  }
  ~ExampleCopy() {
    std::error_code ec;
    fs::remove_all(work, ec);
  }
};

// Runs the host on `scenario` into `out`; aborts the benchmark on failure.
RunFigures RunHost(benchmark::State& state, const fs::path& scenario, const fs::path& out) {
  fs::remove_all(out);
  const fs::path counted = out.string() + ".calls";
  const auto start = std::chrono::steady_clock::now();
  std::vector<std::pair<std::string, std::string>> environment = {
      {"GRIDMOOR_TEST_COUNT_BRIDGE_CALLS", counted.string()}};
  if (state.range(0) == 0) environment.emplace_back("GRIDMOOR_BLOCK_TRANSFER", "0");
  const bool succeeded = bench::RunQuietly(
      {GRIDMOOR_HOST_PROGRAM, "run", scenario.string(), "--out", out.string()}, environment);
  RunFigures figures;
  figures.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  if (!succeeded) {
    state.SkipWithError("gridmoor-host run failed");
    return figures;
  }
  std::ifstream csv(out / "optimisation.csv");
  std::string line;
  for (std::getline(csv, line); std::getline(csv, line);)
    ++figures.trials;
  std::ifstream(counted) >> figures.bridgeCalls;
  return figures;
}

void GasLiftTrial(benchmark::State& state) {
  const ExampleCopy copy;
  const fs::path& work = copy.work;
  // The same scenario with the optimiser off: what a run costs besides its trials.
  nlohmann::json plainScenario = nlohmann::json::parse(std::ifstream(work / "scenario.json"));
  plainScenario["optimisation"]["enabled"] = false;
  std::ofstream(work / "plain.json") << plainScenario.dump(2);

  RunFigures optimised, plain;
  for (auto _ : state) {
    optimised = RunHost(state, work / "scenario.json", work / "optimised");
    plain = RunHost(state, work / "plain.json", work / "plain");
    if (optimised.trials == 0) state.SkipWithError("the optimised run made no trials");
    state.SetIterationTime((optimised.seconds - plain.seconds) / std::max(optimised.trials, 1.0));
  }
  state.counters["trials"] = optimised.trials;
  state.counters["calls_per_trial"] =
      (optimised.bridgeCalls - plain.bridgeCalls) / std::max(optimised.trials, 1.0);
  state.counters["run_s"] = optimised.seconds;
}

void GasLiftTrialInRun(benchmark::State& state) {
  const ExampleCopy copy;
  refhost::Library library;
  const char* other = std::getenv("GRIDMOOR_BENCH_LIBRARY");
  if (const outcome::Error error = library.Load({other ? other : GRIDMOOR_LIBRARY_FILE, false})) {
    state.SkipWithError(error.Message().c_str());
    return;
  }
  outcome::Expected<refhost::Scenario> loaded = refhost::LoadScenario(copy.work / "scenario.json");
  if (!loaded) {
    state.SkipWithError(loaded.GetError().Message().c_str());
    return;
  }
  refhost::Scenario& scenario = *loaded;
  refhost::RunOptions options;
  options.progress = false;
  std::vector<double> all;
  for (auto _ : state) {
    refhost::RunRecord record;
    refhost::RunScenario(library, scenario, options, record);
    if (record.failure) {
      state.SkipWithError(record.failure->message.c_str());
      return;
    }
    std::vector<double> trials;
    for (const refhost::TrialRow& row : record.trials)
      if (!row.final) trials.push_back(row.seconds);
    if (trials.empty()) {
      state.SkipWithError("the run made no trials");
      return;
    }
    std::sort(trials.begin(), trials.end());
    state.SetIterationTime(trials[trials.size() / 2]);
    all.insert(all.end(), trials.begin(), trials.end());
  }
  std::sort(all.begin(), all.end());
  state.counters["trials"] = static_cast<double>(all.size());
  state.counters["p10_ms"] = all[all.size() / 10] * 1e3;
  state.counters["p90_ms"] = all[all.size() * 9 / 10] * 1e3;
}

BENCHMARK(GasLiftTrialInRun)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);

// Argument: block transfer on (1) or off (0, every cell in calls of its own).
BENCHMARK(GasLiftTrial)
    ->Arg(1)
    ->Arg(0)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);

}  // namespace

BENCHMARK_MAIN();
