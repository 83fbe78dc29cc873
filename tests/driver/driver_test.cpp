// Instances and their commands in both modes, identification, the export
// guard.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <functional>
#include <future>
#include <new>
#include <optional>
#include <string>
#include <thread>
#include <tuple>
#include <utility>
#include <vector>

#include "com/error.h"
#include "driver/export_guard.h"
#include "driver/instances.h"
#include "driver/recording_model.h"
#include "support/guarded_buffer.h"
#include "support/temp_registry.h"
#include "support/wait.h"

namespace {

using driver::Mode;
using test_support::GuardedBuffer;
using test_support::ModelCall;
using test_support::RecordingModel;

struct Expected {
  std::int32_t code;
  std::int32_t iarg;
  const char* op;         // null: no operation runs (threaded 99)
  int arg;                // where in the record the operation's pointer points; -1: null
  std::int64_t value;     // the integer passed on
  std::int32_t answer;    // the host's result when the operation answers 42
  std::int32_t fallback;  // the code's default result
  bool hostThread;        // runs on the calling thread in threaded mode
  bool dialog;            // the worksheet names are refreshed first
};

constexpr int A = 0;
constexpr int N = -1;
constexpr std::int32_t R = test_support::kRecordedResult;

// One command of each shape the host command table has; flags pass on 1 for
// a positive iarg, else 0.
std::vector<Expected> Routes(Mode mode) {
  std::vector<Expected> routes = {
      {2, 7, "EnumStreams", N, 7, R, 1, false, false},
      {3, 7, "QueryNumber", N, 7, R, 1, false, false},
      {4, 7, "ReloadWorkbook", N, 0, R, 1, false, false},
      {5, 7, "EditCase", N, 0, R, 1, true, true},
      {9, 7, "QueryComp", N, 0, R, 1, false, false},
      {18, 7, "GetStreamComposition", N, 7, R, -1, false, false},
      {20, 7, "SetModelDataFile", A, 1, 0, 1, false, false},
      {20, -3, "SetModelDataFile", A, 0, 0, 1, false, false},
      {36, 7, "GetObjectiveFunction", N, 0, R, -1, false, false},
      {38, 0, "GetControls", N, 0, R, 1, false, false},
      {38, 5, "GetIntegerControls", N, 0, R, 1, false, false},
      {64, 7, "SetInterfaceVisible", N, 1, R, 1, false, false},
      {64, 0, "SetInterfaceVisible", N, 0, R, 1, false, false},
      {104, 7, "EditPublishedVariables", N, 0, R, 1, true, true},
      {258, 7, "WriteBatchOutput", N, 0, R, 1, false, false},
  };
  if (mode == Mode::kDirect) {
    routes.push_back({32, 7, "SetupOptimisation", N, 7, R, 1, true, true});
    routes.push_back({99, 7, "GetDispatch", N, 0, R, 1, true, false});
  } else {
    routes.push_back({99, 7, nullptr, N, 0, R, 1, true, false});
  }
  return routes;
}

class DispatchTest : public testing::TestWithParam<Mode> {
 protected:
  void SetUp() override {
    driver::CreateInstance(GetParam(), &handle_, Status(), [this] {
      auto made = std::make_unique<RecordingModel>();
      model_ = made.get();
      return made;
    });
    ASSERT_NE(handle_, nullptr);
    ASSERT_NE(model_, nullptr);
  }
  void TearDown() override { EXPECT_EQ(driver::DestroyInstance(handle_, nullptr), 0); }

  ExtStatusRecord* Status() { return status_.status(); }
  std::string Message() const { return status_.Message(); }
  std::int32_t Run(std::int32_t code, std::int32_t iarg) {
    return driver::Command(handle_, &window_, code, record_.bytes.data(), iarg, Status());
  }
  bool Threaded() const { return GetParam() == Mode::kThreaded; }

