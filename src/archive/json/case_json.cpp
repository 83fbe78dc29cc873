#include "archive/json/case_json.h"

#include "archive/archive.h"
#include "archive/archive_error.h"
#include "archive/json/case_json_form.h"
#include "archive/json/json_values.h"
#include "archive/records/case_record.h"
#include "archive/records/model_data_file.h"
#include "values/host_values.h"

namespace archive {

bool CaseArchiveToJson(std::span<const std::uint8_t> bytes, nlohmann::json& out,
                       std::string& error) {
  CaseContent content;
  Archive archive = Archive::LoadFrom(bytes);
  if (const ArchiveError failure = TransferCase(archive, content.View())) {
    error = std::string("case data: ") + failure.Message();
    return false;
  }
  // As a model holds the case after reading it.
  SettleStreamCounts(content.details);
  out = CaseToJson(content.View());
  return true;
}

bool CaseJsonToArchive(const nlohmann::json& in, std::vector<std::uint8_t>& bytes,
                       std::string& error) {
  bytes.clear();
  CaseContent content;
  outcome::Error fault = CaseFromJson(in, content);
  if (!fault && !content.publishedVariables.empty()) {
    fault = JsonError("publishedVariables",
                      "a current case keeps its published variables in the model data file; "
                      "build that from them instead");
  }
  if (fault) {
    error = fault.Message();
    return false;
  }
  Archive archive = Archive::StoreGrowing(bytes);
  if (const ArchiveError failure = TransferCase(archive, content.View())) {
    bytes.clear();
    error = std::string("case data: ") + failure.Message();
    return false;
  }
  if (bytes.size() > values::kCaseArchiveCapacity) {
    error = "the case takes " + std::to_string(bytes.size()) +
            " bytes; a case data record holds at most " +
            std::to_string(values::kCaseArchiveCapacity);
    bytes.clear();
    return false;
  }
  return true;
}

bool ModelDataFromJson(const nlohmann::json& in, std::vector<std::uint8_t>& bytes,
                       std::string& error) {
  bytes.clear();
  casedata::CExcclExportedVariable variables;
  if (const outcome::Error fault = PublishedVariablesFromJson(in, "", variables)) {
    error = fault.Message();
    return false;
  }
  Archive archive = Archive::StoreGrowing(bytes);
  if (const ArchiveError failure = TransferModelData(archive, variables)) {
    bytes.clear();
    error = std::string("model data: ") + failure.Message();
    return false;
  }
  return true;
}

}  // namespace archive
