// What the dialogs share: pages of a tabbed dialog, the tabbed dialog
// itself, and the workbook chooser.
#pragma once

#include <QDialog>
#include <QDialogButtonBox>
#include <QString>
#include <QWidget>
#include <string>
#include <vector>

class QLineEdit;
class QTabWidget;

namespace ui {

// A page edits part of what its dialog edits: Load shows it, Store writes
// the page's fields back. Check says what stops the page from being stored
// whole (empty: nothing), marking the faulty fields; Store runs only after
// Check found nothing.
class Page : public QWidget {
 public:
  using QWidget::QWidget;
  virtual void Load() = 0;
  virtual void Store() = 0;
  virtual QString Check() { return {}; }
};

// Shows one page at a time. Switching tabs stores the page being left and
// loads the page shown; OK stores the visible page only. A page whose Check
// finds a fault is neither left nor stored: its message is shown and the
// dialog stays on it.
class TabbedDialog : public QDialog {
 public:
  TabbedDialog(const QString& title, int helpTopic, QWidget* parent);
  void AddPage(Page* page, const QString& title);
  // Opens on `index`, loading that page.
  void Open(int index);
  QTabWidget* Tabs() const { return tabs_; }
  Page* PageAt(int index) const;
  void accept() override;

 private:
  bool CheckShown();

  QTabWidget* tabs_;
  int shown_ = -1;
};

// The one message that refuses OK (or leaving a page) over a fault.
void ShowProblem(QWidget* parent, const QString& text);

// Marks a field (colour and tooltip) with what is wrong with it, or unmarks
// it when `problem` is empty.
void MarkField(QWidget* field, const QString& problem);

// OK and Cancel (and Help when helpTopic is not 0) wired to the dialog.
QDialogButtonBox* DialogButtons(QDialog* dialog, int helpTopic);

// The workbook chooser behind the "Browse" buttons: starts from the field's
// text (at most 259 bytes) and puts the chosen path into it.
void BrowseForWorkbook(QWidget* parent, QLineEdit* field);

// "In-1" ... or "Out-1" ... for `count` streams.
QStringList StreamNames(std::size_t count, bool inputs);

QStringList ToQStrings(const std::vector<std::string>& texts);

// A text of a field, for the case's std::string fields, and back.
std::string Std(const QString& text);
QString Q(const std::string& text);

// Blank: empty or spaces only.
bool IsBlank(const QString& text);

// The number a whole text holds, in the C locale (blanks around it
// allowed); false when it holds anything else.
bool ParseDouble(const QString& text, double& value);
// The number as the dialogs show it: up to 15 significant digits.
QString FormatDouble(double value);

}  // namespace ui
