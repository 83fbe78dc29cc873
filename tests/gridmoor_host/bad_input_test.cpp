// Bad inputs through the program itself: each is refused before any office
// starts, with its exit status and one line that names the file and what
// is wrong; no scratch file is left behind.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "archive/case_json.h"
#include "host_test_support.h"

namespace {

namespace fs = std::filesystem;
using hosttest::Folder;
using hosttest::Host;
using hosttest::Result;
using nlohmann::json;

json BaseScenario() {
  return json::parse(R"({"workbook": "book.fods",
    "case": {"inputCount": 1, "outputCount": 1,
      "outputStreams": [{"sheetName": "Out", "propertyCells": [{"cell": "B1", "unit": 1}]}],
      "objective": {"defined": true, "worksheet": "Out", "cell": "B9", "name": "Oil"},
      "constraints": [{"constraintType": 0, "limit": 6, "worksheet": "Out", "cell": "B8"}],
      "controls": [{"lowerBound": 0, "upperBound": 4, "worksheet": "Out", "cell": "B7"}]},
    "run": {"start": "2024-01-01", "timesteps": 2, "stepDays": 30},
    "inputs": "inputs.csv"})");
}

struct BadInput {
  const char* name;
  std::function<void(json&)> edit;  // on the base scenario, written as s.json
  std::string csv;                  // inputs.csv
  std::string arguments;            // "{}" stands for the test's folder
  int status;
  std::string expected;  // in the one line of stderr (status 1) or anywhere in the output
};

const std::string kCsv = "timestep,stream,oilRate\n0,In-1,10\n";

void Set(json& s, const char* pointer, json value) {
  s[json::json_pointer(pointer)] = std::move(value);
}

std::string Expand(std::string text, const fs::path& folder) {
  for (std::size_t at; (at = text.find("{}")) != std::string::npos;)
    text.replace(at, 2, folder.string());
  return text;
}

