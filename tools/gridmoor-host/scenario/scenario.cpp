#include "scenario/scenario.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <set>

#include "common/csv.h"
#include "common/files.h"
#include "text/number.h"

namespace refhost {
namespace {

using nlohmann::json;

std::string Join(const std::string& path, const std::string& key) {
  return path.empty() ? key : path + "." + key;
}

std::string Index(const std::string& path, std::size_t i) {
  return path + "[" + std::to_string(i) + "]";
}

bool Fail(std::string& error, const std::string& text) {
  error = text;
  return false;
}

// Every key of `object` must be one of `allowed`.
bool CheckKeys(const json& object, const std::string& path,
               std::initializer_list<const char*> allowed, std::string& error) {
  if (!object.is_object())
    return Fail(error, (path.empty() ? std::string("the scenario") : "'" + path + "'") +
                           " must be a JSON object");
  for (const auto& item : object.items()) {
    bool known = false;
    for (const char* key : allowed)
      known = known || item.key() == key;
    if (!known) return Fail(error, "unknown key '" + Join(path, item.key()) + "'");
  }
  return true;
}

bool GetNumber(const json& value, const std::string& path, double& out, std::string& error) {
  if (!value.is_number() || !std::isfinite(value.get<double>()))
    return Fail(error, "'" + path + "' must be a finite number");
  out = value.get<double>();
  return true;
}

bool GetTolerance(const json& value, const std::string& path, double& out, std::string& error) {
  if (!GetNumber(value, path, out, error)) return false;
  if (out < 0) return Fail(error, "'" + path + "' must not be negative");
  return true;
}

// The OLE calendar: 0100-01-01 to 9999-12-31.
constexpr double kFirstDate = -657434, kLastDate = 2958465;

bool GetInt(const json& value, const std::string& path, long low, long high, long& out,
            std::string& error) {
  if (!value.is_number_integer() || value.get<long>() < low || value.get<long>() > high)
    return Fail(error, "'" + path + "' must be a whole number from " + std::to_string(low) +
                           " to " + std::to_string(high));
  out = value.get<long>();
  return true;
}

bool GetPath(const json& value, const std::string& path, const std::filesystem::path& folder,
             std::filesystem::path& out, std::string& error) {
  if (!value.is_string() || value.get<std::string>().empty())
    return Fail(error, "'" + path + "' must be a file name");
  out = std::filesystem::path(value.get<std::string>());
  if (out.is_relative()) out = folder / out;
  out = out.lexically_normal();
  return true;
}

bool GetArray(const json& value, const std::string& path, std::vector<double>& out,
              std::string& error) {
  if (!value.is_array() || value.size() > EXT_IPR_MAX_COMPONENTS)
    return Fail(error, "'" + path + "' must be an array of at most " +
                           std::to_string(EXT_IPR_MAX_COMPONENTS) + " numbers");
  out.clear();
  for (std::size_t i = 0; i < value.size(); ++i) {
    double number = 0;
    if (!GetNumber(value[i], Index(path, i), number, error)) return false;
    out.push_back(number);
  }
  return true;
}

bool ParseEos(const json& value, const std::string& path, std::uint32_t& eos, std::string& error) {
  if (value.is_string()) {
    const std::string text = value.get<std::string>();
    if (text == "PR")
      eos = EXT_EOS_PR;
    else if (text == "SRK")
      eos = EXT_EOS_SRK;
    else if (text == "other")
      eos = EXT_EOS_OTHER;
    else
      return Fail(error, "'" + path + "' must be \"PR\", \"SRK\" or \"other\"");
    return true;
  }
  return Fail(error, "'" + path + "' must be \"PR\", \"SRK\" or \"other\"");
}

int ScalarIndex(const std::string& key) {
  for (std::size_t i = 0; i < kScalarFields.size(); ++i)
    if (key == kScalarFields[i].key) return static_cast<int>(i);
  return -1;
}

int PropertyIndex(const std::string& key) {
  for (std::size_t i = 0; i < kComponentProperties.size(); ++i)
    if (key == kComponentProperties[i].key) return static_cast<int>(i);
  return -1;
}

bool ParseRun(const json& run, Scenario& s, std::string& error) {
  if (!CheckKeys(run, "run", {"start", "timesteps", "stepDays"}, error)) return false;
  if (!run.contains("start") || !run["start"].is_string() ||
      !ParseIsoDate(run["start"].get<std::string>(), s.startDate))
    return Fail(error, "'run.start' must be a date written YYYY-MM-DD");
  long steps = 1;
  if (run.contains("timesteps") &&
      !GetInt(run["timesteps"], "run.timesteps", 1, 100000, steps, error))
    return false;
  s.timesteps = static_cast<int>(steps);
  if (run.contains("stepDays")) {
    if (!GetNumber(run["stepDays"], "run.stepDays", s.stepDays, error)) return false;
    if (!(s.stepDays > 0)) return Fail(error, "'run.stepDays' must be above 0");
  }
  if (s.startDate < kFirstDate) return Fail(error, "'run.start' must be 0100-01-01 or later");
  if (s.startDate + s.stepDays * (s.timesteps - 1) > kLastDate)
    return Fail(error, "'run.stepDays': " + std::to_string(s.timesteps) + " timesteps of " +
                           nlohmann::json(s.stepDays).dump() + " days end after 9999-12-31");
  return true;
}

bool ParseOptimisation(const json& o, OptimisationSettings& settings, std::string& error) {
  if (!CheckKeys(o, "optimisation",
                 {"enabled", "method", "relativeTolerance", "objectiveTolerance", "maxIterations",
                  "maxIntegerCombinations"},
                 error))
    return false;
  if (o.contains("enabled")) {
    if (!o["enabled"].is_boolean())
      return Fail(error, "'optimisation.enabled' must be true or false");
    settings.enabled = o["enabled"].get<bool>();
  }
  if (o.contains("method")) {
    const json& m = o["method"];
    const std::string text = m.is_string() ? m.get<std::string>() : "";
    if (text == "auto")
      settings.method = Method::kAuto;
    else if (text == "cobyla")
      settings.method = Method::kCobyla;
    else if (text == "bobyqa")
      settings.method = Method::kBobyqa;
    else
      return Fail(error, "'optimisation.method' must be \"auto\", \"cobyla\" or \"bobyqa\"");
  }
  if (o.contains("relativeTolerance") &&
      !GetTolerance(o["relativeTolerance"], "optimisation.relativeTolerance",
                    settings.relativeTolerance, error))
    return false;
  if (o.contains("objectiveTolerance") &&
      !GetTolerance(o["objectiveTolerance"], "optimisation.objectiveTolerance",
                    settings.objectiveTolerance, error))
    return false;
  long value = 0;
  if (o.contains("maxIterations")) {
    if (!GetInt(o["maxIterations"], "optimisation.maxIterations", 1, 1000000, value, error))
      return false;
    settings.maxIterations = static_cast<int>(value);
  }
  if (o.contains("maxIntegerCombinations")) {
    if (!GetInt(o["maxIntegerCombinations"], "optimisation.maxIntegerCombinations", 1, 1000000,
                value, error))
      return false;
    settings.maxIntegerCombinations = value;
  }
  return true;
}

// "name[3]" -> name and 3; "interaction[1][2]" -> interaction, 1 and 2.
bool SplitColumn(const std::string& column, std::string& name, std::vector<std::size_t>& indices) {
  const std::size_t open = column.find('[');
  name = column.substr(0, open);
  indices.clear();
  std::size_t at = open;
  while (at != std::string::npos && at < column.size()) {
    if (column[at] != '[') return false;
    const std::size_t close = column.find(']', at);
    if (close == std::string::npos || close == at + 1) return false;
    const std::string digits = column.substr(at + 1, close - at - 1);
    if (digits.find_first_not_of("0123456789") != std::string::npos) return false;
    indices.push_back(std::strtoul(digits.c_str(), nullptr, 10));
    at = close + 1;
  }
  return true;
}

bool SetIndexed(std::vector<double>& values, std::size_t i, double value) {
  if (i >= EXT_IPR_MAX_COMPONENTS) return false;
  if (values.size() <= i) values.resize(i + 1, 0.0);
  values[i] = value;
  return true;
}

// Two columns for one value would leave only the later one's; "x[1]" and
// "x[01]" are one value too.
bool CheckColumnsDiffer(const CsvRow& header, std::string& error) {
  std::map<std::string, std::size_t> seen;  // the value a column sets -> its index
  for (std::size_t c = 0; c < header.size(); ++c) {
    std::string name, value = header[c];
    std::vector<std::size_t> indices;
    if (SplitColumn(header[c], name, indices) &&
        std::all_of(indices.begin(), indices.end(),
                    [](std::size_t i) { return i < EXT_IPR_MAX_COMPONENTS; })) {
      value = name;
      for (std::size_t i : indices)
        value.append("[").append(std::to_string(i)).append("]");
    }
    const auto [first, added] = seen.emplace(value, c);
    if (added) continue;
    const std::string& earlier = header[first->second];
    const std::string both = "columns " + std::to_string(first->second + 1) + " and " +
                             std::to_string(c + 1) + " of the header (line 1)";
    return Fail(error,
                earlier == header[c]
                    ? "the column '" + earlier + "' is given twice, as " + both
                    : both + ", '" + earlier + "' and '" + header[c] + "', give the same value");
  }
  return true;
}

}  // namespace

const StreamState* InputAt(const InputSeries& series, int timestep) {
  auto it = series.upper_bound(timestep);
  if (it == series.begin()) return nullptr;
  return &std::prev(it)->second;
}

bool ParseStreamState(const json& entry, const std::string& path, StreamState& state,
                      std::string& error) {
  if (!entry.is_object()) return Fail(error, "'" + path + "' must be a JSON object");
  for (const auto& item : entry.items()) {
    const std::string& key = item.key();
    const std::string where = Join(path, key);
    if (const int scalar = ScalarIndex(key); scalar >= 0) {
      if (!GetNumber(item.value(), where, state.scalars[scalar], error)) return false;
    } else if (key == "eosModel") {
      if (!ParseEos(item.value(), where, state.eosModel, error)) return false;
    } else if (key == "moleFractions") {
      if (!GetArray(item.value(), where, state.moleFractions, error)) return false;
      state.compositionPresent = true;
    } else if (const int property = PropertyIndex(key); property >= 0) {
      if (!GetArray(item.value(), where, state.properties[property], error)) return false;
    } else if (key == "interaction") {
      const json& rows = item.value();
      if (!rows.is_array() || rows.size() > EXT_IPR_MAX_COMPONENTS)
        return Fail(error, "'" + where + "' must be an array of rows of numbers");
      state.interaction.assign(rows.size(), {});
      for (std::size_t i = 0; i < rows.size(); ++i)
        if (!GetArray(rows[i], Index(where, i), state.interaction[i], error)) return false;
    } else {
      return Fail(error, "unknown key '" + where + "'");
    }
  }
  return true;
}

namespace {

// One cell of the input table into the stream state of its row.
bool ReadInputCell(const std::string& column, const std::string& cell, const std::string& line,
                   StreamState& state, std::string& error) {
  std::string name;
  std::vector<std::size_t> idx;
  if (!SplitColumn(column, name, idx)) return Fail(error, "bad column name '" + column + "'");
  const std::string where = line + ", column " + column;
  if (name == "eosModel" && idx.empty()) {
    if (!ParseEos(json(cell), where, state.eosModel, error))
      return Fail(error, where + ": eosModel must be PR, SRK or other");
    return true;
  }
  double value = 0;
  if (text::ScanDouble(cell, value) != cell.size())
    return Fail(error, where + ": '" + cell + "' is not a number");
  if (!std::isfinite(value)) return Fail(error, where + ": '" + cell + "' is not a finite number");
  const int scalar = ScalarIndex(name);
  const int property = PropertyIndex(name);
  bool ok = false;
  if (scalar >= 0 && idx.empty()) {
    state.scalars[scalar] = value;
    ok = true;
  } else if (name == "moleFractions" && idx.size() == 1) {
    ok = SetIndexed(state.moleFractions, idx[0], value);
    state.compositionPresent = true;
  } else if (property >= 0 && idx.size() == 1) {
    ok = SetIndexed(state.properties[property], idx[0], value);
  } else if (name == "interaction" && idx.size() == 2 && idx[0] < EXT_IPR_MAX_COMPONENTS) {
    if (state.interaction.size() <= idx[0]) state.interaction.resize(idx[0] + 1);
    ok = SetIndexed(state.interaction[idx[0]], idx[1], value);
  }
  if (!ok) return Fail(error, "unknown column '" + column + "'");
  return true;
}

bool ReadInputRows(const std::string& text, std::map<std::string, InputSeries>& inputs,
                   std::string& error) {
  std::vector<CsvRow> rows;
  // A byte-order mark, as spreadsheets write it in front of UTF-8.
  const bool mark = text.rfind("\xEF\xBB\xBF", 0) == 0;
  if (!ParseCsv(mark ? text.substr(3) : text, rows, error)) return false;
  if (rows.empty()) return Fail(error, "the input table is empty");
  const CsvRow& header = rows[0];
  if (header.size() < 2 || header[0] != "timestep" || header[1] != "stream")
    return Fail(error, "the input table must start with the columns timestep,stream");
  if (!CheckColumnsDiffer(header, error)) return false;
  std::map<std::pair<std::string, long>, std::size_t> seen;  // -> its line
  for (std::size_t r = 1; r < rows.size(); ++r) {
    const CsvRow& row = rows[r];
    const std::string line = "line " + std::to_string(r + 1);
    if (row.size() != header.size())
      return Fail(error, line + ": " + std::to_string(row.size()) + " fields, the header has " +
                             std::to_string(header.size()));
    char* end = nullptr;
    const long t = std::strtol(row[0].c_str(), &end, 10);
    if (row[0].empty() || *end != '\0' || t < 0 || t > 100000)
      return Fail(error, line + ": timestep '" + row[0] + "' is not a whole number");
    if (row[1].empty()) return Fail(error, line + ": no stream name");
    const auto [at, added] = seen.emplace(std::make_pair(row[1], t), r + 1);
    if (!added)
      return Fail(error, line + ": timestep " + row[0] + " of " + row[1] +
                             " is given already on line " + std::to_string(at->second));
    StreamState& state = inputs[row[1]][static_cast<int>(t)];
    for (std::size_t c = 2; c < header.size(); ++c) {
      // An empty cell is not given: the host's missing value.
      if (!row[c].empty() && !ReadInputCell(header[c], row[c], line, state, error)) return false;
    }
  }
  return true;
}

}  // namespace

bool ParseInputCsv(const std::string& text, std::map<std::string, InputSeries>& inputs,
                   std::string& error) {
  if (ReadInputRows(text, inputs, error)) return true;
  error = OneLine(error);
  return false;
}

namespace {

// The case, inline or as an archive.
bool ParseCase(const json& d, const std::filesystem::path& folder, Scenario& s,
               std::string& error) {
  if (d.contains("case") == d.contains("caseArchive"))
    return Fail(error, "give the case either inline ('case') or as an archive ('caseArchive')");
  if (d.contains("caseArchive")) {
    std::filesystem::path path;
    if (!GetPath(d["caseArchive"], "caseArchive", folder, path, error)) return false;
    s.caseArchive = path;
    return true;
  }
  if (!d["case"].is_object()) return Fail(error, "'case' must be a JSON object");
  s.caseJson = d["case"];
  // The case's workbook, like every file the scenario names, is relative
  // to the scenario's folder, for a run and a check from any folder.
  if (const auto name = s.caseJson->find("fileName");
      name != s.caseJson->end() && name->is_string() && !name->get<std::string>().empty() &&
      std::filesystem::path(name->get<std::string>()).is_relative())
    *name = (folder / name->get<std::string>()).lexically_normal().string();
  return true;
}

// The published variables, as a model data file or inline.
bool ParsePublished(const json& d, const std::filesystem::path& folder, Scenario& s,
                    std::string& error) {
  if (d.contains("modelDataFile") && d.contains("publishedVariables"))
    return Fail(error,
                "give the published variables either as 'modelDataFile' or inline as "
                "'publishedVariables', not both");
  if (d.contains("modelDataFile")) {
    std::filesystem::path path;
    if (!GetPath(d["modelDataFile"], "modelDataFile", folder, path, error)) return false;
    s.modelDataFile = path;
  }
  if (d.contains("publishedVariables")) {
    if (!d["publishedVariables"].is_array())
      return Fail(error, "'publishedVariables' must be a JSON array");
    s.publishedVariables = d["publishedVariables"];
  }
  return true;
}

// The inputs, a CSV file's name or an object of streams.
bool ParseInputs(const json& inputs, const std::filesystem::path& folder, Scenario& s,
                 std::string& error) {
  if (inputs.is_string()) {
    std::filesystem::path path;
    if (!GetPath(inputs, "inputs", folder, path, error)) return false;
    std::string text;
    if (!ReadBounded(path, kTextFileLimit, text, error)) return false;
    if (!ParseInputCsv(text, s.inputs, error)) return Fail(error, path.string() + ": " + error);
    return true;
  }
  if (!inputs.is_object())
    return Fail(error, "'inputs' must be an object of streams or the name of a CSV file");
  for (const auto& stream : inputs.items()) {
    const std::string where = "inputs." + stream.key();
    if (!stream.value().is_array() || stream.value().empty())
      return Fail(error, "'" + where + "' must be a non-empty array, one entry per timestep");
    InputSeries& series = s.inputs[stream.key()];
    for (std::size_t t = 0; t < stream.value().size(); ++t) {
      StreamState state;
      if (!ParseStreamState(stream.value()[t], Index(where, t), state, error)) return false;
      series[static_cast<int>(t)] = std::move(state);
    }
  }
  return true;
}

}  // namespace

bool ParseScenario(const json& d, const std::filesystem::path& folder, Scenario& s,
                   std::string& error) {
  if (!CheckKeys(d, "",
                 {"workbook", "case", "caseArchive", "modelDataFile", "publishedVariables", "run",
                  "inputs", "optimisation", "description"},
                 error))
    return false;
  if (d.contains("workbook")) {
    std::filesystem::path path;
    if (!GetPath(d["workbook"], "workbook", folder, path, error)) return false;
    s.workbook = path;
  }
  if (!ParseCase(d, folder, s, error) || !ParsePublished(d, folder, s, error)) return false;
  if (!d.contains("run")) return Fail(error, "the scenario has no 'run'");
  if (!ParseRun(d["run"], s, error)) return false;
  if (d.contains("optimisation") && !ParseOptimisation(d["optimisation"], s.optimisation, error))
    return false;
  return !d.contains("inputs") || ParseInputs(d["inputs"], folder, s, error);
}

bool ParseScenarioText(const std::string& text, const std::filesystem::path& file,
                       Scenario& scenario, std::string& error) {
  json document;
  scenario.file = file;
  if (!ParseJsonText(text, document, error) ||
      !ParseScenario(document, file.parent_path(), scenario, error))
    return Fail(error, OneLine(file.string() + ": " + error));
  return true;
}

bool LoadScenario(const std::filesystem::path& file, Scenario& scenario, std::string& error) {
  std::string text;
  if (!ReadBounded(file, kTextFileLimit, text, error)) return false;
  return ParseScenarioText(text, file, scenario, error);
}

}  // namespace refhost
