// The cached values of an .xlsx / .xlsm package: sheet names from
// xl/workbook.xml and its relationships, shared strings, and every formula
// cell of each worksheet part (<c r="B2" t="..."><f>..</f><v>..</v></c>).
// Cells of a shared formula and every cell inside an array formula's ref
// count as formula cells.
#include <pugixml.hpp>

#include <algorithm>
#include <map>
#include <optional>

#include "common/csv.h"
#include "excel/calc/cells/cell_input.h"
#include "excel/calc/formulas/sheet_addresses.h"
#include "excel/calc/packages/xlsx_package.h"
#include "saved_values/saved_values.h"
#include "saved_values/zip_package.h"
#include "text/utf8.h"

namespace refhost {
namespace {

using excel::CellResult;
constexpr const char* kWorkbookRels = "xl/_rels/workbook.xml.rels";

using excel::calc::Attribute;
using excel::calc::Child;
using excel::calc::EndsWith;
using excel::calc::ForChildren;
using excel::calc::LocalName;
using excel::calc::ParsePart;
using excel::calc::PartName;
using excel::calc::ReadRelationships;
using excel::calc::RelationshipsPartOf;
using Relationships = std::map<std::string, excel::calc::Relationship>;

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

// The workbook's shared strings; a part its relationships name that cannot
// be read is a problem: the cells that show its strings are not compared.
std::vector<std::string> ReadSharedStrings(const ZipPackage& package,
                                           const Relationships& relationships,
                                           std::vector<std::string>& problems) {
  std::string name = "xl/sharedStrings.xml";
  bool named = false;
  for (const auto& [id, relationship] : relationships) {
    if (!EndsWith(relationship.type, "/sharedStrings")) continue;
    name = PartName("xl/", relationship.target);
    named = true;
  }
  std::vector<std::string> strings;
  pugi::xml_document document;
  std::string error;
  if (!named && !package.Has(name)) return strings;
  if (!ParsePart(package, name, document, error)) {
    problems.push_back(error + "; the cells that show shared strings are not compared");
    return strings;
  }
  ForChildren(Child(document, "sst"), "si",
              [&](const pugi::xml_node& item) { strings.push_back(StringItemText(item)); });
  return strings;
}

// The file an external link part names ("" when it names none).
std::string LinkedFile(const ZipPackage& package, const excel::calc::Relationship& relationship,
                       SavedWorkbook& workbook) {
  Relationships links;
  std::string error;
  if (!ReadRelationships(package, RelationshipsPartOf(PartName("xl/", relationship.target)), links,
                         error)) {
    workbook.problems.push_back(error + "; the file an external link names is not known");
    return {};
  }
  for (const auto& [linkId, link] : links) {
    if (link.external) return link.target;
  }
  return {};
}

// The files the package's external link parts name, in the order of the
// workbook's <externalReferences>, which a formula's [1], [2], ... count;
// a link part the workbook does not list comes last.
void ReadExternalLinks(const ZipPackage& package, const pugi::xml_node& root,
                       const Relationships& relationships, SavedWorkbook& workbook) {
  std::vector<std::string> ids;
  ForChildren(Child(root, "externalReferences"), "externalReference",
              [&](const pugi::xml_node& reference) {
                ids.emplace_back(Attribute(reference, "id").value());
              });
  for (const auto& [id, relationship] : relationships) {
    if (EndsWith(relationship.type, "/externalLink") &&
        std::find(ids.begin(), ids.end(), id) == ids.end())
      ids.push_back(id);
  }
  for (const std::string& id : ids) {
    const auto found = relationships.find(id);
    const bool link = found != relationships.end() && EndsWith(found->second.type, "/externalLink");
    workbook.externalLinks.push_back(link ? LinkedFile(package, found->second, workbook) : "");
  }
}

// What reading a cell's value needs besides the cell.
struct ValueContext {
  std::vector<std::string> strings;
  bool date1904 = false;
};

std::optional<double> Number(const char* text) {
  return excel::calc::ParsePlainNumber(text::Utf8ToUtf16(text));
}

// An ISO 8601 date as the spreadsheet's serial number: day 1 is 1900-01-01,
// and the 29 February 1900 it counts (serial 60) makes serials from 61 on
// days since 1899-12-30; with date1904, day 0 is 1904-01-01.
std::optional<double> DateSerial(const char* text, bool date1904) {
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

CellResult CachedValue(const pugi::xml_node& cell, const ValueContext& context, bool& hasValue) {
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
  std::optional<double> number;
  if (type == "str") return CellResult{CellResult::Kind::kText, 0, text};
  if (type == "e") return CellResult{CellResult::Kind::kError, 0, text};
  if (type == "b")
    return CellResult{CellResult::Kind::kLogical, std::string_view(text) == "1" ? 1.0 : 0.0, {}};
  if (type == "s") {
    const std::optional<double> index = Number(text);
    if (index && *index >= 0 && *index < static_cast<double>(context.strings.size()))
      return CellResult{CellResult::Kind::kText, 0,
                        context.strings[static_cast<std::size_t>(*index)]};
  } else if (type == "d") {
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

// A sheet's cells as they are read, before the cells of array and shared
// formulas get their formulas. Cells without a formula are kept by their
// element alone: only those inside an array's area are read.
struct PlainCell {
  int row = 0;
  int column = 0;
  pugi::xml_node element;
};
struct SheetCells {
  std::vector<SavedCell> formulas;
  std::vector<PlainCell> plain;
  std::vector<ArrayArea> arrays;
  std::map<std::string, std::size_t> masters;               // formulas[i] by shared si
  std::vector<std::pair<std::size_t, std::string>> shared;  // formulas[i] repeats si
};

// False when the cell passes the budget.
bool ReadCell(const pugi::xml_node& c, SavedCell cell, const ValueContext& context,
              FormulaBudget& budget, SheetCells& cells) {
  const pugi::xml_node f = Child(c, "f");
  if (!f) {
    cells.plain.push_back(PlainCell{cell.row, cell.column, c});
    return true;
  }
  cell.value = CachedValue(c, context, cell.hasValue);
  const std::string formula = f.child_value();
  if (!formula.empty()) cell.formula = "=" + formula;
  const std::string_view type = f.attribute("t").value();
  if (type == "array") {
    if (const std::optional<excel::calc::CellArea> ref =
            excel::calc::ParseA1Area(f.attribute("ref").value()))
      cells.arrays.push_back(ArrayArea{*ref, cell.formula});
  } else if (type == "shared") {
    const std::string si = f.attribute("si").value();
    if (formula.empty())
      cells.shared.emplace_back(cells.formulas.size(), si);
    else
      cells.masters.emplace(si, cells.formulas.size());
  }
  if (!budget.Take(cell)) return false;
  cells.formulas.push_back(std::move(cell));
  return true;
}

// The cells an array formula fills carry only their values: each plain
// cell inside an array's area becomes a formula cell of that array. One
// sweep down the rows, with the arrays spanning the row at hand kept by
// their first column (arrays do not overlap; one that would is left out).
bool AddArrayCells(const std::string& sheet, const ValueContext& context, FormulaBudget& budget,
                   SheetCells& cells) {
  if (cells.arrays.empty()) return true;
  std::stable_sort(cells.plain.begin(), cells.plain.end(), [](const auto& a, const auto& b) {
    return std::pair(a.row, a.column) < std::pair(b.row, b.column);
  });
  std::vector<const ArrayArea*> starts;
  for (const ArrayArea& array : cells.arrays)
    starts.push_back(&array);
  std::stable_sort(starts.begin(), starts.end(), [](const auto* a, const auto* b) {
    return a->area.firstRow < b->area.firstRow;
  });
  std::map<int, const ArrayArea*> spanning;  // by first column
  std::multimap<int, int> ends;              // last row -> first column
  std::size_t next = 0;
  for (const PlainCell& plain : cells.plain) {
    for (; !ends.empty() && ends.begin()->first < plain.row; ends.erase(ends.begin()))
      spanning.erase(ends.begin()->second);
    for (; next < starts.size() && starts[next]->area.firstRow <= plain.row; ++next) {
      const excel::calc::CellArea& area = starts[next]->area;
      const auto after = spanning.lower_bound(area.firstColumn);
      if (area.lastRow < plain.row ||
          (after != spanning.end() && after->first <= area.lastColumn) ||
          (after != spanning.begin() &&
           std::prev(after)->second->area.lastColumn >= area.firstColumn))
        continue;
      spanning.emplace(area.firstColumn, starts[next]);
      ends.emplace(area.lastRow, area.firstColumn);
    }
    auto found = spanning.upper_bound(plain.column);
    if (found == spanning.begin() || (--found)->second->area.lastColumn < plain.column) continue;
    SavedCell cell{sheet, plain.row, plain.column, "{" + found->second->formula + "}", false, {}};
    cell.value = CachedValue(plain.element, context, cell.hasValue);
    if (!budget.Take(cell)) return false;
    cells.formulas.push_back(std::move(cell));
  }
  return true;
}

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

// The formula cells of a worksheet part. Cells past the sheet's last row
// or column (which no spreadsheet writes) are left out as a problem.
bool ReadSheet(const pugi::xml_document& document, const std::string& part,
               const std::string& sheet, const ValueContext& context, FormulaBudget& budget,
               SavedWorkbook& workbook) {
  using excel::calc::kMaxColumns;
  using excel::calc::kMaxRows;
  SheetCells cells;
  long long row = -1;
  bool outside = false, within = true;
  ForChildren(
      Child(Child(document, "worksheet"), "sheetData"), "row", [&](const pugi::xml_node& r) {
        const long long number = r.attribute("r").as_llong(0);
        row = std::min<long long>(number > 0 ? number - 1 : row + 1, kMaxRows);
        long long column = -1;
        ForChildren(r, "c", [&](const pugi::xml_node& c) {
          const std::optional<excel::calc::CellArea> at =
              excel::calc::ParseA1Area(c.attribute("r").value());
          if (at && at->IsSingleCell()) {
            row = at->firstRow;
            column = at->firstColumn;
          } else {
            column = std::min<long long>(column + 1, kMaxColumns);
          }
          if (row >= kMaxRows || column >= kMaxColumns) {
            outside = true;
          } else if (within) {
            within = ReadCell(
                c, SavedCell{sheet, static_cast<int>(row), static_cast<int>(column), {}, false, {}},
                context, budget, cells);
          }
        });
      });
  if (outside)
    workbook.problems.push_back(OneLine(part) +
                                ": cells past row 1048576 or column XFD are not compared");
  if (!within || !AddSharedFormulas(budget, cells) || !AddArrayCells(sheet, context, budget, cells))
    return false;
  std::stable_sort(cells.formulas.begin(), cells.formulas.end(),
                   [](const SavedCell& a, const SavedCell& b) {
                     return std::pair(a.row, a.column) < std::pair(b.row, b.column);
                   });
  workbook.formulas.insert(workbook.formulas.end(), std::make_move_iterator(cells.formulas.begin()),
                           std::make_move_iterator(cells.formulas.end()));
  return true;
}

// Each sheet's formula cells, through the workbook's relationships. A sheet
// whose relationship is missing is a problem; one whose part cannot be read
// an error.
bool ReadSheets(const ZipPackage& package, const pugi::xml_node& root,
                const Relationships& relationships, const ValueContext& context,
                SavedWorkbook& workbook, std::string& error) {
  bool read = true;
  FormulaBudget budget;
  ForChildren(Child(root, "sheets"), "sheet", [&](const pugi::xml_node& sheet) {
    const std::string name = sheet.attribute("name").value();
    workbook.sheets.push_back(name);
    const std::string id = Attribute(sheet, "id").value();
    const auto relationship = relationships.find(id);
    if (relationship == relationships.end()) {
      workbook.problems.push_back("sheet " + OneLine(name) + ": " + std::string(kWorkbookRels) +
                                  " has no relationship '" + OneLine(id) +
                                  "'; its cells are not compared");
      return;
    }
    // Chart and dialog sheets hold no cells.
    if (!read || !EndsWith(relationship->second.type, "/worksheet")) return;
    const std::string part = PartName("xl/", relationship->second.target);
    pugi::xml_document document;
    if (!ParsePart(package, part, document, error)) {
      error = "sheet " + OneLine(name) + ": " + error;
      read = false;
      return;
    }
    if (!ReadSheet(document, part, name, context, budget, workbook)) {
      error = FormulaBudget::Refusal(name);
      read = false;
    }
  });
  return read;
}

}  // namespace

bool ReadXlsxSavedValues(std::string bytes, SavedWorkbook& workbook, std::string& error) {
  ZipPackage package;
  if (!package.Open(std::move(bytes), error)) return false;
  pugi::xml_document book;
  if (!ParsePart(package, "xl/workbook.xml", book, error)) return false;
  const pugi::xml_node root = Child(book, "workbook");
  if (!root) {
    error = "xl/workbook.xml holds no workbook";
    return false;
  }
  // Without the workbook's relationships no sheet can be found.
  Relationships relationships;
  if (!ReadRelationships(package, kWorkbookRels, relationships, error)) return false;
  ValueContext context;
  context.strings = ReadSharedStrings(package, relationships, workbook.problems);
  context.date1904 = Child(root, "workbookPr").attribute("date1904").as_bool(false);
  ReadExternalLinks(package, root, relationships, workbook);
  return ReadSheets(package, root, relationships, context, workbook, error);
}

}  // namespace refhost
