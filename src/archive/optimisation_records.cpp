#include "archive/optimisation_records.h"

#include <algorithm>

#include "archive/primitives.h"
#include "archive/versions.h"
#include "case/opt_items.h"

namespace archive {
namespace {

void TransferCellReference(Archive& archive, automation::CExcCellDef& reference) {
  TransferText(archive, reference.worksheet);
  TransferText(archive, reference.cell);
  TransferText(archive, reference.name);
  TransferText(archive, reference.unit);
}

}  // namespace

void Transfer(Archive& archive, optimisation::CExcObjFn& objective) {
  TransferFlag(archive, objective.Defined);
  TransferFlag(archive, objective.Maximise);
  TransferCellReference(archive, objective);
}

void Transfer(Archive& archive, optimisation::CExcConstraint& constraint) {
  TransferU32(archive, constraint.ConstraintType);
  TransferDouble(archive, constraint.Limit);
  TransferCellReference(archive, constraint);
}

void Transfer(Archive& archive, optimisation::CExcControlVariable& control) {
  TransferDouble(archive, control.LowerBound);
  TransferDouble(archive, control.UpperBound);
  TransferCellReference(archive, control);
}

void Transfer(Archive& archive, optimisation::CExcIntCtrlVariable& control) {
  TransferI32(archive, control.StateCount);
  if (archive.IsLoading()) control.StateCount = control.UsedStateCount();
  const auto pairs = static_cast<std::size_t>(StatePairCount(archive.Version()));
  for (std::size_t k = 0; k < pairs; ++k) {
    TransferText(archive, control.StateNames[k]);
    TransferText(archive, control.StateValues[k]);
  }
  TransferCellReference(archive, control);
}

}  // namespace archive
