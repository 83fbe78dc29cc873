#include "excel/calc/packages/xlsx_tables.h"

#include "excel/calc/packages/xlsx_package.h"

namespace excel::calc {
namespace {

bool ReadTable(const ZipPackage& package, const std::string& part, int sheet,
               std::vector<WorkbookTable>& tables, std::string& error) {
  pugi::xml_document document;
  if (!ParsePart(package, part, document, error)) return false;
  const pugi::xml_node root = Child(document, "table");
  const std::optional<CellArea> area = ParseA1Area(root.attribute("ref").value());
  if (!root || !area) {
    error = part + ": no table with a range";
    return false;
  }
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
  return true;
}

bool ReadSheetTables(const ZipPackage& package, const WorksheetPart& sheet, int index,
                     std::vector<WorkbookTable>& tables, std::string& error) {
  const std::string relationshipsPart = RelationshipsPartOf(sheet.part);
  if (!package.Has(relationshipsPart)) return true;
  const std::string folder = sheet.part.substr(0, sheet.part.find_last_of('/') + 1);
  for (const auto& [id, relationship] : ReadRelationships(package, relationshipsPart)) {
    if (!EndsWith(relationship.type, "/table") || relationship.external) continue;
    if (!ReadTable(package, PartName(folder, relationship.target), index, tables, error))
      return false;
  }
  return true;
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

bool ReadPackageTables(const ZipPackage& package, PackageTables& found, std::string& error) {
  std::vector<WorksheetPart> sheets;
  if (!ReadWorksheetParts(package, sheets, error)) return false;
  for (std::size_t i = 0; i < sheets.size(); ++i) {
    found.sheets.push_back(sheets[i].sheet);
    if (!sheets[i].part.empty() &&
        !ReadSheetTables(package, sheets[i], static_cast<int>(i), found.tables, error))
      return false;
  }
  if (found.tables.empty()) return true;
  for (std::size_t i = 0; i < sheets.size(); ++i) {
    if (sheets[i].part.empty()) continue;
    pugi::xml_document document;
    if (!ParsePart(package, sheets[i].part, document, error)) return false;
    ReadFormulas(document, static_cast<int>(i), found.formulas);
  }
  return true;
}

}  // namespace excel::calc
