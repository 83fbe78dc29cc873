// A host with Qt of its own, loading the library with dlopen: the dialogs
// of ExtConfigure and of codes 5, 32 and 104 appear on the host thread (a
// timer accepts them), and where none can be shown the call answers as
// cancelled instead of aborting.
//   ui_host_check LIBRARY SCENARIO SCRATCH
#include <dlfcn.h>

#include <QApplication>
#include <QCoreApplication>
#include <QDialog>
#include <QThread>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "gridmoor/host.h"

namespace {

using Configure = int32_t (*)(ExtWindow);
using Create = int32_t (*)(ExtInstance*, ExtStatusRecord*);
using Destroy = int32_t (*)(ExtInstance, ExtStatusRecord*);
using StartApp = int32_t (*)(ExtInstance, intptr_t, ExtStatusRecord*);
using Command = int32_t (*)(ExtInstance, ExtWindow, int32_t, void*, int32_t, ExtStatusRecord*);

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

ExtStatusRecord NewStatus() {
  ExtStatusRecord status{};
  status.size = EXT_STATUS_RECORD_SIZE;
  return status;
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

void Commands(void* library) {
  const auto create = Export<Create>(library, "ExtCreateInstance");
  const auto destroy = Export<Destroy>(library, "ExtDestroyInstance");
  const auto start = Export<StartApp>(library, "ExtStartApp");
  const auto command = Export<Command>(library, "ExtCmd");
  ExtStatusRecord status = NewStatus();
  ExtInstance instance = nullptr;
  Check(create(&instance, &status) == 0, "ExtCreateInstance");
  status = NewStatus();
  const int32_t started = start(instance, 0, &status);
  std::printf("ExtStartApp: %d %s\n", started, status.text);
  Check(started == 0, "ExtStartApp opens a new workbook");
  const auto run = [&](int32_t code, void* record) {
    status = NewStatus();
    return command(instance, nullptr, code, record, 0, &status);
  };
  std::uint32_t changed = 7;
  Check(run(EXT_CMD_EDIT_CASE, &changed) == 0, "code 5 ends with OK");
  Check(changed == 0 || changed == 1, "code 5 says whether the case changed");
  std::vector<unsigned char> problem(EXT_OPT_PROBLEM_RECORD_SIZE);
  std::uint32_t size = EXT_OPT_PROBLEM_RECORD_SIZE;
  std::memcpy(problem.data(), &size, sizeof size);
  Check(run(EXT_CMD_SETUP_OPTIMISATION, problem.data()) == 0, "code 32 ends with OK");
  Check(run(EXT_CMD_EDIT_PUBLISHED_VARIABLES, nullptr) == 0, "code 104 ends with OK");
  status = NewStatus();
  destroy(instance, &status);
  Check(accepted == std::vector<std::string>{"Edit the Excel file, inputs, and outputs",
                                             "Setup of Optimisation Components",
                                             "Setup variables to export to Conflux"},
        "the three dialogs were shown");
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
  if (scenario == "no-display" || scenario == "dead-display") {
    unsetenv("QT_QPA_PLATFORM");
    unsetenv("WAYLAND_DISPLAY");
    unsetenv("DISPLAY");
    // A display number nobody serves.
    if (scenario == "dead-display") setenv("DISPLAY", ":97", 1);
  }
  void* library = dlopen(argv[1], RTLD_NOW | RTLD_LOCAL);
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
  } else if (scenario == "own-app" || scenario == "commands") {
    QApplication app(qtArgc, qtArgv);
    InstallAcceptor();
    if (scenario == "commands") {
      Commands(library);
    } else {
      Check(configure(nullptr) == 0, "ExtConfigure ends with OK in the host's application");
      Check(QCoreApplication::instance() == &app, "the host's application is used");
      Check(accepted.size() == 1, "the dialog was shown");
    }
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
  } else {
    std::fprintf(stderr, "unknown scenario %s\n", scenario.c_str());
    return 2;
  }
  return failures == 0 ? 0 : 1;
}
