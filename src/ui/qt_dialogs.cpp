#include "ui/qt_dialogs.h"

#include <utility>

#include "model/model.h"
#include "ui/application.h"
#include "ui/case_dialog.h"
#include "ui/optimiser_dialog.h"
#include "ui/other_dialogs.h"
#include "ui/seams.h"

namespace ui {
namespace {

using model::DialogResult;

DialogResult ResultOf(int code) {
  return code == QDialog::Accepted ? DialogResult::kOk : DialogResult::kCancel;
}

// The host's window is a handle of its own toolkit, not a Qt widget: the
// dialogs have no parent and are application-modal.
class QtDialogs final : public model::Dialogs {
 public:
  std::string WhyNotShown() const override { return ApplicationRefusal(); }

  DialogResult EditCase(model::CaseDialogKind kind, model::CExcModel& model,
                        model::CExcCaseDetails& details, ExtWindow) override {
    if (!PrepareApplication().empty()) return DialogResult::kCancel;
    if (kind == model::CaseDialogKind::kSimpleFile) {
      SimpleFileDialog dialog(details.fileName);
      return ResultOf(RunModal(dialog));
    }
    model::CExcCaseDetails edited(details);
    CaseEditor dialog(edited, model.sheetNames);
    if (RunModal(dialog) != QDialog::Accepted) return DialogResult::kCancel;
    details = edited;
    return DialogResult::kOk;
  }

  DialogResult EditDriverSettings(std::string& plugIns, ExtWindow) override {
    if (!PrepareApplication().empty()) return DialogResult::kCancel;
    ConfigurationDialog dialog(plugIns);
    return ResultOf(RunModal(dialog));
  }

  DialogResult SetupOptimisation(model::OptimiserPage firstPage, model::CExcModel& model,
                                 ExtWindow) override {
    if (!PrepareApplication().empty()) return DialogResult::kCancel;
    OptimiserDialog dialog(firstPage, model);
    return ResultOf(RunModal(dialog));
  }

  DialogResult EditPublishedVariables(model::CExcModel& model, ExtWindow) override {
    if (!PrepareApplication().empty()) return DialogResult::kCancel;
    PublishedDialog dialog(model);
    return ResultOf(RunModal(dialog));
  }
};

}  // namespace

std::shared_ptr<model::Dialogs> MakeQtDialogs(HelpHandler help) {
  if (help && !CurrentSeams().help) CurrentSeams().help = std::move(help);
  return std::make_shared<QtDialogs>();
}

}  // namespace ui
