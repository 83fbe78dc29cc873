// The run-time events of a host run: each may run a workbook macro with the
// timestep counter and, when the case asks for it, the run date as text.
// Start and end of run and the run date hold SpreadsheetLock; the events in
// between call the session without it.
#include <cmath>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "automation/cell_address.h"
#include "automation/spreadsheet_lock.h"
#include "com/ole_date.h"
#include "model/model.h"
#include "model/run_events.h"
#include "text/ascii.h"

namespace model {
namespace {

constexpr char kInvalidDateText[] = "Invalid DateTime";

// The run date as the macro receives it: empty for no date, the en-US text
// of a valid one.
std::string RunDateText(const RunDate& date) {
  if (date.status == RunDate::kNull) return {};
  if (date.status != RunDate::kValid) return kInvalidDateText;
  com::DateTextOptions options;
  options.invalidAsText = true;
  std::string text;
  if (com::FAILED(com::DateToText(date.days, options, &text))) return kInvalidDateText;
  return text;
}

// Before day 0 an OLE date counts its whole days backwards but its time of
// day forwards (-1.25 is 29 December 1899, 06:00), so moving a date by days
// goes through a plain day count.
double LinearDays(double date) {
  if (date >= 0.0) return date;
  const double day = std::ceil(date);
  return day + (day - date);
}

double OleDays(double linear) {
  if (linear >= 0.0) return linear;
  const double day = std::floor(linear);
  const double time = linear - day;
  return time == 0.0 ? day : day - time;
}

RunDate DaysLater(double date, double days) {
  RunDate result;
  result.days = OleDays(LinearDays(date) + days);
  com::CivilDateTime civil;
  result.status = com::OleDateToCivil(result.days, &civil) ? RunDate::kValid : RunDate::kInvalid;
  return result;
}

// The macro's call with the held control writes made first inside it;
// none when they cannot go with it: nothing ran, nothing held was written.
std::optional<outcome::Error> RunCarryingWrites(optimisation::HeldCells& held,
                                                automation::CExcExcelObj* session,
                                                const std::string& macro, std::int32_t step,
                                                const std::optional<std::string>& date) {
  if (text::IsBlank(macro) || session == nullptr) return std::nullopt;
  const std::optional<std::vector<excel::CellWrite>> writes = held.WritesToCarry();
  if (!writes) return std::nullopt;
  std::optional<outcome::Error> ran =
      session->RunMacroAfterWriting(*writes, macro, step, date ? &*date : nullptr);
  if (ran) held.WritesCarried();
  return ran;
}

}  // namespace

outcome::Error CExcModel::RunEventMacro(std::size_t event) {
  if (event >= casedata::kEventCount)
    return outcome::Error::Failed("There is no run-time event " + std::to_string(event));
  const std::string& macro = caseDetails.macros[event];
  automation::CExcExcelObj* session = Session();
  // The macro declares the timestep as a 32-bit integer.
  const auto step = static_cast<std::int32_t>(timestep);
  const std::optional<std::string> date =
      caseDetails.passDate[event] ? std::optional(RunDateText(runDate)) : std::nullopt;
  // Control writes still held go first: in the macro's own call when they
  // can, which saves the application a call.
  if (heldCells.HoldsWrites()) {
    if (std::optional<outcome::Error> ran =
            RunCarryingWrites(heldCells, session, macro, step, date))
      return std::move(*ran);
    if (outcome::Error held = heldCells.SendWrites(session)) return held;
  }
  if (text::IsBlank(macro)) return outcome::Error::Success();
  if (session == nullptr) return outcome::Error::Failed(automation::kNoConnectionMessage);
  if (date) return session->RunMacroIntText(macro, step, *date);
  return session->RunMacroInt(macro, step);
}

outcome::Error CExcModel::OnStartOfRun() {
  nextEvent = values::kUndefinedValue;
  timestep = 0;
  const automation::SpreadsheetLock lock;
  automation::CExcExcelObj* session = Session();
  if (caseDetails.hideInterface && session != nullptr) session->SetVisible(false);
  return RunEventMacro(kStartOfRunEvent);
}

void CExcModel::OnNextTimestep() {
  ++timestep;
}

outcome::Error CExcModel::OnEndOfRun() {
  const automation::SpreadsheetLock lock;
  // A failed macro leaves the run's state as it is (window hidden, timestep
  // kept), so the workbook can still be inspected as the run left it.
  if (outcome::Error error = RunEventMacro(kEndOfRunEvent)) return error;
  automation::CExcExcelObj* session = Session();
  if (caseDetails.hideInterface && session != nullptr) session->SetVisible(true);
  timestep = 0;
  return outcome::Error::Success();
}

outcome::Error CExcModel::OnStopRun() {
  // Through the table, so that an override of OnEndOfRun changes both.
  return OnEndOfRun();
}

void CExcModel::SetDate(double dayBeforeRun) {
  const automation::SpreadsheetLock lock;
  runDate = DaysLater(dayBeforeRun, 1.0);
}

std::optional<double> CExcModel::GetNextEvent() {
  if (nextEvent > values::kUndefinedThreshold) return std::nullopt;
  return nextEvent;
}

outcome::Error CExcModel::OnPreSolve() {
  return RunEventMacro(kPreSolveEvent);
}

outcome::Error CExcModel::OnPostSolve() {
  return RunEventMacro(kPostSolveEvent);
}

outcome::Error CExcModel::OnPostSolve2() {
  return RunEventMacro(kPostSolve2Event);
}

// Host codes 112 and 113 carry events the workbook has no macro for.
outcome::Error CExcModel::IgnoreEvent112() {
  return outcome::Error::Success();
}

outcome::Error CExcModel::IgnoreEvent113() {
  return outcome::Error::Success();
}

outcome::Error CExcModel::OnStartOfTimestep() {
  return RunEventMacro(kStartOfTimestepEvent);
}

outcome::Error CExcModel::OnEndOfTimestep() {
  return RunEventMacro(kEndOfTimestepEvent);
}

}  // namespace model
