// Instances from creation to destruction: identification, the creation
// handshake and its failures, destruction while a command runs, handles that
// lead nowhere.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include "driver/instances.h"
#include "driver/recording_model.h"
#include "support/guarded_buffer.h"
#include "support/temp_registry.h"

namespace {

using driver::Mode;
using test_support::GuardedBuffer;
using test_support::ModelCall;
using test_support::RecordingModel;

ExtStatusRecord* AsStatus(GuardedBuffer& buffer) {
  return reinterpret_cast<ExtStatusRecord*>(buffer.bytes.data());
}

std::string TextOf(const GuardedBuffer& buffer) {
  return std::string(reinterpret_cast<const char*>(buffer.bytes.data()) + 4);
}

std::uint32_t U32At(const GuardedBuffer& buffer, std::size_t offset) {
  std::uint32_t value = 0;
  std::memcpy(&value, buffer.bytes.data() + offset, sizeof value);
  return value;
}

void PutU32(GuardedBuffer& buffer, std::size_t offset, std::uint32_t value) {
  std::memcpy(buffer.bytes.data() + offset, &value, sizeof value);
}

TEST(IdentifyTest, FillsTheIdentificationRecordExactly) {
  GuardedBuffer id(EXT_IDENTIFY_RECORD_MIN_SIZE, 0x77);
  PutU32(id, 0, EXT_INTERFACE_VERSION);
  GuardedBuffer status(EXT_STATUS_RECORD_SIZE, 0x66);
  PutU32(status, 0, EXT_STATUS_RECORD_SIZE);
  EXPECT_EQ(driver::Identify(id.bytes.data(), AsStatus(status)), 0);

  std::vector<unsigned char> expected(EXT_IDENTIFY_RECORD_MIN_SIZE, 0x77);
  const auto put = [&](std::size_t offset, const void* bytes, std::size_t size) {
    std::memcpy(expected.data() + offset, bytes, size);
  };
  const std::uint32_t words[][2] = {{0, 2564}, {4, 70},   {272, 1},  {276, 3},
                                    {1540, 1}, {1548, 1}, {1552, 1}, {1556, 0x01010001},
                                    {1688, 0}, {1696, 1}, {268, 0}};
  for (const auto& [offset, value] : words)
    put(offset, &value, 4);
  const std::uint32_t forty = 40;
  put(264, &forty, 4);
  put(8, "Excel", 6);
  put(1284, "Generic MS Excel driver", 24);
  // The text fields are written up to their terminators only.
  EXPECT_EQ(std::vector<unsigned char>(id.bytes.begin(), id.bytes.end() - 16), expected);
  EXPECT_TRUE(id.GuardsIntact());
  // The status record is cleared whole.
  EXPECT_EQ(std::vector<unsigned char>(status.bytes.begin(), status.bytes.end() - 16),
            std::vector<unsigned char>(EXT_STATUS_RECORD_SIZE, 0));
}

TEST(IdentifyTest, RefusesAnotherVersionOrRecordSize) {
  const std::string message = "Gridmoor.dll is not compatible with this version of Conflux";
  // A wrong version: cleared, then the message.
  GuardedBuffer id(EXT_IDENTIFY_RECORD_MIN_SIZE, 0x77);
  PutU32(id, 0, 2563);
  GuardedBuffer status(EXT_STATUS_RECORD_SIZE, 0x66);
  PutU32(status, 0, EXT_STATUS_RECORD_SIZE);
  EXPECT_EQ(driver::Identify(id.bytes.data(), AsStatus(status)), 1);
  EXPECT_EQ(TextOf(status), message);
  EXPECT_EQ(U32At(status, 0), 0u);
  EXPECT_EQ(status.bytes[EXT_STATUS_RECORD_SIZE - 1], 0);
  EXPECT_EQ(id.bytes[4], 0x77);  // nothing identified

  // A wrong size word: not cleared, and the message stays within the bytes
  // the record says it has.
  for (const std::uint32_t size : {263u, 265u, 1000u, 40u, 12u, 5u, 4u, 0u}) {
    SCOPED_TRACE(size);
    const std::size_t room = std::min<std::size_t>(size, EXT_STATUS_RECORD_SIZE);
    GuardedBuffer small(room < 4 ? 4 : room, 0x66);
    PutU32(small, 0, size);
    PutU32(id, 0, EXT_INTERFACE_VERSION);
    EXPECT_EQ(driver::Identify(id.bytes.data(), AsStatus(small)), 1);
    EXPECT_TRUE(small.GuardsIntact());
    EXPECT_EQ(U32At(small, 0), size);
    if (room > 4) {
      const std::string written = TextOf(small);
      EXPECT_EQ(written, message.substr(0, room - 5));
      for (std::size_t i = 4 + written.size() + 1; i < room; ++i)
        EXPECT_EQ(small.bytes[i], 0x66);
    }
  }
  EXPECT_EQ(driver::Identify(id.bytes.data(), nullptr), 1);
  PutU32(status, 0, EXT_STATUS_RECORD_SIZE);
  EXPECT_EQ(driver::Identify(nullptr, AsStatus(status)), 1);
  EXPECT_EQ(TextOf(status), message);
}

class LifecycleTest : public testing::TestWithParam<Mode> {
 protected:
  bool Threaded() const { return GetParam() == Mode::kThreaded; }
  ExtStatusRecord* Status() { return AsStatus(status_); }

