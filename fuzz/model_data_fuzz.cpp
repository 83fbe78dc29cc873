// The model data file reader, as ReadModelData runs it: the first byte
// chooses the case version (1 ... 40), the rest is the file. The file
// archive must read exactly what the memory archive reads from the same
// bytes, and fail the same way.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <span>
#include <string>

#include "archive/archive.h"
#include "archive/archive_error.h"
#include "archive/model_data_file.h"

namespace {

// The file each input is written to, removed when the run ends.
class ScratchFile {
 public:
  ScratchFile() {
    char pattern[] = "/tmp/gridmoor-model-data-fuzz-XXXXXX";
    const int fd = ::mkstemp(pattern);
    if (fd < 0) std::abort();
    ::close(fd);
    path_ = pattern;
  }
  ~ScratchFile() { ::unlink(path_.c_str()); }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

const std::string& FilePath() {
  static const ScratchFile file;
  return file.path();
}

void WriteFile(std::span<const std::uint8_t> bytes) {
  std::FILE* file = std::fopen(FilePath().c_str(), "wb");
  if (file == nullptr) std::abort();
  if (!bytes.empty() && std::fwrite(bytes.data(), 1, bytes.size(), file) != bytes.size()) {
    std::abort();
  }
  std::fclose(file);
}

struct Outcome {
  std::size_t variables = 0;
  std::optional<archive::ArchiveError::Kind> failure;
};

Outcome FromFile(std::uint32_t version) {
  Outcome outcome;
  optimisation::CExcclExportedVariable variables;
  try {
    archive::ReadModelDataFile(FilePath().c_str(), version, variables);
  } catch (const archive::ArchiveError& error) {
    outcome.failure = error.kind();
  }
  outcome.variables = variables.size();
  return outcome;
}

Outcome FromMemory(std::span<const std::uint8_t> bytes, std::uint32_t version) {
  Outcome outcome;
  optimisation::CExcclExportedVariable variables;
  try {
    archive::Archive load = archive::Archive::LoadFrom(bytes);
    load.SetVersion(version);
    archive::TransferModelData(load, variables);
  } catch (const archive::ArchiveError& error) {
    outcome.failure = error.kind();
  }
  outcome.variables = variables.size();
  return outcome;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::uint32_t version = 1 + data[0] % 40;
  const std::span<const std::uint8_t> file(data + 1, size - 1);
  WriteFile(file);
  const Outcome fromFile = FromFile(version);
  const Outcome fromMemory = FromMemory(file, version);
  if (fromFile.variables != fromMemory.variables || fromFile.failure != fromMemory.failure) {
    std::abort();
  }
  return 0;
}
