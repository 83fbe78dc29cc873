// The files a run writes: streams.csv, compositions.csv, published.csv,
// optimisation.csv and summary.json; and the table printed at the end.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "outcome/outcome.h"
#include "scenario/run_record.h"

namespace refhost {

std::string StreamsCsv(const RunRecord& run);
std::string CompositionsCsv(const RunRecord& run);
std::string PublishedCsv(const RunRecord& run);
std::string OptimisationCsv(const RunRecord& run);
nlohmann::json Summary(const RunRecord& run);

// The per-timestep table of output streams (and the optimum when there is
// one), for a terminal.
std::string ResultTable(const RunRecord& run);

// The names of the files WriteOutputs writes, in its order.
const std::vector<std::string>& OutputFileNames();

// Writes every file into `folder` (created when missing); an error when a
// file cannot be written.
outcome::Error WriteOutputs(const RunRecord& run, const std::filesystem::path& folder);

}  // namespace refhost
