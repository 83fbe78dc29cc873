// The run-time events of a host run: each may run a workbook macro with the
// timestep counter and, when the case asks for it, the run date as text.
// Start and end of run and the run date hold SpreadsheetLock; the events in
// between call the session without it.
#include <cmath>
#include <string>
#include <string_view>

#include "automation/cell_address.h"
#include "automation/spreadsheet_lock.h"
#include "com/ole_date.h"
#include "host/host_record.h"
#include "host/message.h"
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

}  // namespace

std::int32_t CExcModel::RunEventMacro(std::size_t event, ExtStatusRecord* status) {
  if (event >= kEventCount) {
    host::StatusRecord record(status);
    host::WriteStatus(record, "There is no run-time event %zu", event);
    return 1;
  }
  const std::string& macro = caseDetails.macros[event];
  if (text::IsBlank(macro)) return 0;
  if (!HasConnection(status)) return 1;
  automation::CExcExcelObj* session = Session();
  // The macro declares the timestep as a 32-bit integer.
  const auto step = static_cast<std::int32_t>(timestep);
  const automation::Message message = host::StatusText(status);
  if (caseDetails.passDate[event]) {
    return session->RunMacroIntText(macro, step, RunDateText(runDate), message);
  }
  return session->RunMacroInt(macro, step, message);
}

std::int32_t CExcModel::OnStartOfRun(void* /*arg*/, ExtStatusRecord* status) {
  nextEvent = EXT_UNDEFINED_VALUE;
  timestep = 0;
  const automation::SpreadsheetLock lock;
  automation::CExcExcelObj* session = Session();
  if (caseDetails.hideInterface && session != nullptr) session->SetVisible(false);
  return RunEventMacro(kStartOfRunEvent, status) > 0 ? 1 : 0;
}

std::int32_t CExcModel::OnNextTimestep(void* /*arg*/, ExtStatusRecord* /*status*/) {
  ++timestep;
  return 0;
}

std::int32_t CExcModel::OnEndOfRun() {
  const automation::SpreadsheetLock lock;
  // The host takes no message from the end of a run: the macro reports into
  // a record of its own.
  ExtStatusRecord scratch{};
  scratch.size = EXT_STATUS_RECORD_SIZE;
  // A failed macro leaves the run's state as it is (window hidden, timestep
  // kept), so the workbook can still be inspected as the run left it.
  if (RunEventMacro(kEndOfRunEvent, &scratch) > 0) return 1;
  automation::CExcExcelObj* session = Session();
  if (caseDetails.hideInterface && session != nullptr) session->SetVisible(true);
  timestep = 0;
  return 0;
}

std::int32_t CExcModel::OnStopRun() {
  // Through the table, so that an override of OnEndOfRun changes both.
  return OnEndOfRun();
}

std::int32_t CExcModel::SetDate(void* dateRecord, std::int32_t /*ignored*/,
                                ExtStatusRecord* status) {
  const automation::SpreadsheetLock lock;
  const host::ConstHostRecord record(dateRecord, EXT_DATE_RECORD_MIN_SIZE);
  double hostDate = 0.0;
  if (!record.ReadDouble(EXT_DATE_RECORD_DATE_OFFSET, hostDate)) {
    host::StatusRecord statusRecord(status);
    host::WriteStatus(statusRecord, "No run date was given");
    return 1;
  }
  // The host passes the day before the run date.
  runDate = DaysLater(hostDate, 1.0);
  return 0;
}

std::int32_t CExcModel::GetNextEvent(void* valueRecord) {
  if (nextEvent > EXT_UNDEFINED_THRESHOLD) return 1;
  host::HostRecord record(valueRecord, EXT_NEXT_EVENT_RECORD_MIN_SIZE);
  if (!record.WriteU8(EXT_NEXT_EVENT_FLAG_OFFSET, 1) ||
      !record.WriteDouble(EXT_NEXT_EVENT_TIME_OFFSET, nextEvent)) {
    return 1;
  }
  return 0;
}

std::int32_t CExcModel::OnPreSolve(ExtStatusRecord* status) {
  return RunEventMacro(kPreSolveEvent, status);
}

std::int32_t CExcModel::OnPostSolve(ExtStatusRecord* status) {
  return RunEventMacro(kPostSolveEvent, status);
}

std::int32_t CExcModel::OnPostSolve2(ExtStatusRecord* status) {
  return RunEventMacro(kPostSolve2Event, status);
}

// Host codes 112 and 113 carry events the workbook has no macro for.
std::int32_t CExcModel::OnEvent112(ExtStatusRecord* /*status*/) {
  return 0;
}

std::int32_t CExcModel::OnEvent113(ExtStatusRecord* /*status*/) {
  return 0;
}

std::int32_t CExcModel::OnStartOfTimestep(ExtStatusRecord* status) {
  return RunEventMacro(kStartOfTimestepEvent, status);
}

std::int32_t CExcModel::OnEndOfTimestep(ExtStatusRecord* status) {
  return RunEventMacro(kEndOfTimestepEvent, status);
}

}  // namespace model
