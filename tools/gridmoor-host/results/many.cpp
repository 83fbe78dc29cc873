#include "results/many.h"

#include <sched.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <map>
#include <set>
#include <system_error>

#include "common/csv.h"
#include "common/files.h"

namespace refhost {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;

// What one run takes besides its share of a core: the office (a few hundred
// megabytes with a workbook open) and this program with the library.
constexpr unsigned long long kMemoryPerRun = 768ull << 20;

// The JSON document in `file`; none when it cannot be read or parsed, which
// the callers say in their own words ("no readable summary.json").
std::optional<json> ReadJsonFile(const fs::path& file) {
  const outcome::Expected<std::string> text = ReadBoundedText(file, kTextFileLimit);
  if (!text) return std::nullopt;
  outcome::Expected<json> document = ParseJsonText(*text);
  if (!document) return std::nullopt;
  return std::move(*document);
}

// What a failed run said last about why: its own "gridmoor-host: " line, else
// the last line it wrote at all.
std::string LastWords(const fs::path& stderrFile) {
  const outcome::Expected<std::string> read = ReadBoundedText(stderrFile, kTextFileLimit);
  if (!read) return "";  // nothing to quote: the exit status speaks instead
  const std::string& text = *read;
  std::string own, last;
  std::size_t begin = 0;
  while (begin < text.size()) {
    std::size_t end = text.find('\n', begin);
    if (end == std::string::npos) end = text.size();
    const std::string line = text.substr(begin, end - begin);
    if (line.rfind("gridmoor-host: ", 0) == 0) own = line.substr(15);
    if (line.find_first_not_of(" \t\r") != std::string::npos) last = line;
    begin = end + 1;
  }
  return OneLine(own.empty() ? last : own);
}

std::string StatusWords(int status) {
  if (status > 128 && status < 128 + 65) {
    static const std::map<int, const char*> kNames = {{1, "SIGHUP"},   {2, "SIGINT"},
                                                      {6, "SIGABRT"},  {9, "SIGKILL"},
                                                      {11, "SIGSEGV"}, {15, "SIGTERM"}};
    const auto found = kNames.find(status - 128);
    return "ended by " + (found != kNames.end() ? std::string(found->second)
                                                : "signal " + std::to_string(status - 128));
  }
  return "exited with status " + std::to_string(status);
}

bool IsScenarioFolder(const fs::path& folder) {
  std::error_code ec;
  for (const char* name : {kOutcomeFile, kStderrFile})
    if (fs::is_regular_file(folder / name, ec)) return true;
  return false;
}

json Optional(const std::optional<double>& value) {
  return value ? json(*value) : json(nullptr);
}

// Whether two paths may name one file: false only when both are there and
// are different files (a cluster job may record a path relative to where it
// ran, which cannot be told from here).
bool MaybeSameFile(const fs::path& a, const fs::path& b) {
  std::error_code error;
  const bool same = fs::equivalent(a, b, error);
  return error || same;
}

json VariedObject(const ScenarioOutcome& o) {
  json varied = json::object();
  for (const auto& [path, value] : o.varied)
    varied[path] = value;
  return varied;
}

// A varied value as a CSV field: numbers as numbers, text as it is.
std::string CsvField(const json& value) {
  if (value.is_null()) return "";
  if (value.is_number()) return FormatNumber(value.get<double>());
  if (value.is_string()) return value.get<std::string>();
  return value.dump();
}

}  // namespace

outcome::Error WriteOutcomeRecord(const fs::path& folder, const OutcomeRecord& record) {
  json out = {{"scenario", record.scenario},
              {"index", record.index},
              {"exitStatus", record.exitStatus ? json(*record.exitStatus) : json(nullptr)},
              {"wallSeconds", Optional(record.wallSeconds)}};
  if (!record.message.empty()) out["message"] = record.message;
  return WriteText(folder / kOutcomeFile, out.dump(2) + "\n");
}

