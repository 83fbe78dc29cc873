#include "excel/calc/formulas/formula_text.h"

#include <array>

#include "text/ascii.h"

namespace excel::calc {
namespace {

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

}  // namespace

std::size_t QuotedEnd(std::string_view text, std::size_t at) {
  const char quote = text[at];
  for (std::size_t i = at + 1; i < text.size(); ++i) {
    if (text[i] != quote) continue;
    if (i + 1 < text.size() && text[i + 1] == quote) {
      ++i;
      continue;
    }
    return i + 1;
  }
  return text.size();
}

std::size_t BracketEnd(std::string_view text, std::size_t at) {
  int depth = 0;
  for (std::size_t i = at; i < text.size(); ++i) {
    if (text[i] == '\'') {
      ++i;
    } else if (text[i] == '[') {
      ++depth;
    } else if (text[i] == ']' && --depth == 0) {
      return i + 1;
    }
  }
  return std::string_view::npos;
}

bool IsFormulaNameStart(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_';
}

bool IsFormulaNameChar(char c) {
  return IsFormulaNameStart(c) || (c >= '0' && c <= '9') || c == '.';
}

std::vector<std::string> FunctionNamesIn(std::string_view formula) {
  std::vector<std::string> names;
  std::size_t start = std::string_view::npos;
  ForUnquoted(formula, [&](std::size_t i, char c) {
    if (start == std::string_view::npos) {
      // A name starts where no name, number or reference part goes on.
      if (IsFormulaNameStart(c) && (i == 0 || !IsFormulaNameChar(formula[i - 1]))) start = i;
      return;
    }
    if (IsFormulaNameChar(c)) return;
    std::size_t next = i;
    while (next < formula.size() && formula[next] == ' ')
      ++next;
    if (next < formula.size() && formula[next] == '(')
      names.emplace_back(formula.substr(start, i - start));
    start = IsFormulaNameStart(c) ? i : std::string_view::npos;
  });
  return names;
}

bool CallsVolatileFunction(std::string_view formula) {
  // OFFSET, INDIRECT, CELL and INFO are volatile too, but give the same
  // result at every recalculation of the same workbook.
  static constexpr std::array<std::string_view, 5> kVolatile = {"RAND", "RANDBETWEEN", "RANDARRAY",
                                                                "NOW", "TODAY"};
  for (const std::string& name : FunctionNamesIn(formula)) {
    std::string_view bare = name;
    // The file format's prefix, or the office's name of an add-in function
    // (COM.SUN.STAR.SHEET.ADDIN.ANALYSIS.GETRANDBETWEEN).
    for (std::string_view prefix : {"_xlfn.", "COM.SUN.STAR.SHEET.ADDIN.ANALYSIS.GET"})
      if (text::EqualsNoCase(bare.substr(0, prefix.size()), prefix))
        bare.remove_prefix(prefix.size());
    for (std::string_view known : kVolatile)
      if (text::EqualsNoCase(bare, known)) return true;
  }
  return false;
}

}  // namespace excel::calc
