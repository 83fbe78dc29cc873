// `gridmoor-host workbook check` against a real office: workbooks written
// with chosen formulas and saved values, workbooks the office saved itself,
// the scenario's checks and the exit statuses.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <map>

#include "com/variants/variant.h"
#include "excel/calc/calc_application.h"
#include "excel/calc/process/office_program.h"
#include "host_test_support.h"
#include "support/xlsx_writer.h"

namespace {

using ::testing::HasSubstr;

using test_support::XlsxCell;
namespace fs = std::filesystem;

using hosttest::Check;
using hosttest::Checked;

// (cell, saved, calc) of every difference.
std::vector<std::tuple<std::string, nlohmann::json, nlohmann::json>> Differences(
    const nlohmann::json& json) {
  std::vector<std::tuple<std::string, nlohmann::json, nlohmann::json>> found;
  for (const nlohmann::json& d : json["differ"])
    found.emplace_back(d["sheet"].get<std::string>() + "!" + d["cell"].get<std::string>(),
                       d["saved"], d["calc"]);
  return found;
}

const auto ErrorJson = [](const std::string& name) { return nlohmann::json{{"error", name}}; };

// `formula` into `cell` of the workbook's first sheet.
void PutFormula(const com::Ptr<excel::Workbook>& workbook, const char* cell, const char* formula) {
  const com::Ptr<excel::Worksheet> sheet =
      com::QueryInterface<excel::Worksheet>(workbook->GetSheets()->GetItem(com::Variant::Int(1)));
  const com::Variant value = com::Variant::Text(formula);
  sheet->GetRange(com::Variant::Text(cell), com::Variant::Missing())
      ->Invoke(excel::kDispidValue2, excel::InvokeKind::kPropertyPut, {&value, 1});
}

// Workbooks the office saved, made once in one office: the separator
// example as saved.xlsx and saved.fods; book.xls, whose Sheet1!B2 holds
// =1+1; macros.ods, with Basic modules that do and do not compile.
fs::path OfficeSaved() {
  static const hosttest::Folder folder;
  static const bool made = [] {
    const com::Ptr<excel::Application> application = excel::calc::CreateCalcApplication();
    const std::vector<com::Variant> missing(excel::kOpenOptionalCountOld, com::Variant::Missing());
    const com::Ptr<excel::Workbook> example = application->GetWorkbooks()->Open(
        com::Bstr::FromUtf8(hosttest::Example("separator/separator.fods").string()), missing, 0);
    const auto save = [&](const com::Ptr<excel::Workbook>& workbook, const char* name) {
      workbook->SaveCopyAs(com::Variant::Text((folder.path() / name).string()), 0);
    };
    save(example, "saved.xlsx");
    save(example, "saved.fods");
    const com::Ptr<excel::Workbook> xls =
        application->GetWorkbooks()->Add(com::Variant::Missing(), 0);
    PutFormula(xls, "B2", "=1+1");
    save(xls, "book.xls");
    const com::Ptr<excel::Workbook> macros =
        application->GetWorkbooks()->Add(com::Variant::Missing(), 0);
    excel::calc::PutBasicModule(macros, "Standard", "Fine",
                                "Function Twice(x)\nTwice = 2 * x\nEnd Function\n");
    excel::calc::PutBasicModule(macros, "Library3", "Broken",
                                "Dim counter As Integer\nSub Good()\ncounter = 1\nEnd Sub\n"
                                "Sub Bad()\nx = = 1\nEnd Sub\n");
    // A workbook's own function called from a cell is no unknown function.
    PutFormula(macros, "A1", "=Twice(3)");
    excel::calc::PutBasicModule(macros, "Library2", "Declarations",
                                "Dim As Integer\nSub Alone()\nEnd Sub\n");
    save(macros, "macros.ods");
    application->Quit();
    return true;
  }();
  (void)made;
  return folder.path();
}

// Each formula twice: in column D with the value the spreadsheet saves, in
// E with a wrong one. Every E cell is found, and the D cells where Calc's
// result is not the spreadsheet's own (a reference to a deleted sheet is
// #NAME? in Calc; an empty intersection is #NULL! from 24.8 on, #REF!
// before). The `calc` column pins how Calc's error codes are named (532,
// 32767, 502, 525, 521, 519).
TEST(IntegrationWorkbookCheck, FindsExactlyTheCellsWrittenWithOtherValues) {
  const hosttest::Folder folder;
  const fs::path book = folder.path() / "chosen.xlsx";
  struct Row {
    std::string formula, type, right, wrong;
    nlohmann::json calc;  // what Calc gives, as the JSON shows it
  };
  const Row rows[] = {
      {"2+2", "", "4", "5", 4},
      {"0.1*3", "", "0.3", "0.31", 0.1 * 3},
      {"\"a\"&\"b\"", "str", "ab", "ac", "ab"},
      {"1>0", "b", "1", "0", true},
      {"1/0", "e", "#DIV/0!", "#N/A", ErrorJson("#DIV/0!")},
      {"NA()", "e", "#N/A", "#VALUE!", ErrorJson("#N/A")},
      {"SQRT(-1)", "e", "#NUM!", "#DIV/0!", ErrorJson("#NUM!")},
      {"NOSUCHFUNC(1)", "e", "#NAME?", "#REF!", ErrorJson("#NAME?")},
      {"Data!A1:A2 Data!B1:B2", "e", "#NULL!", "#NAME?", ErrorJson("#NULL!")},
      {"\"a\"+1", "e", "#VALUE!", "#NUM!", ErrorJson("#VALUE!")},
      {"#REF!A1", "e", "#REF!", "#NULL!", ErrorJson("#NAME?")},
  };
  std::vector<XlsxCell> cells = {{"A1", "", "", "1", ""}, {"B1", "", "", "2", ""}};
  std::vector<std::tuple<std::string, nlohmann::json, nlohmann::json>> expected;
  for (std::size_t i = 0; i < std::size(rows); ++i) {
    const std::string n = std::to_string(i + 1);
    cells.push_back({"D" + n, rows[i].formula, rows[i].type, rows[i].right, ""});
    cells.push_back({"E" + n, rows[i].formula, rows[i].type, rows[i].wrong, ""});
    nlohmann::json wrong = rows[i].type == "e"
                               ? ErrorJson(rows[i].wrong)
                               : nlohmann::json::parse(rows[i].wrong, nullptr, false);
    if (rows[i].type == "str") wrong = rows[i].wrong;
    if (rows[i].type == "b") wrong = rows[i].wrong == "1";
    expected.emplace_back("Data!E" + n, wrong, rows[i].calc);
    if (rows[i].type == "e" && rows[i].calc != ErrorJson(rows[i].right))
      expected.emplace_back("Data!D" + n, ErrorJson(rows[i].right), rows[i].calc);
  }
  // A logical saved as the number 1 (the office's logicals are numbers),
  // and shared and array formulas.
  cells.push_back({"F1", "1>0", "", "1", ""});
  cells.push_back({"G1", "$A$1*10", "", "10", "t=\"shared\" ref=\"G1:G3\" si=\"0\""});
  cells.push_back({"G2", "", "", "10", "t=\"shared\" si=\"0\""});
  cells.push_back({"G3", "", "", "99", "t=\"shared\" si=\"0\""});
  expected.emplace_back("Data!G3", 99, 10);
  cells.push_back({"H1", "ROW(A1:A3)", "", "1", "t=\"array\" ref=\"H1:H3\""});
  cells.push_back({"H2", "", "", "2", ""});
  cells.push_back({"H3", "", "", "4", ""});
  expected.emplace_back("Data!H3", 4, 3);
  // Functions the office knows under other names (an add-in's, a prefixed
  // one) and one it does not know.
  cells.push_back({"J1", "EDATE(A1,1)", "", "32", ""});
  cells.push_back({"J2", "_xlfn.STDEV.S(A1:B1)", "", "0.70710678118654757", ""});
  cells.push_back({"J3", "_xlfn.VSTACK(A1:B1)", "e", "#NAME?", ""});
  std::sort(cells.begin(), cells.end(), [](const XlsxCell& a, const XlsxCell& b) {
    return std::stoi(a.ref.substr(1)) < std::stoi(b.ref.substr(1));
  });
  const std::string bytes = test_support::XlsxBytes({{"Data", cells}});
  test_support::WriteFile(book, bytes);

  const Checked checked = Check(book.string(), folder.path());
  EXPECT_EQ(checked.result.status, 1) << checked.result.err;
  EXPECT_EQ(checked.json["formulas"], 2 * std::size(rows) + 10);
  auto found = Differences(checked.json);
  std::sort(found.begin(), found.end());
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(found, expected);
  std::vector<nlohmann::json> unknown(checked.json["unknownFunctions"].begin(),
                                      checked.json["unknownFunctions"].end());
  EXPECT_EQ(unknown, (std::vector<nlohmann::json>{
                         {{"name", "NOSUCHFUNC"}, {"cells", {"Data!D8", "Data!E8"}}},
                         {{"name", "VSTACK"}, {"cells", {"Data!J3"}}}}));
  EXPECT_EQ(hosttest::ReadText(book), bytes) << "the workbook itself must not change";
  EXPECT_THAT(checked.result.out, HasSubstr("differ: " + std::to_string(expected.size())));
}

// What cannot or need not agree is told apart from what differs: volatile
// cells and their dependents on other sheets, a sheet the office renames
// (two names that differ only in case),
// a number shown as a logical, a tiny difference near zero; an office
// error keeps its own name.
TEST(IntegrationWorkbookCheck, WhatIsNoDifferenceIsToldApart) {
  const hosttest::Folder folder;
  const fs::path book = folder.path() / "false-reports.xlsx";
  test_support::WriteFile(
      book, test_support::XlsxBytes(
                {{"Data",
                  {{"A1", "RANDBETWEEN(1,1000000)", "", "5", ""},
                   {"A2", "A1*2", "", "10", ""},
                   {"A3", "--(\"A\"=\"B\")", "", "0", ""},
                   {"A4", "SIN(PI())", "", "1.2246467991473532E-16", ""},
                   {"A5", "A5+1", "", "0", ""}}},
                 {"SHEET1", {{"A1", "Data!A2+1", "", "11", ""}, {"A2", "1+1", "", "2", ""}}},
                 // The office takes sheet names without case: it renames this one.
                 {"sheet1", {{"A1", "SHEET1!A2*2", "", "4", ""}}}}));
  const Checked checked = Check(book.string(), folder.path());
  EXPECT_EQ(checked.result.status, 1) << checked.result.err;
  EXPECT_EQ(checked.json["volatile"], 3) << checked.json.dump(1);
  EXPECT_EQ(checked.json["formulas"], 5);
  EXPECT_EQ(checked.json["renamedSheets"],
            nlohmann::json::parse(R"([{"saved": "sheet1", "calc": "sheet1 -1"}])"));
  EXPECT_EQ(checked.json["office"], excel::calc::OfficeVersion());
  EXPECT_EQ(Differences(checked.json),
            (std::vector<std::tuple<std::string, nlohmann::json, nlohmann::json>>{
                {"Data!A5", 0, ErrorJson("Err:522 circular reference")}}))
      << checked.json.dump(1);
  EXPECT_EQ(checked.json["problems"], nlohmann::json::array());
  const std::string& out = checked.result.out;
  EXPECT_THAT(out, HasSubstr("office: " + excel::calc::OfficeVersion() +
                             "\nformula cells checked: 5\n"
                             "volatile: 3 "));
  EXPECT_THAT(out, HasSubstr("renamed sheet: the office renamed sheet 'sheet1' to 'sheet1 -1'"));
}

// Links to the workbook itself, as a workbook keeps them after a sheet it
// referred to was deleted: saved on Windows by its full path, and by its
// name alone. Their references are deleted sheets, never other files.
TEST(IntegrationWorkbookCheck, ReferencesThroughALinkToItselfAreDeletedSheets) {
  const hosttest::Folder folder;
  const fs::path book = folder.path() / "self.xlsx";
  auto parts = test_support::XlsxParts({{"Data",
                                         {{"A1", "[1]Gone!A1*2", "", "10", ""},
                                          {"A2", "'[2]Old one'!B1+1", "", "6", ""},
                                          {"B1", "", "", "1", ""}}}});
  const std::string rel = "http://schemas.openxmlformats.org/officeDocument/2006/relationships";
  const std::string targets[] = {"file:///C:\\Users\\me\\My%20Docs\\self.xlsx", "self.xlsx"};
  std::string references = "<externalReferences>";
  for (int i = 1; i <= 2; ++i) {
    const std::string n = std::to_string(i), id = "rIdLink" + n;
    const std::string part = "xl/externalLinks/externalLink" + n + ".xml";
    parts.emplace_back(part,
                       "<externalLink xmlns=\"http://schemas.openxmlformats.org/"
                       "spreadsheetml/2006/main\" xmlns:r=\"" +
                           rel + "\"><externalBook r:id=\"rId1\"/></externalLink>");
    parts.emplace_back("xl/externalLinks/_rels/externalLink" + n + ".xml.rels",
                       "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/"
                       "relationships\"><Relationship Id=\"rId1\" Type=\"" +
                           rel + "/externalLinkPath\" Target=\"" + targets[i - 1] +
                           "\" TargetMode=\"External\"/></Relationships>");
    std::string& rels = parts[3].second;
    rels.insert(rels.find("</Relationships>"), "<Relationship Id=\"" + id + "\" Type=\"" + rel +
                                                   "/externalLink\" Target=\"externalLinks/"
                                                   "externalLink" +
                                                   n + ".xml\"/>");
    references += "<externalReference r:id=\"" + id + "\"/>";
  }
  parts[2].second.insert(parts[2].second.find("</sheets>") + 9,
                         references + "</externalReferences>");
  test_support::WriteFile(book, test_support::ZipBytes(parts));

  const Checked checked = Check(book.string(), folder.path());
  std::vector<std::string> problems;
  for (const nlohmann::json& p : checked.json["problems"])
    problems.push_back(p["kind"].get<std::string>() + ": " + p["message"].get<std::string>());
  EXPECT_EQ(problems,
            (std::vector<std::string>{
                "deletedSheet: the workbook links to itself (/C:\\Users\\me\\My "
                "Docs\\self.xlsx): its formulas refer to sheets it does not have (deleted)",
                "deletedSheet: the workbook links to itself (self.xlsx): its formulas refer to "
                "sheets it does not have (deleted)",
                "deletedSheet: Data!A1 refers to sheet 'Gone', which the workbook does not have "
                "(deleted)",
                "deletedSheet: Data!A2 refers to sheet 'Old one', which the workbook does not "
                "have (deleted)"}))
      << checked.result.out << checked.result.err;
  for (const nlohmann::json& d : checked.json["differ"])
    EXPECT_EQ(d["cause"], "deleted-reference") << checked.json["differ"].dump();
}

// A copy of an example saved by the office as .xlsx and as .fods: Calc's
// own saved values, nothing differs.
TEST(IntegrationWorkbookCheck, WorkbooksTheOfficeSavedShowNoDifferences) {
  const hosttest::Folder folder;
  for (const char* name : {"saved.xlsx", "saved.fods"}) {
    const Checked checked = Check((OfficeSaved() / name).string(), folder.path());
    EXPECT_EQ(checked.result.status, 0) << name << checked.result.out << checked.result.err;
    EXPECT_GT(checked.json["formulas"].get<int>(), 300) << name;
    EXPECT_EQ(checked.json["differ"], nlohmann::json::array()) << name;
    EXPECT_EQ(checked.json["unknownFunctions"], nlohmann::json::array()) << name;
    EXPECT_EQ(checked.json["macros"], nlohmann::json::array()) << name;
  }
}

TEST(IntegrationWorkbookCheck, ExitStatusesOfWhatCannotBeChecked) {
  const hosttest::Folder folder;
  test_support::WriteFile(folder.path() / "words.xlsx", "not a workbook");
  test_support::WriteFile(folder.path() / "small.xlsx",
                          test_support::XlsxBytes({{"S", {{"A1", "1+1", "", "2", ""}}}}));
  // Valid OpenDocument with another prefix for the table namespace: the
  // office reads its formula, the saved-value reader finds none.
  test_support::WriteFile(
      folder.path() / "prefixed.fods",
      R"(<?xml version="1.0" encoding="UTF-8"?>
<office:document xmlns:office="urn:oasis:names:tc:opendocument:xmlns:office:1.0" )"
      R"(xmlns:t="urn:oasis:names:tc:opendocument:xmlns:table:1.0" )"
      R"(xmlns:text="urn:oasis:names:tc:opendocument:xmlns:text:1.0" office:version="1.2" )"
      R"(office:mimetype="application/vnd.oasis.opendocument.spreadsheet"><office:body>)"
      R"(<office:spreadsheet><t:table t:name="Data"><t:table-row><t:table-cell )"
      R"(t:formula="of:=1+1" office:value-type="float" office:value="2"><text:p>2</text:p>)"
      R"(</t:table-cell></t:table-row></t:table></office:spreadsheet></office:body></office:document>)");
  const std::string check = "workbook check " + folder.path().string();
  // Arguments, environment, exit status, what stderr holds (the reader's
  // messages: HostSavedValues). A call limit too large to be one is read as
  // a run reads it: ignored, so the check goes on under the default instead
  // of failing at once (other bad limits: the driver's tests).
  const std::tuple<std::string, std::string, int, std::string> cases[] = {
      {"workbook check", "", 2, "give BOOK or --scenario"},
      {check + "/words.xlsx", "", 2,
       "words.xlsx: not a workbook this check can read (.xlsx, .xlsm, .ods or .fods)"},
      {check + "/prefixed.fods", "", 2,
       "the office holds 1 formula cell(s), but no saved value could be read from the file: "
       "nothing could be compared"},
      {"workbook check " + std::string(GRIDMOOR_TEST_DATA_DIR) +
           "/excel-authored/formula_results01.xlsx",
       "", 0, ""},
      {check + "/small.xlsx", "GRIDMOOR_CALL_TIMEOUT=9e15", 0, ""},
  };
  for (const auto& [arguments, environment, status, message] : cases) {
    const hosttest::Result result = hosttest::Host(arguments, folder.path(), environment);
    EXPECT_EQ(result.status, status) << environment << " " << arguments << result.err;
    EXPECT_THAT(result.err, HasSubstr(message)) << arguments << result.err;
  }
}

