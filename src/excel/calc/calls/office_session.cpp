// One office session over its life: the lock files of its documents, whether
// its office still lives and answers, putting a shared office back as it
// was found, and ending it.
#include <unistd.h>

#include <algorithm>

#include "excel/calc/calls/uno_office.h"

namespace excel::calc {
namespace uno = css::uno;
namespace fs = std::filesystem;
namespace {

// Ending an office that does not answer need not wait the whole call limit.
constexpr std::chrono::milliseconds kTerminateLimit{10000};

}  // namespace

std::uint64_t OfficeSession::HoldLock(std::unique_ptr<WorkbookLock> lock) {
  std::lock_guard guard(locksMutex_);
  // An office already gone holds nothing: the lock goes at once.
  if (disconnected_) return 0;
  locks_[++nextLock_] = std::move(lock);
  return nextLock_;
}

void OfficeSession::ReleaseLock(std::uint64_t id) {
  std::unique_ptr<WorkbookLock> released;
  std::lock_guard guard(locksMutex_);
  const auto found = locks_.find(id);
  if (found == locks_.end()) return;
  released = std::move(found->second);
  locks_.erase(found);
}

void OfficeSession::FollowSave(std::uint64_t id, const fs::path& path) {
  std::lock_guard guard(locksMutex_);
  if (const auto found = locks_.find(id); found != locks_.end()) found->second->FollowSave(path);
}

void OfficeSession::ReleaseLocks() {
  std::map<std::uint64_t, std::unique_ptr<WorkbookLock>> released;
  std::lock_guard guard(locksMutex_);
  released.swap(locks_);
}

void OfficeSession::MarkDisconnected() {
  disconnected_ = true;
  ReleaseLocks();
}

OfficeSession::~OfficeSession() {
  Shutdown();
}

bool OfficeSession::Disconnected() {
  if (disconnected_) return true;
  if ((child_ && child_->ExitStatus()) || (owner_ && owner_->Disconnected())) MarkDisconnected();
  return disconnected_;
}

int OfficeSession::Pid() {
  if (child_) return child_->Pid();
  if (attachedPid_ == 0)
    attachedPid_ = ListeningProcess(fs::path("/tmp") /
                                    ("OSL_PIPE_" + std::to_string(::getuid()) + "_" + pipe_));
  return attachedPid_;
}

bool OfficeSession::ConfirmAlive() {
  if (Disconnected()) return false;
  bool alive = !child_ || !child_->Ended();
  if (alive) {
    // Any call the office must answer; the component context needs none of
    // its locks, so a busy office answers too.
    try {
      const Deadline deadline(*this, CallTimeout());
      alive = context_.is() && context_->getServiceManager().is();
    } catch (...) {
      // Whatever the failure, the office did not answer: the question is
      // only whether it is alive, so the text has no reader.
      alive = false;
    }
  }
  if (!alive) MarkDisconnected();
  return alive;
}

uno::Reference<css::script::XLibraryContainer> OfficeSession::ApplicationLibraries() {
  std::lock_guard lock(basicMutex_);
  if (!applicationLibraries_.is()) {
    applicationLibraries_.set(
        context_->getServiceManager()->createInstanceWithContext(
            "com.sun.star.script.ApplicationScriptLibraryContainer", context_),
        uno::UNO_QUERY_THROW);
  }
  return applicationLibraries_;
}

bool OfficeSession::Reset() {
  if (!ConfirmAlive()) return false;
  {
    std::lock_guard lock(watchMutex_);
    macroNote_.clear();  // the next user's messages name its own macros
  }
  // A process a macro started (Shell) could end or change the office under
  // its next user; it goes, and the office with it, as what it did is
  // unknown.
  if (child_ && child_->EndDescendants() > 0) return false;
  bool restored = false;
  {
    const Deadline deadline(*this, std::min(CallTimeout(), kResetLimit));
    restored = ResetOfficeState(context_, desktop_, baseline_ ? &*baseline_ : nullptr);
  }
  {
    // What was learnt of the office's libraries (and the wrappers placed in
    // them) is not to be relied on by the next user of this session.
    std::lock_guard lock(basicMutex_);
    applicationMacros.reset();
    applicationWrappers.clear();
  }
  return restored && !Disconnected();
}

void OfficeSession::Shutdown() {
  std::lock_guard lock(shutdownMutex_);
  if (shutDown_) return;
  shutDown_ = true;
  // An office another process started stays, as this process found it.
  if (attached_ && !Disconnected()) static_cast<void>(Reset());
  // What the office started goes with it, whether or not it ends by itself.
  if (child_) child_->EndDescendants();
  bool asked = false;
  if (child_ && !Disconnected() && desktop_.is()) {
    IgnoringFailures([&] {
      const Deadline deadline(*this, std::min(CallTimeout(), kTerminateLimit));
      desktop_->terminate();
    });
    asked = true;
  }
  StopWatchdog();
  ReleaseLocks();
  if (bridge_.is()) IgnoringFailures([&] { bridge_->dispose(); });
  {
    std::lock_guard basicLock(basicMutex_);
    applicationLibraries_.clear();
  }
  desktop_.clear();
  context_.clear();
  bridge_.clear();
  if (child_) {
    // An office that was asked to terminate gets a moment to do so; one
    // that never answered (or is gone) is killed at once.
    if (!asked || !child_->WaitForExit(std::chrono::seconds(5))) child_->Kill();
  }
  disconnected_ = true;
  for (const fs::path& pipe : pipes_) {
    std::error_code ignored;
    fs::remove(pipe, ignored);
  }
  if (folders_) {
    UntrackForExit(folders_->Base());
    folders_.reset();
  }
}

}  // namespace excel::calc
