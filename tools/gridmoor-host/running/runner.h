// The run's steps, shared by the checks before it (run_checks.cpp) and the
// run itself (run.cpp): one Runner per scenario, and how a step fails.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "common/interrupt.h"
#include "outcome/outcome.h"
#include "running/progress.h"
#include "running/progress_events.h"
#include "running/run.h"

namespace refhost {

// Why a step stopped the run: an outcome::Error, whose message is the run's
// failure text, with the request the library refused and the signal that
// asked the run to stop. Looked at like an Error: one that goes untested
// aborts in builds with assertions.
class [[nodiscard]] StepFailure {
 public:
  // An empty slot for a failure to come.
  StepFailure() = default;
  // The host's own finding, or a failure from below the runner (a file, the
  // case): the message alone.
  StepFailure(outcome::Error error) : error_(std::move(error)) {}
  // The step went well: to be looked at like a failure.
  static StepFailure None() { return StepFailure(outcome::Error::Success()); }
  static StepFailure Failed(std::string message) {
    return StepFailure(outcome::Error::Failed(std::move(message)));
  }
  // A request the library refused: `command` names it ("GetIPR",
  // "ExtStartApp"), `code` is its command code (0 for an export function).
  static StepFailure Refused(std::string message, std::string command, int code) {
    StepFailure refused = Failed(std::move(message));
    refused.command_ = std::move(command);
    refused.code_ = code;
    return refused;
  }
  // A signal asked the run to stop.
  static StepFailure Interrupted(int signal) {
    StepFailure stop = Failed("interrupted by " + SignalName(signal));
    stop.signal_ = signal;
    return stop;
  }

  explicit operator bool() const { return static_cast<bool>(error_); }
  const std::string& Message() const { return error_.Message(); }
  const std::string& Command() const { return command_; }
  int Code() const { return code_; }
  int Signal() const { return signal_; }

 private:
  outcome::Error error_;
  std::string command_;
  int code_ = 0;
  int signal_ = 0;
};

// Interrupted when a signal asked the run to stop.
StepFailure StopWhenAsked();

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

  StepFailure Run();
  void Cleanup();
  // One note per output field whose cell was empty at some solve.
  void NoteEmptyOutputs();
  int timestep = -1;
  // An event for a program reading --progress json, when it is.
  void Event(const std::string& name, nlohmann::json fields) const {
    if (options_.events != nullptr) options_.events->Emit(name, std::move(fields));
  }

 private:
  // One request; what its result means in `answer` when it is not refused.
  StepFailure Require(std::int32_t code, void* arg, std::int32_t iarg, Outcome& answer,
                      const std::string& what = "");
  StepFailure Require(std::int32_t code, void* arg, std::int32_t iarg,
                      const std::string& what = "");
  StepFailure Prepare();
  StepFailure IdentifyDriver();
  StepFailure CheckedCase(std::vector<std::uint8_t>& archive);
  StepFailure PrepareModelData();
  StepFailure SendCase(const std::vector<std::uint8_t>& archive);
  StepFailure OpenWorkbook();
  StepFailure LearnStreams();
  StepFailure LearnComponents(StreamInfo& stream);
  StepFailure CheckInputs();
  StepFailure LearnProblem();
  StepFailure RunTimesteps();
  StepFailure Solve(int t, std::vector<StreamState>& outputs);
  StepFailure Timestep(int t, double date);
  StepFailure SolveOnce(int t, double date, TimestepResult& result);
  void NoteNextEvent(int t, double date, TimestepResult& result);
  StepFailure SaveAndClose();
  StepFailure StartingPoint(TrialPoint& start);
  StepFailure Optimise(int t, double date, TimestepResult& result);
  StepFailure SolveOptimum(int t, double date, TimestepResult& result);
  StepFailure ReadObjective(Evaluation& value);
  StepFailure SetPoint(const TrialPoint& point);
  StepFailure Published(int t, double date);
  StepFailure PublishedValue(std::int32_t handle, PublishedSample& sample);
  void RecordSolve(int t, double date, const std::vector<StreamState>& outputs);
  StepFailure CheckCase(const std::vector<std::uint8_t>& archive);
  void CheckModelData();
  StepFailure SheetExists(const std::string& sheet, bool& exists);
  StepFailure FindMissingSheets();
  StepFailure NoteAddedSheets();
  StepFailure CheckSaveKeepsSheets();
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
  // Milliseconds from the program's start to the first input written into
  // the workbook, until the next timestep event tells it.
  std::optional<double> firstInputMs_;
  bool firstInputTold_ = false;
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
