// Cases and model data files as JSON: hand-written JSON builds the case it
// names, the documentation's examples are what the code reads and writes,
// and anything that does not fit is refused with the path of the value at
// fault. (Dumps of stored cases: case_round_trip_test.cpp.)
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "archive/archive.h"
#include "archive/archive_helpers.h"
#include "archive/json/case_json.h"
#include "archive/json/case_json_form.h"
#include "archive/records/case_record.h"
#include "archive/records/model_data_file.h"

namespace {

using archive_test::StoreCase;
using nlohmann::json;

template <typename T>
T ValueOf(outcome::Expected<T> result) {
  EXPECT_TRUE(result) << result.GetError().Message();
  return result ? std::move(*result) : T();
}

json Dump(const std::vector<std::uint8_t>& bytes) {
  return ValueOf(archive::CaseArchiveToJson(bytes));
}

std::vector<std::uint8_t> Build(const json& in) {
  return ValueOf(archive::CaseJsonToArchive(in));
}

// The error building `in` fails with.
std::string BuildError(const json& in, bool modelData = false) {
  outcome::Expected<std::vector<std::uint8_t>> built =
      modelData ? archive::ModelDataFromJson(in) : archive::CaseJsonToArchive(in);
  EXPECT_FALSE(built) << in.dump();
  return built ? std::string() : built.TakeError().Message();
}

// A document, " => ", a field of the case it builds (a pointer into its
// dump) and the field's value: what is given, what follows from it, and the
// defaults of what is not.
constexpr char kBuilt[] = R"({"fileName": "/srv/plant.xlsx"} => /fileName "/srv/plant.xlsx"
{"inputStreams": [{"sheetName": "Feed"}, {}]} => /inputCount 2
{"inputCount": 3} => /inputStreams/2/forecastDirection 1
{"macros": {"EndOfRun": {"macro": "M"}}} => /macros/EndOfRun {"macro": "M", "passDate": false}
{"inputStreams": [{"solverCells": [{"cell": "B2"}, {"cell": "B3", "unit": 1}]}]} => /inputStreams/0/solverCells/1 {"cell": "B3", "unit": 1}
{"inputStreams": [{"solverCells": [{"cell": "B2"}]}]} => /inputStreams/0/solverCells/2 {"cell": "", "unit": 0}
{"objective": {"defined": true}} => /objective/maximise true
{"constraints": [{"limit": 1500}]} => /constraints/0/limit 1500.0
{"integerControls": [{"states": [{"value": "A"}, {"name": "west", "value": "B"}]}]} => /integerControls/0/stateCount 2
{"compositions": [{"name": "Gas", "components": ["N2", "C1"]}]} => /compositions/0/components ["N2", "C1"])";

TEST(CaseJson, HandWrittenJsonBuildsTheCaseItNames) {
  std::istringstream lines(kBuilt);
  for (std::string line; std::getline(lines, line);) {
    const std::size_t arrow = line.find(" => ");
    const std::size_t space = line.find(' ', arrow + 4);
    const json::json_pointer field(line.substr(arrow + 4, space - arrow - 4));
    EXPECT_EQ(Dump(Build(json::parse(line.substr(0, arrow)))).at(field),
              json::parse(line.substr(space + 1)))
        << line;
  }
  archive::CaseContent fresh;
  EXPECT_EQ(Build(json::object()), StoreCase(fresh.View())) << "an empty object is a new case";
}

