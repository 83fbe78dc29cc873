#include "excel/calc/formulas/structured_references.h"

#include <algorithm>
#include <cctype>
#include <climits>

#include "excel/calc/formulas/formula_text.h"
#include "text/ascii.h"

namespace excel::calc {
namespace {

constexpr std::size_t kNone = std::string_view::npos;

// The rows of a table a reference names.
enum Part : unsigned { kHeaders = 1, kData = 2, kTotals = 4, kAll = 8, kThisRow = 16 };

struct Specifier {
  unsigned parts = 0;  // none: the data rows
  std::optional<std::string> firstColumn, lastColumn;
};

bool IsNameCharacter(char c) {
  const auto u = static_cast<unsigned char>(c);
  return std::isalnum(u) || c == '_' || c == '.' || c == '\\' || c == '?' || u >= 0x80;
}

std::string_view Trimmed(std::string_view text) {
  while (!text.empty() && text.front() == ' ')
    text.remove_prefix(1);
  while (!text.empty() && text.back() == ' ')
    text.remove_suffix(1);
  return text;
}

std::string Unescaped(std::string_view name) {
  std::string out;
  for (std::size_t i = 0; i < name.size(); ++i) {
    if (name[i] == '\'' && i + 1 < name.size()) ++i;
    out += name[i];
  }
  return out;
}

std::optional<unsigned> SpecialItem(std::string_view item) {
  static constexpr std::pair<std::string_view, Part> kItems[] = {{"#All", kAll},
                                                                 {"#Data", kData},
                                                                 {"#Headers", kHeaders},
                                                                 {"#Totals", kTotals},
                                                                 {"#This Row", kThisRow}};
  item = Trimmed(item);
  for (const auto& [name, part] : kItems)
    if (text::EqualsNoCase(item, name)) return part;
  return std::nullopt;
}

// "[#Totals],[Amount]" or "[Column1]:[Column3]": bracketed items separated
// by commas, two columns joined by a colon naming the columns between.
bool ParseItemList(std::string_view body, Specifier& specifier) {
  bool rangeOpen = false;
  std::size_t at = 0;
  const auto skipSpaces = [&] {
    while (at < body.size() && body[at] == ' ')
      ++at;
  };
  while (true) {
    skipSpaces();
    if (at >= body.size() || body[at] != '[') return false;
    const std::size_t end = BracketEnd(body, at);
    if (end == kNone) return false;
    const std::string_view inner = body.substr(at + 1, end - at - 2);
    at = end;
    skipSpaces();
    const bool range = at < body.size() && body[at] == ':';
    if (const std::optional<unsigned> special = SpecialItem(inner)) {
      if (range || rangeOpen) return false;
      specifier.parts |= *special;
    } else if (rangeOpen) {
      specifier.lastColumn = Unescaped(inner);
    } else {
      if (specifier.firstColumn) return false;  // two columns, not as a range
      specifier.firstColumn = specifier.lastColumn = Unescaped(inner);
    }
    rangeOpen = range;
    if (at >= body.size()) return !rangeOpen;
    if (body[at] != ':' && body[at] != ',') return false;
    ++at;
  }
}

// What is between a reference's outer brackets.
std::optional<Specifier> ParseSpecifier(std::string_view body) {
  Specifier specifier;
  body = Trimmed(body);
  if (!body.empty() && body.front() == '@') {  // this row, as typed
    specifier.parts = kThisRow;
    body = Trimmed(body.substr(1));
  }
  if (body.empty()) return specifier;
  if (body.front() == '[') {
    if (!ParseItemList(body, specifier)) return std::nullopt;
    return specifier;
  }
  if (const std::optional<unsigned> special = SpecialItem(body)) {
    specifier.parts |= *special;
  } else {
    specifier.firstColumn = specifier.lastColumn = Unescaped(body);
  }
  return specifier;
}

int ColumnIndex(const WorkbookTable& table, const std::string& name) {
  for (std::size_t i = 0; i < table.columns.size(); ++i)
    if (text::EqualsNoCase(table.columns[i], name)) return static_cast<int>(i);
  return -1;
}

// The first and last row a reference's parts name, for a cell in `row`.
std::optional<std::pair<int, int>> RowsOf(unsigned parts, const WorkbookTable& table, int sheet,
                                          int row) {
  const CellArea& area = table.area;
  const int dataFirst = area.firstRow + table.headerRows;
  const int dataLast = area.lastRow - table.totalsRows;
  if (parts == 0) parts = kData;
  if ((parts & kAll) != 0) return std::pair(area.firstRow, area.lastRow);
  if ((parts & kThisRow) != 0) {
    if (parts != kThisRow || sheet != table.sheet || row < dataFirst || row > dataLast)
      return std::nullopt;
    return std::pair(row, row);
  }
  if (parts == (kHeaders | kTotals)) return std::nullopt;  // not one block
  int top = INT_MAX;
  int bottom = INT_MIN;
  const std::pair<Part, std::pair<int, int>> blocks[] = {{kHeaders, {area.firstRow, dataFirst - 1}},
                                                         {kData, {dataFirst, dataLast}},
                                                         {kTotals, {dataLast + 1, area.lastRow}}};
  for (const auto& [part, rows] : blocks) {
    if ((parts & part) == 0) continue;
    if (rows.first > rows.second) return std::nullopt;  // the table has no such rows
    top = std::min(top, rows.first);
    bottom = std::max(bottom, rows.second);
  }
  return std::pair(top, bottom);
}

std::optional<std::string> Resolve(const Specifier& specifier, const WorkbookTable& table,
                                   const std::vector<std::string>& sheetNames, int sheet, int row) {
  int first = 0;
  int last = static_cast<int>(table.columns.size()) - 1;
  if (specifier.firstColumn) {
    first = ColumnIndex(table, *specifier.firstColumn);
    last = ColumnIndex(table, *specifier.lastColumn);
    if (first < 0 || last < 0) return std::nullopt;
    if (first > last) std::swap(first, last);
  }
  const std::optional<std::pair<int, int>> rows = RowsOf(specifier.parts, table, sheet, row);
  if (!rows || last < 0) return std::nullopt;
  const CellArea cells{table.area.firstColumn + first, rows->first, table.area.firstColumn + last,
                       rows->second};
  if (table.sheet == sheet) return AbsoluteA1(cells);
  if (table.sheet < 0 || static_cast<std::size_t>(table.sheet) >= sheetNames.size())
    return std::nullopt;
  return SheetPrefix(sheetNames[static_cast<std::size_t>(table.sheet)]) + "!" + AbsoluteA1(cells);
}

const WorkbookTable* FindTable(const std::vector<WorkbookTable>& tables, std::string_view name,
                               std::size_t& index) {
  for (index = 0; index < tables.size(); ++index)
    if (text::EqualsNoCase(tables[index].name, name)) return &tables[index];
  return nullptr;
}

const WorkbookTable* TableHolding(const std::vector<WorkbookTable>& tables, int sheet, int row,
                                  int column) {
  for (const WorkbookTable& table : tables) {
    const CellArea& a = table.area;
    if (table.sheet == sheet && row >= a.firstRow && row <= a.lastRow && column >= a.firstColumn &&
        column <= a.lastColumn)
      return &table;
  }
  return nullptr;
}

// Rewrites the formula from left to right; each Take... consumes what
// starts at `at` and appends its replacement.
class Rewriter {
 public:
  Rewriter(std::string_view formula, const std::vector<WorkbookTable>& tables,
           const std::vector<std::string>& sheetNames, int sheet, int row, int column)
      : formula_(formula),
        tables_(tables),
        sheetNames_(sheetNames),
        sheet_(sheet),
        row_(row),
        column_(column) {}

