#include "ui/application.h"

#include <QApplication>
#include <QThread>
#include <mutex>

#include "ui/display_probe.h"

namespace ui {
namespace {

std::mutex& CreationLock() {
  static std::mutex* const lock = new std::mutex;
  return *lock;
}

std::string RefusalOf(QCoreApplication* existing) {
  if (qobject_cast<QApplication*>(existing) == nullptr) {
    return "No dialog can be shown: the process's application object is not a QApplication";
  }
  if (existing->thread() != QThread::currentThread()) {
    return "No dialog can be shown on this thread: dialogs run on the thread of the "
           "process's QApplication";
  }
  return {};
}

}  // namespace

std::string ApplicationRefusal() {
  const std::lock_guard<std::mutex> guard(CreationLock());
  if (QCoreApplication* existing = QCoreApplication::instance()) return RefusalOf(existing);
  const std::string why = DisplayRefusal(CurrentDisplayEnvironment());
  return why.empty() ? why : "No dialog can be shown: " + why;
}

std::string PrepareApplication() {
  const std::lock_guard<std::mutex> guard(CreationLock());
  if (QCoreApplication* existing = QCoreApplication::instance()) return RefusalOf(existing);
  const std::string why = DisplayRefusal(CurrentDisplayEnvironment());
  if (!why.empty()) return "No dialog can be shown: " + why;
  // QApplication keeps references to argc and argv for its whole life, and
  // it must outlive every widget: it is never destroyed, not even by a
  // static destructor at exit.
  static int argc = 1;
  static char name[] = "gridmoor";
  static char* argv[] = {name, nullptr};
  new QApplication(argc, argv);
  return {};
}

}  // namespace ui
