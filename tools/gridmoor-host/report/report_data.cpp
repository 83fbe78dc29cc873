#include "report/report_data.h"

#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <map>

#include "common/csv.h"
#include "common/files.h"

namespace refhost {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;

json Number(double value) {
  return IsUndefined(value) || !std::isfinite(value) ? json(nullptr) : json(value);
}

// A value for a chart: nine significant digits are far below a pixel and
// keep a long run's page small (the CSV files keep every digit).
json Charted(double value) {
  if (IsUndefined(value) || !std::isfinite(value)) return nullptr;
  char text[32];
  std::snprintf(text, sizeof text, "%.9g", value);
  return std::strtod(text, nullptr);
}

json OptionalBound(const Bound& b) {
  return b.present ? Number(b.value) : json(nullptr);
}

// The scalar fields the charts draw, by their index in kScalarFields.
constexpr std::size_t kCharted[] = {0, 1, 2, 3, 4};

json Streams(const RunRecord& run) {
  json streams = json::array();
  for (std::size_t i = 0; i < run.streams.size(); ++i) {
    json t = json::array();
    std::vector<json> fields(std::size(kCharted), json::array());
    for (const StreamSample& s : run.streamSamples) {
      if (s.stream != i) continue;
      t.push_back(s.timestep);
      for (std::size_t f = 0; f < std::size(kCharted); ++f)
        fields[f].push_back(Charted(s.state.scalars[kCharted[f]]));
    }
    json stream = {{"index", i},
                   {"name", run.streams[i].name},
                   {"output", run.streams[i].output},
                   {"t", std::move(t)}};
    for (std::size_t f = 0; f < std::size(kCharted); ++f)
      stream[kScalarFields[kCharted[f]].key] = std::move(fields[f]);
    streams.push_back(std::move(stream));
  }
  return streams;
}

// A published value as a number when the whole text is one.
std::optional<double> NumericValue(const std::string& text) {
  if (text.empty()) return std::nullopt;
  char* end = nullptr;
  const double v = std::strtod(text.c_str(), &end);
  if (end != text.c_str() + text.size() || !std::isfinite(v)) return std::nullopt;
  return v;
}

json Published(const RunRecord& run) {
  std::map<std::string, std::size_t> index;
  json list = json::array();
  for (const PublishedSample& p : run.published) {
    auto [at, added] = index.emplace(p.name, list.size());
    if (added)
      list.push_back({{"name", p.name},
                      {"unit", p.unit},
                      {"numeric", true},
                      {"t", json::array()},
                      {"value", json::array()}});
    json& entry = list[at->second];
    entry["t"].push_back(p.timestep);
    if (const std::optional<double> v = NumericValue(p.value)) {
      entry["value"].push_back(Charted(*v));
    } else {
      entry["value"].push_back(p.value);
      entry["numeric"] = false;
    }
  }
  return list;
}

json Trials(const RunRecord& run) {
  json t = json::array(), n = json::array(), objective = json::array(), feasible = json::array(),
       final = json::array();
  std::vector<json> constraints(run.problem.constraints.size(), json::array());
  for (const TrialRow& r : run.trials) {
    t.push_back(r.timestep);
    n.push_back(r.trial.number);
    objective.push_back(Charted(r.trial.value.objective));
    for (std::size_t k = 0; k < constraints.size(); ++k)
      constraints[k].push_back(k < r.trial.value.constraints.size()
                                   ? Charted(r.trial.value.constraints[k])
                                   : json(nullptr));
    feasible.push_back(r.trial.feasible ? 1 : 0);
    final.push_back(r.final ? 1 : 0);
  }
  return {{"t", std::move(t)},
          {"n", std::move(n)},
          {"objective", std::move(objective)},
          {"constraints", constraints},
          {"feasible", std::move(feasible)},
          {"final", std::move(final)}};
}

json FinalControls(const RunRecord& run) {
  const TimestepResult* last = nullptr;
  for (const TimestepResult& r : run.results)
    if (r.optimised) last = &r;
  if (last == nullptr) return nullptr;
  json controls = json::array(), onBound = json::array(), states = json::array();
  for (std::size_t i = 0; i < run.problem.controls.size(); ++i) {
    const bool known = i < last->optimum.point.controls.size();
    const double v = known ? last->optimum.point.controls[i] : kUndefined;
    controls.push_back(Number(v));
    onBound.push_back(known ? OnBound(run.problem.controls[i], v) : "");
  }
  for (std::size_t i = 0; i < run.problem.intControls.size(); ++i) {
    const auto& labels = run.problem.intControls[i].labels;
    const int k = i < last->optimum.point.states.size() ? last->optimum.point.states[i] : -1;
    states.push_back(k >= 0 && static_cast<std::size_t>(k) < labels.size() ? json(labels[k])
                                                                           : json(nullptr));
  }
  return {{"timestep", last->timestep},
          {"controls", controls},
          {"onBound", onBound},
          {"states", states},
          {"objective", Number(last->optimum.value.objective)},
          {"feasible", last->optimum.feasible}};
}

json Optimisation(const RunRecord& run) {
  const ProblemInfo& p = run.problem;
  if (!p.objectiveDefined) return nullptr;
  json controls = json::array(), constraints = json::array(), ints = json::array();
  for (const ControlInfo& c : p.controls)
    controls.push_back({{"name", c.name},
                        {"unit", c.unit},
                        {"lower", OptionalBound(c.lower)},
                        {"upper", OptionalBound(c.upper)}});
  for (const ConstraintInfo& c : p.constraints)
    constraints.push_back({{"name", c.name},
                           {"unit", c.unit},
                           {"limit", Number(c.limit)},
                           {"type", c.type == ConstraintType::kLess      ? "less"
                                    : c.type == ConstraintType::kGreater ? "greater"
                                                                         : "equal"}});
  for (const IntControlInfo& c : p.intControls)
    ints.push_back({{"name", c.name}});
  json t = json::array(), objective = json::array(), evaluations = json::array();
  for (const TimestepResult& r : run.results) {
    if (!r.optimised) continue;
    t.push_back(r.timestep);
    objective.push_back(Charted(r.optimum.value.objective));
    evaluations.push_back(r.optimum.evaluations);
  }
  return {{"objective", p.objectiveName},
          {"unit", p.objectiveUnit},
          {"maximise", p.maximise},
          {"method", run.method},
          {"controls", controls},
          {"constraints", constraints},
          {"intControls", ints},
          {"byTimestep", {{"t", t}, {"objective", objective}, {"evaluations", evaluations}}},
          {"trials", Trials(run)},
          {"final", FinalControls(run)}};
}

// The final rates summed over the output streams of a run's summary.json.
json FinalRates(const fs::path& folder) {
  // A run without a readable summary has no rates to show.
  const outcome::Expected<std::string> text =
      ReadBoundedText(folder / "summary.json", kTextFileLimit);
  if (!text) return nullptr;
  outcome::Expected<json> document = ParseJsonText(*text);
  if (!document || !document->is_object()) return nullptr;
  json summary = std::move(*document);
  const json* steps = summary.contains("timesteps") ? &summary["timesteps"] : nullptr;
  if (steps == nullptr || !steps->is_array() || steps->empty()) return nullptr;
  const json& last = steps->back();
  if (!last.is_object() || !last.contains("outputs") || !last["outputs"].is_object())
    return nullptr;
  json rates = json::object();
  for (const char* key : {"oilRate", "waterRate", "gasRate"}) {
    double sum = 0;
    bool any = false;
    for (const auto& [name, stream] : last["outputs"].items())
      if (stream.is_object() && stream.contains(key) && stream[key].is_number()) {
        sum += stream[key].get<double>();
        any = true;
      }
    rates[key] = any ? json(sum) : json(nullptr);
  }
  return rates;
}

std::string Status(const ScenarioOutcome& o) {
  if (o.passed()) return "ok";
  if (!o.exitStatus) return "not run";
  return "failed (exit " + std::to_string(*o.exitStatus) + ")";
}

}  // namespace

