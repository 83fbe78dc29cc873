// The model's optimisation slots: the model's items and session go to the
// optimisation operations; only the set-up dialog is run here.
#include "model/dialogs.h"
#include "model/model.h"
#include "optimisation/optimisation_ops.h"

namespace model {
namespace {

optimisation::OptimisationItems ItemsOf(CExcModel& model) {
  return {model.objective, model.constraints, model.controls, model.intControls};
}

// Lets the user edit the items; false when the dialog was cancelled, with the
// items as they were before it opened.
bool EditOptimisation(CExcModel& model, std::int32_t mode, ExtStatusRecord* status) {
  const std::shared_ptr<Dialogs> dialogs = DialogsToShow(status);
  if (!dialogs) return false;
  const optimisation::CExcObjFn objective(model.objective);
  const optimisation::CExcclConstraint constraints(model.constraints);
  const optimisation::CExcclControlVariable controls(model.controls);
  const optimisation::CExcclIntCtrlVariable intControls(model.intControls);
  const OptimiserPage page =
      mode >= 2 ? OptimiserPage::kControls : OptimiserPage::kObjectiveAndConstraints;
  // The session offers no window of the application to own the dialog.
  if (dialogs->SetupOptimisation(page, model, nullptr) == DialogResult::kOk) return true;
  // The dialog puts back what it was given; this also covers one that
  // does not.
  model.objective = objective;
  model.constraints = constraints;
  model.controls = controls;
  model.intControls = intControls;
  return false;
}

}  // namespace

std::int32_t CExcModel::SetupOptimisation(void* problemRecord, std::int32_t mode,
                                          ExtStatusRecord* status) {
  if (!optimisation::CanSetUpProblem(Session(), status)) return EXT_RESULT_NONE;
  if (mode >= 0 && !EditOptimisation(*this, mode, status)) return EXT_RESULT_FAILED;
  return optimisation::WriteProblemRecord(ItemsOf(*this), problemRecord, status);
}

std::int32_t CExcModel::CheckIntegerControls(void* listRecord, ExtStatusRecord* status) {
  return optimisation::CheckIntegerControls(intControls, listRecord, status);
}

std::int32_t CExcModel::GetObjectiveFunction(void* valueRecord, ExtStatusRecord* status) {
  return optimisation::GetObjectiveFunction(objective, Session(), valueRecord, status);
}

std::int32_t CExcModel::GetConstraints(void* valueRecord, ExtStatusRecord* status) {
  return optimisation::GetConstraints(constraints, Session(), valueRecord, status);
}

std::int32_t CExcModel::SetControls(void* valueRecord, ExtStatusRecord* status) {
  return optimisation::SetControls(controls, Session(), valueRecord, status);
}

std::int32_t CExcModel::GetControls(void* valueRecord, ExtStatusRecord* status) {
  return optimisation::GetControls(controls, Session(), valueRecord, status);
}

std::int32_t CExcModel::SetIntegerControls(void* valueRecord, ExtStatusRecord* status) {
  return optimisation::SetIntegerControls(intControls, Session(), valueRecord, status);
}

std::int32_t CExcModel::GetIntegerControls(void* valueRecord, ExtStatusRecord* status) {
  return optimisation::GetIntegerControls(intControls, Session(), valueRecord, status);
}

std::int32_t CExcModel::ClearOptimisation(std::int32_t mask, ExtStatusRecord* /*status*/) {
  optimisation::ClearOptimisation(ItemsOf(*this), mask);
  return EXT_RESULT_OK;
}

}  // namespace model
