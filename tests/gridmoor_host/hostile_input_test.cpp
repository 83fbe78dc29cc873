// Inputs made to break the program rather than to run a model: nesting
// that would exhaust the stack, keys and columns given twice, and what the
// run records of the input streams it sends.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include <nlohmann/json.hpp>

#include "files.h"
#include "host_test_support.h"
#include "json_shape.h"
#include "outputs.h"
#include "records.h"
#include "scenario.h"

namespace refhost {
namespace {

using nlohmann::json;

std::string Repeat(char c, std::size_t n) {
  return std::string(n, c);
}

// A scenario with `extra` as the last member of its inline case.
std::string ScenarioWithCase(const std::string& extra) {
  return R"({"workbook": "book.fods", "case": {"inputCount": 1, )" + extra +
         R"(}, "run": {"start": "2024-01-01"}, "inputs": {"In-1": [{"oilRate": 1}]}})";
}

TEST(HostHostileInput, NestingIsRefusedBeyondTheLimitWhereverItIs) {
  const std::string deep = Repeat('[', 100000) + Repeat(']', 100000);
  const std::string published =
      R"({"workbook": "book.fods", "case": {"inputCount": 1}, "publishedVariables": )";
  const std::string inCase = ScenarioWithCase(R"("macros": )" + deep);
  // The document, and the column of the bracket that opens level 65.
  const std::pair<std::string, std::size_t> cases[] = {
      {inCase, inCase.find('[') + 63},  // the scenario and the case are levels 1 and 2
      {published + deep + R"(, "run": {"start": "2024-01-01"}})", published.size() + 64},
      {R"({"run": )" + Repeat('{', 99999) + Repeat('}', 100000), 8 + 64},
  };
  for (const auto& [text, column] : cases) {
    Scenario scenario;
    std::string error;
    EXPECT_FALSE(ParseScenarioText(text, "/m/s.json", scenario, error));
    EXPECT_EQ(error, "/m/s.json: JSON nested deeper than 64 levels at line 1, column " +
                         std::to_string(column));
  }
  // Exactly at the limit is read; one level more is not.
  json document;
  std::string error;
  EXPECT_TRUE(
      ParseJsonText(Repeat('[', kJsonDepthLimit) + Repeat(']', kJsonDepthLimit), document, error))
      << error;
  EXPECT_FALSE(ParseJsonText(Repeat('[', kJsonDepthLimit + 1) + Repeat(']', kJsonDepthLimit + 1),
                             document, error));
  EXPECT_EQ(error, "JSON nested deeper than 64 levels at line 1, column 65");
  // Brackets inside strings are text, not nesting.
  EXPECT_TRUE(ParseJsonText("[\"" + Repeat('[', 1000) + "\\\"{\"]", document, error)) << error;
  EXPECT_EQ(document[0].get<std::string>().size(), 1002u);
}

TEST(HostHostileInput, AKeyGivenTwiceIsRefusedNamingBothPlaces) {
  // The scenario's lines; the key path and both places in the error.
  const std::pair<const char*, const char*> cases[] = {
      {R"({"workbook": "book.fods", "case": {"inputCount": 1},
 "run": {"start": "2024-01-01",
  "timesteps": 3,
  "timesteps": 1}})",
       "'run.timesteps' is given twice, at line 3, column 3 and at line 4, column 3"},
      {R"({"workbook": "book.fods", "case": {"inputCount": 1, "outputCount": 1, "inputCount": 2},
 "run": {"start": "2024-01-01"}})",
       "'case.inputCount' is given twice, at line 1, column 36 and at line 1, column 71"},
      {R"({"workbook": "book.fods", "case": {"inputCount": 1},
 "publishedVariables": [{"worksheet": "S", "cell": "A1"},
   {"worksheet": "S", "cell": "A2", "c\u0065ll": "B9"}],
 "run": {"start": "2024-01-01"}})",
       "'publishedVariables[1].cell' is given twice, at line 3, column 23 and at line 3, "
       "column 37"},
      {R"({"run": {"start": "2024-01-01"}, "case": {"inputCount": 1}, "run": 5})",
       "'run' is given twice, at line 1, column 2 and at line 1, column 61"},
      {R"({"workbook": "b", "case": {"outputStreams": [{"propertyCells": [{"cell": "B1"}, {}]},
   {"propertyCells": [{"unit": 1, "cell": "B2", "unit": 2}]}]}, "run": {"start": "2024-01-01"}})",
       "'case.outputStreams[1].propertyCells[0].unit' is given twice, at line 2, column 24 and "
       "at line 2, column 49"},
  };
  for (const auto& [text, expected] : cases) {
    Scenario scenario;
    std::string error;
    EXPECT_FALSE(ParseScenarioText(text, "/m/s.json", scenario, error)) << text;
    EXPECT_EQ(error, std::string("/m/s.json: the key ") + expected);
  }
  // The same key in different objects, and different keys, are fine.
  Scenario scenario;
  std::string error;
  EXPECT_TRUE(ParseScenarioText(
      R"({"workbook": "book.fods", "case": {"inputCount": 1},
          "publishedVariables": [{"worksheet": "S", "cell": "A1"}, {"worksheet": "S", "cell": "A2"}],
          "run": {"start": "2024-01-01", "timesteps": 3},
          "inputs": {"In-1": [{"oilRate": 1}, {"oilRate": 2}], "In-2": [{"oilRate": 3}]}})",
      "/m/s.json", scenario, error))
      << error;
  EXPECT_EQ(scenario.timesteps, 3);
  EXPECT_EQ(scenario.publishedVariables->at(1)["cell"], "A2");
}

