// The spreadsheet application on LibreOffice Calc: a headless office started
// by the library and driven over UNO. Nothing of UNO shows here.
#pragma once

#include <chrono>
#include <cstdint>
#include <string_view>
#include <vector>

#include "com/unknown.h"
#include "excel/object_model.h"

namespace excel::calc {

// The name the class registry knows the application by.
inline constexpr std::string_view kApplicationName = "calc";

// Registers the factory "calc" in com::ClassRegistry. Calling it again does
// nothing more.
void RegisterCalcApplication();

// A new application object. The first one starts the office; later ones
// share it, each with its own workbooks. Throws com::Error:
// CO_E_SERVER_EXEC_FAILURE when the office cannot be started (no program,
// it exits, or it does not answer within the start time-out).
com::Ptr<Application> CreateCalcApplication();

// The process id of the office that serves application objects now; 0 when
// none runs.
int CurrentOfficeProcessId();

// Every office process this process has started, in order (restarts of a
// first start included), running or not.
std::vector<int> StartedOfficeProcessIds();

// The calls this process has made into the office over the bridge, each
// counted as its reply arrives: for measuring what an operation costs.
std::uint64_t BridgeCallCount();

// How long a start waits for the office to answer (60 s unless set).
void SetOfficeStartTimeout(std::chrono::milliseconds timeout);

// How long one call into the office may take (10 minutes unless set). Past
// it the office is ended, its whole process group killed: the call fails as
// with a dead office, saying that the office did not answer, and the next
// application object starts a new one.
void SetOfficeCallTimeout(std::chrono::milliseconds timeout);

// Puts a Basic module into a workbook's document, creating the library when
// needed, as a user would in the office's Basic editor. For tests: they
// need no binary fixture files with macros. Throws com::Error.
void PutBasicModule(const com::Ptr<Workbook>& workbook, std::string_view library,
                    std::string_view module, std::string_view source);

}  // namespace excel::calc
