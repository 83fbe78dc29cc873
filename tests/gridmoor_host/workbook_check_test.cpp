// The workbook check without an office: the zip package and the saved
// values of .xlsx and OpenDocument files, the comparison rules, the
// scenario's cells, the summary and the JSON form.
#include <gtest/gtest.h>

#include <optional>
#include <set>
#include <tuple>

#include "check_report.h"
#include "formula_names.h"
#include "host_test_support.h"
#include "saved_values.h"
#include "scenario.h"
#include "scenario_cells.h"
#include "support/xlsx_writer.h"
#include "zip_package.h"

namespace {

using excel::CellResult;
using Kind = excel::CellResult::Kind;
using test_support::XlsxBytes;
using test_support::XlsxCell;

const auto Number = [](double n) { return CellResult{Kind::kNumber, n, {}}; };
const auto Text = [](const std::string& t) { return CellResult{Kind::kText, 0, t}; };
const auto Logical = [](bool b) { return CellResult{Kind::kLogical, b ? 1.0 : 0.0, {}}; };
const auto Error = [](const std::string& e) { return CellResult{Kind::kError, 0, e}; };

using Found = std::tuple<std::string, int, int, std::string, bool, CellResult>;
std::vector<Found> Cells(const refhost::SavedWorkbook& book) {
  std::vector<Found> found;
  for (const refhost::SavedCell& c : book.formulas)
    found.emplace_back(c.sheet, c.row, c.column, c.formula, c.hasValue, c.value);
  return found;
}

TEST(HostZipPackage, PartsComeBackAsWritten) {
  const std::string bytes =
      test_support::ZipBytes({{"a.txt", "alpha"}, {"dir/b.xml", "<b/>"}, {"empty", ""}});
  refhost::ZipPackage package;
  std::string error;
  ASSERT_TRUE(package.Open(bytes, error)) << error;
  EXPECT_EQ(package.Names(), (std::vector<std::string>{"a.txt", "dir/b.xml", "empty"}));
  for (const auto& [name, content] :
       {std::pair("a.txt", "alpha"), std::pair("dir/b.xml", "<b/>"), std::pair("empty", "")}) {
    std::string read;
    EXPECT_TRUE(package.Read(name, read, error)) << error;
    EXPECT_EQ(read, content);
  }
  std::string read;
  EXPECT_FALSE(package.Read("missing", read, error));
  EXPECT_EQ(error, "the package has no part missing");
}

TEST(HostZipPackage, DeflatedPartsOfAnExcelFileInflate) {
  refhost::ZipPackage package;
  std::string error;
  ASSERT_TRUE(package.Open(hosttest::ReadText(std::string(GRIDMOOR_TEST_DATA_DIR) +
                                              "/excel-authored/formula_results01.xlsx"),
                           error))
      << error;
  std::string book;
  ASSERT_TRUE(package.Read("xl/workbook.xml", book, error)) << error;
  EXPECT_NE(book.find("<sheet name=\"Sheet1\""), std::string::npos);
}

// Every damaged package is refused with a reason, never read past its end.
TEST(HostZipPackage, DamagedPackagesAreRefusedWithAReason) {
  const std::string good = test_support::ZipBytes({{"part.xml", "<content>some text</content>"}});
  std::string flipped = good;
  flipped[40] ^= 0x20;  // inside the part's content: its checksum no longer fits
  std::string badOffset = good;
  badOffset[good.size() - 6] = '\x7f';  // the directory's offset points past the file
  const std::tuple<std::string, std::string, std::string> cases[] = {
      {"empty", "", "not a zip package (too short)"},
      {"text", "this is plain text, not a zip package at all",
       "not a zip package (no central directory)"},
      {"checksum", flipped, "damaged zip package: part part.xml (checksum mismatch)"},
      {"directory offset", badOffset,
       "damaged zip package: the central directory lies outside the file"},
  };
  for (const auto& [what, bytes, message] : cases) {
    refhost::ZipPackage package;
    std::string error, content;
    const bool read = package.Open(bytes, error) && package.Read("part.xml", content, error);
    EXPECT_FALSE(read) << what;
    EXPECT_EQ(error, message) << what;
  }
  // Cut anywhere: refused, whatever the reason.
  for (std::size_t size = 0; size < good.size(); ++size) {
    refhost::ZipPackage package;
    std::string error, content;
    EXPECT_FALSE(package.Open(good.substr(0, size), error) &&
                 package.Read("part.xml", content, error))
        << size;
    EXPECT_FALSE(error.empty()) << size;
  }
}

// Sizes a package declares are never trusted: a part is refused once it
// passes the limits or its declared size, whatever the package says.
TEST(HostZipPackage, PartsPastTheLimitsOrTheirDeclaredSizeAreRefused) {
  // The package's (only) part declared to unpack to `size` bytes.
  const auto declare = [](std::string bytes, std::uint32_t size) {
    const std::size_t central = bytes.find("PK\x01\x02");
    for (int i = 0; i < 4; ++i)
      bytes[central + 24 + static_cast<std::size_t>(i)] = static_cast<char>(size >> (8 * i));
    return bytes;
  };
  const std::string sheet = "xl/worksheets/sheet1.xml";
  const std::string bomb = test_support::ZipBytes({{sheet, std::string(16 << 20, '0')}}, true);
  const std::string small = test_support::ZipBytes({{"line\nbreak.xml", std::string(1500, 'x')}});
  const std::string text = test_support::ZipBytes({{sheet, std::string(100, 'y')}}, true);
  std::string longName = text;
  longName[26] = '\xff';  // the local header's name runs past the file
  const refhost::ZipLimits kilobyte{1000, 1000, 200};
  const std::tuple<std::string, std::string, refhost::ZipLimits, std::string> cases[] = {
      {"bomb", bomb, {}, "part " + sheet + " declares more than 200 times its compressed size of "},
      {"bomb declaring less",
       declare(bomb, 1000),
       {},
       "damaged zip package: part " + sheet + " inflates past its declared size of 1000 bytes"},
      {"bomb declaring just under",
       declare(bomb, 8 << 20),
       {},
       "part " + sheet + " inflates to more than 200 times its compressed size of "},
      {"past the size limit",
       declare(test_support::ZipBytes({{sheet, std::string(1500, 'x')}}, true), 1000), kilobyte,
       "part " + sheet + " inflates to more than 1000 bytes; refused"},
      {"declared past the limit", small, kilobyte,
       "part line\\nbreak.xml declares more than 1000 bytes; refused"},
      {"declared more than it holds",
       declare(text, 200),
       {},
       "damaged zip package: part " + sheet + " inflates to 100 bytes, not its declared 200"},
      {"local name past the end",
       longName,
       {},
       "damaged zip package: part " + sheet + " (its header is cut short)"},
  };
  for (const auto& [what, bytes, limits, message] : cases) {
    refhost::ZipPackage package(limits);
    std::string error, content;
    ASSERT_TRUE(package.Open(bytes, error)) << what << ": " << error;
    const std::string name = package.Names().at(0);
    EXPECT_FALSE(package.Read(name, content, error)) << what;
    EXPECT_EQ(error.substr(0, message.size()), message) << what << ": " << error;
    EXPECT_EQ(error.find('\n'), std::string::npos) << what;
  }
}

TEST(HostSavedValues, XlsxCellsOfEveryTypeSharedAndArrayFormulas) {
  const std::string bytes =
      XlsxBytes({{"Data",
                  {{"A1", "", "", "5", ""},
                   {"B1", "A1*2", "", "10", ""},
                   {"B2", "\"a\"&\"b\"", "str", "ab", ""},
                   {"B3", "A1>1", "b", "1", ""},
                   {"B4", "1/0", "e", "#DIV/0!", ""},
                   {"B5", "NOW()", "", "", ""},
                   {"C1", "A1+1", "", "6", "t=\"shared\" ref=\"C1:C2\" si=\"0\""},
                   {"C2", "", "", "7", "t=\"shared\" si=\"0\""},
                   {"D1", "ROW(A1:A2)", "", "1", "t=\"array\" ref=\"D1:D2\""},
                   {"D2", "", "", "2", ""},
                   {"E1", "", "str", "plain text, no formula", ""}}},
                 {"Other sheet", {{"A1", "Data!B1+1", "", "11", ""}}}});
  refhost::SavedWorkbook book;
  std::string error;
  ASSERT_TRUE(refhost::ReadXlsxSavedValues(bytes, book, error)) << error;
  EXPECT_EQ(book.sheets, (std::vector<std::string>{"Data", "Other sheet"}));
  EXPECT_EQ(Cells(book), (std::vector<Found>{
                             {"Data", 0, 1, "=A1*2", true, Number(10)},
                             {"Data", 0, 2, "=A1+1", true, Number(6)},
                             {"Data", 0, 3, "=ROW(A1:A2)", true, Number(1)},
                             {"Data", 1, 1, "=\"a\"&\"b\"", true, Text("ab")},
                             {"Data", 1, 2, "", true, Number(7)},
                             {"Data", 1, 3, "{=ROW(A1:A2)}", true, Number(2)},
                             {"Data", 2, 1, "=A1>1", true, Logical(true)},
                             {"Data", 3, 1, "=1/0", true, Error("#DIV/0!")},
                             {"Data", 4, 1, "=NOW()", false, {}},
                             {"Other sheet", 0, 0, "=Data!B1+1", true, Number(11)},
                         }));
}

// The files an external link part names, and the sheets found through
// relationships written with another prefix and an absolute target.
TEST(HostSavedValues, ExternalLinkPartsAndRelationshipTargets) {
  const std::string rel = "http://schemas.openxmlformats.org/officeDocument/2006/relationships";
  const std::string bytes = test_support::ZipBytes({
      {"xl/workbook.xml",
       "<x:workbook xmlns:x=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\" "
       "xmlns:rel=\"" +
           rel +
           "\"><x:sheets><x:sheet name=\"Linked\" rel:id=\"rId7\"/>"
           "</x:sheets></x:workbook>"},
      {"xl/_rels/workbook.xml.rels",
       "<Relationships><Relationship Id=\"rId7\" Type=\"" + rel +
           "/worksheet\" Target=\"/xl/sheets/s.xml\"/><Relationship Id=\"rId8\" Type=\"" + rel +
           "/externalLink\" Target=\"externalLinks/externalLink1.xml\"/></Relationships>"},
      {"xl/sheets/s.xml",
       "<worksheet><sheetData><row r=\"2\"><c r=\"C2\"><f>[1]Prices!A1</f><v>7</v></c></row>"
       "</sheetData></worksheet>"},
      {"xl/externalLinks/externalLink1.xml", "<externalLink/>"},
      {"xl/externalLinks/_rels/externalLink1.xml.rels",
       "<Relationships><Relationship Id=\"rId1\" Type=\"" + rel +
           "/externalLinkPath\" Target=\"file:///srv/prices.xlsx\" TargetMode=\"External\"/>"
           "</Relationships>"},
  });
  refhost::SavedWorkbook book;
  std::string error;
  ASSERT_TRUE(refhost::ReadXlsxSavedValues(bytes, book, error)) << error;
  EXPECT_EQ(book.sheets, std::vector<std::string>{"Linked"});
  EXPECT_EQ(book.externalLinks, std::vector<std::string>{"file:///srv/prices.xlsx"});
  EXPECT_EQ(Cells(book), (std::vector<Found>{{"Linked", 1, 2, "=[1]Prices!A1", true, Number(7)}}));
}

TEST(HostSavedValues, OpenDocumentValuesRepeatsAndErrors) {
  const std::string content = R"xml(<?xml version="1.0"?>
<office:document xmlns:office="urn:oasis:names:tc:opendocument:xmlns:office:1.0"
 xmlns:table="urn:oasis:names:tc:opendocument:xmlns:table:1.0"
 xmlns:text="urn:oasis:names:tc:opendocument:xmlns:text:1.0"
 xmlns:calcext="urn:org:documentfoundation:names:experimental:calc:xmlns:calcext:1.0">
<office:body><office:spreadsheet><table:table table:name="S">
 <table:table-row table:number-rows-repeated="2">
  <table:table-cell office:value-type="float" office:value="3"/>
  <table:table-cell table:number-columns-repeated="2" table:formula="of:=[.A1]*2" office:value-type="float" office:value="6"/>
 </table:table-row>
 <table:table-row-group><table:table-row>
  <table:table-cell table:formula="of:=&quot;x&quot;" office:value-type="string"><text:p>a<text:s text:c="2"/>b</text:p></table:table-cell>
  <table:table-cell table:formula="of:=1=1" office:value-type="boolean" office:boolean-value="true"/>
  <table:table-cell table:formula="of:=DATE(2024;1;2)" office:value-type="date" office:date-value="2024-01-02T12:00:00"/>
  <table:table-cell table:formula="of:=SQRT(-1)" office:value-type="string" office:string-value="" calcext:value-type="error"><text:p>Err:502</text:p></table:table-cell>
  <table:table-cell table:formula="of:=[.Z9]"/>
 </table:table-row></table:table-row-group>
</table:table></office:spreadsheet></office:body></office:document>)xml";
  refhost::SavedWorkbook book;
  std::string error;
  ASSERT_TRUE(refhost::ReadOdfSavedValues(content, book, error)) << error;
  EXPECT_EQ(Cells(book), (std::vector<Found>{
                             {"S", 0, 1, "=[.A1]*2", true, Number(6)},
                             {"S", 0, 2, "=[.A1]*2", true, Number(6)},
                             {"S", 1, 1, "=[.A1]*2", true, Number(6)},
                             {"S", 1, 2, "=[.A1]*2", true, Number(6)},
                             {"S", 2, 0, "=\"x\"", true, Text("a  b")},
                             {"S", 2, 1, "=1=1", true, Logical(true)},
                             {"S", 2, 2, "=DATE(2024;1;2)", true, Number(45293.5)},
                             {"S", 2, 3, "=SQRT(-1)", true, Error("#NUM!")},
                             {"S", 2, 4, "=[.Z9]", false, {}},
                         }));
}

