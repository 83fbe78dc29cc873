// Many scenarios, one folder each: what each one ended with and the summary
// over all of them. `run-many` and `collect` both build the summary from the
// folders, so the two always agree.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "outcome/outcome.h"

namespace refhost {

// The files a scenario's folder holds besides the run's own outputs.
inline constexpr const char* kOutcomeFile = "outcome.json";  // written when the run ends
inline constexpr const char* kStdoutFile = "stdout.txt";
inline constexpr const char* kStderrFile = "stderr.txt";

struct ScenarioOutcome {
  std::string name;  // the folder's name
  std::filesystem::path folder;
  std::string file;  // the scenario file
  long index = -1;   // the position in the list it came from, for order
  std::optional<int> exitStatus;
  std::string message;  // why it failed (empty when it passed)
  std::optional<double> wallSeconds;
  int timesteps = 0;  // timesteps the run completed
  std::optional<double> objective;
  // What sets this scenario apart from the others of its sweep, by key
  // path; the same paths in every outcome of one summary.
  std::vector<std::pair<std::string, nlohmann::json>> varied;

  // Only when its own run said so: exit status 0 and nothing found wrong
  // with what it left (its summary names another scenario or a failure).
  bool passed() const { return exitStatus && *exitStatus == 0 && message.empty(); }
};

// What outcome.json says, as run-many or a cluster job writes it.
struct OutcomeRecord {
  std::string scenario;
  long index = -1;
  std::optional<int> exitStatus;
  std::optional<double> wallSeconds;
  std::string message;  // set when the run was never started
};

outcome::Error WriteOutcomeRecord(const std::filesystem::path& folder, const OutcomeRecord& record);

// One scenario's folder read back. False only when `folder` holds nothing a
// run leaves behind.
bool ReadOutcome(const std::filesystem::path& folder, ScenarioOutcome& outcome);

// The scenario folders of each of `folders` (a folder that is one itself,
// or the ones inside it), in their list order; an error when one holds none.
outcome::Expected<std::vector<ScenarioOutcome>> CollectOutcomes(
    const std::vector<std::filesystem::path>& folders);

std::string SummaryCsv(const std::vector<ScenarioOutcome>& outcomes);
nlohmann::json SummaryJson(const std::vector<ScenarioOutcome>& outcomes);
// summary.csv and summary.json into `folder`.
outcome::Error WriteSummary(const std::vector<ScenarioOutcome>& outcomes,
                            const std::filesystem::path& folder);

// "ok      north-2   12.3 s  3 timesteps", or the failure and its message.
std::string OutcomeLine(const ScenarioOutcome& outcome, std::size_t nameWidth = 0);
// "8 scenarios: 7 passed, 1 failed".
std::string TotalsLine(const std::vector<ScenarioOutcome>& outcomes);

// A folder name per scenario file, unique in the list: the file's stem, with
// its folder's name before it where stems repeat, and a number after that.
std::vector<std::string> ScenarioNames(const std::vector<std::filesystem::path>& files);

// How many runs fit at once: the cores this process may use, fewer when the
// available memory holds fewer offices; at least one.
int DefaultJobs();
// The same from the numbers (memory in bytes, 0 when unknown).
int JobsFor(int cores, unsigned long long availableMemory);

}  // namespace refhost
