#include "ui/dialogs/other_dialogs.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>
#include <memory>

#include "casedata/exported_variable.h"
#include "model/model.h"
#include "ui/widgets/dialog_size.h"
#include "ui/widgets/grid.h"
#include "ui/widgets/pages.h"
#include "ui/widgets/seams.h"

namespace ui {
namespace {

// The published-variables grid's columns.
namespace column {
enum : int {
  kName = 1,
  kUnit,
  kWorksheet,
  kCell,
  kCascadeCell,
  kCascadeDirection,
  kWidth,
  kHeight,
  kColumnDelimiter,
  kRowDelimiter,
};
}  // namespace column

// A block's size as typed: a whole number, limited to 1 ... 10000.
std::int32_t RegionSize(const QString& text) {
  double value = 0;
  if (!ParseDouble(text, value) || !(value >= casedata::kMinRegion)) return casedata::kMinRegion;
  return casedata::ClampRegion(
      static_cast<std::int32_t>(std::min(value, double{casedata::kMaxRegion})));
}

// A size left empty is 1; one typed must be a whole number the block can
// have, or it would be changed behind the user's back.
QString RegionProblem(const QString& text) {
  double value = 0;
  if (IsBlank(text)) return {};
  if (ParseDouble(text, value) && value >= casedata::kMinRegion && value <= casedata::kMaxRegion &&
      value == std::floor(value)) {
    return {};
  }
  return QString("\"%1\" is not a whole number from 1 to 10000").arg(text.trimmed());
}

RowProblem CheckVariable(const Grid* grid, int row) {
  bool blank = true;
  for (int column = column::kName; column <= column::kHeight; ++column)
    blank = blank && IsBlank(grid->Text(row, column));
  if (blank) return {};  // delimiters alone are what "Clear" leaves
  for (const int column : {column::kName, column::kWorksheet, column::kCell}) {
    if (IsBlank(grid->Text(row, column))) {
      const int heading = column == column::kName ? 6 : column == column::kWorksheet ? 3 : 1;
      return {0, column, QString("\"%1\" is blank").arg(GridHeading(heading))};
    }
  }
  for (const int column : {column::kCell, column::kCascadeCell}) {
    if (const QString problem = CellProblem(grid->Text(row, column)); !problem.isEmpty())
      return {0, column, problem};
  }
  for (const int column : {column::kWidth, column::kHeight}) {
    if (const QString problem = RegionProblem(grid->Text(row, column)); !problem.isEmpty())
      return {0, column, problem};
  }
  return {};
}

}  // namespace

PublishedDialog::PublishedDialog(model::CExcModel& model, QWidget* parent)
    : QDialog(parent), model_(model) {
  setWindowTitle("Setup variables to export to Conflux");
  auto* layout = new QVBoxLayout(this);
  const int count = static_cast<int>(model.publishedVariables.size());
  grid_ = new Grid(std::max(500, count + 300),
                   {{6, CellKind::kText, {}, 110},
                    {2, CellKind::kText, {}, 60},
                    {3, CellKind::kChoice, ToQStrings(model.sheetNames).join('\n'), 100, true},
                    {1, CellKind::kText, {}, 60},
                    {12, CellKind::kText, {}, 200},
                    {13, CellKind::kChoice, "Vertical\nHorizontal", 110},
                    {18, CellKind::kText, {}, 90},
                    {19, CellKind::kText, {}, 90},
                    {20, CellKind::kText, {}, 110},
                    {21, CellKind::kText, {}, 100}},
                   "", 40, this);
  grid_->setObjectName("publishedGrid");
  grid_->SetRowCheck("Published variables", [this](int row) { return CheckVariable(grid_, row); });
  grid_->SuspendRedraw();
  for (int i = 0; i < count; ++i) {
    const casedata::CExcExportedVariable& variable =
        *model.publishedVariables.At(static_cast<std::size_t>(i));
    const int row = i + 1;
    grid_->SetText(row, column::kName, Q(variable.name));
    grid_->SetText(row, column::kUnit, Q(variable.unit));
    grid_->SetChoiceText(row, column::kWorksheet, Q(variable.worksheet));
    grid_->SetText(row, column::kCell, Q(variable.cell));
    grid_->SetText(row, column::kCascadeCell, Q(variable.CascadeCell));
    grid_->SetChoice(row, column::kCascadeDirection, static_cast<int>(variable.CascadeDirection));
    grid_->SetText(row, column::kWidth, QString::number(variable.RegionWidth));
    grid_->SetText(row, column::kHeight, QString::number(variable.RegionHeight));
    grid_->SetText(row, column::kColumnDelimiter, Q(variable.ColumnDelimiter));
    grid_->SetText(row, column::kRowDelimiter, Q(variable.RowDelimiter));
  }
  grid_->Redraw();
  layout->addWidget(grid_);
  QDialogButtonBox* buttons = DialogButtons(this, kPublishedHelp);
  QPushButton* clear = buttons->addButton("C&lear", QDialogButtonBox::ResetRole);
  clear->setObjectName("clear");
  connect(clear, &QPushButton::clicked, this,
          [this] { grid_->ClearRange(1, column::kName, grid_->DataRows(), column::kHeight); });
  layout->addWidget(buttons);
  KeepSize(this, "publishedVariables");
}

void PublishedDialog::accept() {
  if (const RowProblem problem = grid_->CheckAll(); problem.Found()) {
    ShowProblem(this, grid_->Refuse(problem));
    return;
  }
  casedata::CExcclExportedVariable rebuilt;
  for (int row = 1; row <= grid_->DataRows(); ++row) {
    if (IsBlank(grid_->Text(row, column::kName)) || IsBlank(grid_->Text(row, column::kWorksheet)) ||
        IsBlank(grid_->Text(row, column::kCell))) {
      continue;
    }
    auto variable = std::make_unique<casedata::CExcExportedVariable>();
    variable->name = Std(grid_->Text(row, column::kName));
    variable->unit = Std(grid_->Text(row, column::kUnit));
    variable->worksheet = Std(grid_->Text(row, column::kWorksheet));
    variable->cell = Std(grid_->Text(row, column::kCell));
    variable->CascadeCell = Std(grid_->Text(row, column::kCascadeCell));
    const int direction = grid_->Choice(row, column::kCascadeDirection);
    variable->CascadeDirection =
        direction >= 0 ? static_cast<std::uint32_t>(direction) : casedata::kVertical;
    variable->RegionWidth = RegionSize(grid_->Text(row, column::kWidth));
    variable->RegionHeight = RegionSize(grid_->Text(row, column::kHeight));
    variable->ColumnDelimiter = Std(grid_->Text(row, column::kColumnDelimiter));
    variable->RowDelimiter = Std(grid_->Text(row, column::kRowDelimiter));
    rebuilt.Add(std::move(variable));
  }
  model_.publishedVariables = std::move(rebuilt);
  QDialog::accept();
}

ConfigurationDialog::ConfigurationDialog(std::string& plugIns, QWidget* parent)
    : QDialog(parent), plugIns_(plugIns) {
  setWindowTitle("Excel driver configuration settings");
  auto* layout = new QVBoxLayout(this);
  auto* label =
      new QLabel("&Plug-ins to load with each Excel instance. Use ';' to separate entries", this);
  layout->addWidget(label);
  field_ = new QLineEdit(QString::fromStdString(plugIns), this);
  label->setBuddy(field_);
  field_->setObjectName("plugIns");
  layout->addWidget(field_);
  layout->addWidget(DialogButtons(this, 0));
  KeepSize(this, "driverConfiguration");
}

void ConfigurationDialog::accept() {
  plugIns_ = Std(field_->text());
  QDialog::accept();
}

}  // namespace ui
