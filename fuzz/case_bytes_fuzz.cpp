// The binary case reader alone, as ReadCaseData runs it over a memory
// archive: no input may crash, leak or upset the sanitizers, and the
// stream lists match their counts after any read, finished or not. The
// JSON round trip of case_reader_fuzz costs most of its time per input;
// this target spends it all on the reader.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>

#include "archive/archive.h"
#include "archive/archive_error.h"
#include "archive/case_record.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  archive::CaseContent content;
  try {
    archive::Archive load = archive::Archive::LoadFrom(std::span<const std::uint8_t>(data, size));
    archive::TransferCase(load, content.View());
  } catch (const archive::ArchiveError&) {
  }
  archive::SettleStreamCounts(content.details);
  const model::CExcCaseDetails& details = content.details;
  if (details.inputStreams.size() != details.inputCount ||
      details.outputStreams.size() != details.outputCount) {
    std::abort();
  }
  return 0;
}
