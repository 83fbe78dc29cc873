#include "ui/widgets/pages.h"
#include "text/ascii.h"

#include <QDialogButtonBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>
#include <charconv>

#include "casedata/stream_data.h"
#include "text/utf8.h"
#include "ui/widgets/seams.h"

namespace ui {

TabbedDialog::TabbedDialog(const QString& title, int helpTopic, QWidget* parent)
    : QDialog(parent), tabs_(new QTabWidget(this)) {
  setWindowTitle(title);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(tabs_);
  layout->addWidget(DialogButtons(this, helpTopic));
  connect(tabs_, &QTabWidget::currentChanged, this, [this](int index) {
    if (shown_ == index) return;
    if (!CheckShown()) {
      const QSignalBlocker blocker(tabs_);
      tabs_->setCurrentIndex(shown_);
      return;
    }
    if (Page* left = PageAt(shown_)) left->Store();
    shown_ = index;
    if (Page* page = PageAt(index)) page->Load();
  });
}

void TabbedDialog::AddPage(Page* page, const QString& title) {
  const QSignalBlocker blocker(tabs_);
  tabs_->addTab(page, title);
}

void TabbedDialog::Open(int index) {
  {
    const QSignalBlocker blocker(tabs_);
    tabs_->setCurrentIndex(index);
  }
  shown_ = tabs_->currentIndex();
  if (Page* page = PageAt(shown_)) page->Load();
}

Page* TabbedDialog::PageAt(int index) const {
  return index >= 0 ? dynamic_cast<Page*>(tabs_->widget(index)) : nullptr;
}

bool TabbedDialog::CheckShown() {
  Page* page = PageAt(shown_);
  const QString problem = page != nullptr ? page->Check() : QString();
  if (problem.isEmpty()) return true;
  ShowProblem(this, problem);
  return false;
}

void TabbedDialog::accept() {
  if (!CheckShown()) return;
  if (Page* page = PageAt(shown_)) page->Store();
  QDialog::accept();
}

void ShowProblem(QWidget* parent, const QString& text) {
  ShowMessage(parent, MessageIcon::kWarning, "Error", text);
}

void MarkField(QWidget* field, const QString& problem) {
  field->setToolTip(problem);
  QPalette palette =
      field->parentWidget() != nullptr ? field->parentWidget()->palette() : QPalette();
  if (!problem.isEmpty()) palette.setColor(QPalette::Base, QColor(255, 214, 214));
  field->setPalette(palette);
  field->setProperty("problem", problem);
}

QDialogButtonBox* DialogButtons(QDialog* dialog, int helpTopic) {
  QDialogButtonBox::StandardButtons buttons = QDialogButtonBox::Ok | QDialogButtonBox::Cancel;
  if (helpTopic != 0) buttons |= QDialogButtonBox::Help;
  auto* box = new QDialogButtonBox(buttons, dialog);
  box->setObjectName("buttons");
  // Mnemonics of their own, whatever the platform's texts: Enter inside a
  // grid belongs to the grid, so OK is also Alt+O.
  box->button(QDialogButtonBox::Ok)->setText("&OK");
  box->button(QDialogButtonBox::Cancel)->setText("&Cancel");
  if (QPushButton* help = box->button(QDialogButtonBox::Help)) help->setText("&Help");
  QObject::connect(box, &QDialogButtonBox::accepted, dialog, &QDialog::accept);
  QObject::connect(box, &QDialogButtonBox::rejected, dialog, &QDialog::reject);
  QObject::connect(box, &QDialogButtonBox::helpRequested, dialog,
                   [helpTopic] { ShowHelp(helpTopic); });
  return box;
}

void BrowseForWorkbook(QWidget* parent, QLineEdit* field) {
  const std::string current = Std(field->text());
  const std::string start = current.substr(0, text::Utf8PrefixLength(current, 259));
  const QString chosen = ChooseFile(parent, QString::fromStdString(start),
                                    {{"Excel files (*.xls, *.xlsx, *.xlsm)", "*.xls;*.xlsx;*.xlsm"},
                                     {"OpenDocument spreadsheets (*.ods *.fods)", "*.ods;*.fods"}});
  if (!chosen.isEmpty()) field->setText(chosen);
}

QStringList StreamNames(std::size_t count, bool inputs) {
  QStringList names;
  for (std::size_t i = 0; i < count; ++i) {
    names << QString::fromStdString(inputs ? casedata::InputStreamName(i)
                                           : casedata::OutputStreamName(i));
  }
  return names;
}

QStringList ToQStrings(const std::vector<std::string>& texts) {
  QStringList list;
  for (const std::string& text : texts)
    list << QString::fromStdString(text);
  return list;
}

std::string Std(const QString& text) {
  return text.toStdString();
}

QString Q(const std::string& text) {
  return QString::fromStdString(text);
}

bool IsBlank(const QString& text) {
  return text::IsBlank(Std(text));
}

bool ParseDouble(const QString& text, double& value) {
  const std::string s = Std(text.trimmed());
  if (s.empty()) return false;
  const char* first = s.data();
  if (*first == '+') ++first;
  const auto [end, error] = std::from_chars(first, s.data() + s.size(), value);
  return error == std::errc() && end == s.data() + s.size();
}

QString FormatDouble(double value) {
  return QString::number(value, 'g', 15);
}

}  // namespace ui
