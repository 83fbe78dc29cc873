// A 20-component stream pushed into a real office workbook with SetIPR and
// read back with GetIPR through output cells that are formulas of the input
// cells: a separator that keeps 90 % of the oil, drops the pressure and
// cools the stream, and a composition block passed through in other units.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "automation/cell_address.h"
#include "automation/excel_session.h"
#include "case/case_details.h"
#include "case/composition.h"
#include "case/stream_data.h"
#include "excel/calc/calc_application.h"
#include "excel/calc/calc_test_support.h"
#include "gridmoor/host.h"
#include "ipr_record.h"
#include "streams/stream_transfer.h"
#include "support/temp_registry.h"

namespace streams_test {
namespace {

using automation::OffsetCell;
constexpr std::size_t kComponents = 20;

// Relative agreement to what 15 significant digits of cell text keep.
void ExpectClose(double actual, double expected, const std::string& what) {
  EXPECT_NEAR(actual, expected, 1e-12 * std::max(1.0, std::abs(expected))) << what;
}

class CalcStreamTest : public excel::calc::testing::CalcTest {
 protected:
  void SetUp() override {
    CalcTest::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    excel::calc::RegisterCalcApplication();
    std::string error;
    session_ = automation::CreateExcelSession(error);
    ASSERT_NE(session_, nullptr) << error;
    ASSERT_EQ(session_->NewWorkbook(message_), 0) << message_;
  }
  void TearDown() override {
    if (session_) {
      session_->CloseWorkbook();
      session_->Quit();
      session_.reset();
    }
    CalcTest::TearDown();
  }

  void Formula(const std::string& cell, const std::string& formula) {
    ASSERT_EQ(session_->SetCellValue(cell, com::Variant::Text(formula)), 0) << cell;
  }

