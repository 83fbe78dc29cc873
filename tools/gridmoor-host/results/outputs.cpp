#include "results/outputs.h"

#include <cstdio>

#include "common/csv.h"
#include "common/files.h"

namespace refhost {
namespace {

using nlohmann::json;

json Number(double value) {
  return IsUndefined(value) ? json(nullptr) : json(value);
}

const char* EosName(std::uint32_t eos) {
  return eos == EXT_EOS_PR ? "PR" : eos == EXT_EOS_SRK ? "SRK" : "other";
}

json StateJson(const StreamState& state, const StreamInfo& stream) {
  json out = json::object();
  for (std::size_t i = 0; i < kScalarFields.size(); ++i)
    out[kScalarFields[i].key] = Number(state.scalars[i]);
  if (state.compositionPresent) {
    out["eosModel"] = EosName(state.eosModel);
    json components = json::array();
    for (std::size_t i = 0; i < state.moleFractions.size(); ++i) {
      const std::string name =
          i < stream.components.size() ? stream.components[i] : std::to_string(i);
      json c = {{"name", name}, {"moleFraction", state.moleFractions[i]}};
      for (std::size_t p = 0; p < kComponentProperties.size(); ++p)
        if (i < state.properties[p].size())
          c[kComponentProperties[p].key] = Number(state.properties[p][i]);
      components.push_back(c);
    }
    out["components"] = components;
  }
  return out;
}

std::string ComponentName(const StreamInfo& stream, std::size_t i) {
  return i < stream.components.size() ? stream.components[i] : std::to_string(i);
}

}  // namespace

std::string StreamsCsv(const RunRecord& run) {
  CsvRow header{"timestep", "date", "stream", "direction"};
  for (const ScalarField& f : kScalarFields)
    header.push_back(f.key);
  for (const char* extra : {"eosModel", "componentCount", "componentFlags"})
    header.push_back(extra);
  std::string text = CsvLine(header);
  for (const StreamSample& s : run.streamSamples) {
    const StreamInfo& stream = run.streams[s.stream];
    CsvRow row{std::to_string(s.timestep), FormatIsoDate(s.date), stream.name,
               stream.output ? "out" : "in"};
    for (double v : s.state.scalars)
      row.push_back(FormatNumber(v));
    row.push_back(s.state.compositionPresent ? EosName(s.state.eosModel) : "");
    row.push_back(s.state.compositionPresent ? std::to_string(s.state.moleFractions.size()) : "");
    row.push_back(s.state.compositionPresent ? std::to_string(s.state.componentFlags) : "");
    text += CsvLine(row);
  }
  return text;
}

std::string CompositionsCsv(const RunRecord& run) {
  std::string text = CsvLine({"timestep", "date", "stream", "component", "property", "value"});
  for (const StreamSample& s : run.streamSamples) {
    if (!s.state.compositionPresent) continue;
    const StreamInfo& stream = run.streams[s.stream];
    const std::string prefix = std::to_string(s.timestep) + "," + FormatIsoDate(s.date) + "," +
                               CsvField(stream.name) + ",";
    for (std::size_t i = 0; i < s.state.moleFractions.size(); ++i) {
      const std::string component = CsvField(ComponentName(stream, i)) + ",";
      text += prefix + component + "moleFraction," + FormatNumber(s.state.moleFractions[i]) + "\n";
      for (std::size_t p = 0; p < kComponentProperties.size(); ++p)
        if (i < s.state.properties[p].size())
          text += prefix + component + kComponentProperties[p].key + "," +
                  FormatNumber(s.state.properties[p][i]) + "\n";
      for (std::size_t j = 0; i < s.state.interaction.size() && j < s.state.interaction[i].size();
           ++j)
        if (j != i)
          text += prefix + component + CsvField("interaction:" + ComponentName(stream, j)) + "," +
                  FormatNumber(s.state.interaction[i][j]) + "\n";
    }
  }
  return text;
}

std::string PublishedCsv(const RunRecord& run) {
  std::string text = CsvLine({"timestep", "date", "name", "unit", "value"});
  for (const PublishedSample& p : run.published)
    text += CsvLine({std::to_string(p.timestep), FormatIsoDate(p.date), p.name, p.unit, p.value});
  return text;
}

std::string OptimisationCsv(const RunRecord& run) {
  CsvRow header{"timestep", "date", "trial"};
  for (const ControlInfo& c : run.problem.controls)
    header.push_back(c.name);
  for (const IntControlInfo& c : run.problem.intControls)
    header.push_back(c.name);
  header.push_back(run.problem.objectiveName.empty() ? "objective" : run.problem.objectiveName);
  for (const ConstraintInfo& c : run.problem.constraints)
    header.push_back(c.name);
  header.push_back("feasible");
  std::string text = CsvLine(header);
  for (const TrialRow& r : run.trials) {
    CsvRow row{std::to_string(r.timestep), FormatIsoDate(r.date),
               r.final ? "final" : std::to_string(r.trial.number)};
    for (std::size_t i = 0; i < run.problem.controls.size(); ++i)
      row.push_back(i < r.trial.point.controls.size() ? FormatNumber(r.trial.point.controls[i])
                                                      : "");
    for (std::size_t i = 0; i < run.problem.intControls.size(); ++i) {
      const int k = i < r.trial.point.states.size() ? r.trial.point.states[i] : -1;
      const auto& labels = run.problem.intControls[i].labels;
      row.push_back(k >= 0 && static_cast<std::size_t>(k) < labels.size() ? labels[k] : "");
    }
    row.push_back(FormatNumber(r.trial.value.objective));
    for (double v : r.trial.value.constraints)
      row.push_back(FormatNumber(v));
    row.push_back(r.trial.feasible ? "yes" : "no");
    text += CsvLine(row);
  }
  return text;
}

namespace {

json FailureJson(const RunFailure& failure) {
  return {{"message", failure.message},
          {"command", failure.command},
          {"code", failure.code},
          {"timestep", failure.timestep < 0 ? json(nullptr) : json(failure.timestep)}};
}

json StreamsJson(const std::vector<StreamInfo>& streams) {
  json list = json::array();
  for (const StreamInfo& st : streams)
    list.push_back({{"name", st.name},
                    {"handle", st.handle},
                    {"direction", st.output ? "out" : "in"},
                    {"components", st.components}});
  return list;
}

json OptimisationJson(const RunRecord& run) {
  if (!run.problem.objectiveDefined) return nullptr;
  json controls = json::array(), constraints = json::array(), ints = json::array();
  for (const ControlInfo& c : run.problem.controls)
    controls.push_back({{"name", c.name},
                        {"unit", c.unit},
                        {"lower", c.lower.present ? json(c.lower.value) : json(nullptr)},
                        {"upper", c.upper.present ? json(c.upper.value) : json(nullptr)}});
  for (const ConstraintInfo& c : run.problem.constraints)
    constraints.push_back({{"name", c.name},
                           {"unit", c.unit},
                           {"limit", c.limit},
                           {"type", c.type == ConstraintType::kLess      ? "less"
                                    : c.type == ConstraintType::kGreater ? "greater"
                                                                         : "equal"}});
  for (const IntControlInfo& c : run.problem.intControls)
    ints.push_back({{"name", c.name}, {"states", c.labels}});
  return {{"objective", run.problem.objectiveName},
          {"unit", run.problem.objectiveUnit},
          {"maximise", run.problem.maximise},
          {"active", run.optimising},
          {"method", run.method},
          {"controls", controls},
          {"constraints", constraints},
          {"integerControls", ints}};
}

// The optimum of one timestep, by the problem's names.
json OptimumJson(const ProblemInfo& problem, const TimestepResult& r) {
  json controls = json::object(), states = json::object(), constraints = json::object();
  for (std::size_t i = 0; i < problem.controls.size(); ++i)
    controls[problem.controls[i].name] =
        i < r.optimum.point.controls.size() ? json(r.optimum.point.controls[i]) : json();
  for (std::size_t i = 0; i < problem.intControls.size(); ++i) {
    const auto& labels = problem.intControls[i].labels;
    const int k = i < r.optimum.point.states.size() ? r.optimum.point.states[i] : -1;
    states[problem.intControls[i].name] =
        k >= 0 && static_cast<std::size_t>(k) < labels.size() ? json(labels[k]) : json();
  }
  for (std::size_t i = 0; i < problem.constraints.size(); ++i)
    constraints[problem.constraints[i].name] =
        i < r.optimum.value.constraints.size() ? Number(r.optimum.value.constraints[i]) : json();
  return {{"objective", Number(r.optimum.value.objective)},
          {"controls", controls},
          {"integerControls", states},
          {"constraints", constraints},
          {"feasible", r.optimum.feasible},
          {"evaluations", r.optimum.evaluations},
          {"method", r.optimum.method},
          {"note", r.optimum.note}};
}

json TimestepJson(const RunRecord& run, const TimestepResult& r) {
  json step = {{"timestep", r.timestep}, {"date", FormatIsoDate(r.date)}};
  json inputs = json::object(), outputs = json::object();
  for (const StreamSample& sample : run.streamSamples) {
    if (sample.timestep != r.timestep) continue;
    const StreamInfo& stream = run.streams[sample.stream];
    (stream.output ? outputs : inputs)[stream.name] = StateJson(sample.state, stream);
  }
  step["inputs"] = inputs;
  step["outputs"] = outputs;
  json published = json::object();
  for (const PublishedSample& p : run.published)
    if (p.timestep == r.timestep) published[p.name] = p.value;
  step["published"] = published;
  if (r.optimised) step["optimum"] = OptimumJson(run.problem, r);
  if (r.nextEvent)
    step["nextEvent"] = {
        {"date", FormatIsoDate(*r.nextEvent)}, {"value", *r.nextEvent}, {"acted", r.eventActed}};
  return step;
}

}  // namespace

json Summary(const RunRecord& run) {
  json s;
  s["status"] = run.interruptedBy != 0 ? "interrupted" : run.failure ? "failed" : "ok";
  if (run.failure) s["error"] = FailureJson(*run.failure);
  s["library"] = run.library;
  s["mode"] = run.mode;
  s["driver"] = run.driverName;
  s["office"] = run.office;
  s["scenario"] = run.scenario;
  s["workbook"] = run.workbook;
  s["run"] = {{"start", FormatIsoDate(run.startDate)},
              {"timesteps", run.timesteps},
              {"stepDays", run.stepDays}};
  s["streams"] = StreamsJson(run.streams);
  s["optimisation"] = OptimisationJson(run);
  json steps = json::array();
  for (const TimestepResult& r : run.results)
    steps.push_back(TimestepJson(run, r));
  s["timesteps"] = steps;
  s["notes"] = run.notes;
  return s;
}

std::string ResultTable(const RunRecord& run) {
  std::string text;
  char line[256];
  std::snprintf(line, sizeof line, "%-4s %-10s %-8s %14s %14s %14s %12s %12s", "step", "date",
                "stream", "oil STB/d", "water STB/d", "gas MMscf/d", "p psig", "T degF");
  text += line;
  if (run.optimising) text += "   " + run.problem.objectiveName;
  text += "\n";
  for (const StreamSample& s : run.streamSamples) {
    const StreamInfo& stream = run.streams[s.stream];
    if (!stream.output) continue;
    const auto cell = [](double v) { return IsUndefined(v) ? std::string("-") : FormatNumber(v); };
    std::snprintf(line, sizeof line, "%-4d %-10s %-8s %14.14s %14.14s %14.14s %12.12s %12.12s",
                  s.timestep, FormatIsoDate(s.date).c_str(), stream.name.c_str(),
                  cell(s.state.scalars[0]).c_str(), cell(s.state.scalars[1]).c_str(),
                  cell(s.state.scalars[2]).c_str(), cell(s.state.scalars[3]).c_str(),
                  cell(s.state.scalars[4]).c_str());
    text += line;
    if (run.optimising)
      for (const TimestepResult& r : run.results)
        if (r.timestep == s.timestep && r.optimised)
          text += "   " + cell(r.optimum.value.objective);
    text += "\n";
  }
  return text;
}

const std::vector<std::string>& OutputFileNames() {
  static const std::vector<std::string> names = {"streams.csv", "compositions.csv", "published.csv",
                                                 "optimisation.csv", "summary.json"};
  return names;
}

namespace {

// The four tables, in the order of OutputFileNames; the first that cannot
// be written stops the rest.
outcome::Error WriteTables(const RunRecord& run, const std::filesystem::path& folder) {
  using Table = std::string (*)(const RunRecord&);
  const std::pair<const char*, Table> tables[] = {{"streams.csv", StreamsCsv},
                                                  {"compositions.csv", CompositionsCsv},
                                                  {"published.csv", PublishedCsv},
                                                  {"optimisation.csv", OptimisationCsv}};
  for (const auto& [name, table] : tables)
    if (outcome::Error unwritten = WriteText(folder / name, table(run))) return unwritten;
  return outcome::Error::Success();
}

}  // namespace

outcome::Error WriteOutputs(const RunRecord& run, const std::filesystem::path& folder) {
  std::error_code ec;
  std::filesystem::create_directories(folder, ec);
  if (ec) return outcome::Error::Failed("cannot create " + folder.string() + ": " + ec.message());
  json summary = Summary(run);
  if (outcome::Error unwritten = WriteTables(run, folder)) {
    // An earlier run's summary must not stand for this one.
    summary["status"] = "failed";
    if (!summary.contains("error"))
      summary["error"] = {
          {"message", unwritten.Message()}, {"command", ""}, {"code", 0}, {"timestep", nullptr}};
    // Tried all the same; the table that could not be written is the failure to tell.
    WriteText(folder / "summary.json", summary.dump(2) + "\n").Consume();
    return unwritten;
  }
  return WriteText(folder / "summary.json", summary.dump(2) + "\n");
}

}  // namespace refhost
