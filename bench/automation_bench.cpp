// One cell read as a number and one cell written from a text, through the
// driver's cell transfer, on the in-memory application and on Calc; and one
// cell read and written through the worksheet functions, whose handle table,
// lock and VARIANT conversion should add only a few microseconds.
#include <benchmark/benchmark.h>

#include <memory>
#include <string>

#include "automation/cell_transfer.h"
#include "automation/excel_session.h"
#include "driver/worksheet_functions.h"
#include "excel/calc/calc_application.h"
#include "support/application_registration.h"
#include "support/temp_registry.h"

namespace {

std::unique_ptr<automation::CExcExcelObj> StartSession(const char* application) {
  test_support::ScopedEnv choose("GRIDMOOR_SPREADSHEET", application);
  auto started = automation::CreateExcelSession();
  if (!started) return nullptr;
  std::unique_ptr<automation::CExcExcelObj> session = *std::move(started);
  if (session->NewWorkbook() || session->SelectWorksheet("Sheet1")) {
    return nullptr;
  }
  return session;
}

void ReadCellDouble(benchmark::State& state, const char* application) {
  auto session = StartSession(application);
  if (!session) {
    state.SkipWithError("no session");
    return;
  }
  automation::WriteCellText(session.get(), "", "B2", "42.5").Consume();
  for (auto _ : state) {
    outcome::Expected<double> value = automation::ReadCellDouble(session.get(), "Sheet1", "B2");
    value.Consume();
    benchmark::DoNotOptimize(value);
  }
  session->CloseWorkbook();
  session->Quit();
}

void WriteCellText(benchmark::State& state, const char* application) {
  auto session = StartSession(application);
  if (!session) {
    state.SkipWithError("no session");
    return;
  }
  for (auto _ : state) {
    automation::WriteCellText(session.get(), "Sheet1", "2:3", "17.25").Consume();
  }
  session->CloseWorkbook();
  session->Quit();
}

// A worksheet function session with a new workbook; null when none starts.
FnSession StartFunctionSession(const char* application) {
  test_support::ScopedEnv choose("GRIDMOOR_SPREADSHEET", application);
  FnSession session = driver::FnCreate();
  char message[EXT_FN_MESSAGE_SIZE] = {};
  if (session != nullptr && driver::FnNewFile(session, message) != 0) {
    driver::FnDestroy(session);
    return nullptr;
  }
  return session;
}

void FnGetCellPerCell(benchmark::State& state, const char* application) {
  FnSession session = StartFunctionSession(application);
  if (session == nullptr) {
    state.SkipWithError("no session");
    return;
  }
  char message[EXT_FN_MESSAGE_SIZE] = {};
  com::VARIANT value;
  GmVariantInit(&value);
  value.vt = com::VT_R8;
  value.dblVal = 42.5;
  driver::FnSetCell(session, "Sheet1", "B2", &value, message);
  for (auto _ : state) {
    driver::FnGetCell(session, "Sheet1", "B2", &value, message);
    benchmark::DoNotOptimize(value.dblVal);
  }
  GmVariantClear(&value);
  driver::FnDestroy(session);
}

void FnSetCellPerCell(benchmark::State& state, const char* application) {
  FnSession session = StartFunctionSession(application);
  if (session == nullptr) {
    state.SkipWithError("no session");
    return;
  }
  char message[EXT_FN_MESSAGE_SIZE] = {};
  for (auto _ : state) {
    com::VARIANT value;
    GmVariantInit(&value);
    value.vt = com::VT_R8;
    value.dblVal = 17.25;
    driver::FnSetCell(session, "Sheet1", "C3", &value, message);
  }
  driver::FnDestroy(session);
}

}  // namespace

int main(int argc, char** argv) {
  test_support::MemoryApplicationRegistration memory("memory");
  excel::calc::RegisterCalcApplication();
  for (const char* application : {"memory", "calc"}) {
    benchmark::RegisterBenchmark((std::string("ReadCellDouble/") + application).c_str(),
                                 ReadCellDouble, application)
        ->MinTime(1.0)
        ->Repetitions(3)
        ->ReportAggregatesOnly(true);
    benchmark::RegisterBenchmark((std::string("WriteCellText/") + application).c_str(),
                                 WriteCellText, application)
        ->MinTime(1.0)
        ->Repetitions(3)
        ->ReportAggregatesOnly(true);
    benchmark::RegisterBenchmark((std::string("FnGetWorksheetCell/") + application).c_str(),
                                 FnGetCellPerCell, application)
        ->MinTime(1.0)
        ->Repetitions(3)
        ->ReportAggregatesOnly(true);
    benchmark::RegisterBenchmark((std::string("FnSetWorksheetCell/") + application).c_str(),
                                 FnSetCellPerCell, application)
        ->MinTime(1.0)
        ->Repetitions(3)
        ->ReportAggregatesOnly(true);
  }
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
