// A workbook as the spreadsheet application recalculates it: every formula
// cell with its result, the sheet names, the macro modules and the function
// names the application knows. Plain values, no application types, so that
// a tool can compare them with what a file carries whichever application
// produced them.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace excel {

// A cell's value as a spreadsheet user sees it.
struct CellResult {
  enum class Kind { kEmpty, kNumber, kText, kLogical, kError };
  Kind kind = Kind::kEmpty;
  double number = 0;  // kNumber; kLogical: 1 or 0
  std::string text;   // kText (UTF-8); kError: the error value's name, "#DIV/0!"
  friend bool operator==(const CellResult&, const CellResult&) = default;
};

struct RecalculatedCell {
  int sheet = 0;  // index into RecalculatedWorkbook::sheets
  int row = 0;    // 0-based
  int column = 0;
  std::string formula;  // as the application writes it, "=" included
  CellResult result;
  // It calls a volatile function (RAND, NOW, TODAY, ...) or depends on a
  // cell that does: its result changes with every recalculation.
  bool isVolatile = false;
  // A number the application shows as TRUE or FALSE: it has no logical
  // type, so a formula's logical result is a number formatted as one.
  bool shownAsLogical = false;
  // It calls one of the workbook's own macro functions or depends on a cell
  // that does: a recalculation that runs none of the workbook's code gives
  // it no result of its own.
  bool callsWorkbookCode = false;
};

// A formula the application could not read as the file wrote it, replaced
// in memory by an equivalent it computes (and put back before every store).
struct FormulaRewrite {
  int sheet = 0;  // index into RecalculatedWorkbook::sheets
  int row = 0;
  int column = 0;
  std::string original;   // as the file wrote it, "=" included
  std::string rewritten;  // what the application computes instead
};

// A Sub or Function of a macro module.
struct MacroProcedureInfo {
  std::string name;
  bool isFunction = false;
};

struct MacroModuleInfo {
  std::string library;
  std::string module;
  std::vector<MacroProcedureInfo> procedures;
  bool compiles = true;
  // When it does not compile: the procedures that do not compile on their
  // own (with the module's declarations); empty when the fault lies outside
  // any procedure.
  std::vector<std::string> failingProcedures;
  std::string source;  // the module's Basic source, as the file holds it
};

// A workbook-wide defined name and what it holds, in the application's
// formula writing ("_xlfn.lambda(_xlpm.x;_xlpm.x*2)").
struct DefinedName {
  std::string name;
  std::string content;
};

struct RecalculatedWorkbook {
  std::vector<std::string> sheets;
  std::vector<RecalculatedCell> formulas;      // by sheet, then row, then column
  std::vector<MacroModuleInfo> modules;        // the workbook's own
  std::vector<MacroModuleInfo> officeModules;  // the application's own libraries
  // Every function name the application knows, upper case, as its formulas
  // write them.
  std::vector<std::string> functions;
  std::vector<FormulaRewrite> rewrites;
  std::vector<DefinedName> names;
  std::string officeVersion;  // "25.2.3.2"; empty when unknown
  // The file URL of the copy the application opened: a formula that refers
  // to it names a sheet the workbook does not have.
  std::string fileUrl;
};

class WorkbookRecalculator {
 public:
  virtual ~WorkbookRecalculator() = default;
  // Opens a private copy of `path` (never the file itself), recalculates
  // every formula and reports. Throws com::Error naming the file when it
  // cannot be opened, or the application cannot be started.
  virtual RecalculatedWorkbook Recalculate(const std::string& path) = 0;
};

}  // namespace excel
