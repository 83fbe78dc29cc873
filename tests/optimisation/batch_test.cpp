#include "optimisation/batch_problem.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "platform/files.h"
#include "support/file_size_limit.h"
#include "support/temp_folder.h"
#include "text/number.h"

namespace {

using namespace casedata;
using namespace optimisation;

const std::string kRootOpen =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
    "<BatchOutput xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\" "
    "xmlns:xsd=\"http://www.w3.org/2001/XMLSchema\" version=\"1.0.0\"";

std::string Element(const std::string& variable, const std::string& name = "V",
                    const std::string& item = "") {
  return "<Element><Equip>E</Equip><Variable>" + variable + "</Variable><VarName>" + name +
         "</VarName><Unit>u</Unit>" + item + "</Element>";
}

std::string Batch(const std::string& elements, const std::string& version = "1.0.0") {
  const std::string attribute = version.empty() ? "" : " version=\"" + version + "\"";
  return "<Batch" + attribute + ">" + elements + "</Batch>";
}

template <typename T>
T* AddItem(casedata::CExtCollection<T>& list, const char* worksheet, const char* cell,
           const char* name) {
  T* item = list.Add(std::make_unique<T>());
  std::tie(item->worksheet, item->cell, item->name, item->unit) =
      std::tuple(worksheet, cell, name, "u");
  return item;
}

class BatchTest : public ::testing::Test {
 protected:
  BatchItems Items() { return {objective, constraints, controls, variables}; }

  std::string Path(const std::string& name) const { return temp.File(name); }

  // Reads `xml` as the problem file, the report going to report.xml.
  std::int32_t ReadText(const std::string& xml, bool replace = false) {
    std::ofstream(Path("in.xml"), std::ios::binary | std::ios::trunc) << xml;
    return ReadFiles(Path("in.xml"), Path("report.xml"), replace);
  }
  // Paths not complete are ones the host's record held without their end.
  std::int32_t ReadFiles(const std::string& input, const std::string& report, bool replace,
                         bool complete = true) {
    return Answer(ReadBatchProblem(Items(), {{input, true}, {report, complete}}, replace));
  }
  std::int32_t Write(const std::string& path, bool complete = true) {
    return Answer(WriteBatchOutput(Items(), {path, complete}));
  }
  std::int32_t Answer(const outcome::Error& error) {
    message = error.Message();
    return error.Result();
  }
  std::string FileText(const std::string& path) {
    return platform::ReadWholeFile(path, nullptr).value_or("<missing>");
  }
  std::string Message() { return message; }
  std::string OutputText() {
    xml::CXMLDocument document;
    BuildBatchOutput(Items(), document);
    return document.Text();
  }

