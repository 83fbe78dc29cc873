// The model's published-variable slots: the list, the session and the
// timestep go to the published-variable operations; block reads are kept in
// the model's ring of result texts. The batch files read and write the
// published variables with the optimisation items.
#include <string_view>

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

std::int32_t CExcModel::EditPublishedVariables(ExtWindow window, ExtStatusRecord* status) {
  const std::shared_ptr<Dialogs> dialogs = DialogsToShow(status);
  if (!dialogs) return 1;
  // On OK the dialog has rebuilt the list itself.
  const DialogResult result = dialogs->EditPublishedVariables(*this, window);
  return result == DialogResult::kOk ? 0 : 1;
}

std::int32_t CExcModel::GetNextPublishedVariable(void* variableRecord) {
  return optimisation::GetNextPublishedVariable(publishedVariables, variableRecord);
}

std::int32_t CExcModel::EvalPublishedVariables(void* variableRecord, ExtStatusRecord* status) {
  return optimisation::EvalPublishedVariables(publishedVariables, Session(), timestep,
                                              variableRecord, status);
}

std::int32_t CExcModel::EvalPublishedVariables2(void* variableRecord2, ExtStatusRecord* status) {
  return optimisation::EvalPublishedVariables2(
      publishedVariables, Session(), timestep,
      [this](std::string text) { return HandOutResultText(std::move(text)); }, variableRecord2,
      status);
}

std::int32_t CExcModel::AddPublishedVariable(void* addRecord, ExtStatusRecord* status) {
  return optimisation::AddPublishedVariable(publishedVariables, Session(), addRecord, status);
}

std::int32_t CExcModel::ReadBatchProblem(void* filesRecord, bool replace, ExtStatusRecord* status) {
  return optimisation::ReadBatchProblem(BatchItemsOf(*this), filesRecord, replace, status);
}

std::int32_t CExcModel::WriteBatchOutput(void* outputPath, ExtStatusRecord* status) {
  return optimisation::WriteBatchOutput(BatchItemsOf(*this), outputPath, status);
}

std::int32_t CExcModel::DelPublishedVariable(std::int32_t handle, ExtStatusRecord* status) {
  return optimisation::DelPublishedVariable(publishedVariables, handle, status);
}

}  // namespace model
