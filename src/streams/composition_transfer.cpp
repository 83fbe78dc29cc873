#include "streams/composition_transfer.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "automation/block_transfer.h"
#include "automation/cell_address.h"
#include "automation/cell_transfer.h"
#include "casedata/component_columns.h"
#include "com/error.h"
#include "com/variants/bstr.h"
#include "com/variants/variant.h"
#include "com/variants/variant_text.h"
#include "excel/errors.h"
#include "text/ascii.h"
#include "text/number.h"

namespace streams::detail {
namespace {

using automation::OffsetCell;
using outcome::Error;
using outcome::Expected;

constexpr int kColumnTable = 1;  // kComponentColumns[0] is column 1

// The cell's value as text, as the cell transfer reads it.
Expected<std::string> CellText(automation::CExcExcelObj& session, std::string_view sheetName,
                               const std::string& address) {
  // A malformed top-left cell steps to no address at all; the spreadsheet
  // refuses an empty reference the same way.
  if (address.empty()) return com::Failure(excel::kApplicationError);
  return automation::CellValueText(session.GetCellValue(address), sheetName, address);
}

// A table or matrix cell: from its block when that was read whole.
Expected<std::string> CellText(automation::CExcExcelObj& session, std::string_view sheetName,
                               const automation::BlockPart& cells, std::size_t row,
                               std::size_t column) {
  const com::Variant* value = cells.Find(row, column);
  if (value == nullptr) return CellText(session, sheetName, cells.Address(row, column));
  // Only an error value's message names the cell.
  return automation::CellValueText(
      *value, sheetName, value->vt == com::VT_ERROR ? cells.Address(row, column) : std::string());
}

// The table's cells of `count` components, from column `firstColumn` to
// the last, row by row, as the single-cell transfer steps to them.
std::vector<std::string> TableAddresses(const casedata::CExcStreamCompositionData& block,
                                        std::size_t count, std::size_t firstColumn) {
  const std::string table = block.componentTableCell.str();
  std::vector<std::string> cells;
  cells.reserve(count * (casedata::kComponentColumnCount + 1 - firstColumn));
  for (std::size_t i = 0; i < count; ++i) {
    const std::string rowCell = OffsetCell(table, static_cast<int>(i), true);
    // Column 0 is the row's own cell (its letters as written).
    if (firstColumn == 0) cells.push_back(rowCell);
    for (std::size_t k = std::max<std::size_t>(firstColumn, 1);
         k <= casedata::kComponentColumnCount; ++k)
      cells.push_back(OffsetCell(rowCell, static_cast<int>(k), false));
  }
  return cells;
}

std::vector<std::string> MatrixAddresses(const casedata::CExcStreamCompositionData& block,
                                         std::size_t count) {
  const std::string interaction = block.interactionCell.str();
  std::vector<std::string> cells;
  cells.reserve(count * count);
  for (std::size_t i = 0; i < count; ++i) {
    const std::string matrixRow = OffsetCell(interaction, static_cast<int>(i), true);
    for (std::size_t j = 0; j < count; ++j)
      cells.push_back(OffsetCell(matrixRow, static_cast<int>(j), false));
  }
  return cells;
}

Error WriteValue(automation::CExcExcelObj& session, const std::string& address,
                 const com::Variant& value) {
  // No current worksheet means nothing was written: a failure, not a skip.
  if (session.SetCellValue(address, value) != 0) return com::Failure(com::E_POINTER);
  return Error::Success();
}

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
    return std::tolower(static_cast<unsigned char>(x)) ==
           std::tolower(static_cast<unsigned char>(y));
  });
}

// The number a cell's text is; a text that is no number fails the read,
// naming the cell `address()` gives (made only then).
template <typename AddressOf>
Expected<double> NumberOf(const std::string& text, std::string_view sheetName,
                          const AddressOf& address) {
  const std::optional<double> number = text::ParseWholeNumber(text);
  if (!number) return Error::Failed(automation::NotANumberMessage(sheetName, address(), text));
  return *number;
}