  test_support::ScopedEnv noApplication_{"GRIDMOOR_SPREADSHEET", "none"};
  test_support::StatusBuffer status_;
  GuardedBuffer record_{4096, 0};
  int window_ = 0;
  ExtInstance handle_ = nullptr;
  RecordingModel* model_ = nullptr;
};

TEST_P(DispatchTest, EveryRoutedCodeReachesItsOperationWithItsArguments) {
  for (const Expected& e : Routes(GetParam())) {
    SCOPED_TRACE("code " + std::to_string(e.code) + " iarg " + std::to_string(e.iarg));
    model_->ClearCalls();
    const std::int32_t result = Run(e.code, e.iarg);
    const std::vector<ModelCall> calls = model_->Calls();
    if (e.op == nullptr) {
      EXPECT_EQ(result, e.fallback);
      EXPECT_TRUE(calls.empty());
      EXPECT_EQ(Message(), "");
      continue;
    }
    EXPECT_EQ(result, e.answer);
    ASSERT_EQ(calls.size(), e.dialog ? 2u : 1u);
    if (e.dialog) {
      EXPECT_EQ(calls[0].op, "RefreshSheetNames");
      EXPECT_EQ(calls[0].thread != std::this_thread::get_id(), Threaded());
    }
    const ModelCall& call = calls.back();
    const void* arg = e.arg < 0 ? nullptr : record_.bytes.data() + e.arg;
    // The operation, its pointer, integer and window (the dialogs' alone),
    // and whether it ran here.
    EXPECT_EQ(
        std::tuple(call.op, call.arg, call.value, call.window,
                   call.thread == std::this_thread::get_id()),
        std::tuple(std::string(e.op), arg, e.value,
                   e.code == 5 || e.code == 104 ? &window_ : nullptr, !Threaded() || e.hostThread));
    if (e.code == 5) {
      EXPECT_EQ(call.dialogKind, e.iarg);
      EXPECT_EQ(model_->dialogKind, 0);  // for the call only
    }
  }
  EXPECT_TRUE(record_.GuardsIntact());
  EXPECT_TRUE(status_.GuardsIntact());
}

TEST_P(DispatchTest, AFailingOperationGivesItsMessageAndTheCodesDefault) {
  struct Failure {
    const char* name;
    std::function<void()> raise;
    std::string message;
  };
  const Failure failures[] = {
      {"automation error", [] { com::Throw(com::E_FAIL); }, com::Error(com::E_FAIL).what()},
      {"other exception", [] { throw std::runtime_error("boom"); }, "Internal error: boom"},
      {"anything", [] { throw 17; }, "Internal error: unknown exception"},
  };
  for (const Failure& failure : failures) {
    model_->SetHook([&](const ModelCall& call) -> std::optional<std::int32_t> {
      if (call.op != "RefreshSheetNames") failure.raise();
      return std::nullopt;
    });
    for (const Expected& e : Routes(GetParam())) {
      if (e.op == nullptr) continue;
      SCOPED_TRACE(std::string(failure.name) + ", code " + std::to_string(e.code));
      EXPECT_EQ(Run(e.code, e.iarg), e.fallback);
      EXPECT_EQ(Message(), failure.message);
    }
  }
  // The worker survived all of it.
  model_->SetHook(nullptr);
  EXPECT_EQ(Run(3, 0), test_support::kRecordedResult);
  EXPECT_EQ(Message(), "");
}

TEST_P(DispatchTest, ConstantAndUnroutedCodesTouchNothing) {
  const std::pair<std::int32_t, std::int32_t> constants[] = {{6, 0},   {11, 1},  {52, 0}, {1, 0},
                                                             {257, 0}, {300, 0}, {-4, 0}};
  for (const auto& [code, result] : constants) {
    SCOPED_TRACE(code);
    std::memset(status_.bytes.data(), 0xAB, EXT_STATUS_RECORD_SIZE);
    EXPECT_EQ(Run(code, 3), result);
    // The status record is cleared whole, the size word included.
    EXPECT_EQ(std::vector<unsigned char>(status_.bytes.begin(),
                                         status_.bytes.begin() + EXT_STATUS_RECORD_SIZE),
              std::vector<unsigned char>(EXT_STATUS_RECORD_SIZE, 0));
    // Without an instance too.
    EXPECT_EQ(driver::Command(nullptr, nullptr, code, nullptr, 0, Status()), result);
  }
  EXPECT_TRUE(model_->Calls().empty());
}

TEST_P(DispatchTest, LabelAndIconRunOnTheCallingThread) {
  char label[] = "Separator 3";
  EXPECT_EQ(driver::Command(handle_, nullptr, 21, label, 0, Status()), 0);
  EXPECT_EQ(model_->label, "Separator 3");

  std::uint32_t pixel = 0;
  ExtDrawSurface surface{1, 1, 4, &pixel};
  EXPECT_EQ(driver::Command(handle_, &window_, 7, &surface, 0, Status()), 1);
  EXPECT_EQ(pixel >> 24, 0xFFu);
  EXPECT_TRUE(model_->Calls().empty());
}

TEST_P(DispatchTest, StartAndStopApplication) {
  std::memset(status_.bytes.data(), 'z', EXT_STATUS_RECORD_SIZE);
  const std::int32_t started = driver::StartApp(handle_, Status());
  if (!Threaded()) {
    // Written without clearing first: the size word and the bytes after the
    // message keep what they held.
    EXPECT_EQ(std::tuple(started, status_.bytes[0], status_.bytes[4 + Message().size() + 1]),
              std::tuple(1, 'z', 'z'));
    EXPECT_EQ(driver::StopApp(handle_), 0);
    EXPECT_TRUE(model_->Calls().empty());
    return;
  }
  EXPECT_EQ(started, test_support::kRecordedResult);
  ASSERT_EQ(model_->Calls().size(), 1u);
  EXPECT_EQ(model_->Calls()[0].op, "StartApplication");

  // Stopping has no status record: a failure inside it is written nowhere,
  // certainly not into the record of an earlier request.
  status_.Cleared();
  EXPECT_EQ(Run(3, 0), test_support::kRecordedResult);
  model_->SetHook([](const ModelCall& call) -> std::optional<std::int32_t> {
    if (call.op == "StopApplication") com::Throw(com::E_FAIL);
    return std::nullopt;
  });
  EXPECT_EQ(driver::StopApp(handle_), 1);
  EXPECT_EQ(Message(), "");
  model_->SetHook(nullptr);
  EXPECT_EQ(driver::StopApp(handle_), test_support::kRecordedResult);
}

TEST_P(DispatchTest, AModelThatCannotBeMadeIsReportedNotThrown) {
  ExtInstance instance = nullptr;
  const auto throwing = []() -> std::unique_ptr<model::CExcModel> {
    throw std::runtime_error("no memory for the model");
  };
  EXPECT_EQ(driver::CreateInstance(GetParam(), &instance, Status(), throwing), 1);
  EXPECT_EQ(Message(),
            "An error occurred in creating an Excel instance\n(Internal error: no memory for the "
            "model)");
  if (Threaded()) {
    // The proxy exists; its worker has ended, and requests say so.
    ASSERT_NE(instance, nullptr);
    EXPECT_EQ(driver::Command(instance, nullptr, 3, nullptr, 0, Status()), 1);
    EXPECT_EQ(Message(), "Internal Excel driver error (Query) - inform Orvax");
    EXPECT_EQ(driver::Command(instance, nullptr, 21, nullptr, 0, Status()), 1);
    EXPECT_EQ(Message(), "There is no connection to Excel");
    EXPECT_EQ(driver::StartApp(instance, Status()), 1);
    EXPECT_EQ(driver::StopApp(instance), 1);
  } else {
    EXPECT_EQ(instance, nullptr);
  }
  EXPECT_EQ(driver::DestroyInstance(instance, Status()), 0);
  EXPECT_EQ(driver::CreateInstance(GetParam(), nullptr, nullptr), 1);
}

TEST_P(DispatchTest, HandlesThatLeadNowhereAreAnsweredNotFollowed) {
  ASSERT_EQ(driver::DestroyInstance(handle_, Status()), 0);
  int foreign = 0;
  const ExtInstance handles[] = {nullptr, handle_, reinterpret_cast<ExtInstance>(&foreign)};
  for (const ExtInstance handle : handles) {
    EXPECT_EQ(driver::Command(handle, nullptr, 3, nullptr, 0, Status()), 1);
    EXPECT_EQ(Message(), driver::kUnknownInstanceMessage);
    EXPECT_EQ(driver::Command(handle, nullptr, 18, nullptr, 0, Status()), -1);
    EXPECT_EQ(driver::Command(handle, nullptr, 300, nullptr, 0, Status()), 0);
    EXPECT_EQ(Message(), "");
    EXPECT_EQ(driver::StartApp(handle, Status()), 1);
    EXPECT_EQ(driver::StopApp(handle), 1);
    EXPECT_EQ(driver::DestroyInstance(handle, Status()), 0);
  }
}

TEST_P(DispatchTest, DestructionWaitsForARunningCommandAndDestroysTheModelOnItsThread) {
  std::promise<void> entered;
  std::promise<void> release;
  std::shared_future<void> released = release.get_future().share();
  model_->SetHook([&](const ModelCall& call) -> std::optional<std::int32_t> {
    if (call.op == "QueryNumber") {
      entered.set_value();
      released.wait();
    }
    return std::nullopt;
  });
  std::atomic<bool> destroyedModel{false};
  std::thread::id destroyedOn;
  std::thread::id madeOn = model_->ConstructedOn();
  model_->onDestroy = [&] {
    destroyedOn = std::this_thread::get_id();
    destroyedModel = true;
  };

  GuardedBuffer commandStatus(EXT_STATUS_RECORD_SIZE, 0);
  std::int32_t commandResult = 0;
  std::thread host([&] {
    commandResult = driver::Command(handle_, nullptr, 3, nullptr, 0, commandStatus.status());
  });
  entered.get_future().wait();
  std::atomic<bool> destroyReturned{false};
  std::atomic<int> destroyerTid{0};
  std::thread destroyer([&] {
    destroyerTid = test_support::ThisThreadId();
    driver::DestroyInstance(handle_, nullptr);
    destroyReturned = true;
  });
  EXPECT_TRUE(test_support::WaitFor(
      [&] {
        return destroyReturned || (destroyerTid != 0 && test_support::ThreadBlocked(destroyerTid));
      },
      10))
      << "the destroy neither returned nor waited";
  EXPECT_FALSE(destroyReturned);
  EXPECT_FALSE(destroyedModel);
  const std::thread::id destroyerId = destroyer.get_id();
  release.set_value();
  host.join();
  destroyer.join();
  EXPECT_EQ(commandResult, test_support::kRecordedResult);  // the command's result is not lost
  EXPECT_TRUE(destroyedModel);
  EXPECT_EQ(destroyedOn, Threaded() ? madeOn : destroyerId);
  EXPECT_TRUE(!Threaded() || madeOn != std::this_thread::get_id());
}

TEST_P(DispatchTest, TwoHostThreadsOnOneInstanceTakeTurns) {
  std::atomic<int> inside{0};
  std::atomic<bool> overlapped{false};
  model_->SetHook([&](const ModelCall&) -> std::optional<std::int32_t> {
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
        wrong += driver::Command(handle_, nullptr, 3, nullptr, t * 1000 + i, status.status()) !=
                 test_support::kRecordedResult;
      }
    });
  }
  for (std::thread& host : hosts)
    host.join();
  EXPECT_FALSE(overlapped);
  EXPECT_EQ(wrong, 0);
  EXPECT_EQ(model_->Calls().size(), 800u);
  model_->SetHook(nullptr);  // it refers to this test's locals
}

