#include "automation/cell_address.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using automation::CellAddress;
using automation::OffsetCell;

TEST(CellAddress, NumericPairsBecomeA1Addresses) {
  const struct {
    const char* cell;
    const char* address;
  } cases[] = {
      {"1:1", "A1"},   {"26:3", "Z3"},   {"27:3", "AA3"}, {"52:1", "AZ1"},
      {"53:1", "BA1"}, {"702:9", "ZZ9"}, {" 3: 7", "C7"}, {"3:7:9", "C7"},
      {"2x:5y", "B5"}, {"$B$7", "$B$7"}, {"A1:", "A1:"},  {"", ""},
  };
  for (const auto& c : cases)
    EXPECT_EQ(CellAddress(c.cell), c.address) << c.cell;
}

TEST(CellAddress, PairsOutsideTheSheetNameNoCell) {
  // The two-letter form wraps past ZZ, and a row below 1 is no row: such a
  // pair must never turn into another cell's address.
  for (const char* cell : {"703:1", "0:1", "-255:1", "6683:1", "1:0", "1:-3", "A1:B2", ":5",
                           "99999999999999999999:1", "1:99999999999999999999"}) {
    EXPECT_EQ(CellAddress(cell), "") << cell;
  }
}

TEST(CellAddress, TypedReferencesAreAddressesPairsOrNames) {
  const struct {
    const char* cell;
    bool valid;
  } cases[] = {
      {"B5", true},      {"$b$5", true},      {"XFD1048576", true}, {"3:7", true},
      {" 3 : 7 ", true}, {"Total_oil", true}, {"_x.1", true},       {"B5x", false},
      {"R1C1", false},   {"XFE1", false},     {"A1048577", false},  {"B0", false},
      {"Well12", true},  {"B 5", false},      {"A1:B2", false},     {"703:1", false},
      {"2x:5y", false},  {"", false},         {"5", false},         {"Sheet1!B5", false},
      {"$$B5", false},   {"B$", false},
  };
  for (const auto& c : cases)
    EXPECT_EQ(automation::IsCellReference(c.cell), c.valid) << c.cell;
}

TEST(OffsetCell, StepsRowsAndColumns) {
  const struct {
    const char* address;
    int count;
    bool byRow;
    const char* expected;
  } cases[] = {
      {"$B$7", 3, true, "B10"}, {"b7", 2, false, "D7"},
      {"Z7", 1, false, "AA7"},  {"B7", -10, true, "B-3"},
      {"AZ1", 1, false, "BA1"}, {"ZZ1", 1, false, "AAA1"},
      {"b7", 0, false, "B7"},   {"b7", -4, false, "B7"},
      {"b7", 0, true, "b7"},    {"XFD1048576", 1, true, "XFD1048577"},
      {"A1B2", 1, true, "A13"},  // digits anywhere belong to the row
  };
  for (const auto& c : cases) {
    EXPECT_EQ(OffsetCell(c.address, c.count, c.byRow), c.expected)
        << c.address << " by " << c.count << (c.byRow ? " rows" : " columns");
  }
}

TEST(OffsetCell, GivesNothingWithoutBothPartsOrBeyondSevenCharacters) {
  for (const char* address : {"B0", "", "B", "7", "$$", "ABCDEFGH1", "A12345678", "1B"}) {
    EXPECT_EQ(OffsetCell(address, 1, true), "") << address;
    EXPECT_EQ(OffsetCell(address, 1, false), "") << address;
  }
  EXPECT_EQ(OffsetCell("ABCDEFG1", 1, false), "ABCDEFH1");
  EXPECT_EQ(OffsetCell("ZZZZZZZ1", 1, false), "AAAAAAAA1");
  EXPECT_EQ(OffsetCell("A1", 2147483647, false), "FXSHRXX1");
}

}  // namespace
