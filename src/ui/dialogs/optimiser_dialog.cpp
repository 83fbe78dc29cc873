#include "ui/dialogs/optimiser_dialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>

#include "model/model.h"
#include "ui/widgets/dialog_size.h"
#include "ui/widgets/grid.h"
#include "ui/widgets/pages.h"
#include "ui/widgets/seams.h"

namespace ui {
namespace {

constexpr int kItemRows = 100;
constexpr char kConstraintKinds[] = "Less than\nEqual to\nGreater than";
// Columns shared by the constraints and controls grids.
constexpr int kName = 1;
constexpr int kUnit = 2;
constexpr int kWorksheet = 3;
constexpr int kCell = 4;
constexpr int kFifth = 5;
constexpr int kSixth = 6;

QComboBox* SheetChoice(const char* name, const std::vector<std::string>& sheetNames,
                       QWidget* parent) {
  auto* combo = new QComboBox(parent);
  combo->setObjectName(name);
  combo->setEditable(true);
  combo->addItems(ToQStrings(sheetNames));
  return combo;
}

QLineEdit* NamedEdit(const char* name, QWidget* parent) {
  auto* edit = new QLineEdit(parent);
  edit->setObjectName(name);
  return edit;
}

Grid* ItemGrid(int rows, const std::vector<std::string>& sheetNames, GridColumn fifth,
               GridColumn sixth, QWidget* parent) {
  const QString sheets = ToQStrings(sheetNames).join('\n');
  auto* grid = new Grid(rows,
                        {{6, CellKind::kText, {}, 110},
                         {2, CellKind::kText, {}, 70},
                         {3, CellKind::kChoice, sheets, 110, true},
                         {1, CellKind::kText, {}, 70},
                         fifth,
                         sixth},
                        "", 34, parent);
  return grid;
}

// Fills the name, unit, worksheet and cell of a row.
void LoadCellDef(Grid* grid, int row, const automation::CExcCellDef& item) {
  grid->SetText(row, kName, Q(item.name));
  grid->SetText(row, kUnit, Q(item.unit));
  grid->SetChoiceText(row, kWorksheet, Q(item.worksheet));
  grid->SetText(row, kCell, Q(item.cell));
}

void StoreCellDef(const Grid* grid, int row, automation::CExcCellDef& item) {
  item.name = Std(grid->Text(row, kName));
  item.unit = Std(grid->Text(row, kUnit));
  item.worksheet = Std(grid->Text(row, kWorksheet));
  item.cell = Std(grid->Text(row, kCell));
}

QString BoundText(double bound) {
  return bound > casedata::kThreshold ? QString() : FormatDouble(bound);
}

double StoredBound(const QString& text) {
  double value = 0;
  return ParseDouble(text, value) ? value : values::kUndefinedValue;
}

bool RowBlank(const Grid* grid, int row) {
  for (int column = kName; column <= kSixth; ++column) {
    if (!IsBlank(grid->Text(row, column))) return false;
  }
  return true;
}

// A field the row needs, left blank: `heading` names its column.
RowProblem Blank(int column, int heading) {
  return {0, column, QString("\"%1\" is blank").arg(GridHeading(heading))};
}

// The worksheet and cell every kept row needs.
RowProblem CheckCellDef(const Grid* grid, int row) {
  if (IsBlank(grid->Text(row, kWorksheet))) return Blank(kWorksheet, 3);
  if (IsBlank(grid->Text(row, kCell))) return Blank(kCell, 1);
  const QString problem = CellProblem(grid->Text(row, kCell));
  return {0, problem.isEmpty() ? 0 : kCell, problem};
}

QString NotANumber(const QString& text) {
  return QString("\"%1\" is not a number").arg(text.trimmed());
}

RowProblem CheckConstraint(const Grid* grid, int row) {
  if (RowBlank(grid, row)) return {};
  if (RowProblem problem = CheckCellDef(grid, row); problem.Found()) return problem;
  if (IsBlank(grid->Text(row, kFifth))) return Blank(kFifth, 4);
  const QString value = grid->Text(row, kSixth);
  double limit = 0;
  if (IsBlank(value)) return Blank(kSixth, 5);
  if (!ParseDouble(value, limit)) return {0, kSixth, NotANumber(value)};
  if (limit > casedata::kThreshold)
    return {0, kSixth, QString("\"%1\" is above 3.2e35").arg(value.trimmed())};
  return {};
}

RowProblem CheckControl(const Grid* grid, int row) {
  if (RowBlank(grid, row)) return {};
  if (RowProblem problem = CheckCellDef(grid, row); problem.Found()) return problem;
  for (const int column : {kFifth, kSixth}) {
    // A bound left empty is no bound; one typed must be read whole.
    const QString bound = grid->Text(row, column);
    double value = 0;
    if (!IsBlank(bound) && !ParseDouble(bound, value)) return {0, column, NotANumber(bound)};
  }
  return {};
}

QString CheckGrid(Grid* grid) {
  const RowProblem problem = grid->CheckAll();
  return problem.Found() ? grid->Refuse(problem) : QString();
}

// A cell field checked as it is left: marked while it names no cell.
void CheckCellOnLeaving(QLineEdit* edit) {
  QObject::connect(edit, &QLineEdit::editingFinished, edit,
                   [edit] { MarkField(edit, CellProblem(edit->text())); });
}

}  // namespace

ObjectivePage::ObjectivePage(model::CExcModel& model, QWidget* parent)
    : Page(parent), model_(model) {
  auto* layout = new QVBoxLayout(this);
  auto* objective = new QGroupBox("Objective &function", this);
  auto* form = new QFormLayout(objective);
  defined_ = new QCheckBox("&Define objective function", objective);
  defined_->setObjectName("defined");
  form->addRow(defined_);
  worksheet_ = SheetChoice("objectiveWorksheet", model.sheetNames, objective);
  cell_ = NamedEdit("objectiveCell", objective);
  mode_ = new QComboBox(objective);
  mode_->setObjectName("mode");
  mode_->addItems({"Maximise", "Minimise"});
  name_ = NamedEdit("objectiveName", objective);
  unit_ = NamedEdit("objectiveUnit", objective);
  form->addRow("&Worksheet", worksheet_);
  form->addRow("Ce&ll (e.g. B5)", cell_);
  form->addRow("Mod&e", mode_);
  form->addRow("&Name (for reporting purposes)", name_);
  form->addRow("&Unit (for reporting purposes)", unit_);
  layout->addWidget(objective);
  auto* constraints = new QGroupBox("Con&straints", this);
  auto* constraintsLayout = new QVBoxLayout(constraints);
  const int rows = std::max<int>(kItemRows, static_cast<int>(model.constraints.size()));
  grid_ = ItemGrid(rows, model.sheetNames, {4, CellKind::kChoice, kConstraintKinds, 100},
                   {5, CellKind::kText, {}, 90}, constraints);
  grid_->setObjectName("constraintsGrid");
  grid_->SetRowCheck("Constraints", [this](int row) { return CheckConstraint(grid_, row); });
  constraintsLayout->addWidget(grid_);
  layout->addWidget(constraints, 1);
  CheckCellOnLeaving(cell_);
  // The objective's fields are stored only while it is defined: they cannot
  // be edited otherwise.
  connect(defined_, &QCheckBox::toggled, this, [this](bool defined) {
    for (QWidget* field : std::initializer_list<QWidget*>{worksheet_, cell_, mode_, name_, unit_})
      field->setEnabled(defined);
  });
}

QString ObjectivePage::Check() {
  if (defined_->isChecked()) {
    if (IsBlank(worksheet_->currentText())) {
      worksheet_->setFocus();
      return "A worksheet must be specified";
    }
    if (IsBlank(cell_->text())) {
      cell_->setFocus();
      return "A worksheet cell must be specified";
    }
    const QString problem = CellProblem(cell_->text());
    MarkField(cell_, problem);
    if (!problem.isEmpty()) {
      cell_->setFocus();
      return "Objective function: " + problem;
    }
  }
  return CheckGrid(grid_);
}

void ObjectivePage::Load() {
  const casedata::CExcObjFn& objective = model_.objective;
  defined_->setChecked(objective.Defined);
  for (QWidget* field : std::initializer_list<QWidget*>{worksheet_, cell_, mode_, name_, unit_})
    field->setEnabled(objective.Defined);
  worksheet_->setCurrentText(Q(objective.worksheet));
  cell_->setText(Q(objective.cell));
  mode_->setCurrentIndex(objective.Maximise ? 0 : 1);
  name_->setText(Q(objective.name));
  unit_->setText(Q(objective.unit));
  grid_->SuspendRedraw();
  grid_->SetDataRows(std::max<int>(kItemRows, static_cast<int>(model_.constraints.size())));
  grid_->ClearRange(1, 1, grid_->DataRows(), 6);
  for (std::size_t i = 0; i < model_.constraints.size(); ++i) {
    const casedata::CExcConstraint& constraint = *model_.constraints.At(i);
    const int row = static_cast<int>(i) + 1;
    LoadCellDef(grid_, row, constraint);
    grid_->SetChoice(row, 5,
                     static_cast<int>(std::min<std::uint32_t>(constraint.ConstraintType, 2)));
    grid_->SetText(row, 6, FormatDouble(constraint.Limit));
  }
  grid_->Redraw();
}

void ObjectivePage::Store() {
  casedata::CExcObjFn& objective = model_.objective;
  objective.Defined = defined_->isChecked();
  if (objective.Defined) {
    objective.worksheet = Std(worksheet_->currentText());
    objective.cell = Std(cell_->text());
    objective.Maximise = mode_->currentIndex() == 0;
    // Check refuses an incomplete objective before anything is stored.
    if (IsBlank(worksheet_->currentText()) || IsBlank(cell_->text())) return;
    objective.name = Std(name_->text());
    objective.unit = Std(unit_->text());
  }
  casedata::CExcclConstraint rebuilt;
  for (int row = 1; row <= grid_->DataRows(); ++row) {
    // Check has refused every row that is neither blank nor whole.
    double limit = 0;
    if (IsBlank(grid_->Text(row, kWorksheet)) || IsBlank(grid_->Text(row, kCell)) ||
        IsBlank(grid_->Text(row, 5)) || !ParseDouble(grid_->Text(row, 6), limit) ||
        limit > casedata::kThreshold) {
      continue;
    }
    auto constraint = std::make_unique<casedata::CExcConstraint>();
    StoreCellDef(grid_, row, *constraint);
    const QString kind = grid_->Text(row, 5);
    constraint->ConstraintType = kind == "Less than"  ? casedata::kLessThan
                                 : kind == "Equal to" ? casedata::kEqualTo
                                                      : casedata::kGreaterThan;
    constraint->Limit = limit;
    rebuilt.Add(std::move(constraint));
  }
  model_.constraints = std::move(rebuilt);
}

ControlsPage::ControlsPage(model::CExcModel& model, QWidget* parent) : Page(parent), model_(model) {
  auto* layout = new QVBoxLayout(this);
  const int rows = std::max<int>(kItemRows, static_cast<int>(model.controls.size()));
  grid_ = ItemGrid(rows, model.sheetNames, {7, CellKind::kText, {}, 90},
                   {8, CellKind::kText, {}, 90}, this);
  grid_->setObjectName("controlsGrid");
  grid_->SetRowCheck("Controls", [this](int row) { return CheckControl(grid_, row); });
  layout->addWidget(grid_);
}

QString ControlsPage::Check() {
  return CheckGrid(grid_);
}

void ControlsPage::Load() {
  grid_->SuspendRedraw();
  grid_->SetDataRows(std::max<int>(kItemRows, static_cast<int>(model_.controls.size())));
  grid_->ClearRange(1, 1, grid_->DataRows(), 6);
  for (std::size_t i = 0; i < model_.controls.size(); ++i) {
    const casedata::CExcControlVariable& control = *model_.controls.At(i);
    const int row = static_cast<int>(i) + 1;
    LoadCellDef(grid_, row, control);
    grid_->SetText(row, 5, BoundText(control.LowerBound));
    grid_->SetText(row, 6, BoundText(control.UpperBound));
  }
  grid_->Redraw();
}

void ControlsPage::Store() {
  casedata::CExcclControlVariable rebuilt;
  for (int row = 1; row <= grid_->DataRows(); ++row) {
    if (IsBlank(grid_->Text(row, kWorksheet)) || IsBlank(grid_->Text(row, kCell))) continue;
    auto control = std::make_unique<casedata::CExcControlVariable>();
    StoreCellDef(grid_, row, *control);
    control->LowerBound = StoredBound(grid_->Text(row, 5));
    control->UpperBound = StoredBound(grid_->Text(row, 6));
    rebuilt.Add(std::move(control));
  }
  model_.controls = std::move(rebuilt);
}

IntegerControlsPage::IntegerControlsPage(model::CExcModel& model, QWidget* parent)
    : Page(parent), model_(model) {
  auto* layout = new QHBoxLayout(this);
  layout->addWidget(ControlsBox());
  layout->addWidget(DefinitionsBox(), 1);
  connect(list_, &QListWidget::currentRowChanged, this, [this](int row) {
    // A faulty control is not left: its fields would be stored as they are.
    if (const QString problem = Check(); !problem.isEmpty()) {
      const QSignalBlocker blocker(list_);
      list_->setCurrentRow(shown_);
      ShowProblem(this, problem);
      return;
    }
    Store();
    Show(row);
  });
}

QGroupBox* IntegerControlsPage::ControlsBox() {
  auto* controls = new QGroupBox("Inte&ger Controls", this);
  auto* controlsLayout = new QVBoxLayout(controls);
  list_ = new QListWidget(controls);
  list_->setObjectName("integerControls");
  controlsLayout->addWidget(list_);
  auto* buttons = new QHBoxLayout;
  for (const char* text : {"Add", "Delete", "Clear"}) {
    const QString shown = QString(text) == "Add"      ? "&Add"
                          : QString(text) == "Delete" ? "&Delete"
                                                      : "Clea&r";
    auto* button = new QPushButton(shown, controls);
    button->setObjectName(QString(text).toLower());
    buttons->addWidget(button);
    connect(button, &QPushButton::clicked, this, [this, text] {
      const QString which(text);
      if (which == "Add") Add();
      if (which == "Delete") Delete();
      if (which == "Clear") Clear();
    });
  }
  controlsLayout->addLayout(buttons);
  return controls;
}

QGroupBox* IntegerControlsPage::DefinitionsBox() {
  definitions_ = new QGroupBox("&Variable definitions", this);
  QGroupBox* definitions = definitions_;
  auto* definitionsLayout = new QVBoxLayout(definitions);
  auto* form = new QFormLayout;
  worksheet_ = SheetChoice("worksheet", model_.sheetNames, definitions);
  cell_ = NamedEdit("cell", definitions);
  name_ = NamedEdit("name", definitions);
  form->addRow("&Worksheet", worksheet_);
  form->addRow("Ce&ll", cell_);
  form->addRow("&Name", name_);
  definitionsLayout->addLayout(form);
  statesLabel_ = new QLabel(definitions);
  statesLabel_->setObjectName("statesLabel");
  definitionsLayout->addWidget(statesLabel_);
  states_ = new Grid(casedata::kMaxStates,
                     {{17, CellKind::kText, {}, 150}, {5, CellKind::kText, {}, 100}}, "", 30,
                     definitions);
  states_->setObjectName("statesGrid");
  states_->SetRowCheck("States", [this](int row) {
    // Only rows with a value are kept: a name alone would be lost.
    if (!IsBlank(states_->Text(row, 1)) && IsBlank(states_->Text(row, 2))) return Blank(2, 5);
    return RowProblem{};
  });
  CheckCellOnLeaving(cell_);
  definitionsLayout->addWidget(states_);
  return definitions;
}

void IntegerControlsPage::FillList() {
  const QSignalBlocker blocker(list_);
  list_->clear();
  for (std::size_t i = 0; i < model_.intControls.size(); ++i)
    list_->addItem(Q(model_.intControls.At(i)->name));
  list_->setCurrentRow(shown_);
}

void IntegerControlsPage::Show(int index) {
  const casedata::CExcIntCtrlVariable* control =
      index >= 0 ? model_.intControls.At(static_cast<std::size_t>(index)) : nullptr;
  shown_ = control != nullptr ? index : -1;
  // With no control selected there is nothing the fields could be stored in.
  definitions_->setEnabled(control != nullptr);
  MarkField(cell_, {});
  {
    const QSignalBlocker blocker(list_);
    list_->setCurrentRow(shown_);
  }
  worksheet_->setCurrentText(control != nullptr ? Q(control->worksheet) : QString());
  cell_->setText(control != nullptr ? Q(control->cell) : QString());
  name_->setText(control != nullptr ? Q(control->name) : QString());
  statesLabel_->setText(QString("Available states for variable: %1")
                            .arg(control != nullptr ? Q(control->name) : QString()));
  states_->ClearRange(1, 1, states_->DataRows(), 2);
  if (control == nullptr) return;
  for (int k = 0; k < control->UsedStateCount(); ++k) {
    states_->SetText(k + 1, 1, Q(control->StateNames[static_cast<std::size_t>(k)]));
    states_->SetText(k + 1, 2, Q(control->StateValues[static_cast<std::size_t>(k)]));
  }
}

void IntegerControlsPage::Load() {
  if (shown_ < 0 || static_cast<std::size_t>(shown_) >= model_.intControls.size()) {
    shown_ = model_.intControls.empty() ? -1 : 0;
  }
  FillList();
  Show(shown_);
}

QString IntegerControlsPage::Check() {
  if (shown_ < 0) return {};
  const QString problem = CellProblem(cell_->text());
  MarkField(cell_, problem);
  if (!problem.isEmpty()) {
    cell_->setFocus();
    return QString("Integer control \"%1\": %2").arg(name_->text(), problem);
  }
  return CheckGrid(states_);
}

void IntegerControlsPage::Store() {
  casedata::CExcIntCtrlVariable* control =
      shown_ >= 0 ? model_.intControls.At(static_cast<std::size_t>(shown_)) : nullptr;
  if (control == nullptr) return;
  control->name = Std(name_->text());
  control->cell = Std(cell_->text());
  control->worksheet = Std(worksheet_->currentText());
  // The states too: switching controls must not lose what was typed there.
  std::size_t count = 0;
  std::array<std::string, casedata::kMaxStates> names;
  std::array<std::string, casedata::kMaxStates> values;
  for (int row = 1; row <= states_->DataRows() && count < names.size(); ++row) {
    if (IsBlank(states_->Text(row, 2))) continue;
    names[count] = Std(states_->Text(row, 1));
    values[count] = Std(states_->Text(row, 2));
    ++count;
  }
  control->StateNames = names;
  control->StateValues = values;
  control->StateCount = static_cast<std::int32_t>(count);
  if (QListWidgetItem* item = list_->item(shown_)) item->setText(Q(control->name));
}

void IntegerControlsPage::Add() {
  if (const QString problem = Check(); !problem.isEmpty()) {
    ShowProblem(this, problem);
    return;
  }
  Store();
  casedata::MakeIntegerControlName(model_.intControls);
  shown_ = static_cast<int>(model_.intControls.size()) - 1;
  FillList();
  Show(shown_);
}

void IntegerControlsPage::Delete() {
  if (shown_ < 0) return;
  model_.intControls.RemoveAt(static_cast<std::size_t>(shown_));
  shown_ = -1;
  FillList();
  Show(-1);
}

void IntegerControlsPage::Clear() {
  model_.intControls.Clear();
  shown_ = -1;
  FillList();
  Show(-1);
}

OptimiserDialog::OptimiserDialog(model::OptimiserPage first, model::CExcModel& model,
                                 QWidget* parent)
    : TabbedDialog("Setup of Optimisation Components", kOptimisationHelp, parent),
      model_(model),
      objective_(model.objective),
      constraints_(model.constraints),
      controls_(model.controls),
      intControls_(model.intControls) {
  AddPage(new ObjectivePage(model), "O&bj Fn/Constraints");
  AddPage(new ControlsPage(model), "Con&trols");
  AddPage(new IntegerControlsPage(model), "&Integer controls");
  KeepSize(this, "optimisation");
  Open(first == model::OptimiserPage::kControls ? 1 : 0);
}

void OptimiserDialog::reject() {
  model_.objective = objective_;
  model_.constraints = constraints_;
  model_.controls = controls_;
  model_.intControls = intControls_;
  QDialog::reject();
}

}  // namespace ui
