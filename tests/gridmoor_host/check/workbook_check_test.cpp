// The workbook check without an office: the comparison rules, the
// scenario's cells, the summary and the JSON form (the saved values of the
// files: saved_values_test.cpp).
#include <gtest/gtest.h>

#include <optional>
#include <set>
#include <tuple>

#include "cell_results.h"
#include "check/check_causes.h"
#include "check/check_report.h"
#include "check/scenario_cells.h"
#include "differences/formula_names.h"
#include "differences/known_differences.h"
#include "host_test_support.h"
#include "saved_values/saved_values.h"
#include "scenario/scenario.h"

namespace {

using excel::CellResult;
using hosttest::Error;
using hosttest::Logical;
using hosttest::Number;
using hosttest::Text;

TEST(HostCompare, ResultsAreEqualByTheirKindsRules) {
  const std::tuple<CellResult, CellResult, bool> cases[] = {
      {Number(0.3), Number(0.1 * 3), true},
      {Number(1e6), Number(1e6 * (1 + 5e-10)), true},
      {Number(1e6), Number(1e6 * (1 + 2e-9)), false},
      {Number(-6.297155e-14), Number(-6.29715463801306e-14), true},
      {Number(0), Number(1e-13), true},
      {Number(0), Number(1e-11), false},
      {Text("ab"), Text("Ab"), false},
      {Text(""), Text(" "), false},
      {Logical(true), Logical(true), true},
      {Logical(true), Number(1), false},
      {Number(0), Logical(false), false},
      {Error("#N/A"), Error("#VALUE!"), false},
      {Text("#N/A"), Error("#N/A"), false},
      {Number(5), CellResult{}, false},
  };
  for (const auto& [saved, calc, same] : cases)
    EXPECT_EQ(refhost::SameResult(saved, calc), same)
        << refhost::ShowValue(saved) << " / " << refhost::ShowValue(calc);
  // The office's logicals are numbers it shows as TRUE or FALSE.
  EXPECT_TRUE(refhost::SameResult(Logical(true), Number(1), true));
  EXPECT_FALSE(refhost::SameResult(Logical(true), Number(0), true));
  EXPECT_TRUE(refhost::SameResult(Number(0), Number(0), true));
  EXPECT_FALSE(refhost::SameResult(Text("TRUE"), Number(1), true));
}

TEST(HostCompare, FunctionNamesAndLinksToOtherFiles) {
  const std::tuple<std::string, std::vector<std::string>, bool> cases[] = {
      {"=SUM(A1:A3)+ if (B1;1;2)", {"SUM", "if"}, false},
      {"=_xlfn.xlookup(\"NOTME(\";A1)&_xludf.MyFunc(1)", {"_xlfn.xlookup", "_xludf.MyFunc"}, false},
      {"='My Sheet'!A1+Sheet1.A2+LOG10(4)", {"LOG10"}, false},
      {"=COM.SUN.STAR.SHEET.ADDIN.ANALYSIS.GETEDATE(A1;1)",
       {"COM.SUN.STAR.SHEET.ADDIN.ANALYSIS.GETEDATE"},
       false},
      {"=[1]Sheet1!A1*2", {}, true},
      {"='[Book 2.xlsx]Data'!B7", {}, true},
      {"=SUM('file:///srv/x.ods'#$Sheet1.A1)", {"SUM"}, true},
      {"=SUM(Table1[Column1])", {"SUM"}, false},
      {"=\"[1]Sheet1!A1\"", {}, false},
  };
  for (const auto& [formula, names, external] : cases) {
    EXPECT_EQ(refhost::FunctionNamesIn(formula), names) << formula;
    EXPECT_EQ(refhost::RefersToOtherFile(formula), external) << formula;
  }
  std::vector<std::string> books;
  for (const auto& r : refhost::BookReferencesIn(
           "=[1]Sheet1!A1+'[Book 2.xlsx]It''s'!B7+\"[3]X!A1\"+Table1[Col]+[2]Gone!C3"))
    books.push_back(r.book + ":" + r.sheet);
  EXPECT_EQ(books, (std::vector<std::string>{"1:Sheet1", "Book 2.xlsx:It's", "2:Gone"}));
}

// As the office writes its formulas: known functions in capitals, names it
// did not resolve with their prefix or in small letters, add-ins by service.
TEST(HostCompare, UnknownFunctionsByHowTheOfficeWritesThem) {
  const std::set<std::string> functions = {"SUM", "STDEV.S", "AGGREGATE", "UNIQUE"};
  const std::set<std::string> procedures = {"MYUDF"};
  const std::pair<std::string, std::optional<std::string>> cases[] = {
      {"SUM", std::nullopt},         {"COM.SUN.STAR.SHEET.ADDIN.ANALYSIS.GETEDATE", std::nullopt},
      {"MyUdf", std::nullopt},       {"_xludf.MyUdf", std::nullopt},
      {"_xlfn.xlookup", "XLOOKUP"},  {"aggregate", "AGGREGATE"},
      {"_xludf.Missing", "MISSING"}, {"_xlfn.myudf", "MYUDF"},
      {"NOSUCH", "NOSUCH"},
  };
  for (const auto& [name, unknown] : cases)
    EXPECT_EQ(refhost::UnknownFunctionName(name, functions, procedures), unknown) << name;
}

excel::RecalculatedWorkbook CalcBook() {
  excel::RecalculatedWorkbook calc;
  calc.sheets = {"S", "In"};
  calc.formulas = {{0, 0, 1, "=A1*2", Number(10)},
                   {0, 0, 2, "=TEXT(1,\"#.###\")", Text("1")},
                   {0, 1, 1, "=NOSUCH(1)+MyUdf(2)", Error("#NAME?")},
                   {0, 2, 1, "=NOSUCH(3)", Error("#NAME?")},
                   {1, 1, 1, "=1+1", Number(2)}};
  calc.functions = {"SUM", "TEXT"};
  calc.modules = {{"Standard",
                   "Module1",
                   {{"MyUdf", true}, {"Go", false}},
                   true,
                   {},
                   "Sub Go()\n  Range(\"A2:A4\").Formula = \"=A1+1\"\nEnd Sub\n"},
                  {"Standard", "Broken", {{"Bad", false}}, false, {"Bad"}, {}}};
  calc.officeModules = {{"Tools", "Strings", {{"Trim", true}, {"Nosuch", true}}, true, {}, {}}};
  return calc;
}

TEST(HostCheckReport, FindingsSummaryAndJson) {
  refhost::SavedWorkbook saved;
  saved.sheets = {"S", "In"};
  saved.formulas = {{"S", 0, 1, "=A1*2", true, Number(10)},
                    {"S", 0, 2, "=TEXT(1,\"#.###\")", true, Text("1.")},
                    {"S", 1, 1, "", true, Number(3)},
                    {"S", 2, 1, "=NOSUCH(3)", false, {}},
                    {"In", 1, 1, "=1+1", true, Logical(true)},
                    {"In", 5, 0, "=[1]Sheet1!A1", true, Number(1)}};
  saved.externalLinks = {"file:///srv/prices.xlsx"};
  saved.problems = {"xl/sharedStrings.xml: damaged"};
  const refhost::CheckReport report = refhost::CompareWorkbook(saved, CalcBook());
  const std::string kNote =
      "Range(\"A2:A4\").Formula gives several cells one formula: Excel moves its relative "
      "references with each cell, where Calc gave every cell the same formula; the driver gives "
      "each cell its own relative references when the macro runs";
  // What the summary does not show, and how a cause is told: in the JSON.
  const nlohmann::json json = refhost::ReportJson(report);
  nlohmann::json expected = nlohmann::json::parse(R"json({
    "problems": [{"kind": "externalLink", "message": "the workbook links to /srv/prices.xlsx"},
                 {"kind": "externalLink", "message": "In!A6 refers to another file"},
                 {"kind": "package", "message": "xl/sharedStrings.xml: damaged"}],
    "vbaNotes": [{"module": "Standard.Module1", "line": 2, "cause": "vba-range-formula"}]})json");
  expected["vbaNotes"][0]["message"] = kNote;
  EXPECT_EQ(json["problems"], expected["problems"]);
  EXPECT_EQ(json["vbaNotes"], expected["vbaNotes"]);
  EXPECT_EQ(json["differ"][0]["cause"], "text-format-code");
  for (const refhost::KnownDifference& cause : refhost::KnownDifferences())
    if (cause.id == "text-format-code") {
      EXPECT_EQ(json["causes"][0]["sentence"], cause.differs);
      EXPECT_EQ(json["causes"][0]["remedy"], cause.remedy);
    }
  EXPECT_EQ(refhost::SummaryText(report, 2),
            "formula cells checked: 5\n"
            "not compared: 1 formula cell(s) whose file carries no saved value\n"
            "differ: 4\n"
            "  text-format-code: 1\n"
            "    TEXT: 1  S!C1\n"
            "  unexplained: 3\n"
            "    S!B2  =NOSUCH(1)+MyUdf(2)  saved 3  calc #NAME?\n"
            "    In!B2  =1+1  saved TRUE  calc 2\n"
            "    ... and 1 more\n"
            "unknown functions: 1\n"
            "  NOSUCH in S!B2 and 1 more cell(s)\n"
            "macro problems: 1\n"
            "  module Standard.Broken does not compile; in procedure(s) Bad\n"
            "macro notes: 1\n"
            "  Standard.Module1 line 2: " +
                kNote +
                "\n"
                "other problems: 3\n"
                "  the workbook links to /srv/prices.xlsx\n"
                "  In!A6 refers to another file\n"
                "  xl/sharedStrings.xml: damaged\n");
}

