#include "archive/json/case_json.h"

#include "archive/archive.h"
#include "archive/archive_error.h"
#include "archive/json/case_json_form.h"
#include "archive/json/json_values.h"
#include "archive/records/case_record.h"
#include "archive/records/model_data_file.h"
#include "values/host_values.h"

namespace archive {

outcome::Expected<nlohmann::json> CaseArchiveToJson(std::span<const std::uint8_t> bytes) {
  CaseContent content;
  Archive archive = Archive::LoadFrom(bytes);
  if (const ArchiveError failure = TransferCase(archive, content.View()))
    return outcome::Error::Failed(std::string("case data: ") + failure.Message());
  // As a model holds the case after reading it.
  SettleStreamCounts(content.details);
  return CaseToJson(content.View());
}

outcome::Expected<std::vector<std::uint8_t>> CaseJsonToArchive(const nlohmann::json& in) {
  CaseContent content;
  if (outcome::Error fault = CaseFromJson(in, content)) return fault;
  if (!content.publishedVariables.empty())
    return JsonError("publishedVariables",
                     "a current case keeps its published variables in the model data file; "
                     "build that from them instead");
  std::vector<std::uint8_t> bytes;
  Archive archive = Archive::StoreGrowing(bytes);
  if (const ArchiveError failure = TransferCase(archive, content.View()))
    return outcome::Error::Failed(std::string("case data: ") + failure.Message());
  if (bytes.size() > values::kCaseArchiveCapacity)
    return outcome::Error::Failed("the case takes " + std::to_string(bytes.size()) +
                                  " bytes; a case data record holds at most " +
                                  std::to_string(values::kCaseArchiveCapacity));
  return bytes;
}

outcome::Expected<std::vector<std::uint8_t>> ModelDataFromJson(const nlohmann::json& in) {
  casedata::CExcclExportedVariable variables;
  if (outcome::Error fault = PublishedVariablesFromJson(in, "", variables)) return fault;
  std::vector<std::uint8_t> bytes;
  Archive archive = Archive::StoreGrowing(bytes);
  if (const ArchiveError failure = TransferModelData(archive, variables))
    return outcome::Error::Failed(std::string("model data: ") + failure.Message());
  return bytes;
}

}  // namespace archive
