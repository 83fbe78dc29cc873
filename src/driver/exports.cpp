// The library's exported entry points. Each export is a thin C shim over the
// core run under the export guard: nothing thrown inside the core passes
// through one of them.
#include "automation/excel_session.h"
#include "driver/app.h"
#include "driver/export_guard.h"
#include "driver/grid_library.h"
#include "driver/instances.h"
#include "gridmoor/host.h"
#include "host/message.h"

namespace {

// Settings are read and threaded mode decided when the library loads; the
// plug-in list is written back when it unloads (or the process ends while it
// is loaded).
__attribute__((constructor)) void LibraryLoaded() {
  driver::OnLibraryLoad();
}

__attribute__((destructor)) void LibraryUnloaded() {
  driver::OnLibraryUnload();
}

// The worksheet functions are not served by this build yet: each answers
// with its failure result.

int32_t WorksheetFunctionFailure(char* message) {
  host::PrintMessage(message, EXT_FN_MESSAGE_SIZE, "%s", automation::kNoConnectionMessage);
  return 1;
}

}  // namespace

extern "C" {

GM_API int32_t ExtIdentify(void* identifyRecord, ExtStatusRecord* status) {
  return driver::GuardedExport(1, status, [&] { return driver::Identify(identifyRecord, status); });
}

GM_API int32_t ExtCreateInstance(ExtInstance* instance, ExtStatusRecord* status) {
  return driver::GuardedExport(
      1, status, [&] { return driver::CreateInstance(driver::ProcessMode(), instance, status); });
}

GM_API int32_t ExtDestroyInstance(ExtInstance instance, ExtStatusRecord* status) {
  return driver::GuardedExport(0, status,
                               [&] { return driver::DestroyInstance(instance, status); });
}

GM_API int32_t ExtStartApp(ExtInstance instance, intptr_t /*unused*/, ExtStatusRecord* status) {
  return driver::GuardedExport(1, status, [&] { return driver::StartApp(instance, status); });
}

GM_API int32_t ExtStopApp(ExtInstance instance) {
  return driver::GuardedExport(1, nullptr, [&] { return driver::StopApp(instance); });
}

GM_API int32_t ExtConfigure(ExtWindow parent) {
  return driver::GuardedExport(1, nullptr, [&] { return driver::Configure(parent); });
}

GM_API void ExtHelp(void) {
  driver::GuardedExport([] { driver::Help(); });
}

GM_API int32_t ExtCmd(ExtInstance instance, ExtWindow window, int32_t code, void* arg, int32_t iarg,
                      ExtStatusRecord* status) {
  return driver::GuardedExport(
      1, status, [&] { return driver::Command(instance, window, code, arg, iarg, status); });
}

GM_API int32_t ExtEquipXml(ExtInstance /*instance*/, const ExtString* /*outputPath*/,
                           uint8_t /*flag*/, const ExtStringList* /*texts*/) {
  // The equipment description is not written by this build yet.
  return 1;
}

GM_API void QVInitialiseStingray(void) {
  driver::GuardedExport([] { driver::InitialiseGridLibrary(); });
}

GM_API void QVUnInitialiseStingray(void) {
  driver::GuardedExport([] { driver::UninitialiseGridLibrary(); });
}

GM_API FnSession FnCreateInstance(void) {
  return nullptr;
}

GM_API int32_t FnDestroyInstance(FnSession /*session*/) {
  return 0;
}

GM_API int32_t FnNewFile(FnSession /*session*/, char* message) {
  return WorksheetFunctionFailure(message);
}

GM_API int32_t FnOpenFile(FnSession /*session*/, const char* /*path*/, char* message) {
  return WorksheetFunctionFailure(message);
}

GM_API int32_t FnCreateWorksheetObject(FnSession /*session*/, const ExtString* /*sheetName*/,
                                       char* message) {
  return WorksheetFunctionFailure(message);
}

GM_API int32_t FnGetWorksheetObject(FnSession /*session*/, const ExtString* /*sheetName*/,
                                    char* message) {
  return WorksheetFunctionFailure(message);
}

GM_API int32_t FnGetWorksheetCell(FnSession /*session*/, const char* /*sheetName*/,
                                  const char* /*cell*/, VARIANT* /*value*/, char* message) {
  return WorksheetFunctionFailure(message);
}

GM_API int32_t FnSetWorksheetCell(FnSession /*session*/, const char* /*sheetName*/,
                                  const char* /*cell*/, VARIANT* value, char* message) {
  // The caller's value is the library's to clear on every path.
  if (value != nullptr) GmVariantClear(value);
  return WorksheetFunctionFailure(message);
}

GM_API int32_t FnPutNumberFormat(FnSession /*session*/, const char* /*sheetName*/,
                                 const ExtString* /*cell*/, VARIANT* format, char* message) {
  if (format != nullptr) GmVariantClear(format);
  return WorksheetFunctionFailure(message);
}

GM_API int32_t FnOffsetCell(FnSession /*session*/, const char* /*cell*/, ExtString* /*result*/,
                            int32_t /*count*/, int32_t /*byRow*/) {
  return 1;
}

}  // extern "C"
