// What an in-memory workbook holds, and its file format.
//
// The file is UTF-8 text, one item a line, each line ended by "\n":
//
//   gridmoor-memory-workbook 1
//   worksheet "Sheet1"
//   cell A1 r8 1.5
//   cell A2 bstr "Oil \"rate\"" format "@"
//   cell A3 r8 3 formula "=A1*2"
//   cell A4 empty formula "=NOW()" format "0.00"
//   cell A5 bool true
//   cell A6 error 0x800A07FA
//   chart "Chart1"
//   active 1
//   name "Total" "Sheet1" A1:A3
//   end
//
// - Sheets come in workbook order: `worksheet` or `chart` with the name; the
//   `cell` lines after a worksheet are its cells, row by row. A cell line is
//   the address, the value (`empty`; `r8` with the shortest text that reads
//   back to the same double; `bstr` with a quoted text; `bool true|false`;
//   `error` with the code as 0x and 8 upper-case hex digits), then optionally
//   `formula` and `format`, each with a quoted text, in that order. A formula
//   cell's value is its computed value.
// - `active` gives the active sheet's 1-based position (1 when absent).
// - `name` lines define named ranges: name, sheet, block address.
// - `end` closes the file, so that a cut file is refused.
// - Quoted texts escape `\` `"` as `\\` `\"`, line feed, carriage return
//   and tab as `\n` `\r` `\t`, other control characters as `\xHH`.
#pragma once

#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "support/memory_cells.h"

namespace test_support {

struct SheetData {
  std::string name;
  bool chart = false;
  std::map<CellPosition, CellContent> cells;  // only cells that hold something
};

struct DefinedName {
  std::string name;
  std::shared_ptr<SheetData> sheet;  // follows the sheet when it is renamed
  CellBlock block;
};

struct WorkbookContents {
  std::vector<std::shared_ptr<SheetData>> sheets;
  std::vector<DefinedName> names;
  std::size_t activeSheet = 0;  // 0-based

  // One worksheet, "Sheet1".
  static WorkbookContents NewWorkbook();
  // By name, without regard to case; null when there is none.
  std::shared_ptr<SheetData> FindSheet(std::string_view name) const;
  const DefinedName* FindName(std::string_view name) const;
};

// The file text. Throws std::invalid_argument for a value no file can hold
// (a cell value of another VARIANT type).
std::string FormatWorkbook(const WorkbookContents& contents);
// Throws std::invalid_argument naming the line for anything that is not a
// whole, consistent workbook text.
WorkbookContents ParseWorkbook(std::string_view text);

// Writes through a temporary file in the same folder and a rename, so that a
// reader never sees half a file. Any failure: com::Error(kApplicationError).
void WriteWorkbookFile(const std::filesystem::path& path, const WorkbookContents& contents);
// A missing, unreadable or malformed file: com::Error(kApplicationError).
WorkbookContents ReadWorkbookFile(const std::filesystem::path& path);

}  // namespace test_support
