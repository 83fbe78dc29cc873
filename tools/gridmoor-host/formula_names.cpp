#include "formula_names.h"

namespace refhost {
namespace {

bool IsNameStart(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_';
}
bool IsNameChar(char c) {
  return IsNameStart(c) || (c >= '0' && c <= '9') || c == '.';
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

}  // namespace

std::string Upper(std::string_view text) {
  std::string upper(text);
  for (char& c : upper) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return upper;
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

}  // namespace refhost
