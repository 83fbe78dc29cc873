#include "check_report.h"

#include "formula_names.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
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

bool SameResult(const CellResult& saved, const CellResult& calc) {
  if (saved.kind != calc.kind) return false;
  switch (saved.kind) {
    case CellResult::Kind::kNumber:
    case CellResult::Kind::kLogical:
      // An OpenDocument file keeps at most 20 decimals: a result near zero
      // is saved rounded to them.
      return saved.number == calc.number || std::fabs(saved.number - calc.number) <= 1e-20 ||
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

CheckReport CompareWorkbook(const SavedWorkbook& saved, const excel::RecalculatedWorkbook& calc) {
  CheckReport report;
  std::map<std::tuple<std::string, int, int>, const excel::RecalculatedCell*> byCell;
  for (const excel::RecalculatedCell& cell : calc.formulas) {
    if (cell.sheet >= 0 && static_cast<std::size_t>(cell.sheet) < calc.sheets.size())
      byCell[{calc.sheets[static_cast<std::size_t>(cell.sheet)], cell.row, cell.column}] = &cell;
  }
  std::size_t withoutValue = 0;
  std::set<std::string> externalCells;
  for (const SavedCell& cell : saved.formulas) {
    const auto found = byCell.find({cell.sheet, cell.row, cell.column});
    const std::string name = CellName(cell.row, cell.column);
    const std::string formula =
        !cell.formula.empty() || found == byCell.end() ? cell.formula : found->second->formula;
    if (RefersToOtherFile(formula) ||
        (found != byCell.end() && RefersToOtherFile(found->second->formula)))
      externalCells.insert(Located(cell.sheet, name));
    if (!cell.hasValue) {
      ++withoutValue;
      continue;
    }
    ++report.formulas;
    if (found == byCell.end()) {
      report.differ.push_back(Difference{cell.sheet, name, formula, cell.value, {}, false});
    } else if (!SameResult(cell.value, found->second->result)) {
      report.differ.push_back(
          Difference{cell.sheet, name, formula, cell.value, found->second->result, true});
    }
  }
  report.notCompared = withoutValue;
  for (const std::string& link : saved.externalLinks)
    report.problems.push_back(Problem{"externalLink", "the workbook links to " + link});
  for (const std::string& where : externalCells)
    report.problems.push_back(Problem{"externalLink", where + " refers to another file"});
  for (const std::string& problem : saved.problems)
    report.problems.push_back(Problem{"package", problem});

  // Functions: what the application knows, and the workbook's own macro
  // functions.
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

std::string SummaryText(const CheckReport& report, std::size_t shown) {
  std::ostringstream out;
  out << "formula cells checked: " << report.formulas << "\n";
  if (report.notCompared > 0)
    out << "not compared: " << report.notCompared
        << " formula cell(s) whose file carries no saved value\n";
  out << "differ: " << report.differ.size() << "\n";
  for (std::size_t i = 0; i < report.differ.size() && i < shown; ++i) {
    const Difference& d = report.differ[i];
    out << "  " << d.sheet << "!" << d.cell << "  " << d.formula << "  saved " << ShowValue(d.saved)
        << "  calc " << (d.calcHasFormula ? ShowValue(d.calc) : "(no formula)") << "\n";
  }
  if (report.differ.size() > shown)
    out << "  ... and " << report.differ.size() - shown << " more\n";
  out << "unknown functions: " << report.unknownFunctions.size() << "\n";
  for (const UnknownFunction& f : report.unknownFunctions) {
    out << "  " << f.name << " in " << f.cells.front();
    if (f.cells.size() > 1) out << " and " << f.cells.size() - 1 << " more cell(s)";
    out << "\n";
  }
  out << "macro problems: " << report.macros.size() << "\n";
  for (const MacroFinding& m : report.macros)
    out << "  " << m.message << "\n";
  out << "other problems: " << report.problems.size() << "\n";
  for (const Problem& p : report.problems)
    out << "  " << p.message << "\n";
  return out.str();
}

nlohmann::json ReportJson(const CheckReport& report) {
  nlohmann::json json;
  json["formulas"] = report.formulas;
  json["notCompared"] = report.notCompared;
  json["differ"] = nlohmann::json::array();
  for (const Difference& d : report.differ) {
    json["differ"].push_back(
        {{"sheet", d.sheet},
         {"cell", d.cell},
         {"formula", d.formula},
         {"saved", ValueJson(d.saved)},
         {"calc", d.calcHasFormula ? ValueJson(d.calc) : nlohmann::json(nullptr)}});
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
  return json;
}

}  // namespace refhost
