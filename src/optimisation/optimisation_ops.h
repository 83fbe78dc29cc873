// The driver operations of the optimiser: the problem record that tells the
// host what the workbook offers, and the reads and writes of single items
// while the host optimises. An item's handle is its zero-based position in
// the list of its kind.
//
// Results: 0 success, 1 failure with a message in the status text, -1 no
// workbook where said. A null session means no connection; it fails with
// "There is no connection to Excel".
#pragma once

#include <cstdint>

#include "automation/excel_session.h"
#include "case/opt_items.h"
#include "gridmoor/host.h"

namespace optimisation {

// The items of one model, borrowed for one call.
struct OptimisationItems {
  CExcObjFn& objective;
  CExcclConstraint& constraints;
  CExcclControlVariable& controls;
  CExcclIntCtrlVariable& intControls;
};

// True when the session holds a workbook, so that the problem can be set up;
// otherwise writes why not into `status`.
bool CanSetUpProblem(automation::CExcExcelObj* session, ExtStatusRecord* status);

// Fills the problem record (EXT_OPT_PROBLEM_RECORD_SIZE bytes) with the
// objective and the first EXT_OPT_PROBLEM_MAX_ITEMS items of each kind. Items
// beyond that are left out of the record and counted in the status text; the
// result is 0 all the same. Bytes the record does not name stay as they were.
std::int32_t WriteProblemRecord(const OptimisationItems& items, void* problemRecord,
                                ExtStatusRecord* status);

// Checks every integer-control handle of the list record (count at
// EXT_INT_CONTROL_LIST_COUNT_OFFSET) and runs Validate on its control.
std::int32_t CheckIntegerControls(const CExcclIntCtrlVariable& intControls, const void* listRecord,
                                  ExtStatusRecord* status);

// The value record's double is the objective's cell value (EXT_UNDEFINED_VALUE when the
// read fails). -1 without a workbook. Holds SpreadsheetLock throughout.
std::int32_t GetObjectiveFunction(const CExcObjFn& objective, automation::CExcExcelObj* session,
                                  void* valueRecord, ExtStatusRecord* status);
// As GetObjectiveFunction, for the constraint the record's handle names.
std::int32_t GetConstraints(const CExcclConstraint& constraints, automation::CExcExcelObj* session,
                            void* valueRecord, ExtStatusRecord* status);

// Writes the record's double, unchanged, into the control's cell (VT_R8).
std::int32_t SetControls(const CExcclControlVariable& controls, automation::CExcExcelObj* session,
                         const void* valueRecord, ExtStatusRecord* status);
// Reads the control's cell into the record's double (EXT_UNDEFINED_VALUE on failure).
std::int32_t GetControls(const CExcclControlVariable& controls, automation::CExcExcelObj* session,
                         void* valueRecord, ExtStatusRecord* status);

// Writes the value text of state k into the integer control's cell (VT_BSTR),
// k being the record's double truncated towards zero. A k that names no
// state in use is refused and the cell left as it is.
std::int32_t SetIntegerControls(const CExcclIntCtrlVariable& intControls,
                                automation::CExcExcelObj* session, const void* valueRecord,
                                ExtStatusRecord* status);
// Stores in the record's double the index of the first state whose value text
// equals the cell's text (case aside), or -1 when none does.
std::int32_t GetIntegerControls(const CExcclIntCtrlVariable& intControls,
                                automation::CExcExcelObj* session, void* valueRecord,
                                ExtStatusRecord* status);

// Mask bits (EXT_OPT_CLEAR_*): 1 clears the objective, 2 deletes every
// constraint, 4 every control, 8 every integer control.
void ClearOptimisation(const OptimisationItems& items, std::int32_t mask);

}  // namespace optimisation
