#include "support/memory_cells.h"

#include <gtest/gtest.h>

#include <cmath>

#include "com/error.h"
#include "com/variant_grid.h"
#include "excel/errors.h"

namespace {

using com::Variant;
using test_support::CellBlock;
using test_support::CellPosition;

TEST(MemoryCells, CellAddresses) {
  const struct {
    const char* text;
    int row;
    int column;
  } accepted[] = {
      {"A1", 1, 1},   {"$B$7", 7, 2},   {"b7", 7, 2},
      {"B$7", 7, 2},  {"$Z10", 10, 26}, {"AA3", 3, 27},
      {"AZ1", 1, 52}, {"BA1", 1, 53},   {"XFD1048576", 1048576, 16384},
  };
  for (const auto& c : accepted) {
    const auto cell = test_support::ParseCellAddress(c.text);
    ASSERT_TRUE(cell) << c.text;
    EXPECT_EQ(*cell, (CellPosition{c.row, c.column})) << c.text;
  }
  for (const char* refused : {"", "A", "1", "A0", "A01", "XFE1", "A1048577", "$$A1", "A1$", "A 1",
                              " A1", "Sheet1!A1", "AAAA1", "A-1", "A1:B2"}) {
    EXPECT_FALSE(test_support::ParseCellAddress(refused)) << refused;
  }
  EXPECT_EQ(test_support::CellAddressText({7, 28}), "AB7");
  EXPECT_EQ(test_support::ColumnLetters(16384), "XFD");
}

TEST(MemoryCells, BlockAddressesSpanTheirCorners) {
  EXPECT_EQ(*test_support::ParseBlockAddress("C3:A1"), (CellBlock{{1, 1}, {3, 3}}));
  EXPECT_EQ(*test_support::ParseBlockAddress("$A$3:C1"), (CellBlock{{1, 1}, {3, 3}}));
  EXPECT_EQ(*test_support::ParseBlockAddress("B2"), (CellBlock{{2, 2}, {2, 2}}));
  for (const char* refused : {"A1:", ":A1", "A1:B2:C3", "A:A", "1:1", "A1;B2"}) {
    EXPECT_FALSE(test_support::ParseBlockAddress(refused)) << refused;
  }
  EXPECT_EQ(test_support::BlockAddressText({{1, 1}, {3, 3}}), "A1:C3");
}

TEST(MemoryCells, ClassicNumbers) {
  const struct {
    const char* text;
    double value;
  } numbers[] = {{"1.5", 1.5}, {" 12 ", 12}, {"-3", -3},        {"+4", 4},
                 {".5", 0.5},  {"5.", 5},    {"1e3", 1000},     {"1E-2", 0.01},
                 {"-0", -0.0}, {"007", 7},   {"\t1\xC2\xA0", 1}};
  for (const auto& c : numbers) {
    const auto value = test_support::ParseClassicNumber(c.text);
    ASSERT_TRUE(value) << c.text;
    EXPECT_EQ(*value, c.value) << c.text;
  }
  EXPECT_TRUE(std::signbit(*test_support::ParseClassicNumber("-0")));
  for (const char* text : {"", " ", "1,5", "0x10", "inf", "nan", "1e", "e5", ".", "1e400", "12abc",
                           "--1", "+-1", "1 2", "1.5.2", "\n1"}) {
    EXPECT_FALSE(test_support::ParseClassicNumber(text)) << text;
  }
}

Variant ByReference(Variant* value) {
  Variant reference;
  reference.vt = VT_BYREF | VT_VARIANT;
  reference.pvarVal = value;
  return reference;
}

TEST(MemoryCells, Value2PutTypeMapping) {
  Variant pointed = Variant::Int4(9);
  Variant wideBool = Variant::Bool(true);
  wideBool.boolVal = 1;  // any non-zero is true
  const struct {
    const char* name;
    Variant in;
    Variant value;
    const char* formula;
  } cases[] = {
      {"empty", Variant(), Variant(), ""},
      {"r8", Variant::Double(1.5), Variant::Double(1.5), ""},
      {"i4", Variant::Int4(-7), Variant::Double(-7), ""},
      {"int", Variant::Int(2), Variant::Double(2), ""},
      {"date", Variant::Date(45000.25), Variant::Double(45000.25), ""},
      {"bool", Variant::Bool(false), Variant::Bool(false), ""},
      {"bool 1", wideBool, Variant::Bool(true), ""},
      {"error", Variant::ErrorValue(excel::kErrDiv0), Variant::ErrorValue(excel::kErrDiv0), ""},
      {"numeric text", Variant::Text("42"), Variant::Double(42), ""},
      {"exponent text", Variant::Text(" 1.5e3 "), Variant::Double(1500), ""},
      {"quoted number", Variant::Text("'42"), Variant::Text("42"), ""},
      {"quote alone", Variant::Text("'"), Variant::Text(""), ""},
      {"comma decimal", Variant::Text("1,5"), Variant::Text("1,5"), ""},
      {"plain text", Variant::Text("Oil"), Variant::Text("Oil"), ""},
      {"logical text", Variant::Text(" true "), Variant::Bool(true), ""},
      {"error name", Variant::Text("#n/a"), Variant::ErrorValue(excel::kErrNA), ""},
      {"date text stays text", Variant::Text("1/2/2024"), Variant::Text("1/2/2024"), ""},
      {"equals sign alone", Variant::Text("="), Variant::Text("="), ""},
      {"null clears", Variant::Null(), Variant(), ""},
      {"empty text", Variant::Text(""), Variant(), ""},
      {"formula", Variant::Text("=SUM(A1,B1)"), Variant(), "=SUM(A1,B1)"},
      {"quoted formula", Variant::Text("'=A1"), Variant::Text("=A1"), ""},
      {"by reference", ByReference(&pointed), Variant::Double(9), ""},
  };
  for (const auto& c : cases) {
    const test_support::CellInput input = test_support::InterpretInput(c.in);
    EXPECT_EQ(input.value, c.value) << c.name;
    EXPECT_EQ(input.formula, c.formula) << c.name;
  }
}

TEST(MemoryCells, Value2PutRefusals) {
  const struct {
    const char* name;
    Variant in;
    HRESULT hr;
  } cases[] = {
      {"missing", Variant::Missing(), com::DISP_E_TYPEMISMATCH},
      {"other error code", Variant::ErrorValue(com::E_FAIL), com::DISP_E_TYPEMISMATCH},
      {"array", com::VariantGrid(1, 1).ToVariant(), com::DISP_E_TYPEMISMATCH},
  };
  for (const auto& c : cases) {
    try {
      test_support::InterpretInput(c.in);
      ADD_FAILURE() << c.name << " was accepted";
    } catch (const com::Error& error) {
      EXPECT_EQ(error.hr(), c.hr) << c.name;
    }
  }
}

}  // namespace
