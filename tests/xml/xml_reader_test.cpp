#include "xml/xml_reader.h"

#include <gtest/gtest.h>

#include <string>

#include "gridmoor/host.h"
#include "support/temp_folder.h"
#include "xml/xml_dates.h"

namespace {

using xml::CSerializeXML;
using xml::XmlNode;
using xml::XmlVersion;

XmlNode LoadedRoot(CSerializeXML& reader, const std::string& text) {
  EXPECT_TRUE(reader.LoadBuffer(text)) << text;
  return reader.Root();
}

TEST(XmlReader, FindsChildrenAfterThePreviousMatchWithOrWithoutCase) {
  CSerializeXML reader;
  const XmlNode root = LoadedRoot(
      reader, "<R><element n='1'/><!-- c --><Element n='2'/>t<Element n='3'/><Other/></R>");
  const XmlNode first = CSerializeXML::FindChild(root, "Element");
  EXPECT_EQ(*CSerializeXML::AttributeText(first, "n"), "2");
  const XmlNode second = CSerializeXML::FindChild(root, "Element", first);
  EXPECT_EQ(*CSerializeXML::AttributeText(second, "n"), "3");
  EXPECT_FALSE(CSerializeXML::FindChild(root, "Element", second));
  const XmlNode anyCase = CSerializeXML::FindChild(root, "Element", XmlNode(), true);
  EXPECT_EQ(*CSerializeXML::AttributeText(anyCase, "n"), "1");
  EXPECT_FALSE(CSerializeXML::FindChild(root, "Missing"));
  EXPECT_FALSE(CSerializeXML::AttributeText(first, "N").has_value());
}

TEST(XmlReader, ElementTextIsEveryTextBelowTrimmedExceptInsideCdata) {
  const struct {
    const char* xml;
    const char* text;
  } cases[] = {{"<V>Sheet1|<!-- a comment -->B5</V>", "Sheet1|B5"},
               {"<V>\n  Sheet1|B5\n</V>", "Sheet1|B5"},
               {"<V> <![CDATA[ a<b ]]> </V>", " a<b "},
               {"<V>  x <![CDATA[ y ]]></V>", "x  y "},
               {"<V>a<W>b<X>c</X></W>d</V>", "abcd"},
               {"<V>&lt;&amp;&#x6CB9;</V>", "<&油"},
               {"<V/>", ""}};
  for (const auto& c : cases) {
    CSerializeXML reader;
    EXPECT_EQ(CSerializeXML::ElementText(LoadedRoot(reader, c.xml)), c.text) << c.xml;
  }
}

TEST(XmlReader, ReadsNumbersBooleansAndVersions) {
  CSerializeXML reader;
  const XmlNode root =
      LoadedRoot(reader,
                 "<R v1='1.0.0' v2='0.9' v3='1.99999.-99999' v4='1.x' v5='' "
                 "v6=' 2. 3.4.5.6'><I> 42abc</I><D>1.5e3x</D><T>TRUE</T><F>1</F></R>");
  const auto child = [&](const char* name) { return CSerializeXML::FindChild(root, name); };
  EXPECT_EQ(CSerializeXML::ElementInteger(child("I")), 42);
  EXPECT_EQ(CSerializeXML::ElementDouble(child("D")), 1500.0);
  EXPECT_TRUE(CSerializeXML::ElementBoolean(child("T")));
  EXPECT_FALSE(CSerializeXML::ElementBoolean(child("F")));
  const struct {
    const char* attribute;
    XmlVersion version;
  } versions[] = {{"v1", {{1, 0, 0, -1}}},          {"v2", {{0, 9, -1, -1}}},
                  {"v3", {{1, 32767, -32768, -1}}}, {"v4", {{1, -1, -1, -1}}},
                  {"v5", {{-1, -1, -1, -1}}},       {"v6", {{2, 3, 4, 5}}},
                  {"missing", {{-1, -1, -1, -1}}}};
  for (const auto& v : versions) {
    EXPECT_EQ(CSerializeXML::VersionAttribute(root, v.attribute), v.version) << v.attribute;
  }
}

// Reading a whole file, or a missing one, is pinned by the batch problem tests.
TEST(XmlReader, LoadsOnlyDocumentsWithARootAndAFailedLoadDropsTheEarlierOne) {
  test_support::TempFolder temp;
  CSerializeXML reader;
  for (const char* text :
       {"", "<!-- only a comment -->", "<?xml version=\"1.0\"?>", "<a><b></a>", "text"}) {
    LoadedRoot(reader, "<Batch/>");
    EXPECT_FALSE(reader.LoadBuffer(text)) << text;
    EXPECT_FALSE(reader.Root()) << text;
  }
  LoadedRoot(reader, "<Batch/>");
  EXPECT_FALSE(reader.LoadFile(temp.path().string()));  // a folder
  EXPECT_FALSE(reader.Root());
}

// 45297.5 as text is pinned by the writer's typed values.
TEST(XmlDates, TextAndDayNumbersConvertBothWays) {
  for (const double days : {45297.5, 0.0, 25569.0 + 3661.0 / 86400, -1.25})
    EXPECT_NEAR(xml::TextToDate(xml::DateToText(days)), days, 1e-9) << days;
  EXPECT_EQ(xml::DateToText(-1.25), "1899-12-29T06:00:00.000Z");
  EXPECT_EQ(xml::DateToText(EXT_UNDEFINED_VALUE) + xml::DateToText(1e9), "");
  EXPECT_EQ(xml::TextToDate("2024-01-06 12:00:00"), 45297.5);
  for (const char* bad : {"", "not a date", "2024-02-30", "2024-01-06T25:00:00.000Z",
                          "2024-01-06T12:00", "2024-01-06T12:00:00.000Zx"}) {
    EXPECT_EQ(xml::TextToDate(bad), EXT_UNDEFINED_VALUE) << bad;
  }
}

}  // namespace
