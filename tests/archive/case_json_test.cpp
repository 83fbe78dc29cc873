// Cases and model data files as JSON: hand-written JSON builds the case it
// names, older cases dump what the driver reads from them, the
// documentation's examples are what the code reads and writes, and
// anything that does not fit is refused with the path of the value at
// fault. (Dumps of current cases: case_round_trip_test.cpp.)
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "archive/archive.h"
#include "archive/archive_helpers.h"
#include "archive/case_json.h"
#include "archive/case_json_form.h"
#include "archive/case_record.h"
#include "archive/model_data_file.h"
#include "archive/sample_case.h"
#include "archive/version_builder.h"

namespace {

using archive_test::StoreCase;
using nlohmann::json;

json Dump(const std::vector<std::uint8_t>& bytes) {
  json out;
  std::string error;
  EXPECT_TRUE(archive::CaseArchiveToJson(bytes, out, error)) << error;
  return out;
}

std::vector<std::uint8_t> Build(const json& in) {
  std::vector<std::uint8_t> bytes;
  std::string error;
  EXPECT_TRUE(archive::CaseJsonToArchive(in, bytes, error)) << error;
  return bytes;
}

// The error building `in` fails with; the output is left empty.
std::string BuildError(const json& in, bool modelData = false) {
  std::vector<std::uint8_t> bytes{1, 2, 3};
  std::string error;
  EXPECT_FALSE(modelData ? archive::ModelDataFromJson(in, bytes, error)
                         : archive::CaseJsonToArchive(in, bytes, error))
      << in.dump();
  EXPECT_TRUE(bytes.empty());
  return error;
}

TEST(CaseJson, HandWrittenJsonBuildsTheCaseItNames) {
  const json in = json::parse(R"({
    "fileName": "/srv/cases/plant.xlsx",
    "macros": {"EndOfRun": {"macro": "Module1.Done"}},
    "inputStreams": [{"sheetName": "Feed", "solverCells": [{"cell": "B2"}, {"cell": "B3", "unit": 1}]},
                     {"sheetName": "Lift gas"}],
    "objective": {"defined": true, "cell": "H1", "worksheet": "Opt", "name": "NPV"},
    "constraints": [{"constraintType": 2, "limit": 1500, "name": "Water"}],
    "integerControls": [{"name": "Route", "states": [{"value": "A"}, {"name": "west", "value": "B"}]}],
    "useCompositions": true,
    "compositions": [{"name": "Gas", "components": ["N2", "C1"]}]
  })");
  archive::CaseContent read;
  const std::vector<std::uint8_t> bytes = Build(in);
  archive::Archive load = archive::Archive::LoadFrom(bytes);
  archive::TransferCase(load, read.View());
  const model::CExcCaseDetails& d = read.details;
  EXPECT_EQ(d.fileName, "/srv/cases/plant.xlsx");
  EXPECT_EQ(d.inputCount, 2u) << "the streams listed";
  EXPECT_EQ(d.outputStreams.size(), 1u);
  EXPECT_EQ(d.macros[5], "Module1.Done");
  const streams::CExcPropertyCell& row = d.inputStreams.At(0)->solverCells[1];
  EXPECT_EQ(row.cell.str() + std::to_string(row.unit), "B31");
  EXPECT_TRUE(d.inputStreams.At(1)->solverDisplay) << "defaults where nothing is said";
  EXPECT_TRUE(read.objective.Defined && read.objective.Maximise);
  EXPECT_EQ(read.constraints.At(0)->Limit, 1500.0);
  EXPECT_EQ(read.intControls.At(0)->StateCount, 2) << "the states listed";
  EXPECT_EQ(read.intControls.At(0)->StateLabel(1), "west");
  EXPECT_EQ(d.compositions.At(0)->components, (std::vector<std::string>{"N2", "C1"}));

  archive::CaseContent fresh;
  EXPECT_EQ(Build(json::object()), StoreCase(fresh.View())) << "an empty object is a new case";
}

