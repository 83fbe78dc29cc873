// The grids of properties with units: the stream grids ("Cell" and "Unit")
// and the composition grid ("Unit" only). Each row is a property with a
// quantity kind; its "Unit" cell chooses among that kind's units, and the
// heading row's "Unit" cell is the grid's unit system.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "casedata/stream_data.h"
#include "ui/widgets/grid.h"

namespace ui {

struct PropertyRow {
  const char* label;
  int kind;  // streams::UnitKind; kNoKind: a read-only, empty unit
};

std::vector<PropertyRow> InputPropertyRows();
std::vector<PropertyRow> OutputPropertyRows();
std::vector<PropertyRow> ComponentPropertyRows();

class PropertyGrid : public Grid {
 public:
  PropertyGrid(std::vector<PropertyRow> rows, bool withCells, QWidget* parent = nullptr);

  int CellColumn() const { return withCells_ ? 1 : -1; }
  int UnitColumn() const { return withCells_ ? 2 : 1; }

  // Marks and refuses "Cell" texts that name no cell; `name` for messages.
  void CheckCellsAs(const QString& name);
  // The first faulty row's message, or empty.
  QString Check();

  void LoadCells(std::span<const casedata::CExcPropertyCell> cells, std::uint32_t unitSystem);
  void StoreCells(std::span<casedata::CExcPropertyCell> cells, std::uint32_t& unitSystem) const;
  void LoadUnits(std::span<const std::uint32_t> units, std::uint32_t unitSystem);
  void StoreUnits(std::span<std::uint32_t> units, std::uint32_t& unitSystem) const;

 private:
  void LoadUnit(int row, std::uint32_t unit);
  std::uint32_t StoredUnit(int row, std::uint32_t previous) const;
  void ApplySystem();

  std::vector<PropertyRow> rows_;
  bool withCells_;
};

}  // namespace ui
