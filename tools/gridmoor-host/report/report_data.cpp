#include "report/report_data.h"

#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <map>

#include "common/csv.h"
#include "common/files.h"
#include "common/interrupt.h"

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

// The last composition stream `i` carried: a row per component.
json Composition(const RunRecord& run, std::size_t i) {
  const StreamSample* last = nullptr;
  for (const StreamSample& s : run.streamSamples)
    if (s.stream == i && s.state.compositionPresent) last = &s;
  if (last == nullptr) return nullptr;
  const StreamState& state = last->state;
  const std::vector<std::string>& names = run.streams[i].components;
  json columns = json::array({"moleFraction"});
  for (std::size_t p = 0; p < kComponentProperties.size(); ++p)
    if (!state.properties[p].empty()) columns.push_back(kComponentProperties[p].key);
  json rows = json::array();
  for (std::size_t c = 0; c < state.moleFractions.size(); ++c) {
    json row = json::array({c < names.size() ? names[c] : "component " + std::to_string(c + 1),
                            Number(state.moleFractions[c])});
    for (std::size_t p = 0; p < kComponentProperties.size(); ++p)
      if (!state.properties[p].empty())
        row.push_back(c < state.properties[p].size() ? Number(state.properties[p][c])
                                                     : json(nullptr));
    rows.push_back(std::move(row));
  }
  return {{"timestep", last->timestep}, {"columns", columns}, {"rows", rows}};
}

json Streams(const RunRecord& run) {
  json streams = json::array();
  for (std::size_t i = 0; i < run.streams.size(); ++i) {
    json t = json::array(), date = json::array();
    std::vector<json> fields(std::size(kCharted), json::array());
    for (const StreamSample& s : run.streamSamples) {
      if (s.stream != i) continue;
      t.push_back(s.timestep);
      date.push_back(s.date);
      for (std::size_t f = 0; f < std::size(kCharted); ++f)
        fields[f].push_back(Charted(s.state.scalars[kCharted[f]]));
    }
    json stream = {
        {"index", i},        {"name", run.streams[i].name}, {"output", run.streams[i].output},
        {"t", std::move(t)}, {"date", std::move(date)},     {"composition", Composition(run, i)}};
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
                      {"date", json::array()},
                      {"value", json::array()}});
    json& entry = list[at->second];
    entry["t"].push_back(p.timestep);
    entry["date"].push_back(p.date);
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
  json t = json::array(), date = json::array(), objective = json::array(),
       evaluations = json::array();
  for (const TimestepResult& r : run.results) {
    if (!r.optimised) continue;
    t.push_back(r.timestep);
    date.push_back(r.date);
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
          {"byTimestep",
           {{"t", t}, {"date", date}, {"objective", objective}, {"evaluations", evaluations}}},
          {"trials", Trials(run)},
          {"final", FinalControls(run)}};
}

// What a run's summary.json says of its end: its status, the objective's
// name and unit, and the final rates summed over the output streams.
json FinalOf(const fs::path& folder) {
  // A run without a readable summary has nothing to show.
  const outcome::Expected<std::string> text =
      ReadBoundedText(folder / "summary.json", kTextFileLimit);
  if (!text) return nullptr;
  outcome::Expected<json> document = ParseJsonText(*text);
  if (!document || !document->is_object()) return nullptr;
  const json& summary = *document;
  json final = {{"status", summary.value("status", json(nullptr))}, {"rates", nullptr}};
  if (const auto o = summary.find("optimisation"); o != summary.end() && o->is_object()) {
    final["objective"] = o->value("objective", json(nullptr));
    final["unit"] = o->value("unit", json(nullptr));
  }
  const auto steps = summary.find("timesteps");
  if (steps == summary.end() || !steps->is_array() || steps->empty()) return final;
  const json& last = steps->back();
  if (!last.is_object() || !last.contains("outputs") || !last["outputs"].is_object()) return final;
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
  final["rates"] = std::move(rates);
  return final;
}

