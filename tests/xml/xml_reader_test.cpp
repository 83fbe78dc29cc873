#include "xml/xml_reader.h"

#include <gtest/gtest.h>

#include <fstream>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "gridmoor/host.h"
#include "support/temp_folder.h"
#include "xml/xml_dates.h"
#include "xml/xml_writer.h"

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
  } cases[] = {
      {"<V>Sheet1|<!-- a comment -->B5</V>", "Sheet1|B5"},
      {"<V>\n  Sheet1|B5\n</V>", "Sheet1|B5"},
      {"<V> <![CDATA[ a<b ]]> </V>", " a<b "},
      {"<V>  x <![CDATA[ y ]]></V>", "x  y "},
      {"<V>a<W>b<X>c</X></W>d</V>", "abcd"},
      {"<V>&lt;&amp;&#x6CB9;</V>", "<&油"},
      {"<V/>", ""},
  };
  for (const auto& c : cases) {
    CSerializeXML reader;
    EXPECT_EQ(CSerializeXML::ElementText(LoadedRoot(reader, c.xml)), c.text) << c.xml;
  }
}

TEST(XmlReader, ReadsNumbersBooleansAndVersions) {
  CSerializeXML reader;
  const XmlNode root = LoadedRoot(reader,
                                  "<R v1='1.0.0' v2='0.9' v3='1.99999.-99999' v4='1.x' v5='' "
                                  "v6=' 2. 3.4.5.6'><I> 42abc</I><J>2147483648</J><D>1.5e3x</D>"
                                  "<E>abc</E><T>TRUE</T><F>1</F></R>");
  const auto child = [&](const char* name) { return CSerializeXML::FindChild(root, name); };
  EXPECT_EQ(CSerializeXML::ElementInteger(child("I")), 42);
  EXPECT_EQ(CSerializeXML::ElementInteger(child("J")), 2147483647);
  EXPECT_EQ(CSerializeXML::ElementDouble(child("D")), 1500.0);
  EXPECT_EQ(CSerializeXML::ElementDouble(child("E")), 0.0);
  EXPECT_EQ(CSerializeXML::ElementInteger(child("E")), 0);
  EXPECT_TRUE(CSerializeXML::ElementBoolean(child("T")));
  EXPECT_FALSE(CSerializeXML::ElementBoolean(child("F")));

  const struct {
    const char* attribute;
    XmlVersion version;
  } versions[] = {
      {"v1", {{1, 0, 0, -1}}},         {"v2", {{0, 9, -1, -1}}},   {"v3", {{1, 32767, -32768, -1}}},
      {"v4", {{1, -1, -1, -1}}},       {"v5", {{-1, -1, -1, -1}}}, {"v6", {{2, 3, 4, 5}}},
      {"missing", {{-1, -1, -1, -1}}},
  };
  for (const auto& v : versions) {
    EXPECT_EQ(CSerializeXML::VersionAttribute(root, v.attribute), v.version) << v.attribute;
  }
  EXPECT_LT(xml::CompareVersions(xml::ParseVersion("0.9"), xml::ParseVersion("1.0.0")), 0);
  EXPECT_GT(xml::CompareVersions(xml::ParseVersion("1.0.0.0"), xml::ParseVersion("1.0.0")), 0);
  EXPECT_EQ(xml::CompareVersions(xml::ParseVersion("1.0.0"), xml::ParseVersion("1.0.0")), 0);
}

TEST(XmlReader, LoadsOnlyDocumentsWithARoot) {
  test_support::TempFolder temp;
  CSerializeXML reader;
  for (const char* text :
       {"", "<!-- only a comment -->", "<?xml version=\"1.0\"?>", "<a><b></a>", "text"}) {
    EXPECT_FALSE(reader.LoadBuffer(text)) << text;
    EXPECT_FALSE(reader.Root());
  }
  EXPECT_FALSE(reader.LoadFile(temp.File("missing.xml")));
  EXPECT_FALSE(reader.LoadFile(temp.path().string()));
  std::ofstream(temp.File("ok.xml")) << "<Batch/>";
  ASSERT_TRUE(reader.LoadFile(temp.File("ok.xml")));
  EXPECT_STREQ(reader.Root().name(), "Batch");
  EXPECT_FALSE(reader.LoadBuffer("<broken"));
  EXPECT_FALSE(reader.Root()) << "a failed load drops the earlier document";
}

TEST(XmlReader, NamesNodeTypes) {
  CSerializeXML reader;
  ASSERT_TRUE(reader.LoadBuffer("<R>t<![CDATA[c]]></R>"));
  const XmlNode root = reader.Root();
  EXPECT_STREQ(CSerializeXML::NodeTypeName(root), "ELEMENT");
  EXPECT_STREQ(CSerializeXML::NodeTypeName(root.first_child()), "TEXT");
  EXPECT_STREQ(CSerializeXML::NodeTypeName(root.last_child()), "CDATA_SECTION");
  EXPECT_STREQ(CSerializeXML::NodeTypeName(root.parent()), "DOCUMENT");
  EXPECT_STREQ(CSerializeXML::NodeTypeName(XmlNode()), "INVALID");
}

