// Eight threaded instances on the in-memory application, driven from eight
// host threads, while instances are destroyed and replaced at random under
// running commands. Every command must come back with a result its code can
// give (or the answer for an instance that has just gone), nothing may hang,
// and every instance and application must be gone at the end.
//
// GRIDMOOR_STRESS_COMMANDS sets the commands per host thread (default 300;
// the "stress" test runs 10,000 under every preset).
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <optional>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "driver/app.h"
#include "driver/instances.h"
#include "model/scripted_dialogs.h"
#include "platform/environment.h"
#include "support/application_registration.h"
#include "support/guarded_buffer.h"
#include "support/temp_folder.h"

namespace {

using test_support::GuardedBuffer;

constexpr int kInstances = 8;
constexpr int kHostThreads = 8;

int CommandsPerThread() {
  const std::optional<std::string> text = platform::GetEnv("GRIDMOOR_STRESS_COMMANDS");
  const int count = text ? std::atoi(text->c_str()) : 0;
  return count > 0 ? count : 300;
}

struct Outcome {
  std::atomic<long> answered{0};
  std::atomic<long> instanceGone{0};
  std::atomic<long> destroys{0};
  std::atomic<long> wrong{0};
  std::mutex mutex;
  std::vector<std::string> examples;

  void Wrong(std::string what) {
    ++wrong;
    const std::lock_guard<std::mutex> lock(mutex);
    if (examples.size() < 10) examples.push_back(std::move(what));
  }
};

// The requests the host threads make at random, and the one answer each
// may give, without a message (kSee: see Acceptable).
constexpr std::int32_t kRandomIarg = -100;
constexpr std::int32_t kRandomFlag = -101;
constexpr std::int32_t kSee = -102;

struct Request {
  std::int32_t code;
  std::int32_t iarg;
  std::int32_t result;
};

constexpr Request kRequests[] = {
    // code, iarg, answer
    {3, kRandomIarg, -999}, {106, 0, -1},  {107, 0, -1}, {49, 0, 0}, {136, 0, 0},
    {129, 300, kSee},       {21, 0, 0},    {23, 0, 0},   {4, 0, 0},  {64, kRandomFlag, 0},
    {5, kRandomFlag, kSee}, {32, 0, kSee}, {104, 0, 0},  {99, 0, 1}, {11, 0, 1}};

class HostThread {
 public:
  HostThread(int index, std::array<std::atomic<ExtInstance>, kInstances>& slots,
             const std::string& folder, Outcome& outcome)
      : index_(index),
        slots_(slots),
        folder_(folder),
        outcome_(outcome),
        random_(static_cast<unsigned>(index) * 7919u + 17u) {}

  void Run(int commands) {
    for (int n = 0; n < commands; ++n) {
      if (random_() % 64 == 0) {
        ReplaceInstance(static_cast<int>(random_() % kInstances));
      } else {
        Command(slots_[static_cast<std::size_t>(index_)].load());
      }
    }
  }

 private:
  void ReplaceInstance(int slot) {
    ExtInstance fresh = nullptr;
    GuardedBuffer status(EXT_STATUS_RECORD_SIZE, 0);
    if (driver::CreateInstance(driver::Mode::kThreaded, &fresh, Status(status)) != 0) {
      outcome_.Wrong("creation failed: " + Text(status));
    }
    ExtInstance old = slots_[static_cast<std::size_t>(slot)].exchange(fresh);
    driver::DestroyInstance(old, Status(status));
    ++outcome_.destroys;
  }

  void Command(ExtInstance instance) {
    const Request& request = kRequests[random_() % std::size(kRequests)];
    GuardedBuffer status(EXT_STATUS_RECORD_SIZE, 0x5A);
    // As large as the largest record a command here takes (the optimisation
    // problem of code 32).
    GuardedBuffer record(EXT_OPT_PROBLEM_RECORD_SIZE, 0);
    const std::string fileName = folder_ + "/t" + std::to_string(index_) + ".xlsx";
    const std::int32_t code = request.code;
    std::int32_t iarg = request.iarg;
    if (iarg == kRandomIarg) iarg = static_cast<std::int32_t>(random_());
    if (iarg == kRandomFlag) iarg = static_cast<std::int32_t>(random_() % 2);
    if (code == 136) std::memcpy(record.chars() + 4, fileName.c_str(), fileName.size() + 1);
    if (code == 21) std::memcpy(record.chars(), "host", 5);
    const std::int32_t result =
        driver::Command(instance, nullptr, code, record.bytes.data(), iarg, Status(status));
    const std::string message = Text(status);
    if (!status.GuardsIntact() || !record.GuardsIntact()) {
      outcome_.Wrong("code " + std::to_string(code) + " wrote past a record");
    }
    if (message == driver::kUnknownInstanceMessage) {
      ++outcome_.instanceGone;
      if (result != driver::FindHostCommand(code)->result) {
        outcome_.Wrong("code " + std::to_string(code) + " on a gone instance gave " +
                       std::to_string(result));
      }
      return;
    }
    ++outcome_.answered;
    if (!Acceptable(request, result, message, record)) {
      outcome_.Wrong("code " + std::to_string(code) + " gave " + std::to_string(result) + " \"" +
                     message + "\"");
    }
  }

