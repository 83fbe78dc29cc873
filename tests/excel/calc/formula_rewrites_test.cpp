// Formulas naming tables the office cannot read are rewritten at open: the
// results agree with Excel's, and every save writes the file's formulas.
#include <cmath>
#include <filesystem>
#include <map>
#include <tuple>

#include "calc_test_support.h"
#include "excel/calc/calc_recalculation.h"
#include "excel/calc/formulas/sheet_addresses.h"
#include "saved_values/saved_values.h"
#include "support/xlsx_writer.h"

namespace excel::calc::testing {
namespace {

using com::Variant;
using test_support::XlsxCell;
namespace fs = std::filesystem;

using Rewrite = std::tuple<int, int, int, std::string, std::string>;
using Position = std::tuple<std::string, int, int>;

XlsxCell Text(const std::string& ref, const std::string& text) {
  return {ref, "", "str", text, ""};
}
XlsxCell Number(const std::string& ref, int value, const std::string& formula = "") {
  return {ref, formula, "", std::to_string(value), ""};
}

// Sales (Data!A1:C5) and \_Prime.1 ('Odd Name'!A1:B4), both with a totals
// row, and formulas naming them from a third sheet. Each formula cell
// carries the value Excel computes.
std::string TablesWorkbook() {
  std::vector<XlsxCell> data = {Text("A1", "Item"), Text("B1", "Amount"), Text("C1", "Twice")};
  for (int row = 2; row <= 4; ++row) {
    const std::string r = std::to_string(row);
    data.insert(data.end(), {Text("A" + r, std::string(1, static_cast<char>('a' + row - 2))),
                             Number("B" + r, row + 1),
                             Number("C" + r, 2 * row + 2, "Sales[[#This Row],[Amount]]*2")});
  }
  data.insert(data.end(), {Text("A5", "Total"), Number("B5", 12, "SUBTOTAL(109,[Amount])"),
                           Number("C5", 24, "SUM([Twice])")});
  const std::vector<XlsxCell> odd = {Text("A1", "Key"),   Text("B1", "Val"),
                                     Text("A2", "x"),     Number("B2", 10),
                                     Text("A3", "y"),     Number("B3", 20),
                                     Text("A4", "Total"), Number("B4", 30, "SUBTOTAL(109,[Val])")};
  const std::vector<XlsxCell> report = {
      {"A1", "Sales[[#Totals],[Amount]]", "", "12", ""},
      {"A2", "ROWS(Sales[#All])", "", "5", ""},
      {"A3", "SUM(\\_Prime.1[Val])", "", "30", ""},
      {"A4", "\\_Prime.1[[#Totals],[Val]]*2", "", "60", ""},
      {"A5", "SUM(Sales)", "", "36", ""},
      {"A6", "COUNTA(\\_Prime.1[#All])", "", "8", ""},
      {"A7", "\"[Amount]\"&Sales[[#Totals],[Amount]]", "str", "[Amount]12", ""},
      {"A8", "SUM(Sales[Amount])", "", "12", ""}};
  return test_support::ZipBytes(test_support::WithTables(
      test_support::XlsxParts({{"Data", data}, {"Odd Name", odd}, {"Report", report}}),
      {{0, "Sales", "A1:C5", {"Item", "Amount", "Twice"}, 1},
       {1, "\\_Prime.1", "A1:B4", {"Key", "Val"}, 1}}));
}

struct Book {
  const char* name;
  std::vector<Rewrite> rewrites;
  // A data cell changed after opening, and a rewritten cell its totals row
  // computes from it: (sheet, data cell, value, totals cell, new total).
  std::tuple<const char*, const char*, double, const char*, double> change;
  const char* overwritten;  // a rewritten cell of the first sheet, overwritten before the last save
};

const Book kBooks[] = {
    {"table33.xlsx",
     {{0, 5, 3, "=SUBTOTAL(101,[Column3])", "=SUBTOTAL(101,$D$4:$D$5)"},
      {0, 5, 4, "=SUBTOTAL(103,[Column4])", "=SUBTOTAL(103,$E$4:$E$5)"},
      {0, 5, 5, "=SUBTOTAL(102,[Column5])", "=SUBTOTAL(102,$F$4:$F$5)"},
      {0, 5, 6, "=SUBTOTAL(104,[Column6])", "=SUBTOTAL(104,$G$4:$G$5)"},
      {0, 5, 7, "=SUBTOTAL(105,[Column7])", "=SUBTOTAL(105,$H$4:$H$5)"},
      {0, 5, 8, "=SUBTOTAL(109,[Column8])", "=SUBTOTAL(109,$I$4:$I$5)"},
      {0, 5, 9, "=SUBTOTAL(107,[Column9])", "=SUBTOTAL(107,$J$4:$J$5)"},
      {0, 5, 10, "=SUM([Column10])", "=SUM($K$4:$K$5)"}},
     {"Sheet1", "I4", 7, "I6", 7},
     "K6"},
    {"tables.xlsx",
     {{0, 4, 1, "=SUBTOTAL(109,[Amount])", "=SUBTOTAL(109,$B$2:$B$4)"},
      {0, 4, 2, "=SUM([Twice])", "=SUM($C$2:$C$4)"},
      {1, 3, 1, "=SUBTOTAL(109,[Val])", "=SUBTOTAL(109,$B$2:$B$3)"},
      {2, 2, 0, "=SUM(\\_Prime.1[Val])", "=SUM('Odd Name'!$B$2:$B$3)"},
      {2, 3, 0, "=\\_Prime.1[[#Totals],[Val]]*2", "='Odd Name'!$B$4*2"},
      {2, 4, 0, "=SUM(Sales)", "=SUM(Data!$A$2:$C$4)"},
      {2, 5, 0, "=COUNTA(\\_Prime.1[#All])", "=COUNTA('Odd Name'!$A$1:$B$4)"}},
     {"Data", "B2", 13, "B5", 22},
     "B5"},
};

bool SameResult(const CellResult& saved, const CellResult& calc) {
  if (saved.kind == CellResult::Kind::kNumber && calc.kind == CellResult::Kind::kNumber)
    return std::abs(saved.number - calc.number) <= 1e-9 * std::max(1.0, std::abs(saved.number));
  return saved == calc;
}

refhost::SavedWorkbook SavedOf(const std::string& path) {
  auto saved = refhost::ReadSavedValues(path);
  EXPECT_TRUE(saved) << saved.GetError().Message();
  return saved ? std::move(*saved) : refhost::SavedWorkbook{};
}

std::map<Position, std::string> FormulasOf(const refhost::SavedWorkbook& saved) {
  std::map<Position, std::string> formulas;
  for (const refhost::SavedCell& cell : saved.formulas)
    formulas[{cell.sheet, cell.row, cell.column}] = cell.formula;
  return formulas;
}

// A writable copy of `name` at `path`: Excel's own, else the tables workbook.
std::string CopyOfBook(const std::string& name, const std::string& path) {
  const fs::path authored = fs::path(GRIDMOOR_TEST_DATA_DIR) / "excel-authored" / name;
  if (fs::exists(authored)) {
    fs::copy_file(authored, path);
    fs::permissions(path, fs::perms::owner_write, fs::perm_options::add);
  } else {
    WriteFile(path, TablesWorkbook());
  }
  return path;
}

using FormulaRewritesTest = CalcTest;

// Each book recalculated, then opened, saved as a copy and in place.
TEST_F(FormulaRewritesTest, CalcComputesTheSavedValuesAndSavesKeepTheFilesFormulas) {
  const com::Ptr<Application> application = NewApplication();
  for (const Book& book : kBooks) {
    SCOPED_TRACE(book.name);
    const std::string path = CopyOfBook(book.name, PathOf(book.name));
    const std::string copy = PathOf(std::string("copy-") + book.name);
    const refhost::SavedWorkbook saved = SavedOf(path);
    ASSERT_FALSE(saved.formulas.empty());

    const RecalculatedWorkbook recalculated = CreateCalcRecalculator()->Recalculate(path);
    ASSERT_EQ(recalculated.sheets, saved.sheets);
    std::map<Position, CellResult> results;
    for (const RecalculatedCell& cell : recalculated.formulas)
      results[{recalculated.sheets[static_cast<std::size_t>(cell.sheet)], cell.row, cell.column}] =
          cell.result;
    for (const refhost::SavedCell& cell : saved.formulas) {
      SCOPED_TRACE(cell.sheet + "!" + refhost::CellName(cell.row, cell.column) + " " +
                   cell.formula);
      ASSERT_TRUE(results.count({cell.sheet, cell.row, cell.column}));
      const CellResult& calc = results.at({cell.sheet, cell.row, cell.column});
      EXPECT_TRUE(SameResult(cell.value, calc)) << "saved " << cell.value.number << cell.value.text
                                                << ", calc " << calc.number << calc.text;
    }
    std::vector<Rewrite> rewrites;
    for (const FormulaRewrite& r : recalculated.rewrites)
      rewrites.emplace_back(r.sheet, r.row, r.column, r.original, r.rewritten);
    EXPECT_EQ(rewrites, book.rewrites);

    const auto& [sheetName, dataCell, value, totalCell, total] = book.change;
    const com::Ptr<Workbook> workbook = OpenWorkbook(application, path);
    workbook->SaveCopyAs(Variant::Text(copy), 0);
    // The open workbook computes on with the rewrites in place.
    const com::Ptr<Worksheet> sheet = SheetOf(workbook, sheetName);
    Put(sheet, dataCell, Variant::Double(value));
    EXPECT_EQ(Get(sheet, totalCell), Variant::Double(total));
    Put(SheetOf(workbook, saved.sheets[0].c_str()), book.overwritten, Variant::Double(99));
    workbook->Save(0);
    workbook->Close(Variant::Bool(false), Variant::Missing(), Variant::Missing(), 0);
    const std::map<Position, std::string> original = FormulasOf(saved);
    EXPECT_EQ(FormulasOf(SavedOf(copy)), original) << "the copy";
    std::map<Position, std::string> inPlace = original;
    const CellArea overwritten = *ParseA1Area(book.overwritten);
    inPlace.erase(Position{saved.sheets[0], overwritten.firstRow, overwritten.firstColumn});
    EXPECT_EQ(FormulasOf(SavedOf(path)), inPlace) << "saved in place, one formula overwritten";
  }
  application->Quit();
}

}  // namespace
}  // namespace excel::calc::testing
