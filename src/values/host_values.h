// The few values of the host's world the domain needs, as plain C++: the
// missing-value marker, the window handle dialogs take as owner, the command
// codes of the run-time events and the sizes that bound what the domain
// hands the host. The host floor checks each against gridmoor/host.h at
// compile time, so the two cannot drift apart; the domain includes this
// header and never the record layouts.
#pragma once

#include <cstddef>

namespace values {

// The host's missing-value marker; anything above the threshold is unset.
inline constexpr double kUndefinedValue = 3.4e35;
inline constexpr double kUndefinedThreshold = 3.2e35;

// A window of the host's user interface, only ever an owner; may be null.
using WindowHandle = void*;

// The host command codes of the run-time events.
inline constexpr int kStartOfRunCommand = 48;
inline constexpr int kEndOfRunCommand = 55;
inline constexpr int kStopRunCommand = 56;
inline constexpr int kPreSolveCommand = 100;
inline constexpr int kPostSolveCommand = 101;
inline constexpr int kStartOfTimestepCommand = 114;
inline constexpr int kEndOfTimestepCommand = 115;
inline constexpr int kPostSolve2Command = 116;

// The most bytes a case's archive may take in the host's case data record.
inline constexpr std::size_t kCaseArchiveCapacity = 102400;

// The bytes of a status message, its NUL included.
inline constexpr std::size_t kStatusTextSize = 260;

}  // namespace values
