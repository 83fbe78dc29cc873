// The cached values of an .xlsx / .xlsm package: sheet names from
// xl/workbook.xml and its relationships, shared strings, and every formula
// cell of each worksheet part (<c r="B2" t="..."><f>..</f><v>..</v></c>).
// Cells of a shared formula and every cell inside an array formula's ref
// count as formula cells.
#include <pugixml.hpp>

#include <algorithm>
#include <map>

#include "common/csv.h"
#include "excel/calc/packages/xlsx_package.h"
#include "saved_values/saved_values.h"
#include "saved_values/xlsx_sheet.h"
#include "saved_values/zip_package.h"

namespace refhost {
namespace {

constexpr const char* kWorkbookRels = "xl/_rels/workbook.xml.rels";

using excel::calc::Attribute;
using excel::calc::Child;
using excel::calc::EndsWith;
using excel::calc::ForChildren;
using excel::calc::LocalName;
using excel::calc::ParsePart;
using excel::calc::PartName;
using excel::calc::ReadRelationships;
using excel::calc::Relationships;
using excel::calc::RelationshipsPartOf;

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
  if (!named && !package.Has(name)) return {};
  outcome::Expected<std::vector<std::string>> strings = ReadSharedStringsPart(package, name);
  if (strings) return std::move(*strings);
  problems.push_back(strings.GetError().Message() +
                     "; the cells that show shared strings are not compared");
  return {};
}

// The file an external link part names ("" when it names none).
std::string LinkedFile(const ZipPackage& package, const excel::calc::Relationship& relationship,
                       SavedWorkbook& workbook) {
  outcome::Expected<Relationships> links =
      ReadRelationships(package, RelationshipsPartOf(PartName("xl/", relationship.target)));
  if (!links) {
    workbook.problems.push_back(links.TakeError().Message() +
                                "; the file an external link names is not known");
    return {};
  }
  for (const auto& [linkId, link] : *links) {
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

// Each sheet's formula cells, through the workbook's relationships. A sheet
// whose relationship is missing is a problem; one whose part cannot be read
// an error.
outcome::Error ReadSheets(const ZipPackage& package, const pugi::xml_node& root,
                          const Relationships& relationships, const ValueContext& context,
                          SavedWorkbook& workbook) {
  outcome::Error unread = outcome::Error::Success();
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
    if (unread || !EndsWith(relationship->second.type, "/worksheet")) return;
    unread = ReadWorksheetPart(package, PartName("xl/", relationship->second.target), name, context,
                               budget, workbook);
  });
  return unread;
}

}  // namespace

outcome::Expected<SavedWorkbook> ReadXlsxSavedValues(std::string bytes) {
  ZipPackage package;
  if (outcome::Error unopened = package.Open(std::move(bytes))) return unopened;
  return ReadXlsxSavedValues(package);
}

outcome::Expected<SavedWorkbook> ReadXlsxSavedValues(const ZipPackage& package) {
  pugi::xml_document book;
  if (outcome::Error unread = ParsePart(package, "xl/workbook.xml", book)) return unread;
  const pugi::xml_node root = Child(book, "workbook");
  if (!root) return outcome::Error::Failed("xl/workbook.xml holds no workbook");
  // Without the workbook's relationships no sheet can be found.
  outcome::Expected<Relationships> relationships = ReadRelationships(package, kWorkbookRels);
  if (!relationships) return relationships.TakeError();
  SavedWorkbook workbook;
  ValueContext context;
  context.strings = ReadSharedStrings(package, *relationships, workbook.problems);
  context.date1904 = Child(root, "workbookPr").attribute("date1904").as_bool(false);
  ReadExternalLinks(package, root, *relationships, workbook);
  if (outcome::Error unread = ReadSheets(package, root, *relationships, context, workbook))
    return unread;
  return workbook;
}

}  // namespace refhost
