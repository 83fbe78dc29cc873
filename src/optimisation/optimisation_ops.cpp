#include "optimisation/optimisation_ops.h"

#include <cmath>
#include <cstddef>
#include <string>
#include <utility>
#include <vector>

#include "automation/cell_address.h"
#include "automation/cell_transfer.h"
#include "automation/spreadsheet_lock.h"
#include "com/error.h"
#include "com/variants/variant.h"
#include "optimisation/held_cells.h"
#include "optimisation/printed_text.h"
#include "text/ascii.h"

namespace optimisation {
namespace {

using outcome::Error;

constexpr char kNoWorkbook[] =
    "Can not perform this function until a workbook is opened\n(double-click on the icon to "
    "create input and output icons)";
constexpr char kLostConnection[] = "Lost connection to Excel";
constexpr char kNoObjective[] = "An objective function is not set up in Excel";
constexpr char kUnknownConstraint[] = "Handle to unknown constraint passed to Gridmoor.dll";
constexpr char kUnknownControl[] = "A control variable in Excel is not defined";
constexpr char kUnknownIntegerControl[] = "An integer control variable in Excel is not defined";
constexpr char kUnknownIntegerHandle[] = "Unknown integer variable passed to Excel";

// The item a handle names, or null when it names none.
template <typename List>
auto* ItemAt(const List& list, std::int32_t handle) {
  return handle < 0 ? nullptr : list.At(static_cast<std::size_t>(handle));
}

// ---- The problem ----------------------------------------------------------

bool BoundPresent(double bound) {
  return bound < casedata::kThreshold;
}

casedata::ConstraintSense SenseOf(std::uint32_t type) {
  if (type == casedata::kLessThan) return casedata::ConstraintSense::kLess;
  if (type == casedata::kGreaterThan) return casedata::ConstraintSense::kGreater;
  return casedata::ConstraintSense::kEqual;
}

casedata::OptimisationProblem::Constraint Describe(const casedata::CExcConstraint& constraint,
                                                   std::int32_t handle) {
  return {constraint.name, constraint.unit, constraint.Limit, SenseOf(constraint.ConstraintType),
          handle};
}

casedata::OptimisationProblem::Control Describe(const casedata::CExcControlVariable& control,
                                                std::int32_t handle) {
  return {control.name,
          control.unit,
          BoundPresent(control.LowerBound),
          control.LowerBound,
          BoundPresent(control.UpperBound),
          control.UpperBound,
          handle};
}

casedata::OptimisationProblem::IntegerControl Describe(const casedata::CExcIntCtrlVariable& control,
                                                       std::int32_t handle) {
  casedata::OptimisationProblem::IntegerControl described{control.name, handle, {}};
  for (int k = 0; k < control.UsedStateCount(); ++k)
    described.stateLabels.push_back(control.StateLabel(k));
  return described;
}

// The first kMaxProblemItems entries of one kind; gives how many items did
// not fit.
template <typename List, typename Entry>
std::size_t DescribeList(const List& list, std::vector<Entry>& entries) {
  const std::size_t kept =
      list.size() < casedata::kMaxProblemItems ? list.size() : casedata::kMaxProblemItems;
  for (std::size_t i = 0; i < kept; ++i)
    entries.push_back(Describe(*list.At(i), static_cast<std::int32_t>(i)));
  return list.size() - kept;
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

// Why not, with kNone, when there is no session or it holds no workbook;
// the operation names what a missing workbook means to it.
Error NeedWorkbook(automation::CExcExcelObj* session, const char* noWorkbookMessage) {
  if (session == nullptr) return Error::Failed(automation::kNoConnectionMessage, outcome::kNone);
  if (session->GetWorkbook() == nullptr) return Error::Failed(noWorkbookMessage, outcome::kNone);
  return Error::Success();
}

// The state a set value chooses: truncated towards zero, and only a state in
// use. NaN and values out of range choose none.
bool StateIndex(double value, int stateCount, int& index) {
  if (!(value > -1.0 && value < static_cast<double>(stateCount))) return false;
  index = static_cast<int>(std::trunc(value));
  return true;
}

casedata::ItemReading Refused(const char* message) {
  return {std::nullopt, Error::Failed(message)};
}

}  // namespace

// Selects the item's worksheet and puts `value` into its cell; a blank cell
// reference binds nothing and writes nothing.
Error WriteItemCell(automation::CExcExcelObj* session, const automation::CExcCellDef& item,
                    const com::Variant& value) {
  if (session == nullptr) return Error::Failed(automation::kNoConnectionMessage);
  const auto failed = [&item](const std::string& why) {
    return Error::Failed("Error in setting data cell " + Printed(item.cell) + ", worksheet " +
                         Printed(item.worksheet) + ": (" + Printed(why) + ")");
  };
  try {
    if (const Error selection = session->SelectWorksheet(item.worksheet)) {
      return Error::Failed("Error in setting data in Excel: " + selection.Message());
    }
    if (text::IsBlank(item.cell)) return Error::Success();
    const std::string address = automation::CellAddress(item.cell);
    if (address.empty()) return failed(com::Failure(com::DISP_E_BADINDEX).Message());
    // Nothing written (no current worksheet) is a failure, not a success.
    if (session->SetCellValue(address, value) != 0) {
      return failed(com::Failure(com::E_POINTER).Message());
    }
    return Error::Success();
  } catch (const com::Error& error) {
    return failed(error.ErrorMessage());
  }
}

// Reads the item's cell as a number: the undefined value, and why, when the
// read fails.
casedata::ItemReading ReadItemCell(automation::CExcExcelObj* session,
                                   const automation::CExcCellDef& item) {
  outcome::Expected<double> value = automation::ReadCellDouble(session, item.worksheet, item.cell);
  if (!value) return {casedata::kUndefinedValue, value.TakeError()};
  return {*value, Error::Success()};
}

Error CanSetUpProblem(automation::CExcExcelObj* session) {
  return NeedWorkbook(session, kNoWorkbook);
}

casedata::OptimisationProblem DescribeProblem(const OptimisationItems& items) {
  casedata::OptimisationProblem problem;
  const casedata::CExcObjFn& objective = items.objective;
  problem.objective.defined = objective.Defined;
  if (objective.Defined) {
    problem.objective.name = objective.name;
    problem.objective.unit = objective.unit;
    problem.objective.maximise = objective.Maximise;
  }
  const std::size_t constraintsLeft = DescribeList(items.constraints, problem.constraints);
  const std::size_t controlsLeft = DescribeList(items.controls, problem.controls);
  const std::size_t intControlsLeft = DescribeList(items.intControls, problem.integerControls);
  if (constraintsLeft + controlsLeft + intControlsLeft > 0) {
    problem.notice = "The optimiser takes at most " + std::to_string(casedata::kMaxProblemItems) +
                     " items of each kind; left out: " +
                     LeftOutItems(constraintsLeft, controlsLeft, intControlsLeft);
  }
  return problem;
}

Error CheckIntegerControls(const casedata::CExcclIntegerControl& intControls,
                           const casedata::IntegerControlList& list) {
  if (list.count > casedata::kMaxCheckedIntegerControls) {
    return Error::Failed(
        "Too many integer controls passed to Excel: " + std::to_string(list.count) + " (at most " +
        std::to_string(casedata::kMaxCheckedIntegerControls) + ")");
  }
  for (const std::int32_t handle : list.handles) {
    const casedata::CExcIntCtrlVariable* control = ItemAt(intControls, handle);
    if (control == nullptr) return Error::Failed(kUnknownIntegerHandle);
    std::string problem;
    if (control->Validate(problem)) return Error::Failed(Printed(problem));
  }
  return Error::Success();
}

casedata::ItemReading GetObjectiveFunction(const casedata::CExcObjFn& objective,
                                           automation::CExcExcelObj* session,
                                           const casedata::CExcclConstraint* constraints,
                                           HeldCells* held) {
  const automation::SpreadsheetLock lock;
  if (Error lost = NeedWorkbook(session, kLostConnection)) return {std::nullopt, std::move(lost)};
  if (!objective.Defined) return Refused(kNoObjective);
  if (held != nullptr && constraints != nullptr)
    return held->ReadObjective(objective, *constraints, session);
  return ReadItemCell(session, objective);
}

casedata::ItemReading GetConstraints(const casedata::CExcclConstraint& constraints,
                                     automation::CExcExcelObj* session, std::int32_t handle,
                                     HeldCells* held) {
  const automation::SpreadsheetLock lock;
  if (Error lost = NeedWorkbook(session, kLostConnection)) return {std::nullopt, std::move(lost)};
  const casedata::CExcConstraint* constraint = ItemAt(constraints, handle);
  if (constraint == nullptr) return Refused(kUnknownConstraint);
  if (held != nullptr) {
    if (const std::optional<double> ahead = held->TakeConstraint(handle))
      return {*ahead, Error::Success()};
  }
  return ReadItemCell(session, *constraint);
}

Error SetControls(const casedata::CExcclControlVariable& controls,
                  automation::CExcExcelObj* session, const casedata::ItemValue& value) {
  const casedata::CExcControlVariable* control = ItemAt(controls, value.handle);
  if (control == nullptr) return Error::Failed(kUnknownControl);
  // The optimiser owns the bounds: the value goes in as given.
  return WriteItemCell(session, *control, com::Variant::Double(value.value));
}

casedata::ItemReading GetControls(const casedata::CExcclControlVariable& controls,
                                  automation::CExcExcelObj* session, std::int32_t handle) {
  const casedata::CExcControlVariable* control = ItemAt(controls, handle);
  if (control == nullptr) return Refused(kUnknownControl);
  return ReadItemCell(session, *control);
}

Error SetIntegerControls(const casedata::CExcclIntegerControl& intControls,
                         automation::CExcExcelObj* session, const casedata::ItemValue& value) {
  const casedata::CExcIntCtrlVariable* control = ItemAt(intControls, value.handle);
  int state = 0;
  if (control == nullptr || !StateIndex(value.value, control->UsedStateCount(), state))
    return Error::Failed(kUnknownIntegerControl);
  return WriteItemCell(session, *control,
                       com::Variant::Text(control->StateValues[static_cast<std::size_t>(state)]));
}

casedata::ItemReading GetIntegerControls(const casedata::CExcclIntegerControl& intControls,
                                         automation::CExcExcelObj* session, std::int32_t handle) {
  const casedata::CExcIntCtrlVariable* control = ItemAt(intControls, handle);
  if (control == nullptr) return Refused(kUnknownControl);
  outcome::Expected<std::string> text =
      automation::ReadCellText(session, control->worksheet, control->cell);
  if (!text) return {std::nullopt, text.TakeError()};
  int chosen = -1;
  for (int k = 0; k < control->UsedStateCount() && chosen < 0; ++k) {
    if (casedata::SameStateText(*text, control->StateValues[static_cast<std::size_t>(k)]))
      chosen = k;
  }
  return {static_cast<double>(chosen), Error::Success()};
}

void ClearOptimisation(const OptimisationItems& items, std::int32_t mask) {
  if ((mask & casedata::ClearMask::kObjective) != 0) items.objective.Clear();
  if ((mask & casedata::ClearMask::kConstraints) != 0) items.constraints.Clear();
  if ((mask & casedata::ClearMask::kControls) != 0) items.controls.Clear();
  if ((mask & casedata::ClearMask::kIntegerControls) != 0) items.intControls.Clear();
}

}  // namespace optimisation