  test_support::ScopedEnv calc_{"GRIDMOOR_SPREADSHEET", "calc"};
  std::unique_ptr<automation::CExcExcelObj> session_;
  char message_[EXT_STATUS_TEXT_SIZE] = {};
};

TEST_F(CalcStreamTest, ASeparatorWorkbookGivesBackWhatItWasGiven) {
  model::CExcCaseDetails details;
  details.inputCount = 1;
  details.outputCount = 1;
  streams::ResizeStreams(details.inputStreams, 1);
  streams::ResizeStreams(details.outputStreams, 1);
  details.useCompositions = 1;
  std::vector<std::string> names;
  for (std::size_t i = 0; i < kComponents; ++i)
    names.push_back("Comp-" + std::to_string(i + 1));
  details.compositions.Add(std::make_unique<streams::CExcCompositionDefinition>("Well", names));

  // In-1 writes into the sheet "Separator", which SetIPR adds.
  streams::CExcInputStreamData& in = *details.inputStreams.At(0);
  in.sheetName = "Separator";
  in.forecastDisplay = false;
  const std::uint32_t inUnits[] = {0, 1, 0, 1, 2, 3, 1, 0, 0, 0};
  for (std::size_t row = 0; row < streams::kInputRowCount; ++row)
    in.solverCells[row] = {"B" + std::to_string(row + 2), inUnits[row]};
  in.compositionName = "Well";
  in.composition.componentTableCell = "A20";
  in.composition.interactionCell = "Q20";
  in.composition.massRateCell = "B14";
  in.composition.massRateUnit = 1;  // kg/d
  in.composition.eosModelCell = "B15";
  in.composition.columnUnits[1] = 1;   // Critical Temperature: deg C
  in.composition.columnUnits[2] = 3;   // Critical Pressure: BARa
  in.composition.columnUnits[3] = 1;   // Critical Volume: m3/kg.mol
  in.composition.columnUnits[7] = 1;   // Boiling Point: deg C
  in.composition.columnUnits[12] = 1;  // COSTALD Vcrit: m3/kg.mol

  // The host's stream: internal units.
  const double oil = 1200, water = 300, gas = 4.5, pressure = 850, temperature = 140;
  const double massRate = 25000;
  IprRecord pushed;
  pushed.PutWord(EXT_IPR_HANDLE_OFFSET, 0);
  const std::pair<std::size_t, double> values[] = {{EXT_IPR_OIL_RATE_OFFSET, oil},
                                                   {EXT_IPR_WATER_RATE_OFFSET, water},
                                                   {EXT_IPR_GAS_RATE_OFFSET, gas},
                                                   {EXT_IPR_PRESSURE_OFFSET, pressure},
                                                   {EXT_IPR_TEMPERATURE_OFFSET, temperature},
                                                   {EXT_IPR_OIL_GRAVITY_OFFSET, 0.86},
                                                   {EXT_IPR_GAS_GRAVITY_OFFSET, 0.72},
                                                   {EXT_IPR_WATER_GRAVITY_OFFSET, 1.03},
                                                   {EXT_IPR_MASS_RATE_OFFSET, massRate}};
  for (const auto& [field, value] : values)
    pushed.Put(field, value);
  pushed.PutWord(EXT_IPR_EOS_MODEL_OFFSET, EXT_EOS_PR);
  pushed.PutWord(EXT_IPR_COMPONENT_FLAGS_OFFSET, 0x3FFF);
  auto property = [](std::size_t k, std::size_t i) { return 1.5 * k + 0.25 * i + 0.125; };
  auto coefficient = [](std::size_t i, std::size_t j) { return 0.001 * (i + 1) + 0.0001 * j; };
  for (std::size_t i = 0; i < kComponents; ++i) {
    for (std::size_t k = 1; k <= 14; ++k)
      pushed.Put(ComponentField(k, i), property(k, i));
    for (std::size_t j = 0; j < kComponents; ++j)
      pushed.Put(MatrixField(i, j), coefficient(i, j));
  }

  ExtStatusRecord status{};
  ASSERT_EQ(streams::SetIPR(details, session_.get(), {45000, 0}, pushed.bytes.data(), &status), 0)
      << status.text;
  EXPECT_EQ(in.sheetName, "Separator");

  // The separator: Out-1's cells are formulas of In-1's, on the same sheet.
  // Input rows: B2 date, B3 oil (Sm3/d), B4 water (STB/d), B5 liquid, B6 gas
  // (Mscf/d), B7 pressure (BARa), B8 temperature (deg C), B9-B11 gravities.
  Formula("D3", "=B3*0.9");       // oil, Sm3/d: 90 % of it leaves here
  Formula("D4", "=B4");           // water, STB/d
  Formula("D6", "=B6/1000");      // gas, MMscf/d
  Formula("D7", "=B7*0.5");       // pressure, BARa: half the absolute pressure
  Formula("D8", "=B8-5");         // temperature, deg C: 5 degrees cooler
  Formula("D9", "=B9");           // oil gravity
  Formula("D10", "=B10");         // water gravity
  Formula("D11", "=B11");         // gas gravity
  Formula("D14", "=B14*2");       // mass rate, kg/d
  Formula("D15", "=LOWER(B15)");  // EOS name
  // The output component table at A50 and matrix at Q50 copy the input ones.
  for (std::size_t i = 0; i < kComponents; ++i) {
    const std::string inRow = OffsetCell("A20", static_cast<int>(i), true);
    const std::string outRow = OffsetCell("A50", static_cast<int>(i), true);
    for (int k = 1; k <= 14; ++k)
      Formula(OffsetCell(outRow, k, false), "=" + OffsetCell(inRow, k, false));
    const std::string inMatrix = OffsetCell("Q20", static_cast<int>(i), true);
    const std::string outMatrix = OffsetCell("Q50", static_cast<int>(i), true);
    for (int j = 0; j < static_cast<int>(kComponents); ++j)
      Formula(OffsetCell(outMatrix, j, false), "=" + OffsetCell(inMatrix, j, false));
  }

  streams::CExcOutputStreamData& out = *details.outputStreams.At(0);
  out.sheetName = "Separator";
  const char* outCells[] = {"D3", "D4", "D6", "D7", "D8", "D9", "D10", "D11"};
  const std::uint32_t outUnits[] = {1, 0, 0, 3, 1, 0, 0, 0};
  for (std::size_t row = 0; row < streams::kOutputRowCount; ++row)
    out.propertyCells[row] = {outCells[row], outUnits[row]};
  out.compositionName = "Well";
  out.composition.componentTableCell = "A50";
  out.composition.interactionCell = "Q50";
  out.composition.massRateCell = "D14";
  out.composition.massRateUnit = 1;  // kg/d
  out.composition.eosModelCell = "D15";
  // The output table is read in the internal units but for Critical
  // Pressure (BARa, as written) and Critical Volume (m3/kg.mol).
  out.composition.columnUnits[1] = 1;   // deg C, as written
  out.composition.columnUnits[2] = 3;   // BARa
  out.composition.columnUnits[3] = 1;   // m3/kg.mol
  out.composition.columnUnits[7] = 1;   // deg C
  out.composition.columnUnits[12] = 1;  // m3/kg.mol

  IprRecord pulled;
  pulled.PutWord(EXT_IPR_HANDLE_OFFSET, 1);
  ASSERT_EQ(streams::GetIPR(details, session_.get(), pulled.bytes.data(), &status), 0)
      << status.text;

  // Half the absolute pressure, back in psig; 5 deg C in this table's deg C
  // is 5 / 0.5555 deg F.
  const std::tuple<std::size_t, double, const char*> expected[] = {
      {EXT_IPR_OIL_RATE_OFFSET, 0.9 * oil, "oil"},
      {EXT_IPR_WATER_RATE_OFFSET, water, "water"},
      {EXT_IPR_GAS_RATE_OFFSET, gas, "gas"},
      {EXT_IPR_PRESSURE_OFFSET, (pressure + 14.696) / 2 - 14.696, "pressure"},
      {EXT_IPR_TEMPERATURE_OFFSET, temperature - 5 / 0.5555, "temperature"},
      {EXT_IPR_OIL_GRAVITY_OFFSET, 0.86, "oil gravity"},
      {EXT_IPR_GAS_GRAVITY_OFFSET, 0.72, "gas gravity"},
      {EXT_IPR_WATER_GRAVITY_OFFSET, 1.03, "water gravity"},
      {EXT_IPR_MASS_RATE_OFFSET, 2 * massRate, "mass rate"}};
  for (const auto& [field, value, what] : expected)
    ExpectClose(pulled.At(field), value, what);
  EXPECT_EQ(pulled.Word(EXT_IPR_EOS_MODEL_OFFSET), static_cast<std::uint32_t>(EXT_EOS_PR));
  EXPECT_EQ(pulled.Word(EXT_IPR_COMPOSITION_PRESENT_OFFSET), 1u);
  EXPECT_EQ(pulled.Word(EXT_IPR_COMPONENT_COUNT_OFFSET), kComponents);
  EXPECT_EQ(pulled.Word(EXT_IPR_COMPONENT_FLAGS_OFFSET), 0x3FFFu);
  for (std::size_t i = 0; i < kComponents; ++i) {
    for (std::size_t k = 1; k <= 14; ++k) {
      ExpectClose(pulled.At(ComponentField(k, i)), property(k, i),
                  "column " + std::to_string(k) + ", component " + std::to_string(i));
    }
    for (std::size_t j = 0; j < kComponents; ++j) {
      if (i == j) {
        EXPECT_EQ(pulled.At(MatrixField(i, j)), HostFill()) << "the diagonal is left";
      } else {
        ExpectClose(pulled.At(MatrixField(i, j)), coefficient(i, j),
                    "matrix " + std::to_string(i) + "," + std::to_string(j));
      }
    }
  }
  EXPECT_TRUE(pushed.GuardsIntact());
  EXPECT_TRUE(pulled.GuardsIntact());
}

}  // namespace
}  // namespace streams_test
