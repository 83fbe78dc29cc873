// The equipment description: what a model tells the host about the files it
// uses (which application opens them, under which label) and the equipment
// and variables it offers, and the "Model" document that carries it.
#pragma once

#include <string>
#include <vector>

#include "xml/xml_writer.h"

namespace xml {

// The data-server tag of a variable.
struct CXmlVariableOSTag {
  std::string tag;
  std::string qualifier;
};

struct CXmlEquipmentVariable {
  std::string label;
  std::string unit;
  bool writeable = false;
  std::vector<CXmlVariableOSTag> tags;
};

// A child or parent of an equipment item.
struct CXmlEquipmentReference {
  std::string label;
  std::string type;
};

struct CXmlEquipmentItem {
  std::string label;
  std::string type;
  std::string subtype;
  std::vector<CXmlEquipmentReference> children;
  std::vector<CXmlEquipmentReference> parents;
  std::vector<CXmlEquipmentVariable> variables;
};

// One application entry of a module.
struct CXmlModuleData {
  std::string application;
  std::string alias;  // the model's label
  bool isLocal = false;
  std::string description;
  std::string share;
  std::string uniqueId;
  std::string system;
  std::string systemType;  // left out of the document when blank
  std::vector<CXmlEquipmentItem> equipment;
};

struct CXmlModule {
  std::string fileName;
  std::vector<CXmlModuleData> data;
};

struct EquipmentDescription {
  std::string fileName;  // the model's main file
  std::vector<CXmlModule> modules;
};

// The version the "Model" root carries.
inline constexpr char kEquipmentVersion[] = "1.0.0";

// Adds the "Model" element to `document`: every element of the format,
// empty ones included, children in the format's order.
void BuildModelDocument(const EquipmentDescription& description, CXMLDocument& document);

}  // namespace xml
