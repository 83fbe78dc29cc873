// Writes the seed corpora that follow the project's own layouts: small valid
// archives of several versions and inputs tables with every kind of column
// the host reads. Run from the top of the tree after a layout change:
//   build/fuzz/fuzz/make_seeds fuzz/corpus
// The other seeds (workbook packages, OpenDocument content, a spreadsheet's
// CSV) follow no layout of ours and are committed as they are.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "archive/archive.h"
#include "archive/records/case_record.h"
#include "archive/records/model_data_file.h"
#include "archive/sample_case.h"
#include "archive/version_builder.h"
#include "common/csv.h"
#include "scenario/records.h"

namespace {

namespace fs = std::filesystem;

// Bytes (a string or a vector of bytes) into `file` of `folder`, made when missing.
template <typename Bytes>
void Write(const fs::path& folder, const std::string& file, const Bytes& bytes) {
  fs::create_directories(folder);
  std::ofstream(folder / file, std::ios::binary | std::ios::trunc)
      .write(reinterpret_cast<const char*>(bytes.data()),
             static_cast<std::streamsize>(bytes.size()));
}

std::vector<std::uint8_t> CurrentCase(std::size_t streams) {
  archive::CaseContent content;
  if (streams > 0) archive_test::FillSampleCase(content.View(), streams);
  std::vector<std::uint8_t> bytes;
  archive::Archive store = archive::Archive::StoreGrowing(bytes);
  if (archive::TransferCase(store, content.View())) std::abort();
  return bytes;
}

// The sample case with one stream of each kind and two published variables,
// as version `v` stored it.
std::vector<std::uint8_t> OlderCase(std::uint32_t v) {
  archive::CaseContent content;
  archive_test::FillSampleCase(content.View(), 1);
  for (std::size_t i = 0; i < 2; ++i)
    content.publishedVariables.Add(archive_test::SamplePublishedVariable(i));
  return archive_test::WriteCase(content.View(), v, v);
}

// The first byte picks the case version (1 + byte % 40) for the target.
std::vector<std::uint8_t> ModelData(std::uint32_t version, std::size_t count) {
  casedata::CExcclExportedVariable variables;
  for (std::size_t i = 0; i < count; ++i)
    variables.Add(archive_test::SamplePublishedVariable(i));
  std::vector<std::uint8_t> bytes{static_cast<std::uint8_t>(version - 1)};
  archive::Archive store = archive::Archive::StoreGrowing(bytes);
  store.SetVersion(version);
  if (archive::TransferModelData(store, variables)) std::abort();
  return bytes;
}

// Every scalar field and eosModel for two streams, some cells left empty.
std::string ScalarInputs() {
  refhost::CsvRow header{"timestep", "stream"};
  for (const refhost::ScalarField& field : refhost::kScalarFields)
    header.push_back(field.key);
  header.push_back("eosModel");
  std::string text = refhost::CsvLine(header);
  const char* eos[] = {"PR", "SRK", "other"};
  for (int t = 0; t < 3; ++t)
    for (const char* stream : {"In-1", "In-2"}) {
      refhost::CsvRow row{std::to_string(t * 2), stream};
      for (std::size_t f = 0; f < refhost::kScalarFields.size(); ++f)
        row.push_back((f + t) % 4 == 3 ? "" : refhost::FormatNumber(100.5 * (f + 1) - 7 * t));
      row.push_back(eos[t]);
      text += refhost::CsvLine(row);
    }
  return text;
}

// Three components: mole fractions, each property and the interaction.
std::string CompositionInputs() {
  constexpr std::size_t n = 3;
  refhost::CsvRow header{"timestep", "stream"};
  for (std::size_t i = 0; i < n; ++i)
    header.push_back("moleFractions[" + std::to_string(i) + "]");
  for (const refhost::ComponentProperty& property : refhost::kComponentProperties)
    for (std::size_t i = 0; i < n; ++i)
      header.push_back(std::string(property.key) + "[" + std::to_string(i) + "]");
  for (std::size_t i = 0; i < n; ++i)
    for (std::size_t j = 0; j < n; ++j)
      header.push_back("interaction[" + std::to_string(i) + "][" + std::to_string(j) + "]");
  std::string text = refhost::CsvLine(header);
  for (int t = 0; t < 2; ++t) {
    refhost::CsvRow row{std::to_string(t), "Feed"};
    for (std::size_t c = 2; c < header.size(); ++c)
      row.push_back(refhost::FormatNumber(0.125 * static_cast<double>(c) + t));
    text += refhost::CsvLine(row);
  }
  return text;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s <corpus folder>\n", argv[0]);
    return 2;
  }
  const fs::path root = argv[1];
  const fs::path cases = root / "case_reader_fuzz", data = root / "model_data_fuzz";
  Write(cases, "v40-new.bin", CurrentCase(0));
  Write(cases, "v40-sample.bin", CurrentCase(1));
  for (const std::uint32_t version : {1u, 3u, 9u, 11u, 13u, 21u, 32u, 33u})
    Write(cases, "v" + std::to_string(version) + ".bin", OlderCase(version));
  Write(data, "v40-empty.bin", ModelData(40, 0));
  for (const std::uint32_t version : {12u, 31u, 32u, 40u})
    Write(data, "v" + std::to_string(version) + ".bin", ModelData(version, 2));
  const fs::path inputs = root / "input_csv_fuzz";
  Write(inputs, "scalars.csv", ScalarInputs());
  Write(inputs, "composition.csv", CompositionInputs());
  return 0;
}
