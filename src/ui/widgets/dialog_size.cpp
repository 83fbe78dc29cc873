#include "ui/widgets/dialog_size.h"

#include <QDialog>
#include <QEvent>
#include <QGuiApplication>
#include <QScreen>
#include <optional>

#include "platform/registry.h"
#include "ui/widgets/pages.h"

namespace ui {
namespace {

// Stores the size a dialog is closed with when it is not the one it opened with.
class SizeKeeper : public QObject {
 public:
  SizeKeeper(QDialog* dialog, QString name)
      : QObject(dialog), name_(std::move(name)), opened_(dialog->size()) {}

  bool eventFilter(QObject* watched, QEvent* event) override {
    auto* dialog = qobject_cast<QDialog*>(watched);
    if (dialog != nullptr && event->type() == QEvent::Hide && dialog->size() != opened_) {
      Store(dialog->size());
      opened_ = dialog->size();
    }
    return false;
  }

 private:
  void Store(const QSize& size) const {
    // A store that cannot be read is left alone rather than replaced.
    outcome::Expected<platform::Registry> settings =
        platform::Registry::Load(platform::Registry::DefaultPath());
    if (!settings) return;
    settings->SetString(kDialogSizesKey, Std(name_),
                        Std(QString("%1,%2").arg(size.width()).arg(size.height())));
    // A size that cannot be kept costs the person a resize next time, and
    // the dialog has nobody to tell while it closes.
    settings->Save().Consume();
  }

  QString name_;
  QSize opened_;
};

}  // namespace

QSize StoredSize(const QString& name) {
  const outcome::Expected<platform::Registry> settings =
      platform::Registry::Load(platform::Registry::DefaultPath());
  if (!settings) return {};
  const platform::RegistryRead<std::string> text = settings->GetString(kDialogSizesKey, Std(name));
  if (!text.ok()) return {};
  const QStringList parts = QString::fromStdString(text.value).split(',');
  bool wide = false;
  bool high = false;
  const QSize size =
      parts.size() == 2 ? QSize(parts[0].toInt(&wide), parts[1].toInt(&high)) : QSize();
  return wide && high && size.width() > 0 && size.height() > 0 ? size : QSize();
}

void KeepSize(QDialog* dialog, const QString& name) {
  dialog->setObjectName(name);
  // The layout's preferred size holds every page whole: the tab widget asks
  // room for its largest page, and each grid for its columns and rows.
  QSize size = dialog->sizeHint().expandedTo(dialog->minimumSizeHint());
  if (const QSize stored = StoredSize(name); stored.isValid()) {
    size = stored.expandedTo(dialog->minimumSizeHint());
  }
  if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    size = size.boundedTo(screen->availableGeometry().size());
  }
  dialog->resize(size);
  dialog->installEventFilter(new SizeKeeper(dialog, name));
}

}  // namespace ui
