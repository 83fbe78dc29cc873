#include "check_report.h"

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

bool IsNameStart(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_';
}
bool IsNameChar(char c) {
  return IsNameStart(c) || (c >= '0' && c <= '9') || c == '.';
}

std::string Upper(std::string_view text) {
  std::string upper(text);
  for (char& c : upper) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return upper;
}

// Calls `visit(position, character)` for every character outside quotes.
template <typename Visit>
void ForUnquoted(std::string_view formula, Visit&& visit) {
  char quote = 0;
  for (std::size_t i = 0; i < formula.size(); ++i) {
    const char c = formula[i];
    if (quote != 0) {
      if (c == quote) quote = 0;  // a doubled quote reopens at once
      continue;
    }
    if (c == '"' || c == '\'') {
      quote = c;
      continue;
    }
    visit(i, c);
  }
}

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

std::vector<std::string> FunctionNamesIn(std::string_view formula) {
  std::vector<std::string> names;
  std::size_t start = std::string_view::npos;
  ForUnquoted(formula, [&](std::size_t i, char c) {
    if (start == std::string_view::npos) {
      // A name starts where no name, number or reference part goes on.
      if (IsNameStart(c) && (i == 0 || !IsNameChar(formula[i - 1]))) start = i;
      return;
    }
    if (IsNameChar(c)) return;
    std::size_t next = i;
    while (next < formula.size() && formula[next] == ' ')
      ++next;
    if (next < formula.size() && formula[next] == '(')
      names.emplace_back(formula.substr(start, i - start));
    start = IsNameStart(c) ? i : std::string_view::npos;
  });
  return names;
}

std::optional<std::string> UnknownFunctionName(std::string_view name,
                                               const std::set<std::string>& functions,
                                               const std::set<std::string>& procedures) {
  std::string upper = Upper(name);
  // The office writes an add-in function it knows by its service's name.
  if (upper.rfind("COM.SUN.STAR.", 0) == 0) return std::nullopt;
  bool prefixed = false, userDefined = false;
  for (const char* prefix : {"_XLFN._XLWS.", "_XLFN.", "_XLWS.", "_XLUDF.", "_XLL."}) {
    if (upper.rfind(prefix, 0) != 0) continue;
    prefixed = true;
    userDefined = std::string_view(prefix) == "_XLUDF.";
    name.remove_prefix(std::string_view(prefix).size());
    upper.erase(0, std::string_view(prefix).size());
    break;
  }
  // A name the office did not resolve as one of its functions keeps the
  // file's prefix or comes out in small letters; its own come out in
  // capitals, without the prefix.
  if (userDefined || !prefixed) {
    if (procedures.count(upper) != 0) return std::nullopt;
    if (!userDefined && functions.count(std::string(name)) != 0) return std::nullopt;
  }
  return upper;
}

bool RefersToOtherFile(std::string_view formula) {
  if (formula.find("'file:") != std::string_view::npos) return true;
  bool found = false;
  // [n] or [Book.xlsx] before a sheet name; a structured reference
  // (Table1[Column]) follows a name, never starts a reference.
  char quote = 0;
  for (std::size_t i = 0; i < formula.size() && !found; ++i) {
    const char c = formula[i];
    if (quote == '"') {
      if (c == '"') quote = 0;
      continue;
    }
    if (c == '"') {
      quote = c;
      continue;
    }
    if (c != '[') continue;
    const char before = i == 0 ? '=' : formula[i - 1];
    if (IsNameChar(before) || before == ']' || before == '[') continue;
    const std::size_t close = formula.find(']', i);
    if (close == std::string_view::npos) continue;
    const std::size_t after = close + 1;
    // [1]Sheet1!A1 or '[1]My sheet'!A1 or [Book.xlsx]Sheet1!A1
    const std::size_t bang = formula.find('!', after);
    const std::size_t stop = formula.find_first_of(",;()+-*/&=<>^ ", after);
    if (bang != std::string_view::npos && (stop == std::string_view::npos || bang < stop))
      found = true;
    else if (before == '\'' && formula.find("'!", after) != std::string_view::npos)
      found = true;
  }
  return found;
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