TEST(HostSavedValues, FilesThatCannotBeReadSayWhy) {
  const hosttest::Folder folder;
  const auto file = [&](const std::string& name, const std::string& bytes) {
    test_support::WriteFile(folder.path() / name, bytes);
    return folder.path() / name;
  };
  const std::tuple<std::filesystem::path, std::string> cases[] = {
      {folder.path() / "none.xlsx", (folder.path() / "none.xlsx").string() + " could not be found"},
      {folder.path(), folder.path().string() + " is a folder, not a workbook"},
      {file("old.xls", std::string("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8) + "rest"),
       "old.xls: a binary workbook (.xls): its saved values cannot be read; save it as .xlsx"},
      {file("notes.xlsx", "just some words"),
       "notes.xlsx: not a workbook this check can read (.xlsx, .xlsm, .ods or .fods)"},
      {file("other.zip", test_support::ZipBytes({{"readme.txt", "hi"}})),
       "other.zip: a zip package that is neither an .xlsx/.xlsm nor an OpenDocument spreadsheet"},
      {file("broken.xlsx", test_support::ZipBytes({{"xl/workbook.xml", "<workbook><sheets>"}})),
       "broken.xlsx: xl/workbook.xml: not well-formed XML (Start-end tags mismatch at byte 17)"},
      {file("cut.xlsx", XlsxBytes({{"S", {{"A1", "1+1", "", "2", ""}}}}).substr(0, 300)),
       "cut.xlsx: not a zip package (no central directory)"},
  };
  for (const auto& [path, message] : cases) {
    refhost::SavedWorkbook book;
    std::string error;
    EXPECT_FALSE(refhost::ReadSavedValues(path, book, error)) << path;
    EXPECT_EQ(error, message);
  }
}

TEST(HostCompare, ResultsAreEqualByTheirKindsRules) {
  const std::tuple<CellResult, CellResult, bool> cases[] = {
      {Number(0.3), Number(0.1 * 3), true},
      {Number(1e6), Number(1e6 * (1 + 5e-10)), true},
      {Number(1e6), Number(1e6 * (1 + 2e-9)), false},
      {Number(-6.297155e-14), Number(-6.29715463801306e-14), true},
      {Number(0), Number(1e-19), false},
      {Text("ab"), Text("ab"), true},
      {Text("ab"), Text("Ab"), false},
      {Text(""), Text(" "), false},
      {Logical(true), Logical(true), true},
      {Logical(true), Number(1), false},
      {Number(0), Logical(false), false},
      {Error("#N/A"), Error("#N/A"), true},
      {Error("#N/A"), Error("#VALUE!"), false},
      {Text("#N/A"), Error("#N/A"), false},
      {Number(5), CellResult{}, false},
  };
  for (const auto& [saved, calc, same] : cases)
    EXPECT_EQ(refhost::SameResult(saved, calc), same)
        << refhost::ShowValue(saved) << " / " << refhost::ShowValue(calc);
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
}

// As the office writes its formulas: known functions in capitals, names it
// did not resolve with their prefix or in small letters, add-ins by service.
TEST(HostCompare, UnknownFunctionsByHowTheOfficeWritesThem) {
  const std::set<std::string> functions = {"SUM", "STDEV.S", "AGGREGATE", "UNIQUE"};
  const std::set<std::string> procedures = {"MYUDF"};
  const std::pair<std::string, std::optional<std::string>> cases[] = {
      {"SUM", std::nullopt},
      {"STDEV.S", std::nullopt},
      {"COM.SUN.STAR.SHEET.ADDIN.ANALYSIS.GETEDATE", std::nullopt},
      {"MyUdf", std::nullopt},
      {"_xludf.MyUdf", std::nullopt},
      {"_xlfn.unique", "UNIQUE"},
      {"_xlfn.xlookup", "XLOOKUP"},
      {"aggregate", "AGGREGATE"},
      {"_xludf.Missing", "MISSING"},
      {"_xlfn.myudf", "MYUDF"},
      {"NOSUCH", "NOSUCH"},
  };
  for (const auto& [name, unknown] : cases)
    EXPECT_EQ(refhost::UnknownFunctionName(name, functions, procedures), unknown) << name;
}

excel::RecalculatedWorkbook CalcBook() {
  excel::RecalculatedWorkbook calc;
  calc.sheets = {"S", "In"};
  calc.formulas = {{0, 0, 1, "=A1*2", Number(10)},
                   {0, 1, 1, "=NOSUCH(1)+MyUdf(2)", Error("#NAME?")},
                   {0, 2, 1, "=NOSUCH(3)", Error("#NAME?")},
                   {1, 1, 1, "=1+1", Number(2)}};
  calc.functions = {"SUM"};
  calc.modules = {{"Standard", "Module1", {{"MyUdf", true}, {"Go", false}}, true, {}, {}},
                  {"Standard", "Broken", {{"Bad", false}}, false, {"Bad"}, {}}};
  calc.officeModules = {{"Tools", "Strings", {{"Trim", true}, {"Nosuch", true}}, true, {}, {}}};
  return calc;
}

TEST(HostCheckReport, FindingsSummaryAndJson) {
  refhost::SavedWorkbook saved;
  saved.sheets = {"S", "In"};
  saved.formulas = {{"S", 0, 1, "=A1*2", true, Number(10)},
                    {"S", 1, 1, "", true, Number(3)},
                    {"S", 2, 1, "=NOSUCH(3)", false, {}},
                    {"In", 1, 1, "=1+1", true, Logical(true)},
                    {"In", 5, 0, "=[1]Sheet1!A1", true, Number(1)}};
  saved.externalLinks = {"file:///srv/prices.xlsx"};
  const refhost::CheckReport report = refhost::CompareWorkbook(saved, CalcBook());
  EXPECT_EQ(report.formulas, 4u);
  EXPECT_EQ(report.notCompared, 1u);
  const nlohmann::json json = refhost::ReportJson(report);
  EXPECT_EQ(json, nlohmann::json::parse(R"json({
    "formulas": 4, "notCompared": 1,
    "differ": [
      {"sheet": "S", "cell": "B2", "formula": "=NOSUCH(1)+MyUdf(2)", "saved": 3, "calc": {
    "error" : "#NAME?"}
},
      {"sheet": "In", "cell": "B2", "formula": "=1+1", "saved": true, "calc": 2},
      {"sheet": "In", "cell": "A6", "formula": "=[1]Sheet1!A1", "saved": 1, "calc": null}],
    "unknownFunctions": [{"name": "NOSUCH", "cells": ["S!B2", "S!B3"]}],
    "macros": [{"macro": "Standard.Broken", "source": "workbook",
                "message": "module Standard.Broken does not compile; in procedure(s) Bad", "procedures": ["Bad"]}],
    "problems": [{"kind": "externalLink", "message": "the workbook links to file:///srv/prices.xlsx"},
                 {"kind": "externalLink", "message": "In!A6 refers to another file"}]
})json"));
  EXPECT_EQ(refhost::SummaryText(report, 2),
            "formula cells checked: 4\n"
            "not compared: 1 formula cell(s) whose file carries no saved value\n"
            "differ: 3\n"
            "  S!B2  =NOSUCH(1)+MyUdf(2)  saved 3  calc #NAME?\n"
            "  In!B2  =1+1  saved TRUE  calc 2\n"
            "  ... and 1 more\n"
            "unknown functions: 1\n"
            "  NOSUCH in S!B2 and 1 more cell(s)\n"
            "macro problems: 1\n"
            "  module Standard.Broken does not compile; in procedure(s) Bad\n"
            "other problems: 2\n"
            "  the workbook links to file:///srv/prices.xlsx\n"
            "  In!A6 refers to another file\n");
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
  std::string error;
  ASSERT_TRUE(refhost::CheckScenarioCells(scenario, CalcBook(), report, error)) << error;
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
