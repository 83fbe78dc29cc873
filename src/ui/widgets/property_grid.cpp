#include "ui/widgets/property_grid.h"

#include "casedata/component_columns.h"
#include "casedata/unit_table.h"

namespace ui {
namespace {

constexpr int kHeadingCell = 1;
constexpr int kHeadingUnit = 2;

QString UnitChoices(int kind) {
  QStringList names;
  for (int unit = 0; unit < casedata::UnitCount(kind); ++unit) {
    names << QString::fromStdString(casedata::UnitName(kind, unit));
  }
  return names.join('\n');
}

std::vector<GridColumn> Columns(bool withCells) {
  std::vector<GridColumn> columns;
  if (withCells) columns.push_back({kHeadingCell, CellKind::kText, {}, 90});
  columns.push_back({kHeadingUnit, CellKind::kReadOnly, {}, 100});
  return columns;
}

}  // namespace

std::vector<PropertyRow> InputPropertyRows() {
  std::vector<PropertyRow> rows;
  for (const casedata::StreamRowInfo& info : casedata::kInputRows)
    rows.push_back({info.label, info.kind});
  return rows;
}

std::vector<PropertyRow> OutputPropertyRows() {
  std::vector<PropertyRow> rows;
  for (const casedata::StreamRowInfo& info : casedata::kOutputRows)
    rows.push_back({info.label, info.kind});
  return rows;
}

std::vector<PropertyRow> ComponentPropertyRows() {
  std::vector<PropertyRow> rows;
  for (const casedata::ComponentColumn& column : casedata::kComponentColumns) {
    rows.push_back({column.label, column.kind});
  }
  return rows;
}

PropertyGrid::PropertyGrid(std::vector<PropertyRow> rows, bool withCells, QWidget* parent)
    : Grid(static_cast<int>(rows.size()), Columns(withCells), "Property", 130, parent),
      rows_(std::move(rows)),
      withCells_(withCells) {
  if (withCells_) SetMaxBytes(CellColumn(), static_cast<int>(casedata::CellField::kMaxLength));
  SetShownRows(static_cast<int>(rows_.size()));  // every property in view
  SetKind(0, UnitColumn(), CellKind::kChoice, "Oilfield\nS.I.");
  for (std::size_t i = 0; i < rows_.size(); ++i) {
    const int row = static_cast<int>(i) + 1;
    SetText(row, 0, QString::fromUtf8(rows_[i].label));
    if (casedata::FindUnitKind(rows_[i].kind) != nullptr) {
      SetKind(row, UnitColumn(), CellKind::kChoice, UnitChoices(rows_[i].kind));
    }
  }
  OnHeadingChanged([this](int column) {
    if (column == UnitColumn()) ApplySystem();
  });
}

void PropertyGrid::CheckCellsAs(const QString& name) {
  if (!withCells_) return;
  SetRowCheck(name, [this](int row) {
    const QString problem = CellProblem(Text(row, CellColumn()));
    return RowProblem{row, problem.isEmpty() ? 0 : CellColumn(), problem};
  });
}

QString PropertyGrid::Check() {
  const RowProblem problem = CheckAll();
  return problem.Found() ? Refuse(problem) : QString();
}

void PropertyGrid::ApplySystem() {
  const int system = Choice(0, UnitColumn());
  for (std::size_t i = 0; i < rows_.size(); ++i) {
    const int unit = casedata::DefaultUnit(rows_[i].kind, system);
    if (unit >= 0) SetChoice(static_cast<int>(i) + 1, UnitColumn(), unit);
  }
}

void PropertyGrid::LoadUnit(int row, std::uint32_t unit) {
  if (Kind(row, UnitColumn()) == CellKind::kChoice)
    SetChoice(row, UnitColumn(), static_cast<int>(unit));
}

std::uint32_t PropertyGrid::StoredUnit(int row, std::uint32_t previous) const {
  if (Kind(row, UnitColumn()) != CellKind::kChoice) return previous;
  const int index = Choice(row, UnitColumn());
  return index >= 0 ? static_cast<std::uint32_t>(index) : previous;
}

void PropertyGrid::LoadCells(std::span<const casedata::CExcPropertyCell> cells,
                             std::uint32_t unitSystem) {
  SuspendRedraw();
  SetChoice(0, UnitColumn(), static_cast<int>(unitSystem));
  for (std::size_t i = 0; i < cells.size() && i < rows_.size(); ++i) {
    const int row = static_cast<int>(i) + 1;
    if (withCells_) SetText(row, CellColumn(), QString::fromUtf8(cells[i].cell.view()));
    LoadUnit(row, cells[i].unit);
  }
  Redraw();
}

void PropertyGrid::StoreCells(std::span<casedata::CExcPropertyCell> cells,
                              std::uint32_t& unitSystem) const {
  unitSystem = StoredUnit(0, unitSystem);
  for (std::size_t i = 0; i < cells.size() && i < rows_.size(); ++i) {
    const int row = static_cast<int>(i) + 1;
    if (withCells_) cells[i].cell.Set(Text(row, CellColumn()).toStdString());
    cells[i].unit = StoredUnit(row, cells[i].unit);
  }
}

void PropertyGrid::LoadUnits(std::span<const std::uint32_t> units, std::uint32_t unitSystem) {
  SuspendRedraw();
  SetChoice(0, UnitColumn(), static_cast<int>(unitSystem));
  for (std::size_t i = 0; i < units.size() && i < rows_.size(); ++i) {
    LoadUnit(static_cast<int>(i) + 1, units[i]);
  }
  Redraw();
}

void PropertyGrid::StoreUnits(std::span<std::uint32_t> units, std::uint32_t& unitSystem) const {
  unitSystem = StoredUnit(0, unitSystem);
  for (std::size_t i = 0; i < units.size() && i < rows_.size(); ++i) {
    units[i] = StoredUnit(static_cast<int>(i) + 1, units[i]);
  }
}

}  // namespace ui
