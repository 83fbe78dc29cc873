// The edge of the optimiser's and the published variables' commands: each
// reads the host's record into its value, calls the model, writes the answer
// back into the record and the failure, if any, into the status text.
#pragma once

#include <cstdint>

#include "driver/commands/command_table.h"

namespace driver::edge {

std::int32_t SetupOptimisation(M m, A a);     // 32
std::int32_t CheckIntegerControls(M m, A a);  // 34
std::int32_t GetObjectiveFunction(M m, A a);  // 36
std::int32_t GetConstraints(M m, A a);        // 37
std::int32_t GetControls(M m, A a);           // 38
std::int32_t GetIntegerControls(M m, A a);    // 38, iarg not 0
std::int32_t SetControls(M m, A a);           // 39
std::int32_t SetIntegerControls(M m, A a);    // 39, iarg not 0
std::int32_t ClearOptimisation(M m, A a);     // 40

std::int32_t GetNextPublishedVariable(M m, A a);       // 103
std::int32_t EvalPublishedVariables(M m, A a);         // 105
std::int32_t EvalPublishedVariablesAsBlock(M m, A a);  // 117
std::int32_t AddPublishedVariable(M m, A a);           // 108
std::int32_t DelPublishedVariable(M m, A a);           // 109
std::int32_t ReadBatchProblem(M m, A a);               // 256
std::int32_t WriteBatchOutput(M m, A a);               // 258

}  // namespace driver::edge
