// The binary case reader alone, as ReadCaseData runs it over a memory
// archive: no input may crash, leak or upset the sanitizers, and the
// stream lists match their counts after any read. The JSON round trip of
// case_reader_fuzz costs most of its time per input; this target spends it
// all on the reader.
#include <cstddef>
#include <cstdint>

#include "case_read.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  archive::CaseContent content;
  ReadCaseCheckingStreamCounts({data, size}, content);
  return 0;
}
