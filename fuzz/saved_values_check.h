// What every read of a workbook's saved values must give, whatever the
// bytes: a refusal of one non-empty line, or cells on the sheet (row and
// column within the grid, on a sheet the workbook names), finite numbers,
// no value where it has none, problems of one line each, and shared
// formulas whose text comes back unchanged when moved by nothing.
#pragma once

#include <cmath>
#include <cstdlib>
#include <set>
#include <string>

#include "excel/calc/formulas/sheet_addresses.h"
#include "saved_values/saved_values.h"

namespace fuzzcheck {

inline bool OneLine(const std::string& text) {
  return !text.empty() && text.find_first_of("\r\n") == std::string::npos;
}

inline void CheckSavedWorkbook(const outcome::Expected<refhost::SavedWorkbook>& read) {
  if (!read) {
    if (!OneLine(read.GetError().Message())) std::abort();
    return;
  }
  const refhost::SavedWorkbook& book = *read;
  const std::set<std::string> sheets(book.sheets.begin(), book.sheets.end());
  for (const refhost::SavedCell& cell : book.formulas) {
    if (cell.row < 0 || cell.row >= excel::calc::kMaxRows || cell.column < 0 ||
        cell.column >= excel::calc::kMaxColumns || sheets.count(cell.sheet) == 0)
      std::abort();
    if (!cell.hasValue && !(cell.value == excel::CellResult{})) std::abort();
    if (cell.value.kind == excel::CellResult::Kind::kNumber && !std::isfinite(cell.value.number))
      std::abort();
    if (!cell.formula.empty() && refhost::ShiftFormula(cell.formula, 0, 0) != cell.formula)
      std::abort();
  }
  for (const std::string& problem : book.problems)
    if (!OneLine(problem)) std::abort();
}

}  // namespace fuzzcheck
