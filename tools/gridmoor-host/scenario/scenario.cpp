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
using outcome::Error;

std::string Join(const std::string& path, const std::string& key) {
  return path.empty() ? key : path + "." + key;
}

std::string Index(const std::string& path, std::size_t i) {
  return path + "[" + std::to_string(i) + "]";
}

// Stores the value `read` gives in `out`; its error when it gives none.
template <typename T, typename Out>
Error Assign(Out& out, outcome::Expected<T> read) {
  if (!read) return read.TakeError();
  out = static_cast<Out>(std::move(*read));
  return Error::Success();
}

// Every key of `object` must be one of `allowed`.
Error CheckKeys(const json& object, const std::string& path,
                std::initializer_list<const char*> allowed) {
  if (!object.is_object())
    return Error::Failed((path.empty() ? std::string("the scenario") : "'" + path + "'") +
                         " must be a JSON object");
  for (const auto& item : object.items()) {
    bool known = false;
    for (const char* key : allowed)
      known = known || item.key() == key;
    if (!known) return Error::Failed("unknown key '" + Join(path, item.key()) + "'");
  }
  return Error::Success();
}

outcome::Expected<double> GetNumber(const json& value, const std::string& path) {
  if (!value.is_number() || !std::isfinite(value.get<double>()))
    return Error::Failed("'" + path + "' must be a finite number");
  return value.get<double>();
}

outcome::Expected<double> GetTolerance(const json& value, const std::string& path) {
  outcome::Expected<double> number = GetNumber(value, path);
  if (!number) return number.TakeError();
  if (*number < 0) return Error::Failed("'" + path + "' must not be negative");
  return number;
}

// The OLE calendar: 0100-01-01 to 9999-12-31.
constexpr double kFirstDate = -657434, kLastDate = 2958465;

outcome::Expected<long> GetInt(const json& value, const std::string& path, long low, long high) {
  if (!value.is_number_integer() || value.get<long>() < low || value.get<long>() > high)
    return Error::Failed("'" + path + "' must be a whole number from " + std::to_string(low) +
                         " to " + std::to_string(high));
  return value.get<long>();
}

outcome::Expected<std::filesystem::path> GetPath(const json& value, const std::string& path,
                                                 const std::filesystem::path& folder) {
  if (!value.is_string() || value.get<std::string>().empty())
    return Error::Failed("'" + path + "' must be a file name");
  std::filesystem::path out(value.get<std::string>());
  if (out.is_relative()) out = folder / out;
  return out.lexically_normal();
}

outcome::Expected<std::vector<double>> GetArray(const json& value, const std::string& path) {
  if (!value.is_array() || value.size() > EXT_IPR_MAX_COMPONENTS)
    return Error::Failed("'" + path + "' must be an array of at most " +
                         std::to_string(EXT_IPR_MAX_COMPONENTS) + " numbers");
  std::vector<double> out;
  for (std::size_t i = 0; i < value.size(); ++i) {
    outcome::Expected<double> number = GetNumber(value[i], Index(path, i));
    if (!number) return number.TakeError();
    out.push_back(*number);
  }
  return out;
}

