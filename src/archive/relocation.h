// Where the case's workbook is looked for after a case has been read: a
// batch job runs on a machine where the workbook sits beside the model file
// rather than where the case says; an interactive session moves a workbook
// that cannot be found next to the model file, unless the host forbids it.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace archive {

struct RelocationFacts {
  std::string_view fileName;    // the workbook path the case names
  bool workbookExists = false;  // a file of that path exists
  bool batchJob = false;        // the environment marks a batch job
  bool noRelocation = false;    // the host's flag
  std::string_view modelPath;   // the host's model file path
};

// The folder to move the workbook's file name to (the model path up to its
// last '\' or '/'), or nullopt when it stays where it is.
std::optional<std::string> RelocationFolder(const RelocationFacts& facts);

}  // namespace archive
