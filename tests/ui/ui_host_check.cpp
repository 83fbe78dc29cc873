// A host with Qt of its own, loading the library with dlopen: the dialog of
// ExtConfigure appears on the host thread (a timer accepts it), and where
// none can be shown (no display, no dialogs module beside the library) the
// call answers as cancelled instead of aborting.
//   ui_host_check LIBRARY SCENARIO SCRATCH
#include <dlfcn.h>

#include <QApplication>
#include <QCoreApplication>
#include <QDialog>
#include <QThread>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "gridmoor/host.h"

namespace {

using Configure = int32_t (*)(ExtWindow);

int failures = 0;
std::vector<std::string> accepted;  // titles of the dialogs the timer accepted
Qt::HANDLE hostThread = nullptr;

void Check(bool ok, const char* what) {
  std::printf("%s: %s\n", ok ? "ok" : "FAILED", what);
  if (!ok) ++failures;
}

// Accepts every modal dialog once it shows, noting that it runs on the
// host's thread.
void InstallAcceptor() {
  auto* timer = new QTimer(QCoreApplication::instance());
  timer->setInterval(20);
  QObject::connect(timer, &QTimer::timeout, [] {
    auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
    if (dialog == nullptr) return;
    Check(QThread::currentThreadId() == hostThread, "the dialog runs on the host thread");
    accepted.push_back(dialog->windowTitle().toStdString());
    dialog->accept();
  });
  timer->start();
}

template <typename F>
F Export(void* library, const char* name) {
  void* symbol = dlsym(library, name);
  if (symbol == nullptr) {
    std::fprintf(stderr, "no export %s\n", name);
    std::exit(2);
  }
  return reinterpret_cast<F>(symbol);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4) {
    std::fprintf(stderr, "usage: ui_host_check LIBRARY SCENARIO SCRATCH\n");
    return 2;
  }
  const std::string scenario = argv[2];
  std::filesystem::create_directories(argv[3]);
  hostThread = QThread::currentThreadId();
  std::string libraryFile = argv[1];
  if (scenario == "no-module") {
    // The library alone, without the folder of its dialogs module.
    libraryFile = (std::filesystem::path(argv[3]) / "libGridmoor110.so").string();
    std::filesystem::copy_file(argv[1], libraryFile,
                               std::filesystem::copy_options::overwrite_existing);
  }
  if (scenario == "no-display" || scenario == "dead-display") {
    unsetenv("QT_QPA_PLATFORM");
    unsetenv("WAYLAND_DISPLAY");
    unsetenv("DISPLAY");
    // A display number nobody serves.
    if (scenario == "dead-display") setenv("DISPLAY", ":97", 1);
  }
  void* library = dlopen(libraryFile.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (library == nullptr) {
    std::fprintf(stderr, "%s\n", dlerror());
    return 2;
  }
  const auto configure = Export<Configure>(library, "ExtConfigure");
  static int qtArgc = 1;
  static char name[] = "ui_host_check";
  static char* qtArgv[] = {name, nullptr};

  if (scenario == "library-app") {
    // The library makes the QApplication; the timer starts with it.
    qAddPreRoutine([] { QTimer::singleShot(0, InstallAcceptor); });
    Check(QCoreApplication::instance() == nullptr, "no application before the first dialog");
    Check(configure(nullptr) == 0, "ExtConfigure ends with OK");
    Check(qobject_cast<QApplication*>(QCoreApplication::instance()) != nullptr,
          "the library made a QApplication");
    Check(configure(nullptr) == 0, "a second ExtConfigure uses the same application");
    Check(accepted.size() == 2 && accepted[0] == "Excel driver configuration settings",
          "the configuration dialog was shown twice");
  } else if (scenario == "own-app") {
    QApplication app(qtArgc, qtArgv);
    InstallAcceptor();
    Check(configure(nullptr) == 0, "ExtConfigure ends with OK in the host's application");
    Check(QCoreApplication::instance() == &app, "the host's application is used");
    Check(accepted.size() == 1, "the dialog was shown");
  } else if (scenario == "other-thread") {
    QApplication app(qtArgc, qtArgv);
    int32_t result = 0;
    std::thread other([&] { result = configure(nullptr); });
    other.join();
    Check(result == 1, "ExtConfigure from another thread answers as cancelled");
  } else if (scenario == "not-widgets") {
    QCoreApplication app(qtArgc, qtArgv);
    Check(configure(nullptr) == 1, "ExtConfigure with a QCoreApplication answers as cancelled");
  } else if (scenario == "no-display" || scenario == "dead-display") {
    Check(configure(nullptr) == 1, "ExtConfigure without a display answers as cancelled");
    Check(QCoreApplication::instance() == nullptr, "no application was made");
  } else if (scenario == "no-module") {
    Check(configure(nullptr) == 1, "ExtConfigure without the dialogs module answers as cancelled");
    Check(QCoreApplication::instance() == nullptr, "no application was made");
  } else {
    std::fprintf(stderr, "unknown scenario %s\n", scenario.c_str());
    return 2;
  }
  return failures == 0 ? 0 : 1;
}
