#include "check/scenario_cells.h"

#include <algorithm>
#include <cctype>
#include <fstream>
#include <iterator>
#include <set>
#include <tuple>

#include "archive/json/case_json.h"
#include "case/case_check.h"
#include "excel/calc/basic/macro_names.h"
#include "excel/calc/formulas/sheet_addresses.h"
#include "text/ascii.h"

namespace refhost {
namespace {

using nlohmann::json;

std::string Text(const json& object, const char* key) {
  const auto found = object.find(key);
  return found != object.end() && found->is_string() ? found->get<std::string>() : std::string();
}

// The cells a case names, each with what the host does with it.
struct NamedCell {
  std::string path;  // the key path in the case, for the message
  std::string sheet;
  std::string cell;
  bool written = false;  // the host writes it (input stream, control)
};

void AddComposition(const json& stream, const std::string& path, const std::string& sheet,
                    bool written, std::vector<NamedCell>& cells) {
  const auto composition = stream.find("composition");
  if (composition == stream.end() || !composition->is_object()) return;
  for (const char* key : {"componentTableCell", "interactionCell", "massRateCell", "eosModelCell"})
    cells.push_back(
        NamedCell{path + ".composition." + key, sheet, Text(*composition, key), written});
}

void AddPropertyCells(const json& stream, const char* key, const std::string& path,
                      const std::string& sheet, bool written, std::vector<NamedCell>& cells) {
  const auto list = stream.find(key);
  if (list == stream.end() || !list->is_array()) return;
  for (std::size_t j = 0; j < list->size(); ++j) {
    if ((*list)[j].is_object())
      cells.push_back(NamedCell{path + "." + key + "[" + std::to_string(j) + "]", sheet,
                                Text((*list)[j], "cell"), written});
  }
}

std::vector<NamedCell> CaseCells(const json& kase, const json* published) {
  std::vector<NamedCell> cells;
  for (const auto& [key, written] :
       {std::pair("inputStreams", true), std::pair("outputStreams", false)}) {
    const auto streams = kase.find(key);
    if (streams == kase.end() || !streams->is_array()) continue;
    for (std::size_t i = 0; i < streams->size(); ++i) {
      const json& stream = (*streams)[i];
      if (!stream.is_object()) continue;
      const std::string path = std::string(key) + "[" + std::to_string(i) + "]";
      const std::string sheet = Text(stream, "sheetName");
      AddPropertyCells(stream, written ? "solverCells" : "propertyCells", path, sheet, written,
                       cells);
      if (written) AddPropertyCells(stream, "forecastCells", path, sheet, false, cells);
      AddComposition(stream, path, sheet, written, cells);
    }
  }
  const auto item = [&](const json& object, const std::string& path, bool written) {
    cells.push_back(NamedCell{path, Text(object, "worksheet"), Text(object, "cell"), written});
  };
  if (const auto objective = kase.find("objective");
      objective != kase.end() && objective->is_object() && objective->value("defined", false))
    item(*objective, "objective", false);
  for (const auto& [key, written] : {std::pair("constraints", false), std::pair("controls", true),
                                     std::pair("integerControls", true)}) {
    const auto list = kase.find(key);
    if (list == kase.end() || !list->is_array()) continue;
    for (std::size_t i = 0; i < list->size(); ++i)
      if ((*list)[i].is_object())
        item((*list)[i], std::string(key) + "[" + std::to_string(i) + "]", written);
  }
  if (published != nullptr && published->is_array()) {
    for (std::size_t i = 0; i < published->size(); ++i) {
      const json& variable = (*published)[i];
      if (!variable.is_object()) continue;
      const std::string path = "publishedVariables[" + std::to_string(i) + "]";
      item(variable, path, false);
      if (!Text(variable, "cascadeCell").empty())
        cells.push_back(NamedCell{path + ".cascadeCell", Text(variable, "worksheet"),
                                  Text(variable, "cascadeCell"), false});
    }
  }
  return cells;
}

std::vector<excel::calc::MacroEntry> Entries(const excel::RecalculatedWorkbook& workbook) {
  std::vector<excel::calc::MacroEntry> entries;
  for (const auto* modules : {&workbook.modules, &workbook.officeModules}) {
    for (const excel::MacroModuleInfo& module : *modules) {
      for (const excel::MacroProcedureInfo& procedure : module.procedures)
        entries.push_back(excel::calc::MacroEntry{
            module.library, module.module, {procedure.name, procedure.isFunction}});
    }
  }
  return entries;
}

// The macros the case names, each a procedure of the workbook or the office.
void CheckCaseMacros(const json& kase, const excel::RecalculatedWorkbook& workbook,
                     CheckReport& report) {
  const std::vector<excel::calc::MacroEntry> entries = Entries(workbook);
  const auto macros = kase.find("macros");
  if (macros == kase.end() || !macros->is_object()) return;
  for (const auto& [event, setting] : macros->items()) {
    const std::string macro = setting.is_object() ? Text(setting, "macro") : std::string();
    if (macro.empty()) continue;
    const std::optional<excel::calc::MacroName> name = excel::calc::ParseMacroName(macro);
    if (!name) {
      report.macros.push_back(MacroFinding{
          macro, "scenario", "macros." + event + ": '" + macro + "' is not a macro name", {}});
    } else if (excel::calc::FindMacro(entries, *name) == nullptr) {
      report.macros.push_back(
          MacroFinding{macro,
                       "scenario",
                       "macros." + event + ": '" + macro +
                           "' names no procedure of the workbook's or the office's macro modules",
                       {}});
    }
  }
}

std::string LowerSheet(std::string sheet) {
  for (char& c : sheet)
    c = text::LowerAscii(c);
  return sheet;
}

// Formula cells by lower-case sheet, row and column.
using FormulaCells = std::set<std::tuple<std::string, int, int>>;

// Every cell the case binds: an address, on one of `sheets`, and no
// formula where the host writes.
void CheckBoundCells(const std::vector<NamedCell>& cells, const std::vector<std::string>& sheets,
                     const FormulaCells& formulas, CheckReport& report) {
  const auto sheetExists = [&](const std::string& sheet) {
    for (const std::string& name : sheets) {
      if (text::EqualsNoCase(name, sheet)) return true;
    }
    return false;
  };
  for (const NamedCell& named : cells) {
    if (named.cell.empty()) continue;  // not bound
    const std::string where = named.path + " (" + named.sheet + "!" + named.cell + ")";
    const std::optional<excel::calc::CellArea> area = excel::calc::ParseA1Area(named.cell);
    if (!area || !area->IsSingleCell()) {
      report.problems.push_back(
          Problem{"cell", where + ": '" + named.cell + "' is not a cell address"});
      continue;
    }
    if (!sheetExists(named.sheet)) {
      report.problems.push_back(
          Problem{"cell", where + ": the workbook has no sheet '" + named.sheet + "'"});
      continue;
    }
    if (named.written &&
        formulas.count({LowerSheet(named.sheet), area->firstRow, area->firstColumn}) != 0)
      report.problems.push_back(Problem{
          "formulaInInput", where + " holds a formula, which the host's writes would overwrite"});
  }
}

// Whether the driver could take `text` for a defined name, as it takes
// cells: letters (any script), digits, '_', '.' and '\', not starting with a
// digit or '.', and never shaped like a cell ("C0" is a cell outside the
// grid, not a name).
bool CouldBeName(const std::string& text) {
  const auto letter = [](char c) {
    return std::isalpha(static_cast<unsigned char>(c)) || static_cast<unsigned char>(c) >= 0x80;
  };
  std::size_t at = 0;
  while (at < text.size() &&
         (text[at] == '$' || std::isalpha(static_cast<unsigned char>(text[at]))))
    ++at;
  const bool cellShaped =
      at > 0 && at < text.size() && text.find_first_not_of("$0123456789", at) == std::string::npos;
  const bool nameChars = std::all_of(text.begin(), text.end(), [&](char c) {
    return letter(c) || std::isdigit(static_cast<unsigned char>(c)) || c == '_' || c == '.' ||
           c == '\\';
  });
  return !text.empty() && !cellShaped && nameChars &&
         (letter(text[0]) || text[0] == '_' || text[0] == '\\');
}

// The scenario's case as JSON, from its archive or inline.
outcome::Expected<json> ScenarioCase(const Scenario& scenario) {
  if (!scenario.caseArchive) return scenario.caseJson.value_or(json::object());
  std::ifstream in(*scenario.caseArchive, std::ios::binary);
  const std::vector<std::uint8_t> bytes{std::istreambuf_iterator<char>(in), {}};
  outcome::Expected<json> decoded = archive::CaseArchiveToJson(bytes);
  if (!decoded)
    return outcome::Error::Failed(scenario.caseArchive->string() + ": " +
                                  decoded.GetError().Message());
  return decoded;
}

std::vector<NamedCell> ScenarioCells(const Scenario& scenario, const json& kase) {
  return CaseCells(kase, scenario.publishedVariables ? &*scenario.publishedVariables : nullptr);
}

}  // namespace

outcome::Error CheckScenarioCells(const Scenario& scenario,
                                  const excel::RecalculatedWorkbook& workbook,
                                  CheckReport& report) {
  const outcome::Expected<json> kase = ScenarioCase(scenario);
  if (!kase) return kase.GetError();
  CheckCaseMacros(*kase, workbook, report);
  FormulaCells formulas;
  for (const excel::RecalculatedCell& cell : workbook.formulas)
    formulas.emplace(LowerSheet(workbook.sheets[static_cast<std::size_t>(cell.sheet)]), cell.row,
                     cell.column);
  CheckBoundCells(ScenarioCells(scenario, *kase), workbook.sheets, formulas, report);
  return outcome::Error::Success();
}

outcome::Error CheckScenarioSheets(const Scenario& scenario,
                                   const std::vector<std::string>& sheets) {
  // The case as the driver reads it. One that cannot be read, or holds what
  // the driver would refuse, fails the run itself, which says why.
  const outcome::Expected<json> given = ScenarioCase(scenario);
  if (!given) return outcome::Error::Success();
  const outcome::Expected<std::vector<std::uint8_t>> archive = archive::CaseJsonToArchive(*given);
  if (!archive) return outcome::Error::Success();
  const outcome::Expected<json> kase = archive::CaseArchiveToJson(*archive);
  if (!kase || !CaseItemProblems(*kase).empty()) return outcome::Error::Success();
  const std::vector<NamedCell> cells = ScenarioCells(scenario, *kase);
  // The driver adds an input stream's missing sheet (the run notes it), so
  // the cells on it that others read are there by then.
  std::vector<std::string> known = sheets;
  for (const NamedCell& named : cells)
    if (named.path.rfind("inputStreams", 0) == 0) known.push_back(named.sheet);
  for (const NamedCell& named : cells) {
    if (named.cell.empty()) continue;
    // The key as the scenario file gives it.
    const bool inCase = scenario.caseJson && named.path.rfind("publishedVariables", 0) != 0;
    const std::string where = scenario.file.string() + ": " + (inCase ? "case." : "") + named.path +
                              " (" + named.sheet + "!" + named.cell + ")";
    if (!excel::calc::ParseA1Area(named.cell) && !CouldBeName(named.cell))
      return outcome::Error::Failed(where + ": '" + named.cell + "' is not a cell address");
    if (std::none_of(known.begin(), known.end(), [&](const std::string& sheet) {
          return text::EqualsNoCase(sheet, named.sheet);
        }))
      return outcome::Error::Failed(where + ": the workbook has no sheet '" + named.sheet + "'");
  }
  return outcome::Error::Success();
}

}  // namespace refhost