// A binary workbook named by its case's file name, relative to the
// scenario's folder as a run takes it: its saved values are out of reach,
// but the scenario's cells are still checked.
TEST(IntegrationWorkbookCheck, AnXlsOfAScenarioGetsEveryOtherCheck) {
  const hosttest::Folder folder;
  fs::copy_file(OfficeSaved() / "book.xls", folder.path() / "book.xls");
  fs::create_directories(folder.path() / "scenarios");
  std::ofstream(folder.path() / "scenarios" / "s.json") << R"({"case": {"fileName": "../book.xls",
    "controls": [{"worksheet": "Sheet1", "cell": "B2", "name": "c", "unit": "", "lowerBound": 0,
                  "upperBound": 1}]}, "run": {"start": "2024-01-01"}})";
  // Run from the folder, as a user would.
  const Checked checked =
      Check("--scenario scenarios/s.json", folder.path(), "cd " + folder.path().string() + " &&");
  ASSERT_EQ(checked.result.status, 1) << checked.result.err;
  EXPECT_EQ(checked.json["notCompared"], 1) << checked.json.dump(1);
  EXPECT_EQ(checked.json["notComparedWhy"],
            "a binary workbook (.xls) keeps its saved values out of reach");
  ASSERT_EQ(checked.json["problems"].size(), 1u);
  EXPECT_EQ(checked.json["problems"][0]["message"],
            "controls[0] (Sheet1!B2) holds a formula, which the host's writes would overwrite");
  // Without a scenario there is nothing to check.
  EXPECT_EQ(Check((folder.path() / "book.xls").string(), folder.path()).result.status, 2);
}

