// Case archives of every version put together byte by byte
// (version_builder.h) and read: the current one holds every field where
// its record puts it, and an older one exactly what the builder lays out in
// the current version with the fields it lacks at their defaults; the
// reader stops exactly at the end of the record.
#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "archive/archive.h"
#include "archive/archive_helpers.h"
#include "archive/case_json.h"
#include "archive/case_record.h"
#include "archive/version_builder.h"
#include "case/composition.h"

namespace {

using archive_test::BuildCase;
using nlohmann::json;

// What BuildCase(40) holds, field by field, as the dump names it.
json CurrentCase() {
  const auto rows = [](const char* column, std::size_t first, std::size_t count, auto unit) {
    json cells = json::array();
    for (std::size_t row = 0; row < count; ++row)
      cells.push_back({{"cell", column + std::to_string(row + first)}, {"unit", unit(row)}});
    return cells;
  };
  json units = json::array();
  for (int k = 0; k < 20; ++k)
    units.push_back(k % 4);
  const json block = {{"componentTableCell", "E5"}, {"interactionCell", "K5"}, {"unitSystem", 1},
                      {"columnUnits", units},       {"massRateCell", "D30"},   {"massRateUnit", 3},
                      {"eosModelCell", "D31"}};
  json in = {{"solverDisplay", false},
             {"forecastDisplay", true},
             {"forecastDirection", 0},
             {"solverUnitSystem", 1},
             {"forecastUnitSystem", 0},
             {"solverCells", rows("B", 3, 10, [](std::size_t row) { return row % 3; })},
             {"forecastCells", rows("AA", 3, 10, [](std::size_t) { return 1; })},
             {"composition", block},
             {"compositionName", "Gas"}};
  json in2 = in;
  in["sheetName"] = "In1";
  in2["sheetName"] = "In2";
  const json out = {{"sheetName", "Out"},
                    {"unitSystem", 1},
                    {"propertyCells", rows("G", 9, 8, [](std::size_t row) { return row % 2; })},
                    {"composition", block},
                    {"compositionName", "Oil"}};
  const auto macro = [](const char* name, bool passDate) {
    return json{{"macro", name}, {"passDate", passDate}};
  };
  const auto item = [](json fields, const char* sheet, const char* cell, const char* name,
                       const char* unit) {
    fields.update({{"worksheet", sheet}, {"cell", cell}, {"name", name}, {"unit", unit}});
    return fields;
  };
  json states = json::array();
  for (int k = 0; k < 13; ++k) {
    const std::string n = std::to_string(k);
    states.push_back(k < 3     ? json{{"name", "S" + n}, {"value", "V" + n}}
                     : k == 12 ? json{{"name", "Twelve"}, {"value", "12"}}
                               : json{{"name", ""}, {"value", ""}});
  }
  return {{"fileName", archive_test::kFile},
          {"inputCount", 2},
          {"outputCount", 1},
          {"macros",
           {{"EndOfTimestep", macro("EndStep", true)},
            {"PreSolve", macro("Pre", false)},
            {"PostSolve", macro("Post", true)},
            {"StartOfRun", macro("RunStart", true)},
            {"EndOfRun", macro("RunEnd", false)},
            {"StartOfTimestep", macro("StepStart", true)},
            {"PostSolve2", macro("Post2", true)}}},
          {"inputStreams", {in, in2}},
          {"outputStreams", {out}},
          {"objective", item({{"defined", true}, {"maximise", false}}, "Obj", "B1", "Profit", "$")},
          {"constraints",
           {item({{"constraintType", 2}, {"limit", 150.5}}, "Opt", "B2", "Pmax", "psig")}},
          {"useCompositions", true},
          {"compositions",
           {{{"name", "Gas"}, {"components", {"C1", "C2"}}},
            {{"name", "Oil"}, {"components", {"C7+"}}}}},
          {"controls", {item({{"lowerBound", 1.5}, {"upperBound", 9.5}}, "Opt", "B3", "Rate", "")}},
          {"integerControls",
           {item({{"stateCount", 3}, {"states", states}}, "Opt", "B4", "Route", "")}},
          {"hideInterface", true}};
}

TEST(CaseVersions, TheCurrentCaseHoldsEachFieldWhereItsVersionPutsIt) {
  archive::CaseContent read;
  const std::vector<std::uint8_t> bytes = BuildCase(40);
  archive::Archive load = archive::Archive::LoadFrom(bytes);
  archive::TransferCase(load, read.View());
  EXPECT_EQ(archive_test::CaseFields(read.View()), CurrentCase());
}

class CaseVersion : public testing::TestWithParam<std::uint32_t> {};

TEST_P(CaseVersion, ReadsExactlyTheFieldsOfItsVersion) {
  const std::uint32_t v = GetParam();
  const std::vector<std::uint8_t> bytes = BuildCase(v);
  archive::CaseContent read;
  archive::Archive load = archive::Archive::LoadFrom(bytes);
  archive::TransferCase(load, read.View());
  EXPECT_EQ(load.Remaining(), 0u) << "the record ends where the version says";
  EXPECT_EQ(read.version, static_cast<std::int32_t>(v));

  const std::vector<std::uint8_t> expected = BuildCase(v, 40);
  nlohmann::json expectedFields;
  std::string error;
  ASSERT_TRUE(archive::CaseArchiveToJson(expected, expectedFields, error)) << error;
  expectedFields.erase("version");
  nlohmann::json fields = archive_test::CaseFields(read.View());
  fields.erase("publishedVariables");  // the current version keeps them elsewhere
  EXPECT_EQ(fields, expectedFields);
  EXPECT_EQ(archive_test::StoreCase(read.View()), expected);

  // Versions 11 to 30 kept the published variables in the case.
  const bool inCase = v >= 11 && v <= 30;
  ASSERT_EQ(read.publishedVariables.size(), inCase ? 1u : 0u);
  if (!inCase) return;
  const optimisation::CExcExportedVariable& variable = *read.publishedVariables.At(0);
  EXPECT_EQ(variable.name + variable.unit + variable.worksheet + variable.cell, "Pubm3DataC7");
  EXPECT_EQ(variable.CascadeCell, v > 12 ? "C20" : "");
  EXPECT_EQ(variable.CascadeDirection, v > 12 ? 1u : 0u);
}

INSTANTIATE_TEST_SUITE_P(EveryVersion, CaseVersion, testing::Range(1u, 41u),
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