  bool Acceptable(const Request& request, std::int32_t result, const std::string& message,
                  GuardedBuffer& record) const {
    if (request.result != kSee) return result == request.result && message.empty();
    const char* bytes = record.chars();
    switch (request.code) {
      case 129: {
        const std::string label(bytes);
        return result == 0 && (label == "<No file>" || (label.rfind(folder_ + "/t", 0) == 0 &&
                                                        label.size() == folder_.size() + 8));
      }
      case 5: {
        std::uint32_t changed = 0;
        std::memcpy(&changed, bytes, 4);
        return result == 0 && changed <= 1 && message.empty();
      }
      case 32:
        return (result == 0 && message.empty()) ||
               (result == -1 && message.rfind("Can not perform this function", 0) == 0);
      default:
        return false;
    }
  }

  static ExtStatusRecord* Status(GuardedBuffer& buffer) {
    return reinterpret_cast<ExtStatusRecord*>(buffer.bytes.data());
  }
  static std::string Text(GuardedBuffer& buffer) {
    return std::string(reinterpret_cast<const char*>(buffer.bytes.data()) + 4);
  }

  int index_;
  std::array<std::atomic<ExtInstance>, kInstances>& slots_;
  std::string folder_;
  Outcome& outcome_;
  std::mt19937 random_;
};

TEST(DriverStressTest, ThreadedInstancesSurviveConcurrentCommandsAndDestroys) {
  test_support::MemoryApplicationRegistration applications("memory", true);
  auto dialogs = std::make_shared<test_support::ScriptedDialogs>();
  test_support::ScopedDialogs installed(dialogs);
  driver::CGridmoorApp& app = driver::CGridmoorApp::Instance();
  const std::string plugIns = app.PlugIns();
  app.SetPlugIns("");
  test_support::TempFolder folder;
  const std::size_t liveBefore = driver::LiveInstanceCount();

  std::array<std::atomic<ExtInstance>, kInstances> slots;
  for (auto& slot : slots) {
    ExtInstance instance = nullptr;
    ASSERT_EQ(driver::CreateInstance(driver::Mode::kThreaded, &instance, nullptr), 0);
    slot.store(instance);
  }

  Outcome outcome;
  const int commands = CommandsPerThread();
  std::vector<std::thread> hosts;
  for (int i = 0; i < kHostThreads; ++i) {
    hosts.emplace_back([&, i] {
      HostThread host(i, slots, folder.path().string(), outcome);
      host.Run(commands);
    });
  }
  std::vector<std::thread::id> hostIds;
  for (std::thread& host : hosts)
    hostIds.push_back(host.get_id());
  for (std::thread& host : hosts)
    host.join();
  for (auto& slot : slots)
    driver::DestroyInstance(slot.exchange(nullptr), nullptr);

  const std::lock_guard<std::mutex> lock(outcome.mutex);
  for (const std::string& example : outcome.examples)
    ADD_FAILURE() << example;
  EXPECT_EQ(outcome.wrong, 0);
  EXPECT_EQ(outcome.answered + outcome.instanceGone + outcome.destroys,
            static_cast<long>(commands) * kHostThreads);
  EXPECT_GT(outcome.destroys, 0);
  EXPECT_EQ(driver::LiveInstanceCount(), liveBefore);
  EXPECT_TRUE(applications.LiveApplications().empty());
  // Every dialog ran on a host thread, never on a worker.
  for (const auto& call : dialogs->Calls()) {
    EXPECT_NE(std::find(hostIds.begin(), hostIds.end(), call.thread), hostIds.end());
  }
  app.SetPlugIns(plugIns);
  std::printf("stress: %ld answered, %ld on gone instances, %ld replaced, %zu dialogs\n",
              outcome.answered.load(), outcome.instanceGone.load(), outcome.destroys.load(),
              dialogs->Calls().size());
}

}  // namespace
