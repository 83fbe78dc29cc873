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
#include <stdexcept>

#include "archive/archive_error.h"
#include "archive/json/case_json.h"
#include "archive/records/model_data_file.h"
#include "case/case_check.h"
#include "common/csv.h"
#include "common/files.h"
#include "common/interrupt.h"
#include "running/progress.h"
#include "running/runner.h"

namespace refhost {

[[noreturn]] void Fail(const std::string& message) {
  throw HostFailure(message, "", 0);
}

void StopWhenAsked() {
  if (const int signal = InterruptSignal(); signal != 0) {
    InterruptTaken();
    throw Interrupted(signal);
  }
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

Reply Runner::Require(std::int32_t code, void* arg, std::int32_t iarg, const std::string& what) {
  StopWhenAsked();
  Reply reply = lib_.Call(code, arg, iarg);
  if (!reply.ok()) {
    std::string message = std::string(CommandName(code)) + " (code " + std::to_string(code) + ")";
    if (!what.empty()) message += " for " + Where(what);
    message += " failed with result " + std::to_string(reply.result);
    if (!reply.text.empty()) message += ": " + reply.text;
    throw HostFailure(message, CommandName(code), code);
  }
  return reply;
}

std::vector<StreamState> Runner::Solve(int t) {
  ++solvesThisStep_;
  Require(EXT_CMD_PRE_SOLVE, nullptr, 0);
  for (std::size_t i : inputs_) {
    const StreamInfo& stream = rec_.streams[i];
    const StreamState* state = InputAt(scenario_.inputs.at(stream.name), t);
    Record record = EncodeIpr(stream.handle, *state, stream.components.size());
    Require(EXT_CMD_SET_IPR, record.data(), 0, stream.name);
  }
  std::vector<StreamState> outputs;
  for (std::size_t i : outputs_) {
    Record record = NewIprRecord(rec_.streams[i].handle);
    Require(EXT_CMD_GET_IPR, record.data(), 0, rec_.streams[i].name);
    if (const auto bound = boundOutputs_.find(rec_.streams[i].name); bound != boundOutputs_.end()) {
      for (BoundOutput& output : bound->second)
        if (IsUndefined(record.Get<double>(output.field->offset))) output.emptyAt.insert(t);
    }
    outputs.push_back(DecodeIpr(record));
  }
  Require(EXT_CMD_POST_SOLVE_2, nullptr, 0);
  Require(EXT_CMD_POST_SOLVE, nullptr, 0);
  return outputs;
}

void Runner::RecordSolve(int t, double date, const std::vector<StreamState>& outputs) {
  for (std::size_t i : inputs_)
    rec_.streamSamples.push_back(
        {t, date, i, SentInput(*InputAt(scenario_.inputs.at(rec_.streams[i].name), t))});
  for (std::size_t k = 0; k < outputs_.size(); ++k)
    rec_.streamSamples.push_back({t, date, outputs_[k], outputs[k]});
}

Evaluation Runner::ReadObjective() {
  Evaluation value;
  Record record(EXT_OPT_VALUE_RECORD_MIN_SIZE);
  Require(EXT_CMD_GET_OBJECTIVE_FUNCTION, record.data(), 0, rec_.problem.objectiveName);
  value.objective = record.Get<double>(EXT_OPT_VALUE_VALUE_OFFSET);
  for (const ConstraintInfo& c : rec_.problem.constraints) {
    Record r(EXT_OPT_VALUE_RECORD_MIN_SIZE);
    r.Put<std::int32_t>(EXT_OPT_VALUE_HANDLE_OFFSET, c.handle);
    Require(EXT_CMD_GET_CONSTRAINTS, r.data(), 0, c.name);
    value.constraints.push_back(r.Get<double>(EXT_OPT_VALUE_VALUE_OFFSET));
  }
  return value;
}

void Runner::SetPoint(const TrialPoint& point) {
  for (std::size_t i = 0; i < rec_.problem.controls.size(); ++i) {
    Record r(EXT_OPT_VALUE_RECORD_MIN_SIZE);
    r.Put<std::int32_t>(EXT_OPT_VALUE_HANDLE_OFFSET, rec_.problem.controls[i].handle);
    r.Put<double>(EXT_OPT_VALUE_VALUE_OFFSET, point.controls[i]);
    Require(EXT_CMD_SET_CONTROLS, r.data(), 0, rec_.problem.controls[i].name);
  }
  for (std::size_t i = 0; i < rec_.problem.intControls.size(); ++i) {
    Record r(EXT_OPT_VALUE_RECORD_MIN_SIZE);
    r.Put<std::int32_t>(EXT_OPT_VALUE_HANDLE_OFFSET, rec_.problem.intControls[i].handle);
    r.Put<double>(EXT_OPT_VALUE_VALUE_OFFSET, point.states[i]);
    Require(EXT_CMD_SET_CONTROLS, r.data(), 1, rec_.problem.intControls[i].name);
  }
}

void Runner::Optimise(int t, double date, TimestepResult& result) {
  // Start where the workbook stands.
  TrialPoint start;
  for (const ControlInfo& c : rec_.problem.controls) {
    Record r(EXT_OPT_VALUE_RECORD_MIN_SIZE);
    r.Put<std::int32_t>(EXT_OPT_VALUE_HANDLE_OFFSET, c.handle);
    Require(EXT_CMD_GET_CONTROLS, r.data(), 0, c.name);
    double value = r.Get<double>(EXT_OPT_VALUE_VALUE_OFFSET);
    if (IsUndefined(value) || std::isnan(value)) value = c.lower.present ? c.lower.value : 0.0;
    start.controls.push_back(value);
  }
  for (const IntControlInfo& c : rec_.problem.intControls) {
    Record r(EXT_OPT_VALUE_RECORD_MIN_SIZE);
    r.Put<std::int32_t>(EXT_OPT_VALUE_HANDLE_OFFSET, c.handle);
    Require(EXT_CMD_GET_CONTROLS, r.data(), 1, c.name);
    const double state = r.Get<double>(EXT_OPT_VALUE_VALUE_OFFSET);
    start.states.push_back(
        state >= 0 && state < static_cast<double>(c.labels.size()) ? static_cast<int>(state) : 0);
  }
  double trialSeconds = 0;
  const Evaluator evaluate = [&](const TrialPoint& point) {
    const auto started = std::chrono::steady_clock::now();
    SetPoint(point);
    (void)Solve(t);
    Evaluation value = ReadObjective();
    trialSeconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    return value;
  };
  const TrialSink sink = [&](const Trial& trial) {
    rec_.trials.push_back({t, date, trial, false, trialSeconds});
    progress_.Trial(t, trial.number);
  };
  result.optimum = refhost::Optimise(rec_.problem, scenario_.optimisation, start, evaluate, sink);
  result.optimised = true;
  if (!result.optimum.note.empty())
    rec_.notes.push_back("timestep " + std::to_string(t) + ": " + result.optimum.note);

  // The best point once more, so the workbook and the streams show it.
  SetPoint(result.optimum.point);
  const std::vector<StreamState> outputs = Solve(t);
  Trial final;
  final.point = result.optimum.point;
  final.value = ReadObjective();
  final.feasible = Violation(rec_.problem, final.value) == 0;
  final.number = result.optimum.evaluations + 1;
  rec_.trials.push_back({t, date, final, true});
  result.optimum.value = final.value;
  result.optimum.feasible = final.feasible;
  RecordSolve(t, date, outputs);
}

void Runner::Published(int t, double date) {
  Record record(EXT_PUBVAR_RECORD_MIN_SIZE);
  record.Put<std::int32_t>(EXT_PUBVAR_HANDLE_OFFSET, -1);
  for (int guard = 0; guard < 100000; ++guard) {
    if (Require(EXT_CMD_GET_NEXT_PUBLISHED_VARIABLE, record.data(), 0).outcome == Outcome::kEnd)
      return;
    const std::int32_t handle = record.Get<std::int32_t>(EXT_PUBVAR_HANDLE_OFFSET);
    PublishedSample sample{t, date, record.GetText(EXT_PUBVAR_TEXT_OFFSET, EXT_PUBVAR_TEXT_SIZE),
                           record.GetText(EXT_PUBVAR_UNIT_OFFSET, EXT_PUBVAR_UNIT_SIZE), ""};
    Record get(EXT_PUBVAR_RECORD_MIN_SIZE);
    get.Put<std::int32_t>(EXT_PUBVAR_HANDLE_OFFSET, handle);
    get.Put<std::uint8_t>(EXT_PUBVAR_FLAG_OFFSET, 0);
    const Reply reply = Require(EXT_CMD_EVAL_PUBLISHED_VARIABLES, get.data(), 0, sample.name);
    if (reply.outcome == Outcome::kBlock) {
      Record block(EXT_PUBVAR2_RECORD_MIN_SIZE);
      block.Put<std::int32_t>(EXT_PUBVAR2_HANDLE_OFFSET, handle);
      block.Put<std::uint8_t>(EXT_PUBVAR2_FLAG_OFFSET, 0);
      Require(EXT_CMD_EVAL_PUBLISHED_VARIABLES_2, block.data(), 0, sample.name);
      const char* text = block.Get<const char*>(EXT_PUBVAR2_TEXT_POINTER_OFFSET);
      sample.value = text != nullptr ? text : "";
    } else {
      sample.value = get.GetText(EXT_PUBVAR_TEXT_OFFSET, EXT_PUBVAR_TEXT_SIZE);
    }
    rec_.published.push_back(std::move(sample));
  }
  Fail("GetNextPublishedVariable does not end");
}

void Runner::Timestep(int t, double date) {
  TimestepResult result;
  result.timestep = t;
  result.date = date;
  solvesThisStep_ = 0;
  Record dateRecord(EXT_DATE_RECORD_MIN_SIZE);
  // The driver adds the day back.
  dateRecord.Put<double>(EXT_DATE_RECORD_DATE_OFFSET, date - 1.0);
  Require(EXT_CMD_SET_DATE, dateRecord.data(), 0);
  Require(EXT_CMD_START_OF_TIMESTEP, nullptr, 0);
  if (rec_.optimising) {
    Optimise(t, date, result);
  } else {
    const std::vector<StreamState> outputs = Solve(t);
    RecordSolve(t, date, outputs);
    if (rec_.problem.objectiveDefined) {
      result.optimised = true;
      result.optimum.value = ReadObjective();
      result.optimum.feasible = Violation(rec_.problem, result.optimum.value) == 0;
      result.optimum.method = "none";
    }
  }
  Published(t, date);
  Record event(EXT_NEXT_EVENT_RECORD_MIN_SIZE);
  if (Require(EXT_CMD_GET_NEXT_EVENT, event.data(), 0).outcome == Outcome::kOk)
    result.nextEvent = event.Get<double>(EXT_NEXT_EVENT_TIME_OFFSET);
  Require(EXT_CMD_END_OF_TIMESTEP, nullptr, 0);
  Require(EXT_CMD_NEXT_TIMESTEP, nullptr, 0);
  rec_.results.push_back(result);
}

void Runner::Run() {
  Prepare();
  FindMissingSheets();
  LearnStreams();
  CheckInputs();
  LearnProblem();
  double date = scenario_.startDate;
  Record dateRecord(EXT_DATE_RECORD_MIN_SIZE);
  dateRecord.Put<double>(EXT_DATE_RECORD_DATE_OFFSET, date - 1.0);
  Require(EXT_CMD_SET_DATE, dateRecord.data(), 0);
  Require(EXT_CMD_START_OF_RUN, nullptr, 0);
  runStarted_ = true;
  for (int t = 0; t < scenario_.timesteps; ++t) {
    timestep = t;
    Timestep(t, date);
    if (t == 0) {
      NoteAddedSheets();
      // What the save will refuse is refused before the next timestep.
      if (options_.save) CheckSaveKeepsSheets();
    }
    TimestepResult& result = rec_.results.back();
    if (result.nextEvent) NoteNextEvent(t, date, result);
    progress_.Done(t, date, rec_);
    date = PlannedNextDate(date, scenario_.stepDays,
                           result.eventActed ? result.nextEvent : std::nullopt);
  }
  timestep = -1;
  runEnded_ = true;
  Require(EXT_CMD_END_OF_RUN, nullptr, 0);
  SaveAndClose();
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

void Runner::SaveAndClose() {
  if (options_.save) {
    CheckSaveKeepsSheets();
    std::string name = options_.saveAs ? options_.saveAs->string() : std::string();
    Require(EXT_CMD_SAVE_CASE_WORKBOOK, name.empty() ? nullptr : name.data(), 0);
  }
  // An office that ended while the workbook was closed fails the run too:
  // the library's last word on it is the stop (threaded) or the destroy
  // (direct mode).
  appStarted_ = false;
  const Reply stopped = lib_.StopApp();
  if (!stopped.ok())
    throw HostFailure("ExtStopApp failed with result " + std::to_string(stopped.result) +
                          ": the workbook could not be closed (the office has ended)",
                      "ExtStopApp", 0);
  const Reply destroyed = lib_.DestroyInstance();
  if (!destroyed.ok())
    throw HostFailure("ExtDestroyInstance failed with result " + std::to_string(destroyed.result) +
                          ": " + destroyed.text,
                      "ExtDestroyInstance", 0);
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
  nlohmann::json caseJson;
  std::string error;
  if (!archive::CaseArchiveToJson(*archive, caseJson, error))
    return outcome::Error::Failed(scenario.file.string() + ": " + error);
  const std::string name = caseJson.value("fileName", std::string());
  if (name.empty()) return std::optional<std::filesystem::path>();
  return std::optional<std::filesystem::path>(std::filesystem::absolute(name));
}

outcome::Expected<std::vector<std::uint8_t>> CaseArchiveBytes(const Scenario& scenario) {
  if (scenario.caseJson) {
    std::vector<std::uint8_t> bytes;
    std::string error;
    if (!archive::CaseJsonToArchive(*scenario.caseJson, bytes, error))
      return outcome::Error::Failed("case: " + error);
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
  try {
    runner.Run();
  } catch (const Interrupted& stop) {
    record.interruptedBy = stop.signal;
    record.failure = RunFailure{stop.what(), "", 0, runner.timestep};
  } catch (const HostFailure& failure) {
    // A call that fails after a signal failed for it: the office the call
    // was waiting on was ended so that the run could stop.
    if (const int signal = InterruptSignal(); signal != 0) {
      record.interruptedBy = signal;
      record.failure = RunFailure{Interrupted(signal).what(), "", 0, runner.timestep};
    } else {
      record.failure = RunFailure{failure.what(), failure.command, failure.code, runner.timestep};
    }
  } catch (const std::exception& e) {
    record.failure = RunFailure{std::string("internal error: ") + e.what(), "", 0, runner.timestep};
  }
  InterruptTaken();
  runner.NoteEmptyOutputs();
  runner.Cleanup();
}

}  // namespace refhost
