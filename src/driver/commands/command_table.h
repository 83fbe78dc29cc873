// The host command table: how each ExtCmd code is served, one row per code
// naming the code and the model operation that serves it, with a column for
// each mode.
//
// A routed code is either
// - posted: a model operation that the worker performs in threaded mode
//   and the calling thread performs in direct mode, with a default result
//   for an operation that yields none (an automation error, an internal
//   error);
// - a host-thread operation (codes 5, 7, 21, 32, 104, and 99 in direct
//   mode), run by the calling thread while the worker is idle; the dialogs
//   (5, 32, 104) first have the worker refresh the worksheet names;
// - a constant answer that touches nothing (6, 11, 52, 53, 54; 99 in
//   threaded mode, since the workbook's automation object belongs to the
//   worker's thread).
// Codes that are not in the table return 0 and do nothing.
#pragma once

#include <cstdint>

#include "gridmoor/host.h"

namespace model {
class CExcModel;
}

namespace driver {

// The arguments of one request, as ExtCmd received them.
struct CommandArgs {
  ExtWindow window = nullptr;
  void* arg = nullptr;
  std::int32_t iarg = 0;
  ExtStatusRecord* status = nullptr;
  std::int32_t code = 0;  // the host's request code; 0 for the driver's own
};

// "No result: use the caller's default", as a command's answer.
inline constexpr std::int32_t kNoResult = -1000;

// What the worker performs (on the calling thread in direct mode); a null
// operation stops the worker.
using ModelOperation = std::int32_t (*)(model::CExcModel& model, const CommandArgs& args);
// A host-thread operation; `model` is null only for one that needs none.
using HostOperation = std::int32_t (*)(model::CExcModel* model, const CommandArgs& args);

// Model operations the driver posts outside the table: before each dialog,
// and for ExtStartApp and ExtStopApp.
namespace op {
std::int32_t RefreshSheetNames(model::CExcModel& model, const CommandArgs& args);
std::int32_t StartApplication(model::CExcModel& model, const CommandArgs& args);
std::int32_t StopApplication(model::CExcModel& model, const CommandArgs& args);
// Nothing but what every posted operation does first (the model's
// BeforeRequest): posted ahead of a host-thread operation while control
// writes are held.
std::int32_t SendHeldCells(model::CExcModel& model, const CommandArgs& args);
}  // namespace op

enum class Route : std::uint8_t {
  kConstant,    // both modes answer `result` and touch nothing
  kPosted,      // `operation`; `result` is its default
  kHostThread,  // calling thread, both modes; `result` is its default
  kDialog,      // as kHostThread, after op::RefreshSheetNames
  kDirectOnly,  // direct: host-thread operation; threaded: answers `result`
};

struct HostCommand {
  std::int32_t code;
  Route route;
  // kPosted: the operation, and the one used instead when iarg is not 0
  // (codes 38 and 39 reach the integer controls that way).
  ModelOperation operation;
  ModelOperation operationWhenIarg;
  std::int32_t result;
  // kHostThread, kDialog, kDirectOnly.
  HostOperation hostOperation;
  // kHostThread: the operation needs no model (the icon).
  bool needsModel;
  // kDialog in threaded mode: refused while no workbook is open (code 32).
  bool needsWorkbook;

  ModelOperation OperationFor(std::int32_t iarg) const {
    return iarg != 0 ? operationWhenIarg : operation;
  }
};

// Null when the code is not routed.
const HostCommand* FindHostCommand(std::int32_t code);

// The edge of the commands (driver/*_commands.h) serves each code as a
// ModelOperation of these shapes.
namespace edge {
using M = model::CExcModel&;
using A = const CommandArgs&;
}  // namespace edge

// Message and result of a threaded dialog code without an open workbook.
inline constexpr char kNoWorkbookMessage[] =
    "Can not perform this function until a workbook is opened\n(double-click on the icon to "
    "create input and output icons)";

}  // namespace driver