// A property the table leaves out: a blank cell, or the mark a write of a
// property not given leaves.
bool NotGiven(const std::string& text) {
  return text::IsBlank(text) || text == "--";
}

int UnitIndex(std::uint32_t unit) {
  return static_cast<int>(unit);  // above INT_MAX: negative, so invalid
}

// The number of a cell that may leave its property out: none when it does.
template <typename AddressOf>
Expected<std::optional<double>> GivenNumber(Expected<std::string> text, std::string_view sheetName,
                                            const AddressOf& address) {
  if (!text) return text.TakeError();
  if (NotGiven(*text)) return std::optional<double>();
  Expected<double> number = NumberOf(*text, sheetName, address);
  if (!number) return number.TakeError();
  return std::optional<double>(*number);
}

// The number of a cell read ahead that holds one, which needs no text.
std::optional<double> HeldNumber(const automation::BlockPart& cells, std::size_t row,
                                 std::size_t column) {
  const com::Variant* value = cells.Find(row, column);
  if (value == nullptr || value->vt != com::VT_R8 || !std::isfinite(value->dblVal))
    return std::nullopt;
  return automation::NumberThroughText(value->dblVal);
}

// A table or matrix cell's number, none when it leaves its property out.
Expected<std::optional<double>> GivenNumber(automation::CExcExcelObj& session,
                                            std::string_view sheetName,
                                            const automation::BlockPart& cells, std::size_t row,
                                            std::size_t column) {
  if (const std::optional<double> held = HeldNumber(cells, row, column)) return held;
  return GivenNumber(CellText(session, sheetName, cells, row, column), sheetName,
                     [&] { return cells.Address(row, column); });
}

// The mole fraction is always there: an empty cell reads as 0.
Expected<double> MoleFraction(automation::CExcExcelObj& session, std::string_view sheetName,
                              const automation::BlockPart& table, std::size_t i) {
  if (const std::optional<double> held = HeldNumber(table, i, 0)) return *held;
  Expected<std::string> text = CellText(session, sheetName, table, i, 0);
  if (!text) return text.TakeError();
  if (text::IsBlank(*text)) return 0.0;
  return NumberOf(*text, sheetName, [&] { return table.Address(i, 0); });
}

// Component i's table row, then its matrix row, into the values.
Error ReadComponent(automation::CExcExcelObj& session, std::string_view sheetName,
                    const casedata::CExcStreamCompositionData& block,
                    const automation::BlockPart& table, const automation::BlockPart* matrix,
                    std::size_t i, std::size_t count, casedata::IprValues& values) {
  Expected<double> mole = MoleFraction(session, sheetName, table, i);
  if (!mole) return mole.TakeError();
  values.components[0][i] = *mole;
  for (std::size_t k = 2; k <= casedata::kComponentColumnCount; ++k) {
    const casedata::ComponentColumn& column = casedata::kComponentColumns[k - 1];
    Expected<std::optional<double>> number = GivenNumber(session, sheetName, table, i, k - 1);
    if (!number) return number.TakeError();
    if (!*number) continue;
    values.componentFlags |= column.flag;
    values.components[k - 1][i] =
        casedata::ToInternalUnits(**number, column.kind, UnitIndex(block.columnUnits[k - 1]));
  }
  for (std::size_t j = 0; matrix != nullptr && j < count; ++j) {
    if (j == i) continue;  // the diagonal has no coefficient
    Expected<std::optional<double>> number = GivenNumber(session, sheetName, *matrix, i, j);
    if (!number) return number.TakeError();
    if (!*number) continue;
    values.componentFlags |= casedata::kHasInteraction;
    values.interaction[i][j] = **number;
  }
  return Error::Success();
}

