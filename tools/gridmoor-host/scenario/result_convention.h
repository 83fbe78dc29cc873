// What a command code's result means. Not every non-zero result is a
// failure: enumerations end with -1, the composition query answers 1 on
// success, the next-event query answers 1 when there is none, and a
// published variable read answers -100 for a block.
#pragma once

#include <cstdint>

namespace refhost {

enum class Outcome {
  kOk,      // done
  kEnd,     // nothing (more) to give: enumeration ended, no next event
  kOff,     // the feature is switched off in the case (compositions)
  kBlock,   // a block published variable: read it with code 117
  kFailed,  // failure; the status text says why (when the code gives one)
};

// Pseudo-code for the exports other than ExtCmd: 0 success, else failure.
inline constexpr std::int32_t kExportCall = -1;

// The outcome of `result` from ExtCmd with `code`.
Outcome Interpret(std::int32_t code, std::int32_t result);

// True for codes that never write a message when they fail, so the host
// has to say what went wrong itself.
bool FailsSilently(std::int32_t code);

const char* OutcomeName(Outcome outcome);

}  // namespace refhost
