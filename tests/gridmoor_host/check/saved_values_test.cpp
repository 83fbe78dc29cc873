// The saved values of a workbook file without an office: the zip package
// and its limits, the .xlsx reader (types, dates, shared and array
// formulas, damaged parts) and the OpenDocument reader.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <tuple>

#include "cell_results.h"
#include "host_test_support.h"
#include "saved_values/saved_values.h"
#include "saved_values/zip_package.h"
#include "support/xlsx_writer.h"

namespace {

using ::testing::HasSubstr;
using ::testing::Not;

using excel::CellResult;
using hosttest::Error;
using hosttest::Logical;
using hosttest::Number;
using hosttest::Text;
using test_support::XlsxBytes;
using test_support::XlsxCell;

using Found = std::tuple<std::string, int, int, std::string, bool, CellResult>;
std::vector<Found> Cells(const refhost::SavedWorkbook& book) {
  std::vector<Found> found;
  for (const refhost::SavedCell& c : book.formulas)
    found.emplace_back(c.sheet, c.row, c.column, c.formula, c.hasValue, c.value);
  return found;
}

// Why `bytes` cannot be opened, or part `name` of them not read: empty when
// both succeed.
std::string ReadRefusal(const std::string& bytes, const std::string& name,
                        refhost::ZipLimits limits = {}) {
  refhost::ZipPackage package(limits);
  if (const outcome::Error unopened = package.Open(bytes)) return unopened.Message();
  outcome::Expected<std::string> content = package.Read(name);
  return content ? std::string() : content.TakeError().Message();
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
  for (const auto& [what, bytes, message] : cases)
    EXPECT_EQ(ReadRefusal(bytes, "part.xml"), message) << what;
  // A reader that stops early still has the part checked to its end.
  refhost::ZipPackage stopped;
  ASSERT_FALSE(stopped.Open(flipped));
  EXPECT_EQ(stopped.ReadChunks("part.xml", [](std::string_view) { return false; }).Message(),
            "damaged zip package: part part.xml (checksum mismatch)");
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
    ASSERT_FALSE(package.Open(bytes)) << what;
    const std::string error = ReadRefusal(bytes, package.Names().at(0), limits);
    EXPECT_EQ(error.substr(0, message.size()), message) << what << ": " << error;
    EXPECT_THAT(error, Not(HasSubstr("\n"))) << what;
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
                   // Whitespace that is a value's whole text is kept.
                   {"B6", "\"  \"", "str", "  ", ""},
                   {"C1", "A1+1", "", "6", "t=\"shared\" ref=\"C1:C2\" si=\"0\""},
                   {"C2", "", "", "7", "t=\"shared\" si=\"0\""},
                   {"D1", "ROW(A1:A2)", "", "1", "t=\"array\" ref=\"D1:D2\""},
                   {"D2", "", "", "2", ""},
                   {"E1", "", "str", "plain text, no formula", ""},
                   {"F1", "A1:B1*2", "", "10", "t=\"array\" ref=\"F1:G2\""},
                   {"G1", "", "", "20", ""},
                   {"F2", "", "str", "x", ""},
                   {"G2", "", "", "", ""},
                   {"H2", "", "", "9", ""}}},
                 {"Other sheet", {{"A1", "Data!B1+1", "", "11", ""}}}});
  const auto read = refhost::ReadXlsxSavedValues(bytes);
  ASSERT_TRUE(read) << read.GetError().Message();
  const refhost::SavedWorkbook& book = *read;
  EXPECT_EQ(book.sheets, (std::vector<std::string>{"Data", "Other sheet"}));
  EXPECT_EQ(Cells(book), (std::vector<Found>{
                             {"Data", 0, 1, "=A1*2", true, Number(10)},
                             {"Data", 0, 2, "=A1+1", true, Number(6)},
                             {"Data", 0, 3, "=ROW(A1:A2)", true, Number(1)},
                             {"Data", 0, 5, "=A1:B1*2", true, Number(10)},
                             {"Data", 0, 6, "{=A1:B1*2}", true, Number(20)},
                             {"Data", 1, 1, "=\"a\"&\"b\"", true, Text("ab")},
                             {"Data", 1, 2, "=A2+1", true, Number(7)},
                             {"Data", 1, 3, "{=ROW(A1:A2)}", true, Number(2)},
                             {"Data", 1, 5, "{=A1:B1*2}", true, Text("x")},
                             {"Data", 1, 6, "{=A1:B1*2}", false, {}},
                             {"Data", 2, 1, "=A1>1", true, Logical(true)},
                             {"Data", 3, 1, "=1/0", true, Error("#DIV/0!")},
                             {"Data", 4, 1, "=NOW()", false, {}},
                             {"Data", 5, 1, "=\"  \"", true, Text("  ")},
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
  const auto read = refhost::ReadXlsxSavedValues(bytes);
  ASSERT_TRUE(read) << read.GetError().Message();
  const refhost::SavedWorkbook& book = *read;
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
  const auto read = refhost::ReadOdfSavedValues(content);
  ASSERT_TRUE(read) << read.GetError().Message();
  const refhost::SavedWorkbook& book = *read;
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
      {file("other.zip", test_support::ZipBytes({{"readme.txt", "hi"}})),
       "other.zip: a zip package that is neither an .xlsx/.xlsm nor an OpenDocument spreadsheet"},
      {file("broken.xlsx", test_support::ZipBytes({{"xl/workbook.xml", "<workbook><sheets>"}})),
       "broken.xlsx: xl/workbook.xml: not well-formed XML (Start-end tags mismatch at byte 17)"},
      {file("cut.xlsx", XlsxBytes({{"S", {{"A1", "1+1", "", "2", ""}}}}).substr(0, 300)),
       "cut.xlsx: not a zip package (no central directory)"},
  };
  for (const auto& [path, message] : cases) {
    const auto read = refhost::ReadSavedValues(path);
    EXPECT_FALSE(read) << path;
    EXPECT_EQ(read.GetError().Message(), message);
  }
}

// A shared formula's text in each of its cells, as the spreadsheet would
// write it there.
TEST(HostSavedValues, SharedFormulaReferencesMoveWithTheCell) {
  const std::tuple<std::string, int, int, std::string> cases[] = {
      {"A1+B2", 1, 0, "A2+B3"},
      {"$A1+A$1+$A$1", 2, 3, "$A3+D$1+$A$1"},
      {"SUM(A:A)+SUM(1:1)+SUM($A:B)+SUM($1:3)", 1, 1, "SUM(B:B)+SUM(2:2)+SUM($A:C)+SUM($1:4)"},
      {"'My Sheet'!B2+Sheet1!A1:B2+'It''s'!C3", 1, 0, "'My Sheet'!B3+Sheet1!A2:B3+'It''s'!C4"},
      {"\"A1\"\"B2\"&LOG10(A1)&Tax_Rate&R1C1&TRUE", 0, 1,
       "\"A1\"\"B2\"&LOG10(B1)&Tax_Rate&R1C1&TRUE"},
      {"SUM(Table1[Col])+Table1[[#This Row],[A1]]+[1]Prices!A1", 1, 0,
       "SUM(Table1[Col])+Table1[[#This Row],[A1]]+[1]Prices!A2"},
      {"1E+5*A1/#DIV/0!+IF(#N/A,A1#,AB1:Jan!C1)", 1, 0, "1E+5*A2/#DIV/0!+IF(#N/A,A2#,AB2:Jan!C2)"},
      {"_xlfn.STDEV.S(A1:B2)+XFD1", 0, 1, "_xlfn.STDEV.S(B1:C2)+#REF!"},
      {"A1-1+A:A", -1, -1, "#REF!-1+#REF!"},
      {"a1+b$2+Z", 0, 0, "a1+b$2+Z"},
  };
  for (const auto& [formula, rows, columns, shifted] : cases)
    EXPECT_EQ(refhost::ShiftFormula(formula, rows, columns), shifted) << formula;
}

// t="d" cells: ISO 8601 text as the date's serial number, in either date
// system of the workbook.
TEST(HostSavedValues, XlsxDatesAreSerialNumbers) {
  const std::tuple<std::string, std::optional<double>, std::optional<double>> cases[] = {
      {"2024-01-15T06:00:00", 45306.25, 43844.25},
      {"1900-01-01", 1, -1460},
      {"1900-02-29", 60, -1401},  // the day that never was, as the 1900 system counts it
      {"1900-03-01", 61, -1401},
      {"1904-01-01T00:00:00.000Z", 1462, 0},
      {"9999-12-31", 2958465, 2957003},
      {"2024-13-01", std::nullopt, std::nullopt},
      {"2024-01-15T25:00", std::nullopt, std::nullopt},
  };
  std::vector<XlsxCell> cells;
  for (std::size_t i = 0; i < std::size(cases); ++i)
    cells.push_back({"A" + std::to_string(i + 1), "TODAY()", "d", std::get<0>(cases[i]), ""});
  for (const bool date1904 : {false, true}) {
    auto parts = test_support::XlsxParts({{"S", cells}});
    if (date1904)
      parts[2].second.replace(parts[2].second.find("<sheets>"), 0, "<workbookPr date1904=\"1\"/>");
    const auto read = refhost::ReadXlsxSavedValues(test_support::ZipBytes(parts));
    ASSERT_TRUE(read) << read.GetError().Message();
    const refhost::SavedWorkbook& book = *read;
    ASSERT_EQ(book.formulas.size(), std::size(cases));
    for (std::size_t i = 0; i < std::size(cases); ++i) {
      const std::optional<double> serial = date1904 ? std::get<2>(cases[i]) : std::get<1>(cases[i]);
      const refhost::SavedCell& cell = book.formulas[i];
      EXPECT_EQ(cell.hasValue, serial.has_value()) << std::get<0>(cases[i]);
      if (serial) {
        EXPECT_EQ(cell.value, Number(*serial)) << std::get<0>(cases[i]) << " " << date1904;
      }
    }
  }
}

// A part given twice is read from its last entry, as the office reads it,
// and named as a problem of the package.
TEST(HostSavedValues, APartGivenTwiceIsTheLastAndAProblem) {
  auto parts = test_support::XlsxParts({{"S", {{"A1", "1+1", "", "2", ""}}}});
  const auto sheet = std::find_if(parts.begin(), parts.end(), [](const auto& part) {
    return part.first.find("worksheets/") != std::string::npos;
  });
  ASSERT_NE(sheet, parts.end());
  const std::string name = sheet->first;
  parts.emplace_back(name, test_support::SheetXml({"S", {{"A1", "2*3", "", "7", ""}}}));
  const hosttest::Folder folder;
  test_support::WriteFile(folder.path() / "twice.xlsx", test_support::ZipBytes(parts, true));
  const auto read = refhost::ReadSavedValues(folder.path() / "twice.xlsx");
  ASSERT_TRUE(read) << read.GetError().Message();
  const refhost::SavedWorkbook& book = *read;
  EXPECT_EQ(Cells(book), (std::vector<Found>{{"S", 0, 0, "=2*3", true, Number(7)}}));
  EXPECT_EQ(book.problems,
            (std::vector<std::string>{
                name + " is in the package more than once (a damaged or altered file); "
                       "the office reads the last, and so does this check"}));
}

// A relationship or shared-strings part that is missing or damaged is
// never passed over: an error when no sheet can be found, else a problem
// naming the part.
TEST(HostSavedValues, DamagedPartsAreErrorsOrProblems) {
  const std::string rel = "http://schemas.openxmlformats.org/officeDocument/2006/relationships";
  const std::string bookRels = "xl/_rels/workbook.xml.rels";
  using Parts = std::vector<std::pair<std::string, std::string>>;
  const auto package = [&](const std::string& extraRels, const Parts& extraParts,
                           int firstRow = 1) {
    Parts parts = test_support::XlsxParts(
        {{"S",
          {{"A" + std::to_string(firstRow), "\"x\"", "s", "0", ""}, {"A2", "1+1", "", "2", ""}}}});
    for (auto& [name, content] : parts)
      if (name == bookRels) content.replace(content.find("</Relationships>"), 0, extraRels);
    parts.insert(parts.end(), extraParts.begin(), extraParts.end());
    return parts;
  };
  const auto without = [](Parts parts, const std::string& name) {
    std::erase_if(parts, [&](const auto& part) { return part.first == name; });
    return parts;
  };
  const std::string strings = "<Relationship Id=\"rId90\" Type=\"" + rel +
                              "/sharedStrings\" Target=\"sharedStrings.xml\"/>";
  const std::string link = "<Relationship Id=\"rId91\" Type=\"" + rel +
                           "/externalLink\" Target=\"externalLinks/externalLink1.xml\"/>";
  const std::string lost = "<sheet name=\"Lost\" sheetId=\"9\" r:id=\"rId99\"/>";
  Parts lostSheet = package("", {});
  lostSheet[2].second.replace(lostSheet[2].second.find("</sheets>"), 0, lost);
  Parts damagedRels = package("", {});
  damagedRels[3].second = "<Relationships><Relationship Id=\"rId1\"></Relationships>";
  const std::string stringsProblem = "; the cells that show shared strings are not compared";
  const std::tuple<std::string, Parts, std::string, std::vector<std::string>> cases[] = {
      {"no workbook relationships",
       without(package("", {}), bookRels),
       "the package has no part xl/_rels/workbook.xml.rels",
       {}},
      {"damaged workbook relationships",
       damagedRels,
       "xl/_rels/workbook.xml.rels: not well-formed XML (Start-end tags mismatch at byte 41)",
       {}},
      {"shared strings damaged",
       package(strings, {{"xl/sharedStrings.xml", "<sst><si><t>x</si></sst>"}}),
       "",
       {"xl/sharedStrings.xml: not well-formed XML (Start-end tags mismatch at byte 15)" +
        stringsProblem}},
      {"shared strings missing",
       package(strings, {}),
       "",
       {"the package has no part xl/sharedStrings.xml" + stringsProblem}},
      {"external link without its relationships",
       package(link, {{"xl/externalLinks/externalLink1.xml", "<externalLink/>"}}),
       "",
       {"the package has no part xl/externalLinks/_rels/externalLink1.xml.rels; the file an "
        "external link names is not known"}},
      {"sheet without its relationship",
       lostSheet,
       "",
       {"sheet Lost: xl/_rels/workbook.xml.rels has no relationship 'rId99'; its cells are not "
        "compared"}},
      {"cell past the last row",
       package("", {}, 1048577),
       "",
       {"xl/worksheets/sheet1.xml: cells past row 1048576 or column XFD are not compared"}},
  };
  for (const auto& [what, parts, message, problems] : cases) {
    const auto read = refhost::ReadXlsxSavedValues(test_support::ZipBytes(parts));
    EXPECT_EQ(static_cast<bool>(read), message.empty()) << what;
    EXPECT_EQ(read.GetError().Message(), message) << what;
    const refhost::SavedWorkbook book = read ? *read : refhost::SavedWorkbook{};
    EXPECT_EQ(book.problems, problems) << what;
  }
}

// Repeated rows and cells of an OpenDocument table: no further than the
// sheet reaches, no more than the budget, and row groups however deep.
TEST(HostSavedValues, OpenDocumentRepeatsStayBounded) {
  const auto content = [](const std::string& rows) {
    return "<office:document xmlns:office=\"o\" xmlns:table=\"t\"><office:body>"
           "<office:spreadsheet><table:calculation-settings><table:null-date "
           "table:date-value=\"1904-01-01\"/></table:calculation-settings><table:table "
           "table:name=\"S\">" +
           rows + "</table:table></office:spreadsheet></office:body></office:document>";
  };
  const std::string date =
      "<table:table-cell table:formula=\"of:=TODAY()\" office:value-type=\"date\" "
      "office:date-value=\"2024-01-15T06:00:00\"/>";
  const auto row = [](const std::string& cells, long long repeated = 1) {
    return "<table:table-row table:number-rows-repeated=\"" + std::to_string(repeated) + "\">" +
           cells + "</table:table-row>";
  };
  const auto cell = [](long long repeated) {
    return "<table:table-cell table:number-columns-repeated=\"" + std::to_string(repeated) +
           "\" table:formula=\"of:=1\" office:value-type=\"float\" office:value=\"1\"/>";
  };
  std::string deep;
  for (int i = 0; i < 100000; ++i)
    deep += "<table:table-row-group>";
  deep += row(date);
  for (int i = 0; i < 100000; ++i)
    deep += "</table:table-row-group>";
  const std::string past = "sheet S: formula cells past row 1048576 or column XFD are not compared";
  const std::tuple<std::string, std::string, std::size_t, std::string, std::string> cases[] = {
      {"a date from the null date", row(date), 1, "", ""},
      {"row groups nested deep", deep, 1, "", ""},
      {"rows past the last", row("<table:table-cell/>", 1048575) + row(cell(1), 3), 1, past, ""},
      {"columns past XFD", row(cell(16383) + cell(99999999999)), 16384, past, ""},
      {"the whole sheet", row(cell(16384), 1048576), 0, "",
       "the formula cells take more than 512 MB (at sheet S); refused"},
      {"a run of spaces past the budget",
       row("<table:table-cell table:formula=\"of:=REPT(&quot; &quot;;9)\" "
           "office:value-type=\"string\"><text:p><text:s text:c=\"2000000000\"/></text:p>"
           "</table:table-cell>"),
       0, "", "the formula cells take more than 512 MB (at sheet S); refused"},
  };
  for (const auto& [what, rows, count, problem, message] : cases) {
    const auto read = refhost::ReadOdfSavedValues(content(rows));
    EXPECT_EQ(static_cast<bool>(read), message.empty()) << what;
    EXPECT_EQ(read.GetError().Message(), message) << what;
    const refhost::SavedWorkbook book = read ? *read : refhost::SavedWorkbook{};
    EXPECT_EQ(book.formulas.size(), count) << what;
    EXPECT_EQ(book.problems, problem.empty() ? std::vector<std::string>{} : std::vector{problem})
        << what;
    if (count == 1 && problem.empty()) {
      EXPECT_EQ(book.formulas[0].value, Number(43844.25)) << what;
    }
  }
}

}  // namespace