// A Basic module that does not compile is named with the procedure at
// fault; one that compiles is not. (A library holding a module that does
// not compile runs none of its procedures: the cell's function lives in a
// library of its own.)
TEST(IntegrationWorkbookCheck, MacroModulesThatDoNotCompile) {
  const hosttest::Folder folder;
  const fs::path book = OfficeSaved() / "macros.ods";
  const Checked checked = Check(book.string(), folder.path());
  EXPECT_EQ(checked.result.status, 1) << checked.result.err;
  // The check runs none of the workbook's code: the cell is not compared.
  EXPECT_EQ(checked.json["formulas"], 0);
  EXPECT_EQ(checked.json["workbookFunctions"], 1);
  EXPECT_EQ(checked.json["differ"], nlohmann::json::array());
  EXPECT_EQ(checked.json["unknownFunctions"], nlohmann::json::array());
  EXPECT_EQ(checked.json["macros"], nlohmann::json::parse(R"json([
      {"macro": "Library2.Declarations", "source": "workbook", "procedures": [],
       "message": "module Library2.Declarations does not compile (outside its procedures)"},
      {"macro": "Library3.Broken", "source": "workbook", "procedures": ["Bad"],
       "message": "module Library3.Broken does not compile; in procedure(s) Bad"}])json"));
}

