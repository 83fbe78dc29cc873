#include "excel/calc/packages/xlsx_tables.h"

#include "excel/calc/packages/xlsx_package.h"

namespace excel::calc {
namespace {

outcome::Error ReadTable(const ZipPackage& package, const std::string& part, int sheet,
                         std::vector<WorkbookTable>& tables) {
  pugi::xml_document document;
  if (outcome::Error unread = ParsePart(package, part, document)) return unread;
  const pugi::xml_node root = Child(document, "table");
  const std::optional<CellArea> area = ParseA1Area(root.attribute("ref").value());
  if (!root || !area) return outcome::Error::Failed(part + ": no table with a range");
  WorkbookTable table;
  table.name = root.attribute("displayName").value();
  if (table.name.empty()) table.name = root.attribute("name").value();
  table.sheet = sheet;
  table.area = *area;
  table.headerRows = root.attribute("headerRowCount").as_int(1);
  table.totalsRows = root.attribute("totalsRowCount").as_int(0);
  ForChildren(Child(root, "tableColumns"), "tableColumn", [&](const pugi::xml_node& column) {
    table.columns.push_back(column.attribute("name").value());
  });
  tables.push_back(std::move(table));
  return outcome::Error::Success();
}

outcome::Error ReadSheetTables(const ZipPackage& package, const WorksheetPart& sheet, int index,
                               std::vector<WorkbookTable>& tables) {
  const std::string folder = sheet.part.substr(0, sheet.part.find_last_of('/') + 1);
  for (const auto& [id, relationship] :
       RelationshipsOrNone(package, RelationshipsPartOf(sheet.part))) {
    if (!EndsWith(relationship.type, "/table") || relationship.external) continue;
    if (outcome::Error unread =
            ReadTable(package, PartName(folder, relationship.target), index, tables))
      return unread;
  }
  return outcome::Error::Success();
}

void ReadFormulas(const pugi::xml_document& document, int sheet,
                  std::vector<PackageFormula>& formulas) {
  int row = -1;
  ForChildren(Child(Child(document, "worksheet"), "sheetData"), "row",
              [&](const pugi::xml_node& r) {
                const int number = r.attribute("r").as_int(0);
                row = number > 0 ? number - 1 : row + 1;
                int column = -1;
                ForChildren(r, "c", [&](const pugi::xml_node& c) {
                  if (const std::optional<CellArea> at = ParseA1Area(c.attribute("r").value())) {
                    row = at->firstRow;
                    column = at->firstColumn;
                  } else {
                    ++column;
                  }
                  const pugi::xml_node f = Child(c, "f");
                  const std::string text = f.child_value();
                  if (!f || text.empty() || std::string_view(f.attribute("t").value()) == "array")
                    return;
                  formulas.push_back(PackageFormula{sheet, row, column, text});
                });
              });
}

}  // namespace

outcome::Expected<PackageTables> ReadPackageTables(const ZipPackage& package) {
  outcome::Expected<std::vector<WorksheetPart>> sheets = ReadWorksheetParts(package);
  if (!sheets) return sheets.TakeError();
  PackageTables found;
  for (std::size_t i = 0; i < sheets->size(); ++i) {
    const WorksheetPart& sheet = (*sheets)[i];
    found.sheets.push_back(sheet.sheet);
    if (sheet.part.empty()) continue;
    if (outcome::Error unread = ReadSheetTables(package, sheet, static_cast<int>(i), found.tables))
      return unread;
  }
  if (found.tables.empty()) return found;
  for (std::size_t i = 0; i < sheets->size(); ++i) {
    const WorksheetPart& sheet = (*sheets)[i];
    if (sheet.part.empty()) continue;
    pugi::xml_document document;
    if (outcome::Error unread = ParsePart(package, sheet.part, document)) return unread;
    ReadFormulas(document, static_cast<int>(i), found.formulas);
  }
  return found;
}

}  // namespace excel::calc
