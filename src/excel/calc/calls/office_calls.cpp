// Calls to the office: each under a deadline, a watchdog that ends an office
// past it, and what a failed call says about why.
#include <signal.h>

#include <cstring>
#include <string>
#include <thread>

#include "excel/calc/calls/bridge_faults.h"
#include "excel/calc/calls/uno_office.h"
#include "platform/thread.h"

namespace excel::calc {
namespace {

// Why a call failed when the office ended without being asked to.
// `exitStatus` is 128 + the signal for a killed office; nullopt while a
// queued kill has not ended it yet.
std::string HowTheOfficeEnded(std::optional<int> exitStatus) {
  std::string how = "The office ended unexpectedly";
  if (!exitStatus) {
    how += " (killed)";
  } else if (*exitStatus > 128) {
    const char* name = sigabbrev_np(*exitStatus - 128);
    how += " (signal ";
    how += name ? std::string("SIG") + name : std::to_string(*exitStatus - 128);
    how += ')';
  } else {
    how += " (exit status " + std::to_string(*exitStatus) + ')';
  }
  how += "; the object invoked has disconnected from its clients.";
  return how;
}

}  // namespace

std::string LimitText(std::chrono::milliseconds limit) {
  const auto count = limit.count();
  const auto plural = [](long long n, const char* unit) {
    return std::to_string(n) + " " + unit + (n == 1 ? "" : "s");
  };
  if (count >= 60000 && count % 60000 == 0) return plural(count / 60000, "minute");
  if (count % 1000 == 0) return plural(count / 1000, "second");
  return std::to_string(count) + " ms";
}

void OfficeSession::EnterBridgeCall() noexcept {
  // As the call deadline ends an office, minus the explanation: the call
  // must find the office dead by itself.
  if (!BridgeCallMustFail()) return;
  if (child_) {
    child_->Kill();
  } else if (attached_) {
    // An office another process started (a warm office of run-many) dies
    // as its own deadline would end it: with its process group.
    try {
      if (const int pid = Pid(); pid > 0) {
        ::kill(-pid, SIGKILL);
        ::kill(pid, SIGKILL);
      }
    } catch (...) {
      // No office found to kill: the call goes on as it would.
    }
  }
}

OfficeSession::Deadline::Deadline(OfficeSession& session, std::chrono::milliseconds limit)
    : session_(session) {
  std::lock_guard lock(session_.watchMutex_);
  const auto due = std::chrono::steady_clock::now() + limit;
  it_ = session_.deadlines_.emplace(due, limit);
  if (due < session_.watchdogWakes_) session_.watchWake_.notify_all();
}

OfficeSession::Deadline::~Deadline() {
  std::lock_guard lock(session_.watchMutex_);
  session_.deadlines_.erase(it_);
}

void OfficeSession::StartWatchdog() {
  watchdog_ = platform::StartThread([this] { Watch(); });
}

void OfficeSession::StopWatchdog() {
  {
    std::lock_guard lock(watchMutex_);
    watchStop_ = true;
    watchWake_.notify_all();
  }
  if (watchdog_.joinable() && watchdog_.get_id() != std::this_thread::get_id()) watchdog_.join();
}

void OfficeSession::Watch() {
  std::unique_lock lock(watchMutex_);
  while (!watchStop_) {
    // Once ended there is nothing left to watch.
    if (deadlines_.empty() || !endedReason_.empty()) {
      watchdogWakes_ = std::chrono::steady_clock::time_point::max();
      watchWake_.wait(lock);
      continue;
    }
    // Copies: the call may end, and its entry go, while this waits.
    const auto [due, limit] = *deadlines_.begin();
    if (std::chrono::steady_clock::now() < due) {
      watchdogWakes_ = due;
      watchWake_.wait_until(lock, due);
      continue;
    }
    endedReason_ = "The office did not answer within " + LimitText(limit) +
                   (child_ ? " and was ended" : " and was let go") +
                   "; the object invoked has disconnected from its clients.";
    lock.unlock();
    // What the office held (documents, their lock files) goes with it. The
    // blocked call returns once the bridge sees the office gone, so by then
    // the locks are gone and the process is reaped (Kill waits for that).
    ReleaseLocks();
    if (child_) {
      child_->Kill();
    } else {
      // Another process's office is never ended here: the connection goes,
      // and with it the call.
      const css::uno::Reference<css::lang::XComponent> bridge = owner_ ? owner_->bridge_ : bridge_;
      if (bridge.is()) IgnoringFailures([&] { bridge->dispose(); });
    }
    MarkDisconnected();
    lock.lock();
  }
}

void OfficeSession::ThrowExplained(const com::Error& error) {
  // A failure the call's own code reported in its terms ("Failed to ...")
  // is still the office's ending when the office is gone.
  if (error.hr() != com::RPC_E_DISCONNECTED && Disconnected()) {
    ThrowExplained(com::Error(com::RPC_E_DISCONNECTED));
  }
  if (error.hr() == com::RPC_E_DISCONNECTED) {
    // A closed document's objects fail the same way as a dead office, so
    // the office is asked; a dead one's locks go now, not when the process
    // is reaped (a killed office may not be, yet, on a busy machine).
    const bool alive = ConfirmAlive();
    // A process ending is reaped only once all its threads have gone, a
    // moment after it stopped answering; how it ended is worth that moment.
    std::optional<int> exitStatus;
    if (!alive && child_ && child_->WaitForExit(std::chrono::seconds(2)))
      exitStatus = child_->ExitStatus();
    std::string reason;
    {
      std::lock_guard lock(watchMutex_);
      // An office that ended on its own says how, so that a crash reads
      // as one.
      if (!alive && endedReason_.empty()) {
        // Another process's office: only its owner can tell how it ended.
        endedReason_ = child_ ? HowTheOfficeEnded(exitStatus)
                              : "The office on the pipe " + pipe_ +
                                    " no longer answers; the object invoked has disconnected "
                                    "from its clients.";
      }
      reason = endedReason_;
      if (!alive && !reason.empty() && !macroNote_.empty()) reason += " " + macroNote_;
    }
    if (!reason.empty()) com::Throw(com::RPC_E_DISCONNECTED, reason);
  }
  throw error;
}

void OfficeSession::NoteMacro(const std::string& name, bool running) {
  std::lock_guard lock(watchMutex_);
  macroNote_ = running ? "It ended while macro " + name + " was running."
                       : "The last macro run was " + name + ".";
}

void OfficeSession::ThrowDisconnected() {
  ThrowExplained(com::Error(com::RPC_E_DISCONNECTED));
}

}  // namespace excel::calc