  test_support::ScopedEnv noApplication_{"GRIDMOOR_SPREADSHEET", "none"};
  GuardedBuffer status_{EXT_STATUS_RECORD_SIZE, 0};
};

TEST_P(LifecycleTest, AModelThatCannotBeMadeIsReportedNotThrown) {
  ExtInstance instance = nullptr;
  const auto throwing = []() -> std::unique_ptr<model::CExcModel> {
    throw std::runtime_error("no memory for the model");
  };
  EXPECT_EQ(driver::CreateInstance(GetParam(), &instance, Status(), throwing), 1);
  EXPECT_EQ(TextOf(status_),
            "An error occurred in creating an Excel instance\n(Internal error: no memory for the "
            "model)");
  if (Threaded()) {
    // The proxy exists; its worker has ended, and requests say so.
    ASSERT_NE(instance, nullptr);
    EXPECT_EQ(driver::Command(instance, nullptr, 3, nullptr, 0, Status()), 1);
    EXPECT_EQ(TextOf(status_), "Internal Excel driver error (Query) - inform Orvax");
    EXPECT_EQ(driver::Command(instance, nullptr, 21, nullptr, 0, Status()), 1);
    EXPECT_EQ(TextOf(status_), "There is no connection to Excel");
    EXPECT_EQ(driver::StartApp(instance, Status()), 1);
    EXPECT_EQ(driver::StopApp(instance), 1);
  } else {
    EXPECT_EQ(instance, nullptr);
  }
  EXPECT_EQ(driver::DestroyInstance(instance, Status()), 0);
  ExtStatusRecord* nowhere = nullptr;
  EXPECT_EQ(driver::CreateInstance(GetParam(), nullptr, nowhere), 1);
}

TEST_P(LifecycleTest, HandlesThatLeadNowhereAreAnsweredNotFollowed) {
  ExtInstance instance = nullptr;
  driver::CreateInstance(GetParam(), &instance, Status());
  ASSERT_EQ(driver::DestroyInstance(instance, Status()), 0);
  int foreign = 0;
  const ExtInstance handles[] = {nullptr, instance, reinterpret_cast<ExtInstance>(&foreign)};
  for (const ExtInstance handle : handles) {
    EXPECT_EQ(driver::Command(handle, nullptr, 3, nullptr, 0, Status()), 1);
    EXPECT_EQ(TextOf(status_), driver::kUnknownInstanceMessage);
    EXPECT_EQ(driver::Command(handle, nullptr, 18, nullptr, 0, Status()), -1);
    EXPECT_EQ(driver::Command(handle, nullptr, 300, nullptr, 0, Status()), 0);
    EXPECT_EQ(TextOf(status_), "");
    EXPECT_EQ(driver::StartApp(handle, Status()), 1);
    EXPECT_EQ(driver::StopApp(handle), 1);
    EXPECT_EQ(driver::DestroyInstance(handle, Status()), 0);
  }
}

TEST_P(LifecycleTest, DestructionWaitsForARunningCommandAndDestroysTheModelOnItsThread) {
  RecordingModel* model = nullptr;
  ExtInstance instance = nullptr;
  driver::CreateInstance(GetParam(), &instance, Status(), [&] {
    auto made = std::make_unique<RecordingModel>();
    model = made.get();
    return made;
  });
  std::promise<void> entered;
  std::promise<void> release;
  std::shared_future<void> released = release.get_future().share();
  model->SetHook([&](const ModelCall& call) -> std::optional<std::int32_t> {
    if (call.op == "QueryNumber") {
      entered.set_value();
      released.wait();
    }
    return std::nullopt;
  });
  std::atomic<bool> destroyedModel{false};
  std::thread::id destroyedOn;
  std::thread::id madeOn = model->ConstructedOn();
  model->onDestroy = [&] {
    destroyedOn = std::this_thread::get_id();
    destroyedModel = true;
  };

  GuardedBuffer commandStatus(EXT_STATUS_RECORD_SIZE, 0);
  std::int32_t commandResult = 0;
  std::thread host([&] {
    commandResult = driver::Command(instance, nullptr, 3, nullptr, 0, AsStatus(commandStatus));
  });
  entered.get_future().wait();
  std::atomic<bool> destroyReturned{false};
  std::thread::id destroyerId;
  std::thread destroyer([&] {
    destroyerId = std::this_thread::get_id();
    driver::DestroyInstance(instance, nullptr);
    destroyReturned = true;
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_FALSE(destroyReturned);
  EXPECT_FALSE(destroyedModel);
  release.set_value();
  host.join();
  destroyer.join();
  EXPECT_EQ(commandResult, test_support::kRecordedResult);  // the command's result is not lost
  EXPECT_TRUE(destroyedModel);
  EXPECT_EQ(destroyedOn, Threaded() ? madeOn : destroyerId);
  if (Threaded()) {
    EXPECT_NE(madeOn, std::this_thread::get_id());
  }
}

TEST_P(LifecycleTest, TwoHostThreadsOnOneInstanceTakeTurns) {
  ExtInstance instance = nullptr;
  RecordingModel* model = nullptr;
  driver::CreateInstance(GetParam(), &instance, Status(), [&] {
    auto made = std::make_unique<RecordingModel>();
    model = made.get();
    return made;
  });
  std::atomic<int> inside{0};
  std::atomic<bool> overlapped{false};
  model->SetHook([&](const ModelCall&) -> std::optional<std::int32_t> {
    if (++inside > 1) overlapped = true;
    std::this_thread::yield();
    --inside;
    return std::nullopt;
  });
  std::vector<std::thread> hosts;
  std::atomic<int> wrong{0};
  for (int t = 0; t < 4; ++t) {
    hosts.emplace_back([&, t] {
      GuardedBuffer status(EXT_STATUS_RECORD_SIZE, 0);
      for (int i = 0; i < 200; ++i) {
        const std::int32_t iarg = t * 1000 + i;
        if (driver::Command(instance, nullptr, 3, nullptr, iarg, AsStatus(status)) !=
            test_support::kRecordedResult) {
          ++wrong;
        }
      }
    });
  }
  for (std::thread& host : hosts)
    host.join();
  EXPECT_FALSE(overlapped);
  EXPECT_EQ(wrong, 0);
  EXPECT_EQ(model->Calls().size(), 800u);
  driver::DestroyInstance(instance, nullptr);
}

INSTANTIATE_TEST_SUITE_P(Modes, LifecycleTest, testing::Values(Mode::kDirect, Mode::kThreaded),
                         [](const testing::TestParamInfo<Mode>& info) {
                           return info.param == Mode::kDirect ? "Direct" : "Threaded";
                         });

}  // namespace
