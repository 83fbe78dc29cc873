// Case archives of every version whose layout changed, put together byte by
// byte from the record tables, read into the expected case: the fields the
// version has carry their values, the others keep their defaults, and the
// reader stops exactly at the end of the record.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "archive/archive.h"
#include "archive/case_record.h"
#include "archive/version_builder.h"
#include "case/composition.h"
#include "case/stream_data.h"

namespace {

using archive_test::BuildCase;
using archive_test::ForecastCell;
using archive_test::InputCell;
using archive_test::kFile;
using archive_test::OutputCell;

void ExpectBlock(const streams::CExcStreamCompositionData& block, std::uint32_t v) {
  const streams::CExcStreamCompositionData none;
  EXPECT_EQ(block.componentTableCell.view(), v > 2 ? "E5" : "");
  EXPECT_EQ(block.interactionCell.view(), v > 2 ? "K5" : "");
  EXPECT_EQ(block.unitSystem, v > 2 ? 1u : none.unitSystem);
  EXPECT_EQ(block.columnUnits[5], v > 2 ? 1u : 0u);
  EXPECT_EQ(block.columnUnits[19], v > 2 ? 3u : 0u);
  EXPECT_EQ(block.massRateCell.view(), v > 3 ? "D30" : "");
  EXPECT_EQ(block.massRateUnit, v > 3 ? 3u : 0u);
  EXPECT_EQ(block.eosModelCell.view(), v > 4 ? "D31" : "");
}

std::string ExpectedCompositionName(std::uint32_t v, const char* named) {
  if (v >= 10) return named;
  return v >= 3 ? "Comp" : "";
}

void ExpectCaseOfVersion(archive::CaseContent& c, std::uint32_t v) {
  const model::CExcCaseDetails& d = c.details;
  EXPECT_EQ(c.version, static_cast<std::int32_t>(v));
  EXPECT_EQ(d.fileName, kFile);
  EXPECT_EQ(d.inputCount, 2u);
  EXPECT_EQ(d.outputCount, 1u);

  // Indexed by event: start of timestep, end of timestep, pre-solve,
  // post-solve, start of run, end of run, post-solve 2.
  const std::array<std::string, 7> macros = {v > 14 ? "StepStart" : "", "EndStep",
                                             v > 11 ? "Pre" : "",       v > 11 ? "Post" : "",
                                             v > 14 ? "RunStart" : "",  v > 14 ? "RunEnd" : "",
                                             v >= 20 ? "Post2" : ""};
  const std::array<bool, 7> passDate = {v > 14, true, false, v > 11, v > 14, false, v >= 20};
  EXPECT_EQ(d.macros, macros);
  EXPECT_EQ(d.passDate, passDate);

  ASSERT_EQ(d.inputStreams.size(), 2u);
  for (std::size_t i = 0; i < 2; ++i) {
    const streams::CExcInputStreamData& in = *d.inputStreams.At(i);
    EXPECT_FALSE(in.solverDisplay);
    EXPECT_TRUE(in.forecastDisplay);
    EXPECT_EQ(in.forecastDirection, 0u);
    EXPECT_EQ(in.sheetName, "In" + std::to_string(i + 1));
    EXPECT_EQ(in.solverUnitSystem, 1u);
    EXPECT_EQ(in.forecastUnitSystem, 0u);
    for (std::size_t row = 0; row < 10; ++row) {
      EXPECT_EQ(in.solverCells[row].cell.view(), InputCell(row));
      EXPECT_EQ(in.solverCells[row].unit, row % 3);
      EXPECT_EQ(in.forecastCells[row].cell.view(), ForecastCell(row));
      EXPECT_EQ(in.forecastCells[row].unit, 1u);
    }
    ExpectBlock(in.composition, v);
    EXPECT_EQ(in.compositionName, ExpectedCompositionName(v, "Gas"));
  }
  ASSERT_EQ(d.outputStreams.size(), 1u);
  const streams::CExcOutputStreamData& out = *d.outputStreams.At(0);
  EXPECT_EQ(out.sheetName, "Out");
  EXPECT_EQ(out.unitSystem, 1u);
  for (std::size_t row = 0; row < 8; ++row) {
    EXPECT_EQ(out.propertyCells[row].cell.view(), OutputCell(row));
    EXPECT_EQ(out.propertyCells[row].unit, row % 2);
  }
  ExpectBlock(out.composition, v);
  EXPECT_EQ(out.compositionName, ExpectedCompositionName(v, "Oil"));

  EXPECT_EQ(c.objective.Defined, v > 1);
  EXPECT_EQ(c.objective.Maximise, v <= 1) << "a new objective maximises";
  EXPECT_EQ(c.objective.name, v > 1 ? "Profit" : "");
  ASSERT_EQ(c.constraints.size(), v > 1 ? 1u : 0u);
  if (v > 1) {
    const optimisation::CExcConstraint& constraint = *c.constraints.At(0);
    EXPECT_EQ(constraint.ConstraintType, 2u);
    EXPECT_EQ(constraint.Limit, 150.5);
    EXPECT_EQ(constraint.worksheet, "Opt");
    EXPECT_EQ(constraint.cell, "B2");
    EXPECT_EQ(constraint.name, "Pmax");
    EXPECT_EQ(constraint.unit, "psig");
  }

  EXPECT_EQ(d.useCompositions, v > 2 ? 1 : 0);
  if (v >= 10) {
    ASSERT_EQ(d.compositions.size(), 2u);
    EXPECT_EQ(d.compositions.At(0)->name, "Gas");
    EXPECT_EQ(d.compositions.At(0)->components, (std::vector<std::string>{"C1", "C2"}));
    EXPECT_EQ(d.compositions.At(1)->components, (std::vector<std::string>{"C7+"}));
  } else if (v >= 3) {
    ASSERT_EQ(d.compositions.size(), 1u);
    EXPECT_EQ(d.compositions.At(0)->name, "Comp");
    EXPECT_EQ(d.compositions.At(0)->components, (std::vector<std::string>{"N2", "CO2", "C1"}));
  } else {
    EXPECT_TRUE(d.compositions.empty());
  }

  ASSERT_EQ(c.controls.size(), v > 5 ? 1u : 0u);
  if (v > 5) {
    EXPECT_EQ(c.controls.At(0)->LowerBound, 1.5);
    EXPECT_EQ(c.controls.At(0)->UpperBound, 9.5);
    EXPECT_EQ(c.controls.At(0)->name, "Rate");
  }
  ASSERT_EQ(c.intControls.size(), v > 20 ? 1u : 0u);
  if (v > 20) {
    const optimisation::CExcIntCtrlVariable& control = *c.intControls.At(0);
    EXPECT_EQ(control.StateCount, 3);
    EXPECT_EQ(control.StateNames[2], "S2");
    EXPECT_EQ(control.StateValues[2], "V2");
    EXPECT_EQ(control.StateNames[12], v >= 33 ? "Twelve" : "");
    EXPECT_EQ(control.StateValues[12], v >= 33 ? "12" : "");
    EXPECT_EQ(control.name, "Route");
    EXPECT_EQ(control.cell, "B4");
  }
  const bool inCase = v >= 11 && v <= 30;
  ASSERT_EQ(c.publishedVariables.size(), inCase ? 1u : 0u);
  if (inCase) {
    const optimisation::CExcExportedVariable& variable = *c.publishedVariables.At(0);
    EXPECT_EQ(variable.name, "Pub");
    EXPECT_EQ(variable.unit, "m3");
    EXPECT_EQ(variable.worksheet, "Data");
    EXPECT_EQ(variable.cell, "C7");
    EXPECT_EQ(variable.CascadeCell, v > 12 ? "C20" : "");
    EXPECT_EQ(variable.CascadeDirection, v > 12 ? 1u : 0u);
    EXPECT_EQ(variable.RegionWidth, 1);
  }
  EXPECT_EQ(d.hideInterface, v > 13);
}

class CaseVersion : public testing::TestWithParam<std::uint32_t> {};

TEST_P(CaseVersion, ReadsExactlyTheFieldsOfItsVersion) {
  const std::uint32_t v = GetParam();
  const std::vector<std::uint8_t> bytes = BuildCase(v);
  archive::CaseContent content;
  archive::Archive load = archive::Archive::LoadFrom(bytes);
  archive::TransferCase(load, content.View());
  EXPECT_EQ(load.Remaining(), 0u) << "the record ends where the version says";
  ExpectCaseOfVersion(content, v);
}

// Each version whose layout differs from the one before.
INSTANTIATE_TEST_SUITE_P(LayoutChanges, CaseVersion,
                         testing::Values(1u, 2u, 3u, 4u, 5u, 6u, 9u, 10u, 11u, 12u, 13u, 14u, 15u,
                                         20u, 21u, 30u, 31u, 32u, 33u, 40u),
                         [](const testing::TestParamInfo<std::uint32_t>& info) {
                           return "v" + std::to_string(info.param);
                         });

TEST(CaseVersions, StreamsAreReplacedAndOtherCollectionsAppendedTo) {
  archive::CaseContent content;
  content.details.inputCount = 3;
  content.details.SyncStreamCounts();
  content.details.inputStreams.At(0)->sheetName = "old";
  content.constraints.Add(std::make_unique<optimisation::CExcConstraint>());
  content.details.compositions.Add(std::make_unique<streams::CExcCompositionDefinition>());

  const std::vector<std::uint8_t> bytes = BuildCase(40);
  archive::Archive load = archive::Archive::LoadFrom(bytes);
  archive::TransferCase(load, content.View());
  ASSERT_EQ(content.details.inputStreams.size(), 2u);
  EXPECT_EQ(content.details.inputStreams.At(0)->sheetName, "In1");
  EXPECT_EQ(content.constraints.size(), 2u);
  EXPECT_EQ(content.constraints.At(1)->name, "Pmax");
  EXPECT_EQ(content.details.compositions.size(), 3u);
}

}  // namespace
