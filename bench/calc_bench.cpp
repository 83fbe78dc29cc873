// What the Calc application costs: starting the office, a new application
// object while it runs, one Value2 get and put per cell (the driver's
// pattern: Range by address, then Invoke), a 100x100 block, and a 10x1
// block with and without cell notes.
//
// Per-cell figures report the median of every single call as "median_us".
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "com/error.h"
#include "com/variants/variant_grid.h"
#include "excel/calc/calc_application.h"

namespace {

using Clock = std::chrono::steady_clock;
using excel::InvokeKind;

com::Ptr<excel::Worksheet> FirstSheet(const com::Ptr<excel::Workbook>& workbook) {
  return com::QueryInterface<excel::Worksheet>(
      workbook->GetSheets()->GetItem(com::Variant::Int(1)));
}

com::Ptr<excel::Range> RangeAt(const com::Ptr<excel::Worksheet>& sheet, const std::string& cell) {
  return sheet->GetRange(com::Variant::Text(cell), com::Variant::Missing());
}

double Microseconds(Clock::duration duration) {
  return std::chrono::duration<double, std::micro>(duration).count();
}

double Median(std::vector<double> samples) {
  if (samples.empty()) return 0;
  std::nth_element(samples.begin(), samples.begin() + samples.size() / 2, samples.end());
  return samples[samples.size() / 2];
}

// One application with one workbook, kept for the per-cell benchmarks.
struct Session {
  com::Ptr<excel::Application> application = excel::calc::CreateCalcApplication();
  com::Ptr<excel::Workbook> workbook = application->GetWorkbooks()->Add(com::Variant::Missing(), 0);
  com::Ptr<excel::Worksheet> sheet = FirstSheet(workbook);
  ~Session() { application->Quit(); }
};

// 100 cells in turn, A1..J10, as a model's bound cells are.
std::vector<std::string> CellNames() {
  std::vector<std::string> names;
  for (char column = 'A'; column <= 'J'; ++column)
    for (int row = 1; row <= 10; ++row)
      names.push_back(column + std::to_string(row));
  return names;
}

void BM_ColdStartToFirstCell(benchmark::State& state) {
  for (auto _ : state) {
    const auto start = Clock::now();
    com::Ptr<excel::Application> application = excel::calc::CreateCalcApplication();
    const com::Ptr<excel::Worksheet> sheet =
        FirstSheet(application->GetWorkbooks()->Add(com::Variant::Missing(), 0));
    const com::Variant value = com::Variant::Double(1);
    RangeAt(sheet, "A1")->Invoke(excel::kDispidValue2, InvokeKind::kPropertyPut, {&value, 1});
    benchmark::DoNotOptimize(
        RangeAt(sheet, "A1")->Invoke(excel::kDispidValue2, InvokeKind::kPropertyGet, {}));
    state.SetIterationTime(std::chrono::duration<double>(Clock::now() - start).count());
    application->Quit();  // the office ends: the next iteration starts cold
  }
}
BENCHMARK(BM_ColdStartToFirstCell)->UseManualTime()->Iterations(5)->Unit(benchmark::kMillisecond);

void BM_NewApplicationWhileOfficeRuns(benchmark::State& state) {
  Session holder;  // keeps the office running
  for (auto _ : state) {
    const auto start = Clock::now();
    com::Ptr<excel::Application> application = excel::calc::CreateCalcApplication();
    const com::Ptr<excel::Workbook> workbook =
        application->GetWorkbooks()->Add(com::Variant::Missing(), 0);
    state.SetIterationTime(std::chrono::duration<double>(Clock::now() - start).count());
    application->Quit();
  }
}
BENCHMARK(BM_NewApplicationWhileOfficeRuns)
    ->UseManualTime()
    ->Iterations(20)
    ->Unit(benchmark::kMillisecond);

void BM_Value2GetPerCell(benchmark::State& state) {
  Session session;
  const std::vector<std::string> cells = CellNames();
  for (std::size_t i = 0; i < cells.size(); ++i) {
    const com::Variant value = com::Variant::Double(static_cast<double>(i) + 0.5);
    RangeAt(session.sheet, cells[i])
        ->Invoke(excel::kDispidValue2, InvokeKind::kPropertyPut, {&value, 1});
  }
  std::vector<double> samples;
  samples.reserve(static_cast<std::size_t>(state.max_iterations));
  std::size_t next = 0;
  for (auto _ : state) {
    const auto start = Clock::now();
    benchmark::DoNotOptimize(RangeAt(session.sheet, cells[next])
                                 ->Invoke(excel::kDispidValue2, InvokeKind::kPropertyGet, {}));
    samples.push_back(Microseconds(Clock::now() - start));
    next = (next + 1) % cells.size();
  }
  state.counters["median_us"] = Median(samples);
}
BENCHMARK(BM_Value2GetPerCell)->Iterations(10000)->Unit(benchmark::kMicrosecond);

void BM_Value2PutPerCell(benchmark::State& state) {
  Session session;
  const std::vector<std::string> cells = CellNames();
  std::vector<double> samples;
  samples.reserve(static_cast<std::size_t>(state.max_iterations));
  std::size_t next = 0;
  double number = 0;
  for (auto _ : state) {
    const com::Variant value = com::Variant::Double(number += 1.25);
    const auto start = Clock::now();
    RangeAt(session.sheet, cells[next])
        ->Invoke(excel::kDispidValue2, InvokeKind::kPropertyPut, {&value, 1});
    samples.push_back(Microseconds(Clock::now() - start));
    next = (next + 1) % cells.size();
  }
  state.counters["median_us"] = Median(samples);
}
BENCHMARK(BM_Value2PutPerCell)->Iterations(10000)->Unit(benchmark::kMicrosecond);

com::Variant HundredByHundred(double base) {
  com::VariantGrid grid(100, 100);
  for (std::int32_t r = 1; r <= 100; ++r)
    for (std::int32_t c = 1; c <= 100; ++c)
      grid.At(r, c) = com::Variant::Double(base + r * c);
  return grid.ToVariant();
}

void BM_Block100x100Get(benchmark::State& state) {
  Session session;
  const com::Variant block = HundredByHundred(0.5);
  RangeAt(session.sheet, "A1:CV100")
      ->Invoke(excel::kDispidValue2, InvokeKind::kPropertyPut, {&block, 1});
  for (auto _ : state) {
    benchmark::DoNotOptimize(RangeAt(session.sheet, "A1:CV100")
                                 ->Invoke(excel::kDispidValue2, InvokeKind::kPropertyGet, {}));
  }
}
BENCHMARK(BM_Block100x100Get)->Iterations(50)->Unit(benchmark::kMillisecond);

void BM_Block100x100Put(benchmark::State& state) {
  Session session;
  double base = 0;
  for (auto _ : state) {
    state.PauseTiming();
    const com::Variant block = HundredByHundred(base += 1);
    state.ResumeTiming();
    RangeAt(session.sheet, "A1:CV100")
        ->Invoke(excel::kDispidValue2, InvokeKind::kPropertyPut, {&block, 1});
  }
}
BENCHMARK(BM_Block100x100Put)->Iterations(50)->Unit(benchmark::kMillisecond);

// A 10x1 block (a composition's column) per call: with no notes in it, the
// usual case, and with a note on every cell, which each write reads and puts
// back (the office's block write drops them).
void BM_Block10x1Put(benchmark::State& state) {
  Session session;
  const bool noted = state.range(0) != 0;
  if (noted) {
    excel::calc::PutBasicModule(session.workbook, "Standard", "Notes",
                                "Sub AddNotes\n"
                                "  Dim sheet, r\n"
                                "  sheet = ThisComponent.Sheets(0)\n"
                                "  For r = 0 To 9\n"
                                "    sheet.Annotations.insertNew("
                                "sheet.getCellByPosition(0, r).CellAddress, \"note\")\n"
                                "  Next\n"
                                "End Sub\n");
    excel::RunArguments none;
    none.fill(com::Variant::Missing());
    session.application->Run(com::Variant::Text("AddNotes"), none);
  }
  com::VariantGrid grid(10, 1);
  std::vector<double> samples;
  double base = 0;
  for (auto _ : state) {
    base += 1;
    for (std::int32_t r = 1; r <= 10; ++r)
      grid.At(r, 1) = com::Variant::Double(base + r);
    const com::Variant block = grid.ToVariant();
    const auto start = Clock::now();
    RangeAt(session.sheet, "A1:A10")
        ->Invoke(excel::kDispidValue2, InvokeKind::kPropertyPut, {&block, 1});
    samples.push_back(Microseconds(Clock::now() - start));
  }
  state.counters["median_us"] = Median(samples);
}
BENCHMARK(BM_Block10x1Put)->Arg(0)->Arg(1)->Iterations(2000)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  try {
    benchmark::RunSpecifiedBenchmarks();
  } catch (const com::Error& error) {
    std::fprintf(stderr, "calc_bench: %s (0x%08X)\n", error.what(),
                 static_cast<unsigned>(error.hr()));
    return 1;
  }
  benchmark::Shutdown();
  return 0;
}
