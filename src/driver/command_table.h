// The host command table: how each ExtCmd code is served, in one table with
// a column for each mode, and the internal command table of the worker.
//
// A routed code is either
// - posted: an internal command that the worker performs in threaded mode
//   and the calling thread performs in direct mode, with a default result
//   for a command that yields none (an automation error, an internal error);
// - a host-thread operation (codes 5, 7, 21, 32, 104, and 99 in direct
//   mode), run by the calling thread while the worker is idle; the dialogs
//   (5, 32, 104) first have the worker refresh the worksheet names;
// - a constant answer that touches nothing (6, 11, 52, 53, 54; 99 in
//   threaded mode, since the workbook's automation object belongs to the
//   worker's thread).
// Codes that are not in the table return 0 and do nothing.
#pragma once

#include <cstdint>
#include <span>

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
};

// "No result: use the caller's default", as a command's answer.
inline constexpr std::int32_t kNoResult = -1000;

// Internal command numbers with a meaning of their own beyond their
// operation.
enum InternalCommand : std::uint32_t {
  kRefreshSheetNamesCommand = 47,
  kStopCommand = 51,
  kStartApplicationCommand = 55,
  kStopApplicationCommand = 56,
  kLastInternalCommand = 56,  // above: stop as well
};

using ModelOperation = std::int32_t (*)(model::CExcModel& model, const CommandArgs& args);
// A host-thread operation; `model` is null only for one that needs none.
using HostOperation = std::int32_t (*)(model::CExcModel* model, const CommandArgs& args);

// The operation of an internal command; null for the stop commands (51 and
// anything above 56).
ModelOperation InternalOperation(std::uint32_t command);

enum class Route : std::uint8_t {
  kConstant,    // both modes answer `result` and touch nothing
  kPosted,      // internal command; `result` is its default
  kHostThread,  // calling thread, both modes; `result` is its default
  kDialog,      // as kHostThread, after internal 47 (RefreshSheetNames)
  kDirectOnly,  // direct: host-thread operation; threaded: answers `result`
};

struct HostCommand {
  std::int32_t code;
  Route route;
  // kPosted: the internal command, and the one used instead when iarg is
  // not 0 (codes 38 and 39 reach the integer controls that way).
  std::uint32_t internal;
  std::uint32_t internalWhenIarg;
  std::int32_t result;
  // kHostThread, kDialog, kDirectOnly.
  HostOperation hostOperation;
  // kHostThread: the operation needs no model (the icon).
  bool needsModel;
  // kDialog in threaded mode: refused while no workbook is open (code 32).
  bool needsWorkbook;

  std::uint32_t InternalFor(std::int32_t iarg) const {
    return iarg != 0 ? internalWhenIarg : internal;
  }
};

// The routed codes in ascending order.
std::span<const HostCommand> HostCommands();
// Null when the code is not routed.
const HostCommand* FindHostCommand(std::int32_t code);

// Message and result of a threaded dialog code without an open workbook.
inline constexpr char kNoWorkbookMessage[] =
    "Can not perform this function until a workbook is opened\n(double-click on the icon to "
    "create input and output icons)";

}  // namespace driver
