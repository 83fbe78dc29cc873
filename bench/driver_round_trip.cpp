// One ExtCmd round trip of a cheap code (3, QueryNumber) through a threaded
// instance (host thread -> worker -> host thread) and through a direct one,
// with the median and 99th percentile of single calls as counters.
// No spreadsheet application is needed: code 3 does not touch it.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <vector>

#include "driver/instances.h"

namespace {

void RoundTrip(benchmark::State& state, driver::Mode mode) {
  setenv("GRIDMOOR_SPREADSHEET", "none", 1);
  ExtStatusRecord status{};
  status.size = EXT_STATUS_RECORD_SIZE;
  ExtInstance instance = nullptr;
  driver::CreateInstance(mode, &instance, &status);
  std::vector<double> samples;
  samples.reserve(1 << 20);
  for (auto _ : state) {
    const auto start = std::chrono::steady_clock::now();
    const std::int32_t result = driver::Command(instance, nullptr, 3, nullptr, 0, &status);
    const auto end = std::chrono::steady_clock::now();
    benchmark::DoNotOptimize(result);
    if (samples.size() < samples.capacity()) {
      samples.push_back(std::chrono::duration<double, std::micro>(end - start).count());
    }
  }
  driver::DestroyInstance(instance, &status);
  if (samples.empty()) return;
  std::sort(samples.begin(), samples.end());
  state.counters["median_us"] = samples[samples.size() / 2];
  state.counters["p99_us"] = samples[std::min(samples.size() - 1, samples.size() * 99 / 100)];
}

void BM_ThreadedRoundTrip(benchmark::State& state) {
  RoundTrip(state, driver::Mode::kThreaded);
}

void BM_DirectRoundTrip(benchmark::State& state) {
  RoundTrip(state, driver::Mode::kDirect);
}

BENCHMARK(BM_ThreadedRoundTrip)->MinTime(2.0);
BENCHMARK(BM_DirectRoundTrip)->MinTime(2.0);

}  // namespace

BENCHMARK_MAIN();