std::string OnBound(const ControlInfo& control, double value) {
  const auto near = [value](const Bound& b) {
    return b.present && std::fabs(value - b.value) <= 1e-6 * std::fmax(1.0, std::fabs(b.value));
  };
  if (near(control.lower)) return "lower";
  if (near(control.upper)) return "upper";
  return "";
}

std::string RelativeLink(const fs::path& folder, const fs::path& target) {
  std::error_code ec;
  fs::path relative = fs::relative(fs::absolute(target), fs::absolute(folder), ec);
  if (ec || relative.empty()) relative = target.filename();
  std::string link = ".";
  for (const fs::path& segment : relative) {
    link += '/';
    for (const unsigned char c : segment.string()) {
      if (std::isalnum(c) || c == '-' || c == '_' || c == '.' || c == '~') {
        link += static_cast<char>(c);
      } else {
        static const char* hex = "0123456789ABCDEF";
        link += '%';
        link += hex[c >> 4];
        link += hex[c & 15];
      }
    }
  }
  return link;
}

json RunReportData(const RunRecord& run, const RunReportContext& context) {
  json steps_t = json::array(), steps_date = json::array();
  for (const TimestepResult& r : run.results) {
    steps_t.push_back(r.timestep);
    steps_date.push_back(FormatIsoDate(r.date));
  }
  // As summary.json says them; built here, as that file's per-timestep part
  // costs far more than the page needs.
  json error = nullptr;
  if (run.failure)
    error = {{"message", run.failure->message},
             {"command", run.failure->command},
             {"code", run.failure->code},
             {"timestep", run.failure->timestep < 0 ? json(nullptr) : json(run.failure->timestep)}};
  json data = {{"kind", "run"},
               {"header",
                {{"scenario", run.scenario},
                 {"workbook", run.workbook},
                 {"case", context.caseSource},
                 {"start", FormatIsoDate(run.startDate)},
                 {"timesteps", run.timesteps},
                 {"stepDays", run.stepDays},
                 {"status", run.interruptedBy != 0 ? "interrupted"
                            : run.failure          ? "failed"
                                                   : "ok"},
                 {"wallSeconds", context.wallSeconds ? json(*context.wallSeconds) : json(nullptr)},
                 {"driver", run.driverName},
                 {"office", run.office},
                 {"mode", run.mode},
                 {"library", run.library}}},
               {"error", error},
               {"notes", run.notes},
               {"steps", {{"t", steps_t}, {"date", steps_date}}},
               {"streams", Streams(run)},
               {"published", Published(run)},
               {"optimisation", Optimisation(run)}};
  return data;
}

json ManyReportData(const std::vector<ScenarioOutcome>& outcomes, const fs::path& reportFolder) {
  json list = json::array();
  long passed = 0;
  for (const ScenarioOutcome& o : outcomes) {
    std::error_code ec;
    const fs::path page = o.folder / "report.html";
    if (o.passed()) ++passed;
    list.push_back({{"name", o.name},
                    {"file", o.file},
                    {"status", Status(o)},
                    {"passed", o.passed()},
                    {"objective", o.objective ? Number(*o.objective) : json(nullptr)},
                    {"wallSeconds", o.wallSeconds ? json(*o.wallSeconds) : json(nullptr)},
                    {"timesteps", o.timesteps},
                    {"message", o.message},
                    {"rates", o.folder.empty() ? json(nullptr) : FinalRates(o.folder)},
                    {"link", !o.folder.empty() && fs::is_regular_file(page, ec)
                                 ? json(RelativeLink(reportFolder, page))
                                 : json(nullptr)}});
  }
  return {{"kind", "many"}, {"passed", passed}, {"scenarios", list}};
}

}  // namespace refhost
