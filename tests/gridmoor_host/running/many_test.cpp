// run-many and collect without an office: naming, the outcome of a folder,
// the summary, the copies a run works on, and runs that fail before any
// office starts.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <sstream>
#include <thread>

#include "com/error.h"

#include "host_test_support.h"
#include "offices/warm_offices.h"
#include "results/many.h"
#include "results/varied.h"
#include "running/work_copies.h"
#include "scenario/scenario.h"

namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;

namespace fs = std::filesystem;
using namespace hosttest;
using nlohmann::json;

void Write(const fs::path& file, const std::string& text) {
  fs::create_directories(file.parent_path());
  std::ofstream(file, std::ios::binary) << text;
}

TEST(HostMany, NamesAreStemsMadeUniqueByFolderThenNumber) {
  const std::pair<std::vector<fs::path>, std::vector<std::string>> cases[] = {
      {{"a/north.json", "b/south.json"}, {"north", "south"}},
      {{"separator/scenario.json", "gaslift/scenario.json"},
       {"separator-scenario", "gaslift-scenario"}},
      {{"x/s.json", "x/s.json", "y/s.json"}, {"x-s", "x-s-2", "y-s"}},
      {{"a/..json", "b/"}, {"a-scenario", "b-scenario"}},
      // A stem that looks like a numbered name takes no other's folder.
      {{"d/d-a-2.json", "d/a.json", "d/a.json"}, {"d-a-2", "d-a", "d-a-3"}},
  };
  for (const auto& [files, names] : cases)
    EXPECT_EQ(refhost::ScenarioNames(files), names);
}

TEST(HostMany, JobsFollowCoresAndMemory) {
  constexpr unsigned long long kGiB = 1ull << 30;
  EXPECT_EQ(refhost::JobsFor(8, 64 * kGiB), 8);  // cores bound
  EXPECT_EQ(refhost::JobsFor(8, 2 * kGiB), 2);   // memory bound
  EXPECT_EQ(refhost::JobsFor(8, kGiB / 4), 1);   // never none
  EXPECT_EQ(refhost::JobsFor(0, 0), 1);          // nothing known
  EXPECT_EQ(refhost::JobsFor(4, 0), 4);          // memory unknown
}

// A scenario folder as a run leaves it.
void MakeFolder(const fs::path& folder, const json& outcome, const std::string& stderrText,
                const json& summary) {
  if (!outcome.is_null()) Write(folder / refhost::kOutcomeFile, outcome.dump());
  Write(folder / refhost::kStderrFile, stderrText);
  if (!summary.is_null()) Write(folder / "summary.json", summary.dump());
}

// The lines run-many prints as scenarios end, for names of any length.
TEST(HostMany, OutcomeLinesKeepTheirColumns) {
  refhost::ScenarioOutcome shortName{"a", {}, {}, 0, 0, {}, 12.25, 3, 3860.995920, {}};
  refhost::ScenarioOutcome longName{"gas-lift-9-mmscf",  {},     {}, 1,  1,
                                    "timestep 0: broke", 1234.5, 1,  {}, {}};
  refhost::ScenarioOutcome unstarted{"b", {}, {}, 2, {}, "not started", {}, 0, {}, {}};
  EXPECT_EQ(refhost::OutcomeLine(shortName, 16),
            "ok      a                     12.2 s     3 timesteps  objective 3861");
  EXPECT_EQ(
      OutcomeLine(longName, 16),
      "failed  gas-lift-9-mmscf    1234.5 s     1 timestep   exit status 1: timestep 0: broke");
  EXPECT_EQ(refhost::OutcomeLine(unstarted, 16),
            "failed  b                                0 timesteps: not started");
}

