// The value rules of the Calc application that need no office: error codes,
// cell addresses, how a written text is taken, save filters, macro names and
// Basic procedures. Kept free of UNO so that they are unit tested alone.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "com/oleauto_types.h"
#include "com/variant_grid.h"

namespace excel::calc {

// Calc's formula error code (XCell::getError) as the VT_ERROR code a
// spreadsheet user sees for it. Codes without an Excel counterpart (syntax
// errors, circular references) read as #VALUE!.
com::SCODE ExcelErrorFromCalc(std::int32_t calcError);

// The formula that makes a cell hold an Excel error value; nullopt when
// `code` is not one of the seven error values.
std::optional<std::string> ErrorFormula(com::SCODE code);

// The error value a text names ("#N/A", "#div/0!"), if it is one.
std::optional<com::SCODE> ErrorValueNamed(std::u16string_view text);

// A formula as spreadsheet users write it, made ready for the office's
// formula parser, which does not take error values or the logical
// constants as such: #N/A becomes NA(), #DIV/0! (1/0), #VALUE! ("a"*1),
// #NUM! SQRT(-1), #REF! INDIRECT("A0"), and TRUE / FALSE become TRUE() /
// FALSE(): the same results. Texts in quotes and quoted sheet names are
// left alone; #NULL! and #NAME? stay (the parser reads them as unknown
// names, which gives #NAME?).
std::u16string SpreadsheetFormulaForParser(std::u16string_view formula);

// True for the codes Calc gives a formula it could not compile: writing such
// a formula is refused, as the spreadsheet refuses a formula it cannot parse.
bool IsFormulaSyntaxError(std::int32_t calcError);

// Columns and rows, 0-based, inclusive; a whole column or row spans the grid.
struct CellArea {
  std::int32_t firstColumn = 0;
  std::int32_t firstRow = 0;
  std::int32_t lastColumn = 0;
  std::int32_t lastRow = 0;

  std::int32_t Columns() const { return lastColumn - firstColumn + 1; }
  std::int32_t Rows() const { return lastRow - firstRow + 1; }
  bool IsSingleCell() const { return firstColumn == lastColumn && firstRow == lastRow; }
  friend bool operator==(const CellArea&, const CellArea&) = default;
};

inline constexpr std::int32_t kMaxColumns = 16384;  // A..XFD
inline constexpr std::int32_t kMaxRows = 1048576;

// An A1 reference as a spreadsheet user writes it: "B7", "$B$7", "b7",
// "A1:C3" (corners in any order), "A:C", "3:5". nullopt for anything else,
// such as a name or a reference outside the grid.
std::optional<CellArea> ParseA1Area(std::string_view text);

// The smallest area holding both.
CellArea BoundingArea(const CellArea& a, const CellArea& b);

// How a value written into a cell is taken.
enum class InputKind {
  kEmpty,    // clears the cell
  kNumber,   // `number`
  kLogical,  // `number` is 1 or 0
  kText,     // `text`, stored as it is
  kFormula,  // `text` is the formula, "=" included, as a spreadsheet user writes it
  kTyped,    // `text` goes to the application's own input recognition (dates, 1,234, 50%)
  kError,    // `error` is an error value
};

struct CellInput {
  InputKind kind = InputKind::kEmpty;
  double number = 0;
  std::u16string text;
  com::SCODE error = 0;
};

// A text as if typed into a cell: "" clears, "'…" is text without the
// apostrophe, "=…" is a formula, TRUE/FALSE are logicals, an error value's
// name (#N/A) is that error value, a plain decimal
// number is that number, a text without digits is text, and anything else
// (dates, percentages, grouped digits) is left to the application.
CellInput ClassifyText(std::u16string_view text);

// A VARIANT as a cell value. Throws com::Error(DISP_E_TYPEMISMATCH) for what
// no cell can hold (arrays, the missing marker, objects).
CellInput ClassifyValue(const com::VARIANT& value);

// The element of `block` that goes into cell (row, column) of the target
// range (0-based), as the spreadsheet spreads an array over a range: a
// single row repeats down, a single column across; nullptr (#N/A) beyond.
const com::VARIANT* ArrayElementFor(const com::VariantGrid& block, std::int32_t row,
                                    std::int32_t column);

// A plain decimal number: optional sign, digits with an optional point and
// an optional exponent, blanks around allowed. nullopt otherwise.
std::optional<double> ParsePlainNumber(std::u16string_view text);

// The save filter for a file by its extension (.xlsx, .xlsm, .xls, .ods,
// .fods, .csv; any case); nullopt for another extension.
std::optional<std::string> SaveFilterForPath(std::string_view path);

// The import filter and its options when the type must be given (.csv);
// nullopt leaves the choice to the office's type detection.
struct ImportFilter {
  std::string name;
  std::string options;
};
std::optional<ImportFilter> ImportFilterForPath(std::string_view path);

// A sheet name that the spreadsheet accepts: 1 to 31 characters, none of
// []:*?/\ and no apostrophe at either end.
bool IsAcceptableSheetName(std::u16string_view name);

// A macro name as Excel users write it: "Macro", "Module1.Macro",
// "Library.Module1.Macro", "Book.xlsm!Macro", "'My Book.xlsm'!Module1.Macro".
struct MacroName {
  std::string book;  // empty when not given
  std::string library;
  std::string module;
  std::string procedure;
};
std::optional<MacroName> ParseMacroName(std::string_view text);

// A Sub or Function of a Basic module.
struct BasicProcedure {
  std::string name;
  bool isFunction = false;
};
// The procedures a module's source declares, in order.
std::vector<BasicProcedure> FindBasicProcedures(std::string_view source);
// The module's source with the lines of every procedure but the `keep`-th
// (as FindBasicProcedures counts them) left blank: the module's
// declarations and that one procedure, on their own lines. With
// kDeclarationsOnly every procedure is left blank.
inline constexpr std::size_t kDeclarationsOnly = static_cast<std::size_t>(-1);
std::string SourceWithOnlyProcedure(std::string_view source, std::size_t keep);

// A procedure found in a container of Basic libraries.
struct MacroEntry {
  std::string library;
  std::string module;
  BasicProcedure procedure;
};

// The first entry that `name` (its library, module and procedure, where
// given) names, compared without regard to case; nullptr when none.
const MacroEntry* FindMacro(const std::vector<MacroEntry>& entries, const MacroName& name);

// The VARIANT a VT_BYREF|VT_VARIANT points to; `value` itself otherwise.
const com::VARIANT& Dereferenced(const com::VARIANT& value);

}  // namespace excel::calc