TEST(XmlDates, TextAndDayNumbersConvertBothWays) {
  const struct {
    double days;
    const char* text;
  } cases[] = {
      {45297.5, "2024-01-06T12:00:00.000Z"},
      {0.0, "1899-12-30T00:00:00.000Z"},
      {25569.0 + 3661.0 / 86400, "1970-01-01T01:01:01.000Z"},
      {-1.25, "1899-12-29T06:00:00.000Z"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(xml::DateToText(c.days), c.text);
    EXPECT_NEAR(xml::TextToDate(c.text), c.days, 1e-9) << c.text;
  }
  EXPECT_EQ(xml::DateToText(EXT_UNDEFINED_VALUE), "");
  EXPECT_EQ(xml::DateToText(1e9), "");
  EXPECT_EQ(xml::TextToDate("2024-01-06"), 45297.0);
  EXPECT_EQ(xml::TextToDate("2024-01-06 12:00:00"), 45297.5);
  for (const char* bad : {"", "not a date", "2024-02-30", "2024-01-06T25:00:00.000Z",
                          "2024-01-06T12:00", "2024-01-06T12:00:00.000Zx"}) {
    EXPECT_EQ(xml::TextToDate(bad), EXT_UNDEFINED_VALUE) << bad;
  }
}

// Random trees, written and read back: names, attributes and texts come
// back as they were. Texts hold every special and multi-byte character but
// no outer white space (the reader trims it); elements with children carry
// no text of their own.
struct Node {
  std::string name;
  std::string text;
  std::vector<std::pair<std::string, std::string>> attributes;
  std::vector<Node> children;
};

class RandomTrees {
 public:
  explicit RandomTrees(unsigned seed) : random_(seed) {}

  Node Make(int depth) {
    Node node;
    node.name = "n" + std::to_string(Pick(1000));
    for (int a = Pick(7); a > 0; --a)
      node.attributes.emplace_back("a" + std::to_string(a), Text(false));
    if (depth < 4 && Pick(3) != 0) {
      for (int c = 1 + Pick(4); c > 0; --c)
        node.children.push_back(Make(depth + 1));
    } else {
      node.text = Text(true);
    }
    return node;
  }

 private:
  int Pick(int n) { return std::uniform_int_distribution<int>(0, n - 1)(random_); }
  std::string Text(bool lineBreaks) {
    static const std::vector<std::string> kPieces = {"a", "Z",  "0", "&",   "<", ">",  "\"", "'",
                                                     "é", "油", "𝄞", "]]>", " ", "\t", "\n"};
    std::string text;
    for (int k = Pick(12); k > 0; --k) {
      const std::string& piece = kPieces[static_cast<std::size_t>(Pick(lineBreaks ? 15 : 13))];
      text += piece;
    }
    return "x" + text + "y";
  }
  std::mt19937 random_;
};

void Emit(const Node& node, xml::CXMLElement& parent) {
  xml::CXMLElement& element = parent.AddElement(node.name, node.text);
  for (const auto& [name, value] : node.attributes)
    element.AddAttribute(name, value);
  for (const Node& child : node.children)
    Emit(child, element);
}

void ExpectSame(const Node& node, XmlNode read) {
  ASSERT_EQ(node.name, read.name());
  std::size_t a = 0;
  for (pugi::xml_attribute attribute : read.attributes()) {
    ASSERT_LT(a, node.attributes.size());
    EXPECT_EQ(node.attributes[a].first, attribute.name());
    EXPECT_EQ(node.attributes[a].second, attribute.value());
    ++a;
  }
  EXPECT_EQ(a, node.attributes.size());
  if (node.children.empty()) {
    EXPECT_EQ(CSerializeXML::ElementText(read), node.text);
  }
  XmlNode child;
  for (const Node& expected : node.children) {
    child = CSerializeXML::FindChild(read, expected.name, child);
    ASSERT_TRUE(child) << expected.name;
    ExpectSame(expected, child);
  }
}

TEST(XmlRoundTrip, RandomTreesReadBackEqual) {
  RandomTrees trees(19);
  for (int round = 0; round < 200; ++round) {
    const Node tree = trees.Make(0);
    xml::CXMLDocument document;
    Emit(tree, document);
    CSerializeXML reader;
    ASSERT_TRUE(reader.LoadBuffer(document.Text())) << document.Text();
    ExpectSame(tree, reader.Root());
    if (HasFailure()) {
      ADD_FAILURE() << document.Text();
      break;
    }
  }
}

}  // namespace
