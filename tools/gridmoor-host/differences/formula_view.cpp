#include <algorithm>

#include "differences/difference_recognisers.h"
#include "differences/formula_names.h"

namespace refhost::differences {
namespace {

// The name a function is known by in both programs: capitals, without the
// file format's prefixes and without the name of Calc's add-in service.
std::string CanonicalName(std::string_view name) {
  std::string upper = Upper(name);
  for (std::string_view prefix : {"_XLFN._XLWS.", "_XLFN.", "_XLWS.", "_XLUDF.", "_XLL.",
                                  "COM.SUN.STAR.SHEET.ADDIN.ANALYSIS.GET"}) {
    if (upper.rfind(prefix, 0) == 0) {
      upper.erase(0, prefix.size());
      break;
    }
  }
  return upper;
}

}  // namespace

FormulaView::FormulaView(std::string_view formula) {
  if (formula.size() >= 2 && formula.front() == '{' && formula.back() == '}')
    formula = formula.substr(1, formula.size() - 2);
  if (!formula.empty() && formula.front() == '=') formula.remove_prefix(1);
  text = std::string(formula);
  for (const std::string& name : FunctionNamesIn(text)) {
    std::string canonical = CanonicalName(name);
    if (std::find(functions.begin(), functions.end(), canonical) == functions.end())
      functions.push_back(std::move(canonical));
  }
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\'') {  // a sheet's name: skip it whole
      const std::size_t close = text.find('\'', i + 1);
      i = close == std::string::npos ? text.size() : close;
      continue;
    }
    if (text[i] != '"') continue;
    std::string literal;
    for (++i; i < text.size(); ++i) {
      if (text[i] == '"') {
        if (i + 1 < text.size() && text[i + 1] == '"') {
          literal += '"';
          ++i;
          continue;
        }
        break;
      }
      literal += text[i];
    }
    literals.push_back(std::move(literal));
  }
}

bool FormulaView::Calls(std::string_view name) const {
  return std::find(functions.begin(), functions.end(), name) != functions.end();
}

std::optional<std::string> FormulaView::FirstOf(
    std::initializer_list<std::string_view> names) const {
  for (const std::string& called : functions) {
    if (std::find(names.begin(), names.end(), called) != names.end()) return called;
  }
  return std::nullopt;
}

bool FormulaView::CallsOnly(std::initializer_list<std::string_view> names) const {
  return !functions.empty() && std::all_of(functions.begin(), functions.end(), [&](const auto& f) {
    return std::find(names.begin(), names.end(), f) != names.end();
  });
}

std::string FormulaView::Unquoted() const {
  std::string out;
  char quote = 0;
  for (const char c : text) {
    if (quote != 0) {
      if (c == quote) {
        quote = 0;
        out += c;
      }
      continue;
    }
    if (c == '"' || c == '\'') quote = c;
    out += c;
  }
  return out;
}

bool IsNumber(const CellResult& value) {
  return value.kind == CellResult::Kind::kNumber;
}
bool IsText(const CellResult& value) {
  return value.kind == CellResult::Kind::kText;
}
bool IsLogical(const CellResult& value) {
  return value.kind == CellResult::Kind::kLogical;
}
bool IsError(const CellResult& value, std::string_view name) {
  return value.kind == CellResult::Kind::kError && (name.empty() || value.text == name);
}

}  // namespace refhost::differences
