#include "excel/calc/calc_values.h"

#include <algorithm>
#include <cctype>

#include "com/error.h"
#include "excel/errors.h"
#include "text/ascii.h"
#include "text/number.h"
#include "text/utf8.h"

namespace excel::calc {
namespace {

using text::EqualsNoCase;
using text::LowerAscii;

// A cell's text is trimmed of blanks, tabs and no-break spaces.
std::u16string_view Trim(std::u16string_view text) {
  return text::Trim(text, u" \t\u00A0");
}

std::string LowerExtension(std::string_view path) {
  const std::size_t slash = path.find_last_of("/\\");
  const std::string_view name = slash == std::string_view::npos ? path : path.substr(slash + 1);
  const std::size_t dot = name.rfind('.');
  if (dot == std::string_view::npos) return {};
  std::string extension(name.substr(dot + 1));
  for (char& c : extension)
    c = LowerAscii(c);
  return extension;
}

// One corner or edge of an A1 reference: "$B$7", "B", "7". Column and row
// are -1 when absent.
struct RefPart {
  std::int32_t column = -1;
  std::int32_t row = -1;
};

std::optional<RefPart> ParseRefPart(std::string_view text) {
  RefPart part;
  std::size_t at = 0;
  if (at < text.size() && text[at] == '$') ++at;
  std::int64_t column = 0;
  std::size_t letters = 0;
  while (at < text.size() && std::isalpha(static_cast<unsigned char>(text[at]))) {
    column = column * 26 + (LowerAscii(text[at]) - 'a' + 1);
    if (column > kMaxColumns) return std::nullopt;
    ++at;
    ++letters;
  }
  if (letters > 0) part.column = static_cast<std::int32_t>(column - 1);
  if (at < text.size() && text[at] == '$') {
    if (letters == 0 && at > 0) return std::nullopt;  // "$$7"
    ++at;
  }
  std::int64_t row = 0;
  std::size_t digits = 0;
  while (at < text.size() && std::isdigit(static_cast<unsigned char>(text[at]))) {
    row = row * 10 + (text[at] - '0');
    if (row > kMaxRows) return std::nullopt;
    ++at;
    ++digits;
  }
  if (at != text.size()) return std::nullopt;
  if (digits > 0) {
    if (row == 0) return std::nullopt;
    part.row = static_cast<std::int32_t>(row - 1);
  }
  if (letters == 0 && digits == 0) return std::nullopt;
  return part;
}

bool HasDigit(std::u16string_view text) {
  return std::any_of(text.begin(), text.end(), [](char16_t c) { return c >= u'0' && c <= u'9'; });
}

bool IsIdentifierChar(char c) {
  return std::isalnum(static_cast<unsigned char>(c)) || c == '_';
}

std::vector<std::string> SplitDots(std::string_view text) {
  std::vector<std::string> parts;
  std::size_t start = 0;
  for (;;) {
    const std::size_t dot = text.find('.', start);
    parts.emplace_back(text.substr(start, dot == std::string_view::npos ? text.npos : dot - start));
    if (dot == std::string_view::npos) break;
    start = dot + 1;
  }
  return parts;
}

bool IsBasicIdentifier(std::string_view text) {
  if (text.empty() || !std::isalpha(static_cast<unsigned char>(text.front()))) return false;
  return std::all_of(text.begin(), text.end(), IsIdentifierChar);
}

// The next word of a Basic line (letters, digits, underscores).
std::string_view NextWord(std::string_view& line) {
  line = text::Trim(line);
  std::size_t n = 0;
  while (n < line.size() && IsIdentifierChar(line[n]))
    ++n;
  std::string_view word = line.substr(0, n);
  line.remove_prefix(n);
  return word;
}

}  // namespace

const com::VARIANT& Dereferenced(const com::VARIANT& value) {
  return value.vt == (com::VT_BYREF | com::VT_VARIANT) && value.pvarVal != nullptr ? *value.pvarVal
                                                                                   : value;
}

com::SCODE ExcelErrorFromCalc(std::int32_t calcError) {
  switch (calcError) {
    case 521:  // no code / empty intersection
      return kErrNull;
    case 532:
      return kErrDiv0;
    case 524:  // invalid reference
      return kErrRef;
    case 525:  // unknown name
    case 527:  // add-in missing
    case 528:  // macro missing
      return kErrName;
    case 502:  // invalid argument (SQRT(-1), LN(0))
    case 503:  // invalid floating point operation
    case 523:  // no convergence
      return kErrNum;
    case 32767:
      return kErrNA;
    default:
      return kErrValue;
  }
}

std::optional<std::string> ErrorFormula(com::SCODE code) {
  switch (static_cast<std::uint32_t>(code)) {
    case 0x800A07D0u:
      return "=#NULL!";
    case 0x800A07D7u:
      return "=#DIV/0!";
    case 0x800A07DFu:
      return "=#VALUE!";
    case 0x800A07E7u:
      return "=#REF!";
    case 0x800A07EDu:
      return "=#NAME?";
    case 0x800A07F4u:
      return "=#NUM!";
    case 0x800A07FAu:
      return "=#N/A";
    default:
      return std::nullopt;
  }
}

std::optional<com::SCODE> ErrorValueNamed(std::u16string_view text) {
  for (const ErrorValueNaming& named : kErrorValueNames) {
    if (EqualsNoCase(text, std::u16string(named.name.begin(), named.name.end()))) return named.code;
  }
  return std::nullopt;
}

std::u16string SpreadsheetFormulaForParser(std::u16string_view formula) {
  struct Replacement {
    const char16_t* literal;
    const char16_t* expression;
  };
  static constexpr Replacement kErrors[] = {
      {u"#N/A", u"NA()"},      {u"#DIV/0!", u"(1/0)"},          {u"#VALUE!", u"(\"a\"*1)"},
      {u"#NUM!", u"SQRT(-1)"}, {u"#REF!", u"INDIRECT(\"A0\")"},
  };
  const auto isWordChar = [](char16_t c) {
    return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z') || (c >= u'0' && c <= u'9') ||
           c == u'_' || c == u'.';
  };
  std::u16string out;
  out.reserve(formula.size() + 8);
  std::size_t i = 0;
  while (i < formula.size()) {
    const char16_t c = formula[i];
    if (c == u'"' || c == u'\'') {
      // A text or a quoted sheet name; a doubled quote stays inside.
      const std::size_t start = i++;
      while (i < formula.size()) {
        if (formula[i] == c) {
          if (i + 1 < formula.size() && formula[i + 1] == c) {
            i += 2;
            continue;
          }
          ++i;
          break;
        }
        ++i;
      }
      out.append(formula.substr(start, i - start));
      continue;
    }
    if (c == u'#') {
      bool replaced = false;
      for (const Replacement& error : kErrors) {
        const std::u16string_view literal(error.literal);
        if (EqualsNoCase(formula.substr(i, literal.size()), literal)) {
          out += error.expression;
          i += literal.size();
          replaced = true;
          break;
        }
      }
      if (!replaced) out += formula[i++];
      continue;
    }
    if (isWordChar(c)) {
      const std::size_t start = i;
      while (i < formula.size() && isWordChar(formula[i]))
        ++i;
      const std::u16string_view word = formula.substr(start, i - start);
      out.append(word);
      const char16_t before = start > 0 ? formula[start - 1] : u' ';
      std::size_t next = i;
      while (next < formula.size() && formula[next] == u' ')
        ++next;
      const char16_t after = next < formula.size() ? formula[next] : u' ';
      // A constant, not a function call, a sheet name or part of a reference.
      if ((EqualsNoCase(word, u"TRUE") || EqualsNoCase(word, u"FALSE")) && after != u'(' &&
          after != u'!' && after != u':' && before != u'!' && before != u':' && before != u'$')
        out += u"()";
      continue;
    }
    out += formula[i++];
  }
  return out;
}

bool IsFormulaSyntaxError(std::int32_t calcError) {
  switch (calcError) {
    case 501:  // invalid character
    case 507:  // missing pair
    case 508:  // missing bracket
    case 509:  // missing operator
    case 510:  // missing variable
    case 511:  // missing variable
    case 512:  // formula overflow
    case 513:  // string overflow
    case 514:  // internal overflow
    case 516:  // internal syntax error
    case 517:  // internal syntax error
    case 518:  // internal syntax error
    case 520:  // internal syntax error
      return true;
    default:
      return false;
  }
}

std::optional<CellArea> ParseA1Area(std::string_view text) {
  const std::size_t colon = text.find(':');
  const std::string_view first = text.substr(0, colon);
  const std::optional<RefPart> a = ParseRefPart(first);
  if (!a) return std::nullopt;
  RefPart b = *a;
  if (colon != std::string_view::npos) {
    const std::optional<RefPart> second = ParseRefPart(text.substr(colon + 1));
    if (!second) return std::nullopt;
    b = *second;
  }
  const bool aCell = a->column >= 0 && a->row >= 0;
  const bool bCell = b.column >= 0 && b.row >= 0;
  CellArea area;
  if (aCell && bCell) {
    area.firstColumn = std::min(a->column, b.column);
    area.lastColumn = std::max(a->column, b.column);
    area.firstRow = std::min(a->row, b.row);
    area.lastRow = std::max(a->row, b.row);
    return area;
  }
  if (colon == std::string_view::npos) return std::nullopt;          // "B" or "7" alone
  if (a->row < 0 && b.row < 0 && a->column >= 0 && b.column >= 0) {  // "A:C"
    area.firstColumn = std::min(a->column, b.column);
    area.lastColumn = std::max(a->column, b.column);
    area.firstRow = 0;
    area.lastRow = kMaxRows - 1;
    return area;
  }
  if (a->column < 0 && b.column < 0 && a->row >= 0 && b.row >= 0) {  // "3:5"
    area.firstRow = std::min(a->row, b.row);
    area.lastRow = std::max(a->row, b.row);
    area.firstColumn = 0;
    area.lastColumn = kMaxColumns - 1;
    return area;
  }
  return std::nullopt;
}

CellArea BoundingArea(const CellArea& a, const CellArea& b) {
  return CellArea{std::min(a.firstColumn, b.firstColumn), std::min(a.firstRow, b.firstRow),
                  std::max(a.lastColumn, b.lastColumn), std::max(a.lastRow, b.lastRow)};
}

std::optional<double> ParsePlainNumber(std::u16string_view text) {
  text = Trim(text);
  if (text.empty() || text.size() > 400) return std::nullopt;
  std::string ascii;
  ascii.reserve(text.size());
  for (const char16_t c : text) {
    if (c > 0x7F) return std::nullopt;
    ascii += static_cast<char>(c);
  }
  return text::ParseWholeNumber(ascii);
}

CellInput ClassifyText(std::u16string_view text) {
  CellInput input;
  if (text.empty()) return input;  // kEmpty
  if (text.front() == u'\'') {
    input.kind = InputKind::kText;
    input.text = std::u16string(text.substr(1));
    return input;
  }
  if (text.front() == u'=' && text.size() > 1) {
    input.kind = InputKind::kFormula;
    input.text = std::u16string(text);
    return input;
  }
  const std::u16string_view trimmed = Trim(text);
  if (const std::optional<com::SCODE> error = ErrorValueNamed(trimmed)) {
    input.kind = InputKind::kError;
    input.error = *error;
    return input;
  }
  if (EqualsNoCase(trimmed, u"TRUE") || EqualsNoCase(trimmed, u"FALSE")) {
    input.kind = InputKind::kLogical;
    input.number = EqualsNoCase(trimmed, u"TRUE") ? 1 : 0;
    return input;
  }
  if (const std::optional<double> number = ParsePlainNumber(text)) {
    input.kind = InputKind::kNumber;
    input.number = *number;
    return input;
  }
  input.text = std::u16string(text);
  // Without a digit the office's recognition can only give text (a month
  // name alone stays text), so it is stored directly.
  input.kind = HasDigit(text) ? InputKind::kTyped : InputKind::kText;
  return input;
}

namespace {

// The number a numeric VARIANT holds (dates are day numbers).
double NumberOf(const com::VARIANT& value) {
  switch (value.vt) {
    case com::VT_R8:
      return value.dblVal;
    case com::VT_DATE:
      return value.date;
    case com::VT_R4:
      return value.fltVal;
    case com::VT_I4:
    case com::VT_INT:
      return value.lVal;
    case com::VT_I2:
      return value.iVal;
    case com::VT_I1:
      return value.cVal;
    case com::VT_UI1:
      return value.bVal;
    case com::VT_UI2:
      return value.uiVal;
    case com::VT_UI4:
    case com::VT_UINT:
      return value.ulVal;
    case com::VT_I8:
      return static_cast<double>(value.llVal);
    default:
      return static_cast<double>(value.ullVal);  // VT_UI8
  }
}

}  // namespace

CellInput ClassifyValue(const com::VARIANT& value) {
  if (value.vt == (com::VT_BYREF | com::VT_VARIANT) && value.pvarVal != nullptr)
    return ClassifyValue(*value.pvarVal);
  CellInput input;
  switch (value.vt) {
    case com::VT_EMPTY:
    case com::VT_NULL:
      return input;
    case com::VT_R8:
    case com::VT_DATE:
    case com::VT_R4:
    case com::VT_I4:
    case com::VT_INT:
    case com::VT_I2:
    case com::VT_I1:
    case com::VT_UI1:
    case com::VT_UI2:
    case com::VT_UI4:
    case com::VT_UINT:
    case com::VT_I8:
    case com::VT_UI8:
      input.kind = InputKind::kNumber;
      input.number = NumberOf(value);
      return input;
    case com::VT_BOOL:
      input.kind = InputKind::kLogical;
      input.number = value.boolVal != com::VARIANT_FALSE ? 1 : 0;
      return input;
    case com::VT_BSTR:
      return ClassifyText(
          std::u16string_view(value.bstrVal == nullptr ? u"" : value.bstrVal,
                              value.bstrVal == nullptr ? 0 : GmSysStringLen(value.bstrVal)));
    case com::VT_ERROR:
      if (!ErrorFormula(value.scode)) com::Throw(com::DISP_E_TYPEMISMATCH);
      input.kind = InputKind::kError;
      input.error = value.scode;
      return input;
    default:
      com::Throw(com::DISP_E_TYPEMISMATCH);
  }
}

const com::VARIANT* ArrayElementFor(const com::VariantGrid& block, std::int32_t row,
                                    std::int32_t column) {
  const auto rows = static_cast<std::int32_t>(block.Rows());
  const auto columns = static_cast<std::int32_t>(block.Columns());
  if (rows == 0 || columns == 0) return nullptr;
  const std::int32_t r = rows == 1 ? 0 : row;
  const std::int32_t c = columns == 1 ? 0 : column;
  if (r >= rows || c >= columns) return nullptr;
  return &block.At(block.FirstRow() + r, block.FirstColumn() + c);
}

std::optional<std::string> SaveFilterForPath(std::string_view path) {
  const std::string extension = LowerExtension(path);
  if (extension == "xlsx") return "Calc MS Excel 2007 XML";
  if (extension == "xlsm") return "Calc MS Excel 2007 VBA XML";
  if (extension == "xls") return "MS Excel 97";
  if (extension == "ods") return "calc8";
  if (extension == "fods") return "OpenDocument Spreadsheet Flat XML";
  if (extension == "csv") return "Text - txt - csv (StarCalc)";
  return std::nullopt;
}

std::optional<ImportFilter> ImportFilterForPath(std::string_view path) {
  // Comma separated, double quotes around texts, UTF-8, from line 1, column
  // types detected, numbers read the en-US way, as a spreadsheet opens them.
  if (LowerExtension(path) == "csv")
    return ImportFilter{"Text - txt - csv (StarCalc)", "44,34,76,1,,1033,false,true"};
  return std::nullopt;
}

bool IsAcceptableSheetName(std::u16string_view name) {
  if (name.empty() || name.size() > 31) return false;
  if (name.front() == u'\'' || name.back() == u'\'') return false;
  return name.find_first_of(u"[]:*?/\\") == std::u16string_view::npos;
}

std::optional<MacroName> ParseMacroName(std::string_view text) {
  text = text::Trim(text);
  MacroName name;
  std::string_view rest = text;
  if (!rest.empty() && rest.front() == '\'') {
    const std::size_t close = rest.find("'!", 1);
    if (close == std::string_view::npos) return std::nullopt;
    name.book = std::string(rest.substr(1, close - 1));
    rest.remove_prefix(close + 2);
    if (name.book.empty()) return std::nullopt;
  } else if (const std::size_t bang = rest.find('!'); bang != std::string_view::npos) {
    name.book = std::string(rest.substr(0, bang));
    rest.remove_prefix(bang + 1);
    if (name.book.empty()) return std::nullopt;
  }
  const std::vector<std::string> parts = SplitDots(rest);
  if (parts.size() > 3) return std::nullopt;
  for (const std::string& part : parts) {
    if (!IsBasicIdentifier(part)) return std::nullopt;
  }
  name.procedure = parts.back();
  if (parts.size() >= 2) name.module = parts[parts.size() - 2];
  if (parts.size() == 3) name.library = parts[0];
  return name;
}

namespace {

// The procedure a line of Basic declares, if it declares one.
std::optional<BasicProcedure> DeclaredProcedure(std::string_view line) {
  std::string_view word = NextWord(line);
  // Modifiers that may stand before the declaration.
  while (EqualsNoCase(word, "public") || EqualsNoCase(word, "private") ||
         EqualsNoCase(word, "static") || EqualsNoCase(word, "friend")) {
    word = NextWord(line);
  }
  const bool isSub = EqualsNoCase(word, "sub");
  const bool isFunction = EqualsNoCase(word, "function");
  if (!isSub && !isFunction) return std::nullopt;
  const std::string_view procedure = NextWord(line);
  if (!IsBasicIdentifier(procedure)) return std::nullopt;
  return BasicProcedure{std::string(procedure), isFunction};
}

bool EndsProcedure(std::string_view line) {
  if (!EqualsNoCase(NextWord(line), "end")) return false;
  const std::string_view what = NextWord(line);
  return EqualsNoCase(what, "sub") || EqualsNoCase(what, "function");
}

// Calls `visit(line, procedure)` for every line of `source`, `procedure`
// being the index of the procedure the line belongs to, or -1 outside any.
template <typename Visit>
void ForEachLine(std::string_view source, Visit&& visit) {
  std::size_t start = 0;
  int procedures = 0;
  bool inside = false;
  while (start <= source.size()) {
    std::size_t end = source.find_first_of("\r\n", start);
    if (end == std::string_view::npos) end = source.size();
    const std::string_view line = source.substr(start, end - start);
    // CR LF ends one line.
    start = end + (source.compare(end, 2, "\r\n") == 0 ? 2 : 1);
    if (!inside && DeclaredProcedure(line)) {
      inside = true;
      ++procedures;
    }
    visit(line, inside ? procedures - 1 : -1);
    if (inside && EndsProcedure(line)) inside = false;
  }
}

}  // namespace

std::vector<BasicProcedure> FindBasicProcedures(std::string_view source) {
  std::vector<BasicProcedure> procedures;
  std::size_t start = 0;
  while (start <= source.size()) {
    std::size_t end = source.find_first_of("\r\n", start);
    if (end == std::string_view::npos) end = source.size();
    const std::string_view line = source.substr(start, end - start);
    start = end + 1;
    if (std::optional<BasicProcedure> procedure = DeclaredProcedure(line))
      procedures.push_back(std::move(*procedure));
  }
  return procedures;
}

std::string SourceWithOnlyProcedure(std::string_view source, std::size_t keep) {
  std::string kept;
  ForEachLine(source, [&](std::string_view line, int procedure) {
    if (procedure < 0 || static_cast<std::size_t>(procedure) == keep) kept += line;
    kept += '\n';
  });
  return kept;
}

const MacroEntry* FindMacro(const std::vector<MacroEntry>& entries, const MacroName& name) {
  for (const MacroEntry& entry : entries) {
    if (!EqualsNoCase(entry.procedure.name, name.procedure)) continue;
    if (!name.module.empty() && !EqualsNoCase(entry.module, name.module)) continue;
    if (!name.library.empty() && !EqualsNoCase(entry.library, name.library)) continue;
    return &entry;
  }
  return nullptr;
}

}  // namespace excel::calc
