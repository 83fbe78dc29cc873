// The workbook check's findings: formula cells whose saved value differs
// from the spreadsheet application's result, functions it does not know,
// macro faults and other problems; their comparison rules, the summary text
// and the JSON form (docs/workbook-check.md).
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "check/vba_notes.h"
#include "excel/recalculation.h"
#include "saved_values/saved_values.h"

namespace refhost {

struct Difference {
  std::string sheet;
  std::string cell;  // "B7"
  std::string formula;
  excel::CellResult saved;
  excel::CellResult calc;
  bool calcHasFormula = true;  // false: the application holds no formula there
  bool calcShownAsLogical = false;
  // The known difference that explains it (known_differences.h), and the
  // function or kind of reference its test keyed on; empty: unexplained.
  std::string cause;
  std::string causeFunction;
};

struct RenamedSheet {
  std::string saved;  // as the file names it
  std::string calc;   // as the application renamed it
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
  std::string office;           // the application's version
  std::size_t formulas = 0;     // formula cells compared
  std::size_t notCompared = 0;  // formula cells the file carries no value for
  std::string notComparedWhy;   // when it is none of them: why
  // Formula cells that call a volatile function or depend on one: their
  // results change with every recalculation, so they are not compared.
  std::size_t volatileCells = 0;
  // Formula cells that call the workbook's own macro functions or depend
  // on one: the check runs none of the workbook's code, so they have no
  // result to compare.
  std::size_t workbookCodeCells = 0;
  std::vector<RenamedSheet> renamedSheets;
  std::vector<excel::FormulaRewrite> rewrites;
  std::vector<std::string> sheets;  // the application's, for the rewrites' cells
  std::vector<Difference> differ;
  std::vector<UnknownFunction> unknownFunctions;
  std::vector<MacroFinding> macros;
  std::vector<Problem> problems;
  std::vector<VbaNote> vbaNotes;  // notes only: they leave the check clean
  bool Clean() const {
    return differ.empty() && unknownFunctions.empty() && macros.empty() && problems.empty();
  }
};

// Numbers equal within a relative 1e-9, or at most kNearZero apart (what
// is left of a difference of nearly equal numbers); texts exactly; errors
// by their name. A saved logical equals the application's number of its
// value only where the application shows it as a logical (it has no logical
// type); a saved number is compared as a number however the cell shows it.
bool SameResult(const excel::CellResult& saved, const excel::CellResult& calc,
                bool calcShownAsLogical = false);
inline constexpr double kNearZero = 1e-12;

// Compares every saved formula cell with the application's result and
// gathers the other findings the workbook alone shows.
CheckReport CompareWorkbook(const SavedWorkbook& saved, const excel::RecalculatedWorkbook& calc);

// A value as the summary shows it: 1.5, "text", TRUE, #N/A, (none).
std::string ShowValue(const excel::CellResult& value);

// The application's value as the summary and the JSON show it: a number it
// shows as a logical is shown as one where the file saved a logical.
excel::CellResult CalcShown(const Difference& difference);

// The summary: counts, the first `shown` differences, the other findings.
std::string SummaryText(const CheckReport& report, std::size_t shown = 20);

nlohmann::json ReportJson(const CheckReport& report);

}  // namespace refhost