bool ReadOutcome(const fs::path& folder, ScenarioOutcome& outcome) {
  if (!IsScenarioFolder(folder)) return false;
  outcome = ScenarioOutcome{};
  outcome.name = folder.filename().string();
  outcome.folder = folder;
  json record = ReadJsonFile(folder / kOutcomeFile).value_or(json());
  const bool recorded = record.is_object();
  if (recorded) {
    if (record.contains("scenario") && record["scenario"].is_string())
      outcome.file = record["scenario"].get<std::string>();
    if (record.contains("index") && record["index"].is_number_integer())
      outcome.index = record["index"].get<long>();
    if (record.contains("exitStatus") && record["exitStatus"].is_number_integer())
      outcome.exitStatus = record["exitStatus"].get<int>();
    if (record.contains("wallSeconds") && record["wallSeconds"].is_number())
      outcome.wallSeconds = record["wallSeconds"].get<double>();
    if (record.contains("message") && record["message"].is_string())
      outcome.message = record["message"].get<std::string>();
  }
  json summary = ReadJsonFile(folder / "summary.json").value_or(json());
  const bool summarised = summary.is_object();
  if (outcome.passed()) {
    // A folder another run wrote into, or a run that ended well without
    // its summary, is not a pass.
    std::string why;
    if (!summarised) {
      why = "exit status 0 but no readable summary.json";
    } else if (!summary.contains("status") || summary["status"] != "ok") {
      why = "exit status 0 but summary.json says status " +
            (summary.contains("status") ? summary["status"].dump() : std::string("nothing"));
    } else if (!outcome.file.empty() && summary.contains("scenario") &&
               summary["scenario"].is_string() &&
               !MaybeSameFile(summary["scenario"].get<std::string>(), outcome.file)) {
      why = "exit status 0 but summary.json is of another scenario, " +
            summary["scenario"].get<std::string>();
    }
    outcome.message = why;
  }
  if (summarised && summary.contains("timesteps") && summary["timesteps"].is_array()) {
    const json& steps = summary["timesteps"];
    outcome.timesteps = static_cast<int>(steps.size());
    if (!steps.empty() && steps.back().contains("optimum") &&
        steps.back()["optimum"]["objective"].is_number())
      outcome.objective = steps.back()["optimum"]["objective"].get<double>();
  }
  if (!outcome.message.empty() || outcome.passed()) return true;
  if (!recorded) {
    outcome.message = "no " + std::string(kOutcomeFile) +
                      ": the run is still going, or ended before it could record its status";
    return true;
  }
  outcome.message = LastWords(folder / kStderrFile);
  if (outcome.message.empty())
    outcome.message =
        outcome.exitStatus ? StatusWords(*outcome.exitStatus) : std::string("no exit status");
  return true;
}

outcome::Expected<std::vector<ScenarioOutcome>> CollectOutcomes(
    const std::vector<fs::path>& folders) {
  std::vector<ScenarioOutcome> outcomes;
  for (const fs::path& folder : folders) {
    std::error_code ec;
    if (!fs::is_directory(folder, ec))
      return outcome::Error::Failed("not a folder: " + folder.string());
    std::vector<ScenarioOutcome> found;
    ScenarioOutcome outcome;
    if (ReadOutcome(folder, outcome)) {
      found.push_back(outcome);
    } else {
      std::vector<fs::path> inside;
      for (const fs::directory_entry& entry : fs::directory_iterator(folder, ec))
        if (entry.is_directory(ec)) inside.push_back(entry.path());
      std::sort(inside.begin(), inside.end());
      for (const fs::path& path : inside)
        if (ReadOutcome(path, outcome)) found.push_back(outcome);
    }
    if (found.empty()) return outcome::Error::Failed("no scenario folders in " + folder.string());
    // List order where it is known; folders without one after, by name.
    std::stable_sort(found.begin(), found.end(),
                     [](const ScenarioOutcome& a, const ScenarioOutcome& b) {
                       return (a.index < 0 ? 1 : 0) < (b.index < 0 ? 1 : 0) ||
                              ((a.index < 0) == (b.index < 0) && a.index < b.index);
                     });
    outcomes.insert(outcomes.end(), found.begin(), found.end());
  }
  return outcomes;
}

std::string SummaryCsv(const std::vector<ScenarioOutcome>& outcomes) {
  // The varied values after the fixed columns, so that readers of those
  // keep working.
  CsvRow header{"scenario", "exitStatus", "message", "wallSeconds", "timesteps", "objective"};
  if (!outcomes.empty())
    for (const auto& [path, value] : outcomes.front().varied)
      header.push_back(path);
  std::string text = CsvLine(header);
  for (const ScenarioOutcome& o : outcomes) {
    CsvRow row{o.name,
               o.exitStatus ? std::to_string(*o.exitStatus) : "",
               o.message,
               o.wallSeconds ? FormatNumber(*o.wallSeconds) : "",
               std::to_string(o.timesteps),
               o.objective ? FormatNumber(*o.objective) : ""};
    for (const auto& [path, value] : o.varied)
      row.push_back(CsvField(value));
    text += CsvLine(row);
  }
  return text;
}

