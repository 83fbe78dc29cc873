// The zip package of a workbook file, opened from memory and every part it
// lists read, with limits small enough for the fuzzer to pass them. No
// input may crash or upset the sanitizers; every refusal is one line, and
// each refusal of a part names it; no part comes back longer than the
// limits allow: the size limit, and past `ratioFrom` the ratio limit
// against the whole input (more than any part's compressed size).
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "common/csv.h"
#include "saved_values/zip_package.h"
#include "saved_values_check.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const refhost::ZipLimits limits{1u << 20, 64u << 10, 200};
  refhost::ZipPackage package(limits);
  if (const outcome::Error unopened =
          package.Open(std::string(reinterpret_cast<const char*>(data), size))) {
    if (!fuzzcheck::OneLine(unopened.Message())) std::abort();
    return 0;
  }
  const std::uint64_t ratioCap = std::max<std::uint64_t>(limits.ratioFrom, limits.maxRatio * size);
  for (const std::string& name : package.Names()) {
    if (!package.Has(name)) std::abort();
    outcome::Expected<std::string> content = package.Read(name);
    if (content) {
      if (content->size() > limits.maxPartSize || content->size() > ratioCap) std::abort();
      continue;
    }
    const std::string why = content.TakeError().Message();
    if (!fuzzcheck::OneLine(why) || why.find(refhost::OneLine(name)) == std::string::npos)
      std::abort();
  }
  return 0;
}
