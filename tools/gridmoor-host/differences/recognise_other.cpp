// References, errors, regressions and functions one program lacks.
#include <cctype>
#include <regex>

#include "differences/difference_recognisers.h"
#include "differences/formula_names.h"

namespace refhost::differences {
namespace {

bool IsNameChar(char c) {
  return std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '_' || c == '.' || c == '\\';
}

// What kind of structured reference a formula holds, if any: "[#All]",
// "[#Totals]", "[#Headers]", "[#Data]", "[#This Row]", "Table[Column]"
// (a table's name before it) or "[Column]" (none, as inside a table).
std::optional<std::string> StructuredKind(const std::string& text) {
  std::optional<std::string> kind;
  for (std::size_t open = text.find('['); open != std::string::npos;
       open = text.find('[', open + 1)) {
    const char before = open == 0 ? '=' : text[open - 1];
    const char first = open + 1 < text.size() ? text[open + 1] : ']';
    // R1C1 offsets (R[-1]C) and other files ([1]Sheet1!A1) are no columns.
    if (std::isdigit(static_cast<unsigned char>(first)) || first == '-' || first == '+') continue;
    const bool named = IsNameChar(before);
    if (!named && before != '[' &&
        std::string_view("(,;=+-*/&^<> ").find(before) == std::string_view::npos)
      continue;
    std::size_t close = open, depth = 0;
    for (; close < text.size(); ++close) {
      if (text[close] == '[') ++depth;
      if (text[close] == ']' && --depth == 0) break;
    }
    if (close >= text.size()) continue;
    const char after = close + 1 < text.size() ? text[close + 1] : ')';
    if (!named && (IsNameChar(after) || after == '!')) continue;
    const std::string inside = Upper(text.substr(open, close - open + 1));
    for (const auto& [item, label] :
         {std::pair{"[#ALL]", "[#All]"}, std::pair{"[#TOTALS]", "[#Totals]"},
          std::pair{"[#HEADERS]", "[#Headers]"}, std::pair{"[#DATA]", "[#Data]"},
          std::pair{"[#THIS ROW]", "[#This Row]"}, std::pair{"[@", "[#This Row]"}}) {
      if (inside.find(item) != std::string::npos) return label;
    }
    if (!kind || named) kind = named ? "Table[Column]" : "[Column]";
    open = close;
  }
  return kind;
}

struct ErrorPair {
  const char* function;
  const char* excel;  // the other spreadsheet's error
  const char* calc;   // Calc's; empty: Calc gives a value
};

// Found by recalculating each case in Calc 25.2; the other spreadsheet's
// errors as its documentation gives them.
constexpr ErrorPair kErrorPairs[] = {
    {"VALUE", "#VALUE!", "#NUM!"},   {"MEDIAN", "#NUM!", "#VALUE!"},
    {"LARGE", "#NUM!", "#VALUE!"},   {"SMALL", "#NUM!", "#VALUE!"},
    {"MODE", "#N/A", "#VALUE!"},     {"PERCENTRANK", "#N/A", "#VALUE!"},
    {"COVAR", "#N/A", "#NUM!"},      {"PEARSON", "#N/A", "#NUM!"},
    {"TTEST", "#N/A", "#NUM!"},      {"SUMX2MY2", "#N/A", "#VALUE!"},
    {"CHOOSE", "#VALUE!", "#NUM!"},  {"OFFSET", "#REF!", "#NUM!"},
    {"MID", "#VALUE!", "#NUM!"},     {"REPT", "#VALUE!", "#NUM!"},
    {"ROMAN", "#VALUE!", "#NUM!"},   {"MIRR", "#DIV/0!", "#NUM!"},
    {"STEYX", "#DIV/0!", "#VALUE!"}, {"DEVSQ", "#NUM!", "#DIV/0!"},
    {"CHIDIST", "#NUM!", ""},        {"CODE", "#VALUE!", ""},
};

// Functions of the other spreadsheet that Calc 25.2 does not have.
constexpr std::string_view kExcelOnly[] = {
    "ARRAYTOTEXT",
    "BYCOL",
    "BYROW",
    "CHOOSECOLS",
    "CHOOSEROWS",
    "CUBEKPIMEMBER",
    "CUBEMEMBER",
    "CUBEMEMBERPROPERTY",
    "CUBERANKEDMEMBER",
    "CUBESET",
    "CUBESETCOUNT",
    "CUBEVALUE",
    "DETECTLANGUAGE",
    "DROP",
    "EXPAND",
    "FIELDVALUE",
    "GROUPBY",
    "HSTACK",
    "IMAGE",
    "ISOMITTED",
    "LAMBDA",
    "MAKEARRAY",
    "MAP",
    "PERCENTOF",
    "PIVOTBY",
    "REDUCE",
    "REGEXEXTRACT",
    "REGEXREPLACE",
    "REGEXTEST",
    "SCAN",
    "STOCKHISTORY",
    "TAKE",
    "TEXTAFTER",
    "TEXTBEFORE",
    "TEXTSPLIT",
    "TOCOL",
    "TOROW",
    "TRANSLATE",
    "TRIMRANGE",
    "VALUETOTEXT",
    "VSTACK",
    "WRAPCOLS",
    "WRAPROWS",
};

// A name that is no function, cell, sheet or logical: a defined name.
bool HasDefinedName(const std::string& text) {
  static const std::regex cell(R"(\$?[A-Za-z]{1,3}\$?\d+)");
  for (std::size_t i = 0; i < text.size();) {
    if (!(std::isalpha(static_cast<unsigned char>(text[i])) || text[i] == '_' || text[i] == '\\') ||
        (i > 0 && (IsNameChar(text[i - 1]) || text[i - 1] == '$'))) {
      ++i;
      continue;
    }
    std::size_t end = i;
    while (end < text.size() && IsNameChar(text[end]))
      ++end;
    const std::string name = text.substr(i, end - i);
    const char after = end < text.size() ? text[end] : ' ';
    const std::string upper = Upper(name);
    if (after != '(' && after != '!' && after != '[' && upper != "TRUE" && upper != "FALSE" &&
        !std::regex_match(name, cell))
      return true;
    i = end;
  }
  return false;
}

}  // namespace

std::vector<std::string_view> ExcelOnlyFunctions() {
  return {std::begin(kExcelOnly), std::end(kExcelOnly)};
}

std::vector<std::string_view> ErrorKindFunctions() {
  std::vector<std::string_view> names;
  for (const ErrorPair& pair : kErrorPairs)
    names.emplace_back(pair.function);
  return names;
}

Label StructuredReference(const FormulaView& f, const CellResult& saved, const CellResult& calc) {
  std::string unquoted;  // the double-quoted texts left out, column names may hold '
  char quote = 0;
  for (const char c : f.text) {
    if (c == '"') quote = quote == 0 ? c : 0;
    if (quote == 0 && c != '"') unquoted += c;
  }
  const std::optional<std::string> kind = StructuredKind(unquoted);
  if (!kind) return std::nullopt;
  if (IsError(calc) && !IsError(saved)) return kind;
  // Which rows a special item takes differs even where Calc resolves it.
  if (kind->front() == '[' && (*kind)[1] == '#' && *kind != "[#This Row]") return kind;
  return std::nullopt;
}

Label MatrixShape(const FormulaView& f, const CellResult& saved, const CellResult& calc) {
  if (IsError(saved, "#VALUE!") && IsError(calc, "#NUM!"))
    return f.FirstOf({"MINVERSE", "MMULT", "MDETERM"});
  return std::nullopt;
}

Label RegressionLayout(const FormulaView& f, const CellResult& saved, const CellResult& calc) {
  if (IsError(saved) || !IsError(calc)) return std::nullopt;
  return f.FirstOf({"LINEST", "TREND", "LOGEST", "GROWTH"});
}

Label VdbFractionalPeriod(const FormulaView& f, const CellResult& saved, const CellResult& calc) {
  if (f.Calls("VDB") && IsNumber(saved) && IsNumber(calc)) return "VDB";
  return std::nullopt;
}

Label SubtotalRows(const FormulaView& f, const CellResult& saved, const CellResult& calc) {
  if (IsNumber(saved) && IsNumber(calc) && f.CallsOnly({"SUBTOTAL", "AGGREGATE"}))
    return f.functions.front();
  return std::nullopt;
}

Label ErrorKind(const FormulaView& f, const CellResult& saved, const CellResult& calc) {
  for (const ErrorPair& pair : kErrorPairs) {
    const bool calcFits = *pair.calc == 0 ? !IsError(calc) : IsError(calc, pair.calc);
    if (IsError(saved, pair.excel) && calcFits && f.Calls(pair.function)) return pair.function;
  }
  return std::nullopt;
}

Label DeletedReference(const FormulaView& f, const CellResult& saved, const CellResult& calc) {
  if (!IsError(saved, "#REF!") || !IsError(calc, "#NAME?")) return std::nullopt;
  const std::string unquoted = f.Unquoted();
  if (unquoted.find("#REF!") != std::string::npos) return "#REF!";
  if (HasDefinedName(unquoted)) return "defined name";
  return std::nullopt;
}

Label EmptyIntersection(const FormulaView& f, const CellResult& saved, const CellResult& calc) {
  if (!IsError(saved, "#NULL!") || !IsError(calc, "#REF!")) return std::nullopt;
  // The intersection operator: a space between two references.
  static const std::regex intersection(R"([A-Za-z0-9$)'] +[A-Za-z$('])");
  if (std::regex_search(f.Unquoted(), intersection)) return "intersection";
  return std::nullopt;
}

Label ExcelOnlyFunction(const FormulaView& f, const CellResult&, const CellResult& calc) {
  // A LAMBDA called in place is a syntax error to Calc (Err:509).
  if (!IsError(calc, "#NAME?") &&
      !(f.Calls("LAMBDA") &&
        (IsError(calc, "#VALUE!") || IsError(calc, "Err:509 an operator is missing"))))
    return std::nullopt;
  for (const std::string& called : f.functions) {
    if (std::find(std::begin(kExcelOnly), std::end(kExcelOnly), called) != std::end(kExcelOnly))
      return called;
  }
  return std::nullopt;
}

// The dynamic-array functions and LET, which Calc has had since 24.8.
constexpr std::string_view kSince248[] = {"FILTER", "LET",    "SEQUENCE", "SORT",
                                          "SORTBY", "UNIQUE", "XLOOKUP",  "XMATCH"};

std::vector<std::string_view> NewerOfficeFunctions() {
  return {std::begin(kSince248), std::end(kSince248)};
}

Label NewerOfficeFunction(const FormulaView& f, const CellResult&, const CellResult& calc) {
  if (!IsError(calc, "#NAME?")) return std::nullopt;
  for (const std::string& called : f.functions) {
    if (std::find(std::begin(kSince248), std::end(kSince248), called) != std::end(kSince248))
      return called;
  }
  return std::nullopt;
}

Label ExternalData(const FormulaView& f, const CellResult&, const CellResult&) {
  if (RefersToOtherFile(f.text)) return "other file";
  return f.FirstOf({"WEBSERVICE", "FILTERXML", "RTD"});
}

Label InfoEnvironment(const FormulaView& f, const CellResult&, const CellResult&) {
  if (f.Calls("INFO")) return "INFO";
  const bool fileName =
      std::find(f.literals.begin(), f.literals.end(), "filename") != f.literals.end();
  if (f.Calls("CELL") && fileName) return "CELL";
  return std::nullopt;
}

Label CircularReference(const FormulaView&, const CellResult&, const CellResult& calc) {
  // Calc's Err:522, against the 0 the other spreadsheet saves in a cycle.
  if (IsError(calc, "Err:522 circular reference")) return "circular reference";
  return std::nullopt;
}

}  // namespace refhost::differences
