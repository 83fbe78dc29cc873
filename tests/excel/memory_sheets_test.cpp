// The in-memory application's sheets, chart sheets and ranges. The driver's
// chart-sheet behaviour can be tested only on this application: the real one
// imports chart sheets as ordinary sheets.
#include <gtest/gtest.h>

#include "com/variant_grid.h"
#include "excel/errors.h"
#include "excel/object_model_helpers.h"
#include "support/memory_application.h"

namespace {

using com::Variant;
using com::VariantGrid;
using excel_test::FailureOf;
using excel_test::GetValue;
using excel_test::PutValue;
using excel_test::RangeAt;
using test_support::MemoryApplication;
using test_support::MemoryWorkbook;

class MemorySheetsTest : public ::testing::Test {
 protected:
  MemorySheetsTest()
      : book_(excel_test::NewBook(application_)),
        memory_(com::QueryInterface<MemoryWorkbook>(book_)),
        sheet_(excel_test::Sheet(book_, "Sheet1")) {}

  com::Ptr<excel::Range> Block(std::string_view cell1, std::string_view cell2) {
    return sheet_->GetRange(Variant::Text(cell1), Variant::Text(cell2));
  }

  com::Ptr<MemoryApplication> application_ = MemoryApplication::Create();
  com::Ptr<excel::Workbook> book_;
  com::Ptr<MemoryWorkbook> memory_;
  com::Ptr<excel::Worksheet> sheet_;
};

VariantGrid Grid(std::vector<std::vector<Variant>> rows) {
  VariantGrid grid(rows.size(), rows.empty() ? 0 : rows[0].size());
  for (std::size_t r = 0; r < rows.size(); ++r) {
    for (std::size_t c = 0; c < rows[r].size(); ++c) {
      grid.At(static_cast<int>(r) + 1, static_cast<int>(c) + 1) = rows[r][c];
    }
  }
  return grid;
}

TEST_F(MemorySheetsTest, Value2RoundTripThroughTheInterfaces) {
  const struct {
    const char* name;
    Variant in;
    Variant out;
    const char* formula;
  } cases[] = {
      {"number", Variant::Double(2.5), Variant::Double(2.5), ""},
      {"integer", Variant::Int4(3), Variant::Double(3), ""},
      {"logical", Variant::Bool(true), Variant::Bool(true), ""},
      {"numeric text", Variant::Text("-1e2"), Variant::Double(-100), ""},
      {"apostrophe", Variant::Text("'007"), Variant::Text("007"), ""},
      {"text", Variant::Text("STB/d"), Variant::Text("STB/d"), ""},
      {"error", Variant::ErrorValue(excel::kErrRef), Variant::ErrorValue(excel::kErrRef), ""},
      {"formula", Variant::Text("=IF(A1>0,1,2)"), Variant(), "=IF(A1>0,1,2)"},
      {"clear", Variant(), Variant(), ""},
  };
  const auto range = RangeAt(sheet_, "$B$2");
  for (const auto& c : cases) {
    PutValue(range, Variant::Text("=OLD()"));  // a value replaces any formula
    PutValue(range, c.in);
    EXPECT_EQ(GetValue(range), c.out) << c.name;
    EXPECT_EQ(memory_->CellFormula("Sheet1", "B2"), c.formula) << c.name;
  }
  // A refused value leaves the cell as it was.
  PutValue(range, Variant::Double(1));
  EXPECT_EQ(FailureOf([&] { PutValue(range, Variant::Missing()); }), com::DISP_E_TYPEMISMATCH);
  EXPECT_EQ(GetValue(range), Variant::Double(1));
}

TEST_F(MemorySheetsTest, FormulaCellsReadTheComputedValue) {
  PutValue(RangeAt(sheet_, "C1"), Variant::Text("=SUM(A1,B1)"));
  EXPECT_EQ(GetValue(RangeAt(sheet_, "C1")), Variant());
  memory_->SetComputedValue("Sheet1", "C1", Variant::Double(3));
  EXPECT_EQ(GetValue(RangeAt(sheet_, "C1")), Variant::Double(3));
  EXPECT_EQ(memory_->CellFormula("Sheet1", "C1"), "=SUM(A1,B1)");
  EXPECT_THROW(memory_->SetComputedValue("Sheet1", "D1", Variant::Double(1)),
               std::invalid_argument);
  memory_->SetFormula("Sheet1", "D1", "=1/0");
  memory_->SetComputedValue("Sheet1", "D1", Variant::ErrorValue(excel::kErrDiv0));
  EXPECT_EQ(GetValue(RangeAt(sheet_, "D1")), Variant::ErrorValue(excel::kErrDiv0));
}

TEST_F(MemorySheetsTest, BlockReadsAreRowsFirstAndOneBased) {
  memory_->SetCellValue("Sheet1", "B2", Variant::Double(1));
  memory_->SetCellValue("Sheet1", "C2", Variant::Text("x"));
  memory_->SetCellValue("Sheet1", "B3", Variant::Bool(false));
  const Variant block = GetValue(Block("B2", "D3"));
  ASSERT_EQ(block.vt, VT_ARRAY | VT_VARIANT);
  EXPECT_EQ(VariantGrid::FromVariant(block),
            Grid({{Variant::Double(1), Variant::Text("x"), Variant()},
                  {Variant::Bool(false), Variant(), Variant()}}));
  // Two corners in one text, in any order, give the same block.
  EXPECT_EQ(GetValue(RangeAt(sheet_, "D3:B2")), block);
}

TEST_F(MemorySheetsTest, BlockWrites) {
  const Variant twoByThree = Grid({{Variant::Double(1), Variant::Text("2"), Variant::Text("a")},
                                   {Variant::Bool(true), Variant(), Variant::Text("=A1")}})
                                 .ToVariant();
  const struct {
    const char* name;
    const char* first;
    const char* last;
    Variant value;
    VariantGrid expected;  // A1:C2 afterwards
  } cases[] = {
      {"array cell by cell", "A1", "C2", twoByThree,
       Grid({{Variant::Double(1), Variant::Double(2), Variant::Text("a")},
             {Variant::Bool(true), Variant(), Variant()}})},
      {"scalar fills", "A1", "C2", Variant::Text("5"),
       Grid({{Variant::Double(5), Variant::Double(5), Variant::Double(5)},
             {Variant::Double(5), Variant::Double(5), Variant::Double(5)}})},
      {"one row repeats", "A1", "C2",
       Grid({{Variant::Double(1), Variant::Double(2), Variant::Double(3)}}).ToVariant(),
       Grid({{Variant::Double(1), Variant::Double(2), Variant::Double(3)},
             {Variant::Double(1), Variant::Double(2), Variant::Double(3)}})},
      {"beyond the array is #N/A", "A1", "C2",
       Grid({{Variant::Double(1), Variant::Double(2)}, {Variant::Double(3), Variant::Double(4)}})
           .ToVariant(),
       Grid({{Variant::Double(1), Variant::Double(2), Variant::ErrorValue(excel::kErrNA)},
             {Variant::Double(3), Variant::Double(4), Variant::ErrorValue(excel::kErrNA)}})},
      {"larger array is cut", "A1", "B1", twoByThree,
       Grid({{Variant::Double(1), Variant::Double(2), Variant()},
             {Variant(), Variant(), Variant()}})},
  };
  for (const auto& c : cases) {
    PutValue(Block("A1", "C2"), Variant());
    PutValue(Block(c.first, c.last), c.value);
    EXPECT_EQ(VariantGrid::FromVariant(GetValue(Block("A1", "C2"))), c.expected) << c.name;
  }
  EXPECT_EQ(memory_->CellFormula("Sheet1", "C2"), "");

  // One refused element refuses the whole write.
  PutValue(Block("A1", "C2"), Variant());
  const Variant bad = Grid({{Variant::Double(1), Variant::Missing()}}).ToVariant();
  EXPECT_EQ(FailureOf([&] { PutValue(Block("A1", "B1"), bad); }), com::DISP_E_TYPEMISMATCH);
  EXPECT_EQ(memory_->CellValue("Sheet1", "A1"), Variant());
}

TEST_F(MemorySheetsTest, AddressForms) {
  memory_->AddWorksheet("Other");
  memory_->DefineName("Rates", "Sheet1", "B2:C3");
  memory_->DefineName("Elsewhere", "Other", "A1");
  const struct {
    const char* name;
    Variant cell1;
    Variant cell2;
    const char* filled;  // a cell the block holds, or nullptr when refused
    std::size_t cells;
  } cases[] = {
      {"cell", Variant::Text("B2"), Variant::Missing(), "B2", 1},
      {"absolute", Variant::Text("$B$2"), Variant::Missing(), "B2", 1},
      {"lower case", Variant::Text("b2"), Variant::Missing(), "B2", 1},
      {"corners", Variant::Text("A1:C3"), Variant::Missing(), "C3", 9},
      {"cell1 and cell2", Variant::Text("C3"), Variant::Text("$A$1"), "A1", 9},
      {"named range", Variant::Text("rates"), Variant::Missing(), "C3", 4},
      {"name of another sheet", Variant::Text("Elsewhere"), Variant::Missing(), nullptr, 0},
      {"sheet prefix", Variant::Text("Sheet1!A1"), Variant::Missing(), nullptr, 0},
      {"row zero", Variant::Text("A0"), Variant::Missing(), nullptr, 0},
      {"empty", Variant::Text(""), Variant::Missing(), nullptr, 0},
      {"whole column", Variant::Text("A:A"), Variant::Missing(), nullptr, 0},
      {"not a text", Variant::Int4(1), Variant::Missing(), nullptr, 0},
      {"bad cell2", Variant::Text("A1"), Variant::Text("nowhere"), nullptr, 0},
  };
  for (const auto& c : cases) {
    com::Ptr<excel::Range> range;
    const HRESULT hr = FailureOf([&] { range = sheet_->GetRange(c.cell1, c.cell2); });
    if (c.filled == nullptr) {
      EXPECT_EQ(hr, excel::kApplicationError) << c.name;
      continue;
    }
    ASSERT_EQ(hr, com::S_OK) << c.name;
    PutValue(Block("A1", "D4"), Variant());
    PutValue(range, Variant::Double(1));
    EXPECT_EQ(memory_->CellValue("Sheet1", c.filled), Variant::Double(1)) << c.name;
    const Variant all = GetValue(Block("A1", "D4"));
    const VariantGrid grid = VariantGrid::FromVariant(all);
    std::size_t written = 0;
    for (int r = 1; r <= 4; ++r) {
      for (int col = 1; col <= 4; ++col)
        written += grid.At(r, col).IsEmpty() ? 0 : 1;
    }
    EXPECT_EQ(written, c.cells) << c.name;
  }
}

TEST_F(MemorySheetsTest, NumberFormatAndInvokeFailures) {
  const auto range = RangeAt(sheet_, "A1:B1");
  const Variant format = Variant::Text("0.00");
  range->Invoke(excel::kDispidNumberFormat, excel::InvokeKind::kPropertyPut, std::span(&format, 1));
  EXPECT_EQ(memory_->CellNumberFormat("Sheet1", "B1"), "0.00");
  EXPECT_EQ(memory_->CellNumberFormat("Sheet1", "C1"), "General");
  EXPECT_EQ(range->Invoke(excel::kDispidNumberFormat, excel::InvokeKind::kPropertyGet, {}), format);
  EXPECT_EQ(RangeAt(sheet_, "A1:C1")
                ->Invoke(excel::kDispidNumberFormat, excel::InvokeKind::kPropertyGet, {}),
            Variant::Null());
  // The format survives a value written over the cell.
  PutValue(RangeAt(sheet_, "A1"), Variant::Double(2));
  EXPECT_EQ(memory_->CellNumberFormat("Sheet1", "A1"), "0.00");
  // "General" is the default format itself.
  const Variant general = Variant::Text("General");
  range->Invoke(excel::kDispidNumberFormat, excel::InvokeKind::kPropertyPut,
                std::span(&general, 1));
  EXPECT_EQ(RangeAt(sheet_, "A1:C1")
                ->Invoke(excel::kDispidNumberFormat, excel::InvokeKind::kPropertyGet, {}),
            general);

  const Variant number = Variant::Double(2);
  const Variant two[] = {number, number};
  const struct {
    const char* name;
    std::int32_t dispid;
    excel::InvokeKind kind;
    std::span<const Variant> arguments;
    HRESULT hr;
  } failures[] = {
      {"format as number", excel::kDispidNumberFormat, excel::InvokeKind::kPropertyPut,
       std::span(&number, 1), com::DISP_E_TYPEMISMATCH},
      {"unknown dispid", 0x6, excel::InvokeKind::kPropertyGet, {}, com::DISP_E_MEMBERNOTFOUND},
      {"method", excel::kDispidValue2, excel::InvokeKind::kMethod, {}, com::DISP_E_MEMBERNOTFOUND},
      {"get with an argument", excel::kDispidValue2, excel::InvokeKind::kPropertyGet,
       std::span(&number, 1), com::DISP_E_BADPARAMCOUNT},
      {"put without argument",
       excel::kDispidValue2,
       excel::InvokeKind::kPropertyPut,
       {},
       com::DISP_E_BADPARAMCOUNT},
      {"put with two", excel::kDispidValue2, excel::InvokeKind::kPropertyPut, two,
       com::DISP_E_BADPARAMCOUNT},
  };
  for (const auto& f : failures) {
    EXPECT_EQ(FailureOf([&] { range->Invoke(f.dispid, f.kind, f.arguments); }), f.hr) << f.name;
  }
  EXPECT_EQ(FailureOf([&] { GetValue(RangeAt(sheet_, "A1:XFD1048576")); }), com::E_OUTOFMEMORY);
}

TEST_F(MemorySheetsTest, SheetItemsByPositionAndName) {
  memory_->AddWorksheet("Data");
  const auto sheets = book_->GetSheets();
  EXPECT_EQ(sheets->GetCount(), 2);
  const auto nameOf = [&](const Variant& index) {
    return com::QueryInterface<excel::Worksheet>(sheets->GetItem(index))->GetName().ToUtf8();
  };
  EXPECT_EQ(nameOf(Variant::Int4(2)), "Data");
  EXPECT_EQ(nameOf(Variant::Int(1)), "Sheet1");
  EXPECT_EQ(nameOf(Variant::Text("DATA")), "Data");
  EXPECT_EQ(nameOf(Variant::Double(2)), "Data");
  for (const Variant& index : {Variant::Int4(0), Variant::Int4(3), Variant::Int(-1),
                               Variant::Text("Nope"), Variant::Text(""), Variant::Double(1.5)}) {
    EXPECT_EQ(FailureOf([&] { sheets->GetItem(index); }), com::DISP_E_BADINDEX)
        << com::Describe(index);
  }
  EXPECT_EQ(FailureOf([&] { sheets->GetItem(Variant::Bool(true)); }), com::DISP_E_TYPEMISMATCH);
}

TEST_F(MemorySheetsTest, AddInsertsBeforeTheActiveSheet) {
  const auto missing = Variant::Missing();
  const auto sheets = book_->GetSheets();
  const auto added =
      com::QueryInterface<excel::Worksheet>(sheets->Add(missing, missing, missing, missing, 0));
  EXPECT_EQ(added->GetName().ToUtf8(), "Sheet2");
  EXPECT_EQ(memory_->SheetNames(), (std::vector<std::string>{"Sheet2", "Sheet1"}));
  EXPECT_EQ(memory_->ActiveSheetName(), "Sheet2");

  sheet_->Activate(0);
  added->PutName(com::Bstr::FromUtf8("Sheet3"));
  book_->GetWorksheets()->Add(missing, missing, missing, missing, 0);
  // Two worksheets: the default name starts at 3, which is taken.
  EXPECT_EQ(memory_->SheetNames(), (std::vector<std::string>{"Sheet3", "Sheet4", "Sheet1"}));
  EXPECT_EQ(FailureOf([&] { sheets->Add(Variant::Int4(1), missing, missing, missing, 0); }),
            com::DISP_E_TYPEMISMATCH);
  EXPECT_EQ(FailureOf([&] { sheets->Add(missing, missing, missing, Variant::Int4(7), 0); }),
            excel::kApplicationError);
}

TEST_F(MemorySheetsTest, SheetNamesTheApplicationRefuses) {
  memory_->AddWorksheet("Data");
  const std::string longest(31, 'x');
  for (const std::string& refused :
       {std::string(), std::string(32, 'x'), std::string("a[b"), std::string("a]b"),
        std::string("a:b"), std::string("a*b"), std::string("a?b"), std::string("a/b"),
        std::string("a\\b"), std::string("'ab"), std::string("ab'"), std::string("data"),
        std::string(16, 'x') + "\xF0\x9F\x98\x80" + std::string(14, 'x')}) {
    EXPECT_EQ(FailureOf([&] { sheet_->PutName(com::Bstr::FromUtf8(refused)); }),
              excel::kApplicationError)
        << refused;
    EXPECT_EQ(sheet_->GetName().ToUtf8(), "Sheet1") << refused;
  }
  for (const std::string& accepted : {longest, std::string("a'b c"), std::string("SHEET1"),
                                      std::string("Débit ☃"), std::string("Sheet1")}) {
    sheet_->PutName(com::Bstr::FromUtf8(accepted));
    EXPECT_EQ(sheet_->GetName().ToUtf8(), accepted);
  }
}

TEST_F(MemorySheetsTest, ChartSheetsAreNotWorksheets) {
  memory_->AddChartSheet("Chart1", 1);
  const auto sheets = book_->GetSheets();
  EXPECT_EQ(sheets->GetCount(), 2);
  const auto item = sheets->GetItem(Variant::Int4(1));
  EXPECT_FALSE(com::TryQueryInterface<excel::Worksheet>(item));
  EXPECT_EQ(com::QueryInterface<excel::Chart>(item)->GetName().ToUtf8(), "Chart1");
  EXPECT_EQ(FailureOf([&] {
              com::QueryInterface<excel::Worksheet>(sheets->GetItem(Variant::Text("chart1")));
            }),
            com::E_NOINTERFACE);

  // The worksheets alone leave the chart out.
  const auto worksheets = book_->GetWorksheets();
  EXPECT_EQ(worksheets->GetCount(), 1);
  EXPECT_EQ(com::QueryInterface<excel::Worksheet>(worksheets->GetItem(Variant::Int4(1)))
                ->GetName()
                .ToUtf8(),
            "Sheet1");
  EXPECT_EQ(FailureOf([&] { worksheets->GetItem(Variant::Text("Chart1")); }), com::DISP_E_BADINDEX);

  // Sheets.Add of type xlChart adds one too.
  const auto missing = Variant::Missing();
  const auto chart = sheets->Add(missing, missing, missing, Variant::Int4(-4109), 0);
  EXPECT_EQ(com::QueryInterface<excel::Chart>(chart)->GetName().ToUtf8(), "Chart2");
  EXPECT_TRUE(memory_->IsChartSheet("Chart2"));
  EXPECT_THROW(memory_->CellValue("Chart1", "A1"), std::invalid_argument);
}

}  // namespace
