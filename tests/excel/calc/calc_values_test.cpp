#include "excel/calc/calc_values.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "com/error.h"
#include "com/variant.h"
#include "com/variant_grid.h"
#include "excel/application_contract.h"
#include "excel/errors.h"

namespace excel::calc {
namespace {

TEST(CalcErrorCodes, MapToTheSpreadsheetErrorValues) {
  struct Case {
    int calc;
    SCODE excel;
  };
  const Case cases[] = {
      {532, kErrDiv0},  {32767, kErrNA},  {525, kErrName},  {527, kErrName},
      {521, kErrNull},  {502, kErrNum},   {503, kErrNum},   {523, kErrNum},
      {524, kErrRef},   {519, kErrValue}, {522, kErrValue},  // circular reference
      {509, kErrValue},                                      // a syntax error
  };
  for (const Case& c : cases)
    EXPECT_EQ(ExcelErrorFromCalc(c.calc), c.excel) << c.calc;
}

TEST(CalcErrorCodes, EveryErrorValueHasAFormulaAndNothingElseDoes) {
  for (const SCODE code : {kErrNull, kErrDiv0, kErrValue, kErrRef, kErrName, kErrNum, kErrNA}) {
    const std::optional<std::string> formula = ErrorFormula(code);
    ASSERT_TRUE(formula) << code;
    EXPECT_EQ(formula->front(), '=');
  }
  EXPECT_EQ(ErrorFormula(kErrNA), "=#N/A");
  EXPECT_FALSE(ErrorFormula(com::DISP_E_PARAMNOTFOUND));
  EXPECT_FALSE(ErrorFormula(0));
}

TEST(CalcErrorCodes, SyntaxErrorsAreTellingApartFromResults) {
  for (const int code : {501, 508, 509, 511, 520})
    EXPECT_TRUE(IsFormulaSyntaxError(code)) << code;
  for (const int code : {0, 502, 503, 519, 522, 524, 525, 532, 32767})
    EXPECT_FALSE(IsFormulaSyntaxError(code)) << code;
}

TEST(FormulaText, ErrorValuesAndLogicalsBecomeWhatTheParserTakes) {
  struct Case {
    const char16_t* written;
    const char16_t* parsed;
  };
  const Case cases[] = {
      {u"=SUM(A1,B1)", u"=SUM(A1,B1)"},
      {u"=IF(A1>0,#N/A,1)", u"=IF(A1>0,NA(),1)"},
      {u"=#div/0!", u"=(1/0)"},
      {u"=#VALUE!+#NUM!", u"=(\"a\"*1)+SQRT(-1)"},
      {u"=#REF!", u"=INDIRECT(\"A0\")"},
      {u"=#NULL!", u"=#NULL!"},
      {u"=#NAME?", u"=#NAME?"},
      {u"=\"#N/A\"&\"say \"\"TRUE\"\"\"", u"=\"#N/A\"&\"say \"\"TRUE\"\"\""},
      {u"='#N/A TRUE'!A1", u"='#N/A TRUE'!A1"},
      {u"=TRUE", u"=TRUE()"},
      {u"=IF(x,true ,False)", u"=IF(x,true() ,False())"},
      {u"=TRUE()", u"=TRUE()"},
      {u"=TRUE (  )", u"=TRUE (  )"},
      {u"=TRUE!A1+TRUEVALUE+A1:TRUE", u"=TRUE!A1+TRUEVALUE+A1:TRUE"},
      {u"=TRUE1", u"=TRUE1"},
  };
  for (const Case& c : cases) {
    const std::u16string parsed = SpreadsheetFormulaForParser(c.written);
    EXPECT_EQ(parsed, std::u16string(c.parsed)) << std::string(parsed.begin(), parsed.end());
  }
}

TEST(FormulaText, ErrorValuesAreKnownByName) {
  EXPECT_EQ(ErrorValueNamed(u"#N/A"), kErrNA);
  EXPECT_EQ(ErrorValueNamed(u"#div/0!"), kErrDiv0);
  EXPECT_EQ(ErrorValueNamed(u"#NULL!"), kErrNull);
  EXPECT_EQ(ErrorValueNamed(u"#N/A "), std::nullopt);
  EXPECT_EQ(ErrorValueNamed(u"N/A"), std::nullopt);
}

TEST(A1Areas, ParseAsAUserWritesThem) {
  struct Case {
    const char* text;
    std::optional<CellArea> area;
  };
  constexpr std::int32_t lastRow = kMaxRows - 1;
  constexpr std::int32_t lastColumn = kMaxColumns - 1;
  const Case cases[] = {
      {"A1", CellArea{0, 0, 0, 0}},
      {"$B$7", CellArea{1, 6, 1, 6}},
      {"b7", CellArea{1, 6, 1, 6}},
      {"B$7", CellArea{1, 6, 1, 6}},
      {"AA10", CellArea{26, 9, 26, 9}},
      {"A1:C3", CellArea{0, 0, 2, 2}},
      {"C3:A1", CellArea{0, 0, 2, 2}},
      {"$A$1:$B$2", CellArea{0, 0, 1, 1}},
      {"A:C", CellArea{0, 0, 2, lastRow}},
      {"$B:$B", CellArea{1, 0, 1, lastRow}},
      {"3:5", CellArea{0, 2, lastColumn, 4}},
      {"XFD1048576", CellArea{lastColumn, lastRow, lastColumn, lastRow}},
      {"XFE1", std::nullopt},
      {"A1048577", std::nullopt},
      {"A0", std::nullopt},
      {"", std::nullopt},
      {"1A", std::nullopt},
      {"A1:", std::nullopt},
      {"A1:B2:C3", std::nullopt},
      {"A", std::nullopt},
      {"7", std::nullopt},
      {"A:7", std::nullopt},
      {"$$A1", std::nullopt},
      {"Rate", std::nullopt},
      {"A 1", std::nullopt},
  };
  for (const Case& c : cases)
    EXPECT_EQ(ParseA1Area(c.text), c.area) << c.text;
}

TEST(A1Areas, BoundingAreaHoldsBothCorners) {
  EXPECT_EQ(BoundingArea(CellArea{3, 4, 3, 4}, CellArea{1, 8, 1, 8}), (CellArea{1, 4, 3, 8}));
  const CellArea area{2, 3, 5, 9};
  EXPECT_EQ(area.Columns(), 4);
  EXPECT_EQ(area.Rows(), 7);
  EXPECT_FALSE(area.IsSingleCell());
}

TEST(TypedText, IsTakenAsAUserTypesIt) {
  struct Case {
    std::u16string text;
    InputKind kind;
    double number;
    std::u16string stored;
  };
  const Case cases[] = {
      {u"", InputKind::kEmpty, 0, u""},
      {u"'12", InputKind::kText, 0, u"12"},
      {u"'", InputKind::kText, 0, u""},
      {u"'=A1", InputKind::kText, 0, u"=A1"},
      {u"=SUM(A1,B1)", InputKind::kFormula, 0, u"=SUM(A1,B1)"},
      {u"=", InputKind::kText, 0, u"="},
      {u"TRUE", InputKind::kLogical, 1, u""},
      {u" false ", InputKind::kLogical, 0, u""},
      {u"12.5", InputKind::kNumber, 12.5, u""},
      {u"-1e3", InputKind::kNumber, -1000, u""},
      {u" 42 ", InputKind::kNumber, 42, u""},
      {u".5", InputKind::kNumber, 0.5, u""},
      {u"5.", InputKind::kNumber, 5, u""},
      {u"+7", InputKind::kNumber, 7, u""},
      {u"abc", InputKind::kText, 0, u"abc"},
      {u"March", InputKind::kText, 0, u"March"},
      {u"1,234", InputKind::kTyped, 0, u"1,234"},
      {u"1/2/2020", InputKind::kTyped, 0, u"1/2/2020"},
      {u"50%", InputKind::kTyped, 0, u"50%"},
      {u"12 apples", InputKind::kTyped, 0, u"12 apples"},
  };
  for (const Case& c : cases) {
    const CellInput input = ClassifyText(c.text);
    EXPECT_EQ(input.kind, c.kind) << std::string(c.text.begin(), c.text.end());
    EXPECT_EQ(input.number, c.number) << std::string(c.text.begin(), c.text.end());
    EXPECT_EQ(input.text, c.stored) << std::string(c.text.begin(), c.text.end());
  }
}

TEST(TypedText, PlainNumbersOnly) {
  for (const char16_t* text : {u"1e", u"e5", u"+", u"--1", u"1.2.3", u"0x10", u"1 000", u"١"})
    EXPECT_FALSE(ParsePlainNumber(text));
  EXPECT_EQ(ParsePlainNumber(u"2.5E-3"), 0.0025);
}

TEST(CellValues, VariantsBecomeCellInputs) {
  EXPECT_EQ(ClassifyValue(com::Variant()).kind, InputKind::kEmpty);
  EXPECT_EQ(ClassifyValue(com::Variant::Null()).kind, InputKind::kEmpty);
  const CellInput real = ClassifyValue(com::Variant::Double(2.25));
  EXPECT_EQ(real.kind, InputKind::kNumber);
  EXPECT_EQ(real.number, 2.25);
  EXPECT_EQ(ClassifyValue(com::Variant::Int4(-3)).number, -3);
  EXPECT_EQ(ClassifyValue(com::Variant::Int(9)).number, 9);
  EXPECT_EQ(ClassifyValue(com::Variant::Date(43832.5)).number, 43832.5);
  const CellInput logical = ClassifyValue(com::Variant::Bool(true));
  EXPECT_EQ(logical.kind, InputKind::kLogical);
  EXPECT_EQ(logical.number, 1);
  EXPECT_EQ(ClassifyValue(com::Variant::Text("=A1")).kind, InputKind::kFormula);
  const CellInput typedError = ClassifyText(u" #n/a ");
  EXPECT_EQ(typedError.kind, InputKind::kError);
  EXPECT_EQ(typedError.error, kErrNA);
  const CellInput error = ClassifyValue(com::Variant::ErrorValue(kErrDiv0));
  EXPECT_EQ(error.kind, InputKind::kError);
  EXPECT_EQ(error.error, kErrDiv0);

  com::Variant inner = com::Variant::Double(4);
  VARIANT byRef{};
  byRef.vt = VT_BYREF | VT_VARIANT;
  byRef.pvarVal = &inner;
  EXPECT_EQ(ClassifyValue(byRef).number, 4);
  EXPECT_EQ(&Dereferenced(byRef), static_cast<const VARIANT*>(&inner));
}

TEST(CellValues, WhatNoCellHoldsIsATypeMismatch) {
  for (const com::Variant& value : {com::Variant::Missing(), com::Variant::ErrorValue(com::E_FAIL),
                                    com::VariantGrid(1, 1).ToVariant()}) {
    EXPECT_EQ(excel_test::FailureOf([&] { ClassifyValue(value); }), com::DISP_E_TYPEMISMATCH);
  }
}

TEST(ArraysOverRanges, SpreadAsTheSpreadsheetDoes) {
  com::VariantGrid block(2, 2);
  block.At(1, 1) = com::Variant::Double(1);
  block.At(1, 2) = com::Variant::Double(2);
  block.At(2, 1) = com::Variant::Double(3);
  block.At(2, 2) = com::Variant::Double(4);
  EXPECT_EQ(ArrayElementFor(block, 1, 1)->dblVal, 4);
  EXPECT_EQ(ArrayElementFor(block, 2, 0), nullptr);  // beyond the array: #N/A
  EXPECT_EQ(ArrayElementFor(block, 0, 2), nullptr);

  com::VariantGrid row(1, 2);
  row.At(1, 1) = com::Variant::Double(5);
  row.At(1, 2) = com::Variant::Double(6);
  EXPECT_EQ(ArrayElementFor(row, 7, 1)->dblVal, 6);  // a row repeats down
  EXPECT_EQ(ArrayElementFor(row, 0, 2), nullptr);

  com::VariantGrid column(2, 1);
  column.At(1, 1) = com::Variant::Double(7);
  column.At(2, 1) = com::Variant::Double(8);
  EXPECT_EQ(ArrayElementFor(column, 1, 9)->dblVal, 8);  // a column repeats across

  com::VariantGrid single(1, 1);
  single.At(1, 1) = com::Variant::Double(9);
  EXPECT_EQ(ArrayElementFor(single, 4, 4)->dblVal, 9);
  EXPECT_EQ(ArrayElementFor(com::VariantGrid(), 0, 0), nullptr);
}

TEST(Files, SaveFiltersFollowTheExtension) {
  EXPECT_EQ(SaveFilterForPath("/x/book.xlsx"), "Calc MS Excel 2007 XML");
  EXPECT_EQ(SaveFilterForPath("/x/BOOK.XLSM"), "Calc MS Excel 2007 VBA XML");
  EXPECT_EQ(SaveFilterForPath("book.xls"), "MS Excel 97");
  EXPECT_EQ(SaveFilterForPath("a.b/book.ods"), "calc8");
  EXPECT_EQ(SaveFilterForPath("book.fods"), "OpenDocument Spreadsheet Flat XML");
  EXPECT_EQ(SaveFilterForPath("book.csv"), "Text - txt - csv (StarCalc)");
  EXPECT_FALSE(SaveFilterForPath("book.txt"));
  EXPECT_FALSE(SaveFilterForPath("book"));
  EXPECT_FALSE(SaveFilterForPath("dir.xlsx/book"));
  EXPECT_TRUE(ImportFilterForPath("c:\\data\\In.CSV"));
  EXPECT_FALSE(ImportFilterForPath("book.xlsx"));
}

TEST(SheetNames, FollowTheSpreadsheetRules) {
  for (const char16_t* name : {u"Sheet1", u"Data 2024", u"a'b", u"Ünïcode", u"x"})
    EXPECT_TRUE(IsAcceptableSheetName(name));
  for (const char16_t* name : {u"", u"a/b", u"a\\b", u"a?", u"a*", u"[a]", u"a:b", u"'a", u"a'",
                               u"12345678901234567890123456789012"})
    EXPECT_FALSE(IsAcceptableSheetName(name));
  EXPECT_TRUE(IsAcceptableSheetName(u"1234567890123456789012345678901"));
}

TEST(MacroNames, ParseEveryFormUsersWrite) {
  struct Case {
    const char* text;
    std::optional<MacroName> name;
  };
  const Case cases[] = {
      {"StartOfRun", MacroName{"", "", "", "StartOfRun"}},
      {"Module1.StartOfRun", MacroName{"", "", "Module1", "StartOfRun"}},
      {"Standard.Module1.Go", MacroName{"", "Standard", "Module1", "Go"}},
      {"Book.xlsm!Go", MacroName{"Book.xlsm", "", "", "Go"}},
      {"'My Book.xlsm'!Module1.Go", MacroName{"My Book.xlsm", "", "Module1", "Go"}},
      {" Go ", MacroName{"", "", "", "Go"}},
      {"", std::nullopt},
      {"a.b.c.d", std::nullopt},
      {"Module1.", std::nullopt},
      {"1Go", std::nullopt},
      {"'Book'Go", std::nullopt},
      {"!Go", std::nullopt},
      {"Go(1)", std::nullopt},
  };
  for (const Case& c : cases) {
    const std::optional<MacroName> name = ParseMacroName(c.text);
    ASSERT_EQ(name.has_value(), c.name.has_value()) << c.text;
    if (!name) continue;
    EXPECT_EQ(name->book, c.name->book) << c.text;
    EXPECT_EQ(name->library, c.name->library) << c.text;
    EXPECT_EQ(name->module, c.name->module) << c.text;
    EXPECT_EQ(name->procedure, c.name->procedure) << c.text;
  }
}

TEST(BasicSource, DeclaredProceduresAreFound) {
  const std::vector<BasicProcedure> found = FindBasicProcedures(
      "Option Explicit\r\n"
      "REM Sub NotThis()\n"
      "' Function NorThis()\n"
      "Sub Go()\n"
      "  x = \"Sub Quoted\"\n"
      "End Sub\n"
      "Public Function Add(a, b) As Double\n"
      "End Function\n"
      "private static sub Hidden\n"
      "Function\n"
      "Sub 9Bad()\n");
  ASSERT_EQ(found.size(), 3u);
  EXPECT_EQ(found[0].name, "Go");
  EXPECT_FALSE(found[0].isFunction);
  EXPECT_EQ(found[1].name, "Add");
  EXPECT_TRUE(found[1].isFunction);
  EXPECT_EQ(found[2].name, "Hidden");
}

TEST(BasicSource, MacrosAreFoundByEveryPartGiven) {
  const std::vector<MacroEntry> entries = {
      {"Standard", "Module1", {"Go", false}},
      {"Standard", "Module2", {"Go", true}},
      {"Tools", "Strings", {"Trim", true}},
  };
  EXPECT_EQ(FindMacro(entries, MacroName{"", "", "", "go"}), &entries[0]);
  EXPECT_EQ(FindMacro(entries, MacroName{"", "", "module2", "Go"}), &entries[1]);
  EXPECT_EQ(FindMacro(entries, MacroName{"", "tools", "", "TRIM"}), &entries[2]);
  EXPECT_EQ(FindMacro(entries, MacroName{"", "Standard", "", "Trim"}), nullptr);
  EXPECT_EQ(FindMacro(entries, MacroName{"", "", "Module3", "Go"}), nullptr);
}

TEST(BasicSource, WrappersTrapErrorsAndPassEveryArgument) {
  const std::string source = WrapperModuleSource({
      {"GmCall1", "Module1", "Add", true, 2},
      {"GmCall2", "Module1", "Go", false, 0},
  });
  EXPECT_NE(source.find("Function GmCall1(a1, a2)"), std::string::npos);
  EXPECT_NE(source.find("GmCall1 = Array(0, Module1.Add(a1, a2))"), std::string::npos);
  EXPECT_NE(source.find("Function GmCall2()"), std::string::npos);
  EXPECT_NE(source.find("Call Module1.Go\n"), std::string::npos);
  // Each wrapper has its own handler that reports the error.
  std::size_t handlers = 0;
  for (std::size_t at = source.find("On Error GoTo Failed"); at != std::string::npos;
       at = source.find("On Error GoTo Failed", at + 1))
    ++handlers;
  EXPECT_EQ(handlers, 2u);
  EXPECT_NE(source.find("GmCall2 = Array(1, Err, Error$)"), std::string::npos);
}

}  // namespace
}  // namespace excel::calc