  std::optional<StructuredRewrite> Run() {
    while (at_ < formula_.size()) {
      const char c = formula_[at_];
      bool taken = true;
      if (c == '"' || c == '\'') {
        Copy(QuotedEnd(formula_, at_));
      } else if (c == '[') {
        taken = TakeBracket();
      } else if (IsNameCharacter(c) && (at_ == 0 || !IsNameCharacter(formula_[at_ - 1]))) {
        taken = TakeName();
      } else {
        Copy(at_ + 1);
      }
      if (!taken) return std::nullopt;
    }
    if (!found_) return std::nullopt;
    return std::move(result_);
  }

 private:
  void Copy(std::size_t end) {
    result_.formula.append(formula_.substr(at_, end - at_));
    at_ = end;
  }

  bool Put(const Specifier& specifier, const WorkbookTable& table, std::size_t end) {
    const std::optional<std::string> reference =
        Resolve(specifier, table, sheetNames_, sheet_, row_);
    if (!reference) return false;
    result_.formula += *reference;
    at_ = end;
    found_ = true;
    return true;
  }

  // "[Amount]" with no table before it: the table holding the cell.
  bool TakeBracket() {
    const std::size_t end = BracketEnd(formula_, at_);
    if (end == kNone) return false;
    // [1]Sheet1!A1: another workbook's sheet.
    if (end < formula_.size() &&
        (IsNameCharacter(formula_[end]) || formula_[end] == '\'' || formula_[end] == '!')) {
      Copy(end);
      return true;
    }
    const WorkbookTable* table = TableHolding(tables_, sheet_, row_, column_);
    const std::optional<Specifier> specifier =
        ParseSpecifier(formula_.substr(at_ + 1, end - at_ - 2));
    if (table == nullptr || !specifier) return false;
    result_.misread = true;
    return Put(*specifier, *table, end);
  }

