#include "xml/equipment.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(EquipmentDescription, WritesEveryElementInTheFormatsOrder) {
  xml::CXmlEquipmentItem item{"Sep",
                              "Separator",
                              "2-phase",
                              {{"Out", "Pipe"}},
                              {{"Site", "Plant"}},
                              {{"P", "psig", true, {{"Sheet1|B5", "q"}}}, {"T", "", false, {}}}};
  xml::CXmlModuleData data{"Excel", "A & B", true, "d", "", "u", "sys", "T<1>", {item}};
  const xml::EquipmentDescription description{"main.xlsx", {{"book.xlsx", {data, {}}}}};
  xml::CXMLDocument document;
  xml::BuildModelDocument(description, document);
  const std::string t5 = "\t\t\t\t\t", t7 = t5 + "\t\t", t9 = t7 + "\t\t";
  const std::string expected =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
      "<Model xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\" "
      "xmlns:xsd=\"http://www.w3.org/2001/XMLSchema\" version=\"1.0.0\">\n"
      "\t<Filename>main.xlsx</Filename>\n\t<Modules>\n\t\t<ModuleItem>\n"
      "\t\t\t<Filename>book.xlsx</Filename>\n\t\t\t<Data>\n\t\t\t\t<ModuleDataItem>\n" +
      t5 + "<Alias>A &amp; B</Alias>\n" + t5 + "<Application>Excel</Application>\n" + t5 +
      "<IsLocal>true</IsLocal>\n" + t5 + "<Description>d</Description>\n" + t5 + "<Share />\n" +
      t5 + "<UniqueId>u</UniqueId>\n" + t5 + "<System SystemType=\"T&lt;1&gt;\">sys</System>\n" +
      t5 + "<Equipment>\n" + t5 + "\t<EquipmentItem>\n" + t7 + "<Label>Sep</Label>\n" + t7 +
      "<Type>Separator</Type>\n" + t7 + "<SubType>2-phase</SubType>\n" + t7 + "<Children>\n" + t7 +
      "\t<Child>\n" + t9 + "<Label>Out</Label>\n" + t9 + "<Type>Pipe</Type>\n" + t7 +
      "\t</Child>\n" + t7 + "</Children>\n" + t7 + "<Parents>\n" + t7 + "\t<Parent>\n" + t9 +
      "<Label>Site</Label>\n" + t9 + "<Type>Plant</Type>\n" + t7 + "\t</Parent>\n" + t7 +
      "</Parents>\n" + t7 + "<Variables>\n" + t7 + "\t<VariableItem>\n" + t9 +
      "<Label>P</Label>\n" + t9 + "<Unit>psig</Unit>\n" + t9 + "<Writeable>true</Writeable>\n" +
      t9 + "<OS>\n" + t9 + "\t<Tag>Sheet1|B5</Tag>\n" + t9 + "\t<Qualifier>q</Qualifier>\n" + t9 +
      "</OS>\n" + t7 + "\t</VariableItem>\n" + t7 + "\t<VariableItem>\n" + t9 +
      "<Label>T</Label>\n" + t9 + "<Unit />\n" + t9 + "<Writeable>false</Writeable>\n" + t7 +
      "\t</VariableItem>\n" + t7 + "</Variables>\n" + t5 + "\t</EquipmentItem>\n" + t5 +
      "</Equipment>\n\t\t\t\t</ModuleDataItem>\n\t\t\t\t<ModuleDataItem>\n" + t5 + "<Alias />\n" +
      t5 + "<Application />\n" + t5 + "<IsLocal>false</IsLocal>\n" + t5 + "<Description />\n" + t5 +
      "<Share />\n" + t5 + "<UniqueId />\n" + t5 + "<System />\n" + t5 +
      "<Equipment />\n\t\t\t\t</ModuleDataItem>\n\t\t\t</Data>\n\t\t</ModuleItem>\n"
      "\t</Modules>\n</Model>\n";
  EXPECT_EQ(document.Text(), expected);
}

}  // namespace
