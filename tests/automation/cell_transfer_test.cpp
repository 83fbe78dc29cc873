// Cell addresses, and cells read and written through the session.
#include "automation/cell_transfer.h"

#include <gtest/gtest.h>

#include <bit>
#include <cfloat>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "automation/cell_address.h"
#include "com/error.h"
#include "com/variants/variant_text.h"
#include "excel/errors.h"
#include "gridmoor/host.h"
#include "session_fixture.h"
#include "text/number.h"

namespace {

TEST(CellAddress, NumericPairsBecomeA1AddressesInsideTheSheetOnly) {
  const struct {
    const char* cell;
    const char* address;
  } cases[] = {{"1:1", "A1"},    {"26:3", "Z3"},   {"27:3", "AA3"},
               {"702:9", "ZZ9"}, {" 3: 7", "C7"},  {"3:7:9", "C7"},
               {"2x:5y", "B5"},  {"$B$7", "$B$7"}, {"", ""}};
  for (const auto& c : cases)
    EXPECT_EQ(automation::CellAddress(c.cell), c.address) << c.cell;
  // The two-letter form wraps past ZZ, and a row below 1 is no row: such a
  // pair must never turn into another cell's address.
  for (const char* cell : {"703:1", "0:1", "6683:1", "1:0", "A1:B2", ":5", "99999999999999999999:1",
                           "1:99999999999999999999"}) {
    EXPECT_EQ(automation::CellAddress(cell), "") << cell;
  }
}

TEST(CellAddress, TypedReferencesAreAddressesPairsOrNames) {
  const struct {
    const char* cell;
    bool valid;
  } cases[] = {{"B5", true},      {"$b$5", true},      {"XFD1048576", true}, {"3:7", true},
               {" 3 : 7 ", true}, {"Total_oil", true}, {"_x.1", true},       {"B5x", false},
               {"R1C1", false},   {"XFE1", false},     {"A1048577", false},  {"B0", false},
               {"Well12", true},  {"B 5", false},      {"A1:B2", false},     {"703:1", false},
               {"2x:5y", false},  {"", false},         {"5", false},         {"Sheet1!B5", false},
               {"$$B5", false},   {"B$", false},       {"A1", true}};
  for (const auto& c : cases)
    EXPECT_EQ(automation::IsCellReference(c.cell), c.valid) << c.cell;
}

TEST(OffsetCell, StepsRowsAndColumnsOfWholeAddressesOnly) {
  // clang-format off
  const struct {
    const char* address;
    int count;
    bool byRow;
    const char* expected;
  } cases[] = {
      {"$B$7", 3, true, "B10"}, {"b7", 2, false, "D7"}, {"Z7", 1, false, "AA7"},
      {"B7", -10, true, "B-3"}, {"AZ1", 1, false, "BA1"}, {"ZZ1", 1, false, "AAA1"},
      {"b7", 0, false, "B7"}, {"b7", -4, false, "B7"}, {"b7", 0, true, "b7"},
      {"XFD1048576", 1, true, "XFD1048577"}, {"ABCDEFG1", 1, false, "ABCDEFH1"},
      {"ZZZZZZZ1", 1, false, "AAAAAAAA1"}, {"A1", 2147483647, false, "FXSHRXX1"},
      {"A1B2", 1, true, "A13"}};  // digits anywhere belong to the row
  // clang-format on
  for (const auto& c : cases) {
    EXPECT_EQ(automation::OffsetCell(c.address, c.count, c.byRow), c.expected)
        << c.address << " by " << c.count << (c.byRow ? " rows" : " columns");
  }
  // Nothing without both parts or beyond seven characters.
  for (const char* address : {"B0", "", "B", "7", "$$", "ABCDEFGH1", "A12345678", "1B"}) {
    EXPECT_EQ(automation::OffsetCell(address, 1, true), "") << address;
    EXPECT_EQ(automation::OffsetCell(address, 1, false), "") << address;
  }
}

// A number read ahead skips its text: it must still come back exactly as
// its 15-digit text reads, the short numbers the shortcut takes, the long
// ones it leaves, the edges of the range and the subnormals alike.
TEST(NumberThroughText, GivesWhatTheCellsTextReadsAs) {
  std::vector<double> values = {0.0,
                                -0.0,
                                1.0,
                                -1.0,
                                116.0,
                                0.1,
                                0.1 + 0.2,
                                1e15,
                                1e16,
                                1e23,
                                2.675,
                                1.0 / 3,
                                5e-324,
                                DBL_MIN,
                                -DBL_MAX,
                                DBL_MAX,
                                1e308,
                                9007199254740993.0,
                                123456789012345.0,
                                1234567890123456.0,
                                9.99999999999999e22};
  std::mt19937_64 random(49);
  for (int i = 0; i < 20000; ++i) {
    // Any bit pattern, and decimals of 1 to 17 digits over a wide range.
    const double bits = std::bit_cast<double>(random());
    if (std::isfinite(bits)) values.push_back(bits);
    const int digits = 1 + static_cast<int>(random() % 17);
    const double mantissa =
        static_cast<double>(random() % static_cast<std::uint64_t>(std::pow(10, digits)));
    values.push_back(mantissa * std::pow(10.0, static_cast<int>(random() % 40) - 20));
    // The double nearest a decimal of 14 to 17 digits, as a text reads.
    const std::string decimal = std::to_string(random() % 100000000000000000ULL) + "e" +
                                std::to_string(static_cast<int>(random() % 40) - 30);
    double read = 0;
    std::from_chars(decimal.data(), decimal.data() + decimal.size(), read);
    values.push_back(read);
  }
  for (const double value : values) {
    const std::optional<double> expected = text::ParseWholeNumber(com::FormatDouble(value));
    const std::optional<double> got = automation::NumberThroughText(value);
    ASSERT_EQ(got.has_value(), expected.has_value()) << com::FormatDouble(value, 17);
    if (expected) {
      EXPECT_EQ(std::bit_cast<std::uint64_t>(*got), std::bit_cast<std::uint64_t>(*expected))
          << com::FormatDouble(value, 17);
    }
  }
}

using automation::ReadCellDouble;
using automation::ReadCellNumber;
using automation::ReadCellText;
using automation::WriteCellText;
using com::Variant;

class CellTransferTest : public test_support::SessionTest {
 protected:
  void SetUp() override {
    session_ = NewSession();
    ASSERT_EQ(session_->NewWorkbook().Message(), "");
    book_ = Application()->ActiveWorkbook();
    book_->AddWorksheet("Data");
    recorder_->Clear();
  }

