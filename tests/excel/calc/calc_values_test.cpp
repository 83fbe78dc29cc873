
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <tuple>
#include <utility>

#include "com/error.h"
#include "com/variants/variant.h"
#include "com/variants/variant_grid.h"
#include "excel/application_contract.h"
#include "excel/calc/basic/basic_procedures.h"
#include "excel/calc/basic/macro_names.h"
#include "excel/calc/calls/calc_errors.h"
#include "excel/calc/cells/cell_input.h"
#include "excel/calc/formulas/sheet_addresses.h"
#include "excel/calc/packages/file_filters.h"
#include "excel/errors.h"

namespace excel::calc {
namespace {

TEST(CalcErrorCodes, MapToTheSpreadsheetErrorValues) {
  // Besides calc_application_test.cpp's formulas: 522 a circular reference, 509 a syntax error.
  const std::pair<int, com::SCODE> cases[] = {{527, kErrName}, {521, kErrNull},  {503, kErrNum},
                                              {523, kErrNum},  {522, kErrValue}, {509, kErrValue}};
  for (const auto& [calc, excel] : cases)
    EXPECT_EQ(ExcelErrorFromCalc(calc), excel) << calc;
  // Syntax errors are told apart from results.
  for (const int code : {501, 508, 509, 511, 520})
    EXPECT_TRUE(IsFormulaSyntaxError(code)) << code;
  for (const int code : {0, 502, 503, 519, 522, 524, 525, 532, 32767})
    EXPECT_FALSE(IsFormulaSyntaxError(code)) << code;
}

// Besides the formulas calc_application_test.cpp has the application calculate.
TEST(FormulaText, ErrorValuesAndLogicalsBecomeWhatTheParserTakes) {
  const std::pair<const char16_t*, const char16_t*> changed[] = {
      {u"=#div/0!", u"=(1/0)"},
      {u"=#VALUE!+#NUM!", u"=(\"a\"*1)+SQRT(-1)"},
      {u"=IF(x,true ,False)", u"=IF(x,true() ,False())"}};
  // Texts, sheet names, calls and longer names are left as written.
  const char16_t* kept[] = {
      u"=#NULL!",    u"=\"#N/A\"&\"say \"\"TRUE\"\"\"", u"='#N/A TRUE'!A1", u"=TRUE()",
      u"=TRUE (  )", u"=TRUE!A1+TRUEVALUE+A1:TRUE",     u"=TRUE1"};
  const auto check = [](const char16_t* written, const char16_t* expected) {
    const std::u16string parsed = SpreadsheetFormulaForParser(written);
    EXPECT_EQ(parsed, std::u16string(expected)) << std::string(parsed.begin(), parsed.end());
  };
  for (const auto& [written, parsed] : changed)
    check(written, parsed);
  for (const char16_t* written : kept)
    check(written, written);
}

// Besides the addresses the contract gives (../application_contract_test.cpp).
TEST(A1Areas, ParseAsAUserWritesThem) {
  constexpr std::int32_t lastRow = kMaxRows - 1;
  constexpr std::int32_t lastColumn = kMaxColumns - 1;
  const std::pair<const char*, CellArea> cases[] = {
      {"A1", CellArea{0, 0, 0, 0}},
      {"A:C", CellArea{0, 0, 2, lastRow}},
      {"$B:$B", CellArea{1, 0, 1, lastRow}},
      {"3:5", CellArea{0, 2, lastColumn, 4}},
      {"XFD1048576", CellArea{lastColumn, lastRow, lastColumn, lastRow}}};
  for (const auto& [text, area] : cases)
    EXPECT_EQ(ParseA1Area(text), area) << text;
  for (const char* text : {"A1:", "A", "7", "A:7", "$$A1", "Rate", "A 1"})
    EXPECT_EQ(ParseA1Area(text), std::nullopt) << text;
}

// Besides the texts the contract writes (../application_contract_test.cpp).
TEST(TypedText, IsTakenAsAUserTypesIt) {
  const std::tuple<std::u16string, InputKind, double, std::u16string> cases[] = {
      {u"'", InputKind::kText, 0, u""},
      {u"=SUM(A1,B1)", InputKind::kFormula, 0, u"=SUM(A1,B1)"},
      {u"=", InputKind::kText, 0, u"="},
      {u" false ", InputKind::kLogical, 0, u""},
      {u" 42 ", InputKind::kNumber, 42, u""},
      {u".5", InputKind::kNumber, 0.5, u""},
      {u"5.", InputKind::kNumber, 5, u""},
      {u"March", InputKind::kText, 0, u"March"},
      {u"50%", InputKind::kTyped, 0, u"50%"}};
  for (const auto& [text, kind, number, stored] : cases) {
    const CellInput input = ClassifyText(text);
    EXPECT_EQ(std::tie(input.kind, input.number, input.text), std::tie(kind, number, stored))
        << std::string(text.begin(), text.end());
  }
  // Plain numbers only.
  for (const char16_t* text : {u"1e", u"e5", u"+", u"--1", u"1.2.3", u"0x10", u"1 000", u"١"})
    EXPECT_FALSE(ParsePlainNumber(text));
  EXPECT_EQ(ParsePlainNumber(u"2.5E-3"), 0.0025);
}

// How each kind of value is written: the contract's (../application_contract_test.cpp).
TEST(CellValues, AreClassifiedAndWhatNoCellHoldsIsATypeMismatch) {
  EXPECT_EQ(ClassifyValue(com::Variant::Null()).kind, InputKind::kEmpty);
  const std::pair<const char16_t*, com::SCODE> errors[] = {
      {u" #n/a ", kErrNA}, {u"#div/0!", kErrDiv0}, {u"#NULL!", kErrNull}, {u"N/A", 0}};
  for (const auto& [text, error] : errors) {
    const CellInput input = ClassifyText(text);
    EXPECT_EQ(input.kind, error ? InputKind::kError : InputKind::kText);
    EXPECT_EQ(input.error, error);
  }

  com::Variant inner = com::Variant::Double(4);
  com::VARIANT byRef{};
  byRef.vt = com::VT_BYREF | com::VT_VARIANT;
  byRef.pvarVal = &inner;
  EXPECT_EQ(ClassifyValue(byRef).number, 4);
  EXPECT_EQ(&Dereferenced(byRef), static_cast<const com::VARIANT*>(&inner));
  // Missing and a failure code are refused by the contract; an array too.
  EXPECT_EQ(excel_test::FailureOf([] { ClassifyValue(com::VariantGrid(1, 1).ToVariant()); }),
            com::DISP_E_TYPEMISMATCH);
}

// A row repeating down and cells beyond a block: calc_application_test.cpp.
TEST(ArraysOverRanges, AColumnRepeatsAcross) {
  com::VariantGrid column(2, 1);
  column.At(1, 1) = com::Variant::Double(7);
  column.At(2, 1) = com::Variant::Double(8);
  EXPECT_EQ(ArrayElementFor(column, 1, 9)->dblVal, 8);
  EXPECT_EQ(ArrayElementFor(column, 2, 0), nullptr);
  EXPECT_EQ(ArrayElementFor(com::VariantGrid(), 0, 0), nullptr);
}

// What has no filter is refused (each filter at work: calc_application_test.cpp).
TEST(Files, SaveFiltersFollowTheExtension) {
  EXPECT_TRUE(SaveFilterForPath("/x/BOOK.XLSM"));
  EXPECT_FALSE(SaveFilterForPath("book.txt"));
  EXPECT_FALSE(SaveFilterForPath("book"));
  EXPECT_FALSE(SaveFilterForPath("dir.xlsx/book"));
  EXPECT_TRUE(ImportFilterForPath("c:\\data\\In.CSV"));
  EXPECT_FALSE(ImportFilterForPath("book.xlsx"));
}

// The forms that run macros: the contract's and calc_application_test.cpp's.
TEST(MacroNames, ParseEveryFormUsersWrite) {
  const std::pair<const char*, MacroName> cases[] = {
      {"'My Book.xlsm'!Module1.Go", {"My Book.xlsm", "", "Module1", "Go"}},
      {" Go ", {"", "", "", "Go"}},
      {"Libro.Módulo1.Cálculo_2", {"", "Libro", "Módulo1", "Cálculo_2"}},
      {"Ärger!Übersicht", {"Ärger", "", "", "Übersicht"}}};
  const auto parts = [](const MacroName& n) {
    return std::make_tuple(n.book, n.library, n.module, n.procedure);
  };
  for (const auto& [text, expected] : cases) {
    const std::optional<MacroName> name = ParseMacroName(text);
    ASSERT_TRUE(name) << text;
    EXPECT_EQ(parts(*name), parts(expected)) << text;
  }
  for (const char* text : {"a.b.c.d", "Module1.", "1Go", "'Book'Go", "!Go", "Go(1)"})
    EXPECT_FALSE(ParseMacroName(text)) << text;
}

// A procedure compiled alone with its module's declarations: the workbook check's.
TEST(BasicSource, DeclaredProceduresAreFound) {
  const std::vector<BasicProcedure> found = FindBasicProcedures(
      "Option Explicit\r\nREM Sub NotThis()\n' Function NorThis()\nSub Go()\n"
      "  x = \"Sub Quoted\"\nEnd Sub\nPublic Function Add(a, b) As Double\nEnd Function\n"
      "private static sub Hidden\nFunction\nSub 9Bad()\nSub Cálculo(a)\n");
  std::vector<std::pair<std::string, bool>> names;
  for (const BasicProcedure& procedure : found)
    names.emplace_back(procedure.name, procedure.isFunction);
  EXPECT_EQ(names, (std::vector<std::pair<std::string, bool>>{
                       {"Go", false}, {"Add", true}, {"Hidden", false}, {"Cálculo", false}}));
}

}  // namespace
}  // namespace excel::calc
