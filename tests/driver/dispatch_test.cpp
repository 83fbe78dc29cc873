// Host command routing in both modes: every routed code reaches its
// operation with its arguments, on the right thread, and answers the
// operation's result, or the code's default when the operation fails.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "com/error.h"
#include "driver/instances.h"
#include "driver/recording_model.h"
#include "support/guarded_buffer.h"
#include "support/temp_registry.h"

namespace {

using driver::Mode;
using test_support::ModelCall;
using test_support::RecordingModel;

enum class Pass { kNothing, kArg, kArgPast1028 };
enum class Value { kNothing, kIarg, kIargPositive };

struct Expected {
  std::int32_t code;
  std::int32_t iarg;
  const char* op;  // null: no operation runs (threaded 99)
  Pass arg;
  Value value;
  bool status;
  std::int32_t fallback;  // the code's default result
  bool hostThread;        // runs on the calling thread in threaded mode
  bool dialog;            // the worksheet names are refreshed first
};

constexpr Pass A = Pass::kArg;
constexpr Pass N = Pass::kNothing;
constexpr Value I = Value::kIarg;
constexpr Value P = Value::kIargPositive;
constexpr Value V0 = Value::kNothing;

// The host command table as the host sees it, with iarg 7 (0 and 5 for the
// integer controls of 38 and 39; 0 and -3 too for the flags, the sign of
// iarg).
std::vector<Expected> Routes(Mode mode) {
  std::vector<Expected> routes = {
      {2, 7, "EnumStreams", A, I, true, 1, false, false},
      {3, 7, "QueryNumber", N, I, true, 1, false, false},
      {4, 7, "ReloadWorkbook", N, V0, true, 1, false, false},
      {5, 7, "EditCase", A, V0, true, 1, true, true},
      {8, 7, "SaveCaseWorkbook", A, I, true, 1, false, false},
      {9, 7, "QueryComp", A, V0, true, 1, false, false},
      {10, 7, "ChangeFileDirectory", A, V0, true, 1, false, false},
      {12, 7, "WriteCaseData", A, I, true, 1, false, false},
      {13, 7, "ReadCaseData", A, V0, true, 1, false, false},
      {14, 7, "WriteModelData", A, I, true, 1, false, false},
      {15, 7, "ReadModelData", A, I, true, 1, false, false},
      {16, 7, "GetFileDescription", A, I, true, 1, false, false},
      {18, 7, "GetStreamComposition", A, I, true, -1, false, false},
      {20, 7, "SetModelDataFile", A, P, true, 1, false, false},
      {20, 0, "SetModelDataFile", A, P, true, 1, false, false},
      {20, -3, "SetModelDataFile", A, P, true, 1, false, false},
      {23, 7, "OpenCaseWorkbook", A, V0, true, 1, false, false},
      {34, 7, "CheckIntegerControls", A, V0, true, 1, false, false},
      {36, 7, "GetObjectiveFunction", A, V0, true, -1, false, false},
      {37, 7, "GetConstraints", A, V0, true, -1, false, false},
      {38, 0, "GetControls", A, V0, true, 1, false, false},
      {38, 5, "GetIntegerControls", A, V0, true, 1, false, false},
      {39, 0, "SetControls", A, V0, true, 1, false, false},
      {39, 5, "SetIntegerControls", A, V0, true, 1, false, false},
      {40, 7, "ClearOptimisation", N, I, true, 1, false, false},
      {48, 7, "OnStartOfRun", A, V0, true, 1, false, false},
      {49, 7, "OnNextTimestep", A, V0, true, 1, false, false},
      {50, 7, "GetIPR", A, V0, true, 1, false, false},
      {51, 7, "SetIPR", A, V0, true, 1, false, false},
      {55, 7, "OnEndOfRun", N, V0, false, 1, false, false},
      {56, 7, "OnEndOfRun", N, V0, false, 1, false, false},
      {62, 7, "GetNextEvent", A, V0, false, 1, false, false},
      {63, 7, "SetDate", A, I, true, 1, false, false},
      {64, 7, "SetInterfaceVisible", N, P, false, 1, false, false},
      {64, 0, "SetInterfaceVisible", N, P, false, 1, false, false},
      {64, -3, "SetInterfaceVisible", N, P, false, 1, false, false},
      {96, 7, "GetDataServerValue", A, V0, true, 1, false, false},
      {97, 7, "SetDataServerValue", A, V0, true, 1, false, false},
      {98, 7, "ExecuteCommand", A, V0, true, 1, false, false},
      {100, 7, "OnPreSolve", N, V0, true, 1, false, false},
      {101, 7, "OnPostSolve", N, V0, true, 1, false, false},
      {103, 7, "GetNextPublishedVariable", A, V0, false, 1, false, false},
      {104, 7, "EditPublishedVariables", N, V0, true, 1, true, true},
      {105, 7, "EvalPublishedVariables", A, V0, true, 1, false, false},
      {106, 7, "QueryItem84", A, V0, true, 1, false, false},
      {107, 7, "QueryItem85", A, I, true, 1, false, false},
      {108, 7, "AddPublishedVariable", A, V0, true, 1, false, false},
      {109, 7, "DelPublishedVariable", N, I, true, 1, false, false},
      {112, 7, "OnEvent112", N, V0, true, 1, false, false},
      {113, 7, "OnEvent113", N, V0, true, 1, false, false},
      {114, 7, "OnStartOfTimestep", N, V0, true, 1, false, false},
      {115, 7, "OnEndOfTimestep", N, V0, true, 1, false, false},
      {116, 7, "OnPostSolve2", N, V0, true, 1, false, false},
      {117, 7, "EvalPublishedVariables2", A, V0, true, 1, false, false},
      {129, 7, "GetFileLabel", A, I, true, 1, false, false},
      {136, 7, "SetFileName", A, V0, true, 1, false, false},
      {256, 7, "ReadBatchProblem", A, P, true, 1, false, false},
      {256, 0, "ReadBatchProblem", A, P, true, 1, false, false},
      {256, -3, "ReadBatchProblem", A, P, true, 1, false, false},
      {258, 7, "WriteBatchOutput", Pass::kArgPast1028, V0, true, 1, false, false},
  };
  if (mode == Mode::kDirect) {
    routes.push_back({32, 7, "SetupOptimisation", A, I, true, 1, true, true});
    routes.push_back({99, 7, "GetDispatch", A, V0, true, 1, true, false});
  } else {
    routes.push_back({99, 7, nullptr, N, V0, false, 1, true, false});
  }
  return routes;
}

std::string Name(const testing::TestParamInfo<Mode>& info) {
  return info.param == Mode::kDirect ? "Direct" : "Threaded";
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

  ExtStatusRecord* Status() { return reinterpret_cast<ExtStatusRecord*>(status_.bytes.data()); }
  std::string Message() const {
    return std::string(reinterpret_cast<const char*>(status_.bytes.data()) + 4);
  }
  std::int32_t Run(std::int32_t code, std::int32_t iarg) {
    return driver::Command(handle_, &window_, code, record_.bytes.data(), iarg, Status());
  }
  bool Threaded() const { return GetParam() == Mode::kThreaded; }

  test_support::ScopedEnv noApplication_{"GRIDMOOR_SPREADSHEET", "none"};
  test_support::GuardedBuffer status_{EXT_STATUS_RECORD_SIZE, 0};
  test_support::GuardedBuffer record_{4096, 0};
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
    EXPECT_EQ(result, test_support::kRecordedResult);
    ASSERT_EQ(calls.size(), e.dialog ? 2u : 1u);
    if (e.dialog) {
      EXPECT_EQ(calls[0].op, "RefreshSheetNames");
      EXPECT_EQ(calls[0].thread != std::this_thread::get_id(), Threaded());
    }
    const ModelCall& call = calls.back();
    EXPECT_EQ(call.op, e.op);
    const void* expectedArg = nullptr;
    if (e.arg == Pass::kArg) expectedArg = record_.bytes.data();
    if (e.arg == Pass::kArgPast1028) expectedArg = record_.bytes.data() + 1028;
    EXPECT_EQ(call.arg, expectedArg);
    std::int64_t expectedValue = 0;
    if (e.value == Value::kIarg) expectedValue = e.iarg;
    if (e.value == Value::kIargPositive) expectedValue = e.iarg > 0 ? 1 : 0;
    EXPECT_EQ(call.value, expectedValue);
    EXPECT_EQ(call.status, e.status ? Status() : nullptr);
    const bool onCallingThread = !Threaded() || e.hostThread;
    EXPECT_EQ(call.thread == std::this_thread::get_id(), onCallingThread);
    if (e.code == 5) {
      EXPECT_EQ(call.window, &window_);
      EXPECT_EQ(call.dialogKind, e.iarg);
      EXPECT_EQ(model_->dialogKind, 0);  // for the call only
    }
    if (e.code == 104) {
      EXPECT_EQ(call.window, &window_);
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
  const std::pair<std::int32_t, std::int32_t> constants[] = {
      {6, 0}, {11, 1}, {52, 0}, {53, 0}, {54, 0}, {1, 0}, {17, 0}, {300, 0}, {-4, 0}, {257, 0}};
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

TEST_P(DispatchTest, OptimisationSetUpNeedsAWorkbookInThreadedMode) {
  const std::int32_t result = Run(32, 2);
  if (Threaded()) {
    EXPECT_EQ(result, -1);
    EXPECT_EQ(Message(),
              "Can not perform this function until a workbook is opened\n(double-click on the "
              "icon to create input and output icons)");
    EXPECT_TRUE(model_->Calls().empty());  // nothing posted
  } else {
    EXPECT_EQ(result, test_support::kRecordedResult);
    ASSERT_EQ(model_->Calls().size(), 2u);
    EXPECT_EQ(model_->Calls()[1].op, "SetupOptimisation");
  }
}

TEST_P(DispatchTest, LabelAndIconRunOnTheCallingThread) {
  char label[] = "Separator 3";
  EXPECT_EQ(driver::Command(handle_, nullptr, 21, label, 0, Status()), 0);
  EXPECT_EQ(model_->label, "Separator 3");

  std::vector<std::uint32_t> pixels(8 * 8, 0);
  ExtDrawSurface surface{8, 8, 32, pixels.data()};
  EXPECT_EQ(driver::Command(handle_, &window_, 7, &surface, 0, Status()), 1);
  for (const std::uint32_t pixel : pixels)
    EXPECT_EQ(pixel >> 24, 0xFFu);
  EXPECT_TRUE(model_->Calls().empty());
}

TEST_P(DispatchTest, StartAndStopApplication) {
  std::memset(status_.bytes.data(), 'z', EXT_STATUS_RECORD_SIZE);
  const std::int32_t started = driver::StartApp(handle_, Status());
  if (!Threaded()) {
    EXPECT_EQ(started, 1);
    EXPECT_EQ(Message(), "Could not start Excel");
    // Written without clearing first: the size word and the bytes after the
    // message keep what they held.
    EXPECT_EQ(status_.bytes[0], 'z');
    EXPECT_EQ(status_.bytes[4 + Message().size() + 1], 'z');
    EXPECT_EQ(driver::StopApp(handle_), 0);
    EXPECT_TRUE(model_->Calls().empty());
    return;
  }
  EXPECT_EQ(started, test_support::kRecordedResult);
  ASSERT_EQ(model_->Calls().size(), 1u);
  EXPECT_EQ(model_->Calls()[0].op, "StartApplication");
  EXPECT_EQ(model_->Calls()[0].status, Status());

  // Stopping has no status record: a failure inside it is written nowhere,
  // certainly not into the record of an earlier request.
  std::memset(status_.bytes.data(), 0, EXT_STATUS_RECORD_SIZE);
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

INSTANTIATE_TEST_SUITE_P(Modes, DispatchTest, testing::Values(Mode::kDirect, Mode::kThreaded),
                         Name);

// The model's own answers to the data-server codes, which only a data
// server would change: nothing to give, no message, and the read request's
// result field cleared so that the host never reads stale text.
TEST(DataServerCodesTest, AModelWithoutADataServerAnswersNothing) {
  test_support::ScopedEnv noApplication("GRIDMOOR_SPREADSHEET", "none");
  test_support::GuardedBuffer status(EXT_STATUS_RECORD_SIZE, 0);
  auto* statusRecord = reinterpret_cast<ExtStatusRecord*>(status.bytes.data());
  ExtInstance handle = nullptr;
  driver::CreateInstance(Mode::kDirect, &handle, statusRecord);
  for (const std::int32_t code : {96, 97, 98}) {
    SCOPED_TRACE(code);
    test_support::GuardedBuffer record(EXT_DS_READ_RECORD_SIZE, 0x5C);
    EXPECT_EQ(driver::Command(handle, nullptr, code, record.bytes.data(), 7, statusRecord), -1);
    EXPECT_STREQ(statusRecord->text, "");
    std::vector<unsigned char> expected(EXT_DS_READ_RECORD_SIZE, 0x5C);
    if (code == 96) {
      std::fill_n(expected.begin() + EXT_DS_READ_RESULT_OFFSET, EXT_DS_READ_RESULT_SIZE, 0);
    }
    EXPECT_EQ(std::vector<unsigned char>(record.bytes.begin(), record.bytes.end() - 16), expected);
    EXPECT_TRUE(record.GuardsIntact());
    EXPECT_EQ(driver::Command(handle, nullptr, code, nullptr, 7, statusRecord), -1);
  }
  EXPECT_EQ(driver::DestroyInstance(handle, nullptr), 0);
}

}  // namespace
