// The saved values of an OpenDocument spreadsheet (content.xml of an .ods,
// or a flat .fods): every cell with table:formula, its value from
// office:value-type and the value attributes, or its text paragraphs.
// Repeated rows and cells count once for every cell they stand for, as far
// as the sheet reaches and within the formula cells' budget. Read as its XML
// streams by: what it costs is the formula cells it keeps.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <optional>

#include "common/csv.h"
#include "excel/calc/calls/calc_errors.h"
#include "excel/calc/cells/cell_input.h"
#include "excel/calc/formulas/sheet_addresses.h"
#include "saved_values/saved_values.h"
#include "saved_values/xml_stream.h"
#include "text/number.h"
#include "text/utf8.h"

namespace refhost {
namespace {

using excel::CellResult;

// "PT12H30M15.5S" as a fraction of a day (more than 1 past 24 hours).
std::optional<double> TimeValue(const char* text) {
  double hours = 0, minutes = 0, seconds = 0;
  if (std::sscanf(text, "PT%lfH%lfM%lfS", &hours, &minutes, &seconds) != 3) return std::nullopt;
  const double days = (hours * 3600 + minutes * 60 + seconds) / 86400;
  if (!std::isfinite(days)) return std::nullopt;
  return days;
}

// The error value a cell shows: "#DIV/0!" as it is, "Err:502" by its code.
std::string ErrorName(const std::string& shown) {
  if (shown.rfind("Err:", 0) == 0)
    return excel::calc::CalcErrorName(text::ParseInt32(shown.c_str() + 4));
  return shown;
}

using excel::calc::kMaxColumns;
using excel::calc::kMaxRows;

// A repeat count: at least 1, and no more than the sheet has room for.
long long Repeats(const XmlAttributes& attributes, const char* name, long long room) {
  return std::clamp<long long>(ParseInteger(attributes.Find(name), 1), 1, room + 1);
}

bool IsRowGroup(std::string_view name) {
  return name == "table:table-header-rows" || name == "table:table-row-group" ||
         name == "table:table-rows";
}

// A formula cell as its start tag gives it: what its value needs.
struct FormulaCell {
  std::string formula, errorType, valueType, value, dateValue, timeValue, booleanValue;
  bool hasStringValue = false;
  std::string stringValue;
  long long columns = 1;
  bool paragraphs = false;  // its value is the text of its paragraphs
  std::string text;         // those paragraphs, a line each
  bool firstParagraph = true;
};

// A date formula cell's value, set once the document's null date is known:
// `count` cells from `first` in the workbook's formulas.
struct DateCells {
  std::size_t first = 0, count = 0;
  long days = 0;  // from 1899-12-30
  double time = 0;
};

// The value a formula cell saved; a date's as days from 1899-12-30 in
// `date`, its value waiting for the null date.
CellResult SavedValue(const FormulaCell& cell, bool& hasValue, std::optional<DateCells>& date) {
  hasValue = true;
  if (cell.errorType == "error")
    return CellResult{CellResult::Kind::kError, 0, ErrorName(cell.text)};
  const std::string_view type = cell.valueType;
  std::optional<double> number;
  if (type == "float" || type == "percentage" || type == "currency") {
    number = excel::calc::ParsePlainNumber(text::Utf8ToUtf16(cell.value));
  } else if (type == "date") {
    if (const std::optional<CivilDate> civil = ParseIsoDate(cell.dateValue)) {
      date = DateCells{0, 0,
                       DaysFromEpoch(civil->year, static_cast<unsigned>(civil->month),
                                     static_cast<unsigned>(civil->day)),
                       civil->time};
      number = 0;
    }
  } else if (type == "time") {
    number = TimeValue(cell.timeValue.c_str());
  } else if (type == "boolean") {
    return CellResult{CellResult::Kind::kLogical, cell.booleanValue == "true" ? 1.0 : 0.0, {}};
  } else if (type == "string") {
    return CellResult{CellResult::Kind::kText, 0,
                      cell.hasStringValue ? cell.stringValue : cell.text};
  }
  if (number) return CellResult{CellResult::Kind::kNumber, *number, {}};
  hasValue = false;
  return {};
}

// Appends to a cell's text no further than the budget could take: past it
// the cell is refused, however many more spaces its markup asks for.
void AppendCapped(std::string& text, std::string_view more) {
  const std::size_t room = FormulaBudget::kBytes + 1 - std::min(text.size(), FormulaBudget::kBytes);
  text.append(more.substr(0, room));
}
void AppendCapped(std::string& text, long long count, char c) {
  const std::size_t room = FormulaBudget::kBytes + 1 - std::min(text.size(), FormulaBudget::kBytes);
  text.append(
      static_cast<std::size_t>(std::clamp<long long>(count, 1, static_cast<long long>(room))), c);
}

// office:document(-content) > office:body > office:spreadsheet, the first
// of each, and in it the calculation settings' null date and the tables:
// their rows in document order, row groups however deeply nested.
class ContentReader : public XmlStream {
 public:
  explicit ContentReader(SavedWorkbook& workbook) : workbook_(workbook) {}

