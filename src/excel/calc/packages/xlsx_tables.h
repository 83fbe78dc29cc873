// The tables of an .xlsx / .xlsm package and the formulas of its
// worksheets as the file writes them, for the formulas that name tables.
#pragma once

#include <string>
#include <vector>

#include "excel/calc/formulas/structured_references.h"
#include "excel/calc/packages/zip_package.h"

namespace excel::calc {

// One cell's formula as its <f> element holds it (no "="). Array formulas
// and the cells of a shared formula other than its first are left out:
// they carry no text of their own.
struct PackageFormula {
  int sheet = 0;  // index in PackageTables::sheets
  int row = 0;
  int column = 0;
  std::string text;
};

struct PackageTables {
  std::vector<std::string> sheets;  // in the workbook's order
  std::vector<WorkbookTable> tables;
  std::vector<PackageFormula> formulas;  // read only when there are tables
};

// A failure when the package's workbook, one of its tables or one of its
// worksheets (when there are tables) cannot be read.
outcome::Expected<PackageTables> ReadPackageTables(const ZipPackage& package);

}  // namespace excel::calc
