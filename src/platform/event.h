// A manual-reset event: once set it stays set, releasing every waiter, until
// Reset. The driver's host thread and worker thread hand requests over with a
// pair of these.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>

namespace platform {

class ManualResetEvent {
 public:
  explicit ManualResetEvent(bool initiallySet = false) : set_(initiallySet) {}
  ManualResetEvent(const ManualResetEvent&) = delete;
  ManualResetEvent& operator=(const ManualResetEvent&) = delete;

  // Signals the event. Every thread blocked in Wait or WaitFor at this moment
  // is released, even if Reset follows before it gets to run.
  void Set();
  void Reset();

  // Blocks until the event is signalled; returns at once when it is set.
  void Wait();
  // As Wait, but gives up after `timeout`: true when signalled, false when
  // the time ran out.
  bool WaitFor(std::chrono::milliseconds timeout);

  bool IsSet() const;
  // Threads blocked in Wait or WaitFor right now (diagnostics and tests).
  std::size_t WaiterCount() const;

 private:
  mutable std::mutex mutex_;
  std::condition_variable signalled_;
  bool set_;
  // Counts Set calls that found the event not set; a waiter that sees it
  // change was signalled even when the event has been reset since.
  std::uint64_t generation_ = 0;
  std::size_t waiters_ = 0;
};

}  // namespace platform
