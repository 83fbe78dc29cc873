#include "check/workbook_check.h"

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <vector>

#include "check/check_report.h"
#include "check/private_copy.h"
#include "check/scenario_cells.h"
#include "com/error.h"
#include "common/csv.h"
#include "common/files.h"
#include "common/interrupt.h"
#include "excel/calc/calc_application.h"
#include "excel/calc/calc_recalculation.h"
#include "running/run.h"
#include "saved_values/saved_values.h"
#include "scenario/scenario.h"

namespace refhost {
namespace {

namespace fs = std::filesystem;
constexpr int kCouldNotCheck = 2;

int CouldNotCheck(std::ostream& err, const std::string& message) {
  err << "gridmoor-host: could not check: " << OneLine(message) << "\n";
  return kCouldNotCheck;
}

// GRIDMOOR_CALL_TIMEOUT (seconds) limits every call into the office, read
// as the library reads it for a run; a frozen office is ended instead of
// hanging the check.
void ApplyCallTimeout() {
  const char* value = std::getenv("GRIDMOOR_CALL_TIMEOUT");
  if (value == nullptr) return;
  if (const auto timeout = excel::calc::CallTimeoutFromText(value))
    excel::calc::SetOfficeCallTimeout(*timeout);
}

int CheckWorkbook(const WorkbookCheckOptions& options, std::ostream& out, std::ostream& err);

// The findings never replace what the check reads, by whatever path (a
// symlink or another hard link included): the same file is the same device
// and inode.
outcome::Error CheckJsonSparesInputs(const fs::path& json, const std::vector<fs::path>& inputs) {
  for (const fs::path& input : inputs) {
    std::error_code ec;
    if (!input.empty() && fs::equivalent(json, input, ec))
      return outcome::Error::Failed("--json " + json.string() + " is the file " + input.string() +
                                    " the check reads; the findings never replace it");
  }
  return outcome::Error::Success();
}

}  // namespace

int WorkbookCheck(const WorkbookCheckOptions& options, std::ostream& out, std::ostream& err) {
  // A signal ends the office's work and the check winds down, so that its
  // private copies and the office's folder go with it.
  ArmInterrupt(true);
  struct Disarm {
    ~Disarm() { ArmInterrupt(false); }
  } disarm;
  int status = kCouldNotCheck;
  try {
    status = CheckWorkbook(options, out, err);
  } catch (const std::exception& failure) {
    if (InterruptSignal() == 0) return CouldNotCheck(err, failure.what());
  }
  if (const int signal = InterruptSignal(); signal != 0) {
    InterruptTaken();
    err << "gridmoor-host: could not check: interrupted by " << SignalName(signal) << "\n";
    return 128 + signal;
  }
  return status;
}

namespace {

// What the check reads: the scenario (when one is given) and the workbook.
struct CheckInputs {
  Scenario scenario;
  fs::path book;
};

// The workbook the check reads, and where the findings go; an error when
// the check cannot start.
outcome::Expected<CheckInputs> ResolveInputs(const WorkbookCheckOptions& options) {
  CheckInputs inputs;
  inputs.book = options.book;
  if (!options.scenario.empty()) {
    outcome::Expected<Scenario> scenario = LoadScenario(fs::absolute(options.scenario));
    if (!scenario) return scenario.TakeError();
    inputs.scenario = std::move(*scenario);
    if (inputs.book.empty()) {
      outcome::Expected<std::optional<fs::path>> named = ScenarioWorkbook(inputs.scenario);
      if (!named) return named.TakeError();
      if (*named) inputs.book = **named;
    }
  }
  if (inputs.book.empty())
    return outcome::Error::Failed("no workbook: give BOOK, or a scenario that names one");
  if (options.json.empty()) return inputs;
  // Before the office's work, not after it.
  if (outcome::Error overwrites =
          CheckJsonSparesInputs(options.json, {inputs.book, fs::path(options.scenario)}))
    return overwrites;
  if (const outcome::Error unwritable = CheckWritableFile(fs::absolute(options.json)))
    return outcome::Error::Failed("--json: " + unwritable.Message());
  return inputs;
}

// The saved values of the private copy, or why there are none to compare.
struct SavedCopy {
  SavedWorkbook saved;
  std::string unreadable;  // empty when `saved` was read
};

// None to compare for a binary workbook checked for a scenario: its cells,
// macros and functions are still worth checking.
outcome::Expected<SavedCopy> ReadCopy(const WorkbookCheckOptions& options,
                                      const PrivateCopy& copy) {
  outcome::Expected<SavedWorkbook> saved = ReadSavedValues(copy.Path());
  if (saved) return SavedCopy{std::move(*saved), {}};
  if (options.scenario.empty() || !IsBinaryWorkbook(copy.Path())) return saved.TakeError();
  return SavedCopy{{}, "a binary workbook (.xls) keeps its saved values out of reach"};
}

int CheckWorkbook(const WorkbookCheckOptions& options, std::ostream& out, std::ostream& err) {
  outcome::Expected<CheckInputs> inputs = ResolveInputs(options);
  if (!inputs) return CouldNotCheck(err, inputs.GetError().Message());
  const fs::path& book = inputs->book;
  // Everything is read from one copy, made first.
  PrivateCopy copy;
  if (const outcome::Error uncopied = copy.Make(fs::absolute(book)))
    return CouldNotCheck(err, uncopied.Message());
  const outcome::Expected<SavedCopy> read = ReadCopy(options, copy);
  if (!read) return CouldNotCheck(err, read.GetError().Message());
  const SavedWorkbook& saved = read->saved;
  const std::string& unreadable = read->unreadable;
  if (InterruptSignal() != 0) return kCouldNotCheck;

  ApplyCallTimeout();
  excel::RecalculatedWorkbook calc;
  // The office layer's failures come as com::Error: said here as the check's own.
  try {
    calc = excel::calc::CreateCalcRecalculator()->Recalculate(copy.Path().string());
  } catch (const com::Error& failure) {
    return CouldNotCheck(err, book.filename().string() + ": " + failure.ErrorMessage());
  }
  CheckReport report = CompareWorkbook(saved, calc);
  if (!unreadable.empty()) {
    report.notCompared = calc.formulas.size();
    report.notComparedWhy = unreadable;
  } else if (saved.formulas.empty() && !calc.formulas.empty()) {
    return CouldNotCheck(err, book.filename().string() + ": the office holds " +
                                  std::to_string(calc.formulas.size()) +
                                  " formula cell(s), but no saved value could be read from the "
                                  "file: nothing could be compared");
  }
  if (!options.scenario.empty()) {
    if (const outcome::Error unchecked = CheckScenarioCells(inputs->scenario, calc, report))
      return CouldNotCheck(err, unchecked.Message());
  }
  out << "workbook: " << fs::absolute(book).string() << "\n" << SummaryText(report);
  if (options.json.empty()) return report.Clean() ? 0 : 1;
  if (const outcome::Error unwritten = WriteText(options.json, ReportJson(report).dump(2) + "\n"))
    return CouldNotCheck(err, "could not write " + options.json + ": " + unwritten.Message());
  return report.Clean() ? 0 : 1;
}

}  // namespace

}  // namespace refhost
