// report.html: one page that works offline, its data embedded as JSON and
// its charts drawn in the browser by Chart.js, copied into the page from
// the installed package when the page is written.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "outcome/outcome.h"
#include "report/report_data.h"
#include "results/many.h"
#include "scenario/run_record.h"

namespace refhost {

inline constexpr const char* kReportFile = "report.html";

// Where Chart.js is read from: $GRIDMOOR_CHARTJS, else the Debian package's
// file.
std::filesystem::path ChartJsFile();

// Reads Chart.js; the error says which file and what to install. The run
// calls this before it starts, so a missing package costs no run.
outcome::Expected<std::string> ReadChartJs();

// `data` as JSON that can sit in a <script> block: "<", ">", "&" and the
// two JavaScript line terminators escaped, invalid UTF-8 replaced.
std::string EmbeddableJson(const nlohmann::json& data);

enum class ReportKind { kRun, kMany };

// The whole page.
std::string ReportPage(ReportKind kind, const nlohmann::json& data, const std::string& chartJs);

// report.html into `folder`.
outcome::Error WriteRunReport(const RunRecord& run, const RunReportContext& context,
                              const std::filesystem::path& folder);
outcome::Error WriteManyReport(const std::vector<ScenarioOutcome>& outcomes,
                               const std::filesystem::path& folder);

}  // namespace refhost