// "ok", "failed" or "interrupted", with what stopped it.
std::pair<std::string, std::string> Status(const ScenarioOutcome& o, const json& final) {
  if (o.passed()) return {"ok", "ok"};
  const bool stopped = o.message.rfind("not started: interrupted", 0) == 0 ||
                       (final.is_object() && final["status"] == "interrupted") ||
                       (o.exitStatus && (*o.exitStatus == 128 + 2 || *o.exitStatus == 128 + 15));
  if (stopped)
    return {"interrupted", o.exitStatus ? "interrupted (" + SignalName(*o.exitStatus - 128) + ")"
                                        : "interrupted before it started"};
  if (!o.exitStatus) return {"failed", "not run"};
  return {"failed", "failed (exit " + std::to_string(*o.exitStatus) + ")"};
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

namespace {

// The inputs sent in the solve the run stopped in, as values by field.
json SentInputs(const RunRecord& run) {
  json list = json::array();
  for (const StreamSample& s : run.sent) {
    json values = json::object();
    for (const ScalarField& f : kScalarFields)
      if (!IsUndefined(s.state.scalars[&f - kScalarFields.data()]))
        values[f.key] = Number(s.state.scalars[&f - kScalarFields.data()]);
    list.push_back({{"stream", run.streams[s.stream].name}, {"values", std::move(values)}});
  }
  return list;
}

// As summary.json says it; built here, as that file's per-timestep part
// costs far more than the page needs.
json ErrorData(const RunRecord& run) {
  if (!run.failure) return nullptr;
  return {{"message", run.failure->message},
          {"command", run.failure->command},
          {"code", run.failure->code},
          {"timestep", run.failure->timestep < 0 ? json(nullptr) : json(run.failure->timestep)},
          {"signal", run.interruptedBy != 0 ? json(SignalName(run.interruptedBy)) : json(nullptr)},
          {"lastGood", run.results.empty() ? json(nullptr) : json(run.results.back().timestep)},
          {"sent", SentInputs(run)}};
}

std::string FileName(const std::string& path) {
  return fs::path(path).filename().string();
}

// What people call the scenario: its file's stem, or its folder's name
// when the file is only "scenario.json".
std::string ScenarioName(const std::string& file) {
  const fs::path path(file);
  const std::string folder = path.parent_path().filename().string();
  return path.stem() == "scenario" && !folder.empty() ? folder : path.stem().string();
}

}  // namespace

json RunReportData(const RunRecord& run, const RunReportContext& context) {
  json steps_t = json::array(), steps_date = json::array();
  for (const TimestepResult& r : run.results) {
    steps_t.push_back(r.timestep);
    steps_date.push_back(FormatIsoDate(r.date));
  }
  // File names only: the page is shown and shared, the machine's folders
  // are in summary.json.
  json data = {{"kind", "run"},
               {"header",
                {{"name", ScenarioName(run.scenario)},
                 {"description", context.description},
                 {"scenario", FileName(run.scenario)},
                 {"workbook", FileName(run.workbook)},
                 {"case", FileName(context.caseSource)},
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
                 {"library", FileName(run.library)}}},
               {"error", ErrorData(run)},
               {"notes", run.notes},
               {"steps", {{"t", steps_t}, {"date", steps_date}}},
               {"streams", Streams(run)},
               {"published", Published(run)},
               {"optimisation", Optimisation(run)}};
  return data;
}

json ManyReportData(const std::vector<ScenarioOutcome>& outcomes, const fs::path& reportFolder) {
  json list = json::array(), paths = json::array();
  if (!outcomes.empty())
    for (const auto& [path, value] : outcomes.front().varied)
      paths.push_back(path);
  long passed = 0;
  json objective = nullptr, unit = nullptr;
  for (const ScenarioOutcome& o : outcomes) {
    std::error_code ec;
    const fs::path page = o.folder / "report.html";
    if (o.passed()) ++passed;
    const json final = o.folder.empty() ? json(nullptr) : FinalOf(o.folder);
    if (objective.is_null() && final.is_object() && final.contains("objective")) {
      objective = final["objective"];
      unit = final["unit"];
    }
    json varied = json::array();
    for (const auto& [path, value] : o.varied)
      varied.push_back(value);
    const auto [state, status] = Status(o, final);
    list.push_back({{"name", o.name},
                    {"file", o.file},
                    {"status", status},
                    {"state", state},
                    {"varied", std::move(varied)},
                    {"passed", o.passed()},
                    {"objective", o.objective ? Number(*o.objective) : json(nullptr)},
                    {"wallSeconds", o.wallSeconds ? json(*o.wallSeconds) : json(nullptr)},
                    {"timesteps", o.timesteps},
                    {"message", o.message},
                    {"rates", final.is_object() ? final["rates"] : json(nullptr)},
                    {"link", !o.folder.empty() && fs::is_regular_file(page, ec)
                                 ? json(RelativeLink(reportFolder, page))
                                 : json(nullptr)}});
  }
  return {{"kind", "many"},
          {"passed", passed},
          {"varied", paths},
          {"objective", {{"name", objective}, {"unit", unit}}},
          {"scenarios", list}};
}

}  // namespace refhost
