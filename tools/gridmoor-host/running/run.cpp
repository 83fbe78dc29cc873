#include "running/run.h"

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <utility>

#include "archive/archive_error.h"
#include "archive/json/case_json.h"
#include "archive/records/model_data_file.h"
#include "case/case_check.h"
#include "common/csv.h"
#include "common/files.h"
#include "common/interrupt.h"
#include "running/progress.h"
#include "running/progress_events.h"
#include "running/runner.h"

namespace refhost {

StepFailure StopWhenAsked() {
  const int signal = InterruptSignal();
  if (signal == 0) return StepFailure::None();
  InterruptTaken();
  return StepFailure::Interrupted(signal);
}

namespace {

// "0-2, 5": timesteps as runs.
std::string TimestepRuns(const std::set<int>& steps) {
  std::string text;
  for (auto at = steps.begin(); at != steps.end();) {
    const int first = *at;
    int last = first;
    while (++at != steps.end() && *at == last + 1)
      ++last;
    if (!text.empty()) text += ", ";
    text += std::to_string(first);
    if (last > first) text.append("-").append(std::to_string(last));
  }
  return text;
}

}  // namespace

std::string Runner::Where(const std::string& name) const {
  const auto found = places_.find(name);
  return found != places_.end() ? name + found->second : name;
}

StepFailure Runner::Require(std::int32_t code, void* arg, std::int32_t iarg, Outcome& answer,
                            const std::string& what) {
  if (StepFailure stop = StopWhenAsked()) return stop;
  const Reply reply = lib_.Call(code, arg, iarg);
  answer = reply.outcome;
  if (reply.ok()) return StepFailure::None();
  std::string message = std::string("the driver was asked to ") + CommandPurpose(code);
  if (!what.empty()) message += " " + Where(what);
  message += reply.text.empty() ? " and refused without a word" : " and said: " + reply.text;
  return StepFailure::Refused(message, CommandName(code), code);
}

StepFailure Runner::Require(std::int32_t code, void* arg, std::int32_t iarg,
                            const std::string& what) {
  Outcome answer = Outcome::kOk;
  return Require(code, arg, iarg, answer, what);
}

StepFailure Runner::Solve(int t, std::vector<StreamState>& outputs) {
  ++solvesThisStep_;
  if (StepFailure failed = Require(EXT_CMD_PRE_SOLVE, nullptr, 0)) return failed;
  rec_.sent.clear();
  for (std::size_t i : inputs_) {
    const StreamInfo& stream = rec_.streams[i];
    const StreamState* state = InputAt(scenario_.inputs.at(stream.name), t);
    Record record = EncodeIpr(stream.handle, *state, stream.components.size());
    if (StepFailure failed = Require(EXT_CMD_SET_IPR, record.data(), 0, stream.name)) return failed;
    if (!firstInputMs_) firstInputMs_ = MillisecondsSinceStart();
    rec_.sent.push_back({t, 0, i, SentInput(*state)});
  }
  outputs.clear();
  for (std::size_t i : outputs_) {
    Record record = NewIprRecord(rec_.streams[i].handle);
    if (StepFailure failed = Require(EXT_CMD_GET_IPR, record.data(), 0, rec_.streams[i].name))
      return failed;
    if (const auto bound = boundOutputs_.find(rec_.streams[i].name); bound != boundOutputs_.end()) {
      for (BoundOutput& output : bound->second)
        if (IsUndefined(record.Get<double>(output.field->offset))) output.emptyAt.insert(t);
    }
    outputs.push_back(DecodeIpr(record));
  }
  if (StepFailure failed = Require(EXT_CMD_POST_SOLVE_2, nullptr, 0)) return failed;
  return Require(EXT_CMD_POST_SOLVE, nullptr, 0);
}

void Runner::RecordSolve(int t, double date, const std::vector<StreamState>& outputs) {
  for (std::size_t i : inputs_)
    rec_.streamSamples.push_back(
        {t, date, i, SentInput(*InputAt(scenario_.inputs.at(rec_.streams[i].name), t))});
  for (std::size_t k = 0; k < outputs_.size(); ++k)
    rec_.streamSamples.push_back({t, date, outputs_[k], outputs[k]});
}

StepFailure Runner::ReadObjective(Evaluation& value) {
  value = Evaluation{};
  Record record(EXT_OPT_VALUE_RECORD_MIN_SIZE);
  if (StepFailure failed =
          Require(EXT_CMD_GET_OBJECTIVE_FUNCTION, record.data(), 0, rec_.problem.objectiveName))
    return failed;
  value.objective = record.Get<double>(EXT_OPT_VALUE_VALUE_OFFSET);
  for (const ConstraintInfo& c : rec_.problem.constraints) {
    Record r(EXT_OPT_VALUE_RECORD_MIN_SIZE);
    r.Put<std::int32_t>(EXT_OPT_VALUE_HANDLE_OFFSET, c.handle);
    if (StepFailure failed = Require(EXT_CMD_GET_CONSTRAINTS, r.data(), 0, c.name)) return failed;
    value.constraints.push_back(r.Get<double>(EXT_OPT_VALUE_VALUE_OFFSET));
  }
  return StepFailure::None();
}

StepFailure Runner::SetPoint(const TrialPoint& point) {
  for (std::size_t i = 0; i < rec_.problem.controls.size(); ++i) {
    Record r(EXT_OPT_VALUE_RECORD_MIN_SIZE);
    r.Put<std::int32_t>(EXT_OPT_VALUE_HANDLE_OFFSET, rec_.problem.controls[i].handle);
    r.Put<double>(EXT_OPT_VALUE_VALUE_OFFSET, point.controls[i]);
    if (StepFailure failed =
            Require(EXT_CMD_SET_CONTROLS, r.data(), 0, rec_.problem.controls[i].name))
      return failed;
  }
  for (std::size_t i = 0; i < rec_.problem.intControls.size(); ++i) {
    Record r(EXT_OPT_VALUE_RECORD_MIN_SIZE);
    r.Put<std::int32_t>(EXT_OPT_VALUE_HANDLE_OFFSET, rec_.problem.intControls[i].handle);
    r.Put<double>(EXT_OPT_VALUE_VALUE_OFFSET, point.states[i]);
    if (StepFailure failed =
            Require(EXT_CMD_SET_CONTROLS, r.data(), 1, rec_.problem.intControls[i].name))
      return failed;
  }
  return StepFailure::None();
}

// Where the workbook stands: the search starts there.
StepFailure Runner::StartingPoint(TrialPoint& start) {
  for (const ControlInfo& c : rec_.problem.controls) {
    Record r(EXT_OPT_VALUE_RECORD_MIN_SIZE);
    r.Put<std::int32_t>(EXT_OPT_VALUE_HANDLE_OFFSET, c.handle);
    if (StepFailure failed = Require(EXT_CMD_GET_CONTROLS, r.data(), 0, c.name)) return failed;
    double value = r.Get<double>(EXT_OPT_VALUE_VALUE_OFFSET);
    if (IsUndefined(value) || std::isnan(value)) value = c.lower.present ? c.lower.value : 0.0;
    start.controls.push_back(value);
  }
  for (const IntControlInfo& c : rec_.problem.intControls) {
    Record r(EXT_OPT_VALUE_RECORD_MIN_SIZE);
    r.Put<std::int32_t>(EXT_OPT_VALUE_HANDLE_OFFSET, c.handle);
    if (StepFailure failed = Require(EXT_CMD_GET_CONTROLS, r.data(), 1, c.name)) return failed;
    const double state = r.Get<double>(EXT_OPT_VALUE_VALUE_OFFSET);
    start.states.push_back(
        state >= 0 && state < static_cast<double>(c.labels.size()) ? static_cast<int>(state) : 0);
  }
  return StepFailure::None();
}

StepFailure Runner::Optimise(int t, double date, TimestepResult& result) {
  TrialPoint start;
  if (StepFailure failed = StartingPoint(start)) return failed;
  double trialSeconds = 0;
  // A failed trial's own failure, which names the request that failed: the
  // optimiser hands back its message alone.
  StepFailure stopped;
  const Evaluator evaluate = [&](const TrialPoint& point) -> outcome::Expected<Evaluation> {
    const auto started = std::chrono::steady_clock::now();
    std::vector<StreamState> outputs;
    Evaluation value;
    StepFailure failed = SetPoint(point);
    if (!failed) failed = Solve(t, outputs);
    if (!failed) failed = ReadObjective(value);
    if (failed) {
      stopped = std::move(failed);
      return outcome::Error::Failed(stopped.Message());
    }
    trialSeconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    return value;
  };
  const TrialSink sink = [&](const Trial& trial) {
    rec_.trials.push_back({t, date, trial, false, trialSeconds});
    progress_.Trial(t, trial.number);
    Event("trial", {{"t", t}, {"count", trial.number}});
  };
  outcome::Expected<OptimumResult> optimum =
      refhost::Optimise(rec_.problem, scenario_.optimisation, start, evaluate, sink);
  if (!optimum) return stopped ? std::move(stopped) : StepFailure(optimum.TakeError());
  result.optimum = std::move(*optimum);
  result.optimised = true;
  if (!result.optimum.note.empty())
    rec_.notes.push_back("timestep " + std::to_string(t) + ": " + result.optimum.note);
  return SolveOptimum(t, date, result);
}

// The best point once more, so the workbook and the streams show it.
StepFailure Runner::SolveOptimum(int t, double date, TimestepResult& result) {
  if (StepFailure failed = SetPoint(result.optimum.point)) return failed;
  std::vector<StreamState> outputs;
  if (StepFailure failed = Solve(t, outputs)) return failed;
  Trial final;
  final.point = result.optimum.point;
  if (StepFailure failed = ReadObjective(final.value)) return failed;
  final.feasible = Violation(rec_.problem, final.value) == 0;
  final.number = result.optimum.evaluations + 1;
  rec_.trials.push_back({t, date, final, true});
  result.optimum.value = final.value;
  result.optimum.feasible = final.feasible;
  RecordSolve(t, date, outputs);
  return StepFailure::None();
}

// The value of published variable `handle`, as text or as a block.
StepFailure Runner::PublishedValue(std::int32_t handle, PublishedSample& sample) {
  Record get(EXT_PUBVAR_RECORD_MIN_SIZE);
  get.Put<std::int32_t>(EXT_PUBVAR_HANDLE_OFFSET, handle);
  get.Put<std::uint8_t>(EXT_PUBVAR_FLAG_OFFSET, 0);
  Outcome evaluated = Outcome::kOk;
  if (StepFailure failed =
          Require(EXT_CMD_EVAL_PUBLISHED_VARIABLES, get.data(), 0, evaluated, sample.name))
    return failed;
  if (evaluated != Outcome::kBlock) {
    sample.value = get.GetText(EXT_PUBVAR_TEXT_OFFSET, EXT_PUBVAR_TEXT_SIZE);
    return StepFailure::None();
  }
  Record block(EXT_PUBVAR2_RECORD_MIN_SIZE);
  block.Put<std::int32_t>(EXT_PUBVAR2_HANDLE_OFFSET, handle);
  block.Put<std::uint8_t>(EXT_PUBVAR2_FLAG_OFFSET, 0);
  if (StepFailure failed =
          Require(EXT_CMD_EVAL_PUBLISHED_VARIABLES_2, block.data(), 0, sample.name))
    return failed;
  const char* text = block.Get<const char*>(EXT_PUBVAR2_TEXT_POINTER_OFFSET);
  sample.value = text != nullptr ? text : "";
  return StepFailure::None();
}

StepFailure Runner::Published(int t, double date) {
  Record record(EXT_PUBVAR_RECORD_MIN_SIZE);
  record.Put<std::int32_t>(EXT_PUBVAR_HANDLE_OFFSET, -1);
  for (int guard = 0; guard < 100000; ++guard) {
    Outcome listed = Outcome::kOk;
    if (StepFailure failed = Require(EXT_CMD_GET_NEXT_PUBLISHED_VARIABLE, record.data(), 0, listed))
      return failed;
    if (listed == Outcome::kEnd) return StepFailure::None();
    const std::int32_t handle = record.Get<std::int32_t>(EXT_PUBVAR_HANDLE_OFFSET);
    PublishedSample sample{t, date, record.GetText(EXT_PUBVAR_TEXT_OFFSET, EXT_PUBVAR_TEXT_SIZE),
                           record.GetText(EXT_PUBVAR_UNIT_OFFSET, EXT_PUBVAR_UNIT_SIZE), ""};
    if (StepFailure failed = PublishedValue(handle, sample)) return failed;
    rec_.published.push_back(std::move(sample));
  }
  return StepFailure::Failed("GetNextPublishedVariable does not end");
}

// A timestep without optimisation: one solve, and the objective when the
// case defines one.
StepFailure Runner::SolveOnce(int t, double date, TimestepResult& result) {
  std::vector<StreamState> outputs;
  if (StepFailure failed = Solve(t, outputs)) return failed;
  RecordSolve(t, date, outputs);
  if (!rec_.problem.objectiveDefined) return StepFailure::None();
  result.optimised = true;
  if (StepFailure failed = ReadObjective(result.optimum.value)) return failed;
  result.optimum.feasible = Violation(rec_.problem, result.optimum.value) == 0;
  result.optimum.method = "none";
  return StepFailure::None();
}

StepFailure Runner::Timestep(int t, double date) {
  TimestepResult result;
  result.timestep = t;
  result.date = date;
  solvesThisStep_ = 0;
  Record dateRecord(EXT_DATE_RECORD_MIN_SIZE);
  // The driver adds the day back.
  dateRecord.Put<double>(EXT_DATE_RECORD_DATE_OFFSET, date - 1.0);
  if (StepFailure failed = Require(EXT_CMD_SET_DATE, dateRecord.data(), 0)) return failed;
  if (StepFailure failed = Require(EXT_CMD_START_OF_TIMESTEP, nullptr, 0)) return failed;
  if (StepFailure failed = rec_.optimising ? Optimise(t, date, result) : SolveOnce(t, date, result))
    return failed;
  if (StepFailure failed = Published(t, date)) return failed;
  Record event(EXT_NEXT_EVENT_RECORD_MIN_SIZE);
  Outcome next = Outcome::kOk;
  if (StepFailure failed = Require(EXT_CMD_GET_NEXT_EVENT, event.data(), 0, next)) return failed;
  if (next == Outcome::kOk) result.nextEvent = event.Get<double>(EXT_NEXT_EVENT_TIME_OFFSET);
  if (StepFailure failed = Require(EXT_CMD_END_OF_TIMESTEP, nullptr, 0)) return failed;
  if (StepFailure failed = Require(EXT_CMD_NEXT_TIMESTEP, nullptr, 0)) return failed;
  rec_.results.push_back(result);
  return StepFailure::None();
}

StepFailure Runner::RunTimesteps() {
  double date = scenario_.startDate;
  for (int t = 0; t < scenario_.timesteps; ++t) {
    timestep = t;
    if (StepFailure failed = Timestep(t, date)) return failed;
    if (t == 0) {
      if (StepFailure failed = NoteAddedSheets()) return failed;
      // What the save will refuse is refused before the next timestep.
      if (options_.save) {
        if (StepFailure failed = CheckSaveKeepsSheets()) return failed;
      }
    }
    TimestepResult& result = rec_.results.back();
    if (result.nextEvent) NoteNextEvent(t, date, result);
    progress_.Done(t, date, rec_);
    nlohmann::json fields = TimestepEventFields(t, date, rec_);
    if (firstInputMs_ && !std::exchange(firstInputTold_, true))
      fields["firstInputMs"] = std::round(*firstInputMs_ * 10) / 10;
    Event("timestep", std::move(fields));
    date = PlannedNextDate(date, scenario_.stepDays,
                           result.eventActed ? result.nextEvent : std::nullopt);
  }
  timestep = -1;
  return StepFailure::None();
}

StepFailure Runner::Run() {
  Event("started", {{"timesteps", scenario_.timesteps},
                    {"startDate", FormatIsoDate(scenario_.startDate)},
                    {"stepDays", scenario_.stepDays}});
  if (StepFailure failed = Prepare()) return failed;
  Event("office-started", {{"mode", rec_.mode}});
  if (StepFailure failed = FindMissingSheets()) return failed;
  if (StepFailure failed = LearnStreams()) return failed;
  if (StepFailure failed = CheckInputs()) return failed;
  if (StepFailure failed = LearnProblem()) return failed;
  Record dateRecord(EXT_DATE_RECORD_MIN_SIZE);
  dateRecord.Put<double>(EXT_DATE_RECORD_DATE_OFFSET, scenario_.startDate - 1.0);
  if (StepFailure failed = Require(EXT_CMD_SET_DATE, dateRecord.data(), 0)) return failed;
  if (StepFailure failed = Require(EXT_CMD_START_OF_RUN, nullptr, 0)) return failed;
  runStarted_ = true;
  if (StepFailure failed = RunTimesteps()) return failed;
  runEnded_ = true;
  if (StepFailure failed = Require(EXT_CMD_END_OF_RUN, nullptr, 0)) return failed;
  return SaveAndClose();
}

// Whether the event the workbook asks for starts the next timestep.
void Runner::NoteNextEvent(int t, double date, TimestepResult& result) {
  if (*result.nextEvent > date) {
    const double next = date + scenario_.stepDays;
    result.eventActed = *result.nextEvent < next && t + 1 < scenario_.timesteps;
    rec_.notes.push_back("timestep " + std::to_string(t) + ": the workbook asks for an event on " +
                         FormatIsoDate(*result.nextEvent) +
                         (result.eventActed ? "; the next timestep starts then" : ""));
  } else {
    rec_.notes.push_back("timestep " + std::to_string(t) + ": next event " +
                         FormatNumber(*result.nextEvent) +
                         " is not ahead of the current date; ignored");
  }
}

StepFailure Runner::SaveAndClose() {
  if (options_.save) {
    if (StepFailure failed = CheckSaveKeepsSheets()) return failed;
    std::string name = options_.saveAs ? options_.saveAs->string() : std::string();
    if (StepFailure failed =
            Require(EXT_CMD_SAVE_CASE_WORKBOOK, name.empty() ? nullptr : name.data(), 0))
      return failed;
  }
  // An office that ended while the workbook was closed fails the run too:
  // the library's last word on it is the stop (threaded) or the destroy
  // (direct mode).
  appStarted_ = false;
  const Reply stopped = lib_.StopApp();
  if (!stopped.ok())
    return StepFailure::Refused(
        "the workbook could not be closed: the office has ended" +
            (stopped.text.empty() ? std::string() : " (the driver said: " + stopped.text + ")"),
        "ExtStopApp", 0);
  const Reply destroyed = lib_.DestroyInstance();
  if (!destroyed.ok())
    return StepFailure::Refused("the driver could not be wound down: " + destroyed.text,
                                "ExtDestroyInstance", 0);
  return StepFailure::None();
}

void Runner::NoteEmptyOutputs() {
  for (const auto& [stream, outputs] : boundOutputs_)
    for (const BoundOutput& output : outputs)
      if (!output.emptyAt.empty())
        rec_.notes.push_back("output stream " + stream + ": " + output.field->words + " cell " +
                             output.cell + " was empty at timestep" +
                             (output.emptyAt.size() > 1 ? "s " : " ") +
                             TimestepRuns(output.emptyAt));
}

void Runner::Cleanup() {
  progress_.Finish();
  if (runStarted_ && !runEnded_) (void)lib_.Call(EXT_CMD_END_OF_RUN);
  if (lib_.HasInstance()) {
    if (appStarted_) (void)lib_.StopApp();
    (void)lib_.DestroyInstance();
  }
}

double PlannedNextDate(double current, double stepDays, std::optional<double> event) {
  const double planned = current + stepDays;
  if (event && *event > current && *event < planned) return *event;
  return planned;
}

outcome::Expected<std::optional<std::filesystem::path>> ScenarioWorkbook(const Scenario& scenario) {
  if (scenario.workbook) return scenario.workbook;
  outcome::Expected<std::vector<std::uint8_t>> archive = CaseArchiveBytes(scenario);
  if (!archive)
    return outcome::Error::Failed(scenario.file.string() + ": " + archive.GetError().Message());
  const outcome::Expected<nlohmann::json> caseJson = archive::CaseArchiveToJson(*archive);
  if (!caseJson)
    return outcome::Error::Failed(scenario.file.string() + ": " + caseJson.GetError().Message());
  const std::string name = caseJson->value("fileName", std::string());
  if (name.empty()) return std::optional<std::filesystem::path>();
  return std::optional<std::filesystem::path>(std::filesystem::absolute(name));
}

outcome::Expected<std::vector<std::uint8_t>> CaseArchiveBytes(const Scenario& scenario) {
  if (scenario.caseJson) {
    outcome::Expected<std::vector<std::uint8_t>> bytes =
        archive::CaseJsonToArchive(*scenario.caseJson);
    if (!bytes) return outcome::Error::Failed("case: " + bytes.GetError().Message());
    return bytes;
  }
  return ReadBoundedBytes(*scenario.caseArchive, kCaseArchiveLimit);
}

void RunScenario(Library& library, const Scenario& scenario, const RunOptions& options,
                 RunRecord& record) {
  record.mode = library.Direct() ? "direct" : "threaded";
  record.scenario = scenario.file.string();
  record.startDate = scenario.startDate;
  record.timesteps = scenario.timesteps;
  record.stepDays = scenario.stepDays;
  Runner runner(library, scenario, options, record);
  StepFailure stopped;
  // No step throws. What the standard library itself may raise (no memory)
  // still ends the run with its outputs written and its instance wound down.
  try {
    stopped = runner.Run();
  } catch (const std::exception& e) {
    stopped = StepFailure::Failed(std::string("internal error: ") + e.what());
  }
  if (stopped) {
    // A call that fails after a signal failed for it: the office the call
    // was waiting on was ended so that the run could stop.
    const int signal = stopped.Signal() != 0 ? stopped.Signal() : InterruptSignal();
    if (signal != 0) {
      record.interruptedBy = signal;
      record.failure =
          RunFailure{StepFailure::Interrupted(signal).Message(), "", 0, runner.timestep};
      runner.Event("interrupted", {{"signal", SignalName(signal)}, {"timestep", runner.timestep}});
    } else {
      record.failure =
          RunFailure{stopped.Message(), stopped.Command(), stopped.Code(), runner.timestep};
      runner.Event("failed", {{"operation", stopped.Command()},
                              {"message", stopped.Message()},
                              {"timestep", runner.timestep}});
    }
  }
  InterruptTaken();
  runner.NoteEmptyOutputs();
  runner.Cleanup();
}

}  // namespace refhost
