#include "ui/dialogs/case_dialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QStyle>
#include <QTabWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <array>

#include "automation/cell_address.h"
#include "streams/composition_ops.h"
#include "ui/dialogs/composition_dialogs.h"
#include "ui/dialogs/stream_pages.h"
#include "ui/widgets/dialog_size.h"
#include "ui/widgets/grid.h"
#include "ui/widgets/seams.h"

namespace ui {
namespace {

constexpr char kFileNote[] =
    "If no valid filename is entered, a new Excel spreadsheet will be opened";
constexpr int kMinStreams = 1;
constexpr int kMaxStreams = 5000;

// The macros rows: event label and its index into the case's macros.
struct MacroRow {
  const char* label;
  std::size_t event;
};
constexpr std::array<MacroRow, casedata::kEventCount> kMacroRows = {{
    {"Start Of Timestep", 0},
    {"End Of Timestep", 1},
    {"Pre-module solve", 2},
    {"Post-module solve", 6},
    {"Post-system solve", 3},
    {"Start Of Run", 4},
    {"End Of Run", 5},
}};

std::uint32_t StoredCount(int value) {
  return static_cast<std::uint32_t>(value < 2 ? kMinStreams : std::min(value, kMaxStreams));
}

QSpinBox* CountBox(const char* name, QWidget* parent) {
  auto* box = new QSpinBox(parent);
  box->setObjectName(name);
  box->setRange(kMinStreams, kMaxStreams);
  return box;
}

// The file field with its "Browse" button and note, for both file dialogs.
QLineEdit* AddFileField(QWidget* owner, QVBoxLayout* layout) {
  auto* row = new QHBoxLayout;
  auto* label = new QLabel("Excel spreadsheet &file", owner);
  auto* file = new QLineEdit(owner);
  file->setObjectName("fileName");
  label->setBuddy(file);
  auto* browse =
      new QPushButton(owner->style()->standardIcon(QStyle::SP_DirOpenIcon), "&Browse", owner);
  browse->setObjectName("browse");
  QObject::connect(browse, &QPushButton::clicked, owner,
                   [owner, file] { BrowseForWorkbook(owner, file); });
  row->addWidget(label);
  row->addWidget(file, 1);
  row->addWidget(browse);
  layout->addLayout(row);
  auto* note = new QLabel(kFileNote, owner);
  note->setObjectName("fileNote");
  layout->addWidget(note);
  return file;
}

}  // namespace

std::vector<std::string> GenerateCellRange(std::string_view first, std::size_t count,
                                           bool vertically) {
  std::vector<std::string> cells;
  for (std::size_t k = 0; k < count; ++k) {
    std::string cell = automation::OffsetCell(first, static_cast<int>(k), vertically);
    if (cell.empty()) return {};
    cells.push_back(std::move(cell));
  }
  return cells;
}

ExcelFilePage::ExcelFilePage(casedata::CExcCaseDetails& edited, QWidget* parent)
    : Page(parent), edited_(edited) {
  auto* layout = new QVBoxLayout(this);
  file_ = AddFileField(this, layout);
  auto* counts = new QFormLayout;
  inputs_ = CountBox("inputCount", this);
  outputs_ = CountBox("outputCount", this);
  counts->addRow("Number of &inputs", inputs_);
  counts->addRow("Number of ou&tputs", outputs_);
  layout->addLayout(counts);

  auto* eos = new QGroupBox("EOS D&ata", this);
  eos->setObjectName("eosData");
  auto* eosLayout = new QHBoxLayout(eos);
  useCompositions_ = new QCheckBox("&Pass compositional data", eos);
  useCompositions_->setObjectName("useCompositions");
  setupCompositions_ = new QPushButton("&Setup Compositions", eos);
  setupCompositions_->setObjectName("setupCompositions");
  eosLayout->addWidget(useCompositions_);
  eosLayout->addWidget(setupCompositions_);
  layout->addWidget(eos);
  hide_ = new QCheckBox("Hi&de interface while Conflux is calculating", this);
  hide_->setObjectName("hideInterface");
  layout->addWidget(hide_);
  layout->addStretch();

  // The box takes effect at once: the page is stored whenever it changes.
  connect(useCompositions_, &QCheckBox::toggled, this, [this](bool ticked) {
    Store();
    setupCompositions_->setEnabled(ticked);
  });
  connect(setupCompositions_, &QPushButton::clicked, this, [this] { SetupCompositions(); });
}

void ExcelFilePage::Load() {
  file_->setText(QString::fromStdString(edited_.fileName));
  inputs_->setValue(static_cast<int>(std::min<std::uint32_t>(edited_.inputCount, kMaxStreams)));
  outputs_->setValue(static_cast<int>(std::min<std::uint32_t>(edited_.outputCount, kMaxStreams)));
  {
    const QSignalBlocker blocker(useCompositions_);
    useCompositions_->setChecked(edited_.useCompositions != 0);
  }
  setupCompositions_->setEnabled(useCompositions_->isChecked());
  hide_->setChecked(edited_.hideInterface);
}

void ExcelFilePage::Store() {
  edited_.fileName = Std(file_->text());
  edited_.inputCount = StoredCount(inputs_->value());
  edited_.outputCount = StoredCount(outputs_->value());
  edited_.SyncStreamCounts();
  edited_.useCompositions = useCompositions_->isChecked() ? 1 : 0;
  edited_.hideInterface = hide_->isChecked();
}

void ExcelFilePage::SetupCompositions() {
  casedata::CExcclCompositionDefinition list(edited_.compositions);
  CompositionListDialog dialog(list, this);
  if (RunModal(dialog) != QDialog::Accepted) return;
  edited_.compositions = std::move(list);
  streams::ClearStaleCompositionNames(edited_);
}

MacrosPage::MacrosPage(casedata::CExcCaseDetails& edited, QWidget* parent)
    : Page(parent), edited_(edited) {
  auto* layout = new QVBoxLayout(this);
  auto* group = new QGroupBox("Run &macro ...", this);
  auto* groupLayout = new QVBoxLayout(group);
  grid_ = new Grid(static_cast<int>(kMacroRows.size()),
                   {{14, CellKind::kReadOnly, {}, 130},
                    {15, CellKind::kText, {}, 220},
                    {16, CellKind::kCheck, {}, 150}},
                   "", 24, group);
  grid_->setObjectName("macrosGrid");
  for (std::size_t i = 0; i < kMacroRows.size(); ++i) {
    grid_->SetText(static_cast<int>(i) + 1, 1, kMacroRows[i].label);
  }
  groupLayout->addWidget(grid_);
  layout->addWidget(group);
  for (const char* text :
       {"Macro name supplied in this screen must be complete (fully qualified), e.g.\n"
        "Sheet1.amacro, or\nThisWorkbook.amacro.\nNO BRACKETS AT THE END !",
        "Examples:", "Sub amacro(timestep As Integer)",
        "Sub amacro(timestep As Integer, dt As String)"}) {
    layout->addWidget(new QLabel(text, this));
  }
}

void MacrosPage::Load() {
  grid_->SuspendRedraw();
  for (std::size_t i = 0; i < kMacroRows.size(); ++i) {
    const int row = static_cast<int>(i) + 1;
    grid_->SetText(row, 2, QString::fromStdString(edited_.macros[kMacroRows[i].event]));
    grid_->SetChecked(row, 3, edited_.passDate[kMacroRows[i].event]);
  }
  grid_->Redraw();
}

void MacrosPage::Store() {
  for (std::size_t i = 0; i < kMacroRows.size(); ++i) {
    const int row = static_cast<int>(i) + 1;
    edited_.macros[kMacroRows[i].event] = Std(grid_->Text(row, 2));
    edited_.passDate[kMacroRows[i].event] = grid_->Checked(row, 3);
  }
}

CaseEditor::CaseEditor(casedata::CExcCaseDetails& edited,
                       const std::vector<std::string>& sheetNames, QWidget* parent)
    : TabbedDialog("Edit the Excel file, inputs, and outputs", kCaseHelp, parent) {
  AddPage(new ExcelFilePage(edited), "&Excel Details");
  AddPage(new InputStreamsPage(edited, sheetNames), "I&nput Data");
  AddPage(new OutputStreamsPage(edited, sheetNames), "O&utput Data");
  AddPage(new MacrosPage(edited), "Mac&ros");
  Open(0);
  KeepSize(this, "caseEditor");
}

SimpleFileDialog::SimpleFileDialog(std::string& fileName, QWidget* parent)
    : QDialog(parent), fileName_(fileName) {
  setWindowTitle("Update the Excel file");
  auto* layout = new QVBoxLayout(this);
  file_ = AddFileField(this, layout);
  file_->setText(QString::fromStdString(fileName));
  layout->addWidget(DialogButtons(this, 0));
  KeepSize(this, "updateFile");
}

void SimpleFileDialog::accept() {
  fileName_ = Std(file_->text());
  QDialog::accept();
}

AutoGenerateDialog::AutoGenerateDialog(std::size_t count, QWidget* parent)
    : QDialog(parent), count_(count) {
  setWindowTitle("Generate cell range");
  auto* layout = new QVBoxLayout(this);
  auto* form = new QFormLayout;
  first_ = new QLineEdit(this);
  first_->setObjectName("firstCell");
  arrange_ = new QComboBox(this);
  arrange_->setObjectName("arrange");
  arrange_->addItems({"Horizontally", "Vertically"});
  arrange_->setCurrentIndex(0);
  form->addRow("&First cell", first_);
  form->addRow("&Arrange", arrange_);
  layout->addLayout(form);
  layout->addWidget(DialogButtons(this, 0));
  // Marked as it is left, as the other cell fields are; blank is refused by OK only.
  connect(first_, &QLineEdit::editingFinished, this,
          [this] { MarkField(first_, IsBlank(first_->text()) ? QString() : Problem()); });
  connect(arrange_, &QComboBox::currentIndexChanged, this, [this] {
    if (!first_->property("problem").toString().isEmpty()) MarkField(first_, Problem());
  });
  KeepSize(this, "generateCellRange");
}

std::vector<std::string> AutoGenerateDialog::Cells() const {
  return GenerateCellRange(Std(first_->text().trimmed()), count_, arrange_->currentIndex() == 1);
}

QString AutoGenerateDialog::Problem() const {
  const QString first = first_->text().trimmed();
  if (first.isEmpty()) return "A first cell must be entered";
  if (!IsCellText(first)) return "First cell: " + CellProblem(first);
  // A defined name or "3:7" is a cell, but not one the cells can be counted from.
  const std::vector<std::string> cells = Cells();
  if (cells.empty()) return QString("First cell: \"%1\" is not a column and a row (B5)").arg(first);
  if (!IsCellText(QString::fromStdString(cells.back()))) {
    return QString("First cell: %1 cells from \"%2\" go past the end of the sheet")
        .arg(count_)
        .arg(first);
  }
  return {};
}

void AutoGenerateDialog::accept() {
  const QString problem = Problem();
  MarkField(first_, problem);
  if (!problem.isEmpty()) {
    first_->setFocus();
    ShowProblem(this, problem);
    return;
  }
  QDialog::accept();
}

std::vector<std::string> AskForCellRange(QWidget* parent, std::size_t count) {
  AutoGenerateDialog dialog(count, parent);
  if (RunModal(dialog) != QDialog::Accepted) return {};
  return dialog.Cells();
}

}  // namespace ui
