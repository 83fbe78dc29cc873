// A model for dispatch tests: the operations the dispatch tests' commands
// and the driver itself reach are recorded (name, arguments, calling thread,
// dialog kind) and answer 42, unless a hook set by the test throws, blocks
// or answers otherwise. Safe to inspect from another thread.
//
// Operations on typed values get no pointer or status record: they record
// their integer argument only.
#pragma once

#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "case/optimisation_values.h"
#include "case/published_values.h"
#include "model/model.h"
#include "outcome/outcome.h"

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
  using S = ExtStatusRecord*;
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

  // Each operation records its name and, in this order after its
  // parameters, its pointer argument, integer or flag, window and status.
#define GM_RECORD(name, params, arg, value, window, status) \
  std::int32_t name params override {                       \
    return Record(#name, arg, value, window, status);       \
  }
  GM_RECORD(EditCase, (ExtWindow w, std::uint32_t* a, S s), a, 0, w, s)
  GM_RECORD(QueryNumber, (std::int32_t v, S s), nullptr, v, nullptr, s)
  GM_RECORD(GetDispatch, (void* a, S s), a, 0, nullptr, s)
  GM_RECORD(ReloadWorkbook, (S s), nullptr, 0, nullptr, s)
  GM_RECORD(SetModelDataFile, (const char* a, bool v, S s), a, v, nullptr, s)
  GM_RECORD(StartApplication, (std::int32_t v, S s), nullptr, v, nullptr, s)
  GM_RECORD(StopApplication, (), nullptr, 0, nullptr, nullptr)
  GM_RECORD(EditPublishedVariables, (ExtWindow w, S s), nullptr, 0, w, s)
  GM_RECORD(SetInterfaceVisible, (bool v), nullptr, v, nullptr, nullptr)
#undef GM_RECORD
  // Operations on typed values record their integer (a handle, a mode) and
  // answer as a failure without a message, so that the host sees their
  // result.
  outcome::Expected<optimisation::OptimisationProblem> SetupOptimisation(
      std::int32_t mode) override {
    outcome::Error error = Typed("SetupOptimisation", mode);
    if (error) return error;
    return optimisation::OptimisationProblem{};
  }
  optimisation::ItemReading GetObjectiveFunction() override {
    return {std::nullopt, Typed("GetObjectiveFunction", 0)};
  }
  optimisation::ItemReading GetControls(std::int32_t handle) override {
    return {std::nullopt, Typed("GetControls", handle)};
  }
  optimisation::ItemReading GetIntegerControls(std::int32_t handle) override {
    return {std::nullopt, Typed("GetIntegerControls", handle)};
  }
  outcome::Error WriteBatchOutput(const optimisation::BatchPath& /*output*/) override {
    return Typed("WriteBatchOutput", 0);
  }
  // The stream operations take values: they record their integer alone, and
  // answer with a failure carrying the answer as its result and no message.
  outcome::Expected<streams::StreamListing> EnumStreams(std::optional<std::uint32_t>,
                                                        std::int32_t query) override {
    return AsFailure(Record("EnumStreams", nullptr, query, nullptr, nullptr));
  }
  outcome::Error QueryComp() override {
    return AsFailure(Record("QueryComp", nullptr, 0, nullptr, nullptr));
  }
  outcome::Expected<std::optional<streams::ComponentList>> GetStreamComposition(
      std::int32_t stream) override {
    return AsFailure(Record("GetStreamComposition", nullptr, stream, nullptr, nullptr));
  }
  void RefreshSheetNames() override {
    Record("RefreshSheetNames", nullptr, 0, nullptr, nullptr);
  }

 private:
  static outcome::Error AsFailure(std::int32_t answer) {
    return outcome::Error::Failed(std::string(), answer);
  }
  std::int32_t Record(const char* op, const void* arg, std::int64_t value, ExtWindow window,
                      ExtStatusRecord* status) {
    const ModelCall call{op, arg, value, window, status, std::this_thread::get_id(), dialogKind};
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
  outcome::Error Typed(const char* op, std::int64_t value) {
    const std::int32_t result = Record(op, nullptr, value, nullptr, nullptr);
    return result == 0 ? outcome::Error::Success() : outcome::Error::Failed({}, result);
  }

  mutable std::mutex mutex_;
  std::vector<ModelCall> calls_;
  Hook hook_;
  std::thread::id constructedOn_ = std::this_thread::get_id();
};

}  // namespace test_support