outcome::Expected<std::uint32_t> ParseEos(const json& value, const std::string& path) {
  const std::string text = value.is_string() ? value.get<std::string>() : std::string();
  if (value.is_string() && text == "PR") return std::uint32_t{EXT_EOS_PR};
  if (value.is_string() && text == "SRK") return std::uint32_t{EXT_EOS_SRK};
  if (value.is_string() && text == "other") return std::uint32_t{EXT_EOS_OTHER};
  return Error::Failed("'" + path + "' must be \"PR\", \"SRK\" or \"other\"");
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

Error ParseRun(const json& run, Scenario& s) {
  if (Error failed = CheckKeys(run, "run", {"start", "timesteps", "stepDays"})) return failed;
  if (!run.contains("start") || !run["start"].is_string() ||
      !ParseIsoDate(run["start"].get<std::string>(), s.startDate))
    return Error::Failed("'run.start' must be a date written YYYY-MM-DD");
  if (run.contains("timesteps")) {
    if (Error failed = Assign(s.timesteps, GetInt(run["timesteps"], "run.timesteps", 1, 100000)))
      return failed;
  }
  if (run.contains("stepDays")) {
    if (Error failed = Assign(s.stepDays, GetNumber(run["stepDays"], "run.stepDays")))
      return failed;
    if (!(s.stepDays > 0)) return Error::Failed("'run.stepDays' must be above 0");
  }
  if (s.startDate < kFirstDate) return Error::Failed("'run.start' must be 0100-01-01 or later");
  if (s.startDate + s.stepDays * (s.timesteps - 1) > kLastDate)
    return Error::Failed("'run.stepDays': " + std::to_string(s.timesteps) + " timesteps of " +
                         nlohmann::json(s.stepDays).dump() + " days end after 9999-12-31");
  return Error::Success();
}

outcome::Expected<Method> ParseMethod(const json& m) {
  const std::string text = m.is_string() ? m.get<std::string>() : "";
  if (text == "auto") return Method::kAuto;
  if (text == "cobyla") return Method::kCobyla;
  if (text == "bobyqa") return Method::kBobyqa;
  return Error::Failed("'optimisation.method' must be \"auto\", \"cobyla\" or \"bobyqa\"");
}

Error ParseOptimisation(const json& o, OptimisationSettings& settings) {
  if (Error failed = CheckKeys(o, "optimisation",
                               {"enabled", "method", "relativeTolerance", "objectiveTolerance",
                                "maxIterations", "maxIntegerCombinations"}))
    return failed;
  if (o.contains("enabled")) {
    if (!o["enabled"].is_boolean())
      return Error::Failed("'optimisation.enabled' must be true or false");
    settings.enabled = o["enabled"].get<bool>();
  }
  if (o.contains("method")) {
    if (Error failed = Assign(settings.method, ParseMethod(o["method"]))) return failed;
  }
  for (const auto& [key, out] : {std::pair{"relativeTolerance", &settings.relativeTolerance},
                                 std::pair{"objectiveTolerance", &settings.objectiveTolerance}}) {
    if (!o.contains(key)) continue;
    if (Error failed = Assign(*out, GetTolerance(o[key], "optimisation." + std::string(key))))
      return failed;
  }
  if (o.contains("maxIterations")) {
    if (Error failed = Assign(settings.maxIterations,
                              GetInt(o["maxIterations"], "optimisation.maxIterations", 1, 1000000)))
      return failed;
  }
  if (o.contains("maxIntegerCombinations")) {
    if (Error failed = Assign(
            settings.maxIntegerCombinations,
            GetInt(o["maxIntegerCombinations"], "optimisation.maxIntegerCombinations", 1, 1000000)))
      return failed;
  }
  return Error::Success();
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
Error CheckColumnsDiffer(const CsvRow& header) {
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
    return Error::Failed(earlier == header[c]
                             ? "the column '" + earlier + "' is given twice, as " + both
                             : both + ", '" + earlier + "' and '" + header[c] +
                                   "', give the same value");
  }
  return Error::Success();
}

}  // namespace

const StreamState* InputAt(const InputSeries& series, int timestep) {
  auto it = series.upper_bound(timestep);
  if (it == series.begin()) return nullptr;
  return &std::prev(it)->second;
}

outcome::Expected<StreamState> ParseStreamState(const json& entry, const std::string& path) {
  if (!entry.is_object()) return Error::Failed("'" + path + "' must be a JSON object");
  StreamState state;
  for (const auto& item : entry.items()) {
    const std::string& key = item.key();
    const std::string where = Join(path, key);
    Error failed;
    if (const int scalar = ScalarIndex(key); scalar >= 0) {
      failed = Assign(state.scalars[scalar], GetNumber(item.value(), where));
    } else if (key == "eosModel") {
      failed = Assign(state.eosModel, ParseEos(item.value(), where));
    } else if (key == "moleFractions") {
      failed = Assign(state.moleFractions, GetArray(item.value(), where));
      state.compositionPresent = true;
    } else if (const int property = PropertyIndex(key); property >= 0) {
      failed = Assign(state.properties[property], GetArray(item.value(), where));
    } else if (key == "interaction") {
      const json& rows = item.value();
      if (!rows.is_array() || rows.size() > EXT_IPR_MAX_COMPONENTS)
        return Error::Failed("'" + where + "' must be an array of rows of numbers");
      state.interaction.assign(rows.size(), {});
      for (std::size_t i = 0; i < rows.size() && !failed; ++i)
        failed = Assign(state.interaction[i], GetArray(rows[i], Index(where, i)));
    } else {
      return Error::Failed("unknown key '" + where + "'");
    }
    if (failed) return failed;
  }
  return state;
}

