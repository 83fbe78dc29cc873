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
bool JsonOverwritesInput(const fs::path& json, const std::vector<fs::path>& inputs,
                         std::string& error) {
  for (const fs::path& input : inputs) {
    std::error_code ec;
    if (!input.empty() && fs::equivalent(json, input, ec)) {
      error = "--json " + json.string() + " is the file " + input.string() +
              " the check reads; the findings never replace it";
      return true;
    }
  }
  return false;
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

// The workbook the check reads, and where the findings go; false with
// `error` when the check cannot start.
bool ResolveInputs(const WorkbookCheckOptions& options, Scenario& scenario, fs::path& book,
                   std::string& error) {
  book = options.book;
  if (!options.scenario.empty()) {
    if (!LoadScenario(fs::absolute(options.scenario), scenario, error)) return false;
    std::optional<fs::path> named;
    if (book.empty() && !ScenarioWorkbook(scenario, named, error)) return false;
    if (named) book = *named;
  }
  if (book.empty()) {
    error = "no workbook: give BOOK, or a scenario that names one";
    return false;
  }
  if (options.json.empty()) return true;
  // Before the office's work, not after it.
  if (JsonOverwritesInput(options.json, {book, fs::path(options.scenario)}, error)) return false;
  if (!CheckWritableFile(fs::absolute(options.json), error)) {
    error = "--json: " + error;
    return false;
  }
  return true;
}

int CheckWorkbook(const WorkbookCheckOptions& options, std::ostream& out, std::ostream& err) {
  Scenario scenario;
  fs::path book;
  std::string error;
  if (!ResolveInputs(options, scenario, book, error)) return CouldNotCheck(err, error);
  // Everything is read from one copy, made first.
  PrivateCopy copy;
  if (!copy.Make(fs::absolute(book), error)) return CouldNotCheck(err, error);
  SavedWorkbook saved;
  std::string unreadable;
  if (!ReadSavedValues(copy.Path(), saved, error)) {
    // The scenario's cells, macros and functions are still worth checking.
    if (options.scenario.empty() || !IsBinaryWorkbook(copy.Path()))
      return CouldNotCheck(err, error);
    unreadable = "a binary workbook (.xls) keeps its saved values out of reach";
  }
  if (InterruptSignal() != 0) return kCouldNotCheck;

  ApplyCallTimeout();
  excel::RecalculatedWorkbook calc;
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
  if (!options.scenario.empty() && !CheckScenarioCells(scenario, calc, report, error))
    return CouldNotCheck(err, error);

  out << "workbook: " << fs::absolute(book).string() << "\n" << SummaryText(report);
  if (!options.json.empty() && !WriteText(options.json, ReportJson(report).dump(2) + "\n", error))
    return CouldNotCheck(err, "could not write " + options.json + ": " + error);
  return report.Clean() ? 0 : 1;
}

}  // namespace

}  // namespace refhost
