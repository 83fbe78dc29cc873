// The case archive and the model data file: a case that fills the host's
// 102,400-byte record written and read back (goal: 1 ms), and a model data
// file of 10,000 published variables written and read back (goal: 20 ms).
//
// Counters: "bytes" of the archive, "streams" and "items" in the case,
// "variables" in the file.
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "archive/archive.h"
#include "archive/records/case_record.h"
#include "archive/records/model_data_file.h"
#include "archive/sample_case.h"
#include "driver/commands/case_commands.h"
#include "gridmoor/host.h"
#include "model/model.h"

namespace {

std::size_t EncodedSize(archive::CaseContent& content) {
  std::vector<std::uint8_t> bytes;
  archive::Archive store = archive::Archive::StoreGrowing(bytes);
  if (archive::TransferCase(store, content.View())) std::abort();
  return bytes.size();
}

// Adds a stream of each kind with a composition of 20 components of its
// own, a constraint, a control and an integer control, as long as the
// case still fits the record.
void FillRecord(const archive::CaseView& parts, std::size_t& streams, std::size_t& items) {
  casedata::CExcCaseDetails& details = parts.details;
  details.inputStreams.Clear();
  details.outputStreams.Clear();
  details.useCompositions = 1;
  archive::CaseContent probe;
  for (std::size_t n = 0;; ++n) {
    probe.details.inputStreams.Add(archive_test::SampleInputStream(n));
    probe.details.outputStreams.Add(archive_test::SampleOutputStream(n));
    probe.details.compositions.Add(archive_test::SampleComposition(n, 20));
    probe.constraints.Add(archive_test::SampleConstraint(n));
    probe.controls.Add(archive_test::SampleControl(n));
    probe.intControls.Add(archive_test::SampleIntegerControl(n, 5));
    probe.details.inputCount = probe.details.outputCount = static_cast<std::uint32_t>(n + 1);
    if (EncodedSize(probe) > EXT_CASE_DATA_ARCHIVE_CAPACITY) break;
    details.inputStreams.Add(archive_test::SampleInputStream(n));
    details.outputStreams.Add(archive_test::SampleOutputStream(n));
    details.compositions.Add(archive_test::SampleComposition(n, 20));
    parts.constraints.Add(archive_test::SampleConstraint(n));
    parts.controls.Add(archive_test::SampleControl(n));
    parts.intControls.Add(archive_test::SampleIntegerControl(n, 5));
    details.inputCount = details.outputCount = static_cast<std::uint32_t>(n + 1);
  }
  streams = 2 * details.inputStreams.size();
  items = parts.constraints.size() + parts.controls.size() + parts.intControls.size();
}

void BM_CaseWriteRead(benchmark::State& state) {
  archive::CaseContent written;
  std::size_t streams = 0;
  std::size_t items = 0;
  FillRecord(written.View(), streams, items);
  std::vector<std::uint8_t> buffer(EXT_CASE_DATA_ARCHIVE_CAPACITY);
  std::size_t size = 0;
  for (auto _ : state) {
    archive::Archive store = archive::Archive::StoreInto(buffer);
    if (archive::TransferCase(store, written.View())) std::abort();
    size = static_cast<std::size_t>(store.Position());
    archive::CaseContent read;
    archive::Archive load = archive::Archive::LoadFrom(std::span(buffer).first(size));
    if (archive::TransferCase(load, read.View())) std::abort();
    benchmark::DoNotOptimize(read.details.inputStreams.size());
  }
  state.counters["bytes"] = static_cast<double>(size);
  state.counters["streams"] = static_cast<double>(streams);
  state.counters["items"] = static_cast<double>(items);
}
BENCHMARK(BM_CaseWriteRead)->Unit(benchmark::kMicrosecond);

// The same through the host's edge of codes 12 and 13 and the model; the read
// model's lists are emptied after each read, as a fresh model's would be.
void BM_ModelCaseDataWriteRead(benchmark::State& state) {
  setenv("GRIDMOOR_SPREADSHEET", "none", 1);
  model::CExcModel writer;
  model::CExcModel reader;
  archive::CaseView parts{writer.caseDetails, writer.objective,   writer.constraints,
                          writer.controls,    writer.intControls, writer.publishedVariables,
                          writer.caseVersion};
  std::size_t streams = 0;
  std::size_t items = 0;
  FillRecord(parts, streams, items);
  std::vector<std::uint8_t> record(EXT_CASE_DATA_RECORD_SIZE);
  const std::uint32_t size = EXT_CASE_DATA_ARCHIVE_CAPACITY;
  std::memcpy(record.data() + EXT_CASE_DATA_ARCHIVE_SIZE_OFFSET, &size, sizeof size);
  ExtStatusRecord status{};
  const driver::CommandArgs write{nullptr, record.data() + EXT_CASE_DATA_ARCHIVE_OFFSET,
                                  static_cast<std::int32_t>(size), &status};
  const driver::CommandArgs read{nullptr, record.data(), 0, &status};
  for (auto _ : state) {
    if (driver::edge::WriteCaseData(writer, write) != 0 ||
        driver::edge::ReadCaseData(reader, read) != 0) {
      state.SkipWithError(status.text);
      break;
    }
    reader.constraints.Clear();
    reader.controls.Clear();
    reader.intControls.Clear();
    reader.caseDetails.compositions.Clear();
  }
  state.counters["streams"] = static_cast<double>(streams);
  state.counters["items"] = static_cast<double>(items);
}
BENCHMARK(BM_ModelCaseDataWriteRead)->Unit(benchmark::kMicrosecond);

void BM_ModelDataFileWriteRead(benchmark::State& state) {
  const auto count = static_cast<std::size_t>(state.range(0));
  casedata::CExcclExportedVariable written;
  for (std::size_t i = 0; i < count; ++i)
    written.Add(archive_test::SamplePublishedVariable(i));
  const std::filesystem::path path = std::filesystem::temp_directory_path() /
                                     ("gridmoor-archive-bench-" + std::to_string(getpid()));
  std::ofstream(path).close();
  for (auto _ : state) {
    if (archive::WriteModelDataFile(path.c_str(), written)) std::abort();
    casedata::CExcclExportedVariable read;
    if (archive::ReadModelDataFile(path.c_str(), archive::kCurrentVersion, read)) std::abort();
    benchmark::DoNotOptimize(read.size());
  }
  state.counters["variables"] = static_cast<double>(count);
  state.counters["bytes"] = static_cast<double>(std::filesystem::file_size(path));
  std::filesystem::remove(path);
}
BENCHMARK(BM_ModelDataFileWriteRead)->Arg(10000)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
