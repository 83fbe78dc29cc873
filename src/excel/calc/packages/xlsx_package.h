// Walking the parts of an .xlsx / .xlsm package: its XML parts parsed,
// relationships followed to the parts they name, elements and attributes
// found by local name (prefixes vary between writers), and the worksheets
// of xl/workbook.xml in their order.
#pragma once

#include <pugixml.hpp>

#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "excel/calc/packages/zip_package.h"

namespace excel::calc {

// "main" for "x:main".
std::string_view LocalName(const char* name);

// The element children of `node` with this local name.
template <typename Visit>
void ForChildren(const pugi::xml_node& node, std::string_view name, Visit&& visit) {
  for (pugi::xml_node child : node.children()) {
    if (child.type() == pugi::node_element && LocalName(child.name()) == name) visit(child);
  }
}

pugi::xml_node Child(const pugi::xml_node& node, std::string_view name);
// An attribute by local name (r:id is written with whatever prefix).
pugi::xml_attribute Attribute(const pugi::xml_node& node, std::string_view name);

// Parses part `name` into `document`; a failure when it is missing, damaged
// or not well-formed XML.
outcome::Error ParsePart(const ZipPackage& package, const std::string& name,
                         pugi::xml_document& document);

// A relationship target as a part name: relative to `folder`, or absolute.
std::string PartName(const std::string& folder, std::string target);
// The relationships part of part `name` ("xl/_rels/workbook.xml.rels" for
// "xl/workbook.xml").
std::string RelationshipsPartOf(const std::string& name);

struct Relationship {
  std::string type;
  std::string target;
  bool external = false;
};

using Relationships = std::map<std::string, Relationship>;

// The relationships of part `name` (a relationships part) by id; a failure
// when it is missing or damaged.
outcome::Expected<Relationships> ReadRelationships(const ZipPackage& package,
                                                   const std::string& name);
// The same, none when it has no readable relationships part.
Relationships RelationshipsOrNone(const ZipPackage& package, const std::string& name);

bool EndsWith(std::string_view text, std::string_view end);

struct WorksheetPart {
  std::string sheet;  // its name in the workbook
  std::string part;   // "xl/worksheets/sheet1.xml"; empty for a sheet that is no worksheet
};

// The sheets of xl/workbook.xml in their order, with the parts of the
// worksheets; a failure when the workbook part cannot be read.
outcome::Expected<std::vector<WorksheetPart>> ReadWorksheetParts(const ZipPackage& package);

}  // namespace excel::calc
