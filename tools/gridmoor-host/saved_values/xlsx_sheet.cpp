// Worksheet parts (<c r="B2" t="..."><f>..</f><v>..</v></c>) and the shared
// strings, read as their XML streams by. Cells of a shared formula and
// every cell inside an array formula's ref count as formula cells.
#include "saved_values/xlsx_sheet.h"

#include <algorithm>
#include <deque>
#include <map>
#include <optional>

#include "common/csv.h"
#include "excel/calc/cells/cell_input.h"
#include "excel/calc/formulas/sheet_addresses.h"
#include "excel/calc/packages/xlsx_package.h"
#include "saved_values/xml_stream.h"
#include "text/utf8.h"

namespace refhost {
namespace {

using excel::CellResult;
using excel::calc::kMaxColumns;
using excel::calc::kMaxRows;
using excel::calc::LocalName;

// The text of a shared string or inline string as its events come: its
// <t>s, and the first <t> of each run <r> (phonetic runs left out).
class StringItem {
 public:
  void Begin(int depth) {
    depth_ = depth;
    target_ = 0;
    text_.clear();
  }
  void Start(std::string_view local, int depth) {
    if (depth == depth_ + 1) {
      inRun_ = local == "r";
      runText_ = false;
      if (local == "t") target_ = depth;
    } else if (depth == depth_ + 2 && inRun_ && !runText_ && local == "t") {
      runText_ = true;
      target_ = depth;
    }
  }
  void End(int depth) {
    if (depth == target_) target_ = 0;
  }
  void Text(std::string_view text, int depth) {
    if (depth == target_) text_.append(text);
  }
  std::string& text() { return text_; }

 private:
  int depth_ = 0;
  int target_ = 0;  // the depth of the <t> being read, 0 for none
  bool inRun_ = false;
  bool runText_ = false;
  std::string text_;
};

class SharedStringsReader : public XmlStream {
 public:
  explicit SharedStringsReader(std::vector<std::string>& strings) : strings_(strings) {}

 private:
  void Start(std::string_view name, const XmlAttributes&, int depth) override {
    const std::string_view local = LocalName(name.data());
    if (depth == 1) inTable_ = local == "sst";
    if (depth == 2 && inTable_ && local == "si") {
      inItem_ = true;
      item_.Begin(depth);
    } else if (inItem_) {
      item_.Start(local, depth);
    }
  }
  void End(int depth) override {
    if (inItem_ && depth == 2) {
      strings_.push_back(std::move(item_.text()));
      inItem_ = false;
    } else if (inItem_) {
      item_.End(depth);
    }
  }
  void Text(std::string_view text, int depth) override {
    if (inItem_) item_.Text(text, depth);
  }

  std::vector<std::string>& strings_;
  StringItem item_;
  bool inTable_ = false;
  bool inItem_ = false;
};

// A <c> element as read: what its value and formula need.
struct CellXml {
  std::string ref, type;  // r, t
  bool hasFormula = false, hasValue = false, hasInline = false;
  std::string formula, formulaType, formulaRef, formulaSi;
  std::string value;  // <v>
  StringItem inlineText;

