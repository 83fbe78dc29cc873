// The domain's plain copies of host values (values/host_values.h) must be
// the host header's own: a change to either side stops the build here.
#include <type_traits>

#include "gridmoor/host.h"
#include "values/host_values.h"

static_assert(values::kUndefinedValue == EXT_UNDEFINED_VALUE);
static_assert(values::kUndefinedThreshold == EXT_UNDEFINED_THRESHOLD);
static_assert(std::is_same_v<values::WindowHandle, ExtWindow>);
static_assert(values::kStartOfRunCommand == EXT_CMD_START_OF_RUN);
static_assert(values::kEndOfRunCommand == EXT_CMD_END_OF_RUN);
static_assert(values::kStopRunCommand == EXT_CMD_STOP_RUN);
static_assert(values::kPreSolveCommand == EXT_CMD_PRE_SOLVE);
static_assert(values::kPostSolveCommand == EXT_CMD_POST_SOLVE);
static_assert(values::kStartOfTimestepCommand == EXT_CMD_START_OF_TIMESTEP);
static_assert(values::kEndOfTimestepCommand == EXT_CMD_END_OF_TIMESTEP);
static_assert(values::kPostSolve2Command == EXT_CMD_POST_SOLVE_2);
static_assert(values::kCaseArchiveCapacity == EXT_CASE_DATA_ARCHIVE_CAPACITY);
static_assert(values::kStatusTextSize == EXT_STATUS_TEXT_SIZE);
