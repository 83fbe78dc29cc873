#include "driver/commands/command_table.h"

#include <algorithm>
#include <cstddef>

#include "driver/application/draw_icon.h"
#include "driver/commands/case_commands.h"
#include "driver/commands/optimisation_commands.h"
#include "driver/commands/stream_commands.h"
#include "driver/commands/workbook_commands.h"
#include "driver/records/data_server_records.h"
#include "host/host_record.h"
#include "model/model.h"

namespace driver {

using model::CExcModel;
using M = CExcModel&;
using A = const CommandArgs&;

namespace op {

std::int32_t RefreshSheetNames(M m, A) {
  m.RefreshSheetNames();
  return 0;
}

std::int32_t StartApplication(M m, A a) {
  return edge::StartApplication(m, a);
}

std::int32_t StopApplication(M m, A) {
  return m.StopApplication();
}

std::int32_t SendHeldCells(M, A) {
  return 0;
}

}  // namespace op

namespace {

const char* Text(void* arg) {
  return static_cast<const char*>(arg);
}

// Host-thread operations.
std::int32_t EditCaseOnHostThread(CExcModel* model, A a) {
  CExcModel& m = *model;
  // The dialog kind holds for this one call, whatever happens in it.
  struct KindScope {
    explicit KindScope(CExcModel& model, std::int32_t kind) : model(model) {
      model.dialogKind = kind;
    }
    ~KindScope() { model.dialogKind = 0; }
    CExcModel& model;
  } scope(m, a.iarg);
  return edge::EditCase(m, a);
}

std::int32_t DrawIconOnHostThread(CExcModel*, A a) {
  return DrawIcon(a.window, static_cast<ExtDrawSurface*>(a.arg));
}

std::int32_t SetLabelOnHostThread(CExcModel* m, A a) {
  m->SetLabel(host::ReadHostText(Text(a.arg)));
  return 0;
}

std::int32_t SetupOptimisationOnHostThread(CExcModel* m, A a) {
  return edge::SetupOptimisation(*m, a);
}

std::int32_t EditPublishedVariablesOnHostThread(CExcModel* m, A a) {
  return edge::Answer(m->EditPublishedVariables(a.window), a);
}

std::int32_t GetDispatchOnHostThread(CExcModel* m, A a) {
  return edge::GetDispatch(*m, a);
}

constexpr HostCommand Posted(std::int32_t code, std::int32_t fallback, ModelOperation operation) {
  return {code, Route::kPosted, operation, operation, fallback, nullptr, true, false};
}

constexpr HostCommand Posted(std::int32_t code, ModelOperation operation) {
  return Posted(code, 1, operation);
}

constexpr HostCommand PostedByIarg(std::int32_t code, ModelOperation operation,
                                   ModelOperation operationWhenIarg) {
  return {code, Route::kPosted, operation, operationWhenIarg, 1, nullptr, true, false};
}

// A posted row always has its operations: a null one is refused here, as
// the table's check below cannot compare the address of an operation
// defined in another file with null (a sanitizer build keeps null checks of
// addresses, so they are no constants there).
HostCommand Posted(std::int32_t code, std::nullptr_t) = delete;
HostCommand Posted(std::int32_t code, std::int32_t fallback, std::nullptr_t) = delete;
HostCommand PostedByIarg(std::int32_t code, std::nullptr_t, ModelOperation) = delete;
HostCommand PostedByIarg(std::int32_t code, ModelOperation, std::nullptr_t) = delete;

constexpr HostCommand Constant(std::int32_t code, std::int32_t result) {
  return {code, Route::kConstant, nullptr, nullptr, result, nullptr, false, false};
}

constexpr HostCommand OnHostThread(std::int32_t code, HostOperation operation, bool needsModel) {
  return {code, Route::kHostThread, nullptr, nullptr, 1, operation, needsModel, false};
}

constexpr HostCommand Dialog(std::int32_t code, HostOperation operation, bool needsWorkbook) {
  return {code, Route::kDialog, nullptr, nullptr, 1, operation, true, needsWorkbook};
}

constexpr HostCommand DirectOnly(std::int32_t code, HostOperation operation,
                                 std::int32_t threadedResult) {
  return {code, Route::kDirectOnly, nullptr, nullptr, threadedResult, operation, true, false};
}

constexpr HostCommand kHostCommands[] = {
    Posted(EXT_CMD_ENUM_STREAMS,
           [](M m, A a) { return EnumStreamsAtEdge(m, a.arg, a.iarg, a.status); }),
    Posted(EXT_CMD_QUERY_NUMBER, [](M m, A a) { return m.QueryNumber(a.iarg); }),
    Posted(EXT_CMD_RELOAD_WORKBOOK, edge::ReloadWorkbook),
    Dialog(EXT_CMD_EDIT_CASE, EditCaseOnHostThread, false),
    Constant(6, 0),
    OnHostThread(EXT_CMD_DRAW_ICON, DrawIconOnHostThread, false),
    Posted(EXT_CMD_SAVE_CASE_WORKBOOK, edge::SaveCaseWorkbook),
    Posted(EXT_CMD_QUERY_COMP, [](M m, A a) { return QueryCompAtEdge(m, a.status); }),
    Posted(EXT_CMD_CHANGE_FILE_DIRECTORY, edge::ChangeFileDirectory),
    Constant(11, 1),
    Posted(EXT_CMD_WRITE_CASE_DATA, edge::WriteCaseData),
    Posted(EXT_CMD_READ_CASE_DATA, edge::ReadCaseData),
    Posted(EXT_CMD_WRITE_MODEL_DATA, edge::WriteModelData),
    Posted(EXT_CMD_READ_MODEL_DATA, edge::ReadModelData),
    Posted(EXT_CMD_GET_FILE_DESCRIPTION, edge::GetFileDescription),
    Posted(EXT_CMD_GET_STREAM_COMPOSITION, -1,
           [](M m, A a) { return GetStreamCompositionAtEdge(m, a.arg, a.iarg, a.status); }),
    Posted(EXT_CMD_SET_MODEL_DATA_FILE, edge::SetModelDataFile),
    OnHostThread(EXT_CMD_SET_LABEL, SetLabelOnHostThread, true),
    Posted(EXT_CMD_OPEN_CASE_WORKBOOK, edge::OpenCaseWorkbook),
    Dialog(EXT_CMD_SETUP_OPTIMISATION, SetupOptimisationOnHostThread, true),
    Posted(EXT_CMD_CHECK_INTEGER_CONTROLS,
           [](M m, A a) { return edge::CheckIntegerControls(m, a); }),
    Posted(EXT_CMD_GET_OBJECTIVE_FUNCTION, -1,
           [](M m, A a) { return edge::GetObjectiveFunction(m, a); }),
    Posted(EXT_CMD_GET_CONSTRAINTS, -1, [](M m, A a) { return edge::GetConstraints(m, a); }),
    PostedByIarg(
        EXT_CMD_GET_CONTROLS, [](M m, A a) { return edge::GetControls(m, a); },
        [](M m, A a) { return edge::GetIntegerControls(m, a); }),
    PostedByIarg(
        EXT_CMD_SET_CONTROLS, [](M m, A a) { return edge::SetControls(m, a); },
        [](M m, A a) { return edge::SetIntegerControls(m, a); }),
    Posted(EXT_CMD_CLEAR_OPTIMISATION, [](M m, A a) { return edge::ClearOptimisation(m, a); }),
    Posted(EXT_CMD_START_OF_RUN, [](M m, A a) { return edge::Answer(m.OnStartOfRun(), a); }),
    Posted(EXT_CMD_NEXT_TIMESTEP,
           [](M m, A) -> std::int32_t {
             m.OnNextTimestep();
             return EXT_RESULT_OK;
           }),
    Posted(EXT_CMD_GET_IPR, [](M m, A a) { return GetIprAtEdge(m, a.arg, a.status); }),
    Posted(EXT_CMD_SET_IPR, [](M m, A a) { return SetIprAtEdge(m, a.arg, a.status); }),
    Constant(52, 0),
    Constant(53, 0),
    Constant(54, 0),
    Posted(EXT_CMD_END_OF_RUN, edge::EndOfRun),
    Posted(EXT_CMD_STOP_RUN, edge::EndOfRun),
    Posted(EXT_CMD_GET_NEXT_EVENT, edge::GetNextEvent),
    Posted(EXT_CMD_SET_DATE, edge::SetDate),
    Posted(EXT_CMD_SET_INTERFACE_VISIBLE,
           [](M m, A a) { return m.SetInterfaceVisible(a.iarg > 0); }),
    Posted(EXT_CMD_GET_DATA_SERVER_VALUE,
           [](M m, A a) { return GetDataServerValue(m, a.arg, a.status); }),
    Posted(EXT_CMD_SET_DATA_SERVER_VALUE,
           [](M m, A a) { return SetDataServerValue(m, a.arg, a.status); }),
    Posted(EXT_CMD_EXECUTE_COMMAND,
           [](M m, A a) { return ExecuteCommand(m, Text(a.arg), a.status); }),
    DirectOnly(EXT_CMD_GET_DISPATCH, GetDispatchOnHostThread, 1),
    Posted(EXT_CMD_PRE_SOLVE, [](M m, A a) { return edge::Answer(m.OnPreSolve(), a); }),
    Posted(EXT_CMD_POST_SOLVE, [](M m, A a) { return edge::Answer(m.OnPostSolve(), a); }),
    Posted(EXT_CMD_GET_NEXT_PUBLISHED_VARIABLE,
           [](M m, A a) { return edge::GetNextPublishedVariable(m, a); }),
    Dialog(EXT_CMD_EDIT_PUBLISHED_VARIABLES, EditPublishedVariablesOnHostThread, false),
    Posted(EXT_CMD_EVAL_PUBLISHED_VARIABLES,
           [](M m, A a) { return edge::EvalPublishedVariables(m, a); }),
    Posted(EXT_CMD_QUERY_ITEM_84, [](M m, A) { return m.DeclineQuery106(); }),
    Posted(EXT_CMD_QUERY_ITEM_85, [](M m, A a) { return m.DeclineQuery107(a.iarg); }),
    Posted(EXT_CMD_ADD_PUBLISHED_VARIABLE,
           [](M m, A a) { return edge::AddPublishedVariable(m, a); }),
    Posted(EXT_CMD_DEL_PUBLISHED_VARIABLE,
           [](M m, A a) { return edge::DelPublishedVariable(m, a); }),
    Posted(EXT_CMD_EVENT_112, [](M m, A a) { return edge::Answer(m.IgnoreEvent112(), a); }),
    Posted(EXT_CMD_EVENT_113, [](M m, A a) { return edge::Answer(m.IgnoreEvent113(), a); }),
    Posted(EXT_CMD_START_OF_TIMESTEP,
           [](M m, A a) { return edge::Answer(m.OnStartOfTimestep(), a); }),
    Posted(EXT_CMD_END_OF_TIMESTEP, [](M m, A a) { return edge::Answer(m.OnEndOfTimestep(), a); }),
    Posted(EXT_CMD_POST_SOLVE_2, [](M m, A a) { return edge::Answer(m.OnPostSolve2(), a); }),
    Posted(EXT_CMD_EVAL_PUBLISHED_VARIABLES_2,
           [](M m, A a) { return edge::EvalPublishedVariablesAsBlock(m, a); }),
    Posted(EXT_CMD_GET_FILE_LABEL, edge::GetFileLabel),
    Posted(EXT_CMD_SET_FILE_NAME, edge::SetFileName),
    Posted(EXT_CMD_READ_BATCH_PROBLEM, [](M m, A a) { return edge::ReadBatchProblem(m, a); }),
    Posted(EXT_CMD_WRITE_BATCH_OUTPUT, [](M m, A a) { return edge::WriteBatchOutput(m, a); }),
};

constexpr bool IsWellFormed() {
  for (std::size_t i = 0; i < std::size(kHostCommands); ++i) {
    const HostCommand& command = kHostCommands[i];
    if (i > 0 && kHostCommands[i - 1].code >= command.code) return false;
    const bool posted = command.route == Route::kPosted;
    const bool constant = command.route == Route::kConstant;
    if (!posted && !constant && command.hostOperation == nullptr) return false;
  }
  return true;
}
static_assert(IsWellFormed(),
              "the host command table is in code order (it is searched by halves) and every "
              "host-thread row has its operation");

}  // namespace

const HostCommand* FindHostCommand(std::int32_t code) {
  const auto* end = std::end(kHostCommands);
  const auto* found = std::lower_bound(
      std::begin(kHostCommands), end, code,
      [](const HostCommand& command, std::int32_t value) { return command.code < value; });
  return found != end && found->code == code ? found : nullptr;
}

}  // namespace driver
