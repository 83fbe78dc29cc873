// Published block variables against a real office: a block over the cells
// one block call moves goes as bands of rows, and nothing is lost, doubled
// or moved at a band's edge.
#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <utility>

#include "automation/block_transfer.h"
#include "automation/cell_transfer.h"
#include "automation/server_object.h"
#include "casedata/exported_variable.h"
#include "excel/calc/calc_application.h"
#include "excel/calc/calc_test_support.h"
#include "optimisation/published_ops.h"

namespace {

namespace opt = optimisation;

// 2048 x 513 cells, just over 2^20: read in bands of 32 rows (2^16 cells)
// and written in bands of 128 rows (2^18), so that row 512 starts a band of
// either, holding a single row.
constexpr std::size_t kWidth = 2048;
constexpr std::size_t kHeight = 513;
constexpr std::size_t kBandRows = 512;  // a band edge of reads and writes alike
constexpr int kTopRow = 3;              // the block starts at C3
constexpr int kLeftColumn = 3;

// Distinct whole numbers of at most six digits, so that the "%g" of a read
// gives each back exactly; the sign changes along the rows.
long long ValueAt(std::size_t row, std::size_t column) {
  return static_cast<long long>((row * 7919 + column * 104729) % 999983) - 499991;
}

std::string BlockText() {
  std::string text;
  for (std::size_t r = 0; r < kHeight; ++r) {
    for (std::size_t c = 0; c < kWidth; ++c) {
      if (c > 0) text += '\t';
      text += std::to_string(ValueAt(r, c));
    }
    text += '\n';  // a last line feed adds no row
  }
  return text;
}

class PublishedCalcTest : public excel::calc::testing::CalcTest {
 protected:
  void SetUp() override {
    CalcTest::SetUp();
    if (IsSkipped()) return;
    excel::calc::RegisterCalcApplication();
    server_ = std::make_unique<automation::CExcServerObj>();
    ASSERT_FALSE(server_->CreateFailed()) << server_->CreateError();
    ASSERT_EQ(server_->Open(PathOf("blocks.xlsx"), {}, false, message_), 0) << message_;
    casedata::CExcExportedVariable* variable =
        variables_.Add(std::make_unique<casedata::CExcExportedVariable>());
    variable->name = "grid";
    variable->worksheet = "Sheet1";
    variable->cell = automation::A1Name(kTopRow, kLeftColumn);
    variable->RegionWidth = static_cast<std::int32_t>(kWidth);
    variable->RegionHeight = static_cast<std::int32_t>(kHeight);
  }
  void TearDown() override {
    if (server_) {
      EXPECT_EQ(server_->Close(), 0);
      server_.reset();
    }
    CalcTest::TearDown();
  }

  // Sets (a text) or gets (none) the variable.
  std::int32_t Eval(const std::string* set, std::string& got) {
    casedata::PublishedValueRequest request{0, set != nullptr, std::nullopt};
    if (set != nullptr) request.text = *set;
    outcome::Expected<std::string> text =
        opt::EvalPublishedVariablesAsBlock(variables_, server_->Session(), 0, request);
    EXPECT_TRUE(text) << text.GetError().Message();
    if (!text) return text.GetError().Result();
    if (set == nullptr) got = std::move(*text);
    return 0;
  }

  // A cell of the block read alone, by the single-cell path.
  std::string Cell(std::size_t row, std::size_t column) {
    outcome::Expected<std::string> text =
        automation::ReadCellText(server_->Session(), "Sheet1",
                                 automation::A1Name(kTopRow + static_cast<int>(row),
                                                    kLeftColumn + static_cast<int>(column)));
    EXPECT_TRUE(text) << text.GetError().Message();
    return text ? *text : "";
  }

  std::unique_ptr<automation::CExcServerObj> server_;
  casedata::CExcclExportedVariable variables_;
  char message_[260] = {};
};

TEST_F(PublishedCalcTest, ABlockOverOneBlockCallRoundTripsExactlyAcrossItsBands) {
  static_assert(kWidth * kHeight > (std::size_t{1} << 20));
  static_assert(kBandRows % 32 == 0 && kBandRows % 128 == 0);
  const std::string written = BlockText();
  std::string unused;
  ASSERT_EQ(Eval(&written, unused), 0);

  // Each written where it belongs: the corners, and both sides of the band
  // edge at either end of the row, read one cell at a time.
  const struct {
    std::size_t row, column;
  } places[] = {{0, 0},
                {0, kWidth - 1},
                {kBandRows - 1, 0},
                {kBandRows - 1, kWidth - 1},
                {kBandRows, 0},
                {kBandRows, kWidth - 1},
                {kHeight - 1, kWidth / 2}};
  for (const auto& at : places)
    EXPECT_EQ(Cell(at.row, at.column), std::to_string(ValueAt(at.row, at.column)))
        << "row " << at.row << ", column " << at.column;
  // Nothing past the block's last row or right of its last column.
  for (const std::string& outside :
       {automation::A1Name(kTopRow + static_cast<int>(kHeight), kLeftColumn),
        automation::A1Name(kTopRow, kLeftColumn + static_cast<int>(kWidth))}) {
    const outcome::Expected<std::string> text =
        automation::ReadCellText(server_->Session(), "Sheet1", outside);
    EXPECT_TRUE(text && text->empty()) << outside;
  }

  std::string read;
  ASSERT_EQ(Eval(nullptr, read), 0);
  // The written text less its last line feed: every value, in place.
  EXPECT_TRUE(read == written.substr(0, written.size() - 1)) << "the read differs";
}

}  // namespace