  // After the last chunk: an error when the content is no readable
  // spreadsheet or its formula cells pass the budget.
  outcome::Error Finish() {
    if (!Error().empty()) return outcome::Error::Failed(Error());
    if (!spreadsheetSeen_)
      return outcome::Error::Failed("not an OpenDocument spreadsheet (no office:spreadsheet)");
    if (refused_) return outcome::Error::Failed(FormulaBudget::Refusal(refusedSheet_));
    for (const DateCells& date : dates_) {
      for (std::size_t i = date.first; i < date.first + date.count; ++i)
        workbook_.formulas[i].value.number = static_cast<double>(date.days - epoch_) + date.time;
    }
    return outcome::Error::Success();
  }

 private:
  void Start(std::string_view name, const XmlAttributes& attributes, int depth) override {
    if (cellDepth_ != 0) {
      if (depth == cellDepth_ + 1 || paragraphDepth_ != 0) StartInCell(name, attributes, depth);
    } else if (depth <= 3) {
      StartOuter(name, depth);
    } else if (depth == 4 && inSpreadsheet_) {
      if (name == "table:calculation-settings" && !settingsSeen_)
        inSettings_ = settingsSeen_ = true;
      if (name == "table:table") StartTable(attributes);
    } else if (depth == 5 && inSettings_ && name == "table:null-date" && !nullDateSeen_) {
      nullDateSeen_ = true;
      const char* value = attributes.Find("table:date-value");
      const std::optional<CivilDate> date = ParseIsoDate(value == nullptr ? "" : value);
      if (date)
        epoch_ = DaysFromEpoch(date->year, static_cast<unsigned>(date->month),
                               static_cast<unsigned>(date->day));
    } else if (rowDepth_ != 0) {
      if (depth == rowDepth_ + 1 &&
          (name == "table:table-cell" || name == "table:covered-table-cell"))
        StartCell(attributes, depth);
    } else if (tableDepth_ != 0 && depth == containerDepth_ + 1) {
      if (IsRowGroup(name)) containerDepth_ = depth;
      if (name == "table:table-row") {
        rowDepth_ = depth;
        rows_ = Repeats(attributes, "table:number-rows-repeated", kMaxRows);
        column_ = 0;
      }
    }
  }

  void StartOuter(std::string_view name, int depth) {
    if (depth == 1) inRoot_ = name == "office:document-content" || name == "office:document";
    if (depth == 2 && inRoot_ && !bodySeen_ && name == "office:body") inBody_ = bodySeen_ = true;
    if (depth == 3 && inBody_ && !spreadsheetSeen_ && name == "office:spreadsheet")
      inSpreadsheet_ = spreadsheetSeen_ = true;
  }

  void End(int depth) override {
    if (cellDepth_ != 0) {
      if (depth == cellDepth_) EndCell();
      if (depth == skipDepth_) skipDepth_ = 0;
      if (depth == paragraphDepth_) paragraphDepth_ = 0;
    } else if (depth == rowDepth_) {
      rowDepth_ = 0;
      row_ = std::min(row_ + rows_, kMaxRows + 1LL);
    } else if (depth == tableDepth_) {
      EndTable();
    } else if (tableDepth_ != 0 && depth == containerDepth_) {
      --containerDepth_;
    } else if (depth <= 4) {
      inSettings_ = false;
      if (depth <= 3) inSpreadsheet_ = false;
      if (depth <= 2) inBody_ = false;
    }
  }

  void Text(std::string_view text, int) override {
    if (paragraphDepth_ != 0 && skipDepth_ == 0) AppendCapped(cell_.text, text);
  }

  void StartTable(const XmlAttributes& attributes) {
    sheet_ = attributes.Value("table:name");
    if (!refused_) workbook_.sheets.push_back(sheet_);
    tableDepth_ = containerDepth_ = 4;
    row_ = 0;
    outside_ = false;
  }

  void EndTable() {
    if (outside_ && !refused_)
      workbook_.problems.push_back(
          "sheet " + OneLine(sheet_) +
          ": formula cells past row 1048576 or column XFD are not compared");
    tableDepth_ = containerDepth_ = 0;
  }

  void StartCell(const XmlAttributes& attributes, int depth);
  void StartInCell(std::string_view name, const XmlAttributes& attributes, int depth);
  void EndCell();

