// Streams through a real office workbook: the block transfer held to the
// single-cell transfer (a shorter run of the differential test; failures come
// from the cells themselves, error values, since the office has no fault
// injection).
#include <gtest/gtest.h>

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

}  // namespace
}  // namespace streams_test
