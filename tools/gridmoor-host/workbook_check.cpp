#include "workbook_check.h"

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <vector>

#include "check_report.h"
#include "com/error.h"
#include "csv.h"
#include "excel/calc/calc_application.h"
#include "excel/calc/calc_recalculation.h"
#include "files.h"
#include "run.h"
#include "saved_values.h"
#include "scenario.h"
#include "scenario_cells.h"
#include "text/number.h"

namespace refhost {
namespace {

namespace fs = std::filesystem;
constexpr int kCouldNotCheck = 2;

int CouldNotCheck(std::ostream& err, const std::string& message) {
  err << "gridmoor-host: could not check: " << OneLine(message) << "\n";
  return kCouldNotCheck;
}

// GRIDMOOR_CALL_TIMEOUT (seconds) limits every call into the office, as for
// the library; a frozen office is ended instead of hanging the check.
void ApplyCallTimeout() {
  const char* value = std::getenv("GRIDMOOR_CALL_TIMEOUT");
  if (value == nullptr) return;
  const double seconds = text::ParseDouble(value);  // 0 when there is no number
  if (seconds > 0)
    excel::calc::SetOfficeCallTimeout(
        std::chrono::milliseconds(static_cast<long long>(seconds * 1000)));
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
  try {
    return CheckWorkbook(options, out, err);
  } catch (const std::exception& failure) {
    return CouldNotCheck(err, failure.what());
  }
}

namespace {

// A binary workbook (.xls): the office reads it, but its saved values are
// out of this check's reach.
bool IsBinaryWorkbook(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  char magic[4] = {};
  return in.read(magic, sizeof magic) && std::string_view(magic, 4) == "\xD0\xCF\x11\xE0";
}

int CheckWorkbook(const WorkbookCheckOptions& options, std::ostream& out, std::ostream& err) {
  Scenario scenario;
  fs::path book = options.book;
  std::string error;
  if (!options.scenario.empty()) {
    if (!LoadScenario(fs::absolute(options.scenario), scenario, error))
      return CouldNotCheck(err, error);
    std::optional<fs::path> named;
    if (book.empty() && !ScenarioWorkbook(scenario, named, error)) return CouldNotCheck(err, error);
    if (named) book = *named;
  }
  if (book.empty())
    return CouldNotCheck(err, "no workbook: give BOOK, or a scenario that names one");
  // Before the office's work, not after it.
  if (!options.json.empty() &&
      JsonOverwritesInput(options.json, {book, fs::path(options.scenario)}, error))
    return CouldNotCheck(err, error);
  if (!options.json.empty() && !CheckWritableFile(fs::absolute(options.json), error))
    return CouldNotCheck(err, "--json: " + error);
  SavedWorkbook saved;
  std::string unreadable;
  if (!ReadSavedValues(book, saved, error)) {
    // The scenario's cells, macros and functions are still worth checking.
    if (options.scenario.empty() || !IsBinaryWorkbook(book)) return CouldNotCheck(err, error);
    unreadable = "a binary workbook (.xls) keeps its saved values out of reach";
  }

  ApplyCallTimeout();
  excel::RecalculatedWorkbook calc;
  try {
    calc = excel::calc::CreateCalcRecalculator()->Recalculate(fs::absolute(book).string());
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
