// A model for dispatch tests: each operation the commands reach records its
// name, arguments, window, thread and dialog kind and answers 42 (a failure
// without a message where it gives an outcome) unless a test's hook throws,
// blocks or answers otherwise. Safe to inspect from another thread.
#pragma once

#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "casedata/values/optimisation_values.h"
#include "casedata/values/published_values.h"
#include "gridmoor/host.h"
#include "model/model.h"
#include "outcome/outcome.h"

namespace test_support {

struct ModelCall {
  std::string op;
  const void* arg = nullptr;  // the pointer argument, if any
  std::int64_t value = 0;     // the integer or flag argument, if any
  ExtWindow window = nullptr;
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

  std::int32_t QueryNumber(std::int32_t value) override {
    return Record("QueryNumber", nullptr, value);
  }
  std::int32_t StopApplication() override { return Record("StopApplication", nullptr, 0); }
  std::int32_t SetInterfaceVisible(bool show) override {
    return Record("SetInterfaceVisible", nullptr, show);
  }
  // The path is the host's text itself; the flag is recorded.
  void SetModelDataFile(const char* path, bool flag) override {
    Record("SetModelDataFile", path, flag);
  }
  outcome::Expected<bool> EditCase(ExtWindow window) override {
    outcome::Error error = Typed("EditCase", 0, window);
    if (error) return error;
    return false;
  }
  outcome::Expected<excel::Workbook*> GetDispatch() override {
    outcome::Error error = Typed("GetDispatch", 0);
    if (error) return error;
    return static_cast<excel::Workbook*>(nullptr);
  }
  outcome::Error ReloadWorkbook() override { return Typed("ReloadWorkbook", 0); }
  outcome::Error StartApplication() override { return Typed("StartApplication", 0); }
  outcome::Error EditPublishedVariables(ExtWindow window) override {
    return Typed("EditPublishedVariables", 0, window);
  }
  outcome::Expected<casedata::OptimisationProblem> SetupOptimisation(std::int32_t mode) override {
    outcome::Error error = Typed("SetupOptimisation", mode);
    if (error) return error;
    return casedata::OptimisationProblem{};
  }
  casedata::ItemReading GetObjectiveFunction() override {
    return {std::nullopt, Typed("GetObjectiveFunction", 0)};
  }
  casedata::ItemReading GetControls(std::int32_t handle) override {
    return {std::nullopt, Typed("GetControls", handle)};
  }
  casedata::ItemReading GetIntegerControls(std::int32_t handle) override {
    return {std::nullopt, Typed("GetIntegerControls", handle)};
  }
  outcome::Error WriteBatchOutput(const casedata::BatchPath& /*output*/) override {
    return Typed("WriteBatchOutput", 0);
  }
  // The stream operations always answer with a failure.
  outcome::Expected<casedata::StreamListing> EnumStreams(std::optional<std::uint32_t>,
                                                         std::int32_t query) override {
    return AsFailure(Record("EnumStreams", nullptr, query));
  }
  outcome::Error QueryComp() override { return AsFailure(Record("QueryComp", nullptr, 0)); }
  outcome::Expected<std::optional<casedata::ComponentList>> GetStreamComposition(
      std::int32_t stream) override {
    return AsFailure(Record("GetStreamComposition", nullptr, stream));
  }
  void RefreshSheetNames() override { Record("RefreshSheetNames", nullptr, 0); }

 private:
  static outcome::Error AsFailure(std::int32_t answer) {
    return outcome::Error::Failed(std::string(), answer);
  }
  std::int32_t Record(const char* op, const void* arg, std::int64_t value,
                      ExtWindow window = nullptr) {
    const ModelCall call{op, arg, value, window, std::this_thread::get_id(), dialogKind};
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
  outcome::Error Typed(const char* op, std::int64_t value, ExtWindow window = nullptr) {
    const std::int32_t result = Record(op, nullptr, value, window);
    return result == 0 ? outcome::Error::Success() : outcome::Error::Failed({}, result);
  }

  mutable std::mutex mutex_;
  std::vector<ModelCall> calls_;
  Hook hook_;
  std::thread::id constructedOn_ = std::this_thread::get_id();
};

}  // namespace test_support