TEST(HostMany, FoldersGiveStatusMessageTimestepsAndObjective) {
  Folder root;
  const json twoSteps = {
      {"status", "ok"},
      {"timesteps", json::array({{{"timestep", 0}, {"optimum", {{"objective", 1.5}}}},
                                 {{"timestep", 1}, {"optimum", {{"objective", 2.5}}}}})}};
  MakeFolder(root.path() / "b-ok", {{"index", 1}, {"exitStatus", 0}, {"wallSeconds", 12.25}},
             "note: something said\n", twoSteps);
  MakeFolder(root.path() / "a-failed",
             {{"index", 2}, {"exitStatus", 1}, {"wallSeconds", 3.5}, {"scenario", "/s/a.json"}},
             "note: first\ngridmoor-host: timestep 0: PreSolve (code 100) failed, badly\nnote: "
             "after\n",
             {{"timesteps", json::array()}});
  MakeFolder(root.path() / "c-killed", {{"index", 0}, {"exitStatus", 137}}, "", nullptr);
  MakeFolder(root.path() / "d-running", nullptr, "", nullptr);
  MakeFolder(
      root.path() / "e-unstarted",
      {{"index", 3}, {"exitStatus", nullptr}, {"message", "not started: interrupted by SIGINT"}},
      "", nullptr);
  // Exit status 0 is not enough: the folder must hold its own run's summary.
  Write(root.path() / "f.json", "{}");
  Write(root.path() / "other.json", "{}");
  MakeFolder(root.path() / "f-shared",
             {{"index", 4}, {"exitStatus", 0}, {"scenario", (root.path() / "f.json").string()}}, "",
             {{"status", "ok"}, {"scenario", (root.path() / "other.json").string()}});
  MakeFolder(root.path() / "g-unsummarised", {{"index", 5}, {"exitStatus", 0}}, "", nullptr);
  fs::create_directories(root.path() / "not-a-run");

  auto collected = refhost::CollectOutcomes({root.path()});
  ASSERT_TRUE(collected) << collected.GetError().Message();
  std::vector<refhost::ScenarioOutcome> all = *collected;
  // By list position, the folder without one last; a failure's message is
  // its own last line, else what its status says.
  EXPECT_EQ(refhost::SummaryCsv(all),
            "scenario,exitStatus,message,wallSeconds,timesteps,objective\n"
            "c-killed,137,ended by SIGKILL,,0,\n"
            "b-ok,0,,12.25,2,2.5\n"
            "a-failed,1,\"timestep 0: PreSolve (code 100) failed, badly\",3.5,0,\n"
            "e-unstarted,,not started: interrupted by SIGINT,,0,\n"
            "f-shared,0,\"exit status 0 but summary.json is of another scenario, " +
                (root.path() / "other.json").string() +
                "\",,0,\n"
                "g-unsummarised,0,exit status 0 but no readable summary.json,,0,\n"
                "d-running,,\"no outcome.json: the run is still going, or ended before it could "
                "record its status\",,0,\n");
  EXPECT_EQ(refhost::SummaryJson(all)["failed"], 6);
  EXPECT_EQ(refhost::TotalsLine(all), "7 scenarios: 1 passed, 6 failed");
  EXPECT_EQ(all[2].file, "/s/a.json");
  // One scenario folder given itself; a folder holding none is an error.
  collected = refhost::CollectOutcomes({root.path() / "b-ok"});
  ASSERT_TRUE(collected) << collected.GetError().Message();
  EXPECT_EQ(collected->size(), 1u);
  const auto none = refhost::CollectOutcomes({root.path() / "not-a-run"});
  EXPECT_FALSE(none);
  const std::string error = none.GetError().Message();
  EXPECT_THAT(error, HasSubstr("no scenario folders in"));
  EXPECT_FALSE(refhost::CollectOutcomes({root.path() / "nowhere"}));
}

// What sets scenarios apart: found by comparing them (a missing key
// differs, an unreadable file and the description do not count), or named.
TEST(HostMany, VariedValuesAreTheKeyPathsWhereScenariosDiffer) {
  const json a = {{"description", "a"},
                  {"case", {{"constraints", {{{"limit", 6}}}}}},
                  {"run", {{"timesteps", 2}}}};
  const json b = {{"description", "b"},
                  {"case", {{"constraints", {{{"limit", 9.5}}}}}},
                  {"run", {{"timesteps", 2}, {"stepDays", 30}}}};
  const std::vector<json> three{a, b, nullptr};
  struct Case {
    std::vector<json> documents;
    std::vector<std::string> named;
    std::vector<std::string> paths;
    json firstColumn;
  } cases[] = {
      {three, {}, {"case.constraints[0].limit", "run.stepDays"}, {6, 9.5, nullptr}},
      {three, {"run.timesteps"}, {"run.timesteps"}, {2, 2, nullptr}},
      {three,
       {"case.constraints[1].limit"},
       {"case.constraints[1].limit"},
       {nullptr, nullptr, nullptr}},
      {{a, a}, {}, {}, nullptr},
      {{a}, {}, {}, nullptr},
  };
  for (const Case& c : cases) {
    const std::vector<refhost::VariedValue> varied = refhost::VariedValues(c.documents, c.named);
    std::vector<std::string> paths;
    for (const auto& v : varied)
      paths.push_back(v.path);
    EXPECT_EQ(paths, c.paths) << c.documents.size();
    if (!varied.empty()) {
      EXPECT_EQ(json(varied[0].values), c.firstColumn) << c.paths[0];
    }
  }
  // Appended to summary.csv after the fixed columns, numbers as numbers.
  std::vector<refhost::ScenarioOutcome> outcomes(2);
  outcomes[0].name = "low";
  outcomes[0].varied = {{"case.constraints[0].limit", 6}, {"inputs", "a,b.csv"}};
  outcomes[1].name = "high";
  outcomes[1].varied = {{"case.constraints[0].limit", 9.5}, {"inputs", nullptr}};
  EXPECT_EQ(refhost::SummaryCsv(outcomes),
            "scenario,exitStatus,message,wallSeconds,timesteps,objective,"
            "case.constraints[0].limit,inputs\n"
            "low,,,,0,,6,\"a,b.csv\"\n"
            "high,,,,0,,9.5,\n");
}

