// The saved values of an OpenDocument spreadsheet (content.xml of an .ods,
// or a flat .fods): every cell with table:formula, its value from
// office:value-type and the value attributes, or its text paragraphs.
#include <pugixml.hpp>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>

#include "excel/calc/calc_errors.h"
#include "excel/calc/cell_input.h"
#include "saved_values.h"
#include "text/number.h"
#include "text/utf8.h"

namespace refhost {
namespace {

using excel::CellResult;

// Days from 1899-12-30 (the spreadsheets' day 0) to a civil date.
long DaysFromEpoch(long year, unsigned month, unsigned day) {
  year -= month <= 2 ? 1 : 0;
  const long era = (year >= 0 ? year : year - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(year - era * 400);
  const unsigned doy = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<long>(doe) - 719468 + 25569;  // 1970-01-01 is day 25569
}

// "2024-01-15" or "2024-01-15T06:00:00[.5]" as a day number.
std::optional<double> DateValue(const char* text) {
  long year = 0;
  unsigned month = 0, day = 0, hour = 0, minute = 0;
  double second = 0;
  const int n =
      std::sscanf(text, "%ld-%u-%uT%u:%u:%lf", &year, &month, &day, &hour, &minute, &second);
  if (n < 3) return std::nullopt;
  return static_cast<double>(DaysFromEpoch(year, month, day)) +
         (hour * 3600.0 + minute * 60.0 + second) / 86400.0;
}

// "PT12H30M15.5S" as a fraction of a day (more than 1 past 24 hours).
std::optional<double> TimeValue(const char* text) {
  double hours = 0, minutes = 0, seconds = 0;
  if (std::sscanf(text, "PT%lfH%lfM%lfS", &hours, &minutes, &seconds) != 3) return std::nullopt;
  return (hours * 3600 + minutes * 60 + seconds) / 86400;
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

CellResult SavedValue(const pugi::xml_node& cell, bool& hasValue) {
  hasValue = true;
  if (std::string_view(cell.attribute("calcext:value-type").value()) == "error")
    return CellResult{CellResult::Kind::kError, 0, ErrorName(Paragraphs(cell))};
  const std::string_view type = cell.attribute("office:value-type").value();
  std::optional<double> number;
  if (type == "float" || type == "percentage" || type == "currency") {
    number =
        excel::calc::ParsePlainNumber(text::Utf8ToUtf16(cell.attribute("office:value").value()));
  } else if (type == "date") {
    number = DateValue(cell.attribute("office:date-value").value());
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

void ReadRows(const pugi::xml_node& parent, const std::string& sheet, int& row,
              std::vector<SavedCell>& out) {
  for (pugi::xml_node node : parent.children()) {
    const std::string_view name = node.name();
    if (name == "table:table-header-rows" || name == "table:table-row-group" ||
        name == "table:table-rows") {
      ReadRows(node, sheet, row, out);
      continue;
    }
    if (name != "table:table-row") continue;
    const int rows = std::max(1, node.attribute("table:number-rows-repeated").as_int(1));
    int column = 0;
    for (pugi::xml_node cell : node.children()) {
      const std::string_view kind = cell.name();
      if (kind != "table:table-cell" && kind != "table:covered-table-cell") continue;
      const int columns = std::max(1, cell.attribute("table:number-columns-repeated").as_int(1));
      const pugi::xml_attribute formula = cell.attribute("table:formula");
      if (formula) {
        std::string text = formula.value();
        if (const std::size_t colon = text.find(':'); colon != std::string::npos && colon < 6)
          text.erase(0, colon + 1);  // the namespace prefix, "of:"
        SavedCell saved{sheet, 0, 0, text, false, {}};
        saved.value = SavedValue(cell, saved.hasValue);
        for (int r = 0; r < rows; ++r) {
          for (int c = 0; c < columns; ++c) {
            saved.row = row + r;
            saved.column = column + c;
            out.push_back(saved);
          }
        }
      }
      column += columns;
    }
    row += rows;
  }
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
  for (pugi::xml_node table : spreadsheet.children("table:table")) {
    const std::string name = table.attribute("table:name").value();
    workbook.sheets.push_back(name);
    int row = 0;
    ReadRows(table, name, row, workbook.formulas);
  }
  return true;
}

}  // namespace refhost
