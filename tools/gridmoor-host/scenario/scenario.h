// A scenario: what one run of a production model needs besides the
// workbook's own formulas. JSON, documented in docs/scenario.md; every key
// is checked, and an unknown one is an error naming its path.
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "outcome/outcome.h"
#include "scenario/records.h"

namespace refhost {

enum class Method { kAuto, kCobyla, kBobyqa };

struct OptimisationSettings {
  bool enabled = true;
  Method method = Method::kAuto;
  double relativeTolerance = 1e-6;  // on the controls
  double objectiveTolerance = 0;    // relative, on the objective; 0: unused
  int maxIterations = 200;          // evaluations per continuous search
  long maxIntegerCombinations = 64;
};

// The host values of one input stream: entry t applies from timestep t on,
// until a later entry replaces it.
using InputSeries = std::map<int, StreamState>;

struct Scenario {
  std::filesystem::path file;  // the scenario itself
  std::string description;     // the scenario's own words about itself
  std::optional<std::filesystem::path> workbook;
  std::optional<nlohmann::json> caseJson;
  std::optional<std::filesystem::path> caseArchive;
  std::optional<std::filesystem::path> modelDataFile;
  std::optional<nlohmann::json> publishedVariables;
  double startDate = 0;  // OLE date
  int timesteps = 1;
  double stepDays = 1;
  std::map<std::string, InputSeries> inputs;  // by stream name ("In-1")
  OptimisationSettings optimisation;
};

// Reads and checks a scenario file; relative paths in it are taken from
// the scenario's folder. The error says what and where.
outcome::Expected<Scenario> LoadScenario(const std::filesystem::path& file);

// The same from the file's text (`file` names it in errors).
outcome::Expected<Scenario> ParseScenarioText(const std::string& text,
                                              const std::filesystem::path& file);

// The same from an already parsed document (`folder` resolves paths).
outcome::Expected<Scenario> ParseScenario(const nlohmann::json& document,
                                          const std::filesystem::path& folder);

// The values of one input stream at timestep t, or null when the series has
// none at or before t.
const StreamState* InputAt(const InputSeries& series, int timestep);

// Reads one input-stream entry (an object of field names).
outcome::Expected<StreamState> ParseStreamState(const nlohmann::json& entry,
                                                const std::string& path);

// Reads an input table from CSV text: columns timestep, stream, then field
// names (moleFractions[i], criticalPressure[i], interaction[i][j], ...).
// Every value must be a finite number; a stream's timestep comes once.
outcome::Expected<std::map<std::string, InputSeries>> ParseInputCsv(const std::string& text);

}  // namespace refhost
