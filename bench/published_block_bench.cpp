// A published block variable set and read on Calc, 10,000 columns wide (the
// widest the case allows) and up to 10,000 rows: the case's largest block,
// 10^8 cells, goes as bands of 2^20 cells. A set text is at most 64 MiB, so
// the largest block that can be set is 3,355 rows of one-digit values; the
// largest read is filled by three sets first.
//
// The argument is the height; "cells_per_s" is the rate. On the 2-core
// machine (Dec 2026): get 10^8 cells 46 s, 10^7 7.5 s; set 33.5 million
// cells 161 s, 10^7 64 s; cell by cell both were about 1,500 cells/s.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "automation/excel_session.h"
#include "casedata/exported_variable.h"
#include "excel/calc/calc_application.h"
#include "gridmoor/host.h"
#include "optimisation/published_ops.h"
#include "support/temp_registry.h"

namespace {

namespace opt = optimisation;
using Clock = std::chrono::steady_clock;

constexpr int kWidth = 10000;
constexpr int kMostSetRows = 3355;  // 2 bytes a cell, under 64 MiB

std::unique_ptr<automation::CExcExcelObj> StartSession() {
  test_support::ScopedEnv choose("GRIDMOOR_SPREADSHEET", "calc");
  auto started = automation::CreateExcelSession();
  if (!started) return nullptr;
  std::unique_ptr<automation::CExcExcelObj> session = *std::move(started);
  if (session->NewWorkbook()) return nullptr;
  return session;
}

// One variable of kWidth x `rows` cells at `cell` on Sheet1.
casedata::CExcclExportedVariable Variable(const std::string& cell, int rows) {
  casedata::CExcclExportedVariable variables;
  casedata::CExcExportedVariable* v =
      variables.Add(std::make_unique<casedata::CExcExportedVariable>());
  v->name = "block";
  v->worksheet = "Sheet1";
  v->cell = cell;
  v->RegionWidth = kWidth;
  v->RegionHeight = rows;
  return variables;
}

// Sets `text` (non-null) or gets the variable; the read text into `got`.
bool Eval(automation::CExcExcelObj& session, const casedata::CExcclExportedVariable& variables,
          const std::string* text, std::string& got) {
  casedata::PublishedValueRequest request{0, text != nullptr, std::nullopt};
  if (text != nullptr) request.text = *text;
  outcome::Expected<std::string> result =
      opt::EvalPublishedVariablesAsBlock(variables, &session, 0, request);
  if (!result) {
    std::fprintf(stderr, "failed: %s\n", result.GetError().Message().c_str());
    return false;
  }
  if (text == nullptr) got = std::move(*result);
  return true;
}

// `rows` rows of kWidth one-digit values, as percentages when `typed` (left
// to the office's input recognition).
std::string Text(int rows, bool typed = false) {
  const std::string value = typed ? "7%" : "7";
  std::string row;
  for (int c = 0; c < kWidth; ++c)
    row += (c == 0 ? "" : "\t") + value;
  std::string text;
  text.reserve(static_cast<std::size_t>(rows) * (row.size() + 1));
  for (int r = 0; r < rows; ++r)
    (text += row) += '\n';
  return text;
}

void BM_SetBlock(benchmark::State& state) {
  const int rows = static_cast<int>(state.range(0));
  auto session = StartSession();
  if (!session) return state.SkipWithError("no office");
  const casedata::CExcclExportedVariable variables = Variable("A1", rows);
  const std::string text = Text(rows, state.range(1) != 0);
  std::string unused;
  for (auto _ : state) {
    const auto start = Clock::now();
    if (!Eval(*session, variables, &text, unused)) return state.SkipWithError("set failed");
    state.SetIterationTime(std::chrono::duration<double>(Clock::now() - start).count());
  }
  state.counters["cells_per_s"] = benchmark::Counter(
      static_cast<double>(rows) * kWidth * static_cast<double>(state.iterations()),
      benchmark::Counter::kIsRate);
  session->CloseWorkbook();
}

void BM_GetBlock(benchmark::State& state) {
  const int rows = static_cast<int>(state.range(0));
  auto session = StartSession();
  if (!session) return state.SkipWithError("no office");
  // Filled by sets of at most kMostSetRows rows, untimed.
  std::string unused;
  for (int top = 0; top < rows; top += kMostSetRows) {
    const int part = std::min(kMostSetRows, rows - top);
    const std::string text = Text(part);
    if (!Eval(*session, Variable("A" + std::to_string(top + 1), part), &text, unused))
      return state.SkipWithError("fill failed");
  }
  const casedata::CExcclExportedVariable variables = Variable("A1", rows);
  std::string got;
  for (auto _ : state) {
    const auto start = Clock::now();
    if (!Eval(*session, variables, nullptr, got)) return state.SkipWithError("get failed");
    state.SetIterationTime(std::chrono::duration<double>(Clock::now() - start).count());
  }
  if (got.size() != static_cast<std::size_t>(rows) * kWidth * 2 - 1)
    state.SkipWithError("the read is not the block");
  state.counters["cells_per_s"] = benchmark::Counter(
      static_cast<double>(rows) * kWidth * static_cast<double>(state.iterations()),
      benchmark::Counter::kIsRate);
  session->CloseWorkbook();
}

}  // namespace

// 105 rows: just over one band; kMostSetRows: the largest set; 10,000: the
// largest block. The second argument 1 sets percentages instead of numbers.
BENCHMARK(BM_SetBlock)
    ->Args({105, 0})
    ->Args({1000, 0})
    ->Args({kMostSetRows, 0})
    ->Args({105, 1})
    ->UseManualTime()
    ->Iterations(1)
    ->Unit(benchmark::kSecond);
BENCHMARK(BM_GetBlock)
    ->Arg(105)
    ->Arg(1000)
    ->Arg(10000)
    ->UseManualTime()
    ->Iterations(1)
    ->Unit(benchmark::kSecond);

int main(int argc, char** argv) {
  excel::calc::RegisterCalcApplication();
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