// Each run's own copies of the workbook and the model data (that the shared
// files stay as they were: IntegrationMany), also of a workbook its case names.
TEST(HostMany, ARunWorksOnFreshCopies) {
  Folder folder;
  const fs::path workbook = folder.path() / "model.fods", out = folder.path() / "out";
  Write(workbook, "original workbook");
  Write(out / "model.fods", "saved by an earlier run");
  refhost::Scenario fromCase;
  fromCase.caseJson = json{{"fileName", workbook.string()}};
  const outcome::Error error = refhost::UseCopiesIn(fromCase, out);
  ASSERT_FALSE(error) << error.Message();
  EXPECT_EQ(fromCase.workbook, out / "model.fods");
  EXPECT_EQ(ReadText(out / "model.fods"), "original workbook");
}

// Scenarios that fail before an office starts: each fails alone, in its own
// folder, and collect gives what run-many gave.
TEST(HostMany, FailuresStayInTheirFoldersAndCollectAgrees) {
  Folder folder;
  const fs::path broken = folder.path() / "broken.json", lost = folder.path() / "lost.json",
                 out = folder.path() / "out";
  Write(broken, "{\"run\": ");
  Write(lost, json{{"workbook", "nowhere.fods"},
                   {"case", json::object()},
                   {"run", {{"start", "2024-01-01"}}}}
                  .dump());
  Result r =
      Host("run-many " + broken.string() + " " + lost.string() + " --jobs 2 --out " + out.string(),
           folder.path());
  EXPECT_EQ(r.status, 1) << r.err;
  EXPECT_THAT(r.out, HasSubstr("[2/2] failed  "));
  EXPECT_THAT(r.out, HasSubstr("2 scenarios: 0 passed, 2 failed"));
  const json summary = ReadJson(out / "summary.json");
  ASSERT_EQ(summary["scenarios"].size(), 2u);
  EXPECT_EQ(summary["scenarios"][0]["scenario"], "broken");
  EXPECT_EQ(summary["scenarios"][0]["exitStatus"], 1);
  EXPECT_THAT(summary["scenarios"][0]["message"].get<std::string>(),
              HasSubstr("not valid JSON at line 1"));
  EXPECT_EQ(summary["scenarios"][1]["message"],
            "workbook not found: " + (folder.path() / "nowhere.fods").string());
  EXPECT_TRUE(summary["scenarios"][1]["wallSeconds"].is_number());

  r = Host("collect " + out.string() + " --out " + (folder.path() / "again").string(),
           folder.path());
  EXPECT_EQ(r.status, 1) << r.err;
  EXPECT_EQ(ReadText(folder.path() / "again" / "summary.csv"), ReadText(out / "summary.csv"));
  EXPECT_EQ(ReadText(folder.path() / "again" / "summary.json"), ReadText(out / "summary.json"));
  EXPECT_EQ(Host("run-many " + broken.string(), folder.path()).status, 2);  // no --out

  // For programs: one event per line, the same outcome.
  r = Host("run-many " + broken.string() + " " + lost.string() +
               " --jobs 1 --progress json --out " + out.string(),
           folder.path());
  EXPECT_EQ(r.status, 1) << r.err;
  std::vector<std::string> events;
  std::istringstream lines(r.out);
  for (std::string line; std::getline(lines, line);) {
    const json event = json::parse(line);
    events.push_back(event["event"].get<std::string>() + " " + event.value("status", ""));
  }
  EXPECT_THAT(events,
              ElementsAre("started ", "scenario-started ", "scenario-finished failed",
                          "scenario-started ", "scenario-finished failed", "finished failed"));
}

// A warm office that cannot be started: each scenario gets none (it starts
// its own), every start is tried again, and the reason is told once; a
// start that throws something with no message of its own is told by its
// type.
TEST(HostMany, AWarmOfficeThatCannotStartIsToldOnceWithItsReason) {
  using Start = std::function<std::unique_ptr<excel::calc::SharedOffice>()>;
  std::atomic<int> starts = 0;
  const std::pair<Start, std::string> cases[] = {
      {[&]() -> std::unique_ptr<excel::calc::SharedOffice> {
         ++starts;
         com::Throw(com::CO_E_SERVER_EXEC_FAILURE, "No office program (soffice.bin) was found");
       },
       "No office program (soffice.bin) was found"},
      {[]() -> std::unique_ptr<excel::calc::SharedOffice> { throw 42; },
       "an exception of type int"},
  };
  for (const auto& [start, reason] : cases) {
    std::ostringstream notices;
    {
      refhost::WarmOffices offices(2, notices, start);
      for (int round = 0; round < 3; ++round) {
        for (std::size_t slot : {0u, 1u}) {
          std::optional<std::string> pipe;
          WaitFor([&] { return (pipe = offices.Ready(slot)).has_value(); }, 5);
          EXPECT_EQ(pipe, std::string()) << reason << " round " << round << " slot " << slot;
          offices.Release(slot, true);
        }
      }
    }
    EXPECT_EQ(notices.str(), "gridmoor-host: no warm office could be started (" + reason +
                                 "); scenarios start offices of their own until one can be\n");
  }
  EXPECT_EQ(starts, 8) << "two at first, then one after each scenario";
}

}  // namespace
