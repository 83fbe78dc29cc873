// run-many against real offices: parallel runs give what sequential ones
// give, a broken scenario fails alone, no run writes a shared file, and
// SIGINT leaves no child or office behind. (collect: many_test.cpp.)
#include <gtest/gtest.h>
#include <signal.h>

#include <filesystem>
#include <fstream>

#include <nlohmann/json.hpp>

#include "archive/case_json.h"
#include "host_test_support.h"

namespace {

namespace fs = std::filesystem;
using hosttest::Example;
using hosttest::Folder;
using hosttest::Host;
using hosttest::ReadText;
using hosttest::Result;
using nlohmann::json;

// The separator example on `workbook` and `modelData` (the test's own
// files), one timestep, with `oilRate` in its well stream and `edit` applied.
fs::path SeparatorScenario(const fs::path& file, const fs::path& workbook,
                           const fs::path& modelData, double oilRate,
                           const std::function<void(json&)>& edit) {
  return hosttest::ExampleScenario("separator", file, [&](json& s) {
    s["workbook"] = workbook.string();
    s["modelDataFile"] = modelData.string();
    s.erase("publishedVariables");
    s["run"]["timesteps"] = 1;
    s["inputs"]["In-1"] = json::array({s["inputs"]["In-1"][0]});
    s["inputs"]["In-1"][0]["oilRate"] = oilRate;
    edit(s);
  });
}

TEST(IntegrationMany, ParallelRunsMatchSequentialOnesAndShareNoFile) {
  Folder folder;
  const fs::path model = folder.path() / "model", out = folder.path() / "out";
  fs::create_directories(model);
  const fs::path workbook = model / "separator.fods", modelData = model / "separator.gmd";
  fs::copy_file(Example("separator") / "separator.fods", workbook);
  const json scenario = json::parse(ReadText(Example("separator") / "scenario.json"));
  std::vector<std::uint8_t> bytes;
  std::string error;
  ASSERT_TRUE(archive::ModelDataFromJson(scenario["publishedVariables"], bytes, error)) << error;
  std::ofstream(modelData, std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()),
             static_cast<std::streamsize>(bytes.size()));
  const std::string workbookBytes = ReadText(workbook), modelDataBytes = ReadText(modelData);

  // Two whose macros save the workbook, one whose macro fails.
  const auto saveAt = [](const char* event) {
    return [event](json& s) { s["case"]["macros"][event]["macro"] = "Events.StoreAndLog"; };
  };
  const fs::path low = SeparatorScenario(folder.path() / "low.json", workbook, modelData, 3000,
                                         saveAt("EndOfRun")),
                 high = SeparatorScenario(folder.path() / "high.json", workbook, modelData, 6500,
                                          saveAt("EndOfTimestep")),
                 broken = SeparatorScenario(
                     folder.path() / "broken.json", workbook, modelData, 5000,
                     [](json&s) { s["case"]["macros"]["PreSolve"]["macro"] = "Events.Broken"; });
  Result r = Host("run-many " + low.string() + " " + broken.string() + " " + high.string() +
                      " --jobs 2 --out " + out.string(),
                  folder.path());
  EXPECT_EQ(r.status, 1) << r.out << r.err;
  const json summary = json::parse(ReadText(out / "summary.json"));
  ASSERT_EQ(summary["scenarios"].size(), 3u) << summary.dump(2);
  for (int i : {0, 2}) {
    EXPECT_TRUE(summary["scenarios"][i]["passed"]) << summary.dump(2);
    EXPECT_EQ(summary["scenarios"][i]["timesteps"], 1);
  }
  EXPECT_EQ(summary["scenarios"][1]["scenario"], "broken");
  EXPECT_EQ(summary["scenarios"][1]["exitStatus"], 1);
  EXPECT_NE(summary["scenarios"][1]["message"].get<std::string>().find(
                "Unable to run macro Events.Broken"),
            std::string::npos)
      << summary.dump(2);

  // The macros saved, each into its own copy; the shared files are as they were.
  EXPECT_EQ(ReadText(workbook), workbookBytes);
  EXPECT_EQ(ReadText(modelData), modelDataBytes);
  for (const char* name : {"low", "high"})
    EXPECT_NE(ReadText(out / name / "separator.fods"), workbookBytes) << name;

  for (const fs::path& s : {low, high}) {
    const fs::path alone = folder.path() / "alone" / s.stem();
    r = Host("run " + s.string() + " --quiet --work-on-copies --out " + alone.string(),
             folder.path());
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(ReadText(alone / "streams.csv"), ReadText(out / s.stem() / "streams.csv")) << s;
  }
  EXPECT_NE(ReadText(out / "low" / "streams.csv"), ReadText(out / "high" / "streams.csv"));
}

TEST(IntegrationMany, InterruptEndsEveryChildAndItsOffice) {
  Folder folder;
  std::vector<std::string> arguments = {"run-many"};
  for (const char* name : {"first", "second"}) {
    const fs::path file = folder.path() / (std::string(name) + ".json");
    // Long enough to be stopped in the middle.
    hosttest::ExampleScenario("gaslift", file, [](json& s) { s["run"]["timesteps"] = 24; });
    arguments.push_back(file.string());
  }
  const fs::path err = folder.path() / "stderr.txt";
  arguments.insert(arguments.end(), {"--jobs", "2", "--out", (folder.path() / "out").string()});
  const pid_t pid = hosttest::Spawn(arguments, err, true);
  std::vector<int> children, offices;
  const bool started = hosttest::WaitFor(
      [&] {
        children = hosttest::ChildrenOf(pid, "gridmoor-host");
        // Warm offices are run-many's own; the runs attach to them.
        offices = hosttest::ChildrenOf(pid, "soffice.bin");
        for (int child : children)
          if (const int office = hosttest::OfficeOf(child); office != 0) offices.push_back(office);
        return children.size() == 2 && offices.size() == 2;
      },
      180);
  std::this_thread::sleep_for(std::chrono::seconds(2));
  ::kill(pid, SIGINT);
  const int status = hosttest::ExitStatus(pid);
  ASSERT_TRUE(started) << ReadText(err);
  EXPECT_EQ(status, 128 + SIGINT) << ReadText(err);
  for (int p : children)
    EXPECT_TRUE(hosttest::Gone(p)) << "run " << p << " left";
  for (int p : offices)
    EXPECT_TRUE(hosttest::WaitFor([&] { return hosttest::Gone(p); }, 10))
        << "office " << p << " left";
  const json summary = json::parse(ReadText(folder.path() / "out" / "summary.json"));
  ASSERT_EQ(summary["scenarios"].size(), 2u);
  for (const json& s : summary["scenarios"]) {
    EXPECT_EQ(s["exitStatus"], 128 + SIGINT) << s.dump();
    EXPECT_NE(s["message"].get<std::string>().find("interrupted by SIGINT"), std::string::npos);
  }
}

}  // namespace
