// Small steps the archive tests share: a case stored to bytes, the kind of
// error an action fails with, and model data files of a given layout.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include "archive/archive.h"
#include "archive/archive_error.h"
#include "archive/byte_builder.h"
#include "archive/case_record.h"
#include "archive/sample_case.h"

namespace archive_test {

inline std::vector<std::uint8_t> StoreCase(archive::CaseContent& content) {
  std::vector<std::uint8_t> bytes;
  archive::Archive store = archive::Archive::StoreGrowing(bytes);
  archive::TransferCase(store, content.View());
  return bytes;
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

// A model data file holding one variable "P" at A1, cascading to
// `cascadeCell`, in the layout of case `version`: the region from 32 on,
// the delimiters from 40 on.
inline std::vector<std::uint8_t> OneVariableFile(std::uint32_t version, const char* cascadeCell,
                                                 std::int32_t region = 6) {
  ByteBuilder b;
  b.Signature().U32(1).Text("P").Text("u").Text("S").Text("A1").Text(cascadeCell).U32(1);
  if (version >= 32) b.I32(region).I32(region);
  if (version >= 40) b.Text(",").Text(";");
  return b.bytes();
}

}  // namespace archive_test
