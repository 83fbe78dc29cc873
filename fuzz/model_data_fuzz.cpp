// The model data file reader, as ReadModelData runs it: the first byte
// chooses the case version (1 ... 40), the rest is the file. The file
// archive must read exactly what the memory archive reads from the same
// bytes, and fail the same way.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <utility>

#include "archive/archive.h"
#include "archive/archive_error.h"
#include "archive/records/model_data_file.h"

namespace {

// The file each input is written to, removed when the run ends.
struct ScratchFile {
  ScratchFile() {
    const int fd = ::mkstemp(path.data());
    if (fd < 0) std::abort();
    ::close(fd);
  }
  ~ScratchFile() { ::unlink(path.c_str()); }
  std::string path = "/tmp/gridmoor-model-data-fuzz-XXXXXX";
};

// How many variables `read` gives and how it fails.
using Outcome = std::pair<std::size_t, std::optional<archive::ArchiveError::Kind>>;
Outcome Read(const std::function<archive::ArchiveError(casedata::CExcclExportedVariable&)>& read) {
  casedata::CExcclExportedVariable variables;
  std::optional<archive::ArchiveError::Kind> failure;
  if (const archive::ArchiveError error = read(variables)) failure = error.kind();
  return {variables.size(), failure};
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const ScratchFile file;
  if (size == 0) return 0;
  const std::uint32_t version = 1 + data[0] % 40;
  const std::span<const std::uint8_t> bytes(data + 1, size - 1);
  std::FILE* out = std::fopen(file.path.c_str(), "wb");
  if (out == nullptr || std::fwrite(bytes.data(), 1, bytes.size(), out) != bytes.size())
    std::abort();
  std::fclose(out);
  const Outcome fromFile = Read([&](casedata::CExcclExportedVariable& variables) {
    return archive::ReadModelDataFile(file.path.c_str(), version, variables);
  });
  const Outcome fromMemory = Read([&](casedata::CExcclExportedVariable& variables) {
    archive::Archive load = archive::Archive::LoadFrom(bytes);
    load.SetVersion(version);
    return archive::TransferModelData(load, variables);
  });
  if (fromFile != fromMemory) std::abort();
  return 0;
}
