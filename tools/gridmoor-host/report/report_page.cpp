#include "report/report_page.h"

#include <cctype>
#include <cstdlib>
#include <utility>

#include "common/files.h"
#include "report/report_resources.h"

namespace refhost {
namespace {

namespace fs = std::filesystem;

// Chart.js far above its real size, so a wrong file named in the
// environment is not read whole.
constexpr std::size_t kChartJsLimit = 16u << 20;

// No "</script" may close the block early: "<\/" reads the same in a
// string or a regular expression, the only places a script can have it.
std::string ScriptSafe(std::string script) {
  for (std::size_t at = 0; (at = script.find("</", at)) != std::string::npos; at += 3) {
    std::string tag = script.substr(at + 2, 6);
    for (char& c : tag)
      c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (tag == "script") script.replace(at, 2, "<\\/");
  }
  return script;
}

outcome::Error WritePage(ReportKind kind, const nlohmann::json& data, const fs::path& folder) {
  outcome::Expected<std::string> chartJs = ReadChartJs();
  if (!chartJs) return chartJs.TakeError();
  std::error_code ec;
  // A folder that cannot be made fails the write, which says so.
  fs::create_directories(folder, ec);
  return WriteText(folder / kReportFile, ReportPage(kind, data, *chartJs));
}

}  // namespace

fs::path ChartJsFile() {
  if (const char* file = std::getenv("GRIDMOOR_CHARTJS"); file != nullptr && *file != '\0')
    return file;
  return GRIDMOOR_CHARTJS_FILE;
}

outcome::Expected<std::string> ReadChartJs() {
  outcome::Expected<std::string> script = ReadBoundedText(ChartJsFile(), kChartJsLimit);
  if (script) return script;
  return outcome::Error::Failed("--report needs Chart.js: " + script.GetError().Message() +
                                " (install the package libjs-chart.js)");
}

std::string EmbeddableJson(const nlohmann::json& data) {
  const std::string text = data.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
  std::string out;
  out.reserve(text.size() + text.size() / 64);
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    // Outside strings JSON has none of these, so every one is in a string
    // where the escape reads back the same.
    if (c == '<') {
      out += "\\u003c";
    } else if (c == '>') {
      out += "\\u003e";
    } else if (c == '&') {
      out += "\\u0026";
    } else if (c == '\xE2' && i + 2 < text.size() && text[i + 1] == '\x80' &&
               (text[i + 2] == '\xA8' || text[i + 2] == '\xA9')) {
      out += text[i + 2] == '\xA8' ? "\\u2028" : "\\u2029";
      i += 2;
    } else {
      out += c;
    }
  }
  return out;
}

std::string ReportPage(ReportKind kind, const nlohmann::json& data, const std::string& chartJs) {
  // The template is cut at its markers first, so nothing that goes in can be
  // taken for one.
  const std::string page = kReportPageHtml;
  const std::pair<const char*, std::string> parts[] = {
      {"@DATA@", EmbeddableJson(data)},
      {"@CHARTJS@", ScriptSafe(chartJs)},
      {"@SCRIPT@", ScriptSafe(std::string(kReportCommonJs) +
                              (kind == ReportKind::kRun ? kReportRunJs : kReportManyJs))}};
  std::string out;
  std::size_t from = 0;
  for (const auto& [marker, text] : parts) {
    const std::size_t at = page.find(marker, from);
    if (at == std::string::npos) continue;
    out.append(page, from, at - from);
    out += text;
    from = at + std::string(marker).size();
  }
  out.append(page, from);
  return out;
}

outcome::Error WriteRunReport(const RunRecord& run, const RunReportContext& context,
                              const fs::path& folder) {
  return WritePage(ReportKind::kRun, RunReportData(run, context), folder);
}

outcome::Error WriteManyReport(const std::vector<ScenarioOutcome>& outcomes,
                               const fs::path& folder) {
  return WritePage(ReportKind::kMany, ManyReportData(outcomes, folder), folder);
}

}  // namespace refhost
