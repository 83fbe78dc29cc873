// The run's steps, shared by the checks before it (run_checks.cpp) and the
// run itself (run.cpp): one Runner per scenario, and how a step fails.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <set>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "common/interrupt.h"
#include "running/progress.h"
#include "running/run.h"

namespace refhost {

// A request that failed: the run stops here.
struct HostFailure : std::runtime_error {
  HostFailure(std::string message, std::string command, int code)
      : std::runtime_error(std::move(message)), command(std::move(command)), code(code) {}
  std::string command;
  int code;
};

// A signal asked the run to stop.
struct Interrupted : HostFailure {
  explicit Interrupted(int signal)
      : HostFailure("interrupted by " + SignalName(signal), "", 0), signal(signal) {}
  int signal;
};

// Stops the run with `message`.
[[noreturn]] void Fail(const std::string& message);

// Throws Interrupted when a signal asked the run to stop.
void StopWhenAsked();

// The record fields an output stream's property cells fill, in the order of
// its "propertyCells", with the words a note uses for them.
struct OutputField {
  const char* words;
  std::size_t offset;
};
constexpr OutputField kOutputFields[] = {
    {"oil rate", EXT_IPR_OIL_RATE_OFFSET},           {"water rate", EXT_IPR_WATER_RATE_OFFSET},
    {"gas rate", EXT_IPR_GAS_RATE_OFFSET},           {"pressure", EXT_IPR_PRESSURE_OFFSET},
    {"temperature", EXT_IPR_TEMPERATURE_OFFSET},     {"oil gravity", EXT_IPR_OIL_GRAVITY_OFFSET},
    {"water gravity", EXT_IPR_WATER_GRAVITY_OFFSET}, {"gas gravity", EXT_IPR_GAS_GRAVITY_OFFSET}};

class Runner {
 public:
  Runner(Library& library, const Scenario& scenario, const RunOptions& options, RunRecord& record)
      : lib_(library),
        scenario_(scenario),
        options_(options),
        rec_(record),
        progress_(options.progress, scenario.timesteps) {}

  void Run();
  void Cleanup();
  // One note per output field whose cell was empty at some solve.
  void NoteEmptyOutputs();
  int timestep = -1;

 private:
  Reply Require(std::int32_t code, void* arg, std::int32_t iarg, const std::string& what = "");
  void Prepare();
  void IdentifyDriver();
  std::vector<std::uint8_t> CheckedCase();
  void PrepareModelData();
  void SendCase(const std::vector<std::uint8_t>& archive);
  void OpenWorkbook();
  void LearnStreams();
  void CheckInputs();
  void LearnProblem();
  std::vector<StreamState> Solve(int t);
  void Timestep(int t, double date);
  void NoteNextEvent(int t, double date, TimestepResult& result);
  void SaveAndClose();
  void Optimise(int t, double date, TimestepResult& result);
  Evaluation ReadObjective();
  void SetPoint(const TrialPoint& point);
  void Published(int t, double date);
  void RecordSolve(int t, double date, const std::vector<StreamState>& outputs);
  void CheckCase(const std::vector<std::uint8_t>& archive);
  void CheckModelData();
  bool SheetExists(const std::string& sheet);
  void FindMissingSheets();
  void NoteAddedSheets();
  void CheckSaveKeepsSheets();
  std::string Where(const std::string& name) const;

  Library& lib_;
  const Scenario& scenario_;
  const RunOptions& options_;
  RunRecord& rec_;
  Progress progress_;
  std::string modelDataPath_;                  // SetModelDataFile keeps the pointer, not a copy
  std::vector<std::size_t> inputs_, outputs_;  // indexes into rec_.streams
  bool runStarted_ = false, runEnded_ = false, appStarted_ = false;
  int solvesThisStep_ = 0;
  nlohmann::json case_;                        // the case as the driver reads it
  std::map<std::string, std::string> places_;  // stream or variable name -> Place()
  std::vector<std::pair<std::string, std::string>> missingSheets_;  // stream, sheet
  bool addedSheets_ = false;  // the driver added a sheet the workbook lacked
  // A bound output cell and the timesteps at which it was empty: the driver
  // leaves such a value missing, which the run's table alone does not say.
  struct BoundOutput {
    const OutputField* field;
    std::string cell;  // "Outputs!B4"
    std::set<int> emptyAt;
  };
  std::map<std::string, std::vector<BoundOutput>> boundOutputs_;  // by output stream name
};

}  // namespace refhost
