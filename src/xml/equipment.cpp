#include "xml/equipment.h"

#include "text/ascii.h"

namespace xml {
namespace {

void AddReferences(CXMLElement& parent, const char* listName, const char* itemName,
                   const std::vector<CXmlEquipmentReference>& references) {
  CXMLElement& list = parent.AddElement(listName);
  for (const CXmlEquipmentReference& reference : references) {
    CXMLElement& item = list.AddElement(itemName);
    item.AddElement("Label", reference.label);
    item.AddElement("Type", reference.type);
  }
}

void AddVariable(CXMLElement& parent, const CXmlEquipmentVariable& variable) {
  CXMLElement& item = parent.AddElement("VariableItem");
  item.AddElement("Label", variable.label);
  item.AddElement("Unit", variable.unit);
  item.AddBoolean(kElementNode, "Writeable", variable.writeable);
  for (const CXmlVariableOSTag& tag : variable.tags) {
    CXMLElement& os = item.AddElement("OS");
    os.AddElement("Tag", tag.tag);
    os.AddElement("Qualifier", tag.qualifier);
  }
}

void AddEquipment(CXMLElement& parent, const CXmlEquipmentItem& equipment) {
  CXMLElement& item = parent.AddElement("EquipmentItem");
  item.AddElement("Label", equipment.label);
  item.AddElement("Type", equipment.type);
  item.AddElement("SubType", equipment.subtype);
  AddReferences(item, "Children", "Child", equipment.children);
  AddReferences(item, "Parents", "Parent", equipment.parents);
  CXMLElement& variables = item.AddElement("Variables");
  for (const CXmlEquipmentVariable& variable : equipment.variables)
    AddVariable(variables, variable);
}

void AddModuleData(CXMLElement& parent, const CXmlModuleData& data) {
  CXMLElement& item = parent.AddElement("ModuleDataItem");
  item.AddElement("Alias", data.alias);
  item.AddElement("Application", data.application);
  item.AddBoolean(kElementNode, "IsLocal", data.isLocal);
  item.AddElement("Description", data.description);
  item.AddElement("Share", data.share);
  item.AddElement("UniqueId", data.uniqueId);
  CXMLElement& system = item.AddElement("System", data.system);
  if (!text::IsBlank(data.systemType)) system.AddAttribute("SystemType", data.systemType);
  CXMLElement& equipment = item.AddElement("Equipment");
  for (const CXmlEquipmentItem& entry : data.equipment)
    AddEquipment(equipment, entry);
}

}  // namespace

void BuildModelDocument(const EquipmentDescription& description, CXMLDocument& document) {
  CXMLElement& model = document.AddElement("Model");
  model.AddSchemaAttributes(kEquipmentVersion);
  model.AddElement("Filename", description.fileName);
  CXMLElement& modules = model.AddElement("Modules");
  for (const CXmlModule& module : description.modules) {
    CXMLElement& item = modules.AddElement("ModuleItem");
    item.AddElement("Filename", module.fileName);
    CXMLElement& data = item.AddElement("Data");
    for (const CXmlModuleData& entry : module.data)
      AddModuleData(data, entry);
  }
}

}  // namespace xml
