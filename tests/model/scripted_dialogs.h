// Dialogs for tests: each dialog answers as the test scripts it, and every
// call is recorded (which dialog, kind, page, parent, calling thread). Safe
// to use from several threads.
#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "casedata/case_details.h"
#include "gridmoor/host.h"
#include "model/dialogs.h"
#include "model/model.h"

namespace test_support {

class ScriptedDialogs final : public model::Dialogs {
 public:
  using CaseScript = std::function<model::DialogResult(model::CaseDialogKind, model::CExcModel&,
                                                       casedata::CExcCaseDetails&)>;
  using SettingsScript = std::function<model::DialogResult(std::string&)>;
  using OptimiserScript =
      std::function<model::DialogResult(model::OptimiserPage, model::CExcModel&)>;
  using PublishedScript = std::function<model::DialogResult(model::CExcModel&)>;

  struct Call {
    // "EditCase", "EditDriverSettings", "SetupOptimisation" or
    // "EditPublishedVariables"
    std::string dialog;
    model::CaseDialogKind kind = model::CaseDialogKind::kFull;
    model::OptimiserPage page = model::OptimiserPage::kObjectiveAndConstraints;
    ExtWindow parent = nullptr;
    std::thread::id thread;
  };

  // Unscripted dialogs end with OK and edit nothing.
  void OnEditCase(CaseScript script) { Set(caseScript_, std::move(script)); }
  void OnEditDriverSettings(SettingsScript script) { Set(settingsScript_, std::move(script)); }
  void OnSetupOptimisation(OptimiserScript script) { Set(optimiserScript_, std::move(script)); }
  void OnEditPublishedVariables(PublishedScript script) {
    Set(publishedScript_, std::move(script));
  }

  model::DialogResult EditCase(model::CaseDialogKind kind, model::CExcModel& model,
                               casedata::CExcCaseDetails& details, ExtWindow parent) override {
    return Run(caseScript_, {"EditCase", kind, {}, parent, {}}, kind, model, details);
  }
  model::DialogResult EditDriverSettings(std::string& plugIns, ExtWindow parent) override {
    return Run(settingsScript_, {"EditDriverSettings", {}, {}, parent, {}}, plugIns);
  }
  model::DialogResult SetupOptimisation(model::OptimiserPage page, model::CExcModel& model,
                                        ExtWindow parent) override {
    return Run(optimiserScript_, {"SetupOptimisation", {}, page, parent, {}}, page, model);
  }
  model::DialogResult EditPublishedVariables(model::CExcModel& model, ExtWindow parent) override {
    return Run(publishedScript_, {"EditPublishedVariables", {}, {}, parent, {}}, model);
  }

  std::vector<Call> Calls() const {
    const std::lock_guard<std::mutex> lock(mutex_);
    return calls_;
  }

 private:
  template <typename Script>
  void Set(Script& slot, Script script) {
    const std::lock_guard<std::mutex> lock(mutex_);
    slot = std::move(script);
  }
  // Records the call on the calling thread, then runs the script outside the
  // lock (a script may call back into the dialogs).
  template <typename Script, typename... Args>
  model::DialogResult Run(const Script& slot, Call call, Args&... args) {
    Script script;
    {
      const std::lock_guard<std::mutex> lock(mutex_);
      call.thread = std::this_thread::get_id();
      calls_.push_back(std::move(call));
      script = slot;
    }
    return script ? script(args...) : model::DialogResult::kOk;
  }

  mutable std::mutex mutex_;
  CaseScript caseScript_;
  SettingsScript settingsScript_;
  OptimiserScript optimiserScript_;
  PublishedScript publishedScript_;
  std::vector<Call> calls_;
};

// Installs a provider for the object's lifetime.
class ScopedDialogs {
 public:
  explicit ScopedDialogs(std::shared_ptr<model::Dialogs> dialogs)
      : previous_(model::SetDialogs(std::move(dialogs))) {}
  ~ScopedDialogs() { model::SetDialogs(previous_); }
  ScopedDialogs(const ScopedDialogs&) = delete;
  ScopedDialogs& operator=(const ScopedDialogs&) = delete;

 private:
  std::shared_ptr<model::Dialogs> previous_;
};

}  // namespace test_support