// A document, " => " and the start of the error building it gives ("data"
// first: as a model data file); with several faults, the first in the
// order the members are read.
constexpr char kRefusals[] = R"([] => expected an object
{"filename": "x"} => filename: unknown key
{"fileName": 3} => fileName: expected a text
{"inputCount": 0} => inputCount: expected an integer between 1 and 5000
{"outputCount": 2.0} => outputCount: expected an integer
{"inputCount": 2, "inputStreams": [{}]} => inputStreams: 1 streams listed for inputCount 2
{"macros": {"OnSolve": {}}} => macros.OnSolve: unknown key
{"macros": {"PreSolve": {"passDate": 1}}} => macros.PreSolve.passDate: expected true or false
{"inputStreams": [{"composition": {"columnUnits": [1, -1]}}]} => inputStreams[0].composition.columnUnits[1]: expected an integer between 0 and 4294967295
{"inputStreams": [{"solverCells": [{}, {"cell": "ABCDEFGHIJKLMNOP"}]}]} => inputStreams[0].solverCells[1].cell: a cell reference holds at most 15 bytes and no NUL
{"outputStreams": [{"propertyCells": [{},{},{},{},{},{},{},{},{}]}]} => outputStreams[0].propertyCells: at most 8 elements
{"constraints": [{"limit": "high"}]} => constraints[0].limit: expected a number
{"integerControls": [{"stateCount": 21}]} => integerControls[0].stateCount: expected an integer between 0 and 20
{"compositions": [{"components": ["C1", {"bytes": "\u0100"}]}]} => compositions[0].components[1].bytes: a character of "bytes" must be U+0000 ... U+00FF
{"version": 41} => version: expected an integer between 1 and 40
{"publishedVariables": [{"name": "P"}]} => publishedVariables: a current case keeps
{"publishedVariables": {}} => publishedVariables: expected an array of published variables
{"compositions": 1, "hideInterface": 1, "macros": 1, "outputCount": 0, "fileName": 1} => fileName: expected a text
{"macros": {"PostSolve2": 1, "StartOfTimestep": 1}} => macros.StartOfTimestep: expected an object
{"integerControls": [{"stateCount": -1, "states": 1}]} => integerControls[0].states: expected an array
data {} => expected an array of published variables
data [{"name": "A"}, {"regionWidth": 0}] => [1].regionWidth: expected an integer between 1 and 10000
data [{"cascadeDirection": true}] => [0].cascadeDirection: expected an integer)";

TEST(CaseJson, ValuesThatDoNotFitAreRefusedWithTheirPathAndNothingBuilt) {
  std::istringstream lines(kRefusals);
  for (std::string line; std::getline(lines, line);) {
    const bool modelData = line.rfind("data ", 0) == 0;
    const std::size_t from = modelData ? 5 : 0;
    const std::size_t arrow = line.find(" => ");
    const std::string error = BuildError(json::parse(line.substr(from, arrow - from)), modelData);
    EXPECT_EQ(error.rfind(line.substr(arrow + 4), 0), 0u) << line << "\n  gave: " << error;
  }
  json tooLarge = {{"compositions", json::array()}};
  for (int i = 0; i < 30; ++i) {
    tooLarge["compositions"].push_back({{"name", "Fluid" + std::to_string(i)},
                                        {"components", std::vector(100, std::string(40, 'c'))}});
  }
  EXPECT_EQ(BuildError(tooLarge),
            "the case takes 133009 bytes; a case data record holds at most 102400");
}

// The JSON blocks of the case-JSON documentation, in order.
std::vector<json> DocumentedExamples() {
  std::ifstream in(std::string(GRIDMOOR_DOCS_DIR) + "/case-json.md");
  const std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  std::vector<json> examples;
  const std::string open = "```json\n";
  for (std::size_t at = text.find(open); at != std::string::npos; at = text.find(open, at)) {
    at += open.size();
    const std::size_t end = text.find("```", at);
    examples.push_back(json::parse(text.substr(at, end - at)));
  }
  return examples;
}

// Both examples show every key: a key missing from the records, or one they
// hold that the examples do not, fails here.
TEST(CaseJsonDocumentation, TheExamplesBuildAndDumpAsWritten) {
  const std::vector<json> examples = DocumentedExamples();
  ASSERT_EQ(examples.size(), 2u);
  EXPECT_EQ(Dump(Build(examples[0])), examples[0]);

  const std::vector<std::uint8_t> bytes = ValueOf(archive::ModelDataFromJson(examples[1]));
  archive::CaseContent read;
  archive::Archive load = archive::Archive::LoadFrom(bytes);
  ASSERT_FALSE(archive::TransferModelData(load, read.publishedVariables));
  EXPECT_EQ(archive_test::VariableFields(read.publishedVariables), examples[1]);
}

}  // namespace