// A cell that only uses a name is explained by what the name holds, through
// names that use names, and names that refer to each other end.
TEST(HostCheckReport, CausesAreFoundThroughDefinedNames) {
  const std::vector<excel::DefinedName> names = {
      {"Twice", "_xlfn.lambda(_xlpm.x;_xlpm.x*2)"},
      {"Outer", "Inner+1"},
      {"inner", "_xlfn.VSTACK($Data.$A$1)"},
      {"Loop", "Loop+\"Twice\""},
  };
  const std::tuple<std::string, CellResult, std::string> cases[] = {
      {"=Twice(3)", Error("Err:509 an operator is missing"), "LAMBDA"},
      {"=OUTER*2", Error("#NAME?"), "VSTACK"},
      {"=Loop", Error("#NAME?"), ""},
      {"=\"Twice\"&A1", Error("Err:509 an operator is missing"), ""},
  };
  for (const auto& [formula, calc, function] : cases) {
    refhost::Difference d{"Data", "A1", formula, Number(6), calc, true, false, {}, {}};
    refhost::ExplainCause(d, names);
    EXPECT_EQ(d.causeFunction, function) << formula;
    EXPECT_EQ(d.cause, function.empty() ? "" : "excel-only-function") << formula;
  }
}

TEST(HostScenarioCells, MacrosSheetsAddressesAndFormulasInInputs) {
  refhost::Scenario scenario;
  scenario.caseJson = nlohmann::json::parse(R"json({
    "macros": {"StartOfRun": {"macro": "Module1.Go"}, "EndOfRun": {"macro": "Module1.Gone"},
               "PreSolve": {"macro": "Strings.Trim"}, "PostSolve": {"macro": "not a name!"}},
    "inputStreams": [{"sheetName": "In", "solverCells": [{"cell": "B2"}, {"cell": "B3"}, {"cell": ""}]}],
    "outputStreams": [{"sheetName": "Nowhere", "propertyCells": [{"cell": "C1"}]}],
    "objective": {"defined": true, "worksheet": "S", "cell": "ZZZZ9"},
    "controls": [{"worksheet": "s", "cell": "$B$1"}, {"worksheet": "S", "cell": "B4"}],
    "constraints": [{"worksheet": "S", "cell": "B1"}]})json");
  scenario.publishedVariables =
      nlohmann::json::parse(R"json([{"worksheet": "S", "cell": "A1:B2"}])json");
  refhost::CheckReport report;
  const outcome::Error error = refhost::CheckScenarioCells(scenario, CalcBook(), report);
  ASSERT_FALSE(error) << error.Message();
  std::vector<std::string> macros, problems;
  for (const refhost::MacroFinding& m : report.macros)
    macros.push_back(m.message);
  for (const refhost::Problem& p : report.problems)
    problems.push_back(p.kind + ": " + p.message);
  EXPECT_EQ(macros,
            (std::vector<std::string>{"macros.EndOfRun: 'Module1.Gone' names no procedure of the "
                                      "workbook's or the office's macro modules",
                                      "macros.PostSolve: 'not a name!' is not a macro name"}));
  EXPECT_EQ(problems, (std::vector<std::string>{
                          "formulaInInput: inputStreams[0].solverCells[0] (In!B2) holds a formula, "
                          "which the host's writes would overwrite",
                          "cell: outputStreams[0].propertyCells[0] (Nowhere!C1): the workbook has "
                          "no sheet 'Nowhere'",
                          "cell: objective (S!ZZZZ9): 'ZZZZ9' is not a cell address",
                          "formulaInInput: controls[0] (s!$B$1) holds a formula, which the host's "
                          "writes would overwrite",
                          "cell: publishedVariables[0] (S!A1:B2): 'A1:B2' is not a cell address"}));
}

}  // namespace
