// Threaded mode: one worker thread per instance owns the model; the host
// thread hands each request over through two manual-reset events and waits
// for the answer. Exactly one request is in flight per proxy: the request
// lock is held by the host side for the whole of a request, so two host
// threads using one instance take turns, and shutdown waits for a running
// command to finish.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "driver/commands/command_table.h"
#include "driver/dispatch.h"
#include "platform/event.h"

namespace model {
class CExcModel;
}

namespace driver {

using ModelFactory = std::function<std::unique_ptr<model::CExcModel>()>;

inline constexpr char kQueryFailedMessage[] = "Internal Excel driver error (Query) - inform Orvax";

// A manual-reset event that also counts how often it has been set, so that
// a waiter can poll the count without the event's lock before it blocks: a
// round trip to a worker that has just answered then costs no sleep and
// wake-up, and an idle waiter still blocks after a few tens of microseconds.
// The event itself stays the hand-over; the count only says when to look.
class HandOverEvent {
 public:
  void Set() {
    event_.Set();
    sets_.fetch_add(1, std::memory_order_release);
  }
  void Reset() { event_.Reset(); }
  // Take before the action that leads to the Set being waited for.
  std::uint32_t Sets() const { return sets_.load(std::memory_order_acquire); }
  // Waits until the event is set, polling first while the count is `seen`.
  void WaitAfter(std::uint32_t seen);

  // Bounds of the polling before a waiter blocks: at most kBusyTime busy,
  // then up to kYieldTime yielding.
  static constexpr int kMaxBusyPolls = 4000;
  static constexpr std::chrono::microseconds kBusyTime{20};
  static constexpr std::chrono::microseconds kYieldTime{30};

 private:
  platform::ManualResetEvent event_;
  std::atomic<std::uint32_t> sets_{0};
  std::atomic<int> busyPolls_{64};
};

class DriverProxy {
 public:
  // The creation handshake: starts the worker, which builds the model with
  // `factory`, and returns once the model exists (or its creation failed).
  // Throws std::system_error when no thread can be started.
  explicit DriverProxy(ModelFactory factory);
  // Shuts the worker down (see Shutdown).
  ~DriverProxy();
  DriverProxy(const DriverProxy&) = delete;
  DriverProxy& operator=(const DriverProxy&) = delete;

  // The lock a host-side request holds from storing its arguments to
  // reading its result.
  std::mutex& RequestLock() { return requestLock_; }

  // Posts `operation` with `args` and waits for it: the operation's result,
  // or `fallback` when it gave none. Call with the request lock held.
  std::int32_t Query(ModelOperation operation, const CommandArgs& args, std::int32_t fallback);

  // Waits for a running request to end, stops the worker and waits until it
  // has destroyed the model and ended. Idempotent; requests afterwards are
  // answered with kQueryFailedMessage.
  void Shutdown();
  bool IsShutDown() const { return shutDown_.load(); }

  // The model, read atomically: null before the worker has built it and
  // after it has destroyed it.
  model::CExcModel* Model() const { return model_.load(); }

  // The creation handshake's outcome, final once the constructor returns.
  bool CreateFailed() const { return createFailed_; }
  const std::string& CreateMessage() const { return createMessage_; }

 private:
  void DriverWorker();
  void ServeCommands(model::CExcModel& model);

  // Written by the worker before it first signals.
  bool createFailed_ = false;
  std::string createMessage_;

  // The request being posted, written by the host side while the worker is
  // idle, read by the worker while the host side waits; `args_` points to
  // the caller's arguments, which outlive the wait.
  ModelOperation operation_ = nullptr;  // null: stop
  const CommandArgs* args_ = nullptr;
  // Written by the worker while the host side waits.
  std::int32_t result_ = 0;

  HandOverEvent doneEvent_;
  HandOverEvent requestEvent_;
  std::atomic<model::CExcModel*> model_{nullptr};
  std::atomic<bool> workerEnded_{false};
  std::atomic<bool> shutDown_{false};
  std::mutex requestLock_;
  ModelFactory factory_;
  std::thread worker_;
};

// The proxy's commands as a dispatch target; use with the request lock held.
class ThreadedTarget final : public CommandTarget {
 public:
  explicit ThreadedTarget(DriverProxy& proxy) : proxy_(proxy) {}
  bool Threaded() const override { return true; }
  model::CExcModel* Model() override { return proxy_.Model(); }
  std::int32_t Post(ModelOperation operation, const CommandArgs& args,
                    std::int32_t fallback) override {
    return proxy_.Query(operation, args, fallback);
  }

 private:
  DriverProxy& proxy_;
};

}  // namespace driver
