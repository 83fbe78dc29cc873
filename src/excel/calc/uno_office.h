// One running office and the UNO connection to it. Every application object
// of the process holds the current one; the last to let go ends it. When
// the office dies, the next application object gets a fresh one.
#pragma once

#include <com/sun/star/frame/XDesktop2.hpp>
#include <com/sun/star/lang/XComponent.hpp>
#include <com/sun/star/script/XLibraryContainer.hpp>
#include <com/sun/star/uno/XComponentContext.hpp>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "excel/calc/calc_values.h"
#include "excel/calc/office_process.h"
#include "excel/calc/uno_util.h"

namespace excel::calc {

class OfficeSession {
 public:
  ~OfficeSession();
  OfficeSession(const OfficeSession&) = delete;
  OfficeSession& operator=(const OfficeSession&) = delete;

  int Pid() const { return child_->Pid(); }
  // True once the connection broke or the process ended; cheap (no call to
  // the office).
  bool Disconnected();
  // The thorough check, for when a cheap one is not enough (a call failed,
  // an application object is about to join the office): the process has
  // not ended and no kill is queued for it, and the office answers a call.
  // A false answer is remembered, so that every later call fails at once.
  bool ConfirmAlive();

  css::uno::Reference<css::uno::XComponentContext> Context() const { return context_; }
  css::uno::Reference<css::frame::XDesktop2> Desktop() const { return desktop_; }

  // The office's own Basic libraries.
  css::uno::Reference<css::script::XLibraryContainer> ApplicationLibraries();
  // What the office's own libraries declare and the call wrappers placed in
  // them (calc_macros.cpp), guarded by BasicMutex.
  std::mutex& BasicMutex() { return basicMutex_; }
  std::optional<std::vector<MacroEntry>> applicationMacros;
  std::map<std::string, std::vector<WrappedCall>> applicationWrappers;

  // Runs `body` with failures mapped as Guarded does, for this office. A
  // failure alone does not tell a refusal from a dead office (the bridge's
  // own notice may come later), so each is followed by the thorough check.
  template <typename Body>
  auto Call(HRESULT refused, Body&& body) -> decltype(body()) {
    return Guarded([this] { return !ConfirmAlive(); }, refused, std::forward<Body>(body));
  }

 private:
  friend class OfficeManager;
  OfficeSession() = default;

  // Ends the office: asks it to terminate, then kills it if it does not,
  // reaps it and removes its folders and pipes. Idempotent.
  void Shutdown();
  void MarkDisconnected() { disconnected_ = true; }

  std::unique_ptr<OfficeFolders> folders_;
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
void SetStartTimeout(std::chrono::milliseconds timeout);

}  // namespace excel::calc