  void Clear() {
    ref.clear();
    type.clear();
    hasFormula = hasValue = hasInline = false;
    formula.clear();
    value.clear();
    inlineText.Begin(0);
  }
};

std::optional<double> Number(const std::string& text) {
  return excel::calc::ParsePlainNumber(text::Utf8ToUtf16(text));
}

// An ISO 8601 date as the spreadsheet's serial number: day 1 is 1900-01-01,
// and the 29 February 1900 it counts (serial 60) makes serials from 61 on
// days since 1899-12-30; with date1904, day 0 is 1904-01-01.
std::optional<double> DateSerial(const std::string& text, bool date1904) {
  const std::optional<CivilDate> date = ParseIsoDate(text);
  if (!date) return std::nullopt;
  const auto [year, month, day, time] = *date;
  long days = DaysFromEpoch(year, static_cast<unsigned>(month), static_cast<unsigned>(day));
  if (date1904) {
    days -= DaysFromEpoch(1904, 1, 1);
  } else if (year == 1900 && month == 2 && day == 29) {
    days = 60;
  } else if (days < 61) {
    days -= 1;
  }
  return static_cast<double>(days) + time;
}

CellResult CachedValue(CellXml& cell, const ValueContext& context, bool& hasValue) {
  hasValue = true;
  if (cell.type == "inlineStr")
    return CellResult{CellResult::Kind::kText, 0, cell.inlineText.text()};
  if (!cell.hasValue) {
    hasValue = false;
    return {};
  }
  const std::string& text = cell.value;
  std::optional<double> number;
  if (cell.type == "str") return CellResult{CellResult::Kind::kText, 0, text};
  if (cell.type == "e") return CellResult{CellResult::Kind::kError, 0, text};
  if (cell.type == "b") return CellResult{CellResult::Kind::kLogical, text == "1" ? 1.0 : 0.0, {}};
  if (cell.type == "s") {
    const std::optional<double> index = Number(text);
    if (index && *index >= 0 && *index < static_cast<double>(context.strings.size()))
      return CellResult{CellResult::Kind::kText, 0,
                        context.strings[static_cast<std::size_t>(*index)]};
  } else if (cell.type == "d") {
    number = DateSerial(text, context.date1904);
  } else {
    number = Number(text);
  }
  if (number) return CellResult{CellResult::Kind::kNumber, *number, {}};
  hasValue = false;
  return {};
}

struct ArrayArea {
  excel::calc::CellArea area;
  std::string formula;
};

// The array formulas of a sheet as the sweep down its rows meets them: the
// cells an array fills carry only their values, and each plain cell inside
// an array's area becomes a formula cell of that array. Arrays wait until
// the sweep reaches their first row, and are kept by their first column
// while they span the row at hand (arrays do not overlap; one that would is
// left out). A sheet lists its cells row by row, so each array's first cell
// comes before the others.
class ArraySweep {
 public:
  void Add(const excel::calc::CellArea& area, const std::string& formula) {
    arrays_.push_back(ArrayArea{area, formula});
    waiting_.emplace(area.firstRow, &arrays_.back());
  }
  // The array whose area holds the plain cell at `row`, `column`; null when
  // none does.
  const ArrayArea* Holding(int row, int column) {
    if (arrays_.empty()) return nullptr;
    for (; !ends_.empty() && ends_.begin()->first < row; ends_.erase(ends_.begin()))
      spanning_.erase(ends_.begin()->second);
    for (auto next = waiting_.begin(); next != waiting_.end() && next->first <= row;
         next = waiting_.erase(next)) {
      const excel::calc::CellArea& area = next->second->area;
      const auto after = spanning_.lower_bound(area.firstColumn);
      if (area.lastRow < row || (after != spanning_.end() && after->first <= area.lastColumn) ||
          (after != spanning_.begin() &&
           std::prev(after)->second->area.lastColumn >= area.firstColumn))
        continue;
      spanning_.emplace(area.firstColumn, next->second);
      ends_.emplace(area.lastRow, area.firstColumn);
    }
    auto found = spanning_.upper_bound(column);
    if (found == spanning_.begin() || (--found)->second->area.lastColumn < column) return nullptr;
    return found->second;
  }

 private:
  std::deque<ArrayArea> arrays_;
  std::multimap<int, const ArrayArea*> waiting_;  // by first row, in the order met
  std::map<int, const ArrayArea*> spanning_;      // by first column
  std::multimap<int, int> ends_;                  // last row -> first column
};

// A sheet's formula cells as they are read.
struct SheetCells {
  std::vector<SavedCell> formulas;
  std::vector<SavedCell> arrayCells;  // the cells arrays fill, in the order met
  ArraySweep arrays;
  std::map<std::string, std::size_t> masters;               // formulas[i] by shared si
  std::vector<std::pair<std::size_t, std::string>> shared;  // formulas[i] repeats si
};

// A worksheet's cells as its XML streams by: worksheet > sheetData > row >
// c > f, v, is. Only the first of each (sheetData, or a cell's f, v, is)
// counts. Once the cells pass the budget nothing more is kept, but the part
// is still read to its end: a part that is not well-formed is refused as such.
class WorksheetReader : public XmlStream {
 public:
  WorksheetReader(const std::string& sheet, const ValueContext& context, FormulaBudget& budget)
      : sheet_(sheet), context_(context), budget_(budget) {}

