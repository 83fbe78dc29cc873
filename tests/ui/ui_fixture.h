// Support for the dialog tests: seams are scripted, and a realistic case
// fills the dialogs.
#pragma once

#include <QDialog>
#include <QString>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "model/model.h"
#include "ui/widgets/grid.h"
#include "ui/widgets/seams.h"

namespace ui_test {

// Replaces every seam while it lives: messages and file requests are
// recorded, help does nothing; each nested dialog is run by the next script
// (none left: it is cancelled).
class ScriptedSeams {
 public:
  ScriptedSeams();
  ~ScriptedSeams() { ui::CurrentSeams() = saved_; }
  ScriptedSeams(const ScriptedSeams&) = delete;
  ScriptedSeams& operator=(const ScriptedSeams&) = delete;

  struct Message {
    ui::MessageIcon icon;
    QString title;
    QString text;
  };
  using Script = std::function<int(QDialog&)>;

  void Then(Script script) { scripts.push_back(std::move(script)); }

  std::vector<Message> messages;
  std::vector<std::vector<ui::FileFilter>> fileFilters;
  QStringList fileStarts;
  QString chosenFile;
  std::deque<Script> scripts;
  QStringList modalTitles;

 private:
  ui::Seams saved_;
};

// The named child widget; fails the test through QVERIFY in the caller when null.
template <typename T>
T* Find(QObject* parent, const char* name) {
  return parent->findChild<T*>(QString::fromUtf8(name));
}

// A model with no spreadsheet and these worksheet names.
std::unique_ptr<model::CExcModel> MakeModel(std::vector<std::string> sheetNames = {"Wells", "Sep"});

// Two inputs, two outputs, compositions "Gas" and "Oil", cells and macros
// set: what the screenshots and several tests show.
void FillCase(casedata::CExcCaseDetails& details);
void FillOptimisation(model::CExcModel& model);
// MakeModel's, filled by FillOptimisation, with one published variable:
// Total oil (STB/d) at Wells!F12.
std::unique_ptr<model::CExcModel> FilledModel();

// Puts the texts into a grid row from column 1, choosing in choice cells.
void FillRow(ui::Grid* grid, int row, const QStringList& texts);

// A text as shown: mnemonic marks taken out.
QString Shown(const QString& text);

// Shows the dialog as the active window (which a bare X server without a
// window manager does not give a top-level window).
void Open(QWidget* dialog);

// A key to whatever has the focus, as a keyboard would send it; a text one
// key at a time.
void Key(int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier);
void Type(const QString& text);

// Runs `check` on each page a shown dialog can show: a tabbed dialog's from
// 0, an untabbed one once as page -1. Stops at a failure, else hides the dialog.
void EachPage(QDialog* dialog, const std::function<void(int page)>& check);

// Every dialog of the library, filled from FillCase and FilledModel, not yet
// shown; the tabbed ones on their first page.
struct EveryDialog {
  EveryDialog();
  ~EveryDialog();
  EveryDialog(const EveryDialog&) = delete;
  EveryDialog& operator=(const EveryDialog&) = delete;

  casedata::CExcCaseDetails edited;
  std::unique_ptr<model::CExcModel> model;
  std::string plugIns = "/opt/addins/units.xlam";
  std::string fileName = "/data/models/gaslift.fods";
  // Last: they edit the fields above.
  std::vector<std::unique_ptr<QDialog>> dialogs;
};

}  // namespace ui_test
