#include "ui/dialogs/composition_dialogs.h"

#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>
#include <memory>

#include "casedata/component_columns.h"
#include "casedata/unit_table.h"
#include "ui/widgets/dialog_size.h"
#include "ui/widgets/grid.h"
#include "ui/widgets/pages.h"
#include "ui/widgets/property_grid.h"
#include "ui/widgets/seams.h"

namespace ui {
namespace {

constexpr int kListRows = 50;
constexpr int kNameRows = 100;
constexpr int kEditColumn = 1;
constexpr int kNameColumn = 2;
constexpr int kDescriptionColumn = 3;
constexpr int kDeleteColumn = 4;

QLineEdit* CellEdit(const char* name, const casedata::CellField& field, QWidget* parent) {
  auto* edit = new QLineEdit(QString::fromUtf8(field.view()), parent);
  edit->setObjectName(name);
  edit->setValidator(
      new ByteLimitValidator(static_cast<int>(casedata::CellField::kMaxLength), edit));
  QObject::connect(edit, &QLineEdit::editingFinished, edit,
                   [edit] { MarkField(edit, CellProblem(edit->text())); });
  return edit;
}

}  // namespace

CompositionDialog::CompositionDialog(const casedata::CExcclCompositionDefinition& list,
                                     std::string& compositionName,
                                     casedata::CExcStreamCompositionData& block, QWidget* parent)
    : QDialog(parent), name_(compositionName), block_(block) {
  setWindowTitle("Composition");
  auto* layout = new QVBoxLayout(this);
  auto* form = new QFormLayout;
  composition_ = new QComboBox(this);
  composition_->setObjectName("compositionName");
  for (std::size_t i = 0; i < list.size(); ++i) {
    composition_->addItem(QString::fromStdString(list.At(i)->name));
  }
  // A name the list does not hold is shown and kept as it is.
  const QString current = QString::fromStdString(compositionName);
  if (!current.isEmpty() && composition_->findText(current) < 0) composition_->addItem(current);
  composition_->setCurrentIndex(composition_->findText(current));
  form->addRow("Com&position", composition_);
  table_ = CellEdit("componentTableCell", block.componentTableCell, this);
  interaction_ = CellEdit("interactionCell", block.interactionCell, this);
  eosModel_ = CellEdit("eosModelCell", block.eosModelCell, this);
  massRate_ = CellEdit("massRateCell", block.massRateCell, this);
  massRateUnit_ = new QComboBox(this);
  massRateUnit_->setObjectName("massRateUnit");
  for (int unit = 0; unit < casedata::UnitCount(casedata::kMassRate); ++unit) {
    massRateUnit_->addItem(QString::fromStdString(casedata::UnitName(casedata::kMassRate, unit)));
  }
  const int unit = static_cast<int>(block.massRateUnit);
  massRateUnit_->setCurrentIndex(unit < massRateUnit_->count() ? unit : -1);
  form->addRow("Compositional &data cell", table_);
  form->addRow("&Binary interaction coefficients", interaction_);
  form->addRow("&EOS model", eosModel_);
  auto* massRow = new QHBoxLayout;
  massRow->addWidget(massRate_);
  auto* unitLabel = new QLabel("&Units", this);
  unitLabel->setBuddy(massRateUnit_);
  massRow->addWidget(unitLabel);
  massRow->addWidget(massRateUnit_);
  auto* massLabel = new QLabel("&Mass rate cell", this);
  massLabel->setBuddy(massRate_);
  form->addRow(massLabel, massRow);
  layout->addLayout(form);
  layout->addWidget(new QLabel(
      "(Block of data will be placed/retrieved with these cells at the top left hand corner)",
      this));
  grid_ = new PropertyGrid(ComponentPropertyRows(), false, this);
  grid_->setObjectName("compositionGrid");
  grid_->LoadUnits(std::span(block.columnUnits).first(casedata::kComponentColumnCount),
                   block.unitSystem);
  layout->addWidget(grid_);
  layout->addWidget(DialogButtons(this, kCompositionHelp));
  KeepSize(this, "composition");
}

void CompositionDialog::accept() {
  if (IsBlank(table_->text())) {
    ShowMessage(this, MessageIcon::kError, "Composition error",
                "A cell identifier must be entered");
    return;
  }
  const std::pair<QLineEdit*, const char*> cells[] = {
      {table_, "Compositional data cell"},
      {interaction_, "Binary interaction coefficients"},
      {eosModel_, "EOS model"},
      {massRate_, "Mass rate cell"}};
  for (const auto& [cell, label] : cells) {
    const QString problem = CellProblem(cell->text());
    MarkField(cell, problem);
    if (!problem.isEmpty()) {
      cell->setFocus();
      ShowProblem(this, QString("%1: %2").arg(label, problem));
      return;
    }
  }
  casedata::CExcStreamCompositionData edited = block_;
  edited.componentTableCell.Set(Std(table_->text()));
  edited.interactionCell.Set(Std(interaction_->text()));
  edited.eosModelCell.Set(Std(eosModel_->text()));
  edited.massRateCell.Set(Std(massRate_->text()));
  if (massRateUnit_->currentIndex() >= 0) {
    edited.massRateUnit = static_cast<std::uint32_t>(massRateUnit_->currentIndex());
  }
  grid_->StoreUnits(std::span(edited.columnUnits).first(casedata::kComponentColumnCount),
                    edited.unitSystem);
  block_ = edited;
  name_ = Std(composition_->currentText());
  QDialog::accept();
}

CompositionListDialog::CompositionListDialog(casedata::CExcclCompositionDefinition& list,
                                             QWidget* parent)
    : QDialog(parent), list_(list) {
  setWindowTitle("Set up a list of compositions for  Excel input and output streams");
  auto* layout = new QVBoxLayout(this);
  grid_ = new Grid(kListRows,
                   {{10, CellKind::kButton, {}, 60},
                    {6, CellKind::kText, {}, 120},
                    {9, CellKind::kReadOnly, {}, 320},
                    {11, CellKind::kButton, {}, 60}},
                   "", 30, this);
  grid_->setObjectName("compositionList");
  grid_->OnButton([this](int row, int column) {
    if (column == kEditColumn) Edit(row);
    if (column == kDeleteColumn) Delete(row);
  });
  layout->addWidget(grid_);
  layout->addWidget(DialogButtons(this, kCompositionListHelp));
  Reload();
  KeepSize(this, "compositionList");
}

void CompositionListDialog::Reload() {
  grid_->SuspendRedraw();
  grid_->SetDataRows(std::max(kListRows, static_cast<int>(list_.size()) + 1));
  grid_->ClearRange(1, kNameColumn, grid_->DataRows(), kDescriptionColumn);
  for (int row = 1; row <= grid_->DataRows(); ++row) {
    if (const auto* definition = list_.At(static_cast<std::size_t>(row - 1))) {
      grid_->SetText(row, kNameColumn, QString::fromStdString(definition->name));
    }
    RefreshRow(row);
  }
  grid_->Redraw();
}

void CompositionListDialog::RefreshRow(int row) {
  const casedata::CExcCompositionDefinition* definition =
      list_.At(static_cast<std::size_t>(row - 1));
  grid_->SetText(row, kDescriptionColumn,
                 definition != nullptr
                     ? QString::fromStdString(casedata::DescribeComposition(*definition))
                     : QString());
  // Existing compositions and empty rows differ in colour.
  if (QPushButton* edit = grid_->Button(row, kEditColumn)) {
    edit->setStyleSheet(definition != nullptr ? "color: #0b3d91; font-weight: bold;"
                                              : "color: #808080;");
    edit->setProperty("existing", definition != nullptr);
  }
}

void CompositionListDialog::Edit(int row) {
  const auto index = static_cast<std::size_t>(row - 1);
  if (casedata::CExcCompositionDefinition* definition = list_.At(index)) {
    CompositionSetupDialog dialog(*definition, this);
    if (RunModal(dialog) == QDialog::Accepted) RefreshRow(row);
    return;
  }
  if (index != list_.size()) return;  // only the first empty row makes a composition
  auto created = std::make_unique<casedata::CExcCompositionDefinition>();
  CompositionSetupDialog dialog(*created, this);
  if (RunModal(dialog) != QDialog::Accepted) return;
  // Named with the others, from its row, when the list is confirmed.
  list_.Add(std::move(created));
  const int rows = grid_->DataRows();
  grid_->SetDataRows(std::max(rows, static_cast<int>(list_.size()) + 1));
  for (int refreshed = row; refreshed <= grid_->DataRows(); ++refreshed)
    RefreshRow(refreshed);
}

void CompositionListDialog::StoreNames() {
  std::vector<std::string> names;
  for (std::size_t i = 0; i < list_.size(); ++i)
    names.push_back(Std(grid_->Text(static_cast<int>(i) + 1, kNameColumn)));
  casedata::ApplyCompositionNames(list_, names);
}

void CompositionListDialog::Delete(int row) {
  const auto index = static_cast<std::size_t>(row - 1);
  if (index >= list_.size()) return;
  StoreNames();
  list_.RemoveAt(index);
  Reload();
}

void CompositionListDialog::accept() {
  StoreNames();
  QDialog::accept();
}

CompositionSetupDialog::CompositionSetupDialog(casedata::CExcCompositionDefinition& definition,
                                               QWidget* parent)
    : QDialog(parent), definition_(definition) {
  setWindowTitle("Set up a composition");
  auto* layout = new QVBoxLayout(this);
  auto* group = new QGroupBox("&EOS Data", this);
  auto* groupLayout = new QVBoxLayout(group);
  auto* namesLabel = new QLabel("Component &names", group);
  groupLayout->addWidget(namesLabel);
  const int rows = std::max<int>(kNameRows, static_cast<int>(definition.components.size()));
  grid_ = new Grid(rows, {{6, CellKind::kText, {}, 160}}, "Comp", 50, group);
  grid_->setObjectName("componentNames");
  namesLabel->setBuddy(grid_);
  for (std::size_t i = 0; i < definition.components.size(); ++i) {
    grid_->SetText(static_cast<int>(i) + 1, 1, QString::fromStdString(definition.components[i]));
  }
  groupLayout->addWidget(grid_);
  auto* clear = new QPushButton("C&lear", group);
  clear->setObjectName("clear");
  connect(clear, &QPushButton::clicked, this,
          [this] { grid_->ClearRange(1, 1, grid_->DataRows(), 1); });
  groupLayout->addWidget(clear, 0, Qt::AlignLeft);
  layout->addWidget(group);
  layout->addWidget(DialogButtons(this, 0));
  KeepSize(this, "compositionSetup");
}

void CompositionSetupDialog::accept() {
  std::vector<std::string> rows;
  for (int row = 1; row <= grid_->DataRows(); ++row)
    rows.push_back(Std(grid_->Text(row, 1)));
  casedata::SetComponentNames(definition_, rows);
  QDialog::accept();
}

}  // namespace ui
