// Structured references of an .xlsx workbook's tables (Sales[Amount],
// Sales[[#Totals],[Amount]], [Amount] in a table's totals row, a table's
// name alone) turned into the A1 references of the cells they mean, so
// that the office computes a formula it cannot read as the file writes it.
// Formulas here are in the file's form: English function names, commas,
// no leading "=". Kept free of UNO so that they are unit tested alone.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "excel/calc/formulas/sheet_addresses.h"

namespace excel::calc {

// A table as the package defines it (xl/tables/tableN.xml).
struct WorkbookTable {
  std::string name;  // as formulas write it (the displayName)
  int sheet = 0;     // index of its sheet
  CellArea area;     // header and totals rows included
  int headerRows = 1;
  int totalsRows = 0;
  std::vector<std::string> columns;
};

struct StructuredRewrite {
  std::string formula;  // with A1 references only
  // It holds a reference the office never reads as meant: one without a
  // table name (in a totals row) or a table's name alone (the office takes
  // the whole table, header and totals rows included, where the name means
  // its data rows).
  bool misread = false;
  std::vector<std::size_t> tables;  // indices of the tables it names, each once
};

// `formula`, in the cell at (`sheet`, `row`, `column`), with every
// structured reference written as the A1 reference of its cells ($C$2:$C$7;
// 'Sheet 2'!$C$2:$C$7 for a table on another sheet than the cell's; names
// from `sheetNames`). nullopt when it holds none, or one that cannot be
// resolved (an unknown table or column, #This Row outside the table's data
// rows, a part the table lacks, another workbook's table). Texts in quotes
// and quoted sheet names are left alone.
std::optional<StructuredRewrite> WithoutStructuredReferences(
    std::string_view formula, const std::vector<WorkbookTable>& tables,
    const std::vector<std::string>& sheetNames, int sheet, int row, int column);

// A sheet name as a formula writes it before "!": quoted when it is more
// than letters, digits, underscores and dots, or could be read as a cell.
std::string SheetPrefix(std::string_view sheet);

// The office keeps the parts of a formula it cannot read as texts of its
// own, in lower case; `parts`, in order, as `original` spells them (each
// found from where the one before ended, ignoring case). A part not found
// stays as it is.
std::vector<std::string> OriginalSpelling(const std::vector<std::string>& parts,
                                          std::string_view original);

}  // namespace excel::calc
