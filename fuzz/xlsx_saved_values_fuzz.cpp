// The saved values of an .xlsx package, read from its bytes as `workbook
// check` reads them (zip, relationships, shared strings, every sheet's
// formula cells with their shared and array formulas). Beyond "no crash,
// no sanitizer report", the checks of saved_values_check.h.
#include <cstddef>
#include <cstdint>
#include <string>

#include "saved_values_check.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzzcheck::CheckSavedWorkbook(
      refhost::ReadXlsxSavedValues(std::string(reinterpret_cast<const char*>(data), size)));
  return 0;
}