namespace {

// One cell of the input table into the stream state of its row.
Error ReadInputCell(const std::string& column, const std::string& cell, const std::string& line,
                    StreamState& state) {
  std::string name;
  std::vector<std::size_t> idx;
  if (!SplitColumn(column, name, idx)) return Error::Failed("bad column name '" + column + "'");
  const std::string where = line + ", column " + column;
  if (name == "eosModel" && idx.empty()) {
    // The table's own words: its cells are not quoted JSON strings.
    if (Assign(state.eosModel, ParseEos(json(cell), where)))
      return Error::Failed(where + ": eosModel must be PR, SRK or other");
    return Error::Success();
  }
  double value = 0;
  if (text::ScanDouble(cell, value) != cell.size())
    return Error::Failed(where + ": '" + cell + "' is not a number");
  if (!std::isfinite(value))
    return Error::Failed(where + ": '" + cell + "' is not a finite number");
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
  if (!ok) return Error::Failed("unknown column '" + column + "'");
  return Error::Success();
}

// The rows after the header into `inputs`.
Error ReadInputRows(const std::vector<CsvRow>& rows, std::map<std::string, InputSeries>& inputs) {
  const CsvRow& header = rows[0];
  std::map<std::pair<std::string, long>, std::size_t> seen;  // -> its line
  for (std::size_t r = 1; r < rows.size(); ++r) {
    const CsvRow& row = rows[r];
    const std::string line = "line " + std::to_string(r + 1);
    if (row.size() != header.size())
      return Error::Failed(line + ": " + std::to_string(row.size()) + " fields, the header has " +
                           std::to_string(header.size()));
    char* end = nullptr;
    const long t = std::strtol(row[0].c_str(), &end, 10);
    if (row[0].empty() || *end != '\0' || t < 0 || t > 100000)
      return Error::Failed(line + ": timestep '" + row[0] + "' is not a whole number");
    if (row[1].empty()) return Error::Failed(line + ": no stream name");
    const auto [at, added] = seen.emplace(std::make_pair(row[1], t), r + 1);
    if (!added)
      return Error::Failed(line + ": timestep " + row[0] + " of " + row[1] +
                           " is given already on line " + std::to_string(at->second));
    StreamState& state = inputs[row[1]][static_cast<int>(t)];
    for (std::size_t c = 2; c < header.size(); ++c) {
      // An empty cell is not given: the host's missing value.
      if (row[c].empty()) continue;
      if (Error failed = ReadInputCell(header[c], row[c], line, state)) return failed;
    }
  }
  return Error::Success();
}

outcome::Expected<std::map<std::string, InputSeries>> ReadInputTable(const std::string& text) {
  // A byte-order mark, as spreadsheets write it in front of UTF-8.
  const bool mark = text.rfind("\xEF\xBB\xBF", 0) == 0;
  outcome::Expected<std::vector<CsvRow>> rows = ParseCsv(mark ? text.substr(3) : text);
  if (!rows) return rows.TakeError();
  if (rows->empty()) return Error::Failed("the input table is empty");
  const CsvRow& header = rows->front();
  if (header.size() < 2 || header[0] != "timestep" || header[1] != "stream")
    return Error::Failed("the input table must start with the columns timestep,stream");
  if (Error failed = CheckColumnsDiffer(header)) return failed;
  std::map<std::string, InputSeries> inputs;
  if (Error failed = ReadInputRows(*rows, inputs)) return failed;
  return inputs;
}

}  // namespace

outcome::Expected<std::map<std::string, InputSeries>> ParseInputCsv(const std::string& text) {
  outcome::Expected<std::map<std::string, InputSeries>> inputs = ReadInputTable(text);
  if (inputs) return inputs;
  return Error::Failed(OneLine(inputs.GetError().Message()));
}

