// The edge of the commands on the case's workbook and its application:
// each reads the host's argument into its value, calls the model, writes
// what the model gave back into the host's memory and the failure, if any,
// into the status text.
#pragma once

#include <cstdint>

#include "driver/commands/command_table.h"

namespace driver::edge {

std::int32_t ReloadWorkbook(M m, A a);       // 4
std::int32_t EditCase(M m, A a);             // 5
std::int32_t SaveCaseWorkbook(M m, A a);     // 8
std::int32_t ChangeFileDirectory(M m, A a);  // 10
std::int32_t OpenCaseWorkbook(M m, A a);     // 23
std::int32_t GetDispatch(M m, A a);          // 99
std::int32_t GetFileLabel(M m, A a);         // 129
// ExtStartApp, threaded mode.
std::int32_t StartApplication(M m, A a);

}  // namespace driver::edge