  bool TakeName() {
    std::size_t end = at_;
    while (end < formula_.size() && IsNameCharacter(formula_[end]))
      ++end;
    const std::string_view name = formula_.substr(at_, end - at_);
    const bool qualified = at_ > 0 && formula_[at_ - 1] == '!';
    std::size_t index = 0;
    const WorkbookTable* table = FindTable(tables_, name, index);
    if (end < formula_.size() && formula_[end] == '[') {
      // Only a table's name comes before a bracket; one of another
      // workbook cannot be resolved.
      const std::size_t close = BracketEnd(formula_, end);
      if (table == nullptr || qualified || close == kNone) return false;
      const std::optional<Specifier> specifier =
          ParseSpecifier(formula_.substr(end + 1, close - end - 2));
      if (!specifier) return false;
      if (std::find(result_.tables.begin(), result_.tables.end(), index) == result_.tables.end())
        result_.tables.push_back(index);
      return Put(*specifier, *table, close);
    }
    const bool called = end < formula_.size() && (formula_[end] == '(' || formula_[end] == '!');
    if (table == nullptr || qualified || called) {
      Copy(end);
      return true;
    }
    result_.misread = true;
    return Put(Specifier{}, *table, end);
  }

  std::string_view formula_;
  const std::vector<WorkbookTable>& tables_;
  const std::vector<std::string>& sheetNames_;
  int sheet_, row_, column_;
  std::size_t at_ = 0;
  bool found_ = false;
  StructuredRewrite result_;
};

}  // namespace

std::optional<StructuredRewrite> WithoutStructuredReferences(
    std::string_view formula, const std::vector<WorkbookTable>& tables,
    const std::vector<std::string>& sheetNames, int sheet, int row, int column) {
  if (tables.empty()) return std::nullopt;
  return Rewriter(formula, tables, sheetNames, sheet, row, column).Run();
}

std::string SheetPrefix(std::string_view sheet) {
  bool plain = !sheet.empty() && !std::isdigit(static_cast<unsigned char>(sheet.front()));
  for (const char c : sheet)
    plain = plain && (std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '.');
  // "B7", "R1C1" and "RC" would read as cells.
  const std::size_t r1c1 = sheet.find_first_not_of("RrCc0123456789");
  if (plain && !ParseA1Area(sheet) && r1c1 != kNone) return std::string(sheet);
  std::string quoted = "'";
  for (const char c : sheet) {
    if (c == '\'') quoted += '\'';
    quoted += c;
  }
  return quoted + "'";
}

std::vector<std::string> OriginalSpelling(const std::vector<std::string>& parts,
                                          std::string_view original) {
  std::vector<std::string> spelled;
  std::size_t from = 0;
  for (const std::string& part : parts) {
    std::size_t at = from;
    while (at + part.size() <= original.size() &&
           !text::EqualsNoCase(original.substr(at, part.size()), part))
      ++at;
    if (part.empty() || at + part.size() > original.size()) {
      spelled.push_back(part);
      continue;
    }
    spelled.emplace_back(original.substr(at, part.size()));
    from = at + part.size();
  }
  return spelled;
}

}  // namespace excel::calc
