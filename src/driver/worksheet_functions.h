// The worksheet function exports behind their C signatures: caller texts and
// VARIANTs are converted here, at the boundary, and nothing of the caller's
// reaches the automation floor. The exports run these under the guard.
#pragma once

#include <cstdint>

#include "gridmoor/host.h"
#include "gridmoor/worksheet_functions.h"

namespace driver {

FnSession FnCreate();
std::int32_t FnDestroy(FnSession session);
std::int32_t FnNewFile(FnSession session, char* message);
std::int32_t FnOpenFile(FnSession session, const char* path, char* message);
std::int32_t FnCreateWorksheet(FnSession session, const ExtString* sheetName, char* message);
std::int32_t FnSelectWorksheet(FnSession session, const ExtString* sheetName, char* message);
std::int32_t FnGetCell(FnSession session, const char* sheetName, const char* cell, GmVariant* value,
                       char* message);
std::int32_t FnSetCell(FnSession session, const char* sheetName, const char* cell, GmVariant* value,
                       char* message);
std::int32_t FnPutNumberFormat(FnSession session, const char* sheetName, const ExtString* cell,
                               GmVariant* format, char* message);
std::int32_t FnOffsetCell(const char* cell, ExtString* result, std::int32_t count,
                          std::int32_t byRow);

}  // namespace driver
