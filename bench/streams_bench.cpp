// The stream transfer: SetIPR and GetIPR of a 100-component stream with
// binary interaction coefficients, cell by cell (GRIDMOOR_BLOCK_TRANSFER=0)
// and by blocks, on the in-memory application and on a real office; a
// 100 x 100 published-variable block read and set; one cell read and
// written with its worksheet named, as a single operation does.
//
// Counters: "cells" per call, "per_cell" (time per cell) and, on the
// office, "bridge_calls" per call.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "automation/cell_transfer.h"
#include "automation/excel_session.h"
#include "casedata/case_details.h"
#include "casedata/composition.h"
#include "casedata/stream_data.h"
#include "casedata/values/stream_values.h"
#include "com/class_registry.h"
#include "driver/records/stream_records.h"
#include "excel/calc/calc_application.h"
#include "gridmoor/host.h"
#include "host/message.h"
#include "optimisation/published_ops.h"
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
    auto started = automation::CreateExcelSession();
    if (!started) return;
    session = *std::move(started);
    if (session->NewWorkbook()) session.reset();
    if (!session) return;

    details.inputCount = 1;
    details.outputCount = 1;
    casedata::ResizeStreams(details.inputStreams, 1);
    casedata::ResizeStreams(details.outputStreams, 1);
    details.useCompositions = 1;
    std::vector<std::string> names;
    for (std::size_t i = 0; i < kComponents; ++i)
      names.push_back("C" + std::to_string(i + 1));
    details.compositions.Add(std::make_unique<casedata::CExcCompositionDefinition>("Big", names));

    casedata::CExcStreamCompositionData block;
    block.componentTableCell = "A20";
    block.interactionCell = "Q20";
    block.massRateCell = "B14";
    block.eosModelCell = "B15";
    block.columnUnits[1] = 1;
    block.columnUnits[2] = 2;

    casedata::CExcInputStreamData& in = *details.inputStreams.At(0);
    in.sheetName = "Streams";
    in.forecastDisplay = false;
    for (std::size_t row = 0; row < casedata::kInputRowCount; ++row)
      in.solverCells[row] = {"B" + std::to_string(row + 2), 0};
    in.compositionName = "Big";
    in.composition = block;

    casedata::CExcOutputStreamData& out = *details.outputStreams.At(0);
    out.sheetName = "Streams";
    const std::size_t inputRowOf[] = {1, 2, 4, 5, 6, 7, 8, 9};
    for (std::size_t row = 0; row < casedata::kOutputRowCount; ++row)
      out.propertyCells[row] = {"B" + std::to_string(inputRowOf[row] + 2), 0};
    out.compositionName = "Big";
    out.composition = block;

    casedata::IprValues values;
    values.componentFlags = 0x3FFF;
    values.eosModel = casedata::kEosSoaveRedlichKwong;
    double rate = 116.0;
    for (double* field : {&values.oilRate, &values.waterRate, &values.gasRate, &values.pressure,
                          &values.massRate, &values.temperature}) {
      *field = rate;
      rate += 80.0;
    }
    for (std::size_t i = 0; i < kComponents; ++i) {
      // Mole fraction, critical temperature, critical pressure, parachor.
      for (std::size_t k : {0, 1, 2, 11})
        values.components[k][i] = 0.5 + static_cast<double>(i);
      for (std::size_t j = 0; j < kComponents; ++j)
        values.interaction[i][j] = 0.001 * static_cast<double>(j);
    }
    pushed = Record(values, 0);
    pulled = Record(casedata::IprValues(), 1);
  }
  ~StreamWorkbook() {
    if (!session) return;
    session->CloseWorkbook();
    session->Quit();
  }

  // The host's record of the values, as the driver's edge reads it.
  static std::vector<unsigned char> Record(casedata::IprValues values, std::uint32_t handle) {
    std::vector<unsigned char> record(EXT_IPR_RECORD_SIZE, 0);
    host::HostRecord whole(record.data(), record.size());
    static_cast<void>(whole.WriteU32(EXT_IPR_SIZE_OFFSET, EXT_IPR_RECORD_SIZE));
    values.handle = handle;
    driver::WriteIprRecord(whole, values);
    return record;
  }

  // Each through the record, as the host's call goes: read, transfer, and
  // for a get the values written back.
  std::int32_t Set() {
    const host::HostRecord record = driver::OpenIprRecord(pushed.data());
    return Answer(
        streams::SetIPR(details, session.get(), {45000, 0}, driver::ReadIprRecord(record)));
  }
  std::int32_t Get() {
    host::HostRecord record = driver::OpenIprRecord(pulled.data());
    const outcome::Partial<casedata::IprValues> got =
        streams::GetIPR(details, session.get(), driver::ReadIprRecord(record));
    driver::WriteIprRecord(record, got.value);
    return Answer(got.error);
  }
  std::int32_t Answer(const outcome::Error& error) {
    message = error.Message();
    return error.Result();
  }

  casedata::CExcCaseDetails details;
  std::unique_ptr<automation::CExcExcelObj> session;
  std::vector<unsigned char> pushed;
  std::vector<unsigned char> pulled;
  std::string message;
  ExtStatusRecord status{};  // the published-variable operations'
};

// The calls into the office while it lives; nothing on the in-memory one.
class BridgeCalls {
 public:
  explicit BridgeCalls(const char* application)
      : office_(std::string(application) == "calc"), start_(Now()) {}
  void Report(benchmark::State& state) const {
    if (!office_ || state.iterations() == 0) return;
    state.counters["bridge_calls"] =
        static_cast<double>(Now() - start_) / static_cast<double>(state.iterations());
  }

 private:
  static std::uint64_t Now() { return excel::calc::BridgeCallCount(); }
  bool office_;
  std::uint64_t start_;
};

