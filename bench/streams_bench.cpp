// The stream transfer cell by cell: SetIPR and GetIPR of a 100-component
// stream with binary interaction coefficients, on the in-memory application
// and on a real office. The baseline for a block-transfer fast path.
//
// Counters: "cells" per call and "per_cell" (time per cell).
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "automation/excel_session.h"
#include "case/case_details.h"
#include "case/composition.h"
#include "case/stream_data.h"
#include "com/class_registry.h"
#include "excel/calc/calc_application.h"
#include "gridmoor/host.h"
#include "streams/stream_transfer.h"
#include "support/memory_application.h"

namespace {

constexpr std::size_t kComponents = 100;
// SetIPR: 10 solver rows, per component its name, mole fraction and 13
// properties, the 100 x 100 matrix (diagonal "--" included), mass rate and
// EOS name.
constexpr std::size_t kSetCells = 10 + kComponents * 15 + kComponents * kComponents + 2;
// GetIPR: 8 property rows, 14 columns per component (the name is not read),
// the matrix without its diagonal, mass rate and EOS name.
constexpr std::size_t kGetCells = 8 + kComponents * 14 + kComponents * (kComponents - 1) + 2;

void Register() {
  static const bool done = [] {
    com::ClassRegistry::Instance().RegisterFactory("memory", []() -> com::Ptr<com::Unknown> {
      return test_support::MemoryApplication::Create();
    });
    excel::calc::RegisterCalcApplication();
    return true;
  }();
  static_cast<void>(done);
}

// One workbook with In-1 and Out-1 bound to the same cells, so that GetIPR
// reads back what SetIPR wrote.
struct StreamWorkbook {
  explicit StreamWorkbook(const char* application) {
    Register();
    setenv("GRIDMOOR_SPREADSHEET", application, 1);
    std::string error;
    session = automation::CreateExcelSession(error);
    if (!session) return;
    char message[EXT_STATUS_TEXT_SIZE] = {};
    if (session->NewWorkbook(message) != 0) session.reset();
    if (!session) return;

    details.inputCount = 1;
    details.outputCount = 1;
    streams::ResizeStreams(details.inputStreams, 1);
    streams::ResizeStreams(details.outputStreams, 1);
    details.useCompositions = 1;
    std::vector<std::string> names;
    for (std::size_t i = 0; i < kComponents; ++i)
      names.push_back("C" + std::to_string(i + 1));
    details.compositions.Add(std::make_unique<streams::CExcCompositionDefinition>("Big", names));

    streams::CExcStreamCompositionData block;
    block.componentTableCell = "A20";
    block.interactionCell = "Q20";
    block.massRateCell = "B14";
    block.eosModelCell = "B15";
    block.columnUnits[1] = 1;
    block.columnUnits[2] = 2;

    streams::CExcInputStreamData& in = *details.inputStreams.At(0);
    in.sheetName = "Streams";
    in.forecastDisplay = false;
    for (std::size_t row = 0; row < streams::kInputRowCount; ++row)
      in.solverCells[row] = {"B" + std::to_string(row + 2), 0};
    in.compositionName = "Big";
    in.composition = block;

    streams::CExcOutputStreamData& out = *details.outputStreams.At(0);
    out.sheetName = "Streams";
    const std::size_t inputRowOf[] = {1, 2, 4, 5, 6, 7, 8, 9};
    for (std::size_t row = 0; row < streams::kOutputRowCount; ++row)
      out.propertyCells[row] = {"B" + std::to_string(inputRowOf[row] + 2), 0};
    out.compositionName = "Big";
    out.composition = block;

    pushed = Record(0);
    Put(pushed, EXT_IPR_COMPONENT_FLAGS_OFFSET, std::uint32_t{0x3FFF});
    Put(pushed, EXT_IPR_EOS_MODEL_OFFSET, std::uint32_t{EXT_EOS_SRK});
    for (std::size_t offset = EXT_IPR_OIL_RATE_OFFSET; offset <= EXT_IPR_TEMPERATURE_OFFSET;
         offset += 80)
      Put(pushed, offset, 100.0 + static_cast<double>(offset));
    for (std::size_t i = 0; i < kComponents; ++i) {
      for (std::size_t offset : {EXT_IPR_MOLE_FRACTION_OFFSET, EXT_IPR_CRITICAL_TEMPERATURE_OFFSET,
                                 EXT_IPR_CRITICAL_PRESSURE_OFFSET, EXT_IPR_PARACHOR_OFFSET})
        Put(pushed, offset + 8 * i, 0.5 + static_cast<double>(i));
      for (std::size_t j = 0; j < kComponents; ++j)
        Put(pushed, EXT_IPR_INTERACTION_OFFSET + 800 * i + 8 * j, 0.001 * static_cast<double>(j));
    }
    pulled = Record(1);
  }
  ~StreamWorkbook() {
    if (!session) return;
    session->CloseWorkbook();
    session->Quit();
  }

  static std::vector<unsigned char> Record(std::uint32_t handle) {
    std::vector<unsigned char> record(EXT_IPR_RECORD_SIZE, 0);
    Put(record, EXT_IPR_SIZE_OFFSET, std::uint32_t{EXT_IPR_RECORD_SIZE});
    Put(record, EXT_IPR_HANDLE_OFFSET, handle);
    return record;
  }
  template <typename T>
  static void Put(std::vector<unsigned char>& record, std::size_t offset, T value) {
    std::memcpy(record.data() + offset, &value, sizeof value);
  }

  std::int32_t Set() {
    return streams::SetIPR(details, session.get(), {45000, 0}, pushed.data(), &status);
  }
  std::int32_t Get() { return streams::GetIPR(details, session.get(), pulled.data(), &status); }

  model::CExcCaseDetails details;
  std::unique_ptr<automation::CExcExcelObj> session;
  std::vector<unsigned char> pushed;
  std::vector<unsigned char> pulled;
  ExtStatusRecord status{};
};

void Report(benchmark::State& state, std::size_t cells) {
  state.counters["cells"] = static_cast<double>(cells);
  state.counters["per_cell"] =
      benchmark::Counter(static_cast<double>(cells), benchmark::Counter::kIsIterationInvariantRate |
                                                         benchmark::Counter::kInvert);
}

void BM_SetIPR(benchmark::State& state, const char* application) {
  StreamWorkbook book(application);
  if (!book.session) {
    state.SkipWithError("no spreadsheet application");
    return;
  }
  for (auto _ : state) {
    if (book.Set() != 0) {
      state.SkipWithError(book.status.text);
      break;
    }
  }
  Report(state, kSetCells);
}

void BM_GetIPR(benchmark::State& state, const char* application) {
  StreamWorkbook book(application);
  if (!book.session || book.Set() != 0) {
    state.SkipWithError("no spreadsheet application, or the stream could not be written");
    return;
  }
  for (auto _ : state) {
    if (book.Get() != 0) {
      state.SkipWithError(book.status.text);
      break;
    }
  }
  Report(state, kGetCells);
}

BENCHMARK_CAPTURE(BM_SetIPR, memory, "memory")
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->MinTime(2.0);
BENCHMARK_CAPTURE(BM_GetIPR, memory, "memory")
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->MinTime(2.0);
BENCHMARK_CAPTURE(BM_SetIPR, calc, "calc")
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(5);
BENCHMARK_CAPTURE(BM_GetIPR, calc, "calc")
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(5);

}  // namespace

BENCHMARK_MAIN();
