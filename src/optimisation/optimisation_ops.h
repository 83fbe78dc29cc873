// The driver operations of the optimiser: the problem that tells the host
// what the workbook offers, and the reads and writes of single items while
// the host optimises. An item's handle is its zero-based position in the
// list of its kind.
//
// Failures carry the host's message: result 1, or -1 (outcome::kNone) for
// no workbook where said. A null session means no connection; it fails with
// "There is no connection to Excel".
#pragma once

#include <cstdint>

#include "automation/cell_def.h"
#include "automation/excel_session.h"
#include "casedata/opt_items.h"
#include "casedata/values/optimisation_values.h"
#include "com/variants/variant.h"
#include "outcome/outcome.h"

namespace optimisation {

// The items of one model, borrowed for one call.
struct OptimisationItems {
  casedata::CExcObjFn& objective;
  casedata::CExcclConstraint& constraints;
  casedata::CExcclControlVariable& controls;
  casedata::CExcclIntegerControl& intControls;
};

// Success when the session holds a workbook, so that the problem can be set
// up; otherwise why not, with kNone.
outcome::Error CanSetUpProblem(automation::CExcExcelObj* session);

// The objective and the first kMaxProblemItems items of each kind. Items
// beyond that are left out and counted in the notice.
casedata::OptimisationProblem DescribeProblem(const OptimisationItems& items);

// Checks every handle of the list and runs Validate on its control.
outcome::Error CheckIntegerControls(const casedata::CExcclIntegerControl& intControls,
                                    const casedata::IntegerControlList& list);

class HeldCells;

// The objective's cell value (the undefined value when the read fails).
// kNone without a workbook. Holds SpreadsheetLock throughout. With `held`,
// the constraints on the objective's sheet are read in the same call and
// kept there.
casedata::ItemReading GetObjectiveFunction(const casedata::CExcObjFn& objective,
                                           automation::CExcExcelObj* session,
                                           const casedata::CExcclConstraint* constraints = nullptr,
                                           HeldCells* held = nullptr);
// As GetObjectiveFunction, for the constraint `handle` names: the value
// `held` read ahead, if it did.
casedata::ItemReading GetConstraints(const casedata::CExcclConstraint& constraints,
                                     automation::CExcExcelObj* session, std::int32_t handle,
                                     HeldCells* held = nullptr);

// Writes the value, unchanged, into the control's cell (VT_R8).
outcome::Error SetControls(const casedata::CExcclControlVariable& controls,
                           automation::CExcExcelObj* session, const casedata::ItemValue& value);
// Reads the control's cell (the undefined value when the read fails).
casedata::ItemReading GetControls(const casedata::CExcclControlVariable& controls,
                                  automation::CExcExcelObj* session, std::int32_t handle);

// Writes the value text of state k into the integer control's cell
// (VT_BSTR), k being the value truncated towards zero. A k that names no
// state in use is refused and the cell left as it is.
outcome::Error SetIntegerControls(const casedata::CExcclIntegerControl& intControls,
                                  automation::CExcExcelObj* session,
                                  const casedata::ItemValue& value);
// The index of the first state whose value text equals the cell's text (case
// aside), or -1 when none does; nothing when the cell cannot be read.
casedata::ItemReading GetIntegerControls(const casedata::CExcclIntegerControl& intControls,
                                         automation::CExcExcelObj* session, std::int32_t handle);

// The single-cell path of the items: selects the item's worksheet and puts
// `value` into its cell (a blank cell reference binds nothing and writes
// nothing), failing with the host's message for the item.
outcome::Error WriteItemCell(automation::CExcExcelObj* session, const automation::CExcCellDef& item,
                             const com::Variant& value);
// Reads the item's cell as a number: the undefined value, and why, when the
// read fails.
casedata::ItemReading ReadItemCell(automation::CExcExcelObj* session,
                                   const automation::CExcCellDef& item);

// Mask bits (ClearMask): 1 clears the objective, 2 deletes every
// constraint, 4 every control, 8 every integer control.
void ClearOptimisation(const OptimisationItems& items, std::int32_t mask);

}  // namespace optimisation