// A cell for each kind of known difference Calc 25.2 shows, each with the
// value Excel saves: the JSON names each cell's cause (every recogniser:
// HostKnownDifferences).
TEST(IntegrationWorkbookCheck, EachDifferingCellIsNamedWithItsCause) {
  const hosttest::Folder folder;
  const fs::path book = folder.path() / "causes.xlsx";
  const std::tuple<std::string, std::string, std::string, std::string> rows[] = {
      {"_xlfn.WEBSERVICE(\"\")", "str", "42", "external-data"},
      {"_xlfn.VSTACK(A2)", "", "5", "excel-only-function"},
      {"SUBTOTAL(109,[Amount])", "", "124", "structured-reference"},
      {"#REF!A1", "e", "#REF!", "deleted-reference"},
      {"TEXT(1,\"#.###\")", "str", "1.", "text-format-code"},
      {"COUNT(A1:A4)", "", "1", "no-logical-type"},
      {"DATE(29,1,1)", "", "10594", "date-two-digit-year"},
      {"DAY(0)", "", "0", "date-serial-before-march-1900"},
      {"H10+1", "", "0", "circular-reference"},
      {"H9+1", "", "0", "circular-reference"},
      // Defined names (below) that hold what Calc lacks.
      {"Twice(3)", "", "6", "excel-only-function"},
      {"Pivot", "str", "a", "excel-only-function"},
  };
  // A1 TRUE, A2 5, A4 FALSE.
  std::vector<XlsxCell> cells = {
      {"A1", "", "b", "1", ""}, {"A2", "", "", "5", ""}, {"A4", "", "b", "0", ""}};
  std::map<std::string, std::string> expected;
  for (std::size_t i = 0; i < std::size(rows); ++i) {
    const auto& [formula, type, saved, cause] = rows[i];
    const std::string ref = "H" + std::to_string(i + 1);
    cells.push_back({ref, formula, type, saved, ""});
    expected["Data!" + ref] = cause;
  }
  std::stable_sort(cells.begin(), cells.end(), [](const XlsxCell& a, const XlsxCell& b) {
    return std::stoi(a.ref.substr(1)) < std::stoi(b.ref.substr(1));
  });
  auto parts = test_support::XlsxParts({{"Data", cells}});
  parts[2].second.replace(
      parts[2].second.find("</sheets>") + 9, 0,
      "<definedNames><definedName name=\"Twice\">_xlfn.LAMBDA(_xlpm.x,_xlpm.x*2)</definedName>"
      "<definedName name=\"Sums\">_xlfn.PIVOTBY(Data!$A$1:$A$2,Data!$C$1:$C$2,Data!$C$2:$D$2,"
      "_xlfn.LAMBDA(_xlpm.v,SUM(_xlpm.v)))</definedName>"
      "<definedName name=\"Pivot\">Sums</definedName></definedNames>");
  test_support::WriteFile(book, test_support::ZipBytes(parts));

  const Checked checked = Check(book.string(), folder.path());
  EXPECT_EQ(checked.result.status, 1) << checked.result.err;
  std::map<std::string, std::string> found;
  for (const nlohmann::json& d : checked.json["differ"])
    found[d["sheet"].get<std::string>() + "!" + d["cell"].get<std::string>()] =
        d["cause"].is_null() ? "(unexplained)" : d["cause"].get<std::string>();
  EXPECT_EQ(found, expected) << checked.json["differ"].dump(1);
  EXPECT_EQ(checked.json["unexplained"], 0);
  std::size_t counted = 0;
  for (const nlohmann::json& cause : checked.json["causes"])
    counted += cause["cells"].get<std::size_t>();
  EXPECT_EQ(counted, std::size(rows));
  EXPECT_THAT(checked.result.out, HasSubstr("  unexplained: 0\n"));
}

}  // namespace
