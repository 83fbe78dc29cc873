// The saved values of an OpenDocument spreadsheet (content.xml of an .ods,
// or a flat .fods): every cell with table:formula, its value from
// office:value-type and the value attributes, or its text paragraphs.
// Repeated rows and cells count once for every cell they stand for, as far
// as the sheet reaches and within the formula cells' budget.
#include <pugixml.hpp>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <optional>

#include "common/csv.h"
#include "excel/calc/calls/calc_errors.h"
#include "excel/calc/cells/cell_input.h"
#include "excel/calc/formulas/sheet_addresses.h"
#include "saved_values/saved_values.h"
#include "text/number.h"
#include "text/utf8.h"

namespace refhost {
namespace {

using excel::CellResult;

// "2024-01-15" or "2024-01-15T06:00:00[.5]" as a day number from the null
// date (`epoch`, days from 1899-12-30).
std::optional<double> DateValue(const char* text, long epoch) {
  const std::optional<CivilDate> date = ParseIsoDate(text);
  if (!date) return std::nullopt;
  return static_cast<double>(DaysFromEpoch(date->year, static_cast<unsigned>(date->month),
                                           static_cast<unsigned>(date->day)) -
                             epoch) +
         date->time;
}

// "PT12H30M15.5S" as a fraction of a day (more than 1 past 24 hours).
std::optional<double> TimeValue(const char* text) {
  double hours = 0, minutes = 0, seconds = 0;
  if (std::sscanf(text, "PT%lfH%lfM%lfS", &hours, &minutes, &seconds) != 3) return std::nullopt;
  const double days = (hours * 3600 + minutes * 60 + seconds) / 86400;
  if (!std::isfinite(days)) return std::nullopt;
  return days;
}

void AppendText(const pugi::xml_node& node, std::string& out) {
  for (pugi::xml_node child : node.children()) {
    if (child.type() == pugi::node_pcdata) {
      out += child.value();
    } else if (child.type() == pugi::node_element) {
      const std::string_view name = child.name();
      if (name == "text:s") {
        out.append(static_cast<std::size_t>(std::max(1, child.attribute("text:c").as_int(1))), ' ');
      } else if (name == "text:tab") {
        out += '\t';
      } else if (name == "text:line-break") {
        out += '\n';
      } else if (name != "office:annotation") {
        AppendText(child, out);
      }
    }
  }
}

std::string Paragraphs(const pugi::xml_node& cell) {
  std::string text;
  bool first = true;
  for (pugi::xml_node p : cell.children("text:p")) {
    if (!first) text += '\n';
    first = false;
    AppendText(p, text);
  }
  return text;
}

// The error value a cell shows: "#DIV/0!" as it is, "Err:502" by its code.
std::string ErrorName(const std::string& shown) {
  if (shown.rfind("Err:", 0) == 0)
    return excel::calc::CalcErrorName(text::ParseInt32(shown.c_str() + 4));
  return shown;
}

CellResult SavedValue(const pugi::xml_node& cell, long epoch, bool& hasValue) {
  hasValue = true;
  if (std::string_view(cell.attribute("calcext:value-type").value()) == "error")
    return CellResult{CellResult::Kind::kError, 0, ErrorName(Paragraphs(cell))};
  const std::string_view type = cell.attribute("office:value-type").value();
  std::optional<double> number;
  if (type == "float" || type == "percentage" || type == "currency") {
    number =
        excel::calc::ParsePlainNumber(text::Utf8ToUtf16(cell.attribute("office:value").value()));
  } else if (type == "date") {
    number = DateValue(cell.attribute("office:date-value").value(), epoch);
  } else if (type == "time") {
    number = TimeValue(cell.attribute("office:time-value").value());
  } else if (type == "boolean") {
    return CellResult{
        CellResult::Kind::kLogical,
        std::string_view(cell.attribute("office:boolean-value").value()) == "true" ? 1.0 : 0.0,
        {}};
  } else if (type == "string") {
    const pugi::xml_attribute value = cell.attribute("office:string-value");
    return CellResult{CellResult::Kind::kText, 0, value ? value.value() : Paragraphs(cell)};
  }
  if (number) return CellResult{CellResult::Kind::kNumber, *number, {}};
  hasValue = false;
  return {};
}

using excel::calc::kMaxColumns;
using excel::calc::kMaxRows;

// Where reading a table stands.
struct TableReader {
  std::string sheet;
  long epoch = 0;        // the null date, days from 1899-12-30
  long long row = 0;     // past the sheet's rows: kMaxRows + 1
  bool outside = false;  // a formula cell repeated or written past the sheet
  FormulaBudget& budget;
  std::vector<SavedCell>& out;
};

// A repeat count: at least 1, and no more than the sheet has room for.
long long Repeats(const pugi::xml_node& node, const char* attribute, long long room) {
  return std::clamp<long long>(node.attribute(attribute).as_llong(1), 1, room + 1);
}

// A row's formula cells, each repeated as often as the row and the cell
// are, as far as the sheet reaches. False past the budget.
bool ReadRow(const pugi::xml_node& node, TableReader& table) {
  const long long rows = Repeats(node, "table:number-rows-repeated", kMaxRows);
  long long column = 0;
  for (pugi::xml_node cell : node.children()) {
    const std::string_view kind = cell.name();
    if (kind != "table:table-cell" && kind != "table:covered-table-cell") continue;
    const long long columns = Repeats(cell, "table:number-columns-repeated", kMaxColumns);
    const pugi::xml_attribute formula = cell.attribute("table:formula");
    if (formula) {
      std::string text = formula.value();
      if (const std::size_t colon = text.find(':'); colon != std::string::npos && colon < 6)
        text.erase(0, colon + 1);  // the namespace prefix, "of:"
      SavedCell saved{table.sheet, 0, 0, text, false, {}};
      saved.value = SavedValue(cell, table.epoch, saved.hasValue);
      const long long lastRow = std::min<long long>(table.row + rows, kMaxRows);
      const long long lastColumn = std::min<long long>(column + columns, kMaxColumns);
      table.outside = table.outside || lastRow < table.row + rows || lastColumn < column + columns;
      const long long count =
          std::max(0LL, lastRow - table.row) * std::max(0LL, lastColumn - column);
      if (!table.budget.Take(saved, static_cast<std::size_t>(count))) return false;
      for (long long r = table.row; r < lastRow; ++r) {
        for (long long c = column; c < lastColumn; ++c) {
          saved.row = static_cast<int>(r);
          saved.column = static_cast<int>(c);
          table.out.push_back(saved);
        }
      }
    }
    column = std::min(column + columns, kMaxColumns + 1LL);
  }
  table.row = std::min(table.row + rows, kMaxRows + 1LL);
  return true;
}

bool IsRowGroup(std::string_view name) {
  return name == "table:table-header-rows" || name == "table:table-row-group" ||
         name == "table:table-rows";
}

// The table's rows in document order, row groups however deeply nested
// (walked without recursion). False past the budget.
bool ReadTable(const pugi::xml_node& table, TableReader& reader) {
  pugi::xml_node node = table.first_child();
  while (node) {
    if (IsRowGroup(node.name()) && node.first_child()) {
      node = node.first_child();
      continue;
    }
    if (std::string_view(node.name()) == "table:table-row" && !ReadRow(node, reader)) return false;
    while (!node.next_sibling() && node.parent() != table)
      node = node.parent();
    node = node.next_sibling();
  }
  return true;
}

// The null date of the document's calculation settings: day 0 of its date
// values (1899-12-30 unless it says otherwise).
long NullDate(const pugi::xml_node& spreadsheet) {
  const std::optional<CivilDate> date = ParseIsoDate(spreadsheet.child("table:calculation-settings")
                                                         .child("table:null-date")
                                                         .attribute("table:date-value")
                                                         .value());
  return date ? DaysFromEpoch(date->year, static_cast<unsigned>(date->month),
                              static_cast<unsigned>(date->day))
              : 0;
}

}  // namespace

bool ReadOdfSavedValues(const std::string& contentXml, SavedWorkbook& workbook,
                        std::string& error) {
  pugi::xml_document document;
  const pugi::xml_parse_result parsed = document.load_buffer(
      contentXml.data(), contentXml.size(), pugi::parse_default | pugi::parse_ws_pcdata);
  if (!parsed) {
    error = std::string("not well-formed XML (") + parsed.description() + " at byte " +
            std::to_string(parsed.offset) + ")";
    return false;
  }
  pugi::xml_node root = document.child("office:document-content");
  if (!root) root = document.child("office:document");
  const pugi::xml_node spreadsheet = root.child("office:body").child("office:spreadsheet");
  if (!spreadsheet) {
    error = "not an OpenDocument spreadsheet (no office:spreadsheet)";
    return false;
  }
  const long epoch = NullDate(spreadsheet);
  FormulaBudget budget;
  for (pugi::xml_node table : spreadsheet.children("table:table")) {
    TableReader reader{
        table.attribute("table:name").value(), epoch, 0, false, budget, workbook.formulas};
    workbook.sheets.push_back(reader.sheet);
    if (!ReadTable(table, reader)) {
      error = FormulaBudget::Refusal(reader.sheet);
      return false;
    }
    if (reader.outside)
      workbook.problems.push_back(
          "sheet " + OneLine(reader.sheet) +
          ": formula cells past row 1048576 or column XFD are not compared");
  }
  return true;
}

}  // namespace refhost