  test_support::TempFolder temp;
  std::string message;
  CExcObjFn objective;
  CExcclConstraint constraints;
  CExcclControlVariable controls;
  CExcclExportedVariable variables;
};

TEST_F(BatchTest, AcceptsThisVersionAndOlderOnes) {
  const std::pair<const char*, bool> cases[] = {
      {"1.0.0", true}, {"0.9", true}, {"", true},         {"1.0.0.-5", true}, {"1.0.1", false},
      {"1.1", false},  {"2", false},  {"1.0.0.0", false}, {"1.99999", false}, {"99999", false}};
  for (const auto& [version, accepted] : cases) {
    EXPECT_EQ(ReadText(Batch(Element("Sheet1|B5"), version)), accepted ? 0 : 1) << version;
    EXPECT_EQ(Message(), accepted ? "" : "XML version not supported") << version;
  }
}

TEST_F(BatchTest, RefusesWhatIsNotABatchProblem) {
  const std::pair<std::string, const char*> cases[] = {
      {"", "Invalid XML content or file not found"},
      {Batch("<element/><Other/>"), "<Element> element missing"},
      {Batch("<Element><Variable>S|C</Variable></Element>"), "Element <Equip> missing"},
      {Batch("<Element><Equip/><VarName/><Unit/></Element>"), "Element <Variable> missing"},
      {Batch("<Element><Equip/><Variable/><Unit/></Element>"), "Element <VarName> missing"},
  };
  for (const auto& [xml, message] : cases) {
    EXPECT_EQ(ReadText(xml), 1) << xml;
    EXPECT_EQ(Message(), message) << xml;
  }
  EXPECT_EQ(ReadFiles(Path("missing.xml"), Path("report.xml"), false), 1);
  EXPECT_EQ(Message(), "Invalid XML content or file not found");

  // A failure midway keeps what was read before it; no report.
  const std::string second =
      "<Element><Equip/><Variable>S|C2</Variable><VarName>W</VarName></Element>";
  EXPECT_EQ(ReadText(Batch(Element("S|C1", "V", "<Control/>") + second + Element("S|C3"))), 1);
  EXPECT_EQ(Message(), "Element <Unit> missing");
  ASSERT_EQ(std::tuple(variables.size(), controls.size()), std::tuple(1u, 1u));
  EXPECT_EQ(variables.At(0)->cell, "C1");
  EXPECT_FALSE(std::filesystem::exists(Path("report.xml"))) << "no report for any of them";
}

// A path that ran on past its field names no file. (Which paths are read
// whole is the record's business: tests/driver.)
TEST_F(BatchTest, UnterminatedPathsAreRefusedBeforeTheModelChanges) {
  std::ofstream(Path("in.xml")) << Batch(Element("S|C1"));
  const std::string cut = "/" + std::string(1023, 'x');
  EXPECT_EQ(ReadFiles(Path("in.xml"), cut, true, false), 1);
  EXPECT_EQ(Message(), "Could not open '" + cut + "'");
  EXPECT_TRUE(variables.empty());
  EXPECT_EQ(Answer(ReadBatchProblem(Items(), {{cut, false}, {Path("report.xml"), true}}, false)),
            1);
  EXPECT_EQ(Message(), "Invalid XML content or file not found");
  EXPECT_FALSE(std::filesystem::exists(Path("report.xml")));
  EXPECT_EQ(Write(Path("out.xml"), false), 1);
  EXPECT_EQ(Message(), "Could not open '" + Path("out.xml") + "'");
  EXPECT_FALSE(std::filesystem::exists(Path("out.xml"))) << "not even the path as read";
}

TEST_F(BatchTest, BindsOnlyWorksheetBarCellAndReportsTheRest) {
  const std::string elements = Element("Sheet1|B5", "ok") + "<Other/>" + Element("B5", "a") +
                               Element("|B5", "b") + Element("Sheet1|", "c") +
                               Element("A|B|C", "d") + Element("|B5|", "e") +
                               Element("S||B5", "f") + Element("\n  Sheet2|B6\n", "g") +
                               Element("  |  B7", "h") + Element("Sheet 3 | C1 ", "i");
  ASSERT_EQ(ReadText(Batch(elements)), 0) << Message();
  std::string bound;
  for (std::size_t i = 0; i < variables.size(); ++i) {
    const CExcExportedVariable& v = *variables.At(i);
    bound += v.worksheet + "/" + v.cell + "/" + v.name + "/" + v.unit + ";";
  }
  EXPECT_EQ(bound, "Sheet1/B5/ok/u;Sheet2/B6/g/u;Sheet 3 / C1/i/u;");
  std::string expected = kRootOpen + ">\n";
  for (int k = 0; k < 7; ++k) {  // the variable names, and their element indices
    expected += std::string("\t<Element>\n\t\t<Variable>") + "abcdefh"[k] +
                "</Variable>\n\t\t<Index>" + "1234568"[k] + "</Index>\n\t</Element>\n";
  }
  EXPECT_EQ(FileText(Path("report.xml")), expected + "</BatchOutput>\n");

  // The report is written even when empty; failing to write it comes after
  // the lists changed.
  ASSERT_EQ(ReadText(Batch(Element("S|C1"))), 0);
  EXPECT_EQ(FileText(Path("report.xml")), kRootOpen + " />\n");
  std::ofstream(Path("in.xml")) << Batch(Element("S|C2"));
  EXPECT_EQ(ReadFiles(Path("in.xml"), Path("nowhere/report.xml"), false), 1);
  EXPECT_EQ(Message(), "Could not open '" + Path("nowhere/report.xml") + "'");
  EXPECT_EQ(variables.size(), 5u);
}

// Of control, constraint and objective only the last an element holds is
// kept; each starts undefined and takes what its children give.
TEST_F(BatchTest, BuildsItemsFromTheChildrenPresent) {
  const std::pair<const char*, const char*> cases[] = {
      {"", ""},
      {"<Control/>", "control 3.4e+35 3.4e+35"},
      {"<Control><LowerBound> -1.5 </LowerBound><UpperBound>x</UpperBound></Control>",
       "control -1.5 0"},
      {"<Constraint/>", "constraint 3.4e+35 0"},
      {"<Constraint><Limit>7</Limit><Equality>GREATER</Equality></Constraint>", "constraint 7 2"},
      {"<Constraint><Equality>other</Equality></Constraint>", "constraint 3.4e+35 1"},
      {"<Constraint><Equality> less </Equality></Constraint>", "constraint 3.4e+35 0"},
      {"<Control/><Constraint><Limit>2</Limit></Constraint>", "constraint 2 0"},
      {"<ObjFn><Max>1</Max></ObjFn>", "objective 1 1"},
      {"<ObjFn><Max>true</Max></ObjFn>", "objective 1 0"},
      {"<ObjFn><Max>2</Max></ObjFn><Control/><Constraint/>", "objective 1 1"}};
  for (const auto& [item, expected] : cases) {
    controls.Clear();
    constraints.Clear();
    objective.Clear();
    objective.Defined = true;
    ASSERT_EQ(ReadText(Batch(Element("S|C1", "N", item))), 0) << item;
    std::string lists;
    const auto add = [&, item = item](const automation::CExcCellDef& c, const char* kind, double a,
                                      double b) {
      lists += kind + (" " + text::FormatGeneral(a)) + " " + text::FormatGeneral(b);
      EXPECT_EQ(c.worksheet + c.cell + c.name + c.unit, "SC1Nu") << item;
    };
    for (std::size_t i = 0; i < controls.size(); ++i)
      add(*controls.At(i), "control", controls.At(i)->LowerBound, controls.At(i)->UpperBound);
    for (std::size_t i = 0; i < constraints.size(); ++i)
      add(*constraints.At(i), "constraint", constraints.At(i)->Limit,
          constraints.At(i)->ConstraintType);
    if (!objective.name.empty()) add(objective, "objective", objective.Defined, objective.Maximise);
    EXPECT_EQ(lists, expected) << item;
  }
}

TEST_F(BatchTest, ReadingAgainAppendsItemsButNotEqualVariables) {
  AddItem(variables, "S", "C9", "kept unless replaced");
  const std::string xml = Batch(Element("S|C1", "A", "<Control/>") +
                                Element("S|C2", "B", "<Constraint/>") + Element("S|C1", "A"));
  ASSERT_EQ(ReadText(xml) + ReadText(xml), 0);
  EXPECT_EQ(std::tuple(variables.size(), controls.size(), constraints.size()),
            std::tuple(3u, 2u, 2u));
  ASSERT_EQ(ReadText(xml, true), 0);
  EXPECT_EQ(std::tuple(variables.size(), variables.At(0)->name, controls.size()),
            std::tuple(2u, "A", 3u));
}

// One line per output element: its children's names and texts, items in [].
std::string Summary(const std::string& xmlText) {
  xml::CSerializeXML reader;
  if (!reader.LoadBuffer(xmlText)) return "unreadable";
  std::string out;
  for (xml::XmlNode e = reader.Root().first_child(); e; e = e.next_sibling()) {
    for (xml::XmlNode part = e.first_child(); part; part = part.next_sibling()) {
      out += std::string(part.name()) + "=" + xml::CSerializeXML::ElementText(part);
      if (part.first_child().type() == pugi::node_element) {
        out += "[";
        for (xml::XmlNode v = part.first_child(); v; v = v.next_sibling())
          out += std::string(v.name()) + "=" + v.text().get() + ";";
        out += "]";
      }
      out += " ";
    }
    out += "\n";
  }
  return out;
}

// Variables first, each with the first item on its cell (a control before a
// constraint before the objective, written or not), then the items left.
TEST_F(BatchTest, WritesVariablesWithTheirItemsThenTheItemsLeft) {
  for (const char* cell : {"A1", "A1", "B1", "C1", "D1"})
    AddItem(variables, "S", cell, "v");
  CExcControlVariable* c1 = AddItem(controls, "S", "A1", "c1");
  std::tie(c1->LowerBound, c1->UpperBound) = std::pair(1, 2.5);
  AddItem(controls, "T", "A1", "c2")->UpperBound = 1e6;
  AddItem(constraints, "S", "A1", "k0");
  AddItem(constraints, "S", "B1", "k1")->ConstraintType = kGreaterThan;
  AddItem(constraints, "S", "Z1", "k2")->ConstraintType = 5;
  std::tie(objective.worksheet, objective.cell, objective.Defined, objective.Maximise) =
      std::tuple("S", "C1", true, false);
  const std::string control = "Control=12.5[LowerBound=1;UpperBound=2.5;] \n";
  EXPECT_EQ(Summary(OutputText()),
            "Equip=NoName Variable=S|A1 VarName=v Unit=u " + control +
                "Equip=NoName Variable=S|A1 VarName=v Unit=u " + control +
                "Equip=NoName Variable=S|B1 VarName=v Unit=u "
                "Constraint=3.4e+35greater[Limit=3.4e+35;Equality=greater;] \n"
                "Equip=NoName Variable=S|C1 VarName=v Unit=u ObjFn=0[Max=0;] \n"
                "Equip=NoName Variable=S|D1 VarName=v Unit=u \n"
                "Variable=T|A1 VarName=c2 Unit=u Control=1e+06[UpperBound=1e+06;] \n"
                "Variable=S|A1 VarName=k0 Unit=u "
                "Constraint=3.4e+35less[Limit=3.4e+35;Equality=less;] \n"
                "Variable=S|Z1 VarName=k2 Unit=u Constraint=3.4e+35[Limit=3.4e+35;] \n");
  // An objective on no variable's cell comes last; an undefined one never.
  objective.cell = "Q1";
  EXPECT_NE(Summary(OutputText())
                .find("k2 Unit=u Constraint=3.4e+35[Limit=3.4e+35;] \n"
                      "Variable=S|Q1 VarName= Unit= ObjFn=0[Max=0;] \n"),
            std::string::npos);
  objective.Defined = false;
  AddItem(controls, "U", "A1", "free");
  EXPECT_NE(Summary(OutputText())
                .find("c2 Unit=u Control=1e+06[UpperBound=1e+06;] \n"
                      "Variable=U|A1 VarName=free Unit=u Control= \n"),
            std::string::npos);
}

TEST_F(BatchTest, WriteFailuresNameThePath) {
  std::filesystem::create_directory(Path("folder"));
  for (const std::string& path : {Path("missing/out.xml"), Path("folder")}) {
    EXPECT_EQ(Write(path), 1);
    EXPECT_EQ(Message(), "Could not open '" + path + "'");
  }

  for (int i = 0; i < 100; ++i)
    AddItem(variables, "Sheet1", ("A" + std::to_string(i)).c_str(), "v");
  std::ofstream(Path("out.xml")) << "earlier";
  {
    const test_support::FileSizeLimit limit(4096);
    EXPECT_EQ(Write(Path("out.xml")), 1);
  }
  EXPECT_EQ(Message(), "I/O failure '" + Path("out.xml") + "'");
  EXPECT_EQ(FileText(Path("out.xml")), "earlier");
}

// The format carries name, unit, worksheet and cell: variables with
// default cascade, region and delimiters come back equal (all fields), and
// so do their items (numbers through "%g"): written again, the same file.
TEST_F(BatchTest, OutputReadBackIntoAFreshModelIsEqual) {
  AddItem(variables, "Sheet 1", "B5", "oil <rate>");
  AddItem(variables, "Data", "C7", "pressure & co");
  AddItem(variables, "Data", "D1", "objective");
  AddItem(variables, "Data", "E1", "plain");
  CExcControlVariable* control = AddItem(controls, "Sheet 1", "B5", "oil <rate>");
  std::tie(control->LowerBound, control->UpperBound) = std::pair(0.125, 1500);
  CExcConstraint* constraint = AddItem(constraints, "Data", "C7", "pressure & co");
  std::tie(constraint->Limit, constraint->ConstraintType) = std::pair(-2.5, kEqualTo);
  std::tie(objective.worksheet, objective.cell, objective.name, objective.unit) =
      std::tuple("Data", "D1", "objective", "u");
  objective.Defined = true;  // and maximised, as made
  ASSERT_EQ(Write(Path("out.xml")), 0);

  const std::string written = FileText(Path("out.xml"));
  controls.Clear();
  constraints.Clear();
  objective = CExcObjFn();
  AddItem(variables, "Old", "A1", "replaced");
  ASSERT_EQ(ReadFiles(Path("out.xml"), Path("report.xml"), true), 0) << Message();
  EXPECT_EQ(FileText(Path("report.xml")), kRootOpen + " />\n");
  EXPECT_EQ(variables.size(), 4u);
  EXPECT_EQ(OutputText(), written);
  EXPECT_TRUE(*variables.At(3) == *AddItem(variables, "Data", "E1", "plain"));
}

}  // namespace