TEST(HostHostileInput, AnInputColumnGivenTwiceIsRefusedNamingBothColumns) {
  const std::pair<const char*, const char*> cases[] = {
      {"timestep,stream,pressure,pressure\n0,In-1,1,2\n",
       "the column 'pressure' is given twice, as columns 3 and 4 of the header (line 1)"},
      {"timestep,stream,oilRate,moleFractions[1],moleFractions[01]\n0,In-1,1,,\n",
       "columns 4 and 5 of the header (line 1), 'moleFractions[1]' and 'moleFractions[01]', give "
       "the same value"},
      {"timestep,stream,interaction[0][1],oilRate,interaction[0][1]\n",
       "the column 'interaction[0][1]' is given twice, as columns 3 and 5 of the header (line 1)"},
      {"timestep,stream,stream\n0,In-1,\n",
       "the column 'stream' is given twice, as columns 2 and 3 of the header (line 1)"},
  };
  for (const auto& [text, expected] : cases) {
    std::map<std::string, InputSeries> inputs;
    std::string error;
    EXPECT_FALSE(ParseInputCsv(text, inputs, error)) << text;
    EXPECT_EQ(error, expected);
  }
  // Component 1 and component 10 are different values.
  std::map<std::string, InputSeries> inputs;
  std::string error;
  EXPECT_TRUE(ParseInputCsv("timestep,stream,moleFractions[1],moleFractions[10]\n0,In-1,0.5,0.25\n",
                            inputs, error))
      << error;
  EXPECT_EQ(inputs.at("In-1").at(0).moleFractions.size(), 11u);
}

TEST(HostHostileInput, TheProgramRefusesEachWithOneLine) {
  hosttest::Folder folder;
  const auto write = [&](const char* name, const std::string& text) {
    std::ofstream(folder.path() / name) << text;
    return (folder.path() / name).string();
  };
  const std::string deepCase =
      write("deep-case.json",
            R"({"inputCount": 1, "macros": )" + Repeat('[', 200000) + Repeat(']', 200000) + "}");
  const std::string twiceCase =
      write("twice-case.json", "{\"inputCount\": 1,\n \"inputCount\": 2}");
  const std::string deepScenario =
      write("deep.json", ScenarioWithCase(R"("macros": )" + Repeat('{', 200000)));
  write("inputs.csv", "timestep,stream,pressure,pressure\n0,In-1,1,2\n");
  const std::string twiceColumn = write(
      "twice-column.json",
      R"({"workbook": "b.fods", "case": {}, "run": {"start": "2024-01-01"}, "inputs": "inputs.csv"})");
  const std::string out = " -o " + (folder.path() / "x.gmc").string();
  const std::pair<std::string, std::string> cases[] = {
      {"case build " + deepCase + out,
       "deep-case.json: JSON nested deeper than 64 levels at line 1, column 92"},
      {"case build " + twiceCase + out,
       "twice-case.json: the key 'inputCount' is given twice, at line 1, column 2 and at line 2, "
       "column 2"},
      {"run " + deepScenario + " --quiet --out " + (folder.path() / "out").string(),
       "deep.json: JSON nested deeper than 64 levels"},
      {"run " + twiceColumn + " --quiet --out " + (folder.path() / "out").string(),
       "inputs.csv: the column 'pressure' is given twice"},
  };
  for (const auto& [arguments, expected] : cases) {
    const hosttest::Result r = hosttest::Host(arguments, folder.path());
    EXPECT_EQ(r.status, 1) << arguments << ": " << r.err;
    EXPECT_NE(r.err.find(expected), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << "not one line: " << r.err;
  }
  EXPECT_FALSE(std::filesystem::exists(folder.path() / "x.gmc"));
}

TEST(HostHostileInput, InputStreamsAreRecordedWithTheFlagsSentForThem) {
  StreamState bare;
  bare.compositionPresent = true;
  bare.moleFractions = {0.5, 0.5};
  StreamState weights = bare;
  weights.properties[4] = {16.04, 30.07};  // molecularWeight
  StreamState all = weights;
  all.properties[0] = {190.6, 305.3};  // criticalTemperature
  all.properties[12] = {0.01, 0.1};    // costaldAcent
  all.interaction = {{0, 0.01}, {0.01, 0}};
  const std::pair<StreamState, std::uint32_t> cases[] = {
      {bare, 0},
      {weights, EXT_IPR_HAS_MOLECULAR_WEIGHT},
      {all, EXT_IPR_HAS_MOLECULAR_WEIGHT | EXT_IPR_HAS_CRITICAL_TEMPERATURE |
                EXT_IPR_HAS_COSTALD_ACENT | EXT_IPR_HAS_INTERACTION},
  };
  for (const auto& [given, flags] : cases) {
    EXPECT_EQ(EncodeIpr(3, given, 2).Get<std::uint32_t>(EXT_IPR_COMPONENT_FLAGS_OFFSET), flags);
    const StreamState sent = SentInput(given);
    EXPECT_EQ(sent.componentFlags, flags);
    EXPECT_EQ(sent.properties, given.properties);

    RunRecord run;
    run.streams = {{0, false, "In-1", {"C1", "C2"}}};
    run.streamSamples = {{0, 45292, 0, sent}};
    const auto rows = [&] {
      std::vector<CsvRow> table;
      std::string error;
      EXPECT_TRUE(ParseCsv(StreamsCsv(run), table, error)) << error;
      return table;
    }();
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0].back(), "componentFlags");
    EXPECT_EQ(rows[1].back(), std::to_string(flags));
  }
}

}  // namespace
}  // namespace refhost
