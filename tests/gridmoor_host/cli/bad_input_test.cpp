// Bad inputs, and inputs made to break the program rather than to run a
// model (nesting that would exhaust the stack, keys and columns given
// twice): each is refused before any office starts, with its exit status
// and one line that names the file and what is wrong; no scratch file is
// left behind.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "archive/json/case_json.h"
#include "common/files.h"
#include "common/json_shape.h"
#include "host_test_support.h"
#include "scenario/scenario.h"
#include "support/xlsx_writer.h"

namespace refhost {
namespace {

using ::testing::HasSubstr;

namespace fs = std::filesystem;
using namespace hosttest;
using nlohmann::json;

json BaseScenario() {
  return json::parse(R"({"workbook": "book.xlsx",
    "case": {"inputCount": 1, "outputCount": 1,
      "outputStreams": [{"sheetName": "Out", "propertyCells": [{"cell": "B1", "unit": 1}]}],
      "objective": {"defined": true, "worksheet": "Out", "cell": "B9", "name": "Oil"},
      "constraints": [{"constraintType": 0, "limit": 6, "worksheet": "Out", "cell": "B8"}],
      "controls": [{"lowerBound": 0, "upperBound": 4, "worksheet": "Out", "cell": "B7"}]},
    "run": {"start": "2024-01-01", "timesteps": 2, "stepDays": 30},
    "inputs": "inputs.csv"})");
}

std::string Repeat(char c, std::size_t n) {
  return std::string(n, c);
}

std::string Expand(std::string text, const fs::path& folder) {
  for (std::size_t at; (at = text.find("{}")) != std::string::npos;)
    text.replace(at, 2, folder.string());
  return text;
}

TEST(HostBadInputs, EachIsRefusedWithItsStatusAndOneLine) {
  struct BadInput {
    const char* name;
    const char* pointer;    // where the base scenario, written as s.json, changes; null: nowhere
    json value;             // "@" is written as 1e999
    std::string csv;        // inputs.csv
    std::string arguments;  // "{}" stands for the test's folder
    int status;
    std::string expected;  // in the one line of stderr (status 1) or anywhere in the output
  };
  const std::string run = "run {}/s.json --quiet --out {}/out";
  const std::string csv = "timestep,stream,oilRate\n0,In-1,10\n";
  const BadInput cases[] = {
      {"overflowing number", "/run/stepDays", "@", csv, run, 1,
       "s.json: not valid JSON at line 1, column"},
      {"case dump of a folder", nullptr, nullptr, csv, "case dump {}", 1,
       " is a folder, not a file"},
      {"endless input", nullptr, nullptr, csv, "case dump /dev/zero", 1,
       "/dev/zero is larger than 102400 bytes"},
      {"constraint type in check", nullptr, nullptr, csv, "case check {}/type5.gmc", 1,
       "problem: constraints[0].constraintType: 5 is not 0 (less than), 1 (equal to) or 2"},
      {"constraint type in run", "/case/constraints/0/constraintType", 5, csv, run, 1,
       "s.json: case: constraints[0].constraintType: 5 is not 0"},
      {"limit not a number", "/case/constraints/0/limit", "NaN", csv, run, 1,
       "s.json: case: constraints[0].limit: \"NaN\" is not a finite number"},
      {"bounds crossed", "/case/controls/0/lowerBound", 5, csv, run, 1,
       "case: controls[0].lowerBound: 5 is above upperBound 4"},
      {"constraint without a sheet", "/case/constraints/0/worksheet", " ", csv, run, 1,
       "case: constraints[0].worksheet: empty"},
      {"unit outside its kind", "/case/outputStreams/0/propertyCells/0/unit", 2, csv, run, 1,
       "case: outputStreams[0].propertyCells[0].unit: 2 is not a unit of"},
      {"run leaves the calendar", "/run/stepDays", 4e6, csv, run, 1,
       "s.json: 'run.stepDays': 2 timesteps of 4000000.0 days end after 9999-12-31"},
      {"negative tolerance", "/optimisation/relativeTolerance", -1e-6, csv, run, 1,
       "s.json: 'optimisation.relativeTolerance' must not be negative"},
      {"nan in the inputs", nullptr, nullptr, "timestep,stream,oilRate\n0,In-1,nan\n", run, 1,
       "inputs.csv: line 2, column oilRate: 'nan' is not a finite number"},
      {"line break in a value", nullptr, nullptr, "timestep,stream,oilRate\n0,In-1,\"1\n2\"\n", run,
       1, "inputs.csv: line 2, column oilRate: '1\\n2' is not a number"},
      {"repeated input row", nullptr, nullptr,
       "timestep,stream,oilRate\n0,In-1,1\n1,In-1,2\n0,In-1,3\n", run, 1,
       "inputs.csv: line 4: timestep 0 of In-1 is given already on line 2"},
      {"bad case JSON", nullptr, nullptr, csv, "case build {}/bad.json -o {}/x.gmc", 1,
       "bad.json: not valid JSON at line 2, column 13"},
      {"output folder is a file", nullptr, nullptr, csv, "run {}/s.json --quiet --out {}/s.json", 1,
       "cannot create the output folder "},
      {"save-as into no folder", nullptr, nullptr, csv, run + " --save-as {}/none/copy.fods", 1,
       "--save-as: cannot write "},
      {"workbook path too long for the driver", "/workbook", std::string(1100, 'w') + ".fods", csv,
       run, 1, " bytes; the driver's file-name field holds at most 1023: "},
      {"workbook is a folder", "/workbook", "tmp", csv, run, 1, "/tmp is a folder, not a file"},
      {"save-as over the scenario", nullptr, nullptr, csv, run + " --save-as {}/s.json", 1,
       "--save-as: {}/s.json is the run's own scenario file"},
      {"save-as into the outputs", nullptr, nullptr, csv, run + " --save-as {}/out/book.fods", 1,
       "is inside the --out folder {}/out, which holds the run's own files"},
      {"unknown option", nullptr, nullptr, csv, "run {}/s.json --colour", 2, "--colour"},
      {"mistyped command", nullptr, nullptr, csv, "rnu {}/s.json", 2,
       "gridmoor-host: 'rnu' is not a command; did you mean 'run'?\n"},
      {"mistyped option", nullptr, nullptr, csv, run + " --qiuet", 2,
       "'--qiuet' is not an option of 'run'; did you mean '--quiet'?"},
      {"mistyped subcommand", nullptr, nullptr, csv, "case dmup {}/x", 2,
       "'dmup' is not a command of 'case'; did you mean 'dump'?"},
      {"nothing near", nullptr, nullptr, csv, "frobnicate", 2,
       "'frobnicate' is not a command; see --help"},
      {"unknown dialog", nullptr, nullptr, csv, "dialog nosuch {}/s.json", 1,
       "no dialog is called 'nosuch'; the dialogs are case, workbook, objective, controls"},
      {"dialog with no display", nullptr, nullptr, csv, "dialog case {}/s.json", 1,
       "no display to show the dialog on (DISPLAY is not set)"},
      // Where the workbook can be read, its sheets and cells before any office.
      {"sheet not in the workbook", "/case/outputStreams/0/sheetName", "Nowhere", csv, run, 1,
       "s.json: case.outputStreams[0].propertyCells[0] (Nowhere!B1): the workbook has no sheet "
       "'Nowhere'"},
      {"cell outside the grid", "/case/controls/0/cell", "B0", csv, run, 1,
       "s.json: case.controls[0] (Out!B0): 'B0' is not a cell address"},
      {"cell that is no name either", "/case/objective/cell", "B 9", csv, run, 1,
       "s.json: case.objective (Out!B 9): 'B 9' is not a cell address"},
      {"--vary that no scenario holds", nullptr, nullptr, csv,
       "run-many {}/s.json --out {}/many --vary case.no.such", 1,
       "--vary case.no.such: no scenario has a value there"},
      {"missing argument", nullptr, nullptr, csv, "case build", 2, "required"},
  };
  json type5 = BaseScenario()["case"];
  type5["constraints"][0]["constraintType"] = 5;
  const outcome::Expected<std::vector<std::uint8_t>> type5Archive =
      archive::CaseJsonToArchive(type5);
  ASSERT_TRUE(type5Archive) << type5Archive.GetError().Message();
  const std::vector<std::uint8_t>& archive = *type5Archive;
  for (const BadInput& c : cases) {
    Folder folder;
    json scenario = BaseScenario();
    if (c.pointer != nullptr) scenario[json::json_pointer(c.pointer)] = c.value;
    std::string text = scenario.dump();
    if (const std::size_t at = text.find("\"@\""); at != std::string::npos)
      text.replace(at, 3, "1e999");
    const auto write = [&](const char* name, const std::string& content) {
      test_support::WriteFile(folder.path() / name, content);
    };
    write("s.json", text);
    write("inputs.csv", c.csv);
    write("bad.json", "{\"inputCount\": 1,\n  \"macros\": ]}");
    write("type5.gmc", std::string(archive.begin(), archive.end()));
    write("book.xlsx", test_support::XlsxBytes({{"Out", {{"B9", "", "", "1", ""}}}}));
    fs::create_directory(folder.path() / "tmp");

    const Result r = Host(
        Expand(c.arguments, folder.path()), folder.path(),
        "DISPLAY= WAYLAND_DISPLAY= QT_QPA_PLATFORM= TMPDIR=" + (folder.path() / "tmp").string());
    EXPECT_EQ(r.status, c.status) << c.name << ": " << r.err;
    const std::string& said = c.status == 1 && !r.err.empty() ? r.err : r.out + r.err;
    EXPECT_THAT(said, HasSubstr(Expand(c.expected, folder.path()))) << c.name << ": " << said;
    if (c.status == 1 && !r.err.empty()) {
      EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << c.name << ": not one line: " << r.err;
    }
    EXPECT_TRUE(fs::is_empty(folder.path() / "tmp")) << c.name << ": scratch files left";
    EXPECT_FALSE(fs::exists(folder.path() / "x.gmc")) << c.name;
  }
}

TEST(HostBadInputs, EveryCommandLeavesNoScratchFiles) {
  Folder folder;
  const fs::path tmp = folder.path() / "tmp";
  fs::create_directory(tmp);
  for (const char* arguments : {"identify", "--check"}) {
    const Result r = Host(arguments, folder.path(), "TMPDIR=" + tmp.string());
    EXPECT_EQ(r.status, 0) << arguments << ": " << r.err;
    EXPECT_TRUE(fs::is_empty(tmp)) << arguments;
  }
  // With no arguments at all: the help, not a library check.
  const std::string command =
      std::string(GRIDMOOR_HOST_PROGRAM) + " >" + (folder.path() / "help.txt").string() + " 2>&1";
  EXPECT_EQ(std::system(command.c_str()), 0);
  const std::string help = ReadText(folder.path() / "help.txt");
  EXPECT_THAT(help, HasSubstr("Usage: gridmoor-host"));
  EXPECT_THAT(help, HasSubstr("2 usage error"));
}

// Standard output on a full device fails the command (a failing disk at
// every file write: FileFaultSweep).
TEST(HostBadInputs, AFullStandardOutputFailsTheCommand) {
  Folder folder;
  const fs::path caseJson = folder.path() / "case.json", archive = folder.path() / "case.gmc";
  std::ofstream(caseJson) << BaseScenario()["case"].dump();
  ASSERT_EQ(
      Host("case build " + caseJson.string() + " -o " + archive.string(), folder.path()).status, 0);
  const std::string dump = std::string(GRIDMOOR_HOST_PROGRAM) + " case dump " + archive.string() +
                           " >/dev/full 2>" + (folder.path() / "err.txt").string();
  EXPECT_EQ(WEXITSTATUS(std::system(dump.c_str())), 1);
  EXPECT_THAT(ReadText(folder.path() / "err.txt"), HasSubstr("cannot write the standard output"));
}

TEST(HostHostileInput, NestingIsRefusedBeyondTheLimitWhereverItIs) {
  const std::string deep = Repeat('[', 100000) + Repeat(']', 100000);
  const std::string inCase = R"({"workbook": "book.fods", "case": {"inputCount": 1, "macros": )" +
                             deep + R"(}, "run": {"start": "2024-01-01"}})";
  // The document, and the column of the bracket that opens level 65.
  const std::pair<std::string, std::size_t> cases[] = {
      {inCase, inCase.find('[') + 63},  // the scenario and the case are levels 1 and 2
      {R"({"run": )" + Repeat('{', 99999) + Repeat('}', 100000), 8 + 64},
  };
  for (const auto& [text, column] : cases) {
    const auto scenario = ParseScenarioText(text, "/m/s.json");
    EXPECT_FALSE(scenario);
    EXPECT_EQ(
        scenario.GetError().Message(),
        "/m/s.json: JSON nested deeper than 64 levels at line 1, column " + std::to_string(column));
  }
  // Exactly at the limit is read; one level more is not.
  const auto limit = ParseJsonText(Repeat('[', kJsonDepthLimit) + Repeat(']', kJsonDepthLimit));
  EXPECT_TRUE(limit) << limit.GetError().Message();
  const auto deeper =
      ParseJsonText(Repeat('[', kJsonDepthLimit + 1) + Repeat(']', kJsonDepthLimit + 1));
  EXPECT_FALSE(deeper);
  EXPECT_EQ(deeper.GetError().Message(), "JSON nested deeper than 64 levels at line 1, column 65");
  // Brackets inside strings are text, not nesting.
  const auto document = ParseJsonText("[\"" + Repeat('[', 1000) + "\\\"{\"]");
  ASSERT_TRUE(document) << document.GetError().Message();
  EXPECT_EQ((*document)[0].get<std::string>().size(), 1002u);
}

// (The same key in different objects is fine: every example's scenario.)
TEST(HostHostileInput, AKeyGivenTwiceIsRefusedNamingBothPlaces) {
  // The scenario's lines; the key path and both places in the error.
  const std::pair<const char*, const char*> cases[] = {
      {R"({"workbook": "book.fods", "case": {"inputCount": 1},
 "run": {"start": "2024-01-01",
  "timesteps": 3,
  "timesteps": 1}})",
       "'run.timesteps' is given twice, at line 3, column 3 and at line 4, column 3"},
      {R"({"workbook": "book.fods", "case": {"inputCount": 1},
 "publishedVariables": [{"worksheet": "S", "cell": "A1"},
   {"worksheet": "S", "cell": "A2", "c\u0065ll": "B9"}],
 "run": {"start": "2024-01-01"}})",
       "'publishedVariables[1].cell' is given twice, at line 3, column 23 and at line 3, "
       "column 37"},
      {R"({"workbook": "b", "case": {"outputStreams": [{"propertyCells": [{"cell": "B1"}, {}]},
   {"propertyCells": [{"unit": 1, "cell": "B2", "unit": 2}]}]}, "run": {"start": "2024-01-01"}})",
       "'case.outputStreams[1].propertyCells[0].unit' is given twice, at line 2, column 24 and "
       "at line 2, column 49"},
  };
  for (const auto& [text, expected] : cases) {
    const auto scenario = ParseScenarioText(text, "/m/s.json");
    EXPECT_FALSE(scenario) << text;
    EXPECT_EQ(scenario.GetError().Message(), std::string("/m/s.json: the key ") + expected);
  }
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
  };
  for (const auto& [text, expected] : cases) {
    const auto inputs = ParseInputCsv(text);
    EXPECT_FALSE(inputs) << text;
    EXPECT_EQ(inputs.GetError().Message(), expected);
  }
  // Component 1 and component 10 are different values.
  const auto inputs =
      ParseInputCsv("timestep,stream,moleFractions[1],moleFractions[10]\n0,In-1,0.5,0.25\n");
  ASSERT_TRUE(inputs) << inputs.GetError().Message();
  EXPECT_EQ(inputs->at("In-1").at(0).moleFractions.size(), 11u);
}

}  // namespace
}  // namespace refhost
