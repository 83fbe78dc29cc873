// The spreadsheet application on LibreOffice Calc: a headless office started
// by the library and driven over UNO. Nothing of UNO shows here.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
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

// The pipe of an office another process started (SharedOffice), which new
// application objects attach to instead of starting an office of their
// own; empty for their own. An attached office is never ended by this
// process: when the last application object lets go, every document of the
// office is closed. One process at a time uses such an office.
void SetOfficePipe(std::string_view pipe);

class OfficeSession;

// An office for other processes to attach to through its pipe, kept warm
// between them: the process that starts it owns it, and it ends with the
// object (or with the process).
class SharedOffice {
 public:
  // Throws com::Error(CO_E_SERVER_EXEC_FAILURE) when no office can be
  // started.
  static std::unique_ptr<SharedOffice> Start();
  ~SharedOffice();
  SharedOffice(const SharedOffice&) = delete;
  SharedOffice& operator=(const SharedOffice&) = delete;

  std::string Pipe() const;
  int ProcessId() const;
  // Whether the office answers (one call).
  bool Alive();
  // After a user let go: every document closed. True when the office is
  // then as it started (its own Basic and dialog libraries, its settings);
  // false when it is dead, changed, or that cannot be known: it must then
  // be replaced.
  bool Reset();

 private:
  explicit SharedOffice(std::shared_ptr<OfficeSession> session);
  std::shared_ptr<OfficeSession> session_;
};

// How long a start waits for the office to answer (60 s unless set).
void SetOfficeStartTimeout(std::chrono::milliseconds timeout);

// How long one call into the office may take (10 minutes unless set). Past
// it the office is ended, its whole process group killed: the call fails as
// with a dead office, saying that the office did not answer, and the next
// application object starts a new one.
void SetOfficeCallTimeout(std::chrono::milliseconds timeout);

// A call limit given as text in seconds (GRIDMOOR_CALL_TIMEOUT), read in
// the C locale, fractions allowed: nothing unless the whole text is a
// number above 0 and at most a day (a larger one is a mistake, not a
// limit).
std::optional<std::chrono::milliseconds> CallTimeoutFromText(std::string_view seconds);

// Puts a Basic module into a workbook's document, creating the library when
// needed, as a user would in the office's Basic editor. For tests: they
// need no binary fixture files with macros. Throws com::Error.
void PutBasicModule(const com::Ptr<Workbook>& workbook, std::string_view library,
                    std::string_view module, std::string_view source);

}  // namespace excel::calc
