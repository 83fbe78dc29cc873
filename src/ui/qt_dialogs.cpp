#include "ui/qt_dialogs.h"

#include <QDialog>
#include <QGuiApplication>
#include <QScreen>
#include <QWindow>
#include <cstdint>
#include <memory>
#include <utility>

#include "model/model.h"
#include "ui/application.h"
#include "ui/dialogs/case_dialog.h"
#include "ui/dialogs/optimiser_dialog.h"
#include "ui/dialogs/other_dialogs.h"
#include "ui/widgets/seams.h"

namespace ui {
namespace {

using model::DialogResult;

DialogResult ResultOf(int code) {
  return code == QDialog::Accepted ? DialogResult::kOk : DialogResult::kCancel;
}

// The host's window, wrapped for Qt while a dialog it owns is shown: on
// X11 the host passes its window's id. The dialog is application-modal and
// transient for that window (the window manager keeps it above the host's
// and places it over it), and centred over it; with no window, or on a
// platform whose handles are not X window ids, it is centred on the screen.
class Owner {
 public:
  explicit Owner(values::WindowHandle window) {
    if (window != nullptr && QGuiApplication::platformName() == "xcb") {
      host_.reset(QWindow::fromWinId(static_cast<WId>(reinterpret_cast<std::uintptr_t>(window))));
    }
  }

  QDialog& Own(QDialog& dialog) const {
    dialog.setWindowModality(Qt::ApplicationModal);
    QRect over;
    if (host_) {
      dialog.winId();  // the native window the transient hint is set on
      dialog.windowHandle()->setTransientParent(host_.get());
      over = host_->geometry();
    }
    if (!over.isValid() || over.width() < 2) {
      if (const QScreen* screen = QGuiApplication::primaryScreen())
        over = screen->availableGeometry();
    }
    QRect placed(QPoint(), dialog.size());
    placed.moveCenter(over.center());
    dialog.move(placed.topLeft());
    return dialog;
  }

 private:
  std::unique_ptr<QWindow> host_;  // outlives the dialog: declared before it
};

class QtDialogs final : public model::Dialogs {
 public:
  std::string WhyNotShown() const override { return ApplicationRefusal(); }

  DialogResult EditCase(model::CaseDialogKind kind, model::CExcModel& model,
                        casedata::CExcCaseDetails& details, values::WindowHandle window) override {
    if (!PrepareApplication().empty()) return DialogResult::kCancel;
    const Owner owner(window);
    if (kind == model::CaseDialogKind::kSimpleFile) {
      SimpleFileDialog dialog(details.fileName);
      return ResultOf(RunModal(owner.Own(dialog)));
    }
    casedata::CExcCaseDetails edited(details);
    CaseEditor dialog(edited, model.sheetNames);
    if (RunModal(owner.Own(dialog)) != QDialog::Accepted) return DialogResult::kCancel;
    details = edited;
    return DialogResult::kOk;
  }

  DialogResult EditDriverSettings(std::string& plugIns, values::WindowHandle window) override {
    if (!PrepareApplication().empty()) return DialogResult::kCancel;
    const Owner owner(window);
    ConfigurationDialog dialog(plugIns);
    return ResultOf(RunModal(owner.Own(dialog)));
  }

  DialogResult SetupOptimisation(model::OptimiserPage firstPage, model::CExcModel& model,
                                 values::WindowHandle window) override {
    if (!PrepareApplication().empty()) return DialogResult::kCancel;
    const Owner owner(window);
    OptimiserDialog dialog(firstPage, model);
    return ResultOf(RunModal(owner.Own(dialog)));
  }

  DialogResult EditPublishedVariables(model::CExcModel& model,
                                      values::WindowHandle window) override {
    if (!PrepareApplication().empty()) return DialogResult::kCancel;
    const Owner owner(window);
    PublishedDialog dialog(model);
    return ResultOf(RunModal(owner.Own(dialog)));
  }
};

}  // namespace

std::shared_ptr<model::Dialogs> MakeQtDialogs(HelpHandler help) {
  if (help && !CurrentSeams().help) CurrentSeams().help = std::move(help);
  return std::make_shared<QtDialogs>();
}

}  // namespace ui
