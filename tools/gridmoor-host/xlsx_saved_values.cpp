// The cached values of an .xlsx / .xlsm package: sheet names from
// xl/workbook.xml and its relationships, shared strings, and every formula
// cell of each worksheet part (<c r="B2" t="..."><f>..</f><v>..</v></c>).
// Cells of a shared formula and every cell inside an array formula's ref
// count as formula cells.
#include <pugixml.hpp>

#include <algorithm>
#include <map>
#include <optional>

#include "excel/calc/cell_input.h"
#include "excel/calc/sheet_addresses.h"
#include "excel/calc/xlsx_package.h"
#include "saved_values.h"
#include "text/utf8.h"

namespace refhost {
namespace {

using excel::CellResult;
using excel::calc::Child;
using excel::calc::EndsWith;
using excel::calc::ForChildren;
using excel::calc::LocalName;
using excel::calc::ParsePart;
using excel::calc::PartName;
using excel::calc::ReadRelationships;
using excel::calc::ZipPackage;

// The text of a shared string or inline string: its <t>, or its runs' <t>s
// (phonetic runs left out).
std::string StringItemText(const pugi::xml_node& item) {
  std::string text;
  for (pugi::xml_node child : item.children()) {
    if (child.type() != pugi::node_element) continue;
    const std::string_view name = LocalName(child.name());
    if (name == "t") text += child.child_value();
    if (name == "r") text += Child(child, "t").child_value();
  }
  return text;
}

std::vector<std::string> ReadSharedStrings(const ZipPackage& package, const std::string& name) {
  std::vector<std::string> strings;
  pugi::xml_document document;
  std::string ignored;
  if (!package.Has(name) || !ParsePart(package, name, document, ignored)) return strings;
  ForChildren(Child(document, "sst"), "si",
              [&](const pugi::xml_node& item) { strings.push_back(StringItemText(item)); });
  return strings;
}

std::optional<double> Number(const char* text) {
  return excel::calc::ParsePlainNumber(text::Utf8ToUtf16(text));
}

CellResult CachedValue(const pugi::xml_node& cell, const std::vector<std::string>& strings,
                       bool& hasValue) {
  const std::string type = cell.attribute("t").value();
  const pugi::xml_node v = Child(cell, "v");
  hasValue = true;
  if (type == "inlineStr")
    return CellResult{CellResult::Kind::kText, 0, StringItemText(Child(cell, "is"))};
  if (!v) {
    hasValue = false;
    return {};
  }
  const char* text = v.child_value();
  if (type == "str" || type == "d") return CellResult{CellResult::Kind::kText, 0, text};
  if (type == "e") return CellResult{CellResult::Kind::kError, 0, text};
  if (type == "b")
    return CellResult{CellResult::Kind::kLogical, std::string_view(text) == "1" ? 1.0 : 0.0, {}};
  if (type == "s") {
    const std::optional<double> index = Number(text);
    if (index && *index >= 0 && *index < static_cast<double>(strings.size()))
      return CellResult{CellResult::Kind::kText, 0, strings[static_cast<std::size_t>(*index)]};
    hasValue = false;
    return {};
  }
  if (const std::optional<double> number = Number(text))
    return CellResult{CellResult::Kind::kNumber, *number, {}};
  hasValue = false;
  return {};
}

struct ArrayArea {
  excel::calc::CellArea area;
  std::string formula;
};

void ReadSheet(const pugi::xml_document& document, const std::string& sheet,
               const std::vector<std::string>& strings, std::vector<SavedCell>& out) {
  std::vector<ArrayArea> arrays;
  std::map<std::pair<int, int>, SavedCell> plain;  // cells with a value and no formula
  std::vector<SavedCell> formulas;
  int row = -1;
  ForChildren(Child(Child(document, "worksheet"), "sheetData"), "row",
              [&](const pugi::xml_node& r) {
                const int number = r.attribute("r").as_int(0);
                row = number > 0 ? number - 1 : row + 1;
                int column = -1;
                ForChildren(r, "c", [&](const pugi::xml_node& c) {
                  const std::optional<excel::calc::CellArea> at =
                      excel::calc::ParseA1Area(c.attribute("r").value());
                  if (at) {
                    row = at->firstRow;
                    column = at->firstColumn;
                  } else {
                    ++column;
                  }
                  SavedCell cell{sheet, row, column, {}, false, {}};
                  cell.value = CachedValue(c, strings, cell.hasValue);
                  const pugi::xml_node f = Child(c, "f");
                  if (!f) {
                    plain.emplace(std::pair(row, column), std::move(cell));
                    return;
                  }
                  const std::string formula = f.child_value();
                  if (!formula.empty()) cell.formula = "=" + formula;
                  if (std::string_view(f.attribute("t").value()) == "array") {
                    if (const std::optional<excel::calc::CellArea> ref =
                            excel::calc::ParseA1Area(f.attribute("ref").value()))
                      arrays.push_back(ArrayArea{*ref, cell.formula});
                  }
                  formulas.push_back(std::move(cell));
                });
              });
  // The cells an array formula fills carry only their values.
  for (const ArrayArea& array : arrays) {
    for (auto& [position, cell] : plain) {
      const auto [r, c] = position;
      if (r < array.area.firstRow || r > array.area.lastRow || c < array.area.firstColumn ||
          c > array.area.lastColumn)
        continue;
      if (cell.formula.empty()) cell.formula = "{" + array.formula + "}";
      formulas.push_back(cell);
    }
  }
  std::sort(formulas.begin(), formulas.end(), [](const SavedCell& a, const SavedCell& b) {
    return std::pair(a.row, a.column) < std::pair(b.row, b.column);
  });
  out.insert(out.end(), formulas.begin(), formulas.end());
}

}  // namespace

bool ReadXlsxSavedValues(std::string bytes, SavedWorkbook& workbook, std::string& error) {
  ZipPackage package;
  if (!package.Open(std::move(bytes), error)) return false;
  std::vector<excel::calc::WorksheetPart> sheets;
  if (!excel::calc::ReadWorksheetParts(package, sheets, error)) return false;
  const std::vector<std::string> strings = ReadSharedStrings(package, "xl/sharedStrings.xml");
  for (const auto& [id, relationship] : ReadRelationships(package, "xl/_rels/workbook.xml.rels")) {
    if (!EndsWith(relationship.type, "/externalLink")) continue;
    const std::string part = PartName("xl/", relationship.target);
    for (const auto& [linkId, link] :
         ReadRelationships(package, excel::calc::RelationshipsPartOf(part))) {
      if (link.external) workbook.externalLinks.push_back(link.target);
    }
  }
  for (const excel::calc::WorksheetPart& sheet : sheets) {
    workbook.sheets.push_back(sheet.sheet);
    if (sheet.part.empty()) continue;
    pugi::xml_document part;
    if (!ParsePart(package, sheet.part, part, error)) {
      error = "sheet " + sheet.sheet + ": " + error;
      return false;
    }
    ReadSheet(part, sheet.sheet, strings, workbook.formulas);
  }
  return true;
}

}  // namespace refhost
