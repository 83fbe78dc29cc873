#include "excel/calc/packages/xlsx_package.h"

#include "text/ascii.h"

namespace excel::calc {
namespace {

// Whitespace is text only as an element's one child (<t> </t>, <v> </v>):
// the indentation between elements would otherwise cost a node each, more
// memory than the text itself in an indented sheet.
constexpr unsigned kParseOptions = pugi::parse_default | pugi::parse_ws_pcdata_single;

}  // namespace

std::string_view LocalName(const char* name) {
  const std::string_view text(name);
  const std::size_t colon = text.find(':');
  return colon == std::string_view::npos ? text : text.substr(colon + 1);
}

pugi::xml_node Child(const pugi::xml_node& node, std::string_view name) {
  for (pugi::xml_node child : node.children()) {
    if (child.type() == pugi::node_element && LocalName(child.name()) == name) return child;
  }
  return {};
}

pugi::xml_attribute Attribute(const pugi::xml_node& node, std::string_view name) {
  for (pugi::xml_attribute attribute : node.attributes()) {
    if (LocalName(attribute.name()) == name) return attribute;
  }
  return {};
}

outcome::Error ParsePart(const ZipPackage& package, const std::string& name,
                         pugi::xml_document& document) {
  outcome::Expected<std::string> content = package.Read(name);
  if (!content) return content.TakeError();
  const pugi::xml_parse_result parsed =
      document.load_buffer(content->data(), content->size(), kParseOptions);
  if (!parsed)
    return outcome::Error::Failed(text::OneLine(name) + ": not well-formed XML (" +
                                  parsed.description() + " at byte " +
                                  std::to_string(parsed.offset) + ")");
  return outcome::Error::Success();
}

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

std::string RelationshipsPartOf(const std::string& name) {
  const std::size_t slash = name.find_last_of('/');
  const std::size_t start = slash == std::string::npos ? 0 : slash + 1;
  return name.substr(0, start) + "_rels/" + name.substr(start) + ".rels";
}

outcome::Expected<Relationships> ReadRelationships(const ZipPackage& package,
                                                   const std::string& name) {
  pugi::xml_document document;
  if (outcome::Error unread = ParsePart(package, name, document)) return unread;
  Relationships relationships;
  ForChildren(Child(document, "Relationships"), "Relationship", [&](const pugi::xml_node& r) {
    relationships[r.attribute("Id").value()] =
        Relationship{r.attribute("Type").value(), r.attribute("Target").value(),
                     std::string_view(r.attribute("TargetMode").value()) == "External"};
  });
  return relationships;
}

Relationships RelationshipsOrNone(const ZipPackage& package, const std::string& name) {
  if (!package.Has(name)) return {};
  outcome::Expected<Relationships> relationships = ReadRelationships(package, name);
  // A damaged relationships part links nothing; the parts it would have
  // named are then missing, which their readers say.
  return relationships ? std::move(*relationships) : Relationships();
}

bool EndsWith(std::string_view text, std::string_view end) {
  return text.size() >= end.size() && text.substr(text.size() - end.size()) == end;
}

outcome::Expected<std::vector<WorksheetPart>> ReadWorksheetParts(const ZipPackage& package) {
  pugi::xml_document book;
  if (outcome::Error unread = ParsePart(package, "xl/workbook.xml", book)) return unread;
  const pugi::xml_node root = Child(book, "workbook");
  if (!root) return outcome::Error::Failed("xl/workbook.xml holds no workbook");
  const Relationships relationships = RelationshipsOrNone(package, "xl/_rels/workbook.xml.rels");
  std::vector<WorksheetPart> sheets;
  ForChildren(Child(root, "sheets"), "sheet", [&](const pugi::xml_node& sheet) {
    WorksheetPart found{sheet.attribute("name").value(), {}};
    const auto relationship = relationships.find(Attribute(sheet, "id").value());
    if (relationship != relationships.end() && EndsWith(relationship->second.type, "/worksheet"))
      found.part = PartName("xl/", relationship->second.target);
    sheets.push_back(std::move(found));
  });
  return sheets;
}

}  // namespace excel::calc
