// What one optimiser trial of the gas-lift example costs: the example is run
// through gridmoor-host with its optimiser and again with optimisation off,
// and the difference in wall time is shared among the trials the first run
// made (optimisation.csv), with block transfer on and off. The bridge calls of each run are counted
// too (the library's test seam), so a change shows whether it saved calls or time per call.
//
//   gaslift_trial_bench [--benchmark_repetitions=3]
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

namespace {

namespace fs = std::filesystem;

struct RunFigures {
  double seconds = 0;
  double trials = 0;
  double bridgeCalls = 0;
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
  const fs::path work =
      fs::temp_directory_path() / ("gaslift-trial-bench-" + std::to_string(::getpid()));
  fs::create_directories(work);
  const fs::path example = fs::path(GRIDMOOR_SOURCE_DIR) / "examples" / "gaslift";
  // The same scenario with the optimiser off: what a run costs besides its trials.
  nlohmann::json plainScenario = nlohmann::json::parse(std::ifstream(example / "scenario.json"));
  plainScenario["optimisation"]["enabled"] = false;
  for (const char* file : {"gaslift.fods", "inputs.csv", "scenario.json"})
    fs::copy_file(example / file, work / file, fs::copy_options::overwrite_existing);
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
  fs::remove_all(work);
}

// Argument: block transfer on (1) or off (0, every cell in calls of its own).
BENCHMARK(GasLiftTrial)
    ->Arg(1)
    ->Arg(0)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);

}  // namespace

BENCHMARK_MAIN();