  SavedWorkbook& workbook_;
  FormulaBudget budget_;
  std::vector<DateCells> dates_;
  long epoch_ = 0;  // the null date, days from 1899-12-30
  bool inRoot_ = false, inBody_ = false, inSpreadsheet_ = false, inSettings_ = false;
  bool bodySeen_ = false, spreadsheetSeen_ = false, settingsSeen_ = false, nullDateSeen_ = false;
  std::string sheet_, refusedSheet_;
  bool outside_ = false;  // a formula cell repeated or written past the sheet
  bool refused_ = false;  // past the budget: the rest is read, and nothing kept
  // The depths of the table, the row group (or table) holding rows, the
  // row, the cell, the paragraph and the markup skipped in it; 0: none.
  int tableDepth_ = 0, containerDepth_ = 0, rowDepth_ = 0, cellDepth_ = 0;
  int paragraphDepth_ = 0, skipDepth_ = 0;
  long long row_ = 0;  // past the sheet's rows: kMaxRows + 1
  long long rows_ = 1, column_ = 0;
  bool formulaCell_ = false;
  FormulaCell cell_;
};

void ContentReader::StartCell(const XmlAttributes& attributes, int depth) {
  cellDepth_ = depth;
  cell_.columns = Repeats(attributes, "table:number-columns-repeated", kMaxColumns);
  const char* formula = attributes.Find("table:formula");
  formulaCell_ = formula != nullptr && !refused_;
  if (!formulaCell_) return;
  cell_.formula = formula;
  if (const std::size_t colon = cell_.formula.find(':'); colon != std::string::npos && colon < 6)
    cell_.formula.erase(0, colon + 1);  // the namespace prefix, "of:"
  cell_.errorType = attributes.Value("calcext:value-type");
  cell_.valueType = attributes.Value("office:value-type");
  cell_.value = attributes.Value("office:value");
  cell_.dateValue = attributes.Value("office:date-value");
  cell_.timeValue = attributes.Value("office:time-value");
  cell_.booleanValue = attributes.Value("office:boolean-value");
  const char* stringValue = attributes.Find("office:string-value");
  cell_.hasStringValue = stringValue != nullptr;
  cell_.stringValue = cell_.hasStringValue ? stringValue : "";
  cell_.paragraphs =
      cell_.errorType == "error" || (cell_.valueType == "string" && !cell_.hasStringValue);
  cell_.text.clear();
  cell_.firstParagraph = true;
}

// The cell's text: its paragraphs' text, each on a line, with text:s,
// text:tab and text:line-break as the characters they stand for and
// annotations left out.
void ContentReader::StartInCell(std::string_view name, const XmlAttributes& attributes, int depth) {
  if (!formulaCell_ || !cell_.paragraphs || skipDepth_ != 0) return;
  if (paragraphDepth_ == 0) {
    if (name != "text:p") return;
    if (!cell_.firstParagraph) cell_.text += '\n';
    cell_.firstParagraph = false;
    paragraphDepth_ = depth;
    return;
  }
  if (name == "text:s") {
    AppendCapped(cell_.text, ParseInteger(attributes.Find("text:c"), 1), ' ');
  } else if (name == "text:tab") {
    cell_.text += '\t';
  } else if (name == "text:line-break") {
    cell_.text += '\n';
  } else if (name != "office:annotation") {
    return;
  }
  skipDepth_ = depth;
}

// The formula cell repeated as often as its row and itself are, as far as
// the sheet reaches; past the budget, refused.
void ContentReader::EndCell() {
  cellDepth_ = 0;
  const long long columns = cell_.columns;
  if (formulaCell_) {
    std::optional<DateCells> date;
    SavedCell saved{sheet_, 0, 0, cell_.formula, false, {}};
    saved.value = SavedValue(cell_, saved.hasValue, date);
    const long long lastRow = std::min<long long>(row_ + rows_, kMaxRows);
    const long long lastColumn = std::min<long long>(column_ + columns, kMaxColumns);
    outside_ = outside_ || lastRow < row_ + rows_ || lastColumn < column_ + columns;
    const long long count = std::max(0LL, lastRow - row_) * std::max(0LL, lastColumn - column_);
    refused_ = !budget_.Take(saved, static_cast<std::size_t>(count));
    if (refused_) refusedSheet_ = sheet_;
    if (date && !refused_)
      dates_.push_back(DateCells{workbook_.formulas.size(), static_cast<std::size_t>(count),
                                 date->days, date->time});
    for (long long r = row_; r < lastRow && !refused_; ++r) {
      for (long long c = column_; c < lastColumn; ++c) {
        saved.row = static_cast<int>(r);
        saved.column = static_cast<int>(c);
        workbook_.formulas.push_back(saved);
      }
    }
  }
  column_ = std::min(column_ + columns, kMaxColumns + 1LL);
}

}  // namespace

outcome::Expected<SavedWorkbook> ReadOdfSavedValues(const XmlChunks& read) {
  SavedWorkbook workbook;
  ContentReader reader(workbook);
  if (outcome::Error unread =
          read([&](std::string_view chunk) { return reader.Feed(chunk, false); }))
    return unread;
  // A failure of the last chunk is kept by the reader, which Finish says.
  (void)reader.Feed({}, true);
  if (outcome::Error unread = reader.Finish()) return unread;
  return workbook;
}

outcome::Expected<SavedWorkbook> ReadOdfSavedValues(const std::string& contentXml) {
  return ReadOdfSavedValues([&](const XmlChunkSink& take) {
    // The whole text is one chunk: whether the reader wants more is moot.
    (void)take(contentXml);
    return outcome::Error::Success();
  });
}

}  // namespace refhost
