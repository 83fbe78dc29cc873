// The run: what the integration host sends for one scenario, in its order.
#pragma once

#include <filesystem>
#include <optional>
#include <string>

#include "outcome/outcome.h"
#include "scenario/library.h"
#include "scenario/records.h"
#include "scenario/run_record.h"
#include "scenario/scenario.h"

namespace refhost {

class ProgressEvents;

struct RunOptions {
  bool save = false;                            // SaveCaseWorkbook at the end
  std::optional<std::filesystem::path> saveAs;  // ... as a copy under this name
  bool progress = true;                         // a line per timestep on stderr
  ProgressEvents* events = nullptr;             // --progress json: events as they happen
  // The workbook was found to hold a single sheet, so saveAs may be a
  // format of one sheet.
  bool oneSheetWorkbook = false;
};

// Runs `scenario` on a loaded library. Fills `record` as far as the run got;
// record.failure says what stopped it. The instance is stopped and
// destroyed on every path.
void RunScenario(Library& library, const Scenario& scenario, const RunOptions& options,
                 RunRecord& record);

// Case bytes for ReadCaseData: the archive, from the scenario's inline JSON
// or its archive file; an error when it cannot be had.
outcome::Expected<std::vector<std::uint8_t>> CaseArchiveBytes(const Scenario& scenario);

// The record ReadCaseData takes: `archive` (at most the record's room), read
// as from `modelFile` (kept alive by the caller), never relocated.
Record CaseDataRecord(const std::vector<std::uint8_t>& archive, const std::string& modelFile);

// The workbook a run opens: the scenario's own, else the file name its case
// holds, taken as the library takes it (against the current folder); none
// when neither names one. An error when the case cannot be read.
outcome::Expected<std::optional<std::filesystem::path>> ScenarioWorkbook(const Scenario& scenario);

// The dates of a run without events: start, start + step, ...
double PlannedNextDate(double current, double stepDays, std::optional<double> event);

}  // namespace refhost
