// A stream with a composition pushed into a real office workbook with SetIPR
// and read back with GetIPR through output cells that are formulas of the
// input cells: a separator that keeps 90 % of the oil and halves the
// absolute pressure, and a composition block passed through. Which row and
// column goes where, in which unit, is the unit tests' business.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <memory>
#include <string>
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
constexpr std::size_t kComponents = 3;

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
  details.inputCount = details.outputCount = 1;
  streams::ResizeStreams(details.inputStreams, 1);
  streams::ResizeStreams(details.outputStreams, 1);
  details.useCompositions = 1;
  details.compositions.Add(std::make_unique<streams::CExcCompositionDefinition>(
      "Well", std::vector<std::string>{"N2", "CO2", "C1"}));

  // In-1 writes into the sheet "Separator", which SetIPR adds: oil (Sm3/d)
  // at B3, pressure (BARa) at B7, the component table at A20 with Critical
  // Pressure in BARa, the matrix at Q20, mass rate (kg/d) and EOS model at
  // B14 and B15.
  streams::CExcInputStreamData& in = *details.inputStreams.At(0);
  in.sheetName = "Separator";
  in.forecastDisplay = false;
  in.solverCells[streams::kInOilRate] = {"B3", 1};
  in.solverCells[streams::kInPressure] = {"B7", 3};
  in.compositionName = "Well";
  in.composition.componentTableCell = "A20";
  in.composition.interactionCell = "Q20";
  in.composition.massRateCell = "B14";
  in.composition.massRateUnit = 1;
  in.composition.eosModelCell = "B15";
  in.composition.columnUnits[2] = 3;

  // The host's stream: internal units.
  const double oil = 1200, pressure = 850, massRate = 25000;
  IprRecord pushed;
  pushed.PutWord(EXT_IPR_HANDLE_OFFSET, 0);
  pushed.Put(EXT_IPR_OIL_RATE_OFFSET, oil);
  pushed.Put(EXT_IPR_PRESSURE_OFFSET, pressure);
  pushed.Put(EXT_IPR_MASS_RATE_OFFSET, massRate);
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

  // The separator: Out-1's cells are formulas of In-1's, on the same sheet;
  // its component table at A50 and matrix at Q50 copy the input ones.
  Formula("D3", "=B3*0.9");
  Formula("D7", "=B7*0.5");
  Formula("D14", "=B14*2");
  Formula("D15", "=LOWER(B15)");
  for (std::size_t i = 0; i < kComponents; ++i) {
    const int row = static_cast<int>(i);
    for (int k = 1; k <= 14; ++k) {
      Formula(OffsetCell(OffsetCell("A50", row, true), k, false),
              "=" + OffsetCell(OffsetCell("A20", row, true), k, false));
    }
    for (int j = 0; j < static_cast<int>(kComponents); ++j) {
      Formula(OffsetCell(OffsetCell("Q50", row, true), j, false),
              "=" + OffsetCell(OffsetCell("Q20", row, true), j, false));
    }
  }

  streams::CExcOutputStreamData& out = *details.outputStreams.At(0);
  out.sheetName = "Separator";
  out.propertyCells[streams::kOutOilRate] = {"D3", 1};
  out.propertyCells[streams::kOutPressure] = {"D7", 3};
  out.compositionName = "Well";
  out.composition = in.composition;
  out.composition.componentTableCell = "A50";
  out.composition.interactionCell = "Q50";
  out.composition.massRateCell = "D14";
  out.composition.eosModelCell = "D15";

  IprRecord pulled;
  pulled.PutWord(EXT_IPR_HANDLE_OFFSET, 1);
  ASSERT_EQ(streams::GetIPR(details, session_.get(), pulled.bytes.data(), &status), 0)
      << status.text;
  ExpectClose(pulled.At(EXT_IPR_OIL_RATE_OFFSET), 0.9 * oil, "oil");
  ExpectClose(pulled.At(EXT_IPR_PRESSURE_OFFSET), (pressure + 14.696) / 2 - 14.696, "pressure");
  ExpectClose(pulled.At(EXT_IPR_MASS_RATE_OFFSET), 2 * massRate, "mass rate");
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
