// The table of known differences: which cause each differing cell gets
// (and which cells none), the notes on macro sources, and the committed
// document printed from the table.
#include <gtest/gtest.h>

#include <regex>
#include <set>

#include "cell_results.h"
#include "check/vba_notes.h"
#include "differences/known_differences.h"
#include "host_test_support.h"

namespace {

using excel::CellResult;
using hosttest::Error;
using hosttest::Logical;
using hosttest::Number;
using hosttest::Text;

struct Case {
  std::string formula;
  CellResult saved, calc;
  std::string cause;     // empty: unexplained
  std::string function;  // what the cause's test keyed on
};

// Each cause on cells as Excel saved them and Calc recalculated them (one
// of each in a real check: IntegrationWorkbookCheck), and near misses that
// no cause may claim.
TEST(HostKnownDifferences, EachCellGetsTheCauseThatFitsOrNone) {
  const std::string figure = "\xE2\x80\x87";
  const Case cases[] = {
      {"=TEXT(C18; B18)", Text("|  12.3|"), Text("|" + figure + figure + "12.3|"),
       "text-format-code", "TEXT"},
      {"=TEXT(C25,B25)", Text("|1|e|+142|"), Text("|1|e+14|2|"), "text-format-code", "TEXT"},
      {"=TEXT(C106,B106)", Text("|0,000,000.|e|0|"), Text("|0|e|0|"), "text-format-code", "TEXT"},
      {"=TEXT(A1,\"d-m-y\")", Text("15-3-23"), Text("15-3-y"), "text-format-code", "TEXT"},
      {"=TEXT(A1,\"h A/P\")", Text("6 A"), Text("6 a"), "text-format-code", "TEXT"},
      {"=TEXT(A1,B1)", Text("00:04:38"), Text("00:04:37"), "text-format-code", "TEXT"},
      {"=TEXT(A1,\"#,.#,\")", Text("1.2"), Error("#NUM!"), "text-format-code", "TEXT"},
      {"=TEXT(A1,\"0.0\")", Text("1.5"), Text("2.5"), "", ""},
      {"=TEXT(A1,\"0.00\")", Text("1.05"), Text("1.5"), "", ""},
      {"=A1&\".\"", Text("1."), Text("1"), "", ""},
      {"=TEXT(C13;B13)", Text("1.234567891"), Text("1.2345678912"), "text-general-digits", "TEXT"},
      {"=TEXT(C19,B19)", Text("-1.1E+11"), Text("-110000000000"), "text-general-digits", "TEXT"},
      {"=TEXT(C13;B13)", Text("1.234567891"), Text("1.2345679912"), "", ""},
      {"=CONCATENATE(\"D\",\" \",TEXT(A1,\"00.00\"))", Text("D 0.067"), Text("D 67.10"),
       "text-format-separators", "TEXT"},
      {"=TEXT(A1,\"00.00\")", Text("0.067"), Text("0.068"), "", ""},
      {"=TEXT(C72, B72)", Text("TRUE"), Text("1"), "no-logical-type", "TEXT"},
      {"=TEXT(C13, CONCATENATE(\";;;\", B13))", Text("hi"), Text(""), "no-logical-type", "TEXT"},
      {"=SUM(A1:A4)", Number(5), Number(6), "no-logical-type", "SUM"},
      {"=ISNUMBER(A1)", Logical(false), Logical(true), "no-logical-type", "ISNUMBER"},
      {"=ISODD(TRUE)", Error("#VALUE!"), Logical(true), "no-logical-type", "ISODD"},
      {"=LOOKUP(5,A2:A2,A1:A1)", Logical(true), Number(1), "no-logical-type", "LOOKUP"},
      {"=A3*1", Error("#VALUE!"), Number(1), "no-logical-type", "arithmetic"},
      {"=COUNT(A1:A4)", Number(3), Number(1), "", ""},
      {"=SUM(A1:A4)", Number(5), Number(5.5), "", ""},
      {"=\\_Prime.1[Name]", Text("one"), Error("#VALUE!"), "structured-reference", "Table[Column]"},
      {"=ROWS(T1[#All])", Number(5), Number(4), "structured-reference", "[#All]"},
      {"=SUM(T1[Size])", Number(7), Number(7.5), "", ""},
      {"=MMULT(A1:B2,A1:A3)", Error("#VALUE!"), Error("#NUM!"), "matrix-shape", "MMULT"},
      {"=SQRT(-1)", Error("#VALUE!"), Error("#NUM!"), "", ""},
      {"=DATE(1899,12,31)", Number(693962), Number(1), "date-two-digit-year", "DATE"},
      {"=DATE(100,1,1)", Number(36526), Error("#VALUE!"), "date-two-digit-year", "DATE"},
      {"=DATE(A1,1,1)", Number(45292), Number(45293), "", ""},
      {"=YEAR(A5)", Number(1900), Number(1899), "date-serial-before-march-1900", "YEAR"},
      {"=COM.SUN.STAR.SHEET.ADDIN.ANALYSIS.GETEDATE(A4;1)", Number(31), Number(0),
       "date-serial-before-march-1900", "EDATE"},
      {"=DATEVALUE(\"1900-01-01\")", Number(1), Number(2), "date-serial-before-march-1900",
       "DATEVALUE"},
      {"=DAY(A1)", Number(15), Number(13), "", ""},
      {"=YEAR(C3)", Error("#VALUE!"), Number(1800), "date-out-of-range", "YEAR"},
      {"=YEAR(C3)", Error("#VALUE!"), Number(2000), "", ""},
      {"=INDEX(LINEST(B2:F2,B1:F1),1)", Number(2.1), Error("#VALUE!"), "regression-layout",
       "LINEST"},
      {"=INDEX(LINEST(B1:B5,A1:A5),1)", Error("#VALUE!"), Error("#NUM!"), "", ""},
      {"=VDB(2400,300,10,1.5,2.25)", Number(300), Number(268.8), "vdb-fractional-period", "VDB"},
      {"=YEARFRAC(DATE(2000,1,1),DATE(2001,3,1),1)", Number(1.16), Number(1.1628), "yearfrac-basis",
       "YEARFRAC"},
      {"=YEARFRAC(A1,B1,1)", Number(1.16), Number(2.16), "", ""},
      {"=SUBTOTAL(9,A1)+SUM(A2)", Number(1), Number(2.5), "", ""},
      {"=MEDIAN(J1:J2)", Error("#NUM!"), Error("#DIV/0!"), "", ""},
      {"=sale_1*sale_2", Error("#REF!"), Error("#NAME?"), "deleted-reference", "defined name"},
      {"=A1*B1", Error("#REF!"), Error("#NAME?"), "", ""},
      {"=Data!A1:A2 Data!B1:B2", Error("#NULL!"), Error("#REF!"), "empty-intersection",
       "intersection"},
      {"=NOSUCH(1)", Number(3), Error("#NAME?"), "", ""},
      {"=[1]!LUCANET(\"Ist\")", Text("pls. update"), Error("#NAME?"), "external-data",
       "other file"},
      {"=C22+1", Number(0), Error("Err:522 circular reference"), "circular-reference",
       "circular reference"},
      {"=C22+1", Number(2), Error("#N/A"), "", ""},
      {"=_xlfn.XLOOKUP(1,A1:A2,B1:B2)", Number(2), Error("#NAME?"), "office-before-24-8",
       "XLOOKUP"},
      {"=_xlfn.LAMBDA(_xlpm.x,_xlpm.x*_xlpm.x)(7)", Number(49),
       Error("Err:509 an operator is missing"), "excel-only-function", "LAMBDA"},
  };
  for (const Case& c : cases) {
    const auto found = refhost::ExplainDifference(c.formula, c.saved, c.calc);
    EXPECT_EQ(found ? found->id : "", c.cause) << c.formula;
    EXPECT_EQ(found ? found->function : "", c.function) << c.formula;
  }
}

// A formula with relative references given to several cells is named at
// the line where its range is written; comments, texts, single cells,
// comparisons and absolute references are not.
TEST(HostKnownDifferences, MacroSourcesNameSeveralCellsGivenOneFormula) {
  const std::pair<std::string, std::vector<int>> cases[] = {
      {"Sub A()\n  Range(\"A2:C7\").Formula = \"=SUM(First!A2+1)\"\nEnd Sub\n", {2}},
      {"With Worksheets(\"X\")\r\n  .Range(\"B1:B9\").FormulaLocal = \"=B1+1\"\r\nEnd With", {2}},
      // Calc moves an R1C1 formula's references with each cell itself.
      {"Range(\"B1:B9\").FormulaR1C1 = \"=R[-1]C+1\"", {}},
      {"With Range(\"A1:A4\")\n  .Value = 1\n  .Formula = \"=B1\"\nEnd With\n", {1}},
      {"Range(\"A1\", \"C3\") _\n  .Formula = f", {1}},
      {"x = 1: If x Then Range(\"A:A\").Formula = \"=B1\"", {1}},
      {"' Range(\"A1:A3\").Formula = \"=B1\"\nRem Range(\"A1:A3\").Formula = \"=B1\"", {}},
      {"' a comment that goes on _\n Range(\"A1:A3\").Formula = \"=B1\"", {}},
      {"MsgBox \"Range(\"\"A1:A3\"\").Formula = \"\"=B1\"\"\"", {}},
      {"Range(\"A1\").Formula = \"=B1\"\nRange(\"$A$1:$A$1\").Formula = \"=B1\"", {}},
      {"Range(\"A1:A3\").Formula = \"=$B$1\"\nRange(\"A1:A3\").FormulaR1C1 = \"=R1C1\"", {}},
      {"If Range(\"A1:A3\").Formula = \"=B1\" Then Beep\nRange(\"A1:A3\").Value = \"=B1\"", {}},
  };
  for (const auto& [source, lines] : cases) {
    std::vector<int> found;
    for (const refhost::VbaNote& note : refhost::FindVbaNotes("Standard.Module1", source)) {
      EXPECT_EQ(note.module, "Standard.Module1");
      EXPECT_EQ(note.cause, "vba-range-formula");
      found.push_back(note.line);
    }
    EXPECT_EQ(found, lines) << source;
  }
}

// A dialog called by a qualified name the office lacks is named at its
// line; the unqualified ones, other owners and texts or comments are not.
TEST(HostKnownDifferences, MacroSourcesNameDialogsTheOfficeLacks) {
  const std::pair<std::string, std::vector<std::pair<int, std::string>>> cases[] = {
      {"Sub A()\n  x = VBA.MsgBox(\"Go?\", vbYesNo)\nEnd Sub", {{2, "VBA.MsgBox"}}},
      {"interaction.msgbox \"Hi\"\nv = Application.InputBox(\"n\", Type:=1)",
       {{1, "interaction.msgbox"}, {2, "Application.InputBox"}}},
      {"If a Then VBA.MsgBox \"x\" Else Application _\n  .InputBox \"y\"",
       {{1, "VBA.MsgBox"}, {1, "Application.InputBox"}}},
      {"MsgBox \"VBA.MsgBox\"\nx = InputBox(\"n\")\n' VBA.MsgBox\nRem Application.InputBox", {}},
      {"Me.Application.InputBox \"n\"\nx = VBA.Format(1)\nApplication.MsgBox \"x\"", {}},
  };
  for (const auto& [source, expected] : cases) {
    std::vector<std::pair<int, std::string>> found;
    for (const refhost::VbaNote& note : refhost::FindVbaNotes("Standard.Module1", source)) {
      EXPECT_EQ(note.cause, "vba-dialog-call");
      found.emplace_back(note.line, note.message.substr(0, note.message.find(' ')));
    }
    EXPECT_EQ(found, expected) << source;
  }
}

// docs/excel-differences.md is what the program prints; ids are unique and
// in kebab case, as the JSON names them.
TEST(HostKnownDifferences, TheCommittedDocumentIsWhatTheProgramPrints) {
  std::set<std::string_view> ids;
  for (const refhost::KnownDifference& cause : refhost::KnownDifferences()) {
    EXPECT_TRUE(ids.insert(cause.id).second) << cause.id;
    EXPECT_TRUE(std::regex_match(std::string(cause.id), std::regex("[a-z0-9]+(-[a-z0-9]+)*")))
        << cause.id;
  }
  const hosttest::Folder folder;
  const hosttest::Result result = hosttest::Host("workbook differences", folder.path());
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(result.out, refhost::KnownDifferencesMarkdown());
  EXPECT_EQ(result.out, hosttest::ReadText(std::string(GRIDMOOR_EXAMPLES_DIR) +
                                           "/../docs/excel-differences.md"))
      << "print it again: gridmoor-host workbook differences > docs/excel-differences.md";
}

}  // namespace
