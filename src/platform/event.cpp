#include "platform/event.h"

namespace platform {

void ManualResetEvent::Set() {
  {
    std::lock_guard lock(mutex_);
    if (set_) return;
    set_ = true;
    ++generation_;
  }
  signalled_.notify_all();
}

void ManualResetEvent::Reset() {
  std::lock_guard lock(mutex_);
  set_ = false;
}

void ManualResetEvent::Wait() {
  std::unique_lock lock(mutex_);
  if (set_) return;
  const std::uint64_t entered = generation_;
  ++waiters_;
  // The predicate makes spurious wake-ups go back to waiting.
  signalled_.wait(lock, [&] { return set_ || generation_ != entered; });
  --waiters_;
}

bool ManualResetEvent::WaitFor(std::chrono::milliseconds timeout) {
  std::unique_lock lock(mutex_);
  if (set_) return true;
  if (timeout <= std::chrono::milliseconds::zero()) return false;
  const std::uint64_t entered = generation_;
  ++waiters_;
  const bool signalled =
      signalled_.wait_for(lock, timeout, [&] { return set_ || generation_ != entered; });
  --waiters_;
  return signalled;
}

bool ManualResetEvent::IsSet() const {
  std::lock_guard lock(mutex_);
  return set_;
}

std::size_t ManualResetEvent::WaiterCount() const {
  std::lock_guard lock(mutex_);
  return waiters_;
}

}  // namespace platform