  // The text read, or "" with the failure's message in failure_.
  std::string Text(const std::string& sheet, const std::string& cell, bool fails = false) {
    outcome::Expected<std::string> text = ReadCellText(session_.get(), sheet, cell);
    failure_ = text ? "" : text.GetError().Message();
    EXPECT_EQ(!text, fails) << sheet << "!" << cell << ": " << failure_;
    return text ? *text : "";
  }
  // The number read, or the undefined value with the failure's message in failure_.
  double Number(const std::string& sheet, const std::string& cell) {
    outcome::Expected<double> value = ReadCellDouble(session_.get(), sheet, cell);
    failure_ = value ? "" : value.GetError().Message();
    return value ? *value : EXT_UNDEFINED_VALUE;
  }
  std::string Write(const std::string& sheet, const std::string& cell, const std::string& text) {
    return WriteCellText(session_.get(), sheet, cell, text).Message();
  }

  std::string failure_;

  std::unique_ptr<automation::CExcExcelObj> session_;
  com::Ptr<test_support::MemoryWorkbook> book_;
};

// A read's and a write's failures with their messages; a successful write
// at the pair form after them.
TEST_F(CellTransferTest, ReadsAndWritesFailWithTheirMessages) {
  // No sheet selected yet: nothing can be written, and that is no success.
  EXPECT_EQ(Write("", "A1", "1"), "Error in setting data cell A1, worksheet ");
  book_->SetCellValue("Data", "A1", Variant::ErrorValue(excel::kErrDiv0));
  EXPECT_EQ(Text("Data", "A1", true), "");
  EXPECT_EQ(failure_, "Could not get Data.Cell[A1]");
  EXPECT_EQ(Number("Data", "A1"), EXT_UNDEFINED_VALUE);
  EXPECT_EQ(failure_, "Could not get Data.Cell[A1]");
  EXPECT_EQ(Text(std::string(300, 'S'), "A1", true), "");
  EXPECT_EQ(failure_.size(), 259u) << "cut to the field";
  // Which texts read as numbers is the streams' and published values' tests';
  // a long text is shown by its start, cut at a character boundary.
  book_->SetCellValue("Data", "B4", Variant::Text(std::string(39, 'x') + "\xc3\xa9 and more"));
  EXPECT_EQ(Number("Data", "B4"), EXT_UNDEFINED_VALUE);
  EXPECT_EQ(failure_, "Error in getting data from Excel: Type mismatch. Data!B4 holds \"" +
                          std::string(39, 'x') + "...\", not a number");
  EXPECT_EQ(Write("Data", "2:3", "hello"), "");
  EXPECT_EQ(book_->CellValue("Data", "B3"), Variant::Text("hello"));
}

// A read or write that fails because the application has gone says why
// after its own words: no retry mends that, unlike a cell at fault.
TEST_F(CellTransferTest, AFailureOfAGoneApplicationSaysWhy) {
  EXPECT_EQ(Text("Data", "A1"), "");
  Application()->Quit();
  const std::string why = com::Error(com::RPC_E_DISCONNECTED).ErrorMessage();
  EXPECT_EQ(Text("", "A1", true), "");
  EXPECT_EQ(failure_, "Could not get .Cell[A1]: " + why);
  EXPECT_EQ(Write("", "A1", "1"), "Error in setting data cell A1, worksheet : " + why);
}

// An empty or blank sheet name reads the current sheet and selects nothing.
TEST_F(CellTransferTest, BlankSheetNamesSelectNothingAndReadCellNumberKeepsItsOwnRules) {
  book_->SetCellValue("Data", "C2", Variant::Double(5));
  EXPECT_EQ(Text("", "C2"), "") << "no sheet selected yet: nothing to read";
  ASSERT_EQ(session_->SelectWorksheet("Data").Message(), "");
  EXPECT_EQ(Text("Data", "   "), "") << "a blank cell is not bound";
  book_->SetCellValue("Data", "A1", Variant::Double(2.5));
  const auto number = [&](const std::string& sheet, const std::string& cell) {
    const outcome::Expected<double> read = ReadCellNumber(session_.get(), sheet, cell);
    EXPECT_TRUE(read) << read.GetError().Message();
    return read ? *read : -1.0;
  };
  EXPECT_EQ(number("Data", "A1"), 2.5);
  EXPECT_EQ(number("Data", "B9"), EXT_UNDEFINED_VALUE) << "an empty cell is undefined, not 0";
  EXPECT_EQ(number("Data", "  "), EXT_UNDEFINED_VALUE);

  recorder_->Clear();
  EXPECT_EQ(Text("", "C2"), "5");
  EXPECT_EQ(number("   ", "A1"), 2.5);
  EXPECT_EQ(recorder_->CountOf("Sheets.GetItem"), 0u);

  const outcome::Expected<double> noSheet = ReadCellNumber(session_.get(), "Nope", "A1");
  ASSERT_FALSE(noSheet);
  EXPECT_EQ(noSheet.GetError().Message(), "Unable to get worksheet Nope");
  // The text is used as it stands: a pair is not converted, and the
  // application's refusal gives its own words.
  const outcome::Expected<double> pair = ReadCellNumber(session_.get(), "Data", "1:1");
  ASSERT_FALSE(pair);
  EXPECT_EQ(pair.GetError().Message(), com::Error(com::SHEET_E_APPLICATION_DEFINED).ErrorMessage());
  book_->SetCellValue("Data", "A2", Variant::ErrorValue(excel::kErrNA));
  const outcome::Expected<double> errorValue = ReadCellNumber(session_.get(), "Data", "A2");
  ASSERT_FALSE(errorValue) << "an error value is no number";
  EXPECT_EQ(errorValue.GetError().Message(),
            "Type mismatch. Data!A2 holds the error value #N/A, not a number");
}

}  // namespace
