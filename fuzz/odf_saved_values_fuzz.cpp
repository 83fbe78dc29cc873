// The saved values of an OpenDocument spreadsheet, read from its content
// XML (content.xml of an .ods, or a whole .fods) as `workbook check` reads
// it: repeated rows and cells, row groups, value types, dates from the
// null date. Beyond "no crash, no sanitizer report", the checks of
// saved_values_check.h.
#include <cstddef>
#include <cstdint>
#include <string>

#include "saved_values_check.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzzcheck::CheckSavedWorkbook(
      refhost::ReadOdfSavedValues(std::string(reinterpret_cast<const char*>(data), size)));
  return 0;
}