namespace {

// The case, inline or as an archive.
Error ParseCase(const json& d, const std::filesystem::path& folder, Scenario& s) {
  if (d.contains("case") == d.contains("caseArchive"))
    return Error::Failed("give the case either inline ('case') or as an archive ('caseArchive')");
  if (d.contains("caseArchive"))
    return Assign(s.caseArchive, GetPath(d["caseArchive"], "caseArchive", folder));
  if (!d["case"].is_object()) return Error::Failed("'case' must be a JSON object");
  s.caseJson = d["case"];
  // The case's workbook, like every file the scenario names, is relative
  // to the scenario's folder, for a run and a check from any folder.
  if (const auto name = s.caseJson->find("fileName");
      name != s.caseJson->end() && name->is_string() && !name->get<std::string>().empty() &&
      std::filesystem::path(name->get<std::string>()).is_relative())
    *name = (folder / name->get<std::string>()).lexically_normal().string();
  return Error::Success();
}

// The published variables, as a model data file or inline.
Error ParsePublished(const json& d, const std::filesystem::path& folder, Scenario& s) {
  if (d.contains("modelDataFile") && d.contains("publishedVariables"))
    return Error::Failed(
        "give the published variables either as 'modelDataFile' or inline as "
        "'publishedVariables', not both");
  if (d.contains("modelDataFile")) {
    if (Error failed =
            Assign(s.modelDataFile, GetPath(d["modelDataFile"], "modelDataFile", folder)))
      return failed;
  }
  if (d.contains("publishedVariables")) {
    if (!d["publishedVariables"].is_array())
      return Error::Failed("'publishedVariables' must be a JSON array");
    s.publishedVariables = d["publishedVariables"];
  }
  return Error::Success();
}

// The inputs from the CSV file `name` names.
Error ReadInputFile(const json& name, const std::filesystem::path& folder, Scenario& s) {
  outcome::Expected<std::filesystem::path> path = GetPath(name, "inputs", folder);
  if (!path) return path.TakeError();
  outcome::Expected<std::string> text = ReadBoundedText(*path, kTextFileLimit);
  if (!text) return text.TakeError();
  outcome::Expected<std::map<std::string, InputSeries>> inputs = ParseInputCsv(*text);
  if (!inputs) return Error::Failed(path->string() + ": " + inputs.GetError().Message());
  s.inputs = std::move(*inputs);
  return Error::Success();
}

// The inputs, a CSV file's name or an object of streams.
Error ParseInputs(const json& inputs, const std::filesystem::path& folder, Scenario& s) {
  if (inputs.is_string()) return ReadInputFile(inputs, folder, s);
  if (!inputs.is_object())
    return Error::Failed("'inputs' must be an object of streams or the name of a CSV file");
  for (const auto& stream : inputs.items()) {
    const std::string where = "inputs." + stream.key();
    if (!stream.value().is_array() || stream.value().empty())
      return Error::Failed("'" + where + "' must be a non-empty array, one entry per timestep");
    InputSeries& series = s.inputs[stream.key()];
    for (std::size_t t = 0; t < stream.value().size(); ++t) {
      if (Error failed = Assign(series[static_cast<int>(t)],
                                ParseStreamState(stream.value()[t], Index(where, t))))
        return failed;
    }
  }
  return Error::Success();
}

// The scenario's parts in the order their errors are said.
Error ParseParts(const json& d, const std::filesystem::path& folder, Scenario& s) {
  if (Error failed =
          CheckKeys(d, "",
                    {"workbook", "case", "caseArchive", "modelDataFile", "publishedVariables",
                     "run", "inputs", "optimisation", "description"}))
    return failed;
  if (d.contains("description") && d["description"].is_string())
    s.description = d["description"].get<std::string>();
  if (d.contains("workbook")) {
    if (Error failed = Assign(s.workbook, GetPath(d["workbook"], "workbook", folder)))
      return failed;
  }
  if (Error failed = ParseCase(d, folder, s)) return failed;
  if (Error failed = ParsePublished(d, folder, s)) return failed;
  if (!d.contains("run")) return Error::Failed("the scenario has no 'run'");
  if (Error failed = ParseRun(d["run"], s)) return failed;
  if (d.contains("optimisation")) {
    if (Error failed = ParseOptimisation(d["optimisation"], s.optimisation)) return failed;
  }
  if (d.contains("inputs")) return ParseInputs(d["inputs"], folder, s);
  return Error::Success();
}

}  // namespace

outcome::Expected<Scenario> ParseScenario(const json& d, const std::filesystem::path& folder) {
  Scenario scenario;
  if (Error failed = ParseParts(d, folder, scenario)) return failed;
  return scenario;
}

outcome::Expected<Scenario> ParseScenarioText(const std::string& text,
                                              const std::filesystem::path& file) {
  outcome::Expected<json> document = ParseJsonText(text);
  outcome::Expected<Scenario> scenario =
      document ? ParseScenario(*document, file.parent_path()) : document.TakeError();
  if (!scenario)
    return Error::Failed(OneLine(file.string() + ": " + scenario.GetError().Message()));
  scenario->file = file;
  return scenario;
}

outcome::Expected<Scenario> LoadScenario(const std::filesystem::path& file) {
  outcome::Expected<std::string> text = ReadBoundedText(file, kTextFileLimit);
  if (!text) return text.TakeError();
  return ParseScenarioText(*text, file);
}

}  // namespace refhost
