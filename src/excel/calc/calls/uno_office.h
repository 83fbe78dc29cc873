// One running office and the UNO connection to it. Every application object
// of the process holds the current one; the last to let go ends it. When
// the office dies, the next application object gets a fresh one.
//
// An office can also be shared between processes through its named pipe:
// one process starts it (StartSharedOffice) and others attach to it
// (SetSharedOfficePipe). An attaching process never ends the office; when
// it lets go, it closes every document of the office. The owner then checks
// that the office is as it started before handing it to anyone else, and
// replaces it when it is not.
#pragma once

#include <com/sun/star/frame/XDesktop2.hpp>
#include <com/sun/star/lang/XComponent.hpp>
#include <com/sun/star/script/XLibraryContainer.hpp>
#include <com/sun/star/uno/XComponentContext.hpp>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "excel/calc/basic/basic_source.h"
#include "excel/calc/basic/macro_names.h"
#include "excel/calc/calls/office_state.h"
#include "excel/calc/calls/uno_util.h"
#include "excel/calc/locks/lock_file.h"
#include "excel/calc/process/child_process.h"
#include "excel/calc/process/office_launcher.h"
#include "excel/calc/process/office_leftovers.h"
#include "excel/calc/process/office_pipes.h"
#include "excel/calc/process/office_profile.h"
#include "excel/calc/process/office_program.h"

namespace excel::calc {

// How long one call into the office may take (10 minutes unless set; a
// long macro is one call).
void SetCallTimeout(std::chrono::milliseconds timeout);
std::chrono::milliseconds CallTimeout();
// "3 seconds", "2 minutes": a limit as messages give it.
std::string LimitText(std::chrono::milliseconds limit);
// Putting an office back as it was need not wait the whole call limit: past
// this it is not reused.
inline constexpr std::chrono::milliseconds kResetLimit{30000};

class OfficeSession {
 public:
  ~OfficeSession();
  OfficeSession(const OfficeSession&) = delete;
  OfficeSession& operator=(const OfficeSession&) = delete;

  // The office's process; for an attached office, found from its pipe (0
  // when that is gone).
  int Pid();
  // The name of the pipe the office accepts connections on.
  const std::string& PipeName() const { return pipe_; }
  // Started by another process: never ended by this one.
  bool Attached() const { return attached_; }
  // The office's private profile, which its lock files name.
  std::filesystem::path ProfileFolder() const {
    return folders_ ? folders_->Profile() : attachedProfile_;
  }
  // True once the connection broke or the process ended; cheap (no call to
  // the office).
  bool Disconnected();
  // The thorough check, for when a cheap one is not enough (a call failed,
  // an application object is about to join the office): the process has
  // not ended and no kill is queued for it, and the office answers a call.
  // A false answer is remembered, so that every later call fails at once.
  bool ConfirmAlive();

  // Whether documents can have a view. An office built without any display
  // back end (the no-GUI packages) ends itself when asked for one, so its
  // documents are loaded hidden, and macros that need a view fail saying so.
  bool ViewsAvailable() const { return viewsAvailable_; }

  css::uno::Reference<css::uno::XComponentContext> Context() const { return context_; }
  css::uno::Reference<css::frame::XDesktop2> Desktop() const { return desktop_; }

  // Closes every document of the office. For an office started to share:
  // true when it is then as it started (its Basic and dialog libraries, its
  // settings), false when it may not be (a call failed or timed out, a
  // document would not close, a library or setting changed): such an office
  // is not to be handed to anyone else. An attached session closes the
  // documents when it lets go; the office's owner decides.
  bool Reset();

  // The office's own Basic libraries.
  css::uno::Reference<css::script::XLibraryContainer> ApplicationLibraries();
  // What the office's own libraries declare and the call wrappers placed in
  // them (calc_macros.cpp), guarded by BasicMutex.
  std::mutex& BasicMutex() { return basicMutex_; }
  std::optional<std::vector<MacroEntry>> applicationMacros;
  std::map<std::string, std::vector<WrappedCall>> applicationWrappers;

  // Runs `body` with failures mapped as Guarded does, for this office,
  // under the call deadline. A failure alone does not tell a refusal from a
  // dead office (the bridge's own notice may come later), so each is
  // followed by the thorough check.
  template <typename Body>
  auto Call(com::HRESULT refused, Body&& body) -> decltype(body()) {
    EnterBridgeCall();
    try {
      const Deadline deadline(*this, CallTimeout());
      return Guarded([this] { return !ConfirmAlive(); }, refused, std::forward<Body>(body));
    } catch (const com::Error& error) {
      ThrowExplained(error);
    }
  }
  // The same for calls whose failure is ignored.
  template <typename Body>
  void CallIgnoringFailures(Body&& body) noexcept {
    EnterBridgeCall();
    IgnoringFailures([&] {
      const Deadline deadline(*this, CallTimeout());
      body();
    });
  }
  // RPC_E_DISCONNECTED, saying why when the office was ended for not
  // answering.
  [[noreturn]] void ThrowDisconnected();
  // The macro that runs now (`running`) or ran last, which a message that
  // the office ended names: an office often ends inside or just after one.
  void NoteMacro(const std::string& name, bool running);

