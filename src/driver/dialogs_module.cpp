#include "driver/dialogs_module.h"

#include <dlfcn.h>

#include <mutex>
#include <string>
#include <utility>

namespace driver {
namespace {

using MakeDialogs = void (*)(const ui::HelpHandler*, std::shared_ptr<model::Dialogs>*);

class ModuleDialogs final : public model::Dialogs {
 public:
  ModuleDialogs(std::filesystem::path module, ui::HelpHandler help)
      : module_(std::move(module)), help_(std::move(help)) {}

  std::string WhyNotShown() const override {
    const std::shared_ptr<model::Dialogs> dialogs = Loaded();
    return dialogs ? dialogs->WhyNotShown() : refusal_;
  }
  model::DialogResult EditCase(model::CaseDialogKind kind, model::CExcModel& model,
                               casedata::CExcCaseDetails& details,
                               values::WindowHandle parent) override {
    const std::shared_ptr<model::Dialogs> dialogs = Loaded();
    return dialogs ? dialogs->EditCase(kind, model, details, parent) : model::DialogResult::kCancel;
  }
  model::DialogResult EditDriverSettings(std::string& plugIns,
                                         values::WindowHandle parent) override {
    const std::shared_ptr<model::Dialogs> dialogs = Loaded();
    return dialogs ? dialogs->EditDriverSettings(plugIns, parent) : model::DialogResult::kCancel;
  }
  model::DialogResult SetupOptimisation(model::OptimiserPage firstPage, model::CExcModel& model,
                                        values::WindowHandle parent) override {
    const std::shared_ptr<model::Dialogs> dialogs = Loaded();
    return dialogs ? dialogs->SetupOptimisation(firstPage, model, parent)
                   : model::DialogResult::kCancel;
  }
  model::DialogResult EditPublishedVariables(model::CExcModel& model,
                                             values::WindowHandle parent) override {
    const std::shared_ptr<model::Dialogs> dialogs = Loaded();
    return dialogs ? dialogs->EditPublishedVariables(model, parent) : model::DialogResult::kCancel;
  }

 private:
  // The module's dialogs, loaded on the first call; null when it cannot be
  // (refusal_ then says why). Never unloaded: its objects may outlive any
  // one dialog.
  std::shared_ptr<model::Dialogs> Loaded() const {
    std::call_once(once_, [this] {
      void* handle = ::dlopen(module_.c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
      const auto make = handle != nullptr
                            ? reinterpret_cast<MakeDialogs>(::dlsym(handle, "GridmoorMakeDialogs"))
                            : nullptr;
      if (make == nullptr) {
        const char* why = ::dlerror();
        refusal_ = std::string("No dialog can be shown: the dialogs module cannot be loaded (") +
                   (why != nullptr ? why : module_.string() + ": no entry point") + ")";
        return;
      }
      make(&help_, &loaded_);
      if (!loaded_)
        refusal_ =
            "No dialog can be shown: the dialogs module " + module_.string() + " made no dialogs";
    });
    return loaded_;
  }

  const std::filesystem::path module_;
  const ui::HelpHandler help_;
  mutable std::once_flag once_;
  mutable std::shared_ptr<model::Dialogs> loaded_;
  mutable std::string refusal_;
};

}  // namespace

std::shared_ptr<model::Dialogs> DialogsFromModule(std::filesystem::path module,
                                                  ui::HelpHandler help) {
  return std::make_shared<ModuleDialogs>(std::move(module), std::move(help));
}

}  // namespace driver
