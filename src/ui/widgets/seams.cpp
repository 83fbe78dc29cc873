#include "ui/widgets/seams.h"

#include <QDialog>
#include <QFileDialog>
#include <QMessageBox>

namespace ui {
namespace {

// Qt reads a filter's patterns from the parentheses of its text, split at
// blanks; a label that lists them with commas shows the patterns instead.
QString QtFilter(const FileFilter& filter) {
  QString label = filter.label;
  const qsizetype open = label.lastIndexOf('(');
  if (open > 0) label = label.left(open).trimmed();
  return label + " (" + QString(filter.patterns).replace(';', ' ') + ")";
}

QString DesktopChooseFile(QWidget* parent, const QString& start,
                          const std::vector<FileFilter>& filters) {
  QFileDialog dialog(parent);
  dialog.setFileMode(QFileDialog::ExistingFile);
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  QStringList names;
  for (const FileFilter& filter : filters)
    names << QtFilter(filter);
  dialog.setNameFilters(names);
  if (!names.isEmpty()) dialog.selectNameFilter(names.front());
  if (!start.isEmpty()) dialog.selectFile(start);
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
  return dialog.selectedFiles().front();
}

void DesktopMessage(QWidget* parent, MessageIcon icon, const QString& title, const QString& text) {
  const QMessageBox::Icon shown = icon == MessageIcon::kError     ? QMessageBox::Critical
                                  : icon == MessageIcon::kWarning ? QMessageBox::Warning
                                                                  : QMessageBox::Information;
  QMessageBox box(shown, title, text, QMessageBox::Ok, parent);
  box.exec();
}

}  // namespace

Seams& CurrentSeams() {
  static Seams* const seams = new Seams;
  return *seams;
}

QString ChooseFile(QWidget* parent, const QString& start, const std::vector<FileFilter>& filters) {
  const Seams& seams = CurrentSeams();
  return seams.chooseFile ? seams.chooseFile(parent, start, filters)
                          : DesktopChooseFile(parent, start, filters);
}

void ShowMessage(QWidget* parent, MessageIcon icon, const QString& title, const QString& text) {
  const Seams& seams = CurrentSeams();
  if (seams.message) {
    seams.message(parent, icon, title, text);
  } else {
    DesktopMessage(parent, icon, title, text);
  }
}

void ShowHelp(int topic) {
  const Seams& seams = CurrentSeams();
  if (seams.help) seams.help(topic);
}

int RunModal(QDialog& dialog) {
  const Seams& seams = CurrentSeams();
  return seams.runModal ? seams.runModal(dialog) : dialog.exec();
}

}  // namespace ui