// A document, " => " and the start of the error building it gives ("data"
// first: as a model data file); with several faults, the first in the
// order the members are read.
constexpr char kRefusals[] = R"([] => expected an object
{"filename": "x"} => filename: unknown key
{"fileName": 3} => fileName: expected a text
{"inputCount": "2"} => inputCount: expected an integer between 1 and 5000
{"inputCount": 0} => inputCount: expected an integer between 1 and 5000
{"outputCount": 2.0} => outputCount: expected an integer
{"inputCount": 2, "inputStreams": [{}]} => inputStreams: 1 streams listed for inputCount 2
{"macros": {"OnSolve": {}}} => macros.OnSolve: unknown key
{"macros": {"PreSolve": {"passDate": 1}}} => macros.PreSolve.passDate: expected true or false
{"inputStreams": [{"composition": {"columnUnits": [1, -1]}}]} => inputStreams[0].composition.columnUnits[1]: expected an integer between 0 and 4294967295
{"inputStreams": [{"composition": {"columnunits": []}}]} => inputStreams[0].composition.columnunits: unknown key
{"inputStreams": [{"solverCells": [{}, {"cell": "ABCDEFGHIJKLMNOP"}]}]} => inputStreams[0].solverCells[1].cell: a cell reference holds at most 15 bytes and no NUL
{"outputStreams": [{"propertyCells": [{},{},{},{},{},{},{},{},{}]}]} => outputStreams[0].propertyCells: at most 8 elements
{"constraints": [{"limit": "high"}]} => constraints[0].limit: expected a number
{"controls": {}} => controls: expected an array
{"integerControls": [{"stateCount": 21}]} => integerControls[0].stateCount: expected an integer between 0 and 20
{"integerControls": [{"states": [{"value": "A", "label": "x"}]}]} => integerControls[0].states[0].label: unknown key
{"compositions": [{"components": ["C1", {"bytes": "\u0100"}]}]} => compositions[0].components[1].bytes: a character of "bytes" must be U+0000 ... U+00FF
{"version": 41} => version: expected an integer between 1 and 40
{"publishedVariables": [{"name": "P"}]} => publishedVariables: a current case keeps
{"publishedVariables": {}} => publishedVariables: expected an array of published variables
{"compositions": 1, "hideInterface": 1, "macros": 1, "outputCount": 0, "fileName": 1} => fileName: expected a text
{"compositions": 1, "hideInterface": 1, "macros": 1, "outputCount": 0} => outputCount: expected an integer
{"compositions": 1, "hideInterface": 1, "macros": 1} => macros: expected an object
{"compositions": 1, "useCompositions": 1, "hideInterface": 1} => hideInterface: expected true or false
{"macros": {"PostSolve2": 1, "StartOfTimestep": 1}} => macros.StartOfTimestep: expected an object
{"integerControls": [{"stateCount": -1, "states": 1}]} => integerControls[0].states: expected an array
data {} => expected an array of published variables
data [{"name": "A"}, {"regionWidth": 0}] => [1].regionWidth: expected an integer between 1 and 10000
data [{"Name": "A"}] => [0].Name: unknown key
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

TEST(CaseJson, OlderCasesDumpWhatTheDriverReadsFromThem) {
  // Version 11 keeps the published variables in the case, and a case that
  // counts more output streams than it lists is given default ones.
  archive::CaseContent old;
  archive_test::FillSampleCase(old.View(), 1);
  old.details.outputCount = 4;
  old.publishedVariables = archive_test::SampleVariables(1);
  json out = Dump(archive_test::WriteCase(old.View(), 11, 11));
  EXPECT_EQ(out["version"], 11);
  EXPECT_EQ(out["outputCount"], 4);
  EXPECT_EQ(out["outputStreams"].size(), 4u);
  EXPECT_EQ(out["inputStreams"][0]["compositionName"], "Fluid0");
  ASSERT_EQ(out["publishedVariables"].size(), 1u);
  EXPECT_EQ(out["publishedVariables"][0]["name"], "Export0");
  EXPECT_EQ(out["publishedVariables"][0]["regionWidth"], 1);

  // Without the variables (which now go to the model data file) it builds
  // a current case of the same content.
  out.erase("publishedVariables");
  out["version"] = 40;
  EXPECT_EQ(Dump(Build(out)), out);
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

  std::vector<std::uint8_t> bytes;
  std::string error;
  ASSERT_TRUE(archive::ModelDataFromJson(examples[1], bytes, error)) << error;
  archive::CaseContent read;
  archive::Archive load = archive::Archive::LoadFrom(bytes);
  archive::TransferModelData(load, read.publishedVariables);
  EXPECT_EQ(archive_test::VariableFields(read.publishedVariables), examples[1]);
  std::vector<std::uint8_t> again;
  ASSERT_TRUE(archive::ModelDataFromJson(archive_test::VariableFields(read.publishedVariables),
                                         again, error));
  EXPECT_EQ(again, bytes);
}

}  // namespace
