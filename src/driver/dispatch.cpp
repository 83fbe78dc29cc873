#include "driver/dispatch.h"

#include <exception>

#include "com/error.h"
#include "gridmoor/host_records.h"
#include "host/message.h"
#include "model/model.h"

namespace driver {
namespace {

void Report(ExtStatusRecord* status, const char* fmt, const char* text) noexcept {
  try {
    host::StatusRecord record(status);
    host::WriteStatus(record, fmt, text);
  } catch (...) {
    // Out of memory for the message: the result still tells the host.
  }
}

std::int32_t RunHostOperation(const HostCommand& command, model::CExcModel* model,
                              const CommandArgs& args) noexcept {
  if (command.needsModel && model == nullptr) {
    Report(args.status, "%s", automation::kNoConnectionMessage);
    return command.result;
  }
  try {
    const std::int32_t result = command.hostOperation(model, args);
    return result == kNoResult ? command.result : result;
  } catch (...) {
    ReportCurrentException(args.status);
    return command.result;
  }
}

// A host-thread operation may reach the workbook too: held control writes
// go first (on the worker, which owns the workbook's objects), and values
// read ahead are forgotten. False, with the failure answered, when a held
// write failed.
bool SendHeldCells(CommandTarget& target, const CommandArgs& args) {
  model::CExcModel* model = target.Model();
  if (model == nullptr) return true;
  if (model->heldCells.HoldsWrites() && target.Post(op::SendHeldCells, args, 1) != 0) return false;
  model->heldCells.ForgetReadings();
  return true;
}

bool HasWorkbook(model::CExcModel* model) {
  automation::CExcExcelObj* session = model != nullptr ? model->Session() : nullptr;
  return session != nullptr && session->GetWorkbook() != nullptr;
}

}  // namespace

std::string CurrentExceptionText() {
  try {
    throw;
  } catch (const com::Error& error) {
    return error.what();
  } catch (const std::exception& error) {
    return text::FormatString("Internal error: %s", error.what());
  } catch (...) {
    // Neither a com::Error nor a standard exception: there is no text.
    return "Internal error: unknown exception";
  }
}

void ReportCurrentException(ExtStatusRecord* status) noexcept {
  try {
    Report(status, "%s", CurrentExceptionText().c_str());
  } catch (...) {
    // No memory for the message: the result still tells the host.
  }
}

namespace {

// The host's command as the held cells see it: a control write (not an
// integer one), a constraint read, an event within a timestep, or anything
// else.
model::CExcModel::Request HeldRequest(std::int32_t code, std::int32_t iarg) {
  using Request = model::CExcModel::Request;
  switch (code) {
    case EXT_CMD_SET_CONTROLS:
      return iarg == 0 ? Request::kControlWrite : Request::kOther;
    case EXT_CMD_GET_CONSTRAINTS:
      return Request::kConstraintRead;
    case EXT_CMD_PRE_SOLVE:
    case EXT_CMD_POST_SOLVE:
    case EXT_CMD_POST_SOLVE_2:
    case EXT_CMD_START_OF_TIMESTEP:
    case EXT_CMD_END_OF_TIMESTEP:
      return Request::kEvent;
    default:
      return Request::kOther;
  }
}

// A held write's failure as the request answers a failure: two requests
// read 1 otherwise (no next event; the list is filled), so they say -1.
std::int32_t HeldFailure(const outcome::Error& held, const CommandArgs& args) {
  host::StatusRecord status(args.status);
  const std::int32_t answer = host::Answer(held, status);
  const bool oneMeansMore =
      args.code == EXT_CMD_GET_NEXT_EVENT || args.code == EXT_CMD_GET_STREAM_COMPOSITION;
  return oneMeansMore ? -1 : answer;
}

}  // namespace

std::int32_t RunModelOperation(model::CExcModel& model, ModelOperation operation,
                               const CommandArgs& args) noexcept {
  if (operation == nullptr) return kNoResult;
  try {
    if (const outcome::Error held = model.BeforeRequest(HeldRequest(args.code, args.iarg))) {
      const std::int32_t answer = HeldFailure(held, args);
      // The stop goes on: the office is not left running for a failed write.
      if (operation == op::StopApplication) operation(model, args);
      return answer;
    }
    return operation(model, args);
  } catch (...) {
    ReportCurrentException(args.status);
    return kNoResult;
  }
}

std::int32_t DirectTarget::Post(ModelOperation operation, const CommandArgs& args,
                                std::int32_t fallback) {
  const std::int32_t result = RunModelOperation(model_, operation, args);
  return result == kNoResult ? fallback : result;
}

std::int32_t DispatchHostCommand(const HostRequest& request) noexcept {
  const HostCommand& command = request.command;
  CommandTarget& target = request.target;
  const CommandArgs& args = request.args;
  try {
    switch (command.route) {
      case Route::kConstant:
        return command.result;
      case Route::kPosted:
        return target.Post(command.OperationFor(args.iarg), args, command.result);
      case Route::kHostThread:
        if (!SendHeldCells(target, args)) return command.result;
        return RunHostOperation(command, target.Model(), args);
      case Route::kDialog:
        if (target.Threaded() && command.needsWorkbook && !HasWorkbook(target.Model())) {
          Report(args.status, "%s", kNoWorkbookMessage);
          return -1;
        }
        if (!SendHeldCells(target, args)) return command.result;
        // The dialog shows the current worksheet names.
        target.Post(op::RefreshSheetNames, args, 0);
        return RunHostOperation(command, target.Model(), args);
      case Route::kDirectOnly:
        if (target.Threaded()) return command.result;
        if (!SendHeldCells(target, args)) return command.result;
        return RunHostOperation(command, target.Model(), args);
    }
  } catch (...) {
    ReportCurrentException(args.status);
  }
  return command.result;
}

}  // namespace driver
