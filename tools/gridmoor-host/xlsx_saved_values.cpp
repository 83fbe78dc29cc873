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
#include "saved_values.h"
#include "text/utf8.h"
#include "zip_package.h"

namespace refhost {
namespace {

using excel::CellResult;
constexpr unsigned kParseOptions = pugi::parse_default | pugi::parse_ws_pcdata;

std::string_view LocalName(const char* name) {
  const std::string_view text(name);
  const std::size_t colon = text.find(':');
  return colon == std::string_view::npos ? text : text.substr(colon + 1);
}

// The element children of `node` with this local name.
template <typename Visit>
void ForChildren(const pugi::xml_node& node, std::string_view name, Visit&& visit) {
  for (pugi::xml_node child : node.children()) {
    if (child.type() == pugi::node_element && LocalName(child.name()) == name) visit(child);
  }
}

pugi::xml_node Child(const pugi::xml_node& node, std::string_view name) {
  for (pugi::xml_node child : node.children()) {
    if (child.type() == pugi::node_element && LocalName(child.name()) == name) return child;
  }
  return {};
}

// An attribute by local name (r:id is written with whatever prefix).
pugi::xml_attribute Attribute(const pugi::xml_node& node, std::string_view name) {
  for (pugi::xml_attribute attribute : node.attributes()) {
    if (LocalName(attribute.name()) == name) return attribute;
  }
  return {};
}

bool ParsePart(const ZipPackage& package, const std::string& name, pugi::xml_document& document,
               std::string& error) {
  std::string content;
  if (!package.Read(name, content, error)) return false;
  const pugi::xml_parse_result parsed =
      document.load_buffer(content.data(), content.size(), kParseOptions);
  if (!parsed) {
    error = name + ": not well-formed XML (" + parsed.description() + " at byte " +
            std::to_string(parsed.offset) + ")";
    return false;
  }
  return true;
}

// A relationship target as a part name: relative to `folder`, or absolute.
std::string PartName(const std::string& folder, std::string target) {
  if (!target.empty() && target.front() == '/') return target.substr(1);
  std::string base = folder;
  while (target.rfind("../", 0) == 0) {
    target.erase(0, 3);
    const std::size_t slash = base.find_last_of('/', base.size() >= 2 ? base.size() - 2 : 0);
    base = slash == std::string::npos ? std::string() : base.substr(0, slash + 1);
  }
  return base + target;
}

struct Relationship {
  std::string type;
  std::string target;
  bool external = false;
};

std::map<std::string, Relationship> ReadRelationships(const ZipPackage& package,
                                                      const std::string& name) {
  std::map<std::string, Relationship> relationships;
  pugi::xml_document document;
  std::string ignored;
  if (!package.Has(name) || !ParsePart(package, name, document, ignored)) return relationships;
  ForChildren(Child(document, "Relationships"), "Relationship", [&](const pugi::xml_node& r) {
    relationships[r.attribute("Id").value()] =
        Relationship{r.attribute("Type").value(), r.attribute("Target").value(),
                     std::string_view(r.attribute("TargetMode").value()) == "External"};
  });
  return relationships;
}

bool EndsWith(std::string_view text, std::string_view end) {
  return text.size() >= end.size() && text.substr(text.size() - end.size()) == end;
}

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
  pugi::xml_document book;
  if (!ParsePart(package, "xl/workbook.xml", book, error)) return false;
  const std::map<std::string, Relationship> relationships =
      ReadRelationships(package, "xl/_rels/workbook.xml.rels");
  const std::vector<std::string> strings = ReadSharedStrings(package, "xl/sharedStrings.xml");
  const pugi::xml_node root = Child(book, "workbook");
  if (!root) {
    error = "xl/workbook.xml holds no workbook";
    return false;
  }
  for (const auto& [id, relationship] : relationships) {
    if (!EndsWith(relationship.type, "/externalLink")) continue;
    const std::string part = PartName("xl/", relationship.target);
    const std::size_t slash = part.find_last_of('/');
    const std::string rels =
        part.substr(0, slash + 1) + "_rels/" + part.substr(slash + 1) + ".rels";
    for (const auto& [linkId, link] : ReadRelationships(package, rels)) {
      if (link.external) workbook.externalLinks.push_back(link.target);
    }
  }
  std::string sheetError;
  ForChildren(Child(root, "sheets"), "sheet", [&](const pugi::xml_node& sheet) {
    const std::string name = sheet.attribute("name").value();
    workbook.sheets.push_back(name);
    const auto relationship = relationships.find(Attribute(sheet, "id").value());
    if (relationship == relationships.end() || !EndsWith(relationship->second.type, "/worksheet"))
      return;
    pugi::xml_document part;
    if (!ParsePart(package, PartName("xl/", relationship->second.target), part, error)) {
      if (sheetError.empty()) sheetError = "sheet " + name + ": " + error;
      return;
    }
    ReadSheet(part, name, strings, workbook.formulas);
  });
  if (!sheetError.empty()) {
    error = sheetError;
    return false;
  }
  return true;
}

}  // namespace refhost
