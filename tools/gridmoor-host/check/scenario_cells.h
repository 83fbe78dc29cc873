// What a scenario asks of its workbook, checked against the workbook as the
// spreadsheet application opened it: every configured macro resolves to a
// procedure, every cell the case names is a valid address on an existing
// sheet, and no input-stream or control cell holds a formula that the
// host's writes would overwrite.
#pragma once

#include "check/check_report.h"
#include "outcome/outcome.h"
#include "scenario/scenario.h"

namespace refhost {

// Adds the findings to `report` (macros and problems); an error when the
// scenario's case archive cannot be read.
outcome::Error CheckScenarioCells(const Scenario& scenario,
                                  const excel::RecalculatedWorkbook& workbook, CheckReport& report);

// Before an office starts: every cell the scenario binds is an address on
// one of `sheets` (the workbook's, as its file names them). The first that
// is not, naming the scenario file and the key.
outcome::Error CheckScenarioSheets(const Scenario& scenario,
                                   const std::vector<std::string>& sheets);

}  // namespace refhost
