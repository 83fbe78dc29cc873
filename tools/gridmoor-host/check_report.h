// The workbook check's findings: formula cells whose saved value differs
// from the spreadsheet application's result, functions it does not know,
// macro faults and other problems; their comparison rules, the summary text
// and the JSON form (docs/workbook-check.md).
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "excel/recalculation.h"
#include "saved_values.h"
#include "vba_notes.h"

namespace refhost {

struct Difference {
  std::string sheet;
  std::string cell;  // "B7"
  std::string formula;
  excel::CellResult saved;
  excel::CellResult calc;
  bool calcHasFormula = true;  // false: the application holds no formula there
  // The known difference that explains it (known_differences.h), and the
  // function or kind of reference its test keyed on; empty: unexplained.
  std::string cause;
  std::string causeFunction;
};

struct UnknownFunction {
  std::string name;
  std::vector<std::string> cells;  // "Sheet1!B7"
};

struct MacroFinding {
  std::string macro;   // as configured, or library.module
  std::string source;  // "scenario" (a configured macro) or "workbook" (a module)
  std::string message;
  std::vector<std::string> procedures;  // procedures that do not compile
};

struct Problem {
  std::string kind;  // "externalLink", "cell", "formulaInInput"
  std::string message;
};

struct CheckReport {
  std::size_t formulas = 0;     // formula cells compared
  std::size_t notCompared = 0;  // formula cells the file carries no value for
  std::vector<Difference> differ;
  std::vector<UnknownFunction> unknownFunctions;
  std::vector<MacroFinding> macros;
  std::vector<Problem> problems;
  std::vector<VbaNote> vbaNotes;  // notes only: they leave the check clean
  bool Clean() const {
    return differ.empty() && unknownFunctions.empty() && macros.empty() && problems.empty();
  }
};

// Numbers equal within a relative 1e-9 (or 1e-20 apart: the rounding of
// a file that keeps 20 decimals), texts exactly, logicals as
// logicals (never equal to a number), errors by their name.
bool SameResult(const excel::CellResult& saved, const excel::CellResult& calc);

// Compares every saved formula cell with the application's result and
// gathers the other findings the workbook alone shows.
CheckReport CompareWorkbook(const SavedWorkbook& saved, const excel::RecalculatedWorkbook& calc);

// A value as the summary shows it: 1.5, "text", TRUE, #N/A, (none).
std::string ShowValue(const excel::CellResult& value);

// The summary: counts, the first `shown` differences, the other findings.
std::string SummaryText(const CheckReport& report, std::size_t shown = 20);

nlohmann::json ReportJson(const CheckReport& report);

}  // namespace refhost