TEST(HostBadInputs, EachIsRefusedWithItsStatusAndOneLine) {
  const std::string run = "run {}/s.json --quiet --out {}/out";
  const auto none = [](json&) {};
  const BadInput cases[] = {
      {"overflowing number", [](json& s) { Set(s, "/run/stepDays", "@"); }, kCsv, run, 1,
       "s.json: not valid JSON at line 1, column"},
      {"case dump of a folder", none, kCsv, "case dump {}", 1, " is a folder, not a file"},
      {"case check of a folder", none, kCsv, "case check {}", 1, " is a folder, not a file"},
      {"endless input", none, kCsv, "case dump /dev/zero", 1,
       "/dev/zero is larger than 102400 bytes"},
      {"constraint type in check", none, kCsv, "case check {}/type5.gmc", 1,
       "problem: constraints[0].constraintType: 5 is not 0 (less than), 1 (equal to) or 2"},
      {"constraint type in build", none, kCsv, "case build {}/type5.json -o {}/x.gmc", 1,
       "type5.json: constraints[0].constraintType: 5 is not 0"},
      {"constraint type in run", [](json& s) { Set(s, "/case/constraints/0/constraintType", 5); },
       kCsv, run, 1, "s.json: case: constraints[0].constraintType: 5 is not 0"},
      {"limit not a number", [](json& s) { Set(s, "/case/constraints/0/limit", "NaN"); }, kCsv, run,
       1, "s.json: case: constraints[0].limit: \"NaN\" is not a finite number"},
      {"infinite bound", [](json& s) { Set(s, "/case/controls/0/upperBound", "Infinity"); }, kCsv,
       run, 1, "case: controls[0].upperBound: \"Infinity\" is not a finite number"},
      {"bounds crossed", [](json& s) { Set(s, "/case/controls/0/lowerBound", 5); }, kCsv, run, 1,
       "case: controls[0].lowerBound: 5 is above upperBound 4"},
      {"objective without a cell", [](json& s) { Set(s, "/case/objective/cell", ""); }, kCsv, run,
       1, "case: objective.cell: empty"},
      {"constraint without a sheet", [](json& s) { Set(s, "/case/constraints/0/worksheet", " "); },
       kCsv, run, 1, "case: constraints[0].worksheet: empty"},
      {"unit outside its kind",
       [](json& s) { Set(s, "/case/outputStreams/0/propertyCells/0/unit", 2); }, kCsv, run, 1,
       "case: outputStreams[0].propertyCells[0].unit: 2 is not a unit of"},
      {"run leaves the calendar", [](json& s) { Set(s, "/run/stepDays", 4e6); }, kCsv, run, 1,
       "s.json: 'run.stepDays': 2 timesteps of 4000000.0 days end after 9999-12-31"},
      {"negative tolerance", [](json& s) { Set(s, "/optimisation/relativeTolerance", -1e-6); },
       kCsv, run, 1, "s.json: 'optimisation.relativeTolerance' must not be negative"},
      {"nan in the inputs", none, "timestep,stream,oilRate\n0,In-1,nan\n", run, 1,
       "inputs.csv: line 2, column oilRate: 'nan' is not a finite number"},
      {"overflow in the inputs", none, "timestep,stream,oilRate\n0,In-1,1e999\n", run, 1,
       "inputs.csv: line 2, column oilRate: '1e999' is not a finite number"},
      {"line break in a value", none, "timestep,stream,oilRate\n0,In-1,\"1\n2\"\n", run, 1,
       "inputs.csv: line 2, column oilRate: '1\\n2' is not a number"},
      {"repeated input row", none, "timestep,stream,oilRate\n0,In-1,1\n1,In-1,2\n0,In-1,3\n", run,
       1, "inputs.csv: line 4: timestep 0 of In-1 is given already on line 2"},
      {"bad case JSON", none, kCsv, "case build {}/bad.json -o {}/x.gmc", 1,
       "bad.json: not valid JSON at line 2, column 13"},
      {"output folder is a file", none, kCsv, "run {}/s.json --quiet --out {}/s.json", 1,
       "cannot create the output folder "},
      {"save-as into no folder", none, kCsv, run + " --save-as {}/none/copy.fods", 1,
       "--save-as: cannot write "},
      {"scenario is a folder", none, kCsv, "run {} --quiet --out {}/out", 1,
       " is a folder, not a file"},
      {"workbook path too long for the driver",
       [](json& s) { Set(s, "/workbook", std::string(1100, 'w') + ".fods"); }, kCsv, run, 1,
       " bytes; the driver's file-name field holds at most 1023: "},
      {"workbook is a folder", [](json& s) { Set(s, "/workbook", "tmp"); }, kCsv, run, 1,
       "/tmp is a folder, not a file"},
      {"save-as over the scenario", none, kCsv, run + " --save-as {}/s.json", 1,
       "--save-as: {}/s.json is the run's own scenario file"},
      {"save-as into the outputs", none, kCsv, run + " --save-as {}/out/book.fods", 1,
       "is inside the --out folder {}/out, which holds the run's own files"},
      {"unknown option", none, kCsv, "run {}/s.json --colour", 2, "--colour"},
      {"missing argument", none, kCsv, "case build", 2, "required"},
  };
  for (const BadInput& c : cases) {
    Folder folder;
    json scenario = BaseScenario();
    c.edit(scenario);
    std::string text = scenario.dump();
    if (const std::size_t at = text.find("\"@\""); at != std::string::npos)
      text.replace(at, 3, "1e999");
    std::ofstream(folder.path() / "s.json") << text;
    std::ofstream(folder.path() / "inputs.csv") << c.csv;
    std::ofstream(folder.path() / "bad.json") << "{\"inputCount\": 1,\n  \"macros\": ]}";
    json type5 = BaseScenario()["case"];
    type5["constraints"][0]["constraintType"] = 5;
    std::ofstream(folder.path() / "type5.json") << type5.dump();
    std::vector<std::uint8_t> bytes;
    std::string error;
    ASSERT_TRUE(archive::CaseJsonToArchive(type5, bytes, error)) << error;
    std::ofstream(folder.path() / "type5.gmc", std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<long>(bytes.size()));
    fs::create_directory(folder.path() / "tmp");

    const Result r = Host(Expand(c.arguments, folder.path()), folder.path(),
                          "TMPDIR=" + (folder.path() / "tmp").string());
    EXPECT_EQ(r.status, c.status) << c.name << ": " << r.err;
    const std::string& said = c.status == 1 && !r.err.empty() ? r.err : r.out + r.err;
    EXPECT_NE(said.find(Expand(c.expected, folder.path())), std::string::npos)
        << c.name << ": " << said;
    if (c.status == 1 && !r.err.empty()) {
      EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << c.name << ": not one line: " << r.err;
    }
    EXPECT_TRUE(fs::is_empty(folder.path() / "tmp")) << c.name << ": scratch files left";
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
  const std::string help = hosttest::ReadText(folder.path() / "help.txt");
  EXPECT_NE(help.find("Usage: gridmoor-host"), std::string::npos) << help;
  EXPECT_NE(help.find("2 usage error"), std::string::npos) << help;
}

// A full disk: what a command writes is complete or it fails, and a file it
// replaces stays whole. The disk is a small tmpfs, which only root can mount.
TEST(HostBadInputs, AFullDiskFailsTheCommandAndLeavesOldFilesWhole) {
  Folder folder;
  const fs::path caseJson = folder.path() / "case.json", archive = folder.path() / "case.gmc";
  std::ofstream(caseJson) << BaseScenario()["case"].dump();
  ASSERT_EQ(
      Host("case build " + caseJson.string() + " -o " + archive.string(), folder.path()).status, 0);

  // Standard output on a full device.
  const std::string dump = std::string(GRIDMOOR_HOST_PROGRAM) + " case dump " + archive.string() +
                           " >/dev/full 2>" + (folder.path() / "err.txt").string();
  const int raw = std::system(dump.c_str());
  EXPECT_EQ(WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, 1);
  EXPECT_NE(hosttest::ReadText(folder.path() / "err.txt").find("cannot write the standard output"),
            std::string::npos);

  // Scenario folders for collect (a scenario that fails needs no office).
  const fs::path broken = folder.path() / "broken.json", runs = folder.path() / "runs";
  std::ofstream(broken) << "{\"run\": ";
  ASSERT_EQ(Host("run-many " + broken.string() + " --out " + runs.string(), folder.path()).status,
            1);

  if (::geteuid() != 0) GTEST_SKIP() << "mounting a small tmpfs needs root";
  const fs::path disk = folder.path() / "disk";
  fs::create_directory(disk);
  ASSERT_EQ(std::system(("mount -t tmpfs -o size=64k tmpfs " + disk.string()).c_str()), 0);
  struct Unmount {
    fs::path disk;
    ~Unmount() { (void)std::system(("umount " + disk.string()).c_str()); }
  } unmount{disk};
  const fs::path good = disk / "good.gmc";
  fs::copy_file(archive, good);
  const std::string before = hosttest::ReadText(good);
  {
    // Fill what is left.
    std::ofstream filler(disk / "filler", std::ios::binary);
    const std::string block(4096, 'x');
    for (int i = 0; i < 64 && filler; ++i)
      filler << block;
  }
  const Result build =
      Host("case build " + caseJson.string() + " -o " + good.string(), folder.path());
  EXPECT_EQ(build.status, 1) << build.err;
  EXPECT_NE(build.err.find("No space left on device"), std::string::npos) << build.err;
  EXPECT_EQ(hosttest::ReadText(good), before);

  const Result collect =
      Host("collect " + runs.string() + " --out " + (disk / "summary").string(), folder.path());
  EXPECT_EQ(collect.status, 1) << collect.err;
  EXPECT_NE(collect.err.find("No space left on device"), std::string::npos) << collect.err;
  EXPECT_FALSE(fs::exists(disk / "summary" / "summary.csv"));
  EXPECT_FALSE(fs::exists(disk / "summary" / "summary.json"));
}

}  // namespace
