// The case reader over a memory archive, as ReadCaseData runs it, and the
// JSON dump of what it read: no input may crash, leak or upset the
// sanitizers. A case the dump accepts must also build back, and the
// built case must dump the same.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <string>
#include <vector>

#include "archive/json/case_json.h"
#include "case_read.h"

namespace {

// Every stream takes the same path through the JSON dump and build, so
// more streams only slow the search: sixteen reach the edges sixty-four did
// at nearly four times the inputs per second.
constexpr std::size_t kMaxStreamsThroughJson = 16;

void CheckJsonRoundTrip(std::span<const std::uint8_t> bytes) {
  outcome::Expected<nlohmann::json> read = archive::CaseArchiveToJson(bytes);
  if (!read) return;
  nlohmann::json& dumped = *read;
  // Older cases kept their published variables, which a current case
  // cannot hold.
  dumped.erase("publishedVariables");
  outcome::Expected<std::vector<std::uint8_t>> built =
      archive::CaseJsonToArchive(nlohmann::json::parse(dumped.dump()));
  if (!built) {
    if (built.TakeError().Message().rfind("the case takes", 0) == 0) return;  // past the record
    std::abort();
  }
  outcome::Expected<nlohmann::json> again = archive::CaseArchiveToJson(*built);
  if (!again) std::abort();
  dumped["version"] = (*again)["version"];
  if (*again != dumped) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::span<const std::uint8_t> bytes(data, size);
  archive::CaseContent content;
  ReadCaseCheckingStreamCounts(bytes, content);
  const casedata::CExcCaseDetails& details = content.details;
  if (details.inputCount + details.outputCount <= kMaxStreamsThroughJson) CheckJsonRoundTrip(bytes);
  return 0;
}
