// The block transfer held to the single-cell transfer on the in-memory
// application, with failures injected by cell address: every Range asked for
// that holds the chosen cell fails, a block or a single cell alike.
#include <gtest/gtest.h>

#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "automation/block_transfer.h"

#include "block_differential.h"
#include "com/variants/variant_text.h"
#include "support/application_registration.h"

namespace streams_test {
namespace {

constexpr com::HRESULT kRefused = static_cast<com::HRESULT>(0x800A03EC);

class MemoryBlockDifferential : public BlockDifferential {
 protected:
  MemoryBlockDifferential() { registration_.RecordWith(recorder_); }

  void Attached(Twin& twin) override { twin.memory = registration_.LiveApplications().back(); }

  SheetCells Contents(Twin& twin) override {
    const std::shared_ptr<test_support::memory::AppState>& state = twin.memory->State();
    const std::lock_guard lock(state->mutex);
    SheetCells cells;
    for (const auto& sheet : state->books.at(0)->sheets) {
      if (sheet->name != kSheet) continue;
      for (const auto& [at, cell] : sheet->cells) {
        if (!cell.formula.empty()) {
          cells[at] = com::Variant::Text(cell.formula);
        } else if (cell.value.vt != com::VT_EMPTY) {
          cells[at] = cell.value;
        }
      }
    }
    return cells;
  }

  void InjectAt(std::optional<CellAt> cell) override {
    recorder_->ClearFaults();
    if (!cell) return;
    test_support::Fault fault;
    fault.member = "Worksheet.GetRange";
    fault.hr = kRefused;
    fault.andLater = true;
    fault.when = [at = *cell](const test_support::RecordedCall& call) {
      const auto corner = [&](std::size_t i) -> std::optional<CellAt> {
        if (call.arguments.size() <= i || call.arguments[i].vt != com::VT_BSTR) return std::nullopt;
        return PlainCell(com::VariantToText(call.arguments[i]));
      };
      const std::optional<CellAt> first = corner(0);
      const std::optional<CellAt> last = corner(1) ? corner(1) : first;
      return first && last && at.row >= first->row && at.row <= last->row &&
             at.column >= first->column && at.column <= last->column;
    };
    recorder_->AddFault(std::move(fault));
  }

  std::shared_ptr<test_support::Recorder> recorder_ = std::make_shared<test_support::Recorder>();
  test_support::MemoryApplicationRegistration registration_{"memory", /*asDefault=*/true};
};

TEST_F(MemoryBlockDifferential, RandomStreamsAndVariablesAgreeCellByCellAndByBlock) {
  for (std::uint32_t seed = 1; seed <= 80 && !HasFailure(); ++seed)
    Run(MakeRound(seed, seed % 8 == 0 ? 100 : 14, false));
  // Not vacuous: blocks were asked for.
  std::size_t blocks = 0;
  for (const auto& call : recorder_->CallsOf("Worksheet.GetRange"))
    blocks += call.arguments.size() > 1 && call.arguments[1].vt == com::VT_BSTR;
  EXPECT_GT(blocks, 100u);
}

TEST_F(MemoryBlockDifferential, FailuresInjectedByCellAgree) {
  for (std::uint32_t seed = 1001; seed <= 1080 && !HasFailure(); ++seed)
    Run(MakeRound(seed, seed % 10 == 0 ? 100 : 14, true));
  EXPECT_NE(recorder_->Transcript().find("failed 0x800A03EC"), std::string::npos);
}

TEST(CoveringBlock, CoversScatteredPlainCellsWhenTheRectangleIsSmall) {
  using automation::CellBlock;
  const struct {
    std::vector<std::string> cells;
    std::optional<CellBlock> covering;
  } cases[] = {
      {{"B18", "B19", "B25"}, CellBlock{18, 2, 8, 1}},
      {{"$c$5", "A7", "B6", "A7"}, CellBlock{5, 1, 3, 3}},  // any order, repeats
      {{"XFD1048576", "XFC1048575"}, CellBlock{1048575, 16383, 2, 2}},
      {{"B1", "B65"}, std::nullopt},          // 65 rows for two cells
      {{"A1", "H8"}, CellBlock{1, 1, 8, 8}},  // 64 cells at most
      {{"A1", "I8"}, std::nullopt},
      {{"B2"}, std::nullopt},          // one cell: read alone
      {{"B2", "Flow"}, std::nullopt},  // a name
      {{"B2", "B3:B4"}, std::nullopt},
      {{"B2", "XFE1"}, std::nullopt}  // off the grid
  };
  for (const auto& c : cases) {
    const std::optional<CellBlock> got = automation::CoveringBlock(c.cells);
    ASSERT_EQ(got.has_value(), c.covering.has_value()) << c.cells[0] << " " << c.cells[1];
    if (!got) continue;
    EXPECT_EQ(got->First(), c.covering->First()) << c.cells[0];
    EXPECT_EQ(got->Last(), c.covering->Last()) << c.cells[0];
  }
}

}  // namespace
}  // namespace streams_test
