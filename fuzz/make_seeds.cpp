// Writes the seed corpora of the fuzz targets: small valid archives of
// several versions. Run from the top of the tree after a layout change:
//   build/fuzz/fuzz/make_seeds fuzz/corpus
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "archive/archive.h"
#include "archive/case_record.h"
#include "archive/model_data_file.h"
#include "archive/sample_case.h"
#include "archive/version_builder.h"

namespace {

void Write(const std::filesystem::path& file, const std::vector<std::uint8_t>& bytes) {
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
}

std::vector<std::uint8_t> CurrentCase(std::size_t streams) {
  archive::CaseContent content;
  if (streams > 0) archive_test::FillSampleCase(content.View(), streams);
  std::vector<std::uint8_t> bytes;
  archive::Archive store = archive::Archive::StoreGrowing(bytes);
  archive::TransferCase(store, content.View());
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
  optimisation::CExcclExportedVariable variables;
  for (std::size_t i = 0; i < count; ++i)
    variables.Add(archive_test::SamplePublishedVariable(i));
  std::vector<std::uint8_t> bytes{static_cast<std::uint8_t>(version - 1)};
  archive::Archive store = archive::Archive::StoreGrowing(bytes);
  store.SetVersion(version);
  archive::TransferModelData(store, variables);
  return bytes;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s <corpus folder>\n", argv[0]);
    return 2;
  }
  const std::filesystem::path cases = std::filesystem::path(argv[1]) / "case_reader_fuzz";
  const std::filesystem::path data = std::filesystem::path(argv[1]) / "model_data_fuzz";
  std::filesystem::create_directories(cases);
  std::filesystem::create_directories(data);
  Write(cases / "v40-new.bin", CurrentCase(0));
  Write(cases / "v40-sample.bin", CurrentCase(1));
  for (const std::uint32_t version : {1u, 3u, 9u, 11u, 13u, 21u, 32u, 33u}) {
    Write(cases / ("v" + std::to_string(version) + ".bin"), OlderCase(version));
  }
  Write(data / "v40-empty.bin", ModelData(40, 0));
  for (const std::uint32_t version : {12u, 31u, 32u, 40u}) {
    Write(data / ("v" + std::to_string(version) + ".bin"), ModelData(version, 2));
  }
  return 0;
}
