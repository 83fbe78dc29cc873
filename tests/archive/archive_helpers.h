// Small steps the archive tests share: a case stored to bytes, cases and
// published variables compared through their dump (which names every
// field of the records), the kind of error an action fails with, and model
// data files of a given layout.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include <nlohmann/json.hpp>

#include "archive/archive.h"
#include "archive/archive_error.h"
#include "archive/byte_builder.h"
#include "archive/case_json_form.h"
#include "archive/case_record.h"
#include "archive/sample_case.h"

namespace archive_test {

inline std::vector<std::uint8_t> StoreCase(const archive::CaseView& parts) {
  std::vector<std::uint8_t> bytes;
  archive::Archive store = archive::Archive::StoreGrowing(bytes);
  archive::TransferCase(store, parts);
  return bytes;
}

// Every field of the case but the version.
inline nlohmann::json CaseFields(const archive::CaseView& parts) {
  nlohmann::json fields = archive::CaseToJson(parts);
  fields.erase("version");
  return fields;
}

inline nlohmann::json VariableFields(optimisation::CExcclExportedVariable& variables) {
  archive::CaseContent none;
  const archive::CaseView parts = none.View();
  return archive::CaseToJson({parts.details, parts.objective, parts.constraints, parts.controls,
                              parts.intControls, variables, none.version})["publishedVariables"];
}

// The kind of archive error the action fails with, or nullopt when it succeeds.
inline std::optional<archive::ArchiveError::Kind> ErrorKind(const std::function<void()>& action) {
  try {
    action();
  } catch (const archive::ArchiveError& error) {
    return error.kind();
  }
  return std::nullopt;
}

inline optimisation::CExcclExportedVariable SampleVariables(std::size_t count) {
  optimisation::CExcclExportedVariable variables;
  for (std::size_t i = 0; i < count; ++i)
    variables.Add(SamplePublishedVariable(i));
  return variables;
}

// A model data file holding one variable "P" at A1, cascading to A9, in
// the layout of case `version`: the region from 32 on, the delimiters from
// 40 on.
inline std::vector<std::uint8_t> OneVariableFile(std::uint32_t version, std::int32_t region = 6) {
  ByteBuilder b;
  b.Signature().U32(1).Text("P").Text("u").Text("S").Text("A1").Text("A9").U32(1);
  if (version >= 32) b.I32(region).I32(region + 1);
  if (version >= 40) b.Text(",").Text(";");
  return b.bytes();
}

}  // namespace archive_test