// A cell below the table: from the read ahead when it holds the cell.
Expected<std::string> CellText(automation::CExcExcelObj& session, std::string_view sheetName,
                               const std::string& address, const automation::BlockRead* ahead,
                               const std::optional<automation::CellPosition>& place) {
  const com::Variant* value = ahead != nullptr && place ? ahead->At(*place) : nullptr;
  if (value == nullptr) return CellText(session, sheetName, address);
  return automation::CellValueText(*value, sheetName, address);
}

// The mass rate and the EOS model below the table.
Error ReadMassRateAndModel(automation::CExcExcelObj& session, std::string_view sheetName,
                           const casedata::CExcStreamCompositionData& block,
                           casedata::IprValues& values, const automation::BlockRead* ahead,
                           const CompositionPlaces* places) {
  if (!block.massRateCell.IsBlank()) {
    const std::string cell = block.massRateCell.str();
    Expected<std::optional<double>> number =
        GivenNumber(CellText(session, sheetName, cell, ahead,
                             places != nullptr ? places->massRate : std::nullopt),
                    sheetName, [&] { return cell; });
    if (!number) return number.TakeError();
    if (*number) {
      values.massRate =
          casedata::ToInternalUnits(**number, casedata::kMassRate, UnitIndex(block.massRateUnit));
    }
  }
  std::uint32_t eos = casedata::kEosOther;
  if (!block.eosModelCell.IsBlank()) {
    Expected<std::string> text = CellText(session, sheetName, block.eosModelCell.str(), ahead,
                                          places != nullptr ? places->eosModel : std::nullopt);
    if (!text) return text.TakeError();
    if (EqualsIgnoringCase(*text, "PR")) {
      eos = casedata::kEosPengRobinson;
    } else if (EqualsIgnoringCase(*text, "SRK")) {
      eos = casedata::kEosSoaveRedlichKwong;
    }
  }
  values.eosModel = eos;
  return Error::Success();
}

// The mass rate and the EOS model below the table.
Error WriteMassRateAndModel(automation::CExcExcelObj& session,
                            const casedata::CExcStreamCompositionData& block,
                            const casedata::IprValues& values) {
  if (!block.massRateCell.IsBlank()) {
    const double massRate = casedata::FromInternalUnits(values.massRate, casedata::kMassRate,
                                                        UnitIndex(block.massRateUnit));
    if (Error failed =
            WriteValue(session, block.massRateCell.str(), com::Variant::Double(massRate))) {
      return failed;
    }
  }
  if (block.eosModelCell.IsBlank()) return Error::Success();
  const std::uint32_t eos = values.eosModel;
  const char* text = eos == casedata::kEosPengRobinson        ? "PR"
                     : eos == casedata::kEosSoaveRedlichKwong ? "SRK"
                                                              : "--";
  return WriteValue(session, block.eosModelCell.str(), com::Variant::Text(text));
}

}  // namespace

std::size_t CompositionPlaces::CellCount() const {
  return table.rows * table.columns + (matrix ? matrix->rows * matrix->columns : 0) +
         (massRate ? 1 : 0) + (eosModel ? 1 : 0);
}

automation::CellBlock CompositionPlaces::Covering() const {
  automation::CellBlock covering = table;
  if (matrix) covering = automation::Union(covering, *matrix);
  for (const std::optional<automation::CellPosition>& cell : {massRate, eosModel}) {
    if (cell) covering = automation::Union(covering, {cell->row, cell->column, 1, 1});
  }
  return covering;
}

std::optional<CompositionPlaces> CompositionBlocks(const casedata::CExcStreamCompositionData& block,
                                                   std::size_t count) {
  count = std::min(count, casedata::kMaxComponents);
  // The cells the single-cell transfer steps to from a plain top-left cell
  // are these rectangles' cells exactly.
  const std::optional<automation::CellBlock> table = automation::BlockBelow(
      block.componentTableCell.view(), 0, count, casedata::kComponentColumnCount, kColumnTable);
  if (!table) return std::nullopt;
  CompositionPlaces places{*table, std::nullopt, std::nullopt, std::nullopt};
  if (!block.interactionCell.IsBlank()) {
    places.matrix = automation::BlockBelow(block.interactionCell.view(), 0, count, count);
    if (!places.matrix) return std::nullopt;
  }
  // Any other mass rate or EOS model cell is read alone.
  if (!block.massRateCell.IsBlank())
    places.massRate = automation::PlainCell(block.massRateCell.view());
  if (!block.eosModelCell.IsBlank())
    places.eosModel = automation::PlainCell(block.eosModelCell.view());
  return places;
}

