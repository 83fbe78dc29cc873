#include "ui/dialogs/stream_pages.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>
#include <cstring>

#include "casedata/stream_data.h"
#include "ui/dialogs/case_dialog.h"
#include "ui/dialogs/composition_dialogs.h"
#include "ui/widgets/property_grid.h"
#include "ui/widgets/seams.h"

namespace ui {
namespace {

constexpr char kSheetNote[] = "(Can be left blank or you can create a new one dynamically)";

QComboBox* NamedCombo(const char* name, QWidget* parent) {
  auto* combo = new QComboBox(parent);
  combo->setObjectName(name);
  return combo;
}

QPushButton* NamedButton(const char* text, const char* name, QWidget* parent) {
  auto* button = new QPushButton(text, parent);
  button->setObjectName(name);
  return button;
}

// "Input #" / "Output #" and "Sheet name" with its note.
QComboBox* AddSheetRow(QFormLayout* form, const std::vector<std::string>& sheetNames,
                       QWidget* parent) {
  auto* sheet = NamedCombo("sheetName", parent);
  sheet->setEditable(true);
  sheet->addItems(ToQStrings(sheetNames));
  auto* row = new QHBoxLayout;
  row->addWidget(sheet, 1);
  row->addWidget(new QLabel(kSheetNote, parent));
  auto* label = new QLabel("&Sheet name", parent);
  label->setBuddy(sheet);
  form->addRow(label, row);
  return sheet;
}

// Fills a stream choice without treating it as the user's choice.
void FillStreams(QComboBox* combo, const QStringList& names, int current) {
  const QSignalBlocker blocker(combo);
  combo->clear();
  combo->addItems(names);
  combo->setCurrentIndex(current);
}

int ClampIndex(int index, std::size_t count) {
  return index >= 0 && static_cast<std::size_t>(index) < count ? index : 0;
}

void WriteCells(std::span<casedata::CExcPropertyCell> cells,
                const std::vector<std::string>& generated) {
  for (std::size_t k = 0; k < cells.size() && k < generated.size(); ++k)
    cells[k].cell.Set(generated[k]);
}

// Another stream is shown only when the one shown has no faulty cell: the
// choice goes back to it otherwise.
bool MayLeaveStream(Page* page, QComboBox* streams, int shown) {
  const QString problem = page->Check();
  if (problem.isEmpty()) return true;
  const QSignalBlocker blocker(streams);
  streams->setCurrentIndex(shown);
  ShowProblem(page, problem);
  return false;
}

// The composition dialog on a stream, with the case's composition list.
template <typename Stream>
void EditStreamComposition(QWidget* parent, const casedata::CExcCaseDetails& edited,
                           Stream& stream) {
  CompositionDialog dialog(edited.compositions, stream.compositionName, stream.composition, parent);
  RunModal(dialog);
}

}  // namespace

InputStreamsPage::InputStreamsPage(casedata::CExcCaseDetails& edited,
                                   const std::vector<std::string>& sheetNames, QWidget* parent)
    : Page(parent), edited_(edited) {
  auto* layout = new QVBoxLayout(this);
  auto* form = new QFormLayout;
  stream_ = NamedCombo("inputStream", this);
  form->addRow("&Input #", stream_);
  sheet_ = AddSheetRow(form, sheetNames, this);
  layout->addLayout(form);

  auto* grids = new QHBoxLayout;
  auto* solver = new QGroupBox("So&lver", this);
  auto* solverLayout = new QVBoxLayout(solver);
  auto* solverTop = new QHBoxLayout;
  solverDisplay_ = new QCheckBox("&Display", solver);
  solverDisplay_->setObjectName("solverDisplay");
  auto* solverAuto = NamedButton("&Auto generate", "solverAutoGenerate", solver);
  solverTop->addWidget(solverDisplay_);
  solverTop->addWidget(solverAuto);
  solverLayout->addLayout(solverTop);
  solverGrid_ = new PropertyGrid(InputPropertyRows(), true, solver);
  solverGrid_->setObjectName("solverGrid");
  solverGrid_->CheckCellsAs("Solver");
  solverLayout->addWidget(solverGrid_);
  grids->addWidget(solver);

  auto* forecast = new QGroupBox("&Forecast", this);
  auto* forecastLayout = new QVBoxLayout(forecast);
  auto* forecastTop = new QHBoxLayout;
  forecastDisplay_ = new QCheckBox("Dis&play", forecast);
  forecastDisplay_->setObjectName("forecastDisplay");
  auto* forecastAuto = NamedButton("Auto &generate", "forecastAutoGenerate", forecast);
  direction_ = NamedCombo("forecastDirection", forecast);
  direction_->addItems({"Horizontally", "Vertically"});
  forecastTop->addWidget(forecastDisplay_);
  forecastTop->addWidget(forecastAuto);
  forecastTop->addWidget(direction_);
  forecastLayout->addLayout(forecastTop);
  forecastGrid_ = new PropertyGrid(InputPropertyRows(), true, forecast);
  forecastGrid_->setObjectName("forecastGrid");
  forecastGrid_->CheckCellsAs("Forecast");
  forecastLayout->addWidget(forecastGrid_);
  grids->addWidget(forecast);
  layout->addLayout(grids);
  auto* composition = NamedButton("Co&mposition", "composition", this);
  layout->addWidget(composition, 0, Qt::AlignLeft);

  connect(stream_, &QComboBox::currentIndexChanged, this, [this](int index) {
    if (!MayLeaveStream(this, stream_, shown_)) return;
    Store();
    shown_ = index;
    LoadStream();
  });
  connect(solverAuto, &QPushButton::clicked, this, [this] { AutoGenerate(false); });
  connect(forecastAuto, &QPushButton::clicked, this, [this] { AutoGenerate(true); });
  connect(composition, &QPushButton::clicked, this, [this] { EditComposition(); });
}

void InputStreamsPage::Load() {
  shown_ = ClampIndex(shown_, edited_.inputStreams.size());
  FillStreams(stream_, StreamNames(edited_.inputStreams.size(), true), shown_);
  LoadStream();
}

void InputStreamsPage::LoadStream() {
  const casedata::CExcInputStreamData* stream =
      edited_.inputStreams.At(static_cast<std::size_t>(shown_));
  setEnabled(stream != nullptr);
  if (stream == nullptr) return;
  sheet_->setCurrentText(QString::fromStdString(stream->sheetName));
  solverDisplay_->setChecked(stream->solverDisplay);
  forecastDisplay_->setChecked(stream->forecastDisplay);
  // A direction the choice cannot show is kept: nothing is selected.
  direction_->setCurrentIndex(
      stream->forecastDirection <= 1 ? static_cast<int>(stream->forecastDirection) : -1);
  solverGrid_->LoadCells(stream->solverCells, stream->solverUnitSystem);
  forecastGrid_->LoadCells(stream->forecastCells, stream->forecastUnitSystem);
}

QString InputStreamsPage::Check() {
  const QString solver = solverGrid_->Check();
  return solver.isEmpty() ? forecastGrid_->Check() : solver;
}

void InputStreamsPage::Store() {
  casedata::CExcInputStreamData* stream = edited_.inputStreams.At(static_cast<std::size_t>(shown_));
  if (stream == nullptr) return;
  stream->sheetName = Std(sheet_->currentText());
  stream->solverDisplay = solverDisplay_->isChecked();
  stream->forecastDisplay = forecastDisplay_->isChecked();
  if (direction_->currentIndex() >= 0)
    stream->forecastDirection = static_cast<std::uint32_t>(direction_->currentIndex());
  solverGrid_->StoreCells(stream->solverCells, stream->solverUnitSystem);
  forecastGrid_->StoreCells(stream->forecastCells, stream->forecastUnitSystem);
}

void InputStreamsPage::AutoGenerate(bool forecast) {
  const std::vector<std::string> cells = AskForCellRange(this, casedata::kInputRowCount);
  if (cells.empty()) return;
  // What was typed on the page so far is kept; then the cells replace it.
  Store();
  casedata::CExcInputStreamData* stream = edited_.inputStreams.At(static_cast<std::size_t>(shown_));
  if (stream == nullptr) return;
  WriteCells(forecast ? std::span(stream->forecastCells) : std::span(stream->solverCells), cells);
  LoadStream();
}

void InputStreamsPage::EditComposition() {
  casedata::CExcInputStreamData* stream = edited_.inputStreams.At(static_cast<std::size_t>(shown_));
  if (stream != nullptr) EditStreamComposition(this, edited_, *stream);
}

OutputStreamsPage::OutputStreamsPage(casedata::CExcCaseDetails& edited,
                                     const std::vector<std::string>& sheetNames, QWidget* parent)
    : Page(parent), edited_(edited) {
  auto* layout = new QVBoxLayout(this);
  auto* group = new QGroupBox("Ce&lls for output stream", this);
  auto* groupLayout = new QVBoxLayout(group);
  auto* form = new QFormLayout;
  stream_ = NamedCombo("outputStream", group);
  form->addRow("Ou&tput #", stream_);
  sheet_ = AddSheetRow(form, sheetNames, group);
  groupLayout->addLayout(form);
  auto* autoGenerate = NamedButton("&Auto generate", "autoGenerate", group);
  groupLayout->addWidget(autoGenerate, 0, Qt::AlignLeft);
  grid_ = new PropertyGrid(OutputPropertyRows(), true, group);
  grid_->setObjectName("outputGrid");
  grid_->CheckCellsAs("Cells for output stream");
  groupLayout->addWidget(grid_);
  auto* bottom = new QHBoxLayout;
  auto* composition = NamedButton("Co&mposition", "composition", group);
  copyFrom_ = NamedCombo("copyFromInput", group);
  auto* copy = NamedButton("Cop&y", "copy", group);
  bottom->addWidget(composition);
  bottom->addStretch();
  auto* copyLabel = new QLabel("Copy from &input #", group);
  copyLabel->setBuddy(copyFrom_);
  bottom->addWidget(copyLabel);
  bottom->addWidget(copyFrom_);
  bottom->addWidget(copy);
  groupLayout->addLayout(bottom);
  layout->addWidget(group);

  connect(stream_, &QComboBox::currentIndexChanged, this, [this](int index) {
    if (!MayLeaveStream(this, stream_, shown_)) return;
    Store();
    shown_ = index;
    LoadStream();
  });
  connect(autoGenerate, &QPushButton::clicked, this, [this] { AutoGenerate(); });
  connect(composition, &QPushButton::clicked, this, [this] { EditComposition(); });
  connect(copy, &QPushButton::clicked, this, [this] { CopyFromInput(); });
}

void OutputStreamsPage::Load() {
  shown_ = ClampIndex(shown_, edited_.outputStreams.size());
  FillStreams(stream_, StreamNames(edited_.outputStreams.size(), false), shown_);
  FillStreams(copyFrom_, StreamNames(edited_.inputStreams.size(), true),
              ClampIndex(copyFrom_->currentIndex(), edited_.inputStreams.size()));
  LoadStream();
}

void OutputStreamsPage::LoadStream() {
  const casedata::CExcOutputStreamData* stream =
      edited_.outputStreams.At(static_cast<std::size_t>(shown_));
  setEnabled(stream != nullptr);
  if (stream == nullptr) return;
  sheet_->setCurrentText(QString::fromStdString(stream->sheetName));
  grid_->LoadCells(stream->propertyCells, stream->unitSystem);
}

QString OutputStreamsPage::Check() {
  return grid_->Check();
}

void OutputStreamsPage::Store() {
  casedata::CExcOutputStreamData* stream =
      edited_.outputStreams.At(static_cast<std::size_t>(shown_));
  if (stream == nullptr) return;
  stream->sheetName = Std(sheet_->currentText());
  grid_->StoreCells(stream->propertyCells, stream->unitSystem);
}

void OutputStreamsPage::AutoGenerate() {
  const std::vector<std::string> cells = AskForCellRange(this, casedata::kOutputRowCount);
  if (cells.empty()) return;
  Store();
  casedata::CExcOutputStreamData* stream =
      edited_.outputStreams.At(static_cast<std::size_t>(shown_));
  if (stream == nullptr) return;
  WriteCells(stream->propertyCells, cells);
  LoadStream();
}

void OutputStreamsPage::EditComposition() {
  casedata::CExcOutputStreamData* stream =
      edited_.outputStreams.At(static_cast<std::size_t>(shown_));
  if (stream != nullptr) EditStreamComposition(this, edited_, *stream);
}

void OutputStreamsPage::CopyFromInput() {
  Store();
  casedata::CExcOutputStreamData* out = edited_.outputStreams.At(static_cast<std::size_t>(shown_));
  const casedata::CExcInputStreamData* in =
      edited_.inputStreams.At(static_cast<std::size_t>(copyFrom_->currentIndex()));
  if (out == nullptr || in == nullptr) return;
  out->sheetName = in->sheetName;
  out->compositionName = in->compositionName;
  out->composition = in->composition;
  // Rows of the same name; the input's Date and Liquid Rate have none.
  for (std::size_t o = 0; o < casedata::kOutputRowCount; ++o) {
    for (std::size_t i = 0; i < casedata::kInputRowCount; ++i) {
      if (std::strcmp(casedata::kOutputRows[o].label, casedata::kInputRows[i].label) == 0) {
        out->propertyCells[o] = in->solverCells[i];
      }
    }
  }
  LoadStream();
}

}  // namespace ui
