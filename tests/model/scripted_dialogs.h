// Dialogs for tests: each dialog answers as the test scripts it, and every
// call is recorded (which dialog, kind, parent, calling thread, the sheet
// names the model offered). Safe to use from several threads.
#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "case/case_details.h"
#include "model/dialogs.h"
#include "model/model.h"

namespace test_support {

class ScriptedDialogs final : public model::Dialogs {
 public:
  using CaseScript = std::function<model::DialogResult(model::CaseDialogKind, model::CExcModel&,
                                                       model::CExcCaseDetails&)>;
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
    std::vector<std::string> sheetNames;
  };

  // Unscripted dialogs end with OK and edit nothing.
  void OnEditCase(CaseScript script) {
    const std::lock_guard<std::mutex> lock(mutex_);
    caseScript_ = std::move(script);
  }
  void OnEditDriverSettings(SettingsScript script) {
    const std::lock_guard<std::mutex> lock(mutex_);
    settingsScript_ = std::move(script);
  }

  void OnSetupOptimisation(OptimiserScript script) {
    const std::lock_guard<std::mutex> lock(mutex_);
    optimiserScript_ = std::move(script);
  }
  void OnEditPublishedVariables(PublishedScript script) {
    const std::lock_guard<std::mutex> lock(mutex_);
    publishedScript_ = std::move(script);
  }

  model::DialogResult EditCase(model::CaseDialogKind kind, model::CExcModel& model,
                               model::CExcCaseDetails& details, ExtWindow parent) override {
    CaseScript script;
    {
      const std::lock_guard<std::mutex> lock(mutex_);
      calls_.push_back(
          {"EditCase", kind, {}, parent, std::this_thread::get_id(), model.sheetNames});
      script = caseScript_;
    }
    return script ? script(kind, model, details) : model::DialogResult::kOk;
  }

  model::DialogResult EditDriverSettings(std::string& plugIns, ExtWindow parent) override {
    SettingsScript script;
    {
      const std::lock_guard<std::mutex> lock(mutex_);
      calls_.push_back({"EditDriverSettings",
                        model::CaseDialogKind::kFull,
                        {},
                        parent,
                        std::this_thread::get_id(),
                        {}});
      script = settingsScript_;
    }
    return script ? script(plugIns) : model::DialogResult::kOk;
  }

  model::DialogResult SetupOptimisation(model::OptimiserPage page, model::CExcModel& model,
                                        ExtWindow parent) override {
    OptimiserScript script;
    {
      const std::lock_guard<std::mutex> lock(mutex_);
      calls_.push_back({"SetupOptimisation", model::CaseDialogKind::kFull, page, parent,
                        std::this_thread::get_id(), model.sheetNames});
      script = optimiserScript_;
    }
    return script ? script(page, model) : model::DialogResult::kOk;
  }

  model::DialogResult EditPublishedVariables(model::CExcModel& model, ExtWindow parent) override {
    PublishedScript script;
    {
      const std::lock_guard<std::mutex> lock(mutex_);
      calls_.push_back({"EditPublishedVariables",
                        model::CaseDialogKind::kFull,
                        {},
                        parent,
                        std::this_thread::get_id(),
                        model.sheetNames});
      script = publishedScript_;
    }
    return script ? script(model) : model::DialogResult::kOk;
  }

  std::vector<Call> Calls() const {
    const std::lock_guard<std::mutex> lock(mutex_);
    return calls_;
  }

 private:
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
