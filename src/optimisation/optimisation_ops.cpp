#include "optimisation/optimisation_ops.h"

#include <cmath>
#include <cstddef>
#include <string>
#include <vector>

#include "automation/cell_address.h"
#include "automation/cell_transfer.h"
#include "automation/spreadsheet_lock.h"
#include "com/error.h"
#include "com/variant.h"
#include "host/host_record.h"
#include "host/message.h"
#include "text/ascii.h"

namespace optimisation {
namespace {

constexpr char kNoWorkbook[] =
    "Can not perform this function until a workbook is opened\n(double-click on the icon to "
    "create input and output icons)";
constexpr char kLostConnection[] = "Lost connection to Excel";
constexpr char kNoObjective[] = "An objective function is not set up in Excel";
constexpr char kUnknownConstraint[] = "Handle to unknown constraint passed to Gridmoor.dll";
constexpr char kUnknownControl[] = "A control variable in Excel is not defined";
constexpr char kUnknownIntegerControl[] = "An integer control variable in Excel is not defined";
constexpr char kUnknownIntegerHandle[] = "Unknown integer variable passed to Excel";
constexpr char kNoRecord[] = "No record was passed to Gridmoor.dll";

constexpr std::size_t kMaxItems = EXT_OPT_PROBLEM_MAX_ITEMS;

// The item a handle names, or null when it names none.
template <typename List>
auto* ItemAt(const List& list, std::int32_t handle) {
  return handle < 0 ? nullptr : list.At(static_cast<std::size_t>(handle));
}

bool ReadHandle(const host::ConstHostRecord& record, std::int32_t& handle) {
  return record.ReadI32(EXT_OPT_VALUE_HANDLE_OFFSET, handle);
}

// ---- The problem record -------------------------------------------------

// Writes into one host record and remembers whether every write landed.
class FieldWriter {
 public:
  explicit FieldWriter(const host::HostRecord& record) : record_(record) {}

  void Byte(std::size_t offset, bool value) { Note(record_.WriteU8(offset, value ? 1 : 0)); }
  void Int(std::size_t offset, std::int32_t value) { Note(record_.WriteI32(offset, value)); }
  void Double(std::size_t offset, double value) { Note(record_.WriteDouble(offset, value)); }
  // Always terminated: the text is cut at a character boundary to fit.
  void Terminated(std::size_t offset, std::size_t size, const std::string& text) {
    Note(record_.WriteText(offset, size, text, host::TextFit::kTerminated));
  }
  // The whole field is the text's: a text as wide as the field has no NUL.
  void FieldWide(std::size_t offset, std::size_t size, const std::string& text) {
    Note(record_.WriteText(offset, size, text, host::TextFit::kMayFill));
  }
  bool ok() const { return ok_; }

 private:
  void Note(bool written) { ok_ = ok_ && written; }

