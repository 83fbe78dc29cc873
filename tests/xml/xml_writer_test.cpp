// The XML text form byte for byte, the model description built on it, and
// saving to a file.
#include "xml/xml_writer.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <functional>
#include <sstream>
#include <string>

#include "gridmoor/host.h"
#include "platform/files.h"
#include "support/file_size_limit.h"
#include "support/temp_folder.h"
#include "xml/equipment.h"

namespace {

namespace fs = std::filesystem;
using xml::CXMLDocument;
using xml::CXMLElement;

const std::string kDeclaration = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";

void AddAttributes(CXMLElement& element, int count) {
  for (int i = 0; i < count; ++i)
    element.AddAttribute(std::string(1, static_cast<char>('a' + i)), std::to_string(i));
}

struct Case {
  const char* what;
  std::function<void(CXMLDocument&)> build;
  std::string body;  // after the declaration
};

TEST(XmlWriter, WritesTheTextFormByteForByte) {
  const Case cases[] = {
      {"a document with only a root", [](CXMLDocument& d) { d.AddElement("Model"); },
       "<Model />\n"},
      {"an empty child is one tab-indented line",
       [](CXMLDocument& d) { d.AddElement("Element").AddElement("Unit"); },
       "<Element>\n\t<Unit />\n</Element>\n"},
      {"nesting indents one tab per level",
       [](CXMLDocument& d) {
         CXMLElement& a = d.AddElement("A");
         a.AddElement("B").AddElement("C", "x");
         a.AddElement("D", "y");
       },
       "<A>\n\t<B>\n\t\t<C>x</C>\n\t</B>\n\t<D>y</D>\n</A>\n"},
      {"text after the children follows their indentation",
       [](CXMLDocument& d) { d.AddElement("A", "t").AddElement("B"); }, "<A>\n\t<B />\nt</A>\n"},
      {"three attributes on one line", [](CXMLDocument& d) { AddAttributes(d.AddElement("E"), 3); },
       "<E a=\"0\" b=\"1\" c=\"2\" />\n"},
      {"the fourth attribute follows a line break; five are not yet indented",
       [](CXMLDocument& d) { AddAttributes(d.AddElement("R").AddElement("E", "v"), 5); },
       "<R>\n\t<E a=\"0\" b=\"1\" c=\"2\"\nd=\"3\" e=\"4\">v</E>\n</R>\n"},
      {"more than five attributes are each indented, children's depth for a parent",
       [](CXMLDocument& d) {
         CXMLElement& root = d.AddElement("R");
         AddAttributes(root.AddElement("E"), 6);
         CXMLElement& f = root.AddElement("F");
         AddAttributes(f, 6);
         f.AddElement("G");
       },
       "<R>\n\t<E \ta=\"0\" \tb=\"1\" \tc=\"2\"\n\td=\"3\" \te=\"4\" \tf=\"5\" />\n"
       "\t<F \t\ta=\"0\" \t\tb=\"1\" \t\tc=\"2\"\n\t\td=\"3\" \t\te=\"4\" \t\tf=\"5\">\n"
       "\t\t<G />\n\t</F>\n</R>\n"},
      {"the five special characters are escaped in texts and attributes",
       [](CXMLDocument& d) { d.AddElement("T", "a & b < c \"'>").AddAttribute("q", "<&>\"'"); },
       "<T q=\"&lt;&amp;&gt;&quot;&apos;\">a &amp; b &lt; c &quot;&apos;&gt;</T>\n"},
      {"multi-byte text passes unchanged",
       [](CXMLDocument& d) { d.AddElement("T", "Débit 油井 𝄞"); }, "<T>Débit 油井 𝄞</T>\n"},
      {"what XML cannot carry becomes U+FFFD; tab, line feed and return stay",
       [](CXMLDocument& d) { d.AddElement("T", "a\xff\x01\t\n\rb\xc3"); },
       "<T>a\xEF\xBF\xBD\xEF\xBF\xBD\t\n\rb\xEF\xBF\xBD</T>\n"},
      {"typed values",
       [](CXMLDocument& d) {
         CXMLElement& r = d.AddElement("R");
         r.AddInteger(xml::kElementNode, "I", -5);
         r.AddBoolean(xml::kElementNode, "B", true);
         r.AddBoolean(xml::kAttributeNode, "b", false);
         r.AddDouble(xml::kElementNode, "D", 0.1);
         r.AddDouble(xml::kElementNode, "E", 3.4e35);
         r.AddDouble(xml::kElementNode, "F", 1234567.0);
         r.AddDouble(xml::kElementNode, "T", 45297.5, xml::kDateValue);
         r.AddDouble(xml::kElementNode, "U", EXT_UNDEFINED_VALUE, xml::kDateValue);
       },
       "<R b=\"false\">\n\t<I>-5</I>\n\t<B>true</B>\n\t<D>0.1</D>\n\t<E>3.4e+35</E>\n"
       "\t<F>1.23457e+06</F>\n\t<T>2024-01-06T12:00:00.000Z</T>\n\t<U />\n</R>\n"},
      {"instructions and comments are indented and not escaped",
       [](CXMLDocument& d) {
         CXMLElement& r = d.AddElement("R");
         r.AddComment("a & b");
         r.AddInstruction("pi x=\"1\"");
         r.AddComment("x--y-");
       },
       "<R>\n\t<!-- a & b -->\n\t<?pi x=\"1\"?>\n\t<!-- x- -y-  -->\n</R>\n"},
      {"the schema attributes of the roots",
       [](CXMLDocument& d) { d.AddElement("BatchOutput").AddSchemaAttributes("1.0.0"); },
       "<BatchOutput xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\" "
       "xmlns:xsd=\"http://www.w3.org/2001/XMLSchema\" version=\"1.0.0\" />\n"}};
  for (const Case& c : cases) {
    CXMLDocument document;
    c.build(document);
    EXPECT_EQ(document.Text(), kDeclaration + c.body) << c.what;
  }
}

std::string Read(const std::string& path) {
  std::error_code ec;
  return platform::ReadWholeFile(path, &ec).value_or("<missing>");
}

// Saving replaces the file or leaves it whole (the atomic write's own
// contracts are platform's FilesTest); a new file gets the umask's
// permissions. Writing to a stream reports the stream's state.
TEST(XmlSave, ReplacesTheFileOrLeavesItWhole) {
  test_support::TempFolder temp;
  const std::string file = temp.File("out.xml");
  CXMLDocument first, second;
  first.AddElement("First");
  second.AddElement("Second", std::string(64 * 1024, 'x'));
  ASSERT_EQ(first.Save(file), xml::SaveResult::kSaved);
  const mode_t mask = ::umask(0);
  ::umask(mask);
  EXPECT_EQ(static_cast<mode_t>(fs::status(file).permissions() & fs::perms::all), 0666 & ~mask);
  {
    const test_support::FileSizeLimit limit(4096);
    EXPECT_EQ(second.Save(file), xml::SaveResult::kWriteFailed);
  }
  EXPECT_EQ(Read(file), first.Text());
  ASSERT_EQ(second.Save(file), xml::SaveResult::kSaved);
  EXPECT_EQ(Read(file), second.Text());

  EXPECT_EQ(first.Save(temp.File("missing/out.xml")), xml::SaveResult::kOpenFailed);
  std::ostringstream good, bad;
  bad.setstate(std::ios::badbit);
  EXPECT_TRUE(first.WriteTo(good) && good.str() == first.Text());
  EXPECT_FALSE(first.WriteTo(bad));
}

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
