// Runs that share a workbook must never write one file: a run can be told to
// work on copies of its workbook and model data file in its own folder
// (macros that save, SaveFile and model-data writes then reach the copies).
#pragma once

#include <filesystem>
#include <string>

#include "outcome/outcome.h"
#include "scenario/scenario.h"

namespace refhost {

// Copies the scenario's workbook (its own, else the one its case names) and
// its model data file into `folder`, replacing earlier copies, and points
// the scenario at the copies. The error names the file.
outcome::Error UseCopiesIn(Scenario& scenario, const std::filesystem::path& folder);

}  // namespace refhost
