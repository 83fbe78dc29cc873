// The tests behind the table of known differences (known_differences.cpp).
// Each looks at one differing cell, its formula, the value the other
// spreadsheet saved and Calc's, and names what it keyed on (a function, or a
// kind of reference) when the cell fits its cause; nullopt otherwise.
#pragma once

#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "excel/recalculation.h"

namespace refhost::differences {

using excel::CellResult;

// What the recognisers read from a formula's text, in either program's
// writing (commas or semicolons, _xlfn. prefixes, Calc's add-in names).
struct FormulaView {
  explicit FormulaView(std::string_view formula);
  std::string text;                    // without "=" and an array formula's braces
  std::vector<std::string> functions;  // called, capitals, unprefixed, in order, each once
  std::vector<std::string> literals;   // the texts in double quotes, unescaped
  bool Calls(std::string_view name) const;
  // The first of `names` the formula calls, in the formula's order.
  std::optional<std::string> FirstOf(std::initializer_list<std::string_view> names) const;
  // Whether only functions of `names` are called (at least one).
  bool CallsOnly(std::initializer_list<std::string_view> names) const;
  // The text with quoted parts left out.
  std::string Unquoted() const;
};

using Label = std::optional<std::string>;
using Recogniser = Label (*)(const FormulaView&, const CellResult& saved, const CellResult& calc);

bool IsNumber(const CellResult& value);
bool IsText(const CellResult& value);
bool IsLogical(const CellResult& value);
bool IsError(const CellResult& value, std::string_view name = {});

// TEXT and the format codes (recognise_text.cpp).
Label TextLogical(const FormulaView&, const CellResult& saved, const CellResult& calc);
Label TextGeneralDigits(const FormulaView&, const CellResult& saved, const CellResult& calc);
Label TextSeparators(const FormulaView&, const CellResult& saved, const CellResult& calc);
Label TextFormatCode(const FormulaView&, const CellResult& saved, const CellResult& calc);

// Logical values (recognise_logical.cpp).
Label NoLogicalType(const FormulaView&, const CellResult& saved, const CellResult& calc);

// Dates (recognise_dates.cpp).
Label DateTwoDigitYear(const FormulaView&, const CellResult& saved, const CellResult& calc);
Label SerialBeforeMarch1900(const FormulaView&, const CellResult& saved, const CellResult& calc);
Label DateOutOfRange(const FormulaView&, const CellResult& saved, const CellResult& calc);
Label YearFracBasis(const FormulaView&, const CellResult& saved, const CellResult& calc);

// Everything else (recognise_other.cpp).
Label StructuredReference(const FormulaView&, const CellResult& saved, const CellResult& calc);
Label MatrixShape(const FormulaView&, const CellResult& saved, const CellResult& calc);
Label RegressionLayout(const FormulaView&, const CellResult& saved, const CellResult& calc);
Label VdbFractionalPeriod(const FormulaView&, const CellResult& saved, const CellResult& calc);
Label SubtotalRows(const FormulaView&, const CellResult& saved, const CellResult& calc);
Label ErrorKind(const FormulaView&, const CellResult& saved, const CellResult& calc);
Label DeletedReference(const FormulaView&, const CellResult& saved, const CellResult& calc);
Label EmptyIntersection(const FormulaView&, const CellResult& saved, const CellResult& calc);
Label ExcelOnlyFunction(const FormulaView&, const CellResult& saved, const CellResult& calc);
Label ExternalData(const FormulaView&, const CellResult& saved, const CellResult& calc);
Label InfoEnvironment(const FormulaView&, const CellResult& saved, const CellResult& calc);
Label CircularReference(const FormulaView&, const CellResult& saved, const CellResult& calc);

Label NewerOfficeFunction(const FormulaView&, const CellResult& saved, const CellResult& calc);

// The functions ExcelOnlyFunction, NewerOfficeFunction and ErrorKind know,
// for the table.
std::vector<std::string_view> ExcelOnlyFunctions();
std::vector<std::string_view> NewerOfficeFunctions();
std::vector<std::string_view> ErrorKindFunctions();

}  // namespace refhost::differences
