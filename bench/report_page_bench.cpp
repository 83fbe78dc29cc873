// report.html of a long run (10,000 timesteps x 10 output streams, 20
// trials a timestep):
//  - WriteReport: the time to write it, and its size ("megabytes"; goal:
//    under 20);
//  - DrawReport: the page loaded in headless Chromium, timed by the page
//    itself (performance.now() when every chart is drawn; goal: within 2 s),
//    with "load_event_ms", the points its charts hold and the console
//    messages it printed (expected 0). Skipped where Chromium is missing.
//
//   report_page_bench [--benchmark_repetitions=3]
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <numeric>
#include <string>

#include "gridmoor_host/report/browser_support.h"
#include "gridmoor_host/report/report_test_support.h"
#include "report/report_page.h"

namespace refhost {
namespace {

// `timesteps` x `outputs` output streams and two inputs, `trials` trials a
// timestep with one constraint, and a published variable: the size of a
// long production run.
RunRecord LargeRun(int timesteps, int outputs, int trials) {
  RunRecord run;
  run.scenario = "large.json";
  run.workbook = "large.fods";
  run.timesteps = timesteps;
  run.stepDays = 1;
  run.startDate = 45292;
  for (int s = 0; s < outputs + 2; ++s)
    run.streams.push_back(
        {static_cast<std::uint32_t>(s),
         s >= 2,
         (s >= 2 ? "Out-" + std::to_string(s - 1) : "In-" + std::to_string(s + 1)),
         {}});
  run.problem.objectiveDefined = true;
  run.problem.objectiveName = "Oil";
  run.problem.controls = {{"Lift", "MMscf/d", {true, 0.0}, {true, 5.0}, 1}};
  run.problem.constraints = {{"Gas", "MMscf/d", 10, ConstraintType::kLess, 2}};
  run.optimising = true;
  for (int t = 0; t < timesteps; ++t) {
    const double date = run.startDate + t;
    for (std::size_t s = 0; s < run.streams.size(); ++s) {
      StreamState state;
      // Values with all their digits, as a model gives them.
      for (std::size_t f = 0; f < 5; ++f)
        state.scalars[f] = 1000.0 / (1.0 + 0.001 * t) + 13.37 * static_cast<double>(s) +
                           0.1234567 * static_cast<double>(f) + 1e-7 * (t % 97);
      run.streamSamples.push_back({t, date, s, state});
    }
    run.published.push_back({t, date, "Sep pressure", "psig", std::to_string(100.0 + t % 17)});
    for (int n = 1; n <= trials; ++n) {
      Trial trial;
      trial.number = n;
      trial.point.controls = {5.0 * n / trials};
      trial.value.objective = 900.0 + n * 1.0123456789 + t * 1e-3;
      trial.value.constraints = {7.0 + n * 0.3333333333};
      trial.feasible = trial.value.constraints[0] <= 10;
      run.trials.push_back({t, date, trial, n == trials});
    }
    TimestepResult r;
    r.timestep = t;
    r.date = date;
    r.optimised = true;
    r.optimum.point.controls = {5.0};
    r.optimum.value = run.trials.back().trial.value;
    r.optimum.evaluations = trials - 1;
    run.results.push_back(r);
  }
  return run;
}

}  // namespace
}  // namespace refhost

namespace {

namespace fs = std::filesystem;

constexpr int kTimesteps = 10000;
constexpr int kStreams = 10;
constexpr int kTrials = 20;

const fs::path& Folder() {
  static const fs::path folder = fs::temp_directory_path() / "gridmoor-report-bench";
  return folder;
}

// Writes the page; false with the reason in `error` on failure.
bool WritePage(std::string& error) {
  static const refhost::RunRecord run = refhost::LargeRun(kTimesteps, kStreams, kTrials);
  fs::remove_all(Folder());
  const outcome::Error unwritten = refhost::WriteRunReport(run, {}, Folder());
  if (unwritten) error = unwritten.Message();
  return !unwritten;
}

void WriteReport(benchmark::State& state) {
  for (auto _ : state) {
    std::string error;
    const auto start = std::chrono::steady_clock::now();
    if (!WritePage(error)) {
      state.SkipWithError(error.c_str());
      return;
    }
    state.SetIterationTime(
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
  }
  state.counters["megabytes"] =
      static_cast<double>(fs::file_size(Folder() / refhost::kReportFile)) / 1e6;
}
BENCHMARK(WriteReport)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(1);

void DrawReport(benchmark::State& state) {
  if (browsertest::ChromiumProgram().empty()) {
    state.SkipWithError(browsertest::kNoChromium);
    return;
  }
  std::string error;
  if (!WritePage(error)) {
    state.SkipWithError(error.c_str());
    return;
  }
  const fs::path page = Folder() / refhost::kReportFile;
  for (auto _ : state) {
    const browsertest::LoadedPage loaded = browsertest::LoadPage(page, Folder() / "browser");
    const std::string drawn = browsertest::RootAttribute(loaded.dom, "data-draw-ms");
    if (drawn.empty()) {
      state.SkipWithError(("the page drew nothing: " + loaded.log).c_str());
      return;
    }
    state.SetIterationTime(std::atof(drawn.c_str()) / 1000);
    long points = 0;
    for (const auto& [name, sizes] : browsertest::ChartPoints(loaded.dom))
      points += std::accumulate(sizes.begin(), sizes.end(), 0L);
    state.counters["load_event_ms"] =
        std::atof(browsertest::RootAttribute(loaded.dom, "data-load-ms").c_str());
    state.counters["points"] = static_cast<double>(points);
    state.counters["console_messages"] = static_cast<double>(loaded.console.size());
  }
}
BENCHMARK(DrawReport)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

BENCHMARK_MAIN();
