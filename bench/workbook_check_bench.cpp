// What `gridmoor-host workbook check` costs for a workbook of 10,000
// formula cells: reading the saved values from the file, opening a private
// copy in the office, recalculating and reading every result, and the
// comparison. Once with the office started by the check itself (as the
// command runs), once with an office already running. And reading the saved
// values alone of a sheet of many array formulas, whose cost must grow with
// the cells, not with the arrays times the cells.
#include <benchmark/benchmark.h>

#include <filesystem>

#include "check/check_report.h"
#include "com/variants/variant.h"
#include "excel/calc/calc_application.h"
#include "excel/calc/calc_recalculation.h"
#include "saved_values/saved_values.h"
#include "support/temp_folder.h"
#include "support/xlsx_writer.h"

namespace {

constexpr int kFormulaCells = 10000;

// 100 inputs in column A; formulas in B..K: numbers, texts, logicals and a
// few errors, as a model's sheets mix them.
std::string Workbook() {
  std::vector<test_support::XlsxCell> cells;
  for (int row = 1; row <= kFormulaCells / 10; ++row) {
    const std::string r = std::to_string(row);
    if (row <= 100) cells.push_back({"A" + r, "", "", std::to_string(row), ""});
    const std::string a = "$A$" + std::to_string((row - 1) % 100 + 1);
    for (const char column : std::string("BCDEFGH"))
      cells.push_back({std::string(1, column) + r, a + "*" + std::to_string(column - 'A'), "",
                       std::to_string(((row - 1) % 100 + 1) * (column - 'A')), ""});
    cells.push_back({"I" + r, "\"v\"&" + a, "str", "v" + std::to_string((row - 1) % 100 + 1), ""});
    cells.push_back({"J" + r, a + ">50", "b", (row - 1) % 100 + 1 > 50 ? "1" : "0", ""});
    cells.push_back({"K" + r, row % 100 == 0 ? "1/0" : a + "/2", row % 100 == 0 ? "e" : "",
                     row % 100 == 0 ? "#DIV/0!" : std::to_string(((row - 1) % 100 + 1) / 2.0), ""});
  }
  return test_support::XlsxBytes({{"Model", cells}});
}

void CheckOnce(benchmark::State& state, const std::filesystem::path& book) {
  const auto read = refhost::ReadSavedValues(book);
  if (!read) state.SkipWithError(read.GetError().Message().c_str());
  const refhost::SavedWorkbook saved = read ? *read : refhost::SavedWorkbook{};
  const excel::RecalculatedWorkbook calc =
      excel::calc::CreateCalcRecalculator()->Recalculate(book.string());
  const refhost::CheckReport report = refhost::CompareWorkbook(saved, calc);
  if (report.formulas != kFormulaCells || !report.differ.empty())
    state.SkipWithError("the benchmark's workbook did not check clean");
  benchmark::DoNotOptimize(report);
}

void BM_CheckWorkbookStartingTheOffice(benchmark::State& state) {
  const test_support::TempFolder folder;
  const std::filesystem::path book = folder.path() / "model.xlsx";
  test_support::WriteFile(book, Workbook());
  for (auto _ : state)
    CheckOnce(state, book);
  state.counters["formula_cells"] = kFormulaCells;
}
BENCHMARK(BM_CheckWorkbookStartingTheOffice)->Iterations(3)->Unit(benchmark::kMillisecond);

void BM_CheckWorkbookOfficeRunning(benchmark::State& state) {
  const test_support::TempFolder folder;
  const std::filesystem::path book = folder.path() / "model.xlsx";
  test_support::WriteFile(book, Workbook());
  const com::Ptr<excel::Application> holder = excel::calc::CreateCalcApplication();
  for (auto _ : state)
    CheckOnce(state, book);
  state.counters["formula_cells"] = kFormulaCells;
  holder->Quit();
}
BENCHMARK(BM_CheckWorkbookOfficeRunning)->Iterations(3)->Unit(benchmark::kMillisecond);

// `arrays` array formulas down column B, each filling three cells across
// (B:D), beside as many plain values in column A and a shared formula in E.
std::string ManyArrays(int arrays) {
  std::vector<test_support::XlsxCell> cells;
  for (int row = 1; row <= arrays; ++row) {
    const std::string r = std::to_string(row);
    cells.push_back({"A" + r, "", "", r, ""});
    cells.push_back(
        {"B" + r, "A" + r + "*{1,2,3}", "", r, "t=\"array\" ref=\"B" + r + ":D" + r + "\""});
    cells.push_back({"C" + r, "", "", std::to_string(row * 2), ""});
    cells.push_back({"D" + r, "", "", std::to_string(row * 3), ""});
    cells.push_back({"E" + r, row == 1 ? "A1+D1" : "", "", std::to_string(row * 4),
                     row == 1 ? "t=\"shared\" ref=\"E1:E" + std::to_string(arrays) + "\" si=\"0\""
                              : "t=\"shared\" si=\"0\""});
  }
  return test_support::XlsxBytes({{"Arrays", cells}});
}

void BM_ReadSavedValuesManyArrays(benchmark::State& state) {
  const int arrays = static_cast<int>(state.range(0));
  const std::string bytes = ManyArrays(arrays);
  for (auto _ : state) {
    const auto read = refhost::ReadXlsxSavedValues(bytes);
    if (!read) state.SkipWithError(read.GetError().Message().c_str());
    const refhost::SavedWorkbook saved = read ? *read : refhost::SavedWorkbook{};
    if (saved.formulas.size() != static_cast<std::size_t>(arrays) * 4)
      state.SkipWithError("not every cell of the arrays was read");
    benchmark::DoNotOptimize(saved);
  }
  state.SetComplexityN(arrays);
  state.counters["formula_cells"] = arrays * 4;
  state.counters["cells_per_second"] =
      benchmark::Counter(arrays * 5.0, benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_ReadSavedValuesManyArrays)
    ->Arg(1000)
    ->Arg(4000)
    ->Arg(16000)
    ->Arg(64000)
    ->Unit(benchmark::kMillisecond)
    ->Complexity(benchmark::oN);

}  // namespace

BENCHMARK_MAIN();
