// Calc has no logical type: TRUE and FALSE are the numbers 1 and 0 with a
// logical format, so functions that tell logicals from numbers in the
// other spreadsheet treat them as numbers in Calc.
#include <cmath>

#include "differences/difference_recognisers.h"

namespace refhost::differences {
namespace {

bool IsWhole(double value) {
  return std::isfinite(value) && value == std::floor(value);
}

// A value Calc gives for a logical: the number (or logical) 1 or 0.
bool IsZeroOrOne(const CellResult& value) {
  return (IsNumber(value) || IsLogical(value)) && (value.number == 0 || value.number == 1);
}

// An arithmetic operator outside quotes (unary minus included).
bool HasArithmetic(const FormulaView& f) {
  return f.Unquoted().find_first_of("+-*/^") != std::string::npos;
}

// Logicals in a range: skipped by the other spreadsheet's aggregates,
// counted as 1 and 0 by Calc's.
Label CountedInRange(const FormulaView& f, const CellResult& saved, const CellResult& calc) {
  if (!IsNumber(saved) || !(IsNumber(calc) || IsLogical(calc))) return std::nullopt;
  const double more = calc.number - saved.number;
  if (f.Calls("COUNT") && more > 0 && IsWhole(more)) return "COUNT";
  if (const auto sum = f.FirstOf({"SUM", "SUMPRODUCT"}); sum && more > 0 && IsWhole(more))
    return sum;
  if (f.Calls("PRODUCT") && calc.number == 0 && saved.number != 0) return "PRODUCT";
  if (f.Calls("MAX") && calc.number == 1 && saved.number < 1) return "MAX";
  if (f.Calls("MIN") && IsZeroOrOne(calc) && saved.number > calc.number) return "MIN";
  return std::nullopt;
}

}  // namespace

Label NoLogicalType(const FormulaView& f, const CellResult& saved, const CellResult& calc) {
  if (Label text = TextLogical(f, saved, calc)) return text;
  // ISNUMBER(TRUE) is TRUE in Calc.
  if (IsLogical(saved) && IsLogical(calc) && saved.number == 0 && calc.number != 0 &&
      f.Calls("ISNUMBER"))
    return "ISNUMBER";
  // ISEVEN(TRUE): an error in the other spreadsheet, an answer in Calc.
  if (IsError(saved, "#VALUE!") && IsLogical(calc))
    if (Label even = f.FirstOf({"ISEVEN", "ISODD"})) return even;
  // A lookup or choice that returns a logical cell returns its number.
  if (IsLogical(saved) && IsNumber(calc) && calc.number == saved.number)
    if (Label lookup = f.FirstOf({"VLOOKUP", "HLOOKUP", "LOOKUP", "XLOOKUP", "INDEX", "CHOOSE",
                                  "OFFSET", "INDIRECT", "IF", "IFS", "IFERROR", "IFNA", "SWITCH"}))
      return lookup;
  if (Label counted = CountedInRange(f, saved, calc)) return counted;
  // The text "TRUE" or "FALSE" in arithmetic or VALUE: an error in the
  // other spreadsheet, 1 or 0 in Calc.
  if (IsError(saved, "#VALUE!") && IsZeroOrOne(calc)) {
    if (f.Calls("VALUE")) return "VALUE";
    if (HasArithmetic(f)) return "arithmetic";
  }
  return std::nullopt;
}

}  // namespace refhost::differences
