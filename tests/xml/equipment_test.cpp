#include "xml/equipment.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(EquipmentDescription, WritesEveryElementInTheFormatsOrder) {
  xml::EquipmentDescription description;
  description.fileName = "main.xlsx";
  xml::CXmlModuleData data;
  data.application = "Excel";
  data.alias = "Well & Co";
  data.isLocal = true;
  data.description = "d";
  data.share = "s";
  data.uniqueId = "u";
  data.system = "sys";
  data.systemType = "T<1>";
  xml::CXmlEquipmentItem item;
  item.label = "Sep";
  item.type = "Separator";
  item.subtype = "2-phase";
  item.children.push_back({"Out", "Pipe"});
  item.parents.push_back({"Site", "Plant"});
  xml::CXmlEquipmentVariable variable;
  variable.label = "P";
  variable.unit = "psig";
  variable.writeable = true;
  variable.tags.push_back({"Sheet1|B5", "q"});
  variable.tags.push_back({"Sheet1|B6", ""});
  item.variables.push_back(variable);
  item.variables.push_back({"T", "", false, {}});
  data.equipment.push_back(item);
  xml::CXmlModule module{"book.xlsx", {data}};
  module.data.push_back({});  // an entry with nothing set, system type blank
  description.modules.push_back(module);
  description.modules.push_back({});

  xml::CXMLDocument document;
  xml::BuildModelDocument(description, document);
  const std::string expected =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
      "<Model xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\" "
      "xmlns:xsd=\"http://www.w3.org/2001/XMLSchema\" version=\"1.0.0\">\n"
      "\t<Filename>main.xlsx</Filename>\n"
      "\t<Modules>\n"
      "\t\t<ModuleItem>\n"
      "\t\t\t<Filename>book.xlsx</Filename>\n"
      "\t\t\t<Data>\n"
      "\t\t\t\t<ModuleDataItem>\n"
      "\t\t\t\t\t<Alias>Well &amp; Co</Alias>\n"
      "\t\t\t\t\t<Application>Excel</Application>\n"
      "\t\t\t\t\t<IsLocal>true</IsLocal>\n"
      "\t\t\t\t\t<Description>d</Description>\n"
      "\t\t\t\t\t<Share>s</Share>\n"
      "\t\t\t\t\t<UniqueId>u</UniqueId>\n"
      "\t\t\t\t\t<System SystemType=\"T&lt;1&gt;\">sys</System>\n"
      "\t\t\t\t\t<Equipment>\n"
      "\t\t\t\t\t\t<EquipmentItem>\n"
      "\t\t\t\t\t\t\t<Label>Sep</Label>\n"
      "\t\t\t\t\t\t\t<Type>Separator</Type>\n"
      "\t\t\t\t\t\t\t<SubType>2-phase</SubType>\n"
      "\t\t\t\t\t\t\t<Children>\n"
      "\t\t\t\t\t\t\t\t<Child>\n"
      "\t\t\t\t\t\t\t\t\t<Label>Out</Label>\n"
      "\t\t\t\t\t\t\t\t\t<Type>Pipe</Type>\n"
      "\t\t\t\t\t\t\t\t</Child>\n"
      "\t\t\t\t\t\t\t</Children>\n"
      "\t\t\t\t\t\t\t<Parents>\n"
      "\t\t\t\t\t\t\t\t<Parent>\n"
      "\t\t\t\t\t\t\t\t\t<Label>Site</Label>\n"
      "\t\t\t\t\t\t\t\t\t<Type>Plant</Type>\n"
      "\t\t\t\t\t\t\t\t</Parent>\n"
      "\t\t\t\t\t\t\t</Parents>\n"
      "\t\t\t\t\t\t\t<Variables>\n"
      "\t\t\t\t\t\t\t\t<VariableItem>\n"
      "\t\t\t\t\t\t\t\t\t<Label>P</Label>\n"
      "\t\t\t\t\t\t\t\t\t<Unit>psig</Unit>\n"
      "\t\t\t\t\t\t\t\t\t<Writeable>true</Writeable>\n"
      "\t\t\t\t\t\t\t\t\t<OS>\n"
      "\t\t\t\t\t\t\t\t\t\t<Tag>Sheet1|B5</Tag>\n"
      "\t\t\t\t\t\t\t\t\t\t<Qualifier>q</Qualifier>\n"
      "\t\t\t\t\t\t\t\t\t</OS>\n"
      "\t\t\t\t\t\t\t\t\t<OS>\n"
      "\t\t\t\t\t\t\t\t\t\t<Tag>Sheet1|B6</Tag>\n"
      "\t\t\t\t\t\t\t\t\t\t<Qualifier />\n"
      "\t\t\t\t\t\t\t\t\t</OS>\n"
      "\t\t\t\t\t\t\t\t</VariableItem>\n"
      "\t\t\t\t\t\t\t\t<VariableItem>\n"
      "\t\t\t\t\t\t\t\t\t<Label>T</Label>\n"
      "\t\t\t\t\t\t\t\t\t<Unit />\n"
      "\t\t\t\t\t\t\t\t\t<Writeable>false</Writeable>\n"
      "\t\t\t\t\t\t\t\t</VariableItem>\n"
      "\t\t\t\t\t\t\t</Variables>\n"
      "\t\t\t\t\t\t</EquipmentItem>\n"
      "\t\t\t\t\t</Equipment>\n"
      "\t\t\t\t</ModuleDataItem>\n"
      "\t\t\t\t<ModuleDataItem>\n"
      "\t\t\t\t\t<Alias />\n"
      "\t\t\t\t\t<Application />\n"
      "\t\t\t\t\t<IsLocal>false</IsLocal>\n"
      "\t\t\t\t\t<Description />\n"
      "\t\t\t\t\t<Share />\n"
      "\t\t\t\t\t<UniqueId />\n"
      "\t\t\t\t\t<System />\n"
      "\t\t\t\t\t<Equipment />\n"
      "\t\t\t\t</ModuleDataItem>\n"
      "\t\t\t</Data>\n"
      "\t\t</ModuleItem>\n"
      "\t\t<ModuleItem>\n"
      "\t\t\t<Filename />\n"
      "\t\t\t<Data />\n"
      "\t\t</ModuleItem>\n"
      "\t</Modules>\n"
      "</Model>\n";
  EXPECT_EQ(document.Text(), expected);
}

}  // namespace
