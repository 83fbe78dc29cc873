#include "check/check_causes.h"

#include <algorithm>
#include <map>
#include <set>
#include <sstream>

#include "differences/formula_names.h"
#include "differences/known_differences.h"

namespace refhost {
namespace {

struct FunctionCells {
  std::string function;
  std::vector<std::string> cells;  // "Sheet!B7"
};

struct CauseCells {
  const KnownDifference* cause = nullptr;
  std::size_t count = 0;
  std::vector<FunctionCells> functions;  // most cells first
};

// The explained cells by cause and function, most cells first; a tie
// keeps the table's order, and the functions' names.
std::vector<CauseCells> GroupByCause(const std::vector<Difference>& differ) {
  std::vector<CauseCells> groups;
  for (const KnownDifference& cause : KnownDifferences()) {
    std::map<std::string, std::vector<std::string>> byFunction;
    std::size_t count = 0;
    for (const Difference& d : differ) {
      if (d.cause != cause.id) continue;
      byFunction[d.causeFunction].push_back(d.sheet + "!" + d.cell);
      ++count;
    }
    if (count == 0) continue;
    CauseCells group{&cause, count, {}};
    for (auto& [function, cells] : byFunction)
      group.functions.push_back({function, std::move(cells)});
    std::stable_sort(group.functions.begin(), group.functions.end(),
                     [](const auto& a, const auto& b) { return a.cells.size() > b.cells.size(); });
    groups.push_back(std::move(group));
  }
  std::stable_sort(groups.begin(), groups.end(),
                   [](const auto& a, const auto& b) { return a.count > b.count; });
  return groups;
}

// What the defined names a formula uses hold, and the names those use in
// turn (each once, so names that refer to each other end), joined into
// one text the recognisers can read; empty when it uses none.
std::string NamedContents(std::string_view formula, const std::vector<excel::DefinedName>& names) {
  std::map<std::string, const std::string*> byName;
  for (const excel::DefinedName& name : names)
    byName.emplace(Upper(name.name), &name.content);
  std::set<std::string> seen;
  std::string joined;
  std::vector<std::string_view> pending{formula};
  while (!pending.empty()) {
    const std::string_view text = pending.back();
    pending.pop_back();
    for (std::size_t i = 0; i < text.size();) {
      if (text[i] == '"' || text[i] == '\'') {
        i = excel::calc::QuotedEnd(text, i);
        continue;
      }
      if (!excel::calc::IsFormulaNameStart(text[i])) {
        ++i;
        continue;
      }
      std::size_t end = i;
      while (end < text.size() && excel::calc::IsFormulaNameChar(text[end]))
        ++end;
      const auto found = byName.find(Upper(text.substr(i, end - i)));
      if (found != byName.end() && seen.insert(found->first).second) {
        joined += (joined.empty() ? "" : ";") + *found->second;
        pending.push_back(*found->second);
      }
      i = end;
    }
  }
  return joined;
}

}  // namespace

void ExplainCause(Difference& difference, const std::vector<excel::DefinedName>& names) {
  if (!difference.calcHasFormula) return;
  auto found = ExplainDifference(difference.formula, difference.saved, difference.calc);
  if (const std::string named = NamedContents(difference.formula, names); !found && !named.empty())
    found = ExplainDifference("=" + named, difference.saved, difference.calc);
  if (found) {
    difference.cause = found->id;
    difference.causeFunction = found->function;
  }
}

std::vector<VbaNote> MacroModuleNotes(const std::vector<excel::MacroModuleInfo>& modules) {
  std::vector<VbaNote> notes;
  for (const excel::MacroModuleInfo& module : modules) {
    for (VbaNote& note : FindVbaNotes(module.library + "." + module.module, module.source))
      notes.push_back(std::move(note));
  }
  std::stable_sort(notes.begin(), notes.end(),
                   [](const auto& a, const auto& b) { return a.module < b.module; });
  return notes;
}

std::string DifferencesByCause(const std::vector<Difference>& differ, std::size_t shown) {
  constexpr std::size_t kCellsNamed = 3;
  std::ostringstream out;
  for (const CauseCells& group : GroupByCause(differ)) {
    out << "  " << group.cause->id << ": " << group.count << "\n";
    for (const FunctionCells& f : group.functions) {
      out << "    " << f.function << ": " << f.cells.size() << "  ";
      for (std::size_t i = 0; i < f.cells.size() && i < kCellsNamed; ++i)
        out << (i > 0 ? ", " : "") << f.cells[i];
      if (f.cells.size() > kCellsNamed) out << " and " << f.cells.size() - kCellsNamed << " more";
      out << "\n";
    }
  }
  std::vector<const Difference*> unexplained;
  for (const Difference& d : differ)
    if (d.cause.empty()) unexplained.push_back(&d);
  out << "  unexplained: " << unexplained.size() << "\n";
  for (std::size_t i = 0; i < unexplained.size() && i < shown; ++i) {
    const Difference& d = *unexplained[i];
    out << "    " << d.sheet << "!" << d.cell << "  " << d.formula << "  saved "
        << ShowValue(d.saved) << "  calc "
        << (d.calcHasFormula ? ShowValue(CalcShown(d)) : "(no formula)") << "\n";
  }
  if (unexplained.size() > shown) out << "    ... and " << unexplained.size() - shown << " more\n";
  return out.str();
}

std::string VbaNotesText(const std::vector<VbaNote>& notes) {
  std::ostringstream out;
  out << "macro notes: " << notes.size() << "\n";
  for (const VbaNote& note : notes)
    out << "  " << note.module << " line " << note.line << ": " << note.message << "\n";
  return out.str();
}

void AddCausesJson(const CheckReport& report, nlohmann::json& json) {
  json["causes"] = nlohmann::json::array();
  std::size_t explained = 0;
  for (const CauseCells& group : GroupByCause(report.differ)) {
    nlohmann::json functions = nlohmann::json::object();
    for (const FunctionCells& f : group.functions)
      functions[f.function] = f.cells.size();
    json["causes"].push_back({{"id", std::string(group.cause->id)},
                              {"sentence", std::string(group.cause->differs)},
                              {"remedy", std::string(group.cause->remedy)},
                              {"cells", group.count},
                              {"functions", functions}});
    explained += group.count;
  }
  json["unexplained"] = report.differ.size() - explained;
  json["vbaNotes"] = nlohmann::json::array();
  for (const VbaNote& note : report.vbaNotes) {
    json["vbaNotes"].push_back({{"module", note.module},
                                {"line", note.line},
                                {"cause", note.cause},
                                {"message", note.message}});
  }
}

}  // namespace refhost
