#include "driver/driver_proxy.h"

#include <algorithm>
#include <chrono>
#include <exception>

#include "com/apartment.h"
#include "host/message.h"
#include "model/model.h"
#include "platform/thread.h"

namespace driver {
namespace {

inline void CpuRelax() {
#if defined(__x86_64__) || defined(__i386__)
  __builtin_ia32_pause();
#else
  std::this_thread::yield();
#endif
}

}  // namespace

void HandOverEvent::WaitAfter(std::uint32_t seen) {
  // First a busy poll, for a setter running on another core; then polls that
  // yield the core, for a setter waiting to run on this one; then block. The
  // busy poll adapts: it grows while it catches the set and shrinks while the
  // setter turns out to share this core.
  const auto start = std::chrono::steady_clock::now();
  int busyPolls = busyPolls_.load(std::memory_order_relaxed);
  int polls = 0;
  while (polls < busyPolls && sets_.load(std::memory_order_relaxed) == seen) {
    CpuRelax();
    // The clock is read now and then only; a poll is far cheaper.
    if ((++polls & 63) == 0 && std::chrono::steady_clock::now() - start > kBusyTime) {
      busyPolls = polls;
    }
  }
  if (polls < busyPolls) {
    busyPolls_.store(std::min(kMaxBusyPolls, busyPolls + busyPolls / 4 + 8),
                     std::memory_order_relaxed);
  } else {
    busyPolls_.store(busyPolls / 2, std::memory_order_relaxed);
    while (sets_.load(std::memory_order_relaxed) == seen &&
           std::chrono::steady_clock::now() - start < kBusyTime + kYieldTime) {
      std::this_thread::yield();
    }
  }
  // Returns at once when the event is set; its lock orders what the setter
  // wrote before it with what this thread reads after.
  event_.Wait();
}

DriverProxy::DriverProxy(ModelFactory factory) : factory_(std::move(factory)) {
  const std::uint32_t seen = doneEvent_.Sets();
  doneEvent_.Reset();
  requestEvent_.Set();
  worker_ = platform::StartThread([this] { DriverWorker(); });
  doneEvent_.WaitAfter(seen);
}

DriverProxy::~DriverProxy() {
  Shutdown();
}

void DriverProxy::DriverWorker() {
  try {
    const com::ApartmentScope apartment;
    std::unique_ptr<model::CExcModel> model;
    try {
      model = factory_ ? factory_() : nullptr;
      createFailed_ = !model || model->CreateFailed();
      createMessage_ = model ? model->CreateError() : kNoModelMessage;
    } catch (...) {
      createFailed_ = true;
      createMessage_ = CurrentExceptionText();
    }
    if (model) {
      model_.store(model.get());
      ServeCommands(*model);
      model.reset();
    }
  } catch (...) {
    // Not even a model could be kept. This thread has no way to the host:
    // the host side learns it below, from the worker's end (the handshake,
    // or kQueryFailedMessage for a request), so the text is not kept.
  }
  model_.store(nullptr);
  workerEnded_.store(true);
  // Whoever waits (the handshake, a request, shutdown) is released.
  doneEvent_.Set();
}

void DriverProxy::ServeCommands(model::CExcModel& model) {
  for (;;) {
    const std::uint32_t seen = requestEvent_.Sets();
    requestEvent_.Reset();
    doneEvent_.Set();
    requestEvent_.WaitAfter(seen);
    if (operation_ == nullptr) {
      result_ = 0;
      return;
    }
    result_ = RunModelOperation(model, operation_, *args_);
  }
}

std::int32_t DriverProxy::Query(ModelOperation posted, const CommandArgs& args,
                                std::int32_t fallback) {
  if (workerEnded_.load()) {
    host::StatusRecord status(args.status);
    host::WriteStatus(status, "%s", kQueryFailedMessage);
    return fallback;
  }
  operation_ = posted;
  args_ = &args;
  result_ = kNoResult;
  const std::uint32_t seen = doneEvent_.Sets();
  doneEvent_.Reset();
  requestEvent_.Set();
  doneEvent_.WaitAfter(seen);
  const std::int32_t result = result_;
  args_ = nullptr;
  if (workerEnded_.load() && result == kNoResult) {
    host::StatusRecord status(args.status);
    host::WriteStatus(status, "%s", kQueryFailedMessage);
  }
  return result == kNoResult ? fallback : result;
}

void DriverProxy::Shutdown() {
  const std::lock_guard<std::mutex> lock(requestLock_);
  if (shutDown_.exchange(true)) return;
  if (!workerEnded_.load()) {
    operation_ = nullptr;
    requestEvent_.Set();
  }
  if (worker_.joinable()) worker_.join();
}

}  // namespace driver
