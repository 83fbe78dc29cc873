// The edge of the case's file and data commands and of the run-time events:
// each reads the host's record into its value, calls the model, writes the
// answer back into the record and the failure, if any, into the status
// text.
#pragma once

#include <cstdint>

#include "driver/commands/command_table.h"
#include "outcome/outcome.h"

namespace driver::edge {

std::int32_t WriteCaseData(M m, A a);       // 12
std::int32_t ReadCaseData(M m, A a);        // 13
std::int32_t WriteModelData(M m, A a);      // 14
std::int32_t ReadModelData(M m, A a);       // 15
std::int32_t GetFileDescription(M m, A a);  // 16
std::int32_t SetModelDataFile(M m, A a);    // 20
std::int32_t GetNextEvent(M m, A a);        // 62
std::int32_t SetDate(M m, A a);             // 63
std::int32_t SetFileName(M m, A a);         // 136

// An operation's outcome: its message into the status text, its result to
// the host.
std::int32_t Answer(const outcome::Error& error, A a);
// Codes 55 and 56: the result alone; the host takes no message from the end
// of a run.
std::int32_t EndOfRun(M m, A a);

}  // namespace driver::edge