INSTANTIATE_TEST_SUITE_P(Modes, DispatchTest, testing::Values(Mode::kDirect, Mode::kThreaded),
                         [](const auto& info) {
                           return std::string(info.param == Mode::kDirect ? "Direct" : "Threaded");
                         });

// Every export's body runs under a guard: the thread counts as inside the
// library for the body only, and what is thrown becomes the failure result
// with the message the commands give for it.
TEST(ExportGuardTest, TheBodyRunsInsideAndNothingThrownGetsOut) {
  ExtStatusRecord status{};
  bool inside = false;
  const std::function<int()> throwing = [&]() -> int {
    inside = driver::ExportScope::Active();
    throw std::bad_alloc();
  };
  EXPECT_EQ(driver::GuardedExport(7, &status, throwing), 7);
  EXPECT_TRUE(inside);
  EXPECT_STREQ(status.text, "Internal error: std::bad_alloc");
  EXPECT_FALSE(driver::ExportScope::Active());
  EXPECT_EQ(driver::GuardedExport(7, nullptr, throwing), 7);
  EXPECT_EQ(driver::GuardedExport(7, nullptr, [] { return 0; }), 0);
  driver::GuardedExport([] { throw std::logic_error("void export"); });
  EXPECT_FALSE(driver::ExportScope::Active());
}

