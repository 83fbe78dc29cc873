// Small steps the archive tests share: a case stored to bytes, published
// variables compared through their dump, the kind of error an action fails
// with, and a model without a spreadsheet application.
#pragma once

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include <nlohmann/json.hpp>

#include "archive/archive.h"
#include "archive/archive_error.h"
#include "archive/json/case_json_form.h"
#include "archive/records/case_record.h"
#include "archive/sample_case.h"
#include "model/model.h"
#include "support/temp_registry.h"

namespace archive_test {

inline std::vector<std::uint8_t> StoreCase(const archive::CaseView& parts) {
  std::vector<std::uint8_t> bytes;
  archive::Archive store = archive::Archive::StoreGrowing(bytes);
  const archive::ArchiveError failure = archive::TransferCase(store, parts);
  EXPECT_FALSE(failure) << failure.Message();
  return bytes;
}

// Every field of the published variables, as a dump names them.
inline nlohmann::json VariableFields(casedata::CExcclExportedVariable& variables) {
  archive::CaseContent none;
  const archive::CaseView parts = none.View();
  return archive::CaseToJson({parts.details, parts.objective, parts.constraints, parts.controls,
                              parts.intControls, variables, none.version})["publishedVariables"];
}

// The kind of archive error the action fails with, or nullopt when it succeeds.
inline std::optional<archive::ArchiveError::Kind> ErrorKind(
    const std::function<archive::ArchiveError()>& action) {
  if (const archive::ArchiveError failure = action()) return failure.kind();
  return std::nullopt;
}

inline casedata::CExcclExportedVariable SampleVariables(std::size_t count) {
  casedata::CExcclExportedVariable variables;
  for (std::size_t i = 0; i < count; ++i)
    variables.Add(SamplePublishedVariable(i));
  return variables;
}

inline archive::CaseView CaseOf(model::CExcModel& m) {
  return {m.caseDetails, m.objective,          m.constraints, m.controls,
          m.intControls, m.publishedVariables, m.caseVersion};
}

class ModelTest : public testing::Test {
 protected:
  test_support::ScopedEnv noApplication_{"GRIDMOOR_SPREADSHEET", "none"};
  test_support::ScopedEnv interactive_{"LSB_JOBID", std::nullopt};
  model::CExcModel model_;
};

}  // namespace archive_test