Error ReadCompositionBlock(automation::CExcExcelObj& session, std::string_view sheetName,
                           const casedata::CExcStreamCompositionData& block, std::size_t count,
                           casedata::IprValues& values, const automation::BlockRead* ahead) {
  count = std::min(count, casedata::kMaxComponents);
  values.componentCount = static_cast<std::uint32_t>(count);
  values.compositionPresent = 1;
  // Each bit is set as its first entry is read, so that a failure part-way
  // leaves flags that describe the entries already read.
  values.componentFlags = 0;

  const bool hasInteraction = !block.interactionCell.IsBlank();
  // Both blocks are read first; their values are then taken in the
  // single-cell order (a component's table row, then its matrix row), so
  // that the first cell that fails decides what was filled.
  const std::optional<CompositionPlaces> places =
      ahead != nullptr && ahead->WasRead() ? CompositionBlocks(block, count) : std::nullopt;
  std::optional<automation::BlockPart> tablePart =
      places ? automation::PartOf(*ahead, places->table) : std::nullopt;
  std::optional<automation::BlockPart> matrixPart =
      places && places->matrix ? automation::PartOf(*ahead, *places->matrix) : std::nullopt;
  std::optional<automation::BlockRead> table;
  std::optional<automation::BlockRead> matrix;
  if (!tablePart || (hasInteraction && !matrixPart)) {
    // Each block in a call of its own.
    table.emplace(session, TableAddresses(block, count, kColumnTable),
                  casedata::kComponentColumnCount);
    matrix.emplace(session,
                   hasInteraction ? MatrixAddresses(block, count) : std::vector<std::string>(),
                   count);
    tablePart = automation::BlockPart{&*table, 0, 0};
    matrixPart = automation::BlockPart{&*matrix, 0, 0};
  }
  for (std::size_t i = 0; i < count; ++i) {
    if (Error failed = ReadComponent(session, sheetName, block, *tablePart,
                                     hasInteraction ? &*matrixPart : nullptr, i, count, values)) {
      return failed;
    }
  }
  return ReadMassRateAndModel(session, sheetName, block, values, places ? ahead : nullptr,
                              places ? &*places : nullptr);
}

