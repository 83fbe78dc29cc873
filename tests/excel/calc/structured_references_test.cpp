// Structured references of .xlsx tables as A1 references, and the tables
// and formulas read from a package (no office needed).
#include <gtest/gtest.h>

#include <tuple>

#include "excel/calc/formulas/structured_references.h"
#include "excel/calc/packages/xlsx_tables.h"
#include "support/xlsx_writer.h"

namespace excel::calc {
namespace {

// Sheet 0 "Data": Sales in A1:C5 (header, three data rows, totals) and
// NoHeader in E1:E3 (data only); sheet 1 "Odd Name": \_Prime.1 in A1:B4;
// sheet 2 "Report" holds no table.
const std::vector<std::string> kSheets = {"Data", "Odd Name", "Report"};
const std::vector<WorkbookTable> kTables = {
    {"Sales", 0, {0, 0, 2, 4}, 1, 1, {"Item", "Amount", "Twice"}},
    {"\\_Prime.1", 1, {0, 0, 1, 3}, 1, 1, {"Key", "Val"}},
    {"NoHeader", 0, {4, 0, 4, 2}, 0, 0, {"Price [EUR]"}}};

struct RewriteCase {
  const char* formula;
  int sheet, row, column;  // the formula's cell
  const char* expected;    // nullptr: not rewritten
  bool misread;            // a reference the office never reads as meant
  std::vector<std::size_t> tables;
};

TEST(StructuredReferences, BecomeTheA1ReferencesOfTheirCells) {
  const RewriteCase cases[] = {
      // The totals row as the file writes it: no table name.
      {"SUBTOTAL(109,[Amount])", 0, 4, 1, "SUBTOTAL(109,$B$2:$B$4)", true, {}},
      {"SUM([Twice])", 0, 4, 2, "SUM($C$2:$C$4)", true, {}},
      {"Sales[[#Totals],[Amount]]", 2, 0, 0, "Data!$B$5", false, {0}},
      {"ROWS(Sales[#All])", 2, 0, 0, "ROWS(Data!$A$1:$C$5)", false, {0}},
      {"SUM(\\_Prime.1[Val])", 2, 0, 0, "SUM('Odd Name'!$B$2:$B$3)", false, {1}},
      {"Sales[[#This Row],[Amount]]*2", 0, 2, 2, "$B$3*2", false, {0}},
      {"SUM(Sales[[#This Row],[Amount]:[Item]])", 0, 2, 2, "SUM($A$3:$B$3)", false, {0}},
      {"Sales[@Amount]", 0, 1, 2, "$B$2", false, {0}},
      // A table's name alone: the office takes every row.
      {"SUM(Sales)", 2, 0, 0, "SUM(Data!$A$2:$C$4)", true, {}},
      {"SUM(Sales[])", 2, 0, 0, "SUM(Data!$A$2:$C$4)", false, {0}},
      {"COUNTA(Sales[[#Headers],[#Data],[Item]])", 0, 6, 0, "COUNTA($A$1:$A$4)", false, {0}},
      {"Sales[[#Data], [#Totals], [Amount]]+sales[amount]",
       0,
       6,
       0,
       "$B$2:$B$5+$B$2:$B$4",
       false,
       {0}},
      {"SUM(NoHeader[Price '[EUR']])+\\_Prime.1[[#Totals],[Val]]",
       0,
       6,
       0,
       "SUM($E$1:$E$3)+'Odd Name'!$B$4",
       false,
       {2, 1}},
      // Texts, quoted sheet names and other workbooks' sheets stay.
      {"\"[Amount]\"&'[x] Sheet'!A1&[1]Data!A1&Sales[Amount]",
       2,
       0,
       0,
       "\"[Amount]\"&'[x] Sheet'!A1&[1]Data!A1&Data!$B$2:$B$4",
       false,
       {0}},
      // Nothing to rewrite, or nothing that can be.
      {"SUM(A1:B2)+Sales(1)", 2, 0, 0, nullptr, false, {}},
      {"[Amount]", 2, 0, 0, nullptr, false, {}},
      {"Sales[Nope]", 2, 0, 0, nullptr, false, {}},
      {"Other[Amount]", 2, 0, 0, nullptr, false, {}},
      {"Sales[[#This Row],[Amount]]", 2, 2, 0, nullptr, false, {}},
      {"Sales[[#This Row],[Amount]]", 0, 4, 0, nullptr, false, {}},
      {"NoHeader[#Headers]", 0, 6, 0, nullptr, false, {}},
      {"Sales[[#Headers],[#Totals]]", 0, 6, 0, nullptr, false, {}},
      {"Sales[[#Totals],[Amount]", 0, 6, 0, nullptr, false, {}},
      {"[0]!Sales[Amount]", 0, 6, 0, nullptr, false, {}},
  };
  for (const RewriteCase& c : cases) {
    SCOPED_TRACE(c.formula);
    const std::optional<StructuredRewrite> rewrite =
        WithoutStructuredReferences(c.formula, kTables, kSheets, c.sheet, c.row, c.column);
    if (c.expected == nullptr) {
      EXPECT_FALSE(rewrite) << rewrite->formula;
      continue;
    }
    ASSERT_TRUE(rewrite);
    EXPECT_EQ(rewrite->formula, c.expected);
    EXPECT_EQ(rewrite->misread, c.misread);
    EXPECT_EQ(rewrite->tables, c.tables);
  }
}

TEST(StructuredReferences, SheetNamesAreQuotedWhereAFormulaNeedsIt) {
  const std::pair<const char*, const char*> cases[] = {
      {"Data", "Data"}, {"Sheet.1", "Sheet.1"}, {"Odd Name", "'Odd Name'"}, {"It's", "'It''s'"},
      {"A1", "'A1'"},   {"R1C1", "'R1C1'"},     {"2024", "'2024'"},         {"Über", "'Über'"}};
  for (const auto& [sheet, prefix] : cases)
    EXPECT_EQ(SheetPrefix(sheet), prefix) << sheet;
}

TEST(StructuredReferences, PartsTheOfficeKeptInLowerCaseGetTheFilesSpelling) {
  EXPECT_EQ(OriginalSpelling({"[column8]"}, "SUBTOTAL(109,[Column8])"),
            std::vector<std::string>{"[Column8]"});
  EXPECT_EQ(OriginalSpelling({"\\", "_prime.1", "#this", "row]", "[amount]]", "nowhere"},
                             "\\_Prime.1[[#This Row],[Amount]]*2"),
            (std::vector<std::string>{"\\", "_Prime.1", "#This", "Row]", "[Amount]]", "nowhere"}));
  // Each part is found after the one before.
  EXPECT_EQ(OriginalSpelling({"[a]", "[a]"}, "[A]+[a]"), (std::vector<std::string>{"[A]", "[a]"}));
}

TEST(PackageTables, AreReadWithTheFormulasOfEverySheet) {
  using test_support::XlsxCell;
  const std::string bytes = test_support::ZipBytes(test_support::WithTables(
      test_support::XlsxParts({{"Data",
                                {{"A1", "", "str", "Item", ""},
                                 {"B1", "", "str", "Amount", ""},
                                 {"B2", "", "", "3", ""},
                                 {"B3", "SUBTOTAL(109,[Amount])", "", "3", ""},
                                 {"C1", "B2*2", "", "6", "t=\"shared\" ref=\"C1:C2\" si=\"0\""},
                                 {"C2", "", "", "6", "t=\"shared\" si=\"0\""},
                                 {"D1", "ROW(A1:A2)", "", "1", "t=\"array\" ref=\"D1:D2\""}}},
                               {"Other", {{"A1", "Sales[[#Totals],[Amount]]", "", "3", ""}}}}),
      {{0, "Sales", "A1:B3", {"Item", "Amount"}, 1}}));
  ZipPackage package;
  ASSERT_FALSE(package.Open(bytes));
  outcome::Expected<PackageTables> read = ReadPackageTables(package);
  ASSERT_TRUE(read) << read.GetError().Message();
  const PackageTables& found = *read;
  EXPECT_EQ(found.sheets, (std::vector<std::string>{"Data", "Other"}));
  ASSERT_EQ(found.tables.size(), 1u);
  const WorkbookTable& t = found.tables[0];
  EXPECT_EQ(std::tie(t.name, t.sheet, t.area, t.headerRows, t.totalsRows, t.columns),
            std::make_tuple("Sales", 0, CellArea{0, 0, 1, 2}, 1, 1,
                            std::vector<std::string>{"Item", "Amount"}));
  std::vector<std::tuple<int, int, int, std::string>> formulas;
  for (const PackageFormula& f : found.formulas)
    formulas.emplace_back(f.sheet, f.row, f.column, f.text);
  // Neither the shared formula's other cells nor the array formula.
  EXPECT_EQ(formulas, (std::vector<std::tuple<int, int, int, std::string>>{
                          {0, 0, 2, "B2*2"},
                          {0, 2, 1, "SUBTOTAL(109,[Amount])"},
                          {1, 0, 0, "Sales[[#Totals],[Amount]]"}}));
}

TEST(PackageTables, AWorkbookWithoutTablesNeedsNoSheetRead) {
  // The sheet part is damaged: it is not read when no table needs it.
  std::string bytes = test_support::ZipBytes(
      {{"xl/workbook.xml",
        "<workbook xmlns:r=\"r\"><sheets><sheet name=\"S\" r:id=\"rId1\"/></sheets></workbook>"},
       {"xl/_rels/workbook.xml.rels",
        "<Relationships><Relationship Id=\"rId1\" Type=\"x/worksheet\" "
        "Target=\"worksheets/sheet1.xml\"/></Relationships>"},
       {"xl/worksheets/sheet1.xml", "<worksheet><sheetData"}});
  ZipPackage package;
  ASSERT_FALSE(package.Open(bytes));
  const outcome::Expected<PackageTables> found = ReadPackageTables(package);
  ASSERT_TRUE(found) << found.GetError().Message();
  EXPECT_TRUE(found->tables.empty());
  EXPECT_EQ(found->sheets, std::vector<std::string>{"S"});
}

}  // namespace
}  // namespace excel::calc
