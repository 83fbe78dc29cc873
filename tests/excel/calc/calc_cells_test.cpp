// Cells of a real office through Value2 and NumberFormat.
#include <gmock/gmock.h>

#include "calc_test_support.h"
#include "com/variant_grid.h"

namespace excel::calc::testing {
namespace {

using com::Variant;

class CalcCellsTest : public CalcTest {
 protected:
  void SetUp() override {
    CalcTest::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    application_ = NewApplication();
    workbook_ = NewWorkbook(application_);
    sheet_ = SheetOf(workbook_);
  }
  void TearDown() override {
    sheet_.Reset();
    workbook_.Reset();
    if (application_) application_->Quit();
    application_.Reset();
    CalcTest::TearDown();
  }

  com::Ptr<Application> application_;
  com::Ptr<Workbook> workbook_;
  com::Ptr<Worksheet> sheet_;
};

TEST_F(CalcCellsTest, ValuesReadBackWithTheirVariantTypes) {
  struct Case {
    const char* cell;
    Variant written;
    Variant read;
  };
  const Case cases[] = {
      {"A1", Variant::Double(2.5), Variant::Double(2.5)},
      {"A2", Variant::Double(-1e-300), Variant::Double(-1e-300)},
      {"A3", Variant::Double(0.1 + 0.2), Variant::Double(0.1 + 0.2)},
      {"A4", Variant::Int4(42), Variant::Double(42)},
      {"A5", Variant::Text("hello"), Variant::Text("hello")},
      {"A6", Variant::Text("Grüße ∑"), Variant::Text("Grüße ∑")},
      {"A7", Variant::Bool(true), Variant::Bool(true)},
      {"A8", Variant::Bool(false), Variant::Bool(false)},
      {"A9", Variant::Text("TRUE"), Variant::Bool(true)},
      {"A10", Variant::Text("12.5"), Variant::Double(12.5)},
      {"A11", Variant::Text("'12"), Variant::Text("12")},
      {"A12", Variant::Text("1/2/2020"), Variant::Double(43832)},
      {"A13", Variant::Date(43832.25), Variant::Double(43832.25)},
      {"A14", Variant::Text("1,234"), Variant::Double(1234)},
      {"A15", Variant::Text("'=not a formula"), Variant::Text("=not a formula")},
      {"A16", Variant(), Variant()},
      {"A17", Variant::Text(""), Variant()},
      {"A18", Variant::Double(1), Variant::Double(1)},
      {"A19", Variant::Double(0), Variant::Double(0)},
  };
  for (const Case& c : cases)
    Put(sheet_, c.cell, c.written);
  for (const Case& c : cases)
    EXPECT_EQ(Get(sheet_, c.cell), c.read) << c.cell;
  // Never written.
  EXPECT_EQ(Get(sheet_, "Z99"), Variant());
  // Emptying clears what was there.
  Put(sheet_, "A1", Variant());
  EXPECT_EQ(Get(sheet_, "A1"), Variant());
}

TEST_F(CalcCellsTest, FormulasAreWrittenAsSpreadsheetUsersWriteThemAndRecalculate) {
  Put(sheet_, "A1", Variant::Double(2));
  Put(sheet_, "B1", Variant::Double(3));
  Put(sheet_, "C1", Variant::Text("=SUM(A1,B1)"));
  Put(sheet_, "C2", Variant::Text("=IF(A1>0,1,2)"));
  Put(sheet_, "C3", Variant::Text("=A1>B1"));
  Put(sheet_, "C4", Variant::Text("=A1&\"x\""));
  Put(sheet_, "C5", Variant::Text("=Sheet1!$A$1*10"));
  Put(sheet_, "C6", Variant::Text("=\"\""));
  Put(sheet_, "C7", Variant::Text("=ROUND(2.5,0)"));
  Put(sheet_, "C8", Variant::Text("=TRUE"));
  Put(sheet_, "C9", Variant::Text("=AND(TRUE,FALSE)"));
  EXPECT_EQ(Get(sheet_, "C1"), Variant::Double(5));
  EXPECT_EQ(Get(sheet_, "C2"), Variant::Double(1));
  EXPECT_EQ(Get(sheet_, "C3"), Variant::Bool(false));
  EXPECT_EQ(Get(sheet_, "C4"), Variant::Text("2x"));
  EXPECT_EQ(Get(sheet_, "C5"), Variant::Double(20));
  EXPECT_EQ(Get(sheet_, "C6"), Variant::Text(""));  // an empty result is no empty cell
  EXPECT_EQ(Get(sheet_, "C7"), Variant::Double(3));
  EXPECT_EQ(Get(sheet_, "C8"), Variant::Bool(true));
  EXPECT_EQ(Get(sheet_, "C9"), Variant::Bool(false));

  Put(sheet_, "A1", Variant::Double(-10));
  EXPECT_EQ(Get(sheet_, "C1"), Variant::Double(-7));
  EXPECT_EQ(Get(sheet_, "C2"), Variant::Double(2));
  EXPECT_EQ(Get(sheet_, "C3"), Variant::Bool(false));
  Put(sheet_, "B1", Variant::Double(-20));
  EXPECT_EQ(Get(sheet_, "C3"), Variant::Bool(true));
}

TEST_F(CalcCellsTest, ErrorResultsReadAsTheSpreadsheetErrorCodes) {
  struct Case {
    const char* cell;
    const char* formula;
    SCODE error;
  };
  const Case cases[] = {
      {"B1", "=1/0", kErrDiv0},
      {"B2", "=NA()", kErrNA},
      {"B3", "=NOSUCHFUNCTION()", kErrName},
      {"B4", "=SQRT(-1)", kErrNum},
      {"B5", "=INDIRECT(\"A0\")", kErrRef},
      {"B6", "=\"a\"+1", kErrValue},
  };
  for (const Case& c : cases)
    Put(sheet_, c.cell, Variant::Text(c.formula));
  for (const Case& c : cases)
    EXPECT_EQ(Get(sheet_, c.cell), Variant::ErrorValue(c.error)) << c.formula;

  // Every error value can be written and reads back as written.
  const SCODE errors[] = {kErrNull, kErrDiv0, kErrValue, kErrRef, kErrName, kErrNum, kErrNA};
  for (const SCODE error : errors) {
    Put(sheet_, "D1", Variant::ErrorValue(error));
    EXPECT_EQ(Get(sheet_, "D1"), Variant::ErrorValue(error)) << std::hex << error;
  }
  // Error values written in formulas or typed as text.
  const Case literals[] = {
      {"C1", "=IF(1>0,#N/A,1)", kErrNA},
      {"C2", "=#DIV/0!", kErrDiv0},
      {"C3", "=#VALUE!", kErrValue},
      {"C4", "=#NUM!", kErrNum},
      {"C5", "=#REF!", kErrRef},
      {"C6", "=#NAME?", kErrName},
      {"C7", "#N/A", kErrNA},
      {"C8", "#DIV/0!", kErrDiv0},
  };
  for (const Case& c : literals)
    Put(sheet_, c.cell, Variant::Text(c.formula));
  for (const Case& c : literals)
    EXPECT_EQ(Get(sheet_, c.cell), Variant::ErrorValue(c.error)) << c.formula;
  // A formula that depends on an error cell shows the error too.
  Put(sheet_, "E1", Variant::Text("=B1+1"));
  EXPECT_EQ(Get(sheet_, "E1"), Variant::ErrorValue(kErrDiv0));
}

TEST_F(CalcCellsTest, AFormulaTheApplicationCannotReadIsRefusedAndTheCellKept) {
  Put(sheet_, "A1", Variant::Double(7));
  EXPECT_EQ(FailureOf([&] { Put(sheet_, "A1", Variant::Text("=1+")); }), kApplicationError);
  EXPECT_EQ(Get(sheet_, "A1"), Variant::Double(7));
  EXPECT_EQ(FailureOf([&] { Put(sheet_, "A2", Variant::Text("=)")); }), kApplicationError);
  EXPECT_EQ(Get(sheet_, "A2"), Variant());
}

TEST_F(CalcCellsTest, WhatNoCellHoldsIsATypeMismatch) {
  EXPECT_EQ(FailureOf([&] { Put(sheet_, "A1", Variant::Missing()); }), com::DISP_E_TYPEMISMATCH);
  EXPECT_EQ(FailureOf([&] { Put(sheet_, "A1", Variant::ErrorValue(com::E_FAIL)); }),
            com::DISP_E_TYPEMISMATCH);
}

TEST_F(CalcCellsTest, BlocksReadAndWriteEveryTypeRowsFirst) {
  Put(sheet_, "F1", Variant::Double(5));
  const Variant block = Block(2, 4,
                              {Variant::Double(1.5), Variant::Text("text"), Variant::Bool(true),
                               Variant(), Variant::Text("=F1*2"), Variant::ErrorValue(kErrNA),
                               Variant::Text("=1/0"), Variant::Text("=F1>1")});
  const com::Ptr<Range> range = RangeOf(sheet_, "A1", "D2");
  range->Invoke(kDispidValue2, InvokeKind::kPropertyPut, {&block, 1});

  const Variant read = range->Invoke(kDispidValue2, InvokeKind::kPropertyGet, {});
  ASSERT_EQ(read.vt, VT_ARRAY | VT_VARIANT);
  const com::VariantGrid grid = com::VariantGrid::FromVariant(read);
  ASSERT_EQ(grid.Rows(), 2u);
  ASSERT_EQ(grid.Columns(), 4u);
  EXPECT_EQ(grid.FirstRow(), 1);
  EXPECT_EQ(grid.FirstColumn(), 1);
  EXPECT_EQ(grid.At(1, 1), Variant::Double(1.5));
  EXPECT_EQ(grid.At(1, 2), Variant::Text("text"));
  EXPECT_EQ(grid.At(1, 3), Variant::Bool(true));
  EXPECT_EQ(grid.At(1, 4), Variant());
  EXPECT_EQ(grid.At(2, 1), Variant::Double(10));
  EXPECT_EQ(grid.At(2, 2), Variant::ErrorValue(kErrNA));
  EXPECT_EQ(grid.At(2, 3), Variant::ErrorValue(kErrDiv0));
  EXPECT_EQ(grid.At(2, 4), Variant::Bool(true));
  // Cell by cell reads give the same.
  EXPECT_EQ(Get(sheet_, "C1"), Variant::Bool(true));
  EXPECT_EQ(Get(sheet_, "B2"), Variant::ErrorValue(kErrNA));
  // A two-cell read of 0 and 1 that are plain numbers stays numbers.
  Put(sheet_, "H1", Variant::Double(0));
  Put(sheet_, "H2", Variant::Double(1));
  EXPECT_EQ(com::VariantGrid::FromVariant(
                RangeOf(sheet_, "H1:H2")->Invoke(kDispidValue2, InvokeKind::kPropertyGet, {})),
            com::VariantGrid::FromVariant(Block(2, 1, {Variant::Double(0), Variant::Double(1)})));
}

TEST_F(CalcCellsTest, ScalarsFillBlocksAndArraysSpreadAsInTheSpreadsheet) {
  const Variant seven = Variant::Double(7);
  RangeOf(sheet_, "A1:B2")->Invoke(kDispidValue2, InvokeKind::kPropertyPut, {&seven, 1});
  for (const char* cell : {"A1", "B1", "A2", "B2"})
    EXPECT_EQ(Get(sheet_, cell), seven) << cell;

  // A single formula fills a block with its references moving along.
  const Variant doubled = Variant::Text("=A1*2");
  RangeOf(sheet_, "C1:C2")->Invoke(kDispidValue2, InvokeKind::kPropertyPut, {&doubled, 1});
  Put(sheet_, "A2", Variant::Double(4));
  EXPECT_EQ(Get(sheet_, "C1"), Variant::Double(14));
  EXPECT_EQ(Get(sheet_, "C2"), Variant::Double(8));

  // A row repeats down; cells beyond a 2x2 array get #N/A.
  const Variant row = Block(1, 2, {Variant::Double(1), Variant::Double(2)});
  RangeOf(sheet_, "E1:F2")->Invoke(kDispidValue2, InvokeKind::kPropertyPut, {&row, 1});
  EXPECT_EQ(Get(sheet_, "F2"), Variant::Double(2));
  const Variant square =
      Block(2, 2, {Variant::Double(1), Variant::Double(2), Variant::Double(3), Variant::Double(4)});
  RangeOf(sheet_, "H1:J3")->Invoke(kDispidValue2, InvokeKind::kPropertyPut, {&square, 1});
  EXPECT_EQ(Get(sheet_, "I2"), Variant::Double(4));
  EXPECT_EQ(Get(sheet_, "J1"), Variant::ErrorValue(kErrNA));
  EXPECT_EQ(Get(sheet_, "H3"), Variant::ErrorValue(kErrNA));
}

TEST_F(CalcCellsTest, NumberFormatsAreSetAndRefusedCodesFail) {
  Put(sheet_, "A1", Variant::Double(0.25));
  PutFormat(sheet_, "A1", "0.00%");
  EXPECT_EQ(GetFormat(sheet_, "A1"), "0.00%");
  EXPECT_EQ(Get(sheet_, "A1"), Variant::Double(0.25));  // Value2 ignores the format
  PutFormat(sheet_, "A2:B3", "#,##0.00");
  EXPECT_EQ(GetFormat(sheet_, "B3"), "#,##0.00");
  PutFormat(sheet_, "A4", "yyyy-mm-dd");
  EXPECT_EQ(GetFormat(sheet_, "A4"), "YYYY-MM-DD");
  PutFormat(sheet_, "A4", "General");
  EXPECT_EQ(GetFormat(sheet_, "A4"), "General");
  EXPECT_EQ(FailureOf([&] { PutFormat(sheet_, "A5", "[ZZ]0"); }), kApplicationError);
  EXPECT_EQ(GetFormat(sheet_, "A5"), "General");
}

TEST_F(CalcCellsTest, AddressesTakeEveryFormAndUnknownOnesFail) {
  Put(sheet_, "B2", Variant::Double(9));
  for (const char* address : {"B2", "$B$2", "b2", "B$2"})
    EXPECT_EQ(Get(sheet_, address), Variant::Double(9)) << address;
  const Variant corners =
      RangeOf(sheet_, "C3", "B2")->Invoke(kDispidValue2, InvokeKind::kPropertyGet, {});
  EXPECT_EQ(com::VariantGrid::FromVariant(corners).Rows(), 2u);
  for (const char* address : {"1B", "B0", "XFE1", "NoSuchName", "", "A1:B2:C3"})
    EXPECT_EQ(FailureOf([&] { RangeOf(sheet_, address); }), kApplicationError) << address;
  EXPECT_EQ(FailureOf([&] { sheet_->GetRange(Variant::Double(1), Variant::Missing()); }),
            com::DISP_E_TYPEMISMATCH);
}

TEST_F(CalcCellsTest, InvokeChecksMemberKindAndArguments) {
  const com::Ptr<Range> range = RangeOf(sheet_, "A1");
  const Variant one = Variant::Double(1);
  EXPECT_EQ(FailureOf([&] { range->Invoke(0x123, InvokeKind::kPropertyGet, {}); }),
            com::DISP_E_MEMBERNOTFOUND);
  EXPECT_EQ(FailureOf([&] {
              range->Invoke(kDispidValue2, InvokeKind::kPropertyGet, {&one, 1});
            }),
            com::DISP_E_BADPARAMCOUNT);
  EXPECT_EQ(FailureOf([&] { range->Invoke(kDispidValue2, InvokeKind::kPropertyPut, {}); }),
            com::DISP_E_BADPARAMCOUNT);
  EXPECT_EQ(FailureOf([&] { range->Invoke(kDispidValue2, InvokeKind::kMethod, {}); }),
            com::DISP_E_MEMBERNOTFOUND);
}

}  // namespace
}  // namespace excel::calc::testing