// The transfer asked for: "cells" one at a time, or "blocks".
void UseTransfer(const char* transfer) {
  if (std::string(transfer) == "cells") {
    setenv("GRIDMOOR_BLOCK_TRANSFER", "0", 1);
  } else {
    unsetenv("GRIDMOOR_BLOCK_TRANSFER");
  }
}

void Report(benchmark::State& state, std::size_t cells) {
  state.counters["cells"] = static_cast<double>(cells);
  state.counters["per_cell"] =
      benchmark::Counter(static_cast<double>(cells), benchmark::Counter::kIsIterationInvariantRate |
                                                         benchmark::Counter::kInvert);
}

void BM_SetIPR(benchmark::State& state, const char* application, const char* transfer) {
  UseTransfer(transfer);
  StreamWorkbook book(application);
  if (!book.session) {
    state.SkipWithError("no spreadsheet application");
    return;
  }
  const BridgeCalls calls(application);
  for (auto _ : state) {
    if (book.Set() != 0) {
      state.SkipWithError(book.message.c_str());
      break;
    }
  }
  Report(state, kSetCells);
  calls.Report(state);
}

void BM_GetIPR(benchmark::State& state, const char* application, const char* transfer) {
  UseTransfer(transfer);
  StreamWorkbook book(application);
  if (!book.session || book.Set() != 0) {
    state.SkipWithError("no spreadsheet application, or the stream could not be written");
    return;
  }
  const BridgeCalls calls(application);
  for (auto _ : state) {
    if (book.Get() != 0) {
      state.SkipWithError(book.message.c_str());
      break;
    }
  }
  Report(state, kGetCells);
  calls.Report(state);
}

// A 100 x 100 published variable on the stream's sheet: read, or set from
// the text a read gave.
void BM_PublishedBlock(benchmark::State& state, const char* application, const char* transfer,
                       bool set) {
  UseTransfer(transfer);
  StreamWorkbook book(application);
  if (!book.session || book.Set() != 0) {
    state.SkipWithError("no spreadsheet application, or the stream could not be written");
    return;
  }
  casedata::CExcclExportedVariable variables;
  auto variable = std::make_unique<casedata::CExcExportedVariable>();
  variable->name = "Block";
  variable->worksheet = "Streams";
  variable->cell = "Q20";
  variable->RegionWidth = 100;
  variable->RegionHeight = 100;
  variables.Add(std::move(variable));
  std::string text;
  const auto eval = [&](bool asSet) {
    casedata::PublishedValueRequest request{0, asSet, std::nullopt};
    if (asSet) request.text = text;
    outcome::Expected<std::string> result =
        optimisation::EvalPublishedVariablesAsBlock(variables, book.session.get(), 0, request);
    host::StatusRecord status(&book.status);
    if (!result) return host::Answer(result.TakeError(), status);
    if (!asSet) text = std::move(*result);
    return std::int32_t{0};
  };
  if (eval(false) != 0) {
    state.SkipWithError(book.status.text);
    return;
  }
  const BridgeCalls calls(application);
  for (auto _ : state) {
    if (eval(set) != 0) {
      state.SkipWithError(book.status.text);
      break;
    }
  }
  Report(state, 100 * 100);
  calls.Report(state);
}

// One cell read and one written, each naming its worksheet, as the
// optimiser's items and the data-server cells do.
void BM_SingleCell(benchmark::State& state, const char* application, bool write) {
  StreamWorkbook book(application);
  if (!book.session || book.Set() != 0) {
    state.SkipWithError("no spreadsheet application, or the stream could not be written");
    return;
  }
  const BridgeCalls calls(application);
  for (auto _ : state) {
    const outcome::Error failed =
        write ? automation::WriteCellText(book.session.get(), "Streams", "C5", "42.5")
              : automation::ReadCellDouble(book.session.get(), "Streams", "B3").TakeError();
    if (failed) {
      state.SkipWithError(failed.Message().c_str());
      break;
    }
  }
  Report(state, 1);
  calls.Report(state);
}

BENCHMARK_CAPTURE(BM_SetIPR, memory_cells, "memory", "cells")
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->MinTime(1.0);
BENCHMARK_CAPTURE(BM_SetIPR, memory_blocks, "memory", "blocks")
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->MinTime(1.0);
BENCHMARK_CAPTURE(BM_GetIPR, memory_cells, "memory", "cells")
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->MinTime(1.0);
BENCHMARK_CAPTURE(BM_GetIPR, memory_blocks, "memory", "blocks")
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->MinTime(1.0);
BENCHMARK_CAPTURE(BM_SetIPR, calc_cells, "calc", "cells")
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(3);
BENCHMARK_CAPTURE(BM_SetIPR, calc_blocks, "calc", "blocks")
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(20);
BENCHMARK_CAPTURE(BM_GetIPR, calc_cells, "calc", "cells")
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(3);
BENCHMARK_CAPTURE(BM_GetIPR, calc_blocks, "calc", "blocks")
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(20);
BENCHMARK_CAPTURE(BM_PublishedBlock, calc_get_blocks, "calc", "blocks", false)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(20);
BENCHMARK_CAPTURE(BM_PublishedBlock, calc_set_blocks, "calc", "blocks", true)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(20);
BENCHMARK_CAPTURE(BM_SingleCell, calc_read, "calc", false)
    ->Unit(benchmark::kMicrosecond)
    ->UseRealTime()
    ->Iterations(200);
BENCHMARK_CAPTURE(BM_SingleCell, calc_write, "calc", true)
    ->Unit(benchmark::kMicrosecond)
    ->UseRealTime()
    ->Iterations(200);

}  // namespace

BENCHMARK_MAIN();
