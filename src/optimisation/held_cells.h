// Cell traffic of the optimiser held between requests, so that a trial
// costs fewer calls to the application:
// - control values are written with the next request instead of one call
//   each, neighbouring cells of one sheet in one call;
// - the constraints on the objective's sheet are read with the objective,
//   in one call, and handed out while no other request comes between.
// The driver's dispatch keeps both honest: every request but a control write
// sends the held writes first (SendWrites), and every request but a
// constraint read forgets what was read ahead (ForgetReadings). So no read
// ever sees a cell as it was before a write.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "automation/excel_session.h"
#include "casedata/opt_items.h"
#include "casedata/values/optimisation_values.h"
#include "outcome/outcome.h"

namespace optimisation {

class HeldCells {
 public:
  // Holds the value for the control's cell; what can be refused without the
  // application (an unknown handle, a cell text that names no cell) is
  // refused now, with the message an immediate write gives.
  outcome::Error HoldControl(const casedata::CExcclControlVariable& controls,
                             automation::CExcExcelObj* session, const casedata::ItemValue& value);
  bool HoldsWrites() const { return !writes_.empty(); }
  // What is held, as cells a macro's call can write before the macro: none
  // when something is not a plain number for a plain cell, or block
  // transfer is off (every cell in a call of its own).
  std::optional<std::vector<excel::CellWrite>> WritesToCarry() const;
  // Forgets what is held once a macro's call has written it.
  void WritesCarried() { writes_.clear(); }
  // Writes what is held, in the order it came. A failed write is answered
  // as itself, as its own request would have been, and the writes after it
  // are dropped: the host would not have made them.
  outcome::Error SendWrites(automation::CExcExcelObj* session);

  // The objective's value as GetObjectiveFunction reads it; the constraints
  // on its sheet come in the same call and are kept for TakeConstraint.
  casedata::ItemReading ReadObjective(const casedata::CExcObjFn& objective,
                                      const casedata::CExcclConstraint& constraints,
                                      automation::CExcExcelObj* session);
  // The constraint's value read ahead, once; none when it must be read.
  std::optional<double> TakeConstraint(std::int32_t handle);
  void ForgetReadings() { readings_.clear(); }

 private:
  struct Write {
    std::string worksheet;
    std::string cell;
    std::string address;
    double value = 0;
  };
  // Writes writes[first, last), one sheet's cells in a line, in one call when it can.
  static outcome::Error SendRun(automation::CExcExcelObj* session, const std::vector<Write>& writes,
                                std::size_t first, std::size_t last);

  std::vector<Write> writes_;
  std::map<std::int32_t, double> readings_;
};

}  // namespace optimisation