  // Holds a lock file for the life of a document of this office; the office
  // ending (or being ended) releases every one it still holds.
  std::uint64_t HoldLock(std::unique_ptr<WorkbookLock> lock);
  void ReleaseLock(std::uint64_t id);
  // The document of lock `id` was saved in place at `path` (WorkbookLock::FollowSave).
  void FollowSave(std::uint64_t id, const std::filesystem::path& path);

 private:
  friend class OfficeManager;
  friend std::shared_ptr<OfficeSession> StartSharedOffice();
  OfficeSession() = default;

  // A call in progress: past `limit` the office is ended (its whole
  // process group killed), so that the call and every later one fail as
  // with a dead office instead of waiting for ever.
  class Deadline {
   public:
    Deadline(OfficeSession& session, std::chrono::milliseconds limit);
    ~Deadline();
    Deadline(const Deadline&) = delete;
    Deadline& operator=(const Deadline&) = delete;

   private:
    OfficeSession& session_;
    std::multimap<std::chrono::steady_clock::time_point, std::chrono::milliseconds>::iterator it_;
  };
  // Every Call and CallIgnoringFailures starts here: the test seam of
  // bridge_faults.h may kill the office first.
  void EnterBridgeCall() noexcept;
  void StartWatchdog();
  void StopWatchdog();
  void Watch();
  void ReleaseLocks();
  // A disconnected failure gets the deadline's explanation; others pass.
  [[noreturn]] void ThrowExplained(const com::Error& error);

  // Ends the office: asks it to terminate, then kills it if it does not,
  // reaps it and removes its folders and pipes. Idempotent.
  void Shutdown();
  // The office is gone: what it held goes too (its lock files).
  void MarkDisconnected();

  std::unique_ptr<OfficeFolders> folders_;
  bool viewsAvailable_ = true;
  std::string pipe_;
  bool attached_ = false;
  int attachedPid_ = 0;  // 0 until asked for
  std::filesystem::path attachedProfile_;
  // What Reset compares with: for an office this process started to share.
  std::optional<OfficeState> baseline_;
  // Attached to an office this process started: that office's session,
  // whose connection this one uses.
  std::shared_ptr<OfficeSession> owner_;
  std::shared_ptr<ChildProcess> child_;
  std::vector<std::filesystem::path> pipes_;
  css::uno::Reference<css::lang::XComponent> bridge_;
  css::uno::Reference<css::uno::XComponentContext> context_;
  css::uno::Reference<css::frame::XDesktop2> desktop_;
  std::atomic<bool> disconnected_{false};
  std::mutex shutdownMutex_;
  bool shutDown_ = false;
  int leases_ = 0;  // guarded by the manager's mutex
  std::mutex basicMutex_;
  css::uno::Reference<css::script::XLibraryContainer> applicationLibraries_;

  std::mutex watchMutex_;  // guards the deadline state below
  std::condition_variable watchWake_;
  std::multimap<std::chrono::steady_clock::time_point, std::chrono::milliseconds> deadlines_;
  // When the watchdog wakes next by itself (max: only when woken). A call
  // wakes it only for a deadline before that: a wake-up per call cost the
  // calls a thread switch each.
  std::chrono::steady_clock::time_point watchdogWakes_ =
      std::chrono::steady_clock::time_point::max();
  std::string endedReason_;  // set when a deadline passed
  std::string macroNote_;    // a sentence naming the macro (NoteMacro)
  bool watchStop_ = false;
  std::thread watchdog_;

  std::mutex locksMutex_;
  std::uint64_t nextLock_ = 0;
  std::map<std::uint64_t, std::unique_ptr<WorkbookLock>> locks_;
};

// A hold on the current office; the office ends when the last is released.
class OfficeLease {
 public:
  // Starts the office when none runs. Throws com::Error
  // (CO_E_SERVER_EXEC_FAILURE when it cannot be started).
  OfficeLease();
  ~OfficeLease();
  OfficeLease(const OfficeLease&) = delete;
  OfficeLease& operator=(const OfficeLease&) = delete;

  const std::shared_ptr<OfficeSession>& Session() const { return session_; }

 private:
  std::shared_ptr<OfficeSession> session_;
};

// The messages every office has sent back over the bridge: one per call into
// the office (its reply), whatever object the call went to.
std::uint64_t BridgeReplies();

// The pid of the office that serves new application objects, 0 when none.
int CurrentOfficePid();

// The pipe of an office another process started, which application objects
// of this process then attach to instead of starting their own; empty (the
// default) for an office of their own.
void SetSharedOfficePipe(std::string pipe);
std::string SharedOfficePipe();

// Starts an office for other processes to attach to (SetSharedOfficePipe there):
// it is no application object's, and it ends with the last reference to the
// session. Throws com::Error(CO_E_SERVER_EXEC_FAILURE).
std::shared_ptr<OfficeSession> StartSharedOffice();
void SetStartTimeout(std::chrono::milliseconds timeout);

}  // namespace excel::calc
