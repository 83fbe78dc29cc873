// The values a workbook file carries for its formula cells, as the
// application that last saved it computed them: .xlsx / .xlsm (the cached
// value of each cell in the sheet parts) and OpenDocument (.ods, .fods).
// Read from the file alone, without any spreadsheet application.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "excel/recalculation.h"

namespace refhost {

struct SavedCell {
  std::string sheet;
  int row = 0;  // 0-based
  int column = 0;
  std::string
      formula;  // as the file writes it, "=" included; empty where the file repeats another's
  bool hasValue = false;  // false: the file carries no value for it
  excel::CellResult value;
};

struct SavedWorkbook {
  std::vector<std::string> sheets;
  std::vector<SavedCell> formulas;
  // Other files the workbook's links name (the package's external link
  // parts), each once.
  std::vector<std::string> externalLinks;
};

// Reads `file`, whatever its extension, by its content: a zip package with
// xl/workbook.xml, one with content.xml, or a flat OpenDocument XML file.
// False with `error` saying why when its saved values cannot be read.
bool ReadSavedValues(const std::filesystem::path& file, SavedWorkbook& workbook,
                     std::string& error);

// The readers by format, from the file's bytes.
bool ReadXlsxSavedValues(std::string bytes, SavedWorkbook& workbook, std::string& error);
bool ReadOdfSavedValues(const std::string& contentXml, SavedWorkbook& workbook, std::string& error);

// "B7" for row 6, column 1 (0-based).
std::string CellName(int row, int column);

}  // namespace refhost
