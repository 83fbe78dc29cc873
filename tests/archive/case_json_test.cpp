// Cases and model data files as JSON: a dump builds back to the same bytes,
// hand-written JSON builds the case it names, and anything that does not
// fit is refused with the path of the value at fault.
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <iterator>
#include <limits>
#include <string>
#include <vector>

#include "archive/archive.h"
#include "archive/archive_helpers.h"
#include "archive/byte_builder.h"
#include "archive/case_checks.h"
#include "archive/case_json.h"
#include "archive/case_json_form.h"
#include "archive/case_record.h"
#include "archive/model_data_file.h"
#include "archive/sample_case.h"

namespace {

using archive_test::ByteBuilder;
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

void Read(const std::vector<std::uint8_t>& bytes, archive::CaseContent& content) {
  archive::Archive load = archive::Archive::LoadFrom(bytes);
  archive::TransferCase(load, content.View());
}

TEST(CaseJson, ADumpBuildsBackToTheSameBytes) {
  archive::CaseContent content;
  archive_test::FillSampleCase(content.View(), 3);
  content.constraints.At(0)->Limit = std::numeric_limits<double>::quiet_NaN();
  content.controls.At(0)->LowerBound = -std::numeric_limits<double>::infinity();
  content.controls.At(1)->UpperBound = -0.0;
  content.details.fileName = "C:\\Fall\xE9s\\book.xls";  // a single-byte legacy text
  content.details.macros[3] = std::string("with\0nul", 8);
  content.intControls.At(1)->StateNames[17] = "stored beyond the count";
  const std::vector<std::uint8_t> bytes = StoreCase(content);

  const json dumped = Dump(bytes);
  EXPECT_EQ(Build(dumped), bytes);
  EXPECT_EQ(Build(json::parse(dumped.dump(2))), bytes) << "also through the text form";
}

TEST(CaseJson, TheDumpNamesEveryField) {
  archive::CaseContent content;
  archive_test::FillSampleCase(content.View(), 1);
  content.details.fileName = "caf\xE9.xls";
  content.constraints.At(0)->Limit = std::numeric_limits<double>::infinity();
  const json dumped = Dump(StoreCase(content));

  EXPECT_EQ(dumped["version"], 40);
  EXPECT_EQ(dumped["fileName"], json({{"bytes", "caf\u00e9.xls"}}));
  EXPECT_EQ(dumped["inputCount"], 1);
  EXPECT_EQ(dumped["macros"]["StartOfTimestep"],
            json({{"macro", "Module1.OnEvent0"}, {"passDate", true}}));
  EXPECT_EQ(dumped["macros"]["PostSolve2"]["macro"], "Module1.OnEvent6");
  const json& in = dumped["inputStreams"][0];
  EXPECT_EQ(in["solverDisplay"], false);
  EXPECT_EQ(in["forecastDirection"], 0);
  EXPECT_EQ(in["solverCells"].size(), 10u);
  EXPECT_EQ(in["solverCells"][1], json({{"cell", "B3"}, {"unit", 2}}));
  EXPECT_EQ(in["composition"]["columnUnits"].size(), 20u);
  EXPECT_EQ(in["composition"]["eosModelCell"], "D41");
  EXPECT_EQ(dumped["outputStreams"][1]["propertyCells"].size(), 8u);
  EXPECT_EQ(dumped["objective"]["maximise"], false);
  EXPECT_EQ(dumped["constraints"][0]["limit"], "Infinity");
  EXPECT_EQ(dumped["constraints"][0]["constraintType"], 1);
  EXPECT_EQ(dumped["integerControls"][1]["stateCount"], 3);
  EXPECT_EQ(dumped["integerControls"][1]["states"].size(), 3u);
  EXPECT_EQ(dumped["integerControls"][1]["states"][1],
            json({{"name", "State 1"}, {"value", "15"}}));
  EXPECT_EQ(dumped["compositions"][1]["components"].size(), 20u);
  EXPECT_EQ(dumped["useCompositions"], true);
  EXPECT_EQ(dumped["hideInterface"], true);
  EXPECT_FALSE(dumped.contains("publishedVariables")) << "a current case has none";
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
  Read(Build(in), read);
  const model::CExcCaseDetails& d = read.details;
  EXPECT_EQ(d.fileName, "/srv/cases/plant.xlsx");
  EXPECT_EQ(d.inputCount, 2u) << "the streams listed";
  EXPECT_EQ(d.outputCount, 1u);
  EXPECT_EQ(d.outputStreams.size(), 1u);
  EXPECT_EQ(d.macros[5], "Module1.Done");
  EXPECT_FALSE(d.passDate[5]);
  EXPECT_EQ(d.inputStreams.At(0)->solverCells[1].cell.view(), "B3");
  EXPECT_EQ(d.inputStreams.At(0)->solverCells[1].unit, 1u);
  EXPECT_EQ(d.inputStreams.At(0)->solverCells[2].cell.view(), "");
  EXPECT_TRUE(d.inputStreams.At(1)->solverDisplay) << "defaults where nothing is said";
  EXPECT_TRUE(read.objective.Defined);
  EXPECT_TRUE(read.objective.Maximise);
  EXPECT_EQ(read.constraints.At(0)->Limit, 1500.0);
  EXPECT_EQ(read.intControls.At(0)->StateCount, 2) << "the states listed";
  EXPECT_EQ(read.intControls.At(0)->StateLabel(1), "west");
  EXPECT_EQ(d.compositions.At(0)->components, (std::vector<std::string>{"N2", "C1"}));
}

TEST(CaseJson, AnEmptyObjectIsANewCase) {
  archive::CaseContent fresh;
  EXPECT_EQ(Build(json::object()), StoreCase(fresh));
}

TEST(CaseJson, ValuesThatDoNotFitAreRefusedWithTheirPathAndNothingBuilt) {
  struct Case {
    const char* json;
    const char* error;
    bool modelData = false;
  };
  const std::vector<Case> cases = {
      {R"([])", "expected an object"},
      {R"({"filename": "x"})", "filename: unknown key"},
      {R"({"fileName": 3})", "fileName: expected a text"},
      {R"({"inputCount": "2"})", "inputCount: expected an integer between 1 and 5000"},
      {R"({"inputCount": 0})", "inputCount: expected an integer between 1 and 5000"},
      {R"({"outputCount": 2.0})", "outputCount: expected an integer"},
      {R"({"inputCount": 2, "inputStreams": [{}]})",
       "inputStreams: 1 streams listed for inputCount 2"},
      {R"({"macros": {"OnSolve": {}}})", "macros.OnSolve: unknown key"},
      {R"({"macros": {"PreSolve": {"passDate": 1}}})",
       "macros.PreSolve.passDate: expected true or false"},
      {R"({"inputStreams": [{"composition": {"columnUnits": [1, -1]}}]})",
       "inputStreams[0].composition.columnUnits[1]: expected an integer between 0 and 4294967295"},
      {R"({"inputStreams": [{"composition": {"columnunits": []}}]})",
       "inputStreams[0].composition.columnunits: unknown key"},
      {R"({"inputStreams": [{"solverCells": [{}, {"cell": "ABCDEFGHIJKLMNOP"}]}]})",
       "inputStreams[0].solverCells[1].cell: a cell reference holds at most 15 bytes and no NUL"},
      {R"({"outputStreams": [{"propertyCells": [{},{},{},{},{},{},{},{},{}]}]})",
       "outputStreams[0].propertyCells: at most 8 elements"},
      {R"({"constraints": [{"limit": "high"}]})", "constraints[0].limit: expected a number"},
      {R"({"controls": {}})", "controls: expected an array"},
      {R"({"integerControls": [{"stateCount": 21}]})",
       "integerControls[0].stateCount: expected an integer between 0 and 20"},
      {R"({"integerControls": [{"states": [{"value": "A", "label": "x"}]}]})",
       "integerControls[0].states[0].label: unknown key"},
      {R"({"compositions": [{"components": ["C1", {"bytes": "\u0100"}]}]})",
       "compositions[0].components[1].bytes: a character of \"bytes\" must be U+0000 ... U+00FF"},
      {R"({"version": 41})", "version: expected an integer between 1 and 40"},
      {R"({"publishedVariables": [{"name": "P"}]})", "publishedVariables: a current case keeps"},
      // Model data files.
      {R"({})", "expected an array of published variables", true},
      {R"([{"name": "A"}, {"regionWidth": 0}])",
       "[1].regionWidth: expected an integer between 1 and 10000", true},
      {R"([{"Name": "A"}])", "[0].Name: unknown key", true},
      {R"([{"cascadeDirection": true}])", "[0].cascadeDirection: expected an integer", true},
  };
  for (const Case& c : cases) {
    const std::string error = BuildError(json::parse(c.json), c.modelData);
    EXPECT_EQ(error.rfind(c.error, 0), 0u) << c.json << "\n  gave: " << error;
  }
}

TEST(CaseJson, ACaseTooLargeForTheHostRecordIsRefused) {
  json in = {{"compositions", json::array()}};
  json names = json::array();
  for (int k = 0; k < 100; ++k)
    names.push_back(std::string(40, 'c'));
  for (int i = 0; i < 30; ++i)
    in["compositions"].push_back({{"name", "Fluid" + std::to_string(i)}, {"components", names}});
  EXPECT_EQ(BuildError(in).rfind("the case takes", 0), 0u);
}

TEST(CaseJson, OlderCasesDumpWhatTheDriverReadsFromThem) {
  // Version 11: one macro, streams without a composition name, the legacy
  // composition gone, published variables in the case.
  ByteBuilder b;
  b.Signature().U32(11).Text("old.xls").U32(1).U32(1).Text("Step").Flag(true);
  b.U32(1).Flag(true).Flag(true).U32(1).Text("In").U32(0).U32(0);
  for (int row = 0; row < 10; ++row)
    b.Text("").U32(0).Text("").U32(0);
  b.Text("").Text("").U32(0);
  for (int k = 0; k < 20; ++k)
    b.U32(0);
  b.Text("").U32(0).Text("").Text("Gas");
  b.U32(0);  // no output streams: the count stays 1, with a default stream
  b.Flag(false).Flag(true).Text("").Text("").Text("").Text("").U32(0);
  b.Flag(false).U32(0).U32(0);
  b.U32(1).Text("Pressure").Text("psig").Text("Data").Text("B9");

  json out;
  std::string error;
  ASSERT_TRUE(archive::CaseArchiveToJson(b.bytes(), out, error)) << error;
  EXPECT_EQ(out["version"], 11);
  EXPECT_EQ(out["macros"]["EndOfTimestep"]["macro"], "Step");
  EXPECT_EQ(out["outputStreams"].size(), 1u);
  EXPECT_EQ(out["inputStreams"][0]["compositionName"], "Gas");
  ASSERT_EQ(out["publishedVariables"].size(), 1u);
  EXPECT_EQ(out["publishedVariables"][0]["name"], "Pressure");
  EXPECT_EQ(out["publishedVariables"][0]["regionWidth"], 1);

  // Without the variables (which now go to the model data file) it builds
  // a current case of the same content.
  out.erase("publishedVariables");
  archive::CaseContent rebuilt;
  Read(Build(out), rebuilt);
  EXPECT_EQ(rebuilt.details.macros[1], "Step");
  EXPECT_EQ(rebuilt.details.inputStreams.At(0)->sheetName, "In");
}

TEST(CaseJson, DamagedArchivesAreRefusedWithWhereTheyFailed) {
  archive::CaseContent content;
  archive_test::FillSampleCase(content.View());
  std::vector<std::uint8_t> bytes = StoreCase(content);
  bytes.resize(bytes.size() / 2);
  json out = "untouched";
  std::string error;
  EXPECT_FALSE(archive::CaseArchiveToJson(bytes, out, error));
  EXPECT_EQ(error.rfind("case data: ", 0), 0u) << error;
  EXPECT_NE(error.find("byte"), std::string::npos) << error;
  EXPECT_EQ(out, "untouched");

  const std::vector<std::uint8_t> tooNew = ByteBuilder().Signature().U32(41).bytes();
  EXPECT_FALSE(archive::CaseArchiveToJson(tooNew, out, error));
  EXPECT_EQ(error, "case data: version 41 is newer than 40");
}

}  // namespace

namespace {

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

TEST(CaseJsonDocumentation, TheExamplesBuildAndDumpAsWritten) {
  const std::vector<json> examples = DocumentedExamples();
  ASSERT_EQ(examples.size(), 2u);
  EXPECT_EQ(Dump(Build(examples[0])), examples[0]) << "the case example is complete";

  std::vector<std::uint8_t> bytes;
  std::string error;
  ASSERT_TRUE(archive::ModelDataFromJson(examples[1], bytes, error)) << error;
  archive::CaseContent read;
  archive::Archive load = archive::Archive::LoadFrom(bytes);
  archive::TransferModelData(load, read.publishedVariables);
  EXPECT_EQ(archive::CaseToJson(read)["publishedVariables"], examples[1]);
}

}  // namespace