TEST(IdentifyTest, FillsTheRecordExactlyOrRefusesAnotherVersionOrRecordSize) {
  const std::string message = "Gridmoor.dll is not compatible with this version of Conflux";
  // A wrong version: cleared, then the message.
  GuardedBuffer id(EXT_IDENTIFY_RECORD_MIN_SIZE, 0x77);
  ASSERT_TRUE(id.record().WriteU32(0, 2563));
  GuardedBuffer status(EXT_STATUS_RECORD_SIZE, 0x66);
  status.status()->size = EXT_STATUS_RECORD_SIZE;
  EXPECT_EQ(driver::Identify(id.bytes.data(), status.status()), 1);
  EXPECT_EQ(status.status()->text, message);
  EXPECT_EQ(status.status()->size, 0u);
  EXPECT_EQ(status.bytes[EXT_STATUS_RECORD_SIZE - 1], 0);
  EXPECT_EQ(id.bytes[4], 0x77);  // nothing identified

  ASSERT_TRUE(id.record().WriteU32(0, EXT_INTERFACE_VERSION));
  std::memset(status.bytes.data(), 0x66, EXT_STATUS_RECORD_SIZE);
  status.status()->size = EXT_STATUS_RECORD_SIZE;
  EXPECT_EQ(driver::Identify(id.bytes.data(), status.status()), 0);

  std::vector<unsigned char> expected(EXT_IDENTIFY_RECORD_MIN_SIZE, 0x77);
  const auto put = [&](std::size_t offset, const void* bytes, std::size_t size) {
    std::memcpy(expected.data() + offset, bytes, size);
  };
  const std::uint32_t words[][2] = {{0, 2564}, {4, 70},   {272, 1},  {276, 3},
                                    {1540, 1}, {1548, 1}, {1552, 1}, {1556, 0x01010001},
                                    {1688, 0}, {1696, 1}, {268, 0},  {264, 40}};
  for (const auto& [offset, value] : words)
    put(offset, &value, 4);
  put(8, "Excel", 6);
  put(1284, "Generic MS Excel driver", 24);
  // The text fields are written up to their terminators only.
  EXPECT_EQ(std::vector<unsigned char>(id.bytes.begin(), id.bytes.end() - 16), expected);
  EXPECT_TRUE(id.GuardsIntact());
  // The status record is cleared whole.
  EXPECT_EQ(std::vector<unsigned char>(status.bytes.begin(), status.bytes.end() - 16),
            std::vector<unsigned char>(EXT_STATUS_RECORD_SIZE, 0));

  // A wrong size word: not cleared, and the message stays within the bytes
  // the record says it has.
  for (const std::uint32_t size : {263u, 265u, 5u, 4u}) {
    SCOPED_TRACE(size);
    const std::size_t room = std::min<std::size_t>(size, EXT_STATUS_RECORD_SIZE);
    GuardedBuffer small(room < 4 ? 4 : room, 0x66);
    small.status()->size = size;
    EXPECT_EQ(driver::Identify(id.bytes.data(), small.status()), 1);
    EXPECT_TRUE(small.GuardsIntact());
    EXPECT_EQ(small.status()->size, size);
    if (room > 4) {
      const std::string written = small.status()->text;
      EXPECT_EQ(written, message.substr(0, room - 5));
      for (std::size_t i = 4 + written.size() + 1; i < room; ++i)
        EXPECT_EQ(small.bytes[i], 0x66);
    }
  }
  EXPECT_EQ(driver::Identify(id.bytes.data(), nullptr), 1);
  status.status()->size = EXT_STATUS_RECORD_SIZE;
  EXPECT_EQ(driver::Identify(nullptr, status.status()), 1);
  EXPECT_EQ(status.status()->text, message);
}

}  // namespace
