#include "check/check_report.h"

#include "check/check_causes.h"
#include "differences/formula_names.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <map>
#include <optional>
#include <set>
#include <sstream>
#include <tuple>

namespace refhost {
namespace {

using excel::CellResult;

std::string Located(const std::string& sheet, const std::string& cell) {
  return sheet + "!" + cell;
}

nlohmann::json ValueJson(const CellResult& value) {
  switch (value.kind) {
    case CellResult::Kind::kNumber:
      return std::isfinite(value.number) ? nlohmann::json(value.number) : nlohmann::json(nullptr);
    case CellResult::Kind::kText:
      return value.text;
    case CellResult::Kind::kLogical:
      return value.number != 0;
    case CellResult::Kind::kError:
      return nlohmann::json{{"error", value.text}};
    case CellResult::Kind::kEmpty:
      break;
  }
  return nullptr;
}

}  // namespace

bool SameResult(const CellResult& saved, const CellResult& calc, bool calcShownAsLogical) {
  const bool logicalAsNumber = saved.kind == CellResult::Kind::kLogical &&
                               calc.kind == CellResult::Kind::kNumber && calcShownAsLogical;
  if (saved.kind != calc.kind && !logicalAsNumber) return false;
  switch (saved.kind) {
    case CellResult::Kind::kNumber:
    case CellResult::Kind::kLogical:
      // Near zero, what is left of a difference of nearly equal numbers
      // depends on the order of the operations, not on the function.
      return saved.number == calc.number || std::fabs(saved.number - calc.number) <= kNearZero ||
             std::fabs(saved.number - calc.number) <=
                 1e-9 * std::max(std::fabs(saved.number), std::fabs(calc.number));
    case CellResult::Kind::kText:
    case CellResult::Kind::kError:
      return saved.text == calc.text;
    case CellResult::Kind::kEmpty:
      return true;
  }
  return false;
}

namespace {

// The application's sheet for each of the file's: the same name, or, where
// the application renamed sheets (it renames some names it cannot take), the
// sheet at the same position.
std::map<std::string, std::size_t> MatchSheets(const SavedWorkbook& saved,
                                               const excel::RecalculatedWorkbook& calc,
                                               std::vector<RenamedSheet>& renamed) {
  std::map<std::string, std::size_t> match;
  const bool samePositions = saved.sheets.size() == calc.sheets.size();
  for (std::size_t i = 0; i < saved.sheets.size(); ++i) {
    const auto same = std::find(calc.sheets.begin(), calc.sheets.end(), saved.sheets[i]);
    if (same != calc.sheets.end()) {
      match[saved.sheets[i]] = static_cast<std::size_t>(same - calc.sheets.begin());
    } else if (samePositions) {
      match[saved.sheets[i]] = i;
      renamed.push_back(RenamedSheet{saved.sheets[i], calc.sheets[i]});
    }
  }
  return match;
}

// The file name a link's target ends in, whichever separator it uses
// (links saved on Windows: file:///C:\Users\me\Book.xlsx).
std::string LinkedFileName(const std::string& link) {
  const std::string file = DecodedFileUrl(link);
  const std::size_t slash = file.find_last_of("/\\");
  return slash == std::string::npos ? file : file.substr(slash + 1);
}

// Where a formula refers to other files, or to sheets the workbook does
// not have: through a link to the workbook itself, which the application
// reads as a reference to its own copy. Whether it refers to such a
// deleted sheet.
bool FindFileReferences(const std::string& where, const std::string& savedFormula,
                        const excel::RecalculatedCell* calc, const std::string& ownFile,
                        const std::vector<std::string>& links, std::set<std::string>& external,
                        std::set<std::string>& deleted) {
  const std::string ownName = std::filesystem::path(ownFile).filename().string();
  const auto deletedSheet = [&](const std::string& sheet) {
    deleted.insert(where + " refers to sheet '" + sheet +
                   "', which the workbook does not have (deleted)");
  };
  bool otherFile = false, deletedFound = false;
  const std::vector<BookReference> linked = BookReferencesIn(savedFormula);
  for (const BookReference& reference : linked) {
    const std::size_t number = std::strtoul(reference.book.c_str(), nullptr, 10);
    const std::string file = number >= 1 && number <= links.size() ? links[number - 1] : "";
    if (!ownName.empty() && !file.empty() && LinkedFileName(file) == ownName) {
      deletedSheet(reference.sheet);
      deletedFound = true;
    } else {
      otherFile = true;
    }
  }
  if (linked.empty() && RefersToOtherFile(savedFormula)) otherFile = true;
  if (calc != nullptr) {
    const std::vector<FileSheetReference> references = FileSheetReferencesIn(calc->formula);
    for (const FileSheetReference& reference : references) {
      // The copy itself, or the file the link to itself named when saved.
      if (!ownFile.empty() && (reference.file == ownFile ||
                               std::filesystem::path(reference.file).filename() == ownName)) {
        deletedSheet(reference.sheet);
        deletedFound = true;
      } else {
        otherFile = true;
      }
    }
    if (references.empty() && RefersToOtherFile(calc->formula)) otherFile = true;
  }
  if (otherFile) external.insert(where);
  return deletedFound;
}

// The links, the cells that refer to other files or deleted sheets, and
// the package's damage, as problems. A link to the workbook itself keeps
// what it referred to in sheets the workbook no longer has.
void AddFileProblems(const SavedWorkbook& saved, const std::string& ownFile,
                     const std::set<std::string>& externalCells,
                     const std::set<std::string>& deletedSheets, CheckReport& report) {
  const std::string ownName = std::filesystem::path(ownFile).filename().string();
  std::set<std::string> named;
  for (const std::string& link : saved.externalLinks) {
    const std::string file = DecodedFileUrl(link);
    if (link.empty() || !named.insert(file).second) continue;
    if (!ownName.empty() && LinkedFileName(link) == ownName)
      report.problems.push_back(Problem{
          "deletedSheet", "the workbook links to itself (" + file +
                              "): its formulas refer to sheets it does not have (deleted)"});
    else
      report.problems.push_back(Problem{"externalLink", "the workbook links to " + file});
  }
  for (const std::string& where : externalCells)
    report.problems.push_back(Problem{"externalLink", where + " refers to another file"});
  for (const std::string& message : deletedSheets)
    report.problems.push_back(Problem{"deletedSheet", message});
  for (const std::string& problem : saved.problems)
    report.problems.push_back(Problem{"package", problem});
}

// Every formula cell the file saved a value for, against the office's result.
void CompareFormulaCells(const SavedWorkbook& saved, const excel::RecalculatedWorkbook& calc,
                         CheckReport& report) {
  const std::map<std::string, std::size_t> sheetOf = MatchSheets(saved, calc, report.renamedSheets);
  std::map<std::tuple<std::size_t, int, int>, const excel::RecalculatedCell*> byCell;
  for (const excel::RecalculatedCell& cell : calc.formulas)
    byCell[{static_cast<std::size_t>(cell.sheet), cell.row, cell.column}] = &cell;
  const std::string ownFile = calc.fileUrl.empty() ? "" : DecodedFileUrl(calc.fileUrl);
  std::set<std::string> externalCells, deletedSheets;
  for (const SavedCell& cell : saved.formulas) {
    const auto sheet = sheetOf.find(cell.sheet);
    const auto found =
        sheet == sheetOf.end() ? byCell.end() : byCell.find({sheet->second, cell.row, cell.column});
    const excel::RecalculatedCell* calcCell = found == byCell.end() ? nullptr : found->second;
    const std::string name = CellName(cell.row, cell.column);
    const std::string formula =
        !cell.formula.empty() || calcCell == nullptr ? cell.formula : calcCell->formula;
    const bool deletedSheet =
        FindFileReferences(Located(cell.sheet, name), formula, calcCell, ownFile,
                           saved.externalLinks, externalCells, deletedSheets);
    const auto differs = [&](Difference difference) {
      ExplainCause(difference, calc.names);
      // Through a link to itself: what Calc computes from its own sheets.
      if (deletedSheet && (difference.cause.empty() || difference.cause == "external-data")) {
        difference.cause = "deleted-reference";
        difference.causeFunction = "deleted sheet";
      }
      report.differ.push_back(std::move(difference));
    };
    if (!cell.hasValue) {
      ++report.notCompared;
    } else if (calcCell != nullptr && calcCell->isVolatile) {
      ++report.volatileCells;
    } else if (calcCell != nullptr && calcCell->callsWorkbookCode) {
      ++report.workbookCodeCells;
    } else if (calcCell == nullptr) {
      ++report.formulas;
      differs(Difference{cell.sheet, name, formula, cell.value, {}, false, false, {}, {}});
    } else if (++report.formulas;
               !SameResult(cell.value, calcCell->result, calcCell->shownAsLogical)) {
      differs(Difference{cell.sheet,
                         name,
                         formula,
                         cell.value,
                         calcCell->result,
                         true,
                         calcCell->shownAsLogical,
                         {},
                         {}});
    }
  }
  AddFileProblems(saved, ownFile, externalCells, deletedSheets, report);
}

// Functions neither the application knows nor the workbook's macros define.
void AddUnknownFunctions(const excel::RecalculatedWorkbook& calc, CheckReport& report) {
  const std::set<std::string> functions(calc.functions.begin(), calc.functions.end());
  std::set<std::string> procedures;
  for (const excel::MacroModuleInfo& module : calc.modules) {
    for (const excel::MacroProcedureInfo& procedure : module.procedures)
      procedures.insert(Upper(procedure.name));
  }
  std::map<std::string, std::vector<std::string>> unknown;
  for (const excel::RecalculatedCell& cell : calc.formulas) {
    std::set<std::string> seen;
    for (const std::string& name : FunctionNamesIn(cell.formula)) {
      const std::optional<std::string> found = UnknownFunctionName(name, functions, procedures);
      if (!found || !seen.insert(*found).second) continue;
      unknown[*found].push_back(Located(calc.sheets[static_cast<std::size_t>(cell.sheet)],
                                        CellName(cell.row, cell.column)));
    }
  }
  for (auto& [name, cells] : unknown)
    report.unknownFunctions.push_back(UnknownFunction{name, std::move(cells)});
}

void AddModulesThatDoNotCompile(const excel::RecalculatedWorkbook& calc, CheckReport& report) {
  std::vector<const excel::MacroModuleInfo*> modules;
  for (const excel::MacroModuleInfo& module : calc.modules)
    modules.push_back(&module);
  std::sort(modules.begin(), modules.end(), [](const auto* a, const auto* b) {
    return std::tie(a->library, a->module) < std::tie(b->library, b->module);
  });
  for (const excel::MacroModuleInfo* each : modules) {
    const excel::MacroModuleInfo& module = *each;
    if (module.compiles) continue;
    std::string message = "module " + module.library + "." + module.module + " does not compile";
    message +=
        module.failingProcedures.empty() ? " (outside its procedures)" : "; in procedure(s) ";
    for (std::size_t i = 0; i < module.failingProcedures.size(); ++i)
      message += (i > 0 ? ", " : "") + module.failingProcedures[i];
    report.macros.push_back(MacroFinding{module.library + "." + module.module, "workbook", message,
                                         module.failingProcedures});
  }
}

}  // namespace

CheckReport CompareWorkbook(const SavedWorkbook& saved, const excel::RecalculatedWorkbook& calc) {
  CheckReport report;
  report.office = calc.officeVersion;
  report.sheets = calc.sheets;
  report.rewrites = calc.rewrites;
  CompareFormulaCells(saved, calc, report);
  AddUnknownFunctions(calc, report);
  AddModulesThatDoNotCompile(calc, report);
  report.vbaNotes = MacroModuleNotes(calc.modules);
  return report;
}

std::string ShowValue(const CellResult& value) {
  switch (value.kind) {
    case CellResult::Kind::kNumber: {
      char text[32];
      std::snprintf(text, sizeof text, "%.15g", value.number);
      return text;
    }
    case CellResult::Kind::kText:
      return "\"" + value.text + "\"";
    case CellResult::Kind::kLogical:
      return value.number != 0 ? "TRUE" : "FALSE";
    case CellResult::Kind::kError:
      return value.text;
    case CellResult::Kind::kEmpty:
      break;
  }
  return "(empty)";
}

CellResult CalcShown(const Difference& difference) {
  CellResult shown = difference.calc;
  if (difference.calcShownAsLogical && difference.saved.kind == CellResult::Kind::kLogical &&
      shown.kind == CellResult::Kind::kNumber && (shown.number == 0 || shown.number == 1))
    shown.kind = CellResult::Kind::kLogical;
  return shown;
}

namespace {

std::string SheetName(const CheckReport& report, int sheet) {
  return sheet >= 0 && static_cast<std::size_t>(sheet) < report.sheets.size()
             ? report.sheets[static_cast<std::size_t>(sheet)]
             : "?";
}

}  // namespace

std::string SummaryText(const CheckReport& report, std::size_t shown) {
  std::ostringstream out;
  if (!report.office.empty()) out << "office: " << report.office << "\n";
  out << "formula cells checked: " << report.formulas << "\n";
  if (report.notCompared > 0)
    out << "not compared: " << report.notCompared << " formula cell(s)"
        << (report.notComparedWhy.empty() ? " whose file carries no saved value"
                                          : ": " + report.notComparedWhy)
        << "\n";
  if (report.volatileCells > 0)
    out << "volatile: " << report.volatileCells
        << " formula cell(s) not compared: they call RAND, RANDBETWEEN, NOW, TODAY or the like, "
           "or depend on a cell that does, so their results change at every recalculation\n";
  if (report.workbookCodeCells > 0)
    out << "workbook functions: " << report.workbookCodeCells
        << " formula cell(s) not compared: they call the workbook's own macro functions, or "
           "depend on a cell that does, and the check runs none of the workbook's code\n";
  for (const RenamedSheet& sheet : report.renamedSheets)
    out << "renamed sheet: the office renamed sheet '" << sheet.saved << "' to '" << sheet.calc
        << "'; its cells are compared under their saved name\n";
  if (!report.rewrites.empty())
    out << "rewritten: " << report.rewrites.size()
        << " formula(s) the office cannot read as saved, computed as an equivalent (the file "
           "keeps the original)\n";
  for (std::size_t i = 0; i < report.rewrites.size() && i < shown; ++i) {
    const excel::FormulaRewrite& r = report.rewrites[i];
    out << "  " << SheetName(report, r.sheet) << "!" << CellName(r.row, r.column) << "  "
        << r.original << "  as  " << r.rewritten << "\n";
  }
  if (report.rewrites.size() > shown)
    out << "  ... and " << report.rewrites.size() - shown << " more\n";
  out << "differ: " << report.differ.size() << "\n";
  if (!report.differ.empty()) out << DifferencesByCause(report.differ, shown);
  out << "unknown functions: " << report.unknownFunctions.size() << "\n";
  for (const UnknownFunction& f : report.unknownFunctions) {
    out << "  " << f.name << " in " << f.cells.front();
    if (f.cells.size() > 1) out << " and " << f.cells.size() - 1 << " more cell(s)";
    out << "\n";
  }
  out << "macro problems: " << report.macros.size() << "\n";
  for (const MacroFinding& m : report.macros)
    out << "  " << m.message << "\n";
  if (!report.vbaNotes.empty()) out << VbaNotesText(report.vbaNotes);
  out << "other problems: " << report.problems.size() << "\n";
  for (const Problem& p : report.problems)
    out << "  " << p.message << "\n";
  return out.str();
}

nlohmann::json ReportJson(const CheckReport& report) {
  nlohmann::json json;
  json["office"] = report.office;
  json["formulas"] = report.formulas;
  json["notCompared"] = report.notCompared;
  if (!report.notComparedWhy.empty()) json["notComparedWhy"] = report.notComparedWhy;
  json["volatile"] = report.volatileCells;
  json["workbookFunctions"] = report.workbookCodeCells;
  json["renamedSheets"] = nlohmann::json::array();
  for (const RenamedSheet& sheet : report.renamedSheets)
    json["renamedSheets"].push_back({{"saved", sheet.saved}, {"calc", sheet.calc}});
  json["rewrites"] = nlohmann::json::array();
  for (const excel::FormulaRewrite& r : report.rewrites)
    json["rewrites"].push_back({{"sheet", SheetName(report, r.sheet)},
                                {"cell", CellName(r.row, r.column)},
                                {"original", r.original},
                                {"rewritten", r.rewritten}});
  json["differ"] = nlohmann::json::array();
  for (const Difference& d : report.differ) {
    json["differ"].push_back(
        {{"sheet", d.sheet},
         {"cell", d.cell},
         {"formula", d.formula},
         {"saved", ValueJson(d.saved)},
         {"calc", d.calcHasFormula ? ValueJson(CalcShown(d)) : nlohmann::json(nullptr)},
         {"cause", d.cause.empty() ? nlohmann::json(nullptr) : nlohmann::json(d.cause)}});
  }
  json["unknownFunctions"] = nlohmann::json::array();
  for (const UnknownFunction& f : report.unknownFunctions)
    json["unknownFunctions"].push_back({{"name", f.name}, {"cells", f.cells}});
  json["macros"] = nlohmann::json::array();
  for (const MacroFinding& m : report.macros) {
    json["macros"].push_back({{"macro", m.macro},
                              {"source", m.source},
                              {"message", m.message},
                              {"procedures", m.procedures}});
  }
  json["problems"] = nlohmann::json::array();
  for (const Problem& p : report.problems)
    json["problems"].push_back({{"kind", p.kind}, {"message", p.message}});
  AddCausesJson(report, json);
  return json;
}

}  // namespace refhost
