#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <array>
#include <string>
#include <utility>
#include <vector>

#include "com/error_text.h"
#include "stream_fixture.h"
#include "streams/stream_transfer.h"

namespace streams_test {
namespace {

using com::Variant;
using Variants = std::vector<Variant>;
constexpr double kRunDate = 45000.5;

class SetIprTest : public StreamTest {
 protected:
  void SetUp() override {
    StreamTest::SetUp();
    ipr_.PutWord(EXT_IPR_HANDLE_OFFSET, 0);  // In-1
    Input(0).sheetName = "Flow";
    const std::pair<std::size_t, double> given[] = {
        {EXT_IPR_OIL_RATE_OFFSET, 100},    {EXT_IPR_WATER_RATE_OFFSET, 50},
        {EXT_IPR_GAS_RATE_OFFSET, 2.5},    {EXT_IPR_PRESSURE_OFFSET, 145},
        {EXT_IPR_TEMPERATURE_OFFSET, 150}, {EXT_IPR_OIL_GRAVITY_OFFSET, 0.85},
        {EXT_IPR_GAS_GRAVITY_OFFSET, 0.7}, {EXT_IPR_WATER_GRAVITY_OFFSET, 1.02}};
    for (const auto& [field, value] : given)
      ipr_.Put(field, value);
  }

  std::int32_t Set(std::uint32_t timestep = 0) {
    return streams::SetIPR(details_, session_.get(), {kRunDate, timestep}, Ipr(), Status());
  }

  // Binds every row of a grid to <column>2 ... <column>11 with the given units.
  void BindRows(std::array<streams::CExcPropertyCell, streams::kInputRowCount>& grid,
                const std::array<std::uint32_t, streams::kInputRowCount>& units,
                const char* column) {
    for (std::size_t row = 0; row < grid.size(); ++row)
      grid[row] = {column + std::to_string(row + 2), units[row]};
  }

