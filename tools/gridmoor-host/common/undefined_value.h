// The host's "no value" marker, as every table, summary and CSV of the host
// tool reads and writes it.
#pragma once

#include "gridmoor/host.h"

namespace refhost {

inline constexpr double kUndefined = EXT_UNDEFINED_VALUE;
inline bool IsUndefined(double value) {
  return value > EXT_UNDEFINED_THRESHOLD;
}

}  // namespace refhost
