#include "archive/case_json.h"

#include "archive/archive.h"
#include "archive/archive_error.h"
#include "archive/case_json_form.h"
#include "archive/case_record.h"
#include "archive/json_values.h"
#include "archive/model_data_file.h"
#include "values/host_values.h"

namespace archive {

bool CaseArchiveToJson(std::span<const std::uint8_t> bytes, nlohmann::json& out,
                       std::string& error) {
  CaseContent content;
  try {
    Archive archive = Archive::LoadFrom(bytes);
    TransferCase(archive, content.View());
  } catch (const ArchiveError& failure) {
    error = std::string("case data: ") + failure.what();
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
  try {
    CaseFromJson(in, content);
    if (!content.publishedVariables.empty()) {
      ThrowJsonError("publishedVariables",
                     "a current case keeps its published variables in the model data file; "
                     "build that from them instead");
    }
    Archive archive = Archive::StoreGrowing(bytes);
    TransferCase(archive, content.View());
  } catch (const JsonError& failure) {
    error = failure.what();
    return false;
  } catch (const ArchiveError& failure) {
    bytes.clear();
    error = std::string("case data: ") + failure.what();
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
  try {
    PublishedVariablesFromJson(in, "", variables);
    Archive archive = Archive::StoreGrowing(bytes);
    TransferModelData(archive, variables);
  } catch (const JsonError& failure) {
    error = failure.what();
    return false;
  } catch (const ArchiveError& failure) {
    bytes.clear();
    error = std::string("model data: ") + failure.what();
    return false;
  }
  return true;
}

}  // namespace archive
