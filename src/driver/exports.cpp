// The library's exported entry points. Each export is a thin C shim over the
// core run under the export guard: nothing thrown inside the core passes
// through one of them.
#include "driver/application/app.h"
#include "driver/application/grid_library.h"
#include "driver/equipment_xml.h"
#include "driver/export_guard.h"
#include "driver/instances.h"
#include "driver/worksheet_functions.h"
#include "gridmoor/host.h"
#include "gridmoor/worksheet_functions.h"
#ifdef GRIDMOOR_WITH_UI
#include "driver/application/app.h"
#include "driver/dialogs_module.h"
#endif

namespace {

// Settings are read and threaded mode decided when the library loads; the
// plug-in list is written back when it unloads (or the process ends while it
// is loaded).
__attribute__((constructor)) void LibraryLoaded() {
  driver::OnLibraryLoad();
#ifdef GRIDMOOR_WITH_UI
  // The library's own dialogs; a build without Qt answers them as cancelled.
  model::SetDialogs(driver::DialogsFromModule(
      driver::LibraryFolder() / driver::kDialogsModuleFolder / driver::kDialogsModuleName,
      [](int topic) {
        driver::CGridmoorApp::Instance().WinHelp(topic, driver::kHelpContextCommand);
      }));
#endif
}

__attribute__((destructor)) void LibraryUnloaded() {
  driver::OnLibraryUnload();
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

GM_API int32_t ExtEquipXml(ExtInstance instance, const ExtString* outputPath, uint8_t flag,
                           const ExtStringList* texts) {
  // The result alone answers: no status record, no message.
  return driver::GuardedExport(
      1, nullptr, [&] { return driver::WriteEquipmentXml(instance, outputPath, flag, texts); });
}

GM_API void QVInitialiseStingray(void) {
  driver::GuardedExport([] { driver::InitialiseGridLibrary(); });
}

GM_API void QVUnInitialiseStingray(void) {
  driver::GuardedExport([] { driver::UninitialiseGridLibrary(); });
}

GM_API FnSession FnCreateInstance(void) {
  return driver::GuardedFunction(FnSession{}, nullptr, [] { return driver::FnCreate(); });
}

GM_API int32_t FnDestroyInstance(FnSession session) {
  return driver::GuardedFunction(0, nullptr, [&] { return driver::FnDestroy(session); });
}

GM_API int32_t FnNewFile(FnSession session, char* message) {
  return driver::GuardedFunction(1, message, [&] { return driver::FnNewFile(session, message); });
}

GM_API int32_t FnOpenFile(FnSession session, const char* path, char* message) {
  return driver::GuardedFunction(1, message,
                                 [&] { return driver::FnOpenFile(session, path, message); });
}

GM_API int32_t FnCreateWorksheetObject(FnSession session, const ExtString* sheetName,
                                       char* message) {
  return driver::GuardedFunction(
      1, message, [&] { return driver::FnCreateWorksheet(session, sheetName, message); });
}

GM_API int32_t FnGetWorksheetObject(FnSession session, const ExtString* sheetName, char* message) {
  return driver::GuardedFunction(
      1, message, [&] { return driver::FnSelectWorksheet(session, sheetName, message); });
}

GM_API int32_t FnGetWorksheetCell(FnSession session, const char* sheetName, const char* cell,
                                  GmVariant* value, char* message) {
  return driver::GuardedFunction(
      1, message, [&] { return driver::FnGetCell(session, sheetName, cell, value, message); });
}

GM_API int32_t FnSetWorksheetCell(FnSession session, const char* sheetName, const char* cell,
                                  GmVariant* value, char* message) {
  return driver::GuardedFunction(
      1, message, [&] { return driver::FnSetCell(session, sheetName, cell, value, message); });
}

GM_API int32_t FnPutNumberFormat(FnSession session, const char* sheetName, const ExtString* cell,
                                 GmVariant* format, char* message) {
  return driver::GuardedFunction(1, message, [&] {
    return driver::FnPutNumberFormat(session, sheetName, cell, format, message);
  });
}

// The handle is not used: stepping an address needs no session.
GM_API int32_t FnOffsetCell(FnSession /*session*/, const char* cell, ExtString* result,
                            int32_t count, int32_t byRow) {
  return driver::GuardedFunction(1, nullptr,
                                 [&] { return driver::FnOffsetCell(cell, result, count, byRow); });
}

}  // extern "C"