  bool outside() const { return outside_; }
  bool within() const { return within_; }
  SheetCells& cells() { return cells_; }

 private:
  void Start(std::string_view name, const XmlAttributes& attributes, int depth) override {
    const std::string_view local = LocalName(name.data());
    if (inCell_) {
      StartInCell(local, attributes, depth);
    } else if (depth == 1) {
      inSheet_ = local == "worksheet";
    } else if (depth == 2 && inSheet_ && !sheetDataSeen_ && local == "sheetData") {
      inData_ = sheetDataSeen_ = true;
    } else if (depth == 3 && inData_ && local == "row") {
      inRow_ = true;
      const long long number = ParseInteger(attributes.Find("r"), 0);
      row_ = std::min<long long>(number > 0 ? number - 1 : row_ + 1, kMaxRows);
      column_ = -1;
    } else if (depth == 4 && inRow_ && local == "c") {
      inCell_ = true;
      cell_.Clear();
      cell_.ref = attributes.Value("r");
      cell_.type = attributes.Value("t");
    }
  }

  void StartInCell(std::string_view local, const XmlAttributes& attributes, int depth) {
    if (depth > 5) {
      if (inInline_) cell_.inlineText.Start(local, depth);
      return;
    }
    if (local == "f" && !cell_.hasFormula) {
      cell_.hasFormula = true;
      cell_.formulaType = attributes.Value("t");
      cell_.formulaRef = attributes.Value("ref");
      cell_.formulaSi = attributes.Value("si");
      target_ = &cell_.formula;
    } else if (local == "v" && !cell_.hasValue) {
      cell_.hasValue = true;
      target_ = &cell_.value;
    } else if (local == "is" && !cell_.hasInline) {
      cell_.hasInline = inInline_ = true;
      cell_.inlineText.Begin(depth);
    }
  }

  void End(int depth) override {
    if (depth > 5 && inInline_) cell_.inlineText.End(depth);
    if (depth == 5) {
      target_ = nullptr;
      inInline_ = false;
    }
    if (depth == 4 && inCell_) {
      inCell_ = false;
      EndCell();
    }
    if (depth == 3) inRow_ = false;
    if (depth == 2) inData_ = false;
    if (depth == 1) inSheet_ = false;
  }

  void Text(std::string_view text, int depth) override {
    if (!inCell_) return;
    if (depth == 5 && target_ != nullptr) target_->append(text);
    if (depth > 5 && inInline_) cell_.inlineText.Text(text, depth);
  }

  void EndCell() {
    const std::optional<excel::calc::CellArea> at = excel::calc::ParseA1Area(cell_.ref);
    if (at && at->IsSingleCell()) {
      row_ = at->firstRow;
      column_ = at->firstColumn;
    } else {
      column_ = std::min<long long>(column_ + 1, kMaxColumns);
    }
    if (row_ >= kMaxRows || column_ >= kMaxColumns) {
      outside_ = true;
    } else if (within_) {
      SavedCell cell{sheet_, static_cast<int>(row_), static_cast<int>(column_), {}, false, {}};
      within_ =
          cell_.hasFormula ? TakeFormulaCell(std::move(cell)) : TakePlainCell(std::move(cell));
    }
  }

  bool TakeFormulaCell(SavedCell cell) {
    cell.value = CachedValue(cell_, context_, cell.hasValue);
    if (!cell_.formula.empty()) cell.formula = "=" + cell_.formula;
    if (cell_.formulaType == "array") {
      if (const std::optional<excel::calc::CellArea> ref =
              excel::calc::ParseA1Area(cell_.formulaRef))
        cells_.arrays.Add(*ref, cell.formula);
    } else if (cell_.formulaType == "shared") {
      if (cell_.formula.empty())
        cells_.shared.emplace_back(cells_.formulas.size(), cell_.formulaSi);
      else
        cells_.masters.emplace(cell_.formulaSi, cells_.formulas.size());
    }
    if (!budget_.Take(cell)) return false;
    cells_.formulas.push_back(std::move(cell));
    return true;
  }

