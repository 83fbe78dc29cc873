// A configuration dialog of the driver, opened for a case in a JSON file as
// the integration host opens it: the case read into an instance, its
// workbook open in the office, the dialog asked for through the same
// command; what the user changed is written back to the file.
#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>

#include "outcome/outcome.h"
#include "scenario/library.h"

namespace refhost {

struct CaseDialog {
  const char* name;  // as the command line names it
  const char* what;  // for --help
  std::int32_t code;
  std::int32_t iarg;
};

// Every dialog that edits a case, in the order --help lists them.
std::span<const CaseDialog> CaseDialogs();

// Why no dialog can be shown here (no display named in the environment);
// empty when one can.
std::string WhyNoDisplay();

// Shows dialog `name` for the case in `caseFile` on a loaded library. When
// the user accepts it and the case changed, the file is rewritten (as
// `case dump` writes a case). Whether it was rewritten, or what failed.
outcome::Expected<bool> EditCaseInDialog(Library& library, const std::string& name,
                                         const std::filesystem::path& caseFile);

}  // namespace refhost
