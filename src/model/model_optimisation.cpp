// The model's optimisation slots: the model's items and session go to the
// optimisation operations; only the set-up dialog is run here.
#include "model/dialogs.h"
#include "model/model.h"
#include "optimisation/optimisation_ops.h"

namespace model {
namespace {

using outcome::Error;

optimisation::OptimisationItems ItemsOf(CExcModel& model) {
  return {model.objective, model.constraints, model.controls, model.intControls};
}

// Lets the user edit the items; fails when no dialog can be shown (saying
// why) or the dialog was cancelled (saying nothing), with the items as they
// were before it opened.
Error EditOptimisation(CExcModel& model, std::int32_t mode) {
  outcome::Expected<std::shared_ptr<Dialogs>> shown = DialogsToShow();
  if (!shown) return shown.TakeError();
  Dialogs& dialogs = **shown;
  const casedata::CExcObjFn objective(model.objective);
  const casedata::CExcclConstraint constraints(model.constraints);
  const casedata::CExcclControlVariable controls(model.controls);
  const casedata::CExcclIntegerControl intControls(model.intControls);
  const OptimiserPage page =
      mode >= 2 ? OptimiserPage::kControls : OptimiserPage::kObjectiveAndConstraints;
  // The session offers no window of the application to own the dialog.
  if (dialogs.SetupOptimisation(page, model, nullptr) == DialogResult::kOk) return Error::Success();
  // The dialog puts back what it was given; this also covers one that
  // does not.
  model.objective = objective;
  model.constraints = constraints;
  model.controls = controls;
  model.intControls = intControls;
  return Error::Failed(std::string());
}

}  // namespace

outcome::Expected<casedata::OptimisationProblem> CExcModel::SetupOptimisation(std::int32_t mode) {
  if (Error error = optimisation::CanSetUpProblem(Session())) return error;
  if (mode >= 0) {
    if (Error error = EditOptimisation(*this, mode)) return error;
  }
  return optimisation::DescribeProblem(ItemsOf(*this));
}

Error CExcModel::CheckIntegerControls(const casedata::IntegerControlList& list) {
  return optimisation::CheckIntegerControls(intControls, list);
}

casedata::ItemReading CExcModel::GetObjectiveFunction() {
  return optimisation::GetObjectiveFunction(objective, Session(), &constraints, &heldCells);
}

casedata::ItemReading CExcModel::GetConstraints(std::int32_t handle) {
  return optimisation::GetConstraints(constraints, Session(), handle, &heldCells);
}

Error CExcModel::SetControls(const casedata::ItemValue& value) {
  return heldCells.HoldControl(controls, Session(), value);
}

casedata::ItemReading CExcModel::GetControls(std::int32_t handle) {
  return optimisation::GetControls(controls, Session(), handle);
}

Error CExcModel::SetIntegerControls(const casedata::ItemValue& value) {
  return optimisation::SetIntegerControls(intControls, Session(), value);
}

casedata::ItemReading CExcModel::GetIntegerControls(std::int32_t handle) {
  return optimisation::GetIntegerControls(intControls, Session(), handle);
}

void CExcModel::ClearOptimisation(std::int32_t mask) {
  optimisation::ClearOptimisation(ItemsOf(*this), mask);
}

Error CExcModel::BeforeRequest(Request request) {
  if (request != Request::kConstraintRead) heldCells.ForgetReadings();
  if (request == Request::kControlWrite || request == Request::kEvent) return Error::Success();
  return heldCells.SendWrites(Session());
}

}  // namespace model
