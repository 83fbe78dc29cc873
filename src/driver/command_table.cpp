#include "driver/command_table.h"

#include <algorithm>
#include <array>

#include "driver/draw_icon.h"
#include "host/host_record.h"
#include "model/model.h"

namespace driver {
namespace {

using model::CExcModel;
using A = const CommandArgs&;

const char* Text(void* arg) {
  return static_cast<const char*>(arg);
}

std::uint32_t Size(std::int32_t iarg) {
  return static_cast<std::uint32_t>(iarg);
}

// Code 258 passes the batch-files record; its output path is where code
// 256 reads the report path.
void* BatchOutputArgument(void* arg) {
  return arg != nullptr ? static_cast<unsigned char*>(arg) + EXT_BATCH_FILES_REPORT_PATH_OFFSET
                        : nullptr;
}

// Indexed by internal command number.
constexpr std::array<ModelOperation, kLastInternalCommand + 1> kInternal = {
    /* 0 */ [](CExcModel& m, A a) { return m.EnumStreams(a.arg, a.iarg, a.status); },
    /* 1 */ [](CExcModel& m, A a) { return m.QueryComp(a.arg, a.status); },
    /* 2 */ [](CExcModel& m, A a) { return m.GetStreamComposition(a.arg, a.iarg, a.status); },
    /* 3 */ [](CExcModel& m, A a) { return m.QueryNumber(a.iarg, a.status); },
    /* 4 */ [](CExcModel& m, A a) { return m.OpenCaseWorkbook(a.arg, a.status); },
    /* 5 */ [](CExcModel& m, A a) { return m.GetIPR(a.arg, a.status); },
    /* 6 */ [](CExcModel& m, A a) { return m.SetIPR(a.arg, a.status); },
    /* 7 */ [](CExcModel& m, A a) { return m.WriteCaseData(a.arg, Size(a.iarg), a.status); },
    /* 8 */ [](CExcModel& m, A a) { return m.ReadCaseData(a.arg, a.status); },
    /* 9 */ [](CExcModel& m, A a) { return m.WriteModelData(a.arg, Size(a.iarg), a.status); },
    /* 10 */ [](CExcModel& m, A a) { return m.ReadModelData(a.arg, Size(a.iarg), a.status); },
    /* 11 */ [](CExcModel& m, A a) { return m.OnNextTimestep(a.arg, a.status); },
    /* 12 */ [](CExcModel& m, A a) { return m.OnStartOfRun(a.arg, a.status); },
    /* 13 */ [](CExcModel& m, A a) { return m.SetDate(a.arg, a.iarg, a.status); },
    /* 14 */ [](CExcModel& m, A a) { return m.SaveCaseWorkbook(a.iarg, Text(a.arg), a.status); },
    /* 15 */ [](CExcModel& m, A a) { return m.ReloadWorkbook(a.status); },
    /* 16 */ [](CExcModel& m, A a) { return m.ChangeFileDirectory(Text(a.arg), a.status); },
    /* 17 */ [](CExcModel& m, A a) { return m.OnEvent112(a.status); },
    /* 18 */ [](CExcModel& m, A a) { return m.OnEvent113(a.status); },
    /* 19 */ [](CExcModel& m, A a) { return m.GetDataServerValue(a.arg, a.status); },
    /* 20 */ [](CExcModel& m, A a) { return m.SetDataServerValue(a.arg, a.status); },
    /* 21 */ [](CExcModel& m, A a) { return m.ExecuteCommand(a.arg, a.status); },
    /* 22 */ [](CExcModel& m, A a) { return m.GetFileDescription(a.arg, a.iarg, a.status); },
    /* 23 */ [](CExcModel& m, A a) { return m.SetFileName(a.arg, a.status); },
    /* 24 */ [](CExcModel& m, A a) { return m.GetNextPublishedVariable(a.arg); },
    /* 25 */ [](CExcModel& m, A a) { return m.EditPublishedVariables(a.window, a.status); },
    /* 26 */ [](CExcModel& m, A a) { return m.EvalPublishedVariables(a.arg, a.status); },
    /* 27 */ [](CExcModel& m, A a) { return m.EvalPublishedVariables2(a.arg, a.status); },
    /* 28 */ [](CExcModel& m, A a) { return m.QueryItem84(a.arg, a.status); },
    /* 29 */ [](CExcModel& m, A a) { return m.QueryItem85(a.arg, a.iarg, a.status); },
    /* 30 */ [](CExcModel& m, A a) { return m.AddPublishedVariable(a.arg, a.status); },
    /* 31 */ [](CExcModel& m, A a) { return m.DelPublishedVariable(a.iarg, a.status); },
    /* 32 */ [](CExcModel& m, A a) { return m.ReadBatchProblem(a.arg, a.iarg > 0, a.status); },
    /* 33 */
    [](CExcModel& m, A a) { return m.WriteBatchOutput(BatchOutputArgument(a.arg), a.status); },
    /* 34 */ [](CExcModel& m, A a) { return m.OnPreSolve(a.status); },
    /* 35 */ [](CExcModel& m, A a) { return m.OnPostSolve(a.status); },
    /* 36 */ [](CExcModel& m, A a) { return m.OnPostSolve2(a.status); },
    /* 37 */ [](CExcModel& m, A a) { return m.SetupOptimisation(a.arg, a.iarg, a.status); },
    /* 38 */ [](CExcModel& m, A a) { return m.GetObjectiveFunction(a.arg, a.status); },
    /* 39 */ [](CExcModel& m, A a) { return m.GetConstraints(a.arg, a.status); },
    /* 40 */ [](CExcModel& m, A a) { return m.GetControls(a.arg, a.status); },
    /* 41 */ [](CExcModel& m, A a) { return m.SetControls(a.arg, a.status); },
    /* 42 */ [](CExcModel& m, A a) { return m.GetIntegerControls(a.arg, a.status); },
    /* 43 */ [](CExcModel& m, A a) { return m.SetIntegerControls(a.arg, a.status); },
    /* 44 */ [](CExcModel& m, A a) { return m.CheckIntegerControls(a.arg, a.status); },
    /* 45 */ [](CExcModel& m, A a) { return m.ClearOptimisation(a.iarg, a.status); },
    /* 46 */
    [](CExcModel& m, A a) { return m.GetFileLabel(static_cast<char*>(a.arg), a.iarg, a.status); },
    /* 47 */
    [](CExcModel& m, A) {
      m.RefreshSheetNames();
      return std::int32_t{0};
    },
    /* 48 */ [](CExcModel& m, A a) { return m.SetInterfaceVisible(a.iarg > 0); },
    /* 49 */ [](CExcModel& m, A a) { return m.GetNextEvent(a.arg); },
    /* 50 */ [](CExcModel& m, A) { return m.OnEndOfRun(); },
    /* 51 */ nullptr,
    /* 52 */ [](CExcModel& m, A a) { return m.OnStartOfTimestep(a.status); },
    /* 53 */ [](CExcModel& m, A a) { return m.OnEndOfTimestep(a.status); },
    /* 54 */
    [](CExcModel& m, A a) { return m.SetModelDataFile(Text(a.arg), a.iarg > 0, a.status); },
    /* 55 */ [](CExcModel& m, A a) { return m.StartApplication(a.iarg, a.status); },
    /* 56 */ [](CExcModel& m, A) { return m.StopApplication(); },
};

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
  return m.EditCase(a.window, static_cast<std::uint32_t*>(a.arg), a.status);
}

std::int32_t DrawIconOnHostThread(CExcModel*, A a) {
  return DrawIcon(a.window, static_cast<ExtDrawSurface*>(a.arg));
}

std::int32_t SetLabelOnHostThread(CExcModel* m, A a) {
  m->SetLabel(host::ReadHostText(Text(a.arg)));
  return 0;
}

std::int32_t SetupOptimisationOnHostThread(CExcModel* m, A a) {
  return m->SetupOptimisation(a.arg, a.iarg, a.status);
}

std::int32_t EditPublishedVariablesOnHostThread(CExcModel* m, A a) {
  return m->EditPublishedVariables(a.window, a.status);
}

std::int32_t GetDispatchOnHostThread(CExcModel* m, A a) {
  return m->GetDispatch(a.arg, a.status);
}

constexpr HostCommand Posted(std::int32_t code, std::uint32_t internal, std::int32_t fallback) {
  return {code, Route::kPosted, internal, internal, fallback, nullptr, true, false};
}

constexpr HostCommand PostedByIarg(std::int32_t code, std::uint32_t internal,
                                   std::uint32_t internalWhenIarg, std::int32_t fallback) {
  return {code, Route::kPosted, internal, internalWhenIarg, fallback, nullptr, true, false};
}

constexpr HostCommand Constant(std::int32_t code, std::int32_t result) {
  return {code, Route::kConstant, 0, 0, result, nullptr, false, false};
}

constexpr HostCommand OnHostThread(std::int32_t code, HostOperation operation, bool needsModel) {
  return {code, Route::kHostThread, 0, 0, 1, operation, needsModel, false};
}

constexpr HostCommand Dialog(std::int32_t code, HostOperation operation, bool needsWorkbook) {
  return {code, Route::kDialog, 0, 0, 1, operation, true, needsWorkbook};
}

constexpr HostCommand DirectOnly(std::int32_t code, HostOperation operation,
                                 std::int32_t threadedResult) {
  return {code, Route::kDirectOnly, 0, 0, threadedResult, operation, true, false};
}

constexpr HostCommand kHostCommands[] = {
    Posted(EXT_CMD_ENUM_STREAMS, 0, 1),
    Posted(EXT_CMD_QUERY_NUMBER, 3, 1),
    Posted(EXT_CMD_RELOAD_WORKBOOK, 15, 1),
    Dialog(EXT_CMD_EDIT_CASE, EditCaseOnHostThread, false),
    Constant(6, 0),
    OnHostThread(EXT_CMD_DRAW_ICON, DrawIconOnHostThread, false),
    Posted(EXT_CMD_SAVE_CASE_WORKBOOK, 14, 1),
    Posted(EXT_CMD_QUERY_COMP, 1, 1),
    Posted(EXT_CMD_CHANGE_FILE_DIRECTORY, 16, 1),
    Constant(11, 1),
    Posted(EXT_CMD_WRITE_CASE_DATA, 7, 1),
    Posted(EXT_CMD_READ_CASE_DATA, 8, 1),
    Posted(EXT_CMD_WRITE_MODEL_DATA, 9, 1),
    Posted(EXT_CMD_READ_MODEL_DATA, 10, 1),
    Posted(EXT_CMD_GET_FILE_DESCRIPTION, 22, 1),
    Posted(EXT_CMD_GET_STREAM_COMPOSITION, 2, -1),
    Posted(EXT_CMD_SET_MODEL_DATA_FILE, 54, 1),
    OnHostThread(EXT_CMD_SET_LABEL, SetLabelOnHostThread, true),
    Posted(EXT_CMD_OPEN_CASE_WORKBOOK, 4, 1),
    Dialog(EXT_CMD_SETUP_OPTIMISATION, SetupOptimisationOnHostThread, true),
    Posted(EXT_CMD_CHECK_INTEGER_CONTROLS, 44, 1),
    Posted(EXT_CMD_GET_OBJECTIVE_FUNCTION, 38, -1),
    Posted(EXT_CMD_GET_CONSTRAINTS, 39, -1),
    PostedByIarg(EXT_CMD_GET_CONTROLS, 40, 42, 1),
    PostedByIarg(EXT_CMD_SET_CONTROLS, 41, 43, 1),
    Posted(EXT_CMD_CLEAR_OPTIMISATION, 45, 1),
    Posted(EXT_CMD_START_OF_RUN, 12, 1),
    Posted(EXT_CMD_NEXT_TIMESTEP, 11, 1),
    Posted(EXT_CMD_GET_IPR, 5, 1),
    Posted(EXT_CMD_SET_IPR, 6, 1),
    Constant(52, 0),
    Constant(53, 0),
    Constant(54, 0),
    Posted(EXT_CMD_END_OF_RUN, 50, 1),
    Posted(EXT_CMD_STOP_RUN, 50, 1),
    Posted(EXT_CMD_GET_NEXT_EVENT, 49, 1),
    Posted(EXT_CMD_SET_DATE, 13, 1),
    Posted(EXT_CMD_SET_INTERFACE_VISIBLE, 48, 1),
    Posted(EXT_CMD_GET_DATA_SERVER_VALUE, 19, 1),
    Posted(EXT_CMD_SET_DATA_SERVER_VALUE, 20, 1),
    Posted(EXT_CMD_EXECUTE_COMMAND, 21, 1),
    DirectOnly(EXT_CMD_GET_DISPATCH, GetDispatchOnHostThread, 1),
    Posted(EXT_CMD_PRE_SOLVE, 34, 1),
    Posted(EXT_CMD_POST_SOLVE, 35, 1),
    Posted(EXT_CMD_GET_NEXT_PUBLISHED_VARIABLE, 24, 1),
    Dialog(EXT_CMD_EDIT_PUBLISHED_VARIABLES, EditPublishedVariablesOnHostThread, false),
    Posted(EXT_CMD_EVAL_PUBLISHED_VARIABLES, 26, 1),
    Posted(EXT_CMD_QUERY_ITEM_84, 28, 1),
    Posted(EXT_CMD_QUERY_ITEM_85, 29, 1),
    Posted(EXT_CMD_ADD_PUBLISHED_VARIABLE, 30, 1),
    Posted(EXT_CMD_DEL_PUBLISHED_VARIABLE, 31, 1),
    Posted(EXT_CMD_EVENT_112, 17, 1),
    Posted(EXT_CMD_EVENT_113, 18, 1),
    Posted(EXT_CMD_START_OF_TIMESTEP, 52, 1),
    Posted(EXT_CMD_END_OF_TIMESTEP, 53, 1),
    Posted(EXT_CMD_POST_SOLVE_2, 36, 1),
    Posted(EXT_CMD_EVAL_PUBLISHED_VARIABLES_2, 27, 1),
    Posted(EXT_CMD_GET_FILE_LABEL, 46, 1),
    Posted(EXT_CMD_SET_FILE_NAME, 23, 1),
    Posted(EXT_CMD_READ_BATCH_PROBLEM, 32, 1),
    Posted(EXT_CMD_WRITE_BATCH_OUTPUT, 33, 1),
};

constexpr bool SortedByCode() {
  for (std::size_t i = 1; i < std::size(kHostCommands); ++i) {
    if (kHostCommands[i - 1].code >= kHostCommands[i].code) return false;
  }
  return true;
}
static_assert(SortedByCode(), "the host command table is looked up by binary search");

}  // namespace

ModelOperation InternalOperation(std::uint32_t command) {
  return command < kInternal.size() ? kInternal[command] : nullptr;
}

std::span<const HostCommand> HostCommands() {
  return kHostCommands;
}

const HostCommand* FindHostCommand(std::int32_t code) {
  const auto* end = std::end(kHostCommands);
  const auto* found = std::lower_bound(
      std::begin(kHostCommands), end, code,
      [](const HostCommand& command, std::int32_t value) { return command.code < value; });
  return found != end && found->code == code ? found : nullptr;
}

}  // namespace driver
