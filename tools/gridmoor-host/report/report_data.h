// What a report page shows, as the JSON the page carries: one run from its
// record, or many runs from their folders.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "results/many.h"
#include "scenario/run_record.h"

namespace refhost {

// What the run's record does not hold.
struct RunReportContext {
  std::optional<double> wallSeconds;
  std::string caseSource;   // the case archive, "inline" or empty
  std::string description;  // the scenario's own words about itself
};

// Streams as columns (a value list per field, missing values null), trials
// as columns in timestep order, the final controls with the bounds they sit
// on: compact enough for 10,000 timesteps of 10 streams.
nlohmann::json RunReportData(const RunRecord& run, const RunReportContext& context);

// The scenarios with their final output rates summed over the output
// streams (from each folder's summary.json) and a link to each one's own
// page, relative to `reportFolder`, where it has one.
nlohmann::json ManyReportData(const std::vector<ScenarioOutcome>& outcomes,
                              const std::filesystem::path& reportFolder);

// A relative link to `target` from a page in `folder`, each path segment
// percent-encoded and led by "./", so that no folder name reads as a scheme
// ("javascript:") or breaks out of the attribute.
std::string RelativeLink(const std::filesystem::path& folder, const std::filesystem::path& target);

// "lower", "upper" or "" for a control value against its bounds.
std::string OnBound(const ControlInfo& control, double value);

}  // namespace refhost