json SummaryJson(const std::vector<ScenarioOutcome>& outcomes) {
  json list = json::array();
  long passed = 0;
  for (const ScenarioOutcome& o : outcomes) {
    passed += o.passed() ? 1 : 0;
    list.push_back({{"scenario", o.name},
                    {"file", o.file},
                    {"exitStatus", o.exitStatus ? json(*o.exitStatus) : json(nullptr)},
                    {"passed", o.passed()},
                    {"message", o.message},
                    {"wallSeconds", Optional(o.wallSeconds)},
                    {"timesteps", o.timesteps},
                    {"objective", Optional(o.objective)},
                    {"varied", VariedObject(o)}});
  }
  return {{"total", outcomes.size()},
          {"passed", passed},
          {"failed", static_cast<long>(outcomes.size()) - passed},
          {"scenarios", list}};
}

outcome::Error WriteSummary(const std::vector<ScenarioOutcome>& outcomes, const fs::path& folder) {
  if (outcome::Error unwritten = WriteText(folder / "summary.csv", SummaryCsv(outcomes)))
    return unwritten;
  return WriteText(folder / "summary.json", SummaryJson(outcomes).dump(2) + "\n");
}

std::string OutcomeLine(const ScenarioOutcome& o, std::size_t nameWidth) {
  char time[32] = "          ";  // as wide as a time
  if (o.wallSeconds) std::snprintf(time, sizeof time, "%8.1f s", *o.wallSeconds);
  std::string name = o.name;
  if (name.size() < nameWidth) name.resize(nameWidth, ' ');
  char timesteps[32];
  std::snprintf(timesteps, sizeof timesteps, "%4d %-9s", o.timesteps,
                o.timesteps == 1 ? "timestep" : "timesteps");
  std::string line = (o.passed() ? "ok      " : "failed  ") + name + "  " + time + "  " + timesteps;
  if (o.objective) line += "  objective " + ReadableNumber(*o.objective);
  if (!o.passed()) {
    line += o.exitStatus ? "  exit status " + std::to_string(*o.exitStatus) : std::string();
    if (!o.message.empty()) line += ": " + o.message;
  }
  line.erase(line.find_last_not_of(' ') + 1);
  return line;
}

std::string TotalsLine(const std::vector<ScenarioOutcome>& outcomes) {
  const auto passed = std::count_if(outcomes.begin(), outcomes.end(),
                                    [](const ScenarioOutcome& o) { return o.passed(); });
  return std::to_string(outcomes.size()) + (outcomes.size() == 1 ? " scenario: " : " scenarios: ") +
         std::to_string(passed) + " passed, " + std::to_string(outcomes.size() - passed) +
         " failed";
}

std::vector<std::string> ScenarioNames(const std::vector<fs::path>& files) {
  const auto stem = [](const fs::path& file) {
    const std::string s = file.stem().string();
    return s.empty() || s == "." || s == ".." ? std::string("scenario") : s;
  };
  std::map<std::string, int> stems;
  for (const fs::path& file : files)
    ++stems[stem(file)];
  // Every name is checked against all taken so far, numbered ones too: a
  // stem may itself look like a numbered name ("d-a-2").
  std::set<std::string> taken;
  std::vector<std::string> names;
  for (const fs::path& file : files) {
    std::string base = stem(file);
    if (stems[base] > 1) {
      const std::string parent = fs::absolute(file).parent_path().filename().string();
      if (!parent.empty() && parent != "/") base = parent + "-" + base;
    }
    std::string name = base;
    for (int n = 2; taken.count(name) > 0; ++n)
      name = base + "-" + std::to_string(n);
    taken.insert(name);
    names.push_back(name);
  }
  return names;
}

int JobsFor(int cores, unsigned long long availableMemory) {
  int jobs = std::max(cores, 1);
  if (availableMemory > 0)
    jobs = std::min<long long>(jobs, static_cast<long long>(availableMemory / kMemoryPerRun));
  return std::max(jobs, 1);
}

int DefaultJobs() {
  cpu_set_t set;
  CPU_ZERO(&set);
  const int cores = sched_getaffinity(0, sizeof set, &set) == 0 ? CPU_COUNT(&set) : 1;
  unsigned long long available = 0;
  std::ifstream meminfo("/proc/meminfo");
  std::string key;
  unsigned long long kilobytes = 0;
  while (meminfo >> key >> kilobytes) {
    if (key == "MemAvailable:") available = kilobytes * 1024;
    meminfo.ignore(64, '\n');
  }
  return JobsFor(cores, available);
}

}  // namespace refhost
