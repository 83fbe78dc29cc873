// Streams through a real office workbook: the block transfer held to the
// single-cell transfer (a shorter run of the differential test; failures come
// from the cells themselves, error values, since the office has no fault
// injection), and a composition block's round trip through formulas.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>

#include "block_differential.h"
#include "com/variants/variant_grid.h"
#include "excel/calc/calc_application.h"
#include "excel/calc/calc_test_support.h"

namespace streams_test {
namespace {

class CalcBlockDifferential : public BlockDifferential {
 protected:
  void SetUp() override {
    excel::calc::testing::SkipWithoutOffice();
    excel::calc::RegisterCalcApplication();
  }
  void TearDown() override { excel::calc::testing::ExpectNoOfficeLeft(); }

  // Every cell the rounds can reach, in one read (the contract holds block
  // reads to single-cell reads).
  SheetCells Contents(Twin& twin) override {
    EXPECT_EQ(twin.session->SelectWorksheet(kSheet).Message(), "");
    const com::VariantGrid grid = com::VariantGrid::FromVariant(
        twin.session->CurrentWorksheet()
            ->GetRange(com::Variant::Text("A1"), com::Variant::Text("CZ120"))
            ->Invoke(excel::kDispidValue2, excel::InvokeKind::kPropertyGet, {}));
    SheetCells cells;
    for (std::size_t r = 0; r < grid.Rows(); ++r) {
      for (std::size_t c = 0; c < grid.Columns(); ++c) {
        const com::Variant& value =
            grid.At(static_cast<std::int32_t>(r) + 1, static_cast<std::int32_t>(c) + 1);
        if (value.vt != com::VT_EMPTY)
          cells[{static_cast<int>(r) + 1, static_cast<int>(c) + 1}] = value;
      }
    }
    return cells;
  }

  void InjectAt(std::optional<CellAt>) override {}
};

TEST_F(CalcBlockDifferential, RandomStreamsAndVariablesAgreeCellByCellAndByBlock) {
  for (std::uint32_t seed = 1; seed <= 6 && !HasFailure(); ++seed)
    Run(MakeRound(seed, 14, false));
}

// SetIPR into a workbook, GetIPR back through output cells that are formulas
// of the input cells: a composition block passed through. The interaction
// matrix and the EOS text through the office are shown nowhere else (the
// property rows, mass rate and component table are in the example runs of
// tests/gridmoor_host); which row and column goes where, in which unit, is
// the unit tests' business.
TEST_F(CalcBlockDifferential, ACompositionBlockGoesThroughFormulasAndComesBack) {
  constexpr int kComponents = 3;
  Twin twin;
  ASSERT_NO_FATAL_FAILURE(Start(twin, {"N2", "CO2", "C1"}));
  casedata::CExcCaseDetails& details = twin.details;

  // In-1 writes into the sheet "Separator", which SetIPR adds: the component
  // table at A20 with Critical Pressure in BARa, the matrix at Q20, the EOS
  // model at B15.
  casedata::CExcInputStreamData& in = *details.inputStreams.At(0);
  in.sheetName = "Separator";
  in.composition.componentTableCell = "A20";
  in.composition.interactionCell = "Q20";
  in.composition.eosModelCell = "B15";
  in.composition.columnUnits[2] = 3;

  casedata::IprValues& pushed = twin.ipr;
  pushed.handle = 0;
  pushed.eosModel = casedata::kEosPengRobinson;
  pushed.componentFlags = 0x3FFF;
  auto property = [](int k, int i) { return 1.5 * k + 0.25 * i + 0.125; };
  auto coefficient = [](int i, int j) { return 0.001 * (i + 1) + 0.0001 * j; };
  for (int i = 0; i < kComponents; ++i) {
    for (int k = 1; k <= 14; ++k)
      pushed.components[k - 1][i] = property(k, i);
    for (int j = 0; j < kComponents; ++j)
      pushed.interaction[i][j] = coefficient(i, j);
  }
  ASSERT_EQ(streams::SetIPR(details, twin.session.get(), {45000, 0}, pushed).Message(), "");
  EXPECT_EQ(in.sheetName, "Separator");

  // Out-1's cells are formulas of In-1's, on the same sheet: its component
  // table at A50 and matrix at Q50 copy the input ones.
  const auto formula = [&](const std::string& cell, const std::string& text) {
    ASSERT_EQ(twin.session->SetCellValue(cell, com::Variant::Text(text)), 0) << cell;
  };
  formula("D15", "=LOWER(B15)");
  for (int i = 0; i < kComponents; ++i) {
    for (int k = 1; k <= 14; ++k)
      formula(A1Name(50 + i, 1 + k), "=" + A1Name(20 + i, 1 + k));
    for (int j = 0; j < kComponents; ++j)
      formula(A1Name(50 + i, 17 + j), "=" + A1Name(20 + i, 17 + j));
  }

  casedata::CExcOutputStreamData& out = *details.outputStreams.At(0);
  out.sheetName = "Separator";
  out.composition = in.composition;
  out.composition.componentTableCell = "A50";
  out.composition.interactionCell = "Q50";
  out.composition.eosModelCell = "D15";

  constexpr double kLeft = -7.25;  // what the get must leave on the diagonal
  casedata::IprValues asked;
  asked.handle = 1;
  for (int i = 0; i < kComponents; ++i)
    asked.interaction[i][i] = kLeft;
  const outcome::Partial<casedata::IprValues> got =
      streams::GetIPR(details, twin.session.get(), asked);
  ASSERT_FALSE(got.error) << got.error.Message();
  const casedata::IprValues& pulled = got.value;
  EXPECT_EQ(std::tuple(pulled.eosModel, pulled.compositionPresent, pulled.componentCount,
                       pulled.componentFlags),
            std::tuple(casedata::kEosPengRobinson, 1u, 3u, 0x3FFFu));
  // Relative agreement to what 15 significant digits of cell text keep; the
  // diagonal is left.
  const auto close = [](double expected) {
    return testing::DoubleNear(expected, 1e-12 * std::max(1.0, std::abs(expected)));
  };
  for (int i = 0; i < kComponents; ++i) {
    SCOPED_TRACE("component " + std::to_string(i));
    for (int k = 1; k <= 14; ++k)
      EXPECT_THAT(pulled.components[k - 1][i], close(property(k, i))) << "column " << k;
    for (int j = 0; j < kComponents; ++j)
      EXPECT_THAT(pulled.interaction[i][j], i == j ? close(kLeft) : close(coefficient(i, j))) << j;
  }
}

}  // namespace
}  // namespace streams_test
