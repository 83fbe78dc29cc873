// A model for dispatch tests: every operation a host code or internal
// command reaches is recorded (name, arguments, calling thread, dialog kind)
// and answers 42, unless a hook set by the test throws, blocks or answers
// otherwise. Safe to inspect from another thread.
#pragma once

#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "model/model.h"

namespace test_support {

struct ModelCall {
  std::string op;
  const void* arg = nullptr;  // the pointer argument, if any
  std::int64_t value = 0;     // the integer or flag argument, if any
  ExtWindow window = nullptr;
  ExtStatusRecord* status = nullptr;
  std::thread::id thread;
  std::int32_t dialogKind = 0;
};

inline constexpr std::int32_t kRecordedResult = 42;

class RecordingModel : public model::CExcModel {
 public:
  // Runs inside every recorded operation, after recording; what it returns
  // (when anything) is the operation's answer. It may throw or block.
  using Hook = std::function<std::optional<std::int32_t>(const ModelCall&)>;

  void SetHook(Hook hook) {
    const std::lock_guard<std::mutex> lock(mutex_);
    hook_ = std::move(hook);
  }
  std::vector<ModelCall> Calls() const {
    const std::lock_guard<std::mutex> lock(mutex_);
    return calls_;
  }
  void ClearCalls() {
    const std::lock_guard<std::mutex> lock(mutex_);
    calls_.clear();
  }
  std::thread::id ConstructedOn() const { return constructedOn_; }
  // Called as the model is destroyed, on the destroying thread.
  std::function<void()> onDestroy;
  ~RecordingModel() override {
    if (onDestroy) onDestroy();
  }

#define GM_RECORD(name, ...) return Record(name, __VA_ARGS__)
  std::int32_t EditCase(ExtWindow w, std::uint32_t* changed, ExtStatusRecord* s) override {
    GM_RECORD("EditCase", changed, 0, w, s);
  }
  std::int32_t QueryNumber(std::int32_t v, ExtStatusRecord* s) override {
    GM_RECORD("QueryNumber", nullptr, v, nullptr, s);
  }
  std::int32_t SaveCaseWorkbook(std::int32_t v, const char* name, ExtStatusRecord* s) override {
    GM_RECORD("SaveCaseWorkbook", name, v, nullptr, s);
  }
  std::int32_t EnumStreams(void* a, std::int32_t v, ExtStatusRecord* s) override {
    GM_RECORD("EnumStreams", a, v, nullptr, s);
  }
  std::int32_t QueryComp(void* a, ExtStatusRecord* s) override {
    GM_RECORD("QueryComp", a, 0, nullptr, s);
  }
  std::int32_t OnStartOfRun(void* a, ExtStatusRecord* s) override {
    GM_RECORD("OnStartOfRun", a, 0, nullptr, s);
  }
  std::int32_t OnNextTimestep(void* a, ExtStatusRecord* s) override {
    GM_RECORD("OnNextTimestep", a, 0, nullptr, s);
  }
  std::int32_t GetIPR(void* a, ExtStatusRecord* s) override {
    GM_RECORD("GetIPR", a, 0, nullptr, s);
  }
  std::int32_t SetIPR(void* a, ExtStatusRecord* s) override {
    GM_RECORD("SetIPR", a, 0, nullptr, s);
  }
  std::int32_t OnEndOfRun() override {
    GM_RECORD("OnEndOfRun", nullptr, 0, nullptr, nullptr);
  }
  std::int32_t WriteCaseData(void* a, std::uint32_t v, ExtStatusRecord* s) override {
    GM_RECORD("WriteCaseData", a, v, nullptr, s);
  }
  std::int32_t ReadCaseData(void* a, ExtStatusRecord* s) override {
    GM_RECORD("ReadCaseData", a, 0, nullptr, s);
  }
  std::int32_t SetFileName(void* a, ExtStatusRecord* s) override {
    GM_RECORD("SetFileName", a, 0, nullptr, s);
  }
  std::int32_t OpenCaseWorkbook(void* a, ExtStatusRecord* s) override {
    GM_RECORD("OpenCaseWorkbook", a, 0, nullptr, s);
  }
  std::int32_t GetDataServerValue(void* a, ExtStatusRecord* s) override {
    GM_RECORD("GetDataServerValue", a, 0, nullptr, s);
  }
  std::int32_t SetDataServerValue(void* a, ExtStatusRecord* s) override {
    GM_RECORD("SetDataServerValue", a, 0, nullptr, s);
  }
  std::int32_t ExecuteCommand(void* a, ExtStatusRecord* s) override {
    GM_RECORD("ExecuteCommand", a, 0, nullptr, s);
  }
  std::int32_t GetDispatch(void* a, ExtStatusRecord* s) override {
    GM_RECORD("GetDispatch", a, 0, nullptr, s);
  }
  std::int32_t ReloadWorkbook(ExtStatusRecord* s) override {
    GM_RECORD("ReloadWorkbook", nullptr, 0, nullptr, s);
  }
  std::int32_t WriteModelData(void* a, std::uint32_t v, ExtStatusRecord* s) override {
    GM_RECORD("WriteModelData", a, v, nullptr, s);
  }
  std::int32_t ReadModelData(void* a, std::uint32_t v, ExtStatusRecord* s) override {
    GM_RECORD("ReadModelData", a, v, nullptr, s);
  }
  std::int32_t ChangeFileDirectory(const char* a, ExtStatusRecord* s) override {
    GM_RECORD("ChangeFileDirectory", a, 0, nullptr, s);
  }
  std::int32_t GetNextEvent(void* a) override {
    GM_RECORD("GetNextEvent", a, 0, nullptr, nullptr);
  }
  std::int32_t SetDate(void* a, std::int32_t v, ExtStatusRecord* s) override {
    GM_RECORD("SetDate", a, v, nullptr, s);
  }
  std::int32_t OnPreSolve(ExtStatusRecord* s) override {
    GM_RECORD("OnPreSolve", nullptr, 0, nullptr, s);
  }
  std::int32_t OnPostSolve(ExtStatusRecord* s) override {
    GM_RECORD("OnPostSolve", nullptr, 0, nullptr, s);
  }
  std::int32_t OnPostSolve2(ExtStatusRecord* s) override {
    GM_RECORD("OnPostSolve2", nullptr, 0, nullptr, s);
  }
  std::int32_t OnEvent112(ExtStatusRecord* s) override {
    GM_RECORD("OnEvent112", nullptr, 0, nullptr, s);
  }
  std::int32_t OnEvent113(ExtStatusRecord* s) override {
    GM_RECORD("OnEvent113", nullptr, 0, nullptr, s);
  }
  std::int32_t OnStartOfTimestep(ExtStatusRecord* s) override {
    GM_RECORD("OnStartOfTimestep", nullptr, 0, nullptr, s);
  }
  std::int32_t OnEndOfTimestep(ExtStatusRecord* s) override {
    GM_RECORD("OnEndOfTimestep", nullptr, 0, nullptr, s);
  }
  std::int32_t GetStreamComposition(void* a, std::int32_t v, ExtStatusRecord* s) override {
    GM_RECORD("GetStreamComposition", a, v, nullptr, s);
  }
  std::int32_t SetModelDataFile(const char* a, bool v, ExtStatusRecord* s) override {
    GM_RECORD("SetModelDataFile", a, v, nullptr, s);
  }
  std::int32_t GetFileLabel(char* a, std::int32_t v, ExtStatusRecord* s) override {
    GM_RECORD("GetFileLabel", a, v, nullptr, s);
  }
  std::int32_t StartApplication(std::int32_t v, ExtStatusRecord* s) override {
    GM_RECORD("StartApplication", nullptr, v, nullptr, s);
  }
  std::int32_t StopApplication() override {
    GM_RECORD("StopApplication", nullptr, 0, nullptr, nullptr);
  }
  std::int32_t SetupOptimisation(void* a, std::int32_t v, ExtStatusRecord* s) override {
    GM_RECORD("SetupOptimisation", a, v, nullptr, s);
  }
  std::int32_t CheckIntegerControls(void* a, ExtStatusRecord* s) override {
    GM_RECORD("CheckIntegerControls", a, 0, nullptr, s);
  }
  std::int32_t GetObjectiveFunction(void* a, ExtStatusRecord* s) override {
    GM_RECORD("GetObjectiveFunction", a, 0, nullptr, s);
  }
  std::int32_t GetConstraints(void* a, ExtStatusRecord* s) override {
    GM_RECORD("GetConstraints", a, 0, nullptr, s);
  }
  std::int32_t SetControls(void* a, ExtStatusRecord* s) override {
    GM_RECORD("SetControls", a, 0, nullptr, s);
  }
  std::int32_t GetControls(void* a, ExtStatusRecord* s) override {
    GM_RECORD("GetControls", a, 0, nullptr, s);
  }
  std::int32_t SetIntegerControls(void* a, ExtStatusRecord* s) override {
    GM_RECORD("SetIntegerControls", a, 0, nullptr, s);
  }
  std::int32_t GetIntegerControls(void* a, ExtStatusRecord* s) override {
    GM_RECORD("GetIntegerControls", a, 0, nullptr, s);
  }
  std::int32_t ClearOptimisation(std::int32_t v, ExtStatusRecord* s) override {
    GM_RECORD("ClearOptimisation", nullptr, v, nullptr, s);
  }
  std::int32_t EditPublishedVariables(ExtWindow w, ExtStatusRecord* s) override {
    GM_RECORD("EditPublishedVariables", nullptr, 0, w, s);
  }
  std::int32_t GetNextPublishedVariable(void* a) override {
    GM_RECORD("GetNextPublishedVariable", a, 0, nullptr, nullptr);
  }
  std::int32_t EvalPublishedVariables(void* a, ExtStatusRecord* s) override {
    GM_RECORD("EvalPublishedVariables", a, 0, nullptr, s);
  }
  std::int32_t EvalPublishedVariables2(void* a, ExtStatusRecord* s) override {
    GM_RECORD("EvalPublishedVariables2", a, 0, nullptr, s);
  }
  std::int32_t QueryItem84(void* a, ExtStatusRecord* s) override {
    GM_RECORD("QueryItem84", a, 0, nullptr, s);
  }
  std::int32_t QueryItem85(void* a, std::int32_t v, ExtStatusRecord* s) override {
    GM_RECORD("QueryItem85", a, v, nullptr, s);
  }
  std::int32_t AddPublishedVariable(void* a, ExtStatusRecord* s) override {
    GM_RECORD("AddPublishedVariable", a, 0, nullptr, s);
  }
  std::int32_t ReadBatchProblem(void* a, bool v, ExtStatusRecord* s) override {
    GM_RECORD("ReadBatchProblem", a, v, nullptr, s);
  }
  std::int32_t WriteBatchOutput(void* a, ExtStatusRecord* s) override {
    GM_RECORD("WriteBatchOutput", a, 0, nullptr, s);
  }
  std::int32_t DelPublishedVariable(std::int32_t v, ExtStatusRecord* s) override {
    GM_RECORD("DelPublishedVariable", nullptr, v, nullptr, s);
  }
  std::int32_t GetFileDescription(void* a, std::int32_t v, ExtStatusRecord* s) override {
    GM_RECORD("GetFileDescription", a, v, nullptr, s);
  }
  void RefreshSheetNames() override {
    Record("RefreshSheetNames", nullptr, 0, nullptr, nullptr);
  }
  std::int32_t SetInterfaceVisible(bool show) override {
    GM_RECORD("SetInterfaceVisible", nullptr, show, nullptr, nullptr);
  }
#undef GM_RECORD

 private:
  std::int32_t Record(const char* op, const void* arg, std::int64_t value, ExtWindow window,
                      ExtStatusRecord* status) {
    ModelCall call;
    call.op = op;
    call.arg = arg;
    call.value = value;
    call.window = window;
    call.status = status;
    call.thread = std::this_thread::get_id();
    call.dialogKind = dialogKind;
    Hook hook;
    {
      const std::lock_guard<std::mutex> lock(mutex_);
      calls_.push_back(call);
      hook = hook_;
    }
    if (hook) {
      if (const std::optional<std::int32_t> answer = hook(call)) return *answer;
    }
    return kRecordedResult;
  }

  mutable std::mutex mutex_;
  std::vector<ModelCall> calls_;
  Hook hook_;
  std::thread::id constructedOn_ = std::this_thread::get_id();
};

}  // namespace test_support
