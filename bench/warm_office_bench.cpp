// Warm offices against fresh ones, side by side in one run:
//  - gridmoor-host run-many of 16 separator scenarios at --jobs 2, with
//    --fresh-offices and then warm: scenarios per minute, and whether the
//    outputs are the same (counter "identical", 1 when every file is);
//  - an application object's start to its first cell: on an office started
//    for it (cold) and on a running office it attaches to through the pipe
//    (warm hand-over); "application_ms" and "workbook_ms" split it into the
//    application object and its new workbook, "reset_ms" is what letting go
//    of the office and its owner's check took;
//  - a single `gridmoor-host run` to its first timestep and to its first
//    input written, starting its own office and on the office `office
//    start` keeps.
//
//   warm_office_bench [--benchmark_filter=HandOver]
#include <benchmark/benchmark.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include <nlohmann/json.hpp>

#include "com/error.h"
#include "excel/calc/calc_application.h"
#include "run_host.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using excel::InvokeKind;

constexpr int kScenarios = 16;

fs::path Work() {
  static const fs::path work =
      fs::temp_directory_path() / ("warm-office-bench-" + std::to_string(::getpid()));
  return work;
}

std::string ReadText(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// The separator example 16 times, each well stream at its own oil rate.
std::vector<std::string> Scenarios() {
  const fs::path example = fs::path(GRIDMOOR_SOURCE_DIR) / "examples" / "separator";
  std::vector<std::string> files;
  fs::create_directories(Work() / "scenarios");
  for (int i = 0; i < kScenarios; ++i) {
    nlohmann::json scenario = nlohmann::json::parse(std::ifstream(example / "scenario.json"));
    scenario["workbook"] = (example / "separator.fods").string();
    for (nlohmann::json& step : scenario["inputs"]["In-1"])
      step["oilRate"] = 3000 + 250 * i;
    const fs::path file = Work() / "scenarios" / ("s" + std::to_string(i) + ".json");
    std::ofstream(file) << scenario.dump(2);
    files.push_back(file.string());
  }
  return files;
}

// gridmoor-host run-many of every scenario into `out`; false when it failed.
bool RunMany(const std::vector<std::string>& scenarios, const fs::path& out, bool fresh) {
  fs::remove_all(out);
  std::vector<std::string> arguments = {GRIDMOOR_HOST_PROGRAM, "run-many"};
  arguments.insert(arguments.end(), scenarios.begin(), scenarios.end());
  for (const char* a : {"--jobs", "2", "--out"})
    arguments.push_back(a);
  arguments.push_back(out.string());
  if (fresh) arguments.push_back("--fresh-offices");
  return bench::RunQuietly(std::move(arguments));
}

void BM_RunManySixteenSeparators(benchmark::State& state) {
  const bool fresh = state.range(0) == 0;
  const std::vector<std::string> scenarios = Scenarios();
  const fs::path out = Work() / (fresh ? "fresh" : "warm");
  for (auto _ : state) {
    const auto start = Clock::now();
    if (!RunMany(scenarios, out, fresh)) {
      state.SkipWithError("run-many failed");
      return;
    }
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    state.SetIterationTime(seconds);
    state.counters["scenarios_per_minute"] = kScenarios * 60.0 / seconds;
  }
  // The warm run's outputs against the fresh run's, file by file.
  if (!fresh && fs::exists(Work() / "fresh")) {
    bool identical = true;
    for (int i = 0; i < kScenarios; ++i) {
      const std::string name = "s" + std::to_string(i);
      for (const char* file : {"streams.csv", "compositions.csv", "published.csv"}) {
        const std::string warm = ReadText(out / name / file);
        identical = identical && !warm.empty() && warm == ReadText(Work() / "fresh" / name / file);
      }
    }
    state.counters["identical"] = identical ? 1 : 0;
  }
}
BENCHMARK(BM_RunManySixteenSeparators)
    ->ArgName("warm")
    ->Arg(0)
    ->Arg(1)
    ->UseManualTime()
    ->Iterations(1)
    ->Unit(benchmark::kSecond);

// A new application object to its first cell written and read back; how
// long the object (`attach`) and then the new workbook took go to `phases`.
struct Phases {
  std::vector<double> application, workbook;
};

com::Ptr<excel::Application> FirstCell(Phases& phases) {
  const auto start = Clock::now();
  com::Ptr<excel::Application> application = excel::calc::CreateCalcApplication();
  const auto created = Clock::now();
  const com::Ptr<excel::Workbook> workbook =
      application->GetWorkbooks()->Add(com::Variant::Missing(), 0);
  const auto added = Clock::now();
  const com::Ptr<excel::Worksheet> sheet =
      com::QueryInterface<excel::Worksheet>(workbook->GetSheets()->GetItem(com::Variant::Int(1)));
  const com::Ptr<excel::Range> cell =
      sheet->GetRange(com::Variant::Text("A1"), com::Variant::Missing());
  const com::Variant value = com::Variant::Double(1);
  cell->Invoke(excel::kDispidValue2, InvokeKind::kPropertyPut, {&value, 1});
  benchmark::DoNotOptimize(cell->Invoke(excel::kDispidValue2, InvokeKind::kPropertyGet, {}));
  phases.application.push_back(std::chrono::duration<double, std::milli>(created - start).count());
  phases.workbook.push_back(std::chrono::duration<double, std::milli>(added - created).count());
  return application;
}

double Median(std::vector<double> samples) {
  if (samples.empty()) return 0;
  std::nth_element(samples.begin(), samples.begin() + samples.size() / 2, samples.end());
  return samples[samples.size() / 2];
}

double Seconds(Clock::time_point since) {
  return std::chrono::duration<double>(Clock::now() - since).count();
}

// The application object is let go (the office ended, or put back) outside
// the time.
void BM_ColdStartToFirstCell(benchmark::State& state) {
  excel::calc::SetOfficePipe("");
  Phases phases;
  for (auto _ : state) {
    const auto start = Clock::now();
    const com::Ptr<excel::Application> application = FirstCell(phases);
    state.SetIterationTime(Seconds(start));
    application->Quit();  // the office ends: the next iteration starts cold
  }
  state.counters["application_ms"] = Median(phases.application);
  state.counters["workbook_ms"] = Median(phases.workbook);
}

void BM_WarmHandOverToFirstCell(benchmark::State& state) {
  const std::unique_ptr<excel::calc::SharedOffice> office = excel::calc::SharedOffice::Start();
  excel::calc::SetOfficePipe(office->Pipe());
  std::vector<double> resets;
  Phases phases;
  for (auto _ : state) {
    const auto start = Clock::now();
    const com::Ptr<excel::Application> application = FirstCell(phases);
    state.SetIterationTime(Seconds(start));
    // As between two scenarios: the user puts back what it found, then the
    // owner checks that the office is as it started.
    const auto reset = Clock::now();
    application->Quit();
    if (!office->Reset()) state.SkipWithError("the office could not be put back");
    resets.push_back(Seconds(reset) * 1000);
  }
  state.counters["reset_ms"] = Median(resets);
  state.counters["application_ms"] = Median(phases.application);
  state.counters["workbook_ms"] = Median(phases.workbook);
  excel::calc::SetOfficePipe("");
}

struct RunTimes {
  double firstTimestep = -1, firstInput = -1, whole = -1;  // ms; negative when it failed
};

// What the run says in its first timestep's event: the milliseconds from
// its start (its static objects, just after the dynamic loader) to its
// first input written into the workbook.
double FirstInputMs(const fs::path& events) {
  std::ifstream in(events);
  for (std::string line; std::getline(in, line);) {
    const nlohmann::json event = nlohmann::json::parse(line, nullptr, false);
    if (event.is_object() && event.value("event", "") == "timestep" &&
        event.contains("firstInputMs"))
      return event["firstInputMs"].get<double>();
  }
  return -1;
}

// `gridmoor-host run` of one separator timestep: how long until its first
// timestep's line (its first cells written and read back), until its first
// input was written (as it tells) and until it ended.
RunTimes RunToFirstTimestep(const std::string& scenario, const fs::path& out) {
  int err[2];
  if (::pipe(err) != 0) return {};
  const std::string outOption = out.string();
  const fs::path events = out.string() + "-events.jsonl";
  std::vector<const char*> argv{GRIDMOOR_HOST_PROGRAM, "run",        scenario.c_str(), "--out",
                                outOption.c_str(),     "--progress", "json",           nullptr};
  const auto start = Clock::now();
  const pid_t pid = ::fork();
  if (pid == 0) {
    std::freopen(events.c_str(), "w", stdout);
    ::dup2(err[1], STDERR_FILENO);
    ::execv(argv[0], const_cast<char* const*>(argv.data()));
    ::_exit(127);
  }
  ::close(err[1]);
  std::string said;
  double first = -1;
  char buffer[4096];
  for (ssize_t n; (n = ::read(err[0], buffer, sizeof buffer)) > 0;) {
    said.append(buffer, static_cast<std::size_t>(n));
    if (first < 0 && said.find("timestep 0 ") != std::string::npos) first = Seconds(start) * 1000;
  }
  ::close(err[0]);
  int status = 0;
  ::waitpid(pid, &status, 0);
  const bool passed = WIFEXITED(status) && WEXITSTATUS(status) == 0;
  if (!passed) return {};
  return {first, FirstInputMs(events), Seconds(start) * 1000};
}

// A single `run` on the office `office start` keeps, against one that starts
// its own: the time to its first timestep (the figure), "first_cell_ms" to
// its first input written into the workbook, and "run_ms" to its end.
void BM_RunToFirstTimestep(benchmark::State& state) {
  const bool warm = state.range(0) == 1;
  const fs::path xdg = Work() / (warm ? "xdg-warm" : "xdg-cold");
  fs::create_directories(xdg);
  fs::permissions(xdg, fs::perms::owner_all);
  ::setenv("XDG_RUNTIME_DIR", xdg.c_str(), 1);
  const std::string host = GRIDMOOR_HOST_PROGRAM;
  if (warm && !bench::RunQuietly({host, "office", "start"})) {
    state.SkipWithError("office start failed");
    return;
  }
  nlohmann::json scenario = nlohmann::json::parse(
      std::ifstream(fs::path(GRIDMOOR_SOURCE_DIR) / "examples" / "separator" / "scenario.json"));
  scenario["workbook"] =
      (fs::path(GRIDMOOR_SOURCE_DIR) / "examples" / "separator" / "separator.fods").string();
  scenario["run"]["timesteps"] = 1;
  const fs::path file = xdg / "one.json";
  std::ofstream(file) << scenario.dump(2);
  std::vector<double> runs, firstInputs;
  for (auto _ : state) {
    const RunTimes times = RunToFirstTimestep(file.string(), xdg / "out");
    if (times.firstTimestep < 0 || times.firstInput < 0) {
      state.SkipWithError("the run failed");
      break;
    }
    state.SetIterationTime(times.firstTimestep / 1000);
    runs.push_back(times.whole);
    firstInputs.push_back(times.firstInput);
  }
  state.counters["run_ms"] = Median(runs);
  state.counters["first_cell_ms"] = Median(firstInputs);
  if (warm) bench::RunQuietly({host, "office", "stop"});
  ::unsetenv("XDG_RUNTIME_DIR");
}

}  // namespace

BENCHMARK(BM_RunToFirstTimestep)
    ->ArgName("warm")
    ->Arg(0)
    ->Arg(1)
    ->UseManualTime()
    ->Iterations(10)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ColdStartToFirstCell)->UseManualTime()->Iterations(5)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WarmHandOverToFirstCell)
    ->UseManualTime()
    ->Iterations(20)
    ->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