  host::HostRecord record_;
  bool ok_ = true;
};

bool BoundPresent(double bound) {
  return bound < kThreshold;
}

std::int32_t RecordConstraintType(std::uint32_t type) {
  if (type == kLessThan) return EXT_CONSTRAINT_LESS;
  if (type == kGreaterThan) return EXT_CONSTRAINT_GREATER;
  return EXT_CONSTRAINT_EQUAL;
}

bool WriteObjective(const CExcObjFn& objective, const host::HostRecord& record) {
  FieldWriter out(record);
  out.Byte(EXT_OPT_PROBLEM_OBJ_DEFINED_OFFSET, objective.Defined);
  if (objective.Defined) {
    out.FieldWide(EXT_OPT_PROBLEM_OBJ_NAME_OFFSET, EXT_OPT_PROBLEM_OBJ_NAME_SIZE, objective.name);
    out.FieldWide(EXT_OPT_PROBLEM_OBJ_UNIT_OFFSET, EXT_OPT_PROBLEM_OBJ_UNIT_SIZE, objective.unit);
    out.Byte(EXT_OPT_PROBLEM_OBJ_MAXIMISE_OFFSET, objective.Maximise);
  }
  return out.ok();
}

bool WriteConstraint(const CExcConstraint& constraint, std::int32_t handle,
                     const host::HostRecord& entry) {
  FieldWriter out(entry);
  out.FieldWide(EXT_OPT_CONSTRAINT_NAME_OFFSET, EXT_OPT_CONSTRAINT_NAME_SIZE, constraint.name);
  out.FieldWide(EXT_OPT_CONSTRAINT_UNIT_OFFSET, EXT_OPT_CONSTRAINT_UNIT_SIZE, constraint.unit);
  out.Double(EXT_OPT_CONSTRAINT_LIMIT_OFFSET, constraint.Limit);
  out.Int(EXT_OPT_CONSTRAINT_TYPE_OFFSET, RecordConstraintType(constraint.ConstraintType));
  out.Int(EXT_OPT_CONSTRAINT_HANDLE_OFFSET, handle);
  out.Byte(EXT_OPT_CONSTRAINT_BYTE96_OFFSET, false);
  return out.ok();
}

bool WriteControl(const CExcControlVariable& control, std::int32_t handle,
                  const host::HostRecord& entry) {
  FieldWriter out(entry);
  out.Terminated(EXT_OPT_CONTROL_NAME_OFFSET, EXT_OPT_CONTROL_NAME_SIZE, control.name);
  out.Terminated(EXT_OPT_CONTROL_UNIT_OFFSET, EXT_OPT_CONTROL_UNIT_SIZE, control.unit);
  out.Byte(EXT_OPT_CONTROL_HAS_LOWER_OFFSET, BoundPresent(control.LowerBound));
  out.Double(EXT_OPT_CONTROL_LOWER_OFFSET, control.LowerBound);
  out.Byte(EXT_OPT_CONTROL_HAS_UPPER_OFFSET, BoundPresent(control.UpperBound));
  out.Double(EXT_OPT_CONTROL_UPPER_OFFSET, control.UpperBound);
  out.Int(EXT_OPT_CONTROL_HANDLE_OFFSET, handle);
  out.Double(EXT_OPT_CONTROL_WORD88_OFFSET, EXT_UNDEFINED_VALUE);
  return out.ok();
}

bool WriteIntegerControl(const CExcIntCtrlVariable& control, std::int32_t handle,
                         const host::HostRecord& entry) {
  FieldWriter out(entry);
  const int states = control.UsedStateCount();
  out.Terminated(EXT_OPT_INT_CONTROL_NAME_OFFSET, EXT_OPT_INT_CONTROL_NAME_SIZE, control.name);
  out.Int(EXT_OPT_INT_CONTROL_HANDLE_OFFSET, handle);
  out.Int(EXT_OPT_INT_CONTROL_STATE_COUNT_OFFSET, states);
  for (int k = 0; k < states; ++k) {
    out.FieldWide(EXT_OPT_INT_CONTROL_LABELS_OFFSET +
                      static_cast<std::size_t>(k) * EXT_OPT_INT_CONTROL_LABEL_SIZE,
                  EXT_OPT_INT_CONTROL_LABEL_SIZE, control.StateLabel(k));
  }
  return out.ok();
}

// Writes the count and the first kMaxItems entries of one kind; gives how
// many items did not fit.
template <typename List, typename WriteEntry>
std::size_t WriteTable(const List& list, const host::HostRecord& record, std::size_t tableOffset,
                       std::size_t entrySize, std::size_t countOffset, WriteEntry writeEntry,
                       bool& ok) {
  const std::size_t written = list.size() < kMaxItems ? list.size() : kMaxItems;
  FieldWriter count(record);
  count.Int(countOffset, static_cast<std::int32_t>(written));
  ok = ok && count.ok();
  for (std::size_t i = 0; i < written; ++i) {
    host::HostRecord entry;
    ok = record.Slice(tableOffset + i * entrySize, entrySize, entry) &&
         writeEntry(*list.At(i), static_cast<std::int32_t>(i), entry) && ok;
  }
  return list.size() - written;
}

// "5 constraints, 1 control": the kinds of which some were left out.
std::string LeftOutItems(std::size_t constraints, std::size_t controls, std::size_t intControls) {
  std::string text;
  const auto add = [&text](std::size_t count, const char* one, const char* many) {
    if (count == 0) return;
    if (!text.empty()) text += ", ";
    text += std::to_string(count) + " " + (count == 1 ? one : many);
  };
  add(constraints, "constraint", "constraints");
  add(controls, "control", "controls");
  add(intControls, "integer control", "integer controls");
  return text;
}

// ---- Cell traffic ---------------------------------------------------------

// Selects the item's worksheet and puts `value` into its cell; a blank cell
// reference binds nothing and writes nothing.
std::int32_t WriteItemCell(automation::CExcExcelObj* session, const automation::CExcCellDef& item,
                           const com::Variant& value, host::StatusRecord& out) {
  if (session == nullptr) return host::Fail(out, "%s", automation::kNoConnectionMessage);
  try {
    char selection[EXT_STATUS_TEXT_SIZE] = {};
    if (session->SelectWorksheet(item.worksheet, selection) != 0) {
      return host::Fail(out, "Error in setting data in Excel: %s", selection);
    }
    if (text::IsBlank(item.cell)) return EXT_RESULT_OK;
    const std::string address = automation::CellAddress(item.cell);
    if (address.empty()) com::Throw(com::DISP_E_BADINDEX);
    // Nothing written (no current worksheet) is a failure, not a success.
    if (session->SetCellValue(address, value) != 0) com::Throw(com::E_POINTER);
    return EXT_RESULT_OK;
  } catch (const com::Error& error) {
    return host::Fail(out, "Error in setting data cell %s, worksheet %s: (%s)", item.cell.c_str(),
                      item.worksheet.c_str(), error.ErrorMessage().c_str());
  }
}

// Reads the item's cell as a number into the record: the undefined value
// when the read fails.
std::int32_t ReadItemCell(automation::CExcExcelObj* session, const automation::CExcCellDef& item,
                          host::HostRecord& record, ExtStatusRecord* status) {
  double value = EXT_UNDEFINED_VALUE;
  const int result = automation::ReadCellDouble(session, item.worksheet, item.cell, value,
                                                host::StatusText(status));
  static_cast<void>(record.WriteDouble(EXT_OPT_VALUE_VALUE_OFFSET, value));
  return result == 0 ? EXT_RESULT_OK : EXT_RESULT_FAILED;
}

// False, with a message, when there is no session or it holds no workbook;
// the operation names what a missing workbook means to it.
bool HasWorkbook(automation::CExcExcelObj* session, host::StatusRecord& out,
                 const char* noWorkbookMessage) {
  if (session == nullptr) {
    host::WriteStatus(out, "%s", automation::kNoConnectionMessage);
    return false;
  }
  if (session->GetWorkbook() == nullptr) {
    host::WriteStatus(out, "%s", noWorkbookMessage);
    return false;
  }
  return true;
}

// No session, or a session without a workbook: the connection is gone.
bool ConnectionLost(automation::CExcExcelObj* session, host::StatusRecord& out) {
  return !HasWorkbook(session, out, kLostConnection);
}

// The state a set value chooses: truncated towards zero, and only a state in
// use. NaN and values out of range choose none.
bool StateIndex(double value, int stateCount, int& index) {
  if (!(value > -1.0 && value < static_cast<double>(stateCount))) return false;
  index = static_cast<int>(std::trunc(value));
  return true;
}

}  // namespace

bool CanSetUpProblem(automation::CExcExcelObj* session, ExtStatusRecord* status) {
  host::StatusRecord out(status);
  return HasWorkbook(session, out, kNoWorkbook);
}

std::int32_t WriteProblemRecord(const OptimisationItems& items, void* problemRecord,
                                ExtStatusRecord* status) {
  host::StatusRecord out(status);
  const host::HostRecord record(problemRecord, EXT_OPT_PROBLEM_RECORD_SIZE);
  if (record.empty()) return host::Fail(out, "%s", kNoRecord);

  bool ok = WriteObjective(items.objective, record);
  const std::size_t constraintsLeft = WriteTable(
      items.constraints, record, EXT_OPT_PROBLEM_CONSTRAINTS_OFFSET, EXT_OPT_CONSTRAINT_ENTRY_SIZE,
      EXT_OPT_PROBLEM_CONSTRAINT_COUNT_OFFSET, WriteConstraint, ok);
  const std::size_t controlsLeft = WriteTable(
      items.controls, record, EXT_OPT_PROBLEM_CONTROLS_OFFSET, EXT_OPT_CONTROL_ENTRY_SIZE,
      EXT_OPT_PROBLEM_CONTROL_COUNT_OFFSET, WriteControl, ok);
  const std::size_t intControlsLeft =
      WriteTable(items.intControls, record, EXT_OPT_PROBLEM_INT_CONTROLS_OFFSET,
                 EXT_OPT_INT_CONTROL_ENTRY_SIZE, EXT_OPT_PROBLEM_INT_CONTROL_COUNT_OFFSET,
                 WriteIntegerControl, ok);
  if (!ok) return host::Fail(out, "The optimisation problem could not be written");

  if (constraintsLeft + controlsLeft + intControlsLeft > 0) {
    host::WriteStatus(out, "The optimiser takes at most %zu items of each kind; left out: %s",
                      kMaxItems,
                      LeftOutItems(constraintsLeft, controlsLeft, intControlsLeft).c_str());
  }
  return EXT_RESULT_OK;
}

std::int32_t CheckIntegerControls(const CExcclIntCtrlVariable& intControls, const void* listRecord,
                                  ExtStatusRecord* status) {
  host::StatusRecord out(status);
  std::int32_t count = 0;
  const host::ConstHostRecord head(listRecord, EXT_INT_CONTROL_LIST_HANDLES_OFFSET);
  if (!head.ReadI32(EXT_INT_CONTROL_LIST_COUNT_OFFSET, count))
    return host::Fail(out, "%s", kNoRecord);
  if (count > EXT_INT_CONTROL_LIST_MAX_HANDLES) {
    return host::Fail(out, "Too many integer controls passed to Excel: %d (at most %d)", count,
                      static_cast<int>(EXT_INT_CONTROL_LIST_MAX_HANDLES));
  }
  // Only as far as the count reaches: the host's room for handles varies.
  const std::size_t handles = count > 0 ? static_cast<std::size_t>(count) : 0;
  const host::ConstHostRecord list(listRecord, EXT_INT_CONTROL_LIST_HANDLES_OFFSET + 4 * handles);
  for (std::size_t j = 0; j < handles; ++j) {
    std::int32_t handle = -1;
    static_cast<void>(list.ReadI32(EXT_INT_CONTROL_LIST_HANDLES_OFFSET + 4 * j, handle));
    const CExcIntCtrlVariable* control = ItemAt(intControls, handle);
    if (control == nullptr) return host::Fail(out, "%s", kUnknownIntegerHandle);
    std::string problem;
    if (control->Validate(problem)) return host::Fail(out, "%s", problem.c_str());
  }
  return EXT_RESULT_OK;
}

std::int32_t GetObjectiveFunction(const CExcObjFn& objective, automation::CExcExcelObj* session,
                                  void* valueRecord, ExtStatusRecord* status) {
  const automation::SpreadsheetLock lock;
  host::StatusRecord out(status);
  host::HostRecord record(valueRecord, EXT_OPT_VALUE_RECORD_MIN_SIZE);
  if (record.empty()) return host::Fail(out, "%s", kNoRecord);
  if (ConnectionLost(session, out)) return EXT_RESULT_NONE;
  if (!objective.Defined) return host::Fail(out, "%s", kNoObjective);
  return ReadItemCell(session, objective, record, status);
}

std::int32_t GetConstraints(const CExcclConstraint& constraints, automation::CExcExcelObj* session,
                            void* valueRecord, ExtStatusRecord* status) {
  const automation::SpreadsheetLock lock;
  host::StatusRecord out(status);
  host::HostRecord record(valueRecord, EXT_OPT_VALUE_RECORD_MIN_SIZE);
  std::int32_t handle = -1;
  if (!ReadHandle(record, handle)) return host::Fail(out, "%s", kNoRecord);
  if (ConnectionLost(session, out)) return EXT_RESULT_NONE;
  const CExcConstraint* constraint = ItemAt(constraints, handle);
  if (constraint == nullptr) return host::Fail(out, "%s", kUnknownConstraint);
  return ReadItemCell(session, *constraint, record, status);
}

std::int32_t SetControls(const CExcclControlVariable& controls, automation::CExcExcelObj* session,
                         const void* valueRecord, ExtStatusRecord* status) {
  host::StatusRecord out(status);
  const host::ConstHostRecord record(valueRecord, EXT_OPT_VALUE_RECORD_MIN_SIZE);
  std::int32_t handle = -1;
  double value = EXT_UNDEFINED_VALUE;
  if (!ReadHandle(record, handle) || !record.ReadDouble(EXT_OPT_VALUE_VALUE_OFFSET, value)) {
    return host::Fail(out, "%s", kNoRecord);
  }
  const CExcControlVariable* control = ItemAt(controls, handle);
  if (control == nullptr) return host::Fail(out, "%s", kUnknownControl);
  // The optimiser owns the bounds: the value goes in as given.
  return WriteItemCell(session, *control, com::Variant::Double(value), out);
}

std::int32_t GetControls(const CExcclControlVariable& controls, automation::CExcExcelObj* session,
                         void* valueRecord, ExtStatusRecord* status) {
  host::StatusRecord out(status);
  host::HostRecord record(valueRecord, EXT_OPT_VALUE_RECORD_MIN_SIZE);
  std::int32_t handle = -1;
  if (!ReadHandle(record, handle)) return host::Fail(out, "%s", kNoRecord);
  const CExcControlVariable* control = ItemAt(controls, handle);
  if (control == nullptr) return host::Fail(out, "%s", kUnknownControl);
  return ReadItemCell(session, *control, record, status);
}

std::int32_t SetIntegerControls(const CExcclIntCtrlVariable& intControls,
                                automation::CExcExcelObj* session, const void* valueRecord,
                                ExtStatusRecord* status) {
  host::StatusRecord out(status);
  const host::ConstHostRecord record(valueRecord, EXT_OPT_VALUE_RECORD_MIN_SIZE);
  std::int32_t handle = -1;
  double value = EXT_UNDEFINED_VALUE;
  if (!ReadHandle(record, handle) || !record.ReadDouble(EXT_OPT_VALUE_VALUE_OFFSET, value)) {
    return host::Fail(out, "%s", kNoRecord);
  }
  const CExcIntCtrlVariable* control = ItemAt(intControls, handle);
  int state = 0;
  if (control == nullptr || !StateIndex(value, control->UsedStateCount(), state)) {
    return host::Fail(out, "%s", kUnknownIntegerControl);
  }
  return WriteItemCell(session, *control,
                       com::Variant::Text(control->StateValues[static_cast<std::size_t>(state)]),
                       out);
}

std::int32_t GetIntegerControls(const CExcclIntCtrlVariable& intControls,
                                automation::CExcExcelObj* session, void* valueRecord,
                                ExtStatusRecord* status) {
  host::StatusRecord out(status);
  host::HostRecord record(valueRecord, EXT_OPT_VALUE_RECORD_MIN_SIZE);
  std::int32_t handle = -1;
  if (!ReadHandle(record, handle)) return host::Fail(out, "%s", kNoRecord);
  const CExcIntCtrlVariable* control = ItemAt(intControls, handle);
  if (control == nullptr) return host::Fail(out, "%s", kUnknownControl);
  std::string text;
  if (automation::ReadCellText(session, control->worksheet, control->cell, text,
                               host::StatusText(status)) != 0) {
    return EXT_RESULT_FAILED;
  }
  int chosen = -1;
  for (int k = 0; k < control->UsedStateCount() && chosen < 0; ++k) {
    if (SameStateText(text, control->StateValues[static_cast<std::size_t>(k)])) chosen = k;
  }
  static_cast<void>(record.WriteDouble(EXT_OPT_VALUE_VALUE_OFFSET, chosen));
  return EXT_RESULT_OK;
}

void ClearOptimisation(const OptimisationItems& items, std::int32_t mask) {
  if ((mask & EXT_OPT_CLEAR_OBJECTIVE) != 0) items.objective.Clear();
  if ((mask & EXT_OPT_CLEAR_CONSTRAINTS) != 0) items.constraints.Clear();
  if ((mask & EXT_OPT_CLEAR_CONTROLS) != 0) items.controls.Clear();
  if ((mask & EXT_OPT_CLEAR_INT_CONTROLS) != 0) items.intControls.Clear();
}

}  // namespace optimisation