  // A plain cell is kept only when an array fills it.
  bool TakePlainCell(SavedCell cell) {
    const ArrayArea* array = cells_.arrays.Holding(cell.row, cell.column);
    if (array == nullptr) return true;
    cell.formula = "{" + array->formula + "}";
    cell.value = CachedValue(cell_, context_, cell.hasValue);
    if (!budget_.Take(cell)) return false;
    cells_.arrayCells.push_back(std::move(cell));
    return true;
  }

  const std::string& sheet_;
  const ValueContext& context_;
  FormulaBudget& budget_;
  SheetCells cells_;
  CellXml cell_;
  std::string* target_ = nullptr;  // the text of the cell's f or v being read
  long long row_ = -1, column_ = -1;
  bool inSheet_ = false, sheetDataSeen_ = false, inData_ = false, inRow_ = false;
  bool inCell_ = false, inInline_ = false;
  bool outside_ = false, within_ = true;
};

// The cells of a shared formula get the master's text moved by their
// offset from the master; without a master they keep no text.
bool AddSharedFormulas(FormulaBudget& budget, SheetCells& cells) {
  for (const auto& [index, si] : cells.shared) {
    const auto master = cells.masters.find(si);
    if (master == cells.masters.end()) continue;
    const SavedCell& from = cells.formulas[master->second];
    SavedCell& cell = cells.formulas[index];
    cell.formula = "=" + ShiftFormula(std::string_view(from.formula).substr(1), cell.row - from.row,
                                      cell.column - from.column);
    if (!budget.Take(SavedCell{{}, 0, 0, cell.formula, false, {}})) return false;
  }
  return true;
}

// Streams part `part` into `reader`; an error (naming the part) when the
// package or the XML refuses it.
outcome::Error StreamPart(const ZipPackage& package, const std::string& part, XmlStream& reader) {
  if (outcome::Error unread = package.ReadChunks(
          part, [&](std::string_view chunk) { return reader.Feed(chunk, false); }))
    return unread;
  if (reader.Feed({}, true)) return outcome::Error::Success();
  return outcome::Error::Failed(OneLine(part) + ": " + reader.Error());
}

}  // namespace

outcome::Expected<std::vector<std::string>> ReadSharedStringsPart(const ZipPackage& package,
                                                                  const std::string& part) {
  std::vector<std::string> strings;
  SharedStringsReader reader(strings);
  if (outcome::Error unread = StreamPart(package, part, reader)) return unread;
  return strings;
}

outcome::Error ReadWorksheetPart(const ZipPackage& package, const std::string& part,
                                 const std::string& sheet, const ValueContext& context,
                                 FormulaBudget& budget, SavedWorkbook& workbook) {
  WorksheetReader reader(sheet, context, budget);
  if (outcome::Error unread = StreamPart(package, part, reader))
    return outcome::Error::Failed("sheet " + OneLine(sheet) + ": " + unread.Message());
  if (reader.outside())
    workbook.problems.push_back(OneLine(part) +
                                ": cells past row 1048576 or column XFD are not compared");
  SheetCells& cells = reader.cells();
  if (!reader.within() || !AddSharedFormulas(budget, cells))
    return outcome::Error::Failed(FormulaBudget::Refusal(sheet));
  // After the formula cells, so that a cell given twice keeps its formula first.
  cells.formulas.insert(cells.formulas.end(), std::make_move_iterator(cells.arrayCells.begin()),
                        std::make_move_iterator(cells.arrayCells.end()));
  std::stable_sort(cells.formulas.begin(), cells.formulas.end(),
                   [](const SavedCell& a, const SavedCell& b) {
                     return std::pair(a.row, a.column) < std::pair(b.row, b.column);
                   });
  if (workbook.formulas.empty()) {
    workbook.formulas = std::move(cells.formulas);  // no second copy of the first sheet's cells
  } else {
    workbook.formulas.insert(workbook.formulas.end(),
                             std::make_move_iterator(cells.formulas.begin()),
                             std::make_move_iterator(cells.formulas.end()));
  }
  return outcome::Error::Success();
}

}  // namespace refhost