namespace {

constexpr std::size_t kTableColumns = casedata::kComponentColumnCount + 1;  // the name first

// Cells in the single-cell order with the values they take, row by row.
struct CellWrites {
  std::vector<std::string> cells;
  std::vector<com::Variant> values;
  std::size_t rows = 0;
  std::size_t columns = 0;
};

// A blank or malformed top left cell steps to empty addresses, which are
// skipped when written.
CellWrites TableWrites(const casedata::CExcStreamCompositionData& block,
                       const casedata::CExcCompositionDefinition& composition,
                       const casedata::IprValues& values, std::size_t count) {
  const com::Variant notGiven = com::Variant::Text("--");
  CellWrites table{TableAddresses(block, count, 0), {}, count, kTableColumns};
  table.values.reserve(table.cells.size());
  for (std::size_t i = 0; i < count; ++i) {
    table.values.push_back(com::Variant::Text(composition.components[i]));
    table.values.push_back(com::Variant::Double(values.components[0][i]));
    for (std::size_t k = 2; k <= casedata::kComponentColumnCount; ++k) {
      const casedata::ComponentColumn& column = casedata::kComponentColumns[k - 1];
      if ((values.componentFlags & column.flag) == 0) {
        table.values.push_back(notGiven);
        continue;
      }
      table.values.push_back(com::Variant::Double(casedata::FromInternalUnits(
          values.components[k - 1][i], column.kind, UnitIndex(block.columnUnits[k - 1]))));
    }
  }
  return table;
}

// The diagonal has no coefficient: it takes the not-given mark.
CellWrites MatrixWrites(const casedata::CExcStreamCompositionData& block,
                        const casedata::IprValues& values, std::size_t count) {
  const com::Variant notGiven = com::Variant::Text("--");
  CellWrites matrix{MatrixAddresses(block, count), {}, count, count};
  matrix.values.reserve(matrix.cells.size());
  for (std::size_t i = 0; i < count; ++i) {
    for (std::size_t j = 0; j < count; ++j)
      matrix.values.push_back(j == i ? notGiven : com::Variant::Double(values.interaction[i][j]));
  }
  return matrix;
}

Error WriteRow(automation::CExcExcelObj& session, const CellWrites& writes, std::size_t row) {
  for (std::size_t c = 0; c < writes.columns; ++c) {
    const std::string& cell = writes.cells[row * writes.columns + c];
    if (cell.empty()) continue;
    if (Error failed = WriteValue(session, cell, writes.values[row * writes.columns + c]))
      return failed;
  }
  return Error::Success();
}

// Cell by cell from the start of a block: the table row of a component,
// then its matrix row.
Error WriteCellByCell(automation::CExcExcelObj& session, const CellWrites& table,
                      const CellWrites& matrix, bool withTable, bool withMatrix) {
  for (std::size_t i = 0; i < table.rows; ++i) {
    if (withTable)
      if (Error failed = WriteRow(session, table, i)) return failed;
    if (withMatrix)
      if (Error failed = WriteRow(session, matrix, i)) return failed;
  }
  return Error::Success();
}

// The table as one block, then the matrix as another. When the table's
// block cannot be written, everything goes cell by cell in the single-cell
// order; when only the matrix's fails, the matrix does.
Error WriteTableAndMatrix(automation::CExcExcelObj& session, const CellWrites& table,
                          const CellWrites& matrix, bool writeInteraction) {
  const std::optional<automation::CellBlock> tableBlock =
      automation::BlockOf(table.cells, table.columns);
  const std::optional<automation::CellBlock> matrixBlock =
      writeInteraction ? automation::BlockOf(matrix.cells, matrix.columns) : std::nullopt;
  // Where the two overlap, the single-cell order decides which value a
  // shared cell keeps: that order is then followed.
  const bool byBlocks =
      tableBlock &&
      (!writeInteraction || (matrixBlock && !automation::Overlap(*tableBlock, *matrixBlock)));
  if (!byBlocks || !automation::WriteBlock(session, table.cells, table.columns, table.values))
    return WriteCellByCell(session, table, matrix, true, writeInteraction);
  if (writeInteraction &&
      !automation::WriteBlock(session, matrix.cells, matrix.columns, matrix.values))
    return WriteCellByCell(session, table, matrix, false, true);
  return Error::Success();
}

}  // namespace

Error WriteCompositionBlock(automation::CExcExcelObj& session,
                            const casedata::CExcStreamCompositionData& block,
                            const casedata::CExcCompositionDefinition& composition,
                            const casedata::IprValues& values) {
  const std::size_t count = std::min(composition.ComponentCount(), casedata::kMaxComponents);
  const bool writeInteraction =
      (values.componentFlags & casedata::kHasInteraction) != 0 && !block.interactionCell.IsBlank();
  const CellWrites table = TableWrites(block, composition, values, count);
  const CellWrites matrix =
      writeInteraction ? MatrixWrites(block, values, count) : CellWrites{{}, {}, count, count};
  if (Error written = WriteTableAndMatrix(session, table, matrix, writeInteraction)) return written;
  return WriteMassRateAndModel(session, block, values);
}

}  // namespace streams::detail
