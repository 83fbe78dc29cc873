// The model's published-variable slots: the list, the session and the
// timestep go to the published-variable operations; block reads are kept in
// the model's ring of result texts. The batch files read and write the
// published variables with the optimisation items.
#include <string>
#include <utility>

#include "model/dialogs.h"
#include "model/model.h"
#include "optimisation/batch_problem.h"
#include "optimisation/published_ops.h"

namespace model {
namespace {

optimisation::BatchItems BatchItemsOf(CExcModel& model) {
  return {model.objective, model.constraints, model.controls, model.publishedVariables};
}

}  // namespace

// A cancelled dialog fails without a message.
outcome::Error CExcModel::EditPublishedVariables(values::WindowHandle window) {
  outcome::Expected<std::shared_ptr<Dialogs>> dialogs = DialogsToShow();
  if (!dialogs) return dialogs.TakeError();
  // On OK the dialog has rebuilt the list itself.
  const DialogResult result = (*dialogs)->EditPublishedVariables(*this, window);
  return result == DialogResult::kOk ? outcome::Error::Success()
                                     : outcome::Error::Failed(std::string());
}

std::optional<casedata::PublishedVariableInfo> CExcModel::GetNextPublishedVariable(
    std::int32_t handle) {
  return optimisation::GetNextPublishedVariable(publishedVariables, handle);
}

outcome::Expected<std::string> CExcModel::EvalPublishedVariables(
    const casedata::PublishedValueRequest& request) {
  return optimisation::EvalPublishedVariables(publishedVariables, Session(), timestep, request);
}

outcome::Expected<const char*> CExcModel::EvalPublishedVariablesAsBlock(
    const casedata::PublishedValueRequest& request) {
  outcome::Expected<std::string> text =
      optimisation::EvalPublishedVariablesAsBlock(publishedVariables, Session(), timestep, request);
  if (!text) return text.TakeError();
  if (request.set) return static_cast<const char*>(nullptr);
  return HandOutResultText(std::move(*text));
}

outcome::Expected<std::int32_t> CExcModel::AddPublishedVariable(
    const casedata::NewPublishedVariable& added) {
  return optimisation::AddPublishedVariable(publishedVariables, Session(), added);
}

outcome::Error CExcModel::ReadBatchProblem(const casedata::BatchFiles& files, bool replace) {
  return optimisation::ReadBatchProblem(BatchItemsOf(*this), files, replace);
}

outcome::Error CExcModel::WriteBatchOutput(const casedata::BatchPath& output) {
  return optimisation::WriteBatchOutput(BatchItemsOf(*this), output);
}

outcome::Error CExcModel::DelPublishedVariable(std::int32_t handle) {
  return optimisation::DelPublishedVariable(publishedVariables, handle);
}

}  // namespace model
