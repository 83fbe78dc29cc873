// Placeholder until the archive transfer lands: every conversion reports
// that it is not available, so no caller mistakes it for success.
#include "archive/case_json.h"

namespace archive {
namespace {

bool NotAvailable(std::string& error) {
  error = "case archive conversion is not available in this build";
  return false;
}

}  // namespace

bool CaseArchiveToJson(std::span<const std::uint8_t>, nlohmann::json&, std::string& error) {
  return NotAvailable(error);
}

bool CaseJsonToArchive(const nlohmann::json&, std::vector<std::uint8_t>&, std::string& error) {
  return NotAvailable(error);
}

bool ModelDataToJson(std::span<const std::uint8_t>, std::int32_t, nlohmann::json&,
                     std::string& error) {
  return NotAvailable(error);
}

bool ModelDataFromJson(const nlohmann::json&, std::vector<std::uint8_t>&, std::string& error) {
  return NotAvailable(error);
}

}  // namespace archive
