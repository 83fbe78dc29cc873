// The parts of an .xlsx package that grow with the workbook, read as
// streams: the worksheets' formula cells and the shared strings. What they
// cost is what they keep, however large the part's XML.
#pragma once

#include <string>
#include <vector>

#include "saved_values/saved_values.h"
#include "saved_values/zip_package.h"

namespace refhost {

// What reading a cell's value needs besides the cell.
struct ValueContext {
  std::vector<std::string> strings;
  bool date1904 = false;
};

// The strings of shared-strings part `part`; an error when it is missing,
// damaged or not well-formed XML.
outcome::Expected<std::vector<std::string>> ReadSharedStringsPart(const ZipPackage& package,
                                                                  const std::string& part);

// The formula cells of worksheet part `part` of sheet `sheet`, added to
// `workbook` in row and column order; cells past the sheet's last row or
// column are a problem. An error when the part cannot be read or the cells
// pass the budget.
outcome::Error ReadWorksheetPart(const ZipPackage& package, const std::string& part,
                                 const std::string& sheet, const ValueContext& context,
                                 FormulaBudget& budget, SavedWorkbook& workbook);

}  // namespace refhost
