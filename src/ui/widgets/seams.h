// What the dialogs ask of the desktop: a file chooser, message boxes, help,
// and running a nested dialog modally. Tests replace each to drive the
// dialogs without a user; used on the application's thread only.
#pragma once

#include <QString>
#include <functional>
#include <vector>

class QDialog;
class QWidget;

namespace ui {

enum class MessageIcon { kError, kWarning, kInformation };

// One filter of the file chooser: the text shown and its patterns ("*.a;*.b").
struct FileFilter {
  QString label;
  QString patterns;
};

struct Seams {
  // The chosen file, or the empty text when the user cancelled. The first
  // filter is the one selected.
  std::function<QString(QWidget* parent, const QString& start, const std::vector<FileFilter>&)>
      chooseFile;
  std::function<void(QWidget* parent, MessageIcon, const QString& title, const QString& text)>
      message;
  std::function<void(int topic)> help;
  // Runs a dialog modally: QDialog::Accepted or QDialog::Rejected.
  std::function<int(QDialog&)> runModal;
};

// The seams in use; each member left empty uses the desktop's own.
Seams& CurrentSeams();

QString ChooseFile(QWidget* parent, const QString& start, const std::vector<FileFilter>& filters);
void ShowMessage(QWidget* parent, MessageIcon icon, const QString& title, const QString& text);
void ShowHelp(int topic);
int RunModal(QDialog& dialog);

// Help topics of the dialogs' Help buttons.
enum HelpTopic : int {
  kCaseHelp = 1021,
  kCompositionHelp = 1022,
  kCompositionListHelp = 1023,
  kOptimisationHelp = 1024,
  kPublishedHelp = 1025,
};

}  // namespace ui
