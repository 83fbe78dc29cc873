// gridmoor-host dialog, in process under a real X server: the workbook
// dialog opened for a case file through the library's exports, with the
// office up; a timer types a new workbook name and accepts, and the case
// file then names it (and nothing else of it changed).
//   dialog_command_check LIBRARY EXAMPLES SCRATCH
#include <QApplication>
#include <QDialog>
#include <QLineEdit>
#include <QTimer>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>

#include "archive/json/case_json.h"
#include "running/case_dialog.h"

namespace {

namespace fs = std::filesystem;
using nlohmann::json;

json ReadJson(const fs::path& file) {
  std::ifstream in(file);
  return json::parse(in);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4) {
    std::fprintf(stderr, "usage: dialog_command_check LIBRARY EXAMPLES SCRATCH\n");
    return 2;
  }
  const fs::path scratch = argv[3], caseFile = scratch / "case.json";
  fs::remove_all(scratch);
  fs::create_directories(scratch);
  fs::copy_file(fs::path(argv[2]) / "separator" / "separator.fods", scratch / "separator.fods");
  json kase = ReadJson(fs::path(argv[2]) / "separator" / "scenario.json")["case"];
  kase["fileName"] = "separator.fods";
  std::ofstream(caseFile) << kase.dump(2);

  int qtArgc = 1;
  char name[] = "dialog_command_check";
  char* qtArgv[] = {name, nullptr};
  QApplication app(qtArgc, qtArgv);
  QString shown;
  QTimer timer;
  QObject::connect(&timer, &QTimer::timeout, [&] {
    auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
    auto* field = dialog != nullptr ? dialog->findChild<QLineEdit*>() : nullptr;
    if (field == nullptr) return;
    shown = field->text();
    field->setText("renamed.fods");
    dialog->accept();
  });
  timer.start(50);

  refhost::Library library;
  if (const outcome::Error unloaded = library.Load({argv[1], false})) {
    std::fprintf(stderr, "%s\n", unloaded.Message().c_str());
    return 2;
  }
  const outcome::Expected<bool> changed = refhost::EditCaseInDialog(library, "workbook", caseFile);
  if (!changed) {
    std::fprintf(stderr, "FAILED: %s\n", changed.GetError().Message().c_str());
    return 1;
  }
  json written = ReadJson(caseFile);
  const bool renamed = *changed && written["fileName"] == "renamed.fods";
  std::printf("%s: the dialog showed %s; the file names %s\n", renamed ? "ok" : "FAILED",
              shown.toStdString().c_str(), written["fileName"].dump().c_str());
  // Only the name changed: the rest is the case as the driver reads it.
  written["fileName"] = "separator.fods";
  const auto archive = archive::CaseJsonToArchive(kase);
  const bool rest = archive && written == *archive::CaseArchiveToJson(*archive);
  if (!rest) std::printf("FAILED: more than the name changed\n");
  return renamed && rest ? 0 : 1;
}
