#include "scenario/result_convention.h"

#include "gridmoor/host.h"

namespace refhost {

Outcome Interpret(std::int32_t code, std::int32_t result) {
  switch (code) {
    case EXT_CMD_ENUM_STREAMS:
    case EXT_CMD_GET_NEXT_PUBLISHED_VARIABLE:
      if (result == EXT_RESULT_OK) return Outcome::kOk;
      return result == EXT_RESULT_NONE ? Outcome::kEnd : Outcome::kFailed;
    case EXT_CMD_GET_STREAM_COMPOSITION:
      // 1: the list is filled; 0: compositions are off; -1: failure.
      if (result == 1) return Outcome::kOk;
      return result == 0 ? Outcome::kOff : Outcome::kFailed;
    case EXT_CMD_GET_NEXT_EVENT:
      if (result == EXT_RESULT_OK) return Outcome::kOk;
      return result == 1 ? Outcome::kEnd : Outcome::kFailed;
    case EXT_CMD_EVAL_PUBLISHED_VARIABLES:
      if (result == EXT_RESULT_OK) return Outcome::kOk;
      return result == EXT_RESULT_BLOCK_VARIABLE ? Outcome::kBlock : Outcome::kFailed;
    default:
      // 0 success; 1 failure with a message; -1 cancelled, no workbook or
      // connection lost, which for a host running a model is a failure too.
      return result == EXT_RESULT_OK ? Outcome::kOk : Outcome::kFailed;
  }
}

bool FailsSilently(std::int32_t code) {
  // End of run runs its macro with a scratch status record.
  return code == EXT_CMD_END_OF_RUN || code == EXT_CMD_STOP_RUN;
}

const char* OutcomeName(Outcome outcome) {
  switch (outcome) {
    case Outcome::kOk:
      return "ok";
    case Outcome::kEnd:
      return "end";
    case Outcome::kOff:
      return "off";
    case Outcome::kBlock:
      return "block";
    case Outcome::kFailed:
      return "failed";
  }
  return "?";
}

}  // namespace refhost