  // Binds In-1 to the composition "Gas" of `count` components, its table at
  // B20, matrix at R20, EOS model at B31 and mass rate at B30.
  streams::CExcStreamCompositionData& UseComposition(std::size_t count) {
    AddComposition("Gas", count);
    Input(0).compositionName = "Gas";
    auto& block = Input(0).composition;
    block.componentTableCell = "B20";
    block.interactionCell = "R20";
    block.eosModelCell = "B31";
    block.massRateCell = "B30";
    return block;
  }
};

TEST_F(SetIprTest, SolverCellsGetNumbersInTheirUnits) {
  Input(0).forecastDisplay = false;
  BindRows(Input(0).solverCells, {0, 1, 0, 1, 1, 2, 1, 4, 4, 4}, "C");
  ASSERT_EQ(Set(), 0) << StatusText();
  const double expected[] = {kRunDate,             // Date
                             100 * 0.158987,       // Oil Rate, Sm3/d
                             50,                   // Water Rate, STB/d
                             150 * 0.158987,       // Liquid Rate: oil + water
                             2.5 * 28.174,         // Gas Rate, 1000Sm3/d
                             145 * 0.068948,       // Pressure, BARg
                             (150 - 32) * 0.5555,  // Temperature, deg C
                             0.85,
                             1.02,
                             0.7};  // oil, water and gas gravity
  for (std::size_t row = 0; row < std::size(expected); ++row) {
    const Variant cell = Cell("C" + std::to_string(row + 2));
    ASSERT_EQ(cell.vt, VT_R8) << row;
    EXPECT_DOUBLE_EQ(cell.dblVal, expected[row]) << row;
  }
  EXPECT_EQ(recorder_->CountOf("Range.Invoke"), 10u);
  EXPECT_EQ(StatusText(), "");
}

TEST_F(SetIprTest, ForecastCellsStepOnePlacePerTimestep) {
  Input(0).solverDisplay = false;
  const struct {
    const char* configured;
    std::uint32_t direction;
    std::uint32_t timestep;
    const char* written;
  } cases[] = {
      {"C5", 1, 3, "C8"},   {"C5", 0, 3, "F5"},  {"C5", 1, 0, "C5"}, {"C5", 0, 0, "C5"},
      {"$C$5", 1, 2, "C7"}, {"z5", 0, 1, "AA5"}, {"C5", 2, 1, "D5"},
  };
  int sheet = 0;
  for (const auto& c : cases) {
    // A fresh sheet per case, so that only this case's cells are there.
    const std::string name = "Step" + std::to_string(++sheet);
    book_->AddWorksheet(name);
    Input(0).sheetName = name;
    Input(0).forecastDirection = c.direction;
    Input(0).forecastCells[streams::kInOilRate] = {c.configured, 0};
    Input(0).forecastCells[streams::kInDate] = {"A1", 0};
    recorder_->Clear();
    ASSERT_EQ(Set(c.timestep), 0) << StatusText();
    SCOPED_TRACE(std::string(c.configured) + " at timestep " + std::to_string(c.timestep));
    EXPECT_EQ(Cell(c.written, name), Variant::Double(100));
    const std::string dateCell = c.direction == 1
                                     ? "A" + std::to_string(1 + c.timestep)
                                     : std::string(1, static_cast<char>('A' + c.timestep)) + "1";
    EXPECT_EQ(Cell(dateCell, name), Variant::Double(kRunDate));
    EXPECT_EQ(recorder_->CountOf("Range.Invoke"), 2u) << "oil and date only";
  }
}

TEST_F(SetIprTest, UndefinedHostValuesAreSkippedTheRestWritten) {
  BindRows(Input(0).solverCells, {}, "C");
  BindRows(Input(0).forecastCells, {}, "E");
  Input(0).forecastDirection = 0;
  ipr_.Put(EXT_IPR_OIL_RATE_OFFSET, kUndefined);
  ipr_.Put(EXT_IPR_GAS_RATE_OFFSET, 3.3e35);
  ipr_.Put(EXT_IPR_GAS_GRAVITY_OFFSET, kUndefined);
  ASSERT_EQ(Set(1), 0) << StatusText();
  for (const std::string column : {"C", "F"}) {  // solver, forecast one column on
    // Date, oil, water, liquid (needs both), gas, pressure, ..., gas gravity.
    EXPECT_EQ(
        (Variants{Cell(column + "2"), Cell(column + "3"), Cell(column + "4"), Cell(column + "5"),
                  Cell(column + "6"), Cell(column + "7"), Cell(column + "11")}),
        (Variants{Variant::Double(kRunDate), Variant(), Variant::Double(50), Variant(), Variant(),
                  Variant::Double(145), Variant()}))
        << column;
  }
  EXPECT_EQ(recorder_->CountOf("Range.Invoke"), 12u) << "6 of 10 rows in each grid";

  ipr_.Put(EXT_IPR_OIL_RATE_OFFSET, 1);
  ipr_.Put(EXT_IPR_WATER_RATE_OFFSET, kUndefined);
  ASSERT_EQ(Set(1), 0);
  EXPECT_EQ((Variants{Cell("C3"), Cell("C5")}), (Variants{Variant::Double(1), Variant()}))
      << "liquid rate needs both";

  // The display flags switch each grid off.
  Input(0).solverDisplay = false;
  ipr_.Put(EXT_IPR_OIL_RATE_OFFSET, 2);
  ASSERT_EQ(Set(1), 0);
  EXPECT_EQ((Variants{Cell("C3"), Cell("F3")}), (Variants{Variant::Double(1), Variant::Double(2)}));
  Input(0).solverDisplay = true;
  Input(0).forecastDisplay = false;
  ipr_.Put(EXT_IPR_OIL_RATE_OFFSET, 3);
  ASSERT_EQ(Set(1), 0);
  EXPECT_EQ((Variants{Cell("C3"), Cell("F3")}), (Variants{Variant::Double(3), Variant::Double(2)}));
}

TEST_F(SetIprTest, WithoutFlagsNamesAndFractionsAreWrittenAndDashesElsewhere) {
  UseComposition(3).massRateUnit = 1;  // kg/d
  ipr_.PutWord(EXT_IPR_COMPONENT_FLAGS_OFFSET, 0);
  ipr_.PutWord(EXT_IPR_EOS_MODEL_OFFSET, 0);
  ipr_.Put(EXT_IPR_MASS_RATE_OFFSET, 1000);
  const double fractions[] = {0.1, 0.2, kUndefined};
  for (std::size_t i = 0; i < 3; ++i)
    ipr_.Put(ComponentField(1, i), fractions[i]);

  ASSERT_EQ(Set(), 0) << StatusText();
  for (std::size_t i = 0; i < 3; ++i) {
    EXPECT_EQ(Cell(TableCell(0, i)), Variant::Text("C" + std::to_string(i + 1)));
    EXPECT_EQ(Cell(TableCell(1, i)), Variant::Double(fractions[i])) << "no undefined test";
    for (std::size_t k = 2; k <= 14; ++k)
      EXPECT_EQ(Cell(TableCell(k, i)), Variant::Text("--")) << k;
  }
  for (const std::string& cell : RangesAsked())
    EXPECT_NE(cell[0], 'R') << "the matrix is left alone";
  EXPECT_EQ(Cell("B31"), Variant::Text("--"));
  EXPECT_DOUBLE_EQ(Cell("B30").dblVal, 1000 * 0.453592);
}

TEST_F(SetIprTest, FlaggedColumnsAndTheMatrixAreWrittenConverted) {
  auto& block = UseComposition(3);
  block.massRateCell = "";
  block.columnUnits[1] = 1;   // Critical Temperature: deg C
  block.columnUnits[2] = 3;   // Critical Pressure: BARa
  block.columnUnits[12] = 1;  // COSTALD Vcrit: m3/kg.mol
  // Every column but Parachor (0x400) is given.
  ipr_.PutWord(EXT_IPR_COMPONENT_FLAGS_OFFSET, 0x3FFF & ~0x400);
  auto value = [](std::size_t k, std::size_t i) { return 100.0 * k + i; };
  for (std::size_t i = 0; i < 3; ++i) {
    for (std::size_t k = 1; k <= 14; ++k)
      ipr_.Put(ComponentField(k, i), value(k, i));
    for (std::size_t j = 0; j < 3; ++j)
      ipr_.Put(MatrixField(i, j), 0.001 * (10 * i + j));
  }

  for (const std::uint32_t eos : {1u, 2u, 3u}) {
    ipr_.PutWord(EXT_IPR_EOS_MODEL_OFFSET, eos);
    ASSERT_EQ(Set(), 0) << StatusText();
    EXPECT_EQ(Cell("B31"), Variant::Text(eos == 1 ? "PR" : eos == 2 ? "SRK" : "--"));
  }
  for (std::size_t i = 0; i < 3; ++i) {
    SCOPED_TRACE(i);
    EXPECT_DOUBLE_EQ(Cell(TableCell(2, i)).dblVal, (value(2, i) - 32) * 0.5555);
    EXPECT_DOUBLE_EQ(Cell(TableCell(3, i)).dblVal, (value(3, i) + 14.696) * 0.068948);
    EXPECT_DOUBLE_EQ(Cell(TableCell(13, i)).dblVal, value(13, i) * 0.06243);
    for (const std::size_t k : {1, 4, 5, 6, 7, 8, 9, 10, 11, 14})
      EXPECT_EQ(Cell(TableCell(k, i)), Variant::Double(value(k, i))) << k;
    EXPECT_EQ(Cell(TableCell(12, i)), Variant::Text("--")) << "Parachor not given";
    for (std::size_t j = 0; j < 3; ++j) {
      EXPECT_EQ(Cell(MatrixCell(i, j)),
                i == j ? Variant::Text("--") : Variant::Double(0.001 * (10 * i + j)))
          << j;
    }
  }
  EXPECT_EQ(Cell("B30"), Variant()) << "no mass rate cell";

  // A blank table cell skips only the table.
  block.componentTableCell = "";
  block.eosModelCell = "";
  block.massRateCell = "B30";
  ipr_.Put(EXT_IPR_MASS_RATE_OFFSET, 12);
  recorder_->Clear();
  ASSERT_EQ(Set(), 0) << StatusText();
  EXPECT_EQ(Cell("B30"), Variant::Double(12));
  EXPECT_EQ(recorder_->CountOf("Range.Invoke"), 10u) << "9 matrix cells and the mass rate";
}

TEST_F(SetIprTest, AMissingSheetIsAddedAndTheStreamKeepsItsName) {
  Input(0).solverCells[streams::kInOilRate] = {"C3", 0};
  Input(0).sheetName = "Wells";
  ASSERT_EQ(Set(), 0) << StatusText();
  EXPECT_EQ(Input(0).sheetName, "Wells");
  EXPECT_EQ(Cell("C3", "Wells"), Variant::Double(100));

  Input(0).sheetName = "";
  const std::vector<std::string> before = book_->SheetNames();
  ASSERT_EQ(Set(), 0) << StatusText();
  const std::vector<std::string> after = book_->SheetNames();
  ASSERT_EQ(after.size(), before.size() + 1);
  EXPECT_THAT(after, ::testing::Contains(Input(0).sheetName));
  EXPECT_THAT(before, ::testing::Not(::testing::Contains(Input(0).sheetName)));
  EXPECT_EQ(Cell("C3", Input(0).sheetName), Variant::Double(100));

  Input(0).sheetName = "bad/name";
  EXPECT_EQ(Set(), 1);
  EXPECT_THAT(
      StatusText(),
      ::testing::StartsWith("Error in setting data in Excel: Failed to create new worksheet ("));
  EXPECT_EQ(Input(0).sheetName, "bad/name");
}

TEST_F(SetIprTest, AFailurePartWayLeavesTheCellsAlreadyWritten) {
  Input(0).forecastDisplay = false;
  BindRows(Input(0).solverCells, {}, "C");
  recorder_->FailCall("Range.Invoke", com::RPC_E_DISCONNECTED, 3);
  EXPECT_EQ(Set(), 1);
  EXPECT_EQ(StatusText(),
            "Error in setting data in Excel: " + com::ComErrorText(com::RPC_E_DISCONNECTED));
  EXPECT_EQ((Variants{Cell("C2"), Cell("C3"), Cell("C4")}),
            (Variants{Variant::Double(kRunDate), Variant::Double(100), Variant()}));
  EXPECT_EQ(recorder_->CountOf("Range.Invoke"), 3u) << "stops at once";
}

}  // namespace
}  // namespace streams_test
