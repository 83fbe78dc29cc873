// The reference host's scenario reader, as `run` uses it before any office
// starts: the scenario text and the checks on its case (the inputs table is
// input_csv_fuzz's). No input may crash or upset the sanitizers, and
// every refusal is one line that says what is wrong.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "archive/json/case_json.h"
#include "case/case_check.h"
#include "common/csv.h"
#include "scenario/scenario.h"

namespace {

void CheckRefusal(bool accepted, const std::string& error) {
  if (accepted) return;
  if (error.empty() || error.find('\n') != std::string::npos) std::abort();
}

void CheckCase(const nlohmann::json& caseJson) {
  outcome::Expected<std::vector<std::uint8_t>> bytes = archive::CaseJsonToArchive(caseJson);
  if (!bytes) {
    CheckRefusal(false, refhost::OneLine(bytes.TakeError().Message()));  // as `run` shows it
    return;
  }
  const outcome::Expected<nlohmann::json> decoded = archive::CaseArchiveToJson(*bytes);
  if (!decoded) std::abort();  // we just wrote it
  for (const std::string& problem : refhost::CaseItemProblems(*decoded))
    CheckRefusal(false, problem);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  // Relative names lead into a folder that does not exist.
  const auto parsed = refhost::ParseScenarioText(text, "/nonexistent/scenario.json");
  CheckRefusal(static_cast<bool>(parsed), parsed.GetError().Message());
  if (!parsed) return 0;
  const refhost::Scenario& scenario = *parsed;
  if (scenario.timesteps < 1 || !(scenario.stepDays > 0) || !std::isfinite(scenario.stepDays))
    std::abort();
  if (scenario.caseJson) CheckCase(*scenario.caseJson);
  return 0;
}
