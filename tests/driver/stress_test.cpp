// Eight threaded instances driven from eight host threads while instances
// are destroyed and replaced under running commands: every answer is one its
// code can give, nothing hangs, nothing is left at the end.
// GRIDMOOR_STRESS_COMMANDS: commands per host thread (default 300).
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "driver/application/app.h"
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
constexpr std::int32_t kRandomIarg = -100;  // iarg: any number
constexpr std::int32_t kRandomFlag = -101;  // iarg: 0 or 1
constexpr std::int32_t kSee = -102;         // answer: see Acceptable

int CommandsPerThread() {
  const std::optional<std::string> text = platform::GetEnv("GRIDMOOR_STRESS_COMMANDS");
  const int count = text ? std::atoi(text->c_str()) : 0;
  return count > 0 ? count : 300;
}

// The requests the host threads make at random, and the one answer each
// may give, without a message.
struct Request {
  std::int32_t code;
  std::int32_t iarg;
  std::int32_t result;
};
constexpr Request kRequests[] = {
    {3, kRandomIarg, -999}, {106, 0, -1},  {107, 0, -1}, {49, 0, 0}, {136, 0, 0},
    {129, 300, kSee},       {21, 0, 0},    {23, 0, 0},   {4, 0, 0},  {64, kRandomFlag, 0},
    {5, kRandomFlag, kSee}, {32, 0, kSee}, {104, 0, 0},  {99, 0, 1}, {11, 0, 1}};

// The answers that depend on what the instance went through: the label is
// no file or a host thread's file; the case dialog confirms; the
// optimisation set-up may find no workbook.
bool Acceptable(const Request& request, std::int32_t result, const std::string& message,
                const char* record, const std::string& folder) {
  if (request.result != kSee) return result == request.result && message.empty();
  if (request.code == 129) {
    const std::string label(record);
    return result == 0 && (label == "<No file>" || (label.rfind(folder + "/t", 0) == 0 &&
                                                    label.size() == folder.size() + 8));
  }
  if (request.code == 5) {
    std::uint32_t changed = 0;
    std::memcpy(&changed, record, 4);
    return result == 0 && changed <= 1 && message.empty();
  }
  return (result == 0 && message.empty()) ||
         (result == -1 && message.rfind("Can not perform this function", 0) == 0);
}

TEST(DriverStressTest, ThreadedInstancesSurviveConcurrentCommandsAndDestroys) {
  test_support::MemoryApplicationRegistration applications("memory", true);
  auto dialogs = std::make_shared<test_support::ScriptedDialogs>();
  test_support::ScopedDialogs installed(dialogs);
  driver::CGridmoorApp& app = driver::CGridmoorApp::Instance();
  const std::string plugIns = app.PlugIns();
  app.SetPlugIns("");
  test_support::TempFolder temp;
  const std::string folder = temp.path().string();
  const std::size_t liveBefore = driver::LiveInstanceCount();

  std::array<std::atomic<ExtInstance>, kInstances> slots;
  for (auto& slot : slots) {
    ExtInstance instance = nullptr;
    ASSERT_EQ(driver::CreateInstance(driver::Mode::kThreaded, &instance, nullptr), 0);
    slot.store(instance);
  }

  const int commands = CommandsPerThread();
  std::atomic<long> answered{0}, gone{0}, destroys{0}, wrong{0};
  // The first few wrong answers, told from the host threads.
  const auto report = [&](const std::string& what) {
    if (++wrong <= 10) ADD_FAILURE() << what;
  };
  // Each host thread commands its own slot and now and then replaces any.
  const auto host = [&](int index) {
    std::mt19937 random(static_cast<unsigned>(index) * 7919u + 17u);
    const std::string fileName = folder + "/t" + std::to_string(index) + ".xlsx";
    for (int n = 0; n < commands; ++n) {
      GuardedBuffer status(EXT_STATUS_RECORD_SIZE, 0x5A);
      if (random() % 64 == 0) {
        ExtInstance fresh = nullptr;
        if (driver::CreateInstance(driver::Mode::kThreaded, &fresh, status.status()) != 0)
          report("creation failed");
        driver::DestroyInstance(slots[random() % kInstances].exchange(fresh), status.status());
        ++destroys;
        continue;
      }
      const Request& request = kRequests[random() % std::size(kRequests)];
      std::int32_t iarg = request.iarg;
      if (iarg == kRandomIarg) iarg = static_cast<std::int32_t>(random());
      if (iarg == kRandomFlag) iarg = static_cast<std::int32_t>(random() % 2);
      // As large as the largest record a command here takes (code 32's).
      GuardedBuffer record(EXT_OPT_PROBLEM_RECORD_SIZE, 0);
      if (request.code == 136)
        std::memcpy(record.chars() + 4, fileName.c_str(), fileName.size() + 1);
      if (request.code == 21) std::memcpy(record.chars(), "host", 5);
      const std::int32_t result =
          driver::Command(slots[static_cast<std::size_t>(index)].load(), nullptr, request.code,
                          record.bytes.data(), iarg, status.status());
      const std::string message = status.status()->text;
      const std::string what = "code " + std::to_string(request.code) + " gave " +
                               std::to_string(result) + " \"" + message + "\"";
      if (!status.GuardsIntact() || !record.GuardsIntact()) report(what + ", past a record");
      if (message == driver::kUnknownInstanceMessage) {
        ++gone;
        if (result != driver::FindHostCommand(request.code)->result) report(what);
      } else {
        ++answered;
        if (!Acceptable(request, result, message, record.chars(), folder)) report(what);
      }
    }
  };
  std::vector<std::thread> hosts;
  for (int i = 0; i < kHostThreads; ++i)
    hosts.emplace_back(host, i);
  std::vector<std::thread::id> hostIds;
  for (std::thread& thread : hosts)
    hostIds.push_back(thread.get_id());
  for (std::thread& thread : hosts)
    thread.join();
  for (auto& slot : slots)
    driver::DestroyInstance(slot.exchange(nullptr), nullptr);

  EXPECT_EQ(wrong, 0);
  EXPECT_EQ(answered + gone + destroys, static_cast<long>(commands) * kHostThreads);
  EXPECT_GT(destroys, 0);
  EXPECT_EQ(driver::LiveInstanceCount(), liveBefore);
  EXPECT_TRUE(applications.LiveApplications().empty());
  // Every dialog ran on a host thread, never on a worker.
  for (const auto& call : dialogs->Calls())
    EXPECT_NE(std::find(hostIds.begin(), hostIds.end(), call.thread), hostIds.end());
  app.SetPlugIns(plugIns);
}

}  // namespace
