// run-many against real offices: parallel runs give what sequential ones
// give, a broken scenario fails alone, no run writes a shared file, and
// SIGINT leaves no child or office behind (collect: many_test.cpp). Its
// warm offices: what one scenario's macros leave in the office beyond its
// workbook (the office's own Basic libraries and their variables, another
// open document, a setting) is not seen by the next scenario; an office
// that dies between scenarios is replaced without failing any.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "archive/json/case_json.h"
#include "host_test_support.h"
#include "offices/user_office.h"
#include "offices/warm_offices.h"
#include "running/run_many.h"
#include "support/xlsx_writer.h"
#include "xml/xml_writer.h"

namespace {

using ::testing::HasSubstr;

namespace fs = std::filesystem;
using namespace hosttest;
using nlohmann::json;

TEST(IntegrationMany, ParallelRunsMatchSequentialOnesAndShareNoFile) {
  Folder folder;
  const fs::path model = folder.path() / "model", out = folder.path() / "out";
  fs::create_directories(model);
  const fs::path workbook = model / "separator.fods", modelData = model / "separator.gmd";
  fs::copy_file(Example("separator") / "separator.fods", workbook);
  const outcome::Expected<std::vector<std::uint8_t>> bytes = archive::ModelDataFromJson(
      ReadJson(Example("separator") / "scenario.json")["publishedVariables"]);
  ASSERT_TRUE(bytes) << bytes.GetError().Message();
  test_support::WriteFile(modelData, std::string(bytes->begin(), bytes->end()));
  const std::string workbookBytes = ReadText(workbook), modelDataBytes = ReadText(modelData);

  // Two whose macros save the workbook, one whose macro fails; all on the
  // test's own workbook and model data.
  const auto scenario = [&](const char* name, double oilRate, const char* event,
                            const char* macro) {
    return OneSeparatorTimestep(folder.path() / (std::string(name) + ".json"), workbook, oilRate,
                                [&](json& s) {
                                  s["modelDataFile"] = modelData.string();
                                  s["case"]["macros"][event]["macro"] = macro;
                                });
  };
  const fs::path low = scenario("low", 3000, "EndOfRun", "Events.StoreAndLog"),
                 high = scenario("high", 6500, "EndOfTimestep", "Events.StoreAndLog"),
                 broken = scenario("broken", 5000, "PreSolve", "Events.Broken");
  Result r = Host("run-many " + low.string() + " " + broken.string() + " " + high.string() +
                      " --jobs 2 --out " + out.string(),
                  folder.path());
  EXPECT_EQ(r.status, 1) << r.out << r.err;
  const json summary = ReadJson(out / "summary.json");
  ASSERT_EQ(summary["scenarios"].size(), 3u) << summary.dump(2);
  for (int i : {0, 2}) {
    EXPECT_TRUE(summary["scenarios"][i]["passed"]) << summary.dump(2);
    EXPECT_EQ(summary["scenarios"][i]["timesteps"], 1);
  }
  EXPECT_EQ(summary["scenarios"][1]["scenario"], "broken");
  EXPECT_EQ(summary["scenarios"][1]["exitStatus"], 1);
  EXPECT_THAT(summary["scenarios"][1]["message"].get<std::string>(),
              HasSubstr("Unable to run macro Events.Broken"))
      << summary.dump(2);

  // The macros saved, each into its own copy; the shared files are as they were.
  EXPECT_EQ(ReadText(workbook), workbookBytes);
  EXPECT_EQ(ReadText(modelData), modelDataBytes);
  for (const char* name : {"low", "high"})
    EXPECT_NE(ReadText(out / name / "separator.fods"), workbookBytes) << name;

  for (const fs::path& s : {low, high}) {
    const fs::path alone = folder.path() / "alone" / s.stem();
    r = RunQuiet(s, alone, folder.path(), " --work-on-copies");
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
    ExampleScenario("gaslift", file, [](json& s) { s["run"]["timesteps"] = 24; });
    arguments.push_back(file.string());
  }
  const fs::path err = folder.path() / "stderr.txt";
  const fs::path out = folder.path() / "out";
  arguments.insert(arguments.end(), {"--jobs", "2", "--out", out.string()});
  const pid_t pid = Spawn(arguments, err, true);
  std::vector<int> children, offices;
  const bool started = WaitFor(
      [&] {
        children = ChildrenOf(pid, "gridmoor-host");
        // Warm offices are run-many's own; the runs attach to them.
        offices = ChildrenOf(pid, "soffice.bin");
        for (int child : children)
          if (const int office = OfficeOf(child); office != 0) offices.push_back(office);
        // Both under way: each has its workbook open, its lock file taken.
        return children.size() == 2 && offices.size() == 2 &&
               !EntriesNamed(out / "first", ".~lock.").empty() &&
               !EntriesNamed(out / "second", ".~lock.").empty();
      },
      180);
  ::kill(pid, SIGINT);
  const int status = ExitStatus(pid);
  ASSERT_TRUE(started) << "the runs never had their workbooks open: " << ReadText(err);
  EXPECT_EQ(status, 128 + SIGINT) << ReadText(err);
  for (int p : children)
    EXPECT_TRUE(ProcessGone(p)) << "run " << p << " left";
  for (int p : offices)
    EXPECT_TRUE(WaitFor([&] { return ProcessGone(p); }, 10)) << "office " << p << " left";
  const json summary = ReadJson(out / "summary.json");
  ASSERT_EQ(summary["scenarios"].size(), 2u);
  for (const json& s : summary["scenarios"]) {
    EXPECT_EQ(s["exitStatus"], 128 + SIGINT) << s.dump();
    EXPECT_THAT(s["message"].get<std::string>(), HasSubstr("interrupted by SIGINT"));
  }
}

// Macros that look for state left in the office and write what they found
// into findings.txt beside their workbook; each workbook also holds what
// one scenario leaves (kLeaving), as only the macros a workbook holds tell
// how far they may reach.
constexpr const char* kCheckModule = R"(REM Looks for state left in the office.
Global LeftInBook As Integer

Function ReadSettings() As Object
  Dim provider As Object, node As New com.sun.star.beans.PropertyValue
  provider = CreateUnoService("com.sun.star.configuration.ConfigurationProvider")
  node.Name = "nodepath"
  node.Value = "/org.openoffice.Office.Calc/Input"
  ReadSettings = provider.createInstanceWithArguments("com.sun.star.configuration.ConfigurationAccess", Array(node))
End Function

Sub Check()
  Dim found As String, documents As Object, count As Integer, parts As Variant, file As Integer
  documents = StarDesktop.getComponents().createEnumeration()
  Do While documents.hasMoreElements()
    documents.nextElement()
    count = count + 1
  Loop
  If count > 1 Then found = found & "document;"
  If LeftInBook = 5 Then found = found & "workbook global;"
  If GlobalScope.BasicLibraries.hasByName("Leftovers") Then found = found & "library;"
  If GlobalScope.BasicLibraries.getByName("Standard").hasByName("Globals") Then found = found & "module;"
  If LeftBehind = 42 Then found = found & "global;"
  If Not ReadSettings().MoveSelection Then found = found & "setting;"
  If ThisComponent.Sheets(0).getCellByPosition(25, 0).String = "heard" Then found = found & "listener;"
  parts = Split(ThisComponent.URL, "/")
  parts(UBound(parts)) = "findings.txt"
  file = FreeFile
  Open ConvertFromURL(Join(parts, "/")) For Output As #file
  Print #file, found
  Close #file
End Sub

Sub CheckAtStart(timestep As Integer, dt As String)
  Check
End Sub

Sub CheckAtEnd(timestep As Integer)
  Check
End Sub

Sub PauseAtStart(timestep As Integer, dt As String)
  Wait 8000
End Sub
)";

// What each scenario leaves: another document, the office's own Basic and
// its variables, a setting, a listener on every document's events, a
// process that kills the office a little later (KILLER: its script).
const std::map<std::string, std::string> kLeaving = {
    {"Document", R"(
Sub LeaveDocument(timestep As Integer, dt As String)
  StarDesktop.loadComponentFromURL("private:factory/scalc", "_blank", 0, Array())
  LeftInBook = 5
End Sub
)"},
    {"Basic", R"(
Sub RunInOffice(uri As String)
  Dim factory As Object
  factory = CreateUnoService("com.sun.star.script.provider.MasterScriptProviderFactory")
  factory.createScriptProvider("").getScript(uri).invoke(Array(), Array(), Array())
End Sub

Sub LeaveBasic(timestep As Integer, dt As String)
  Dim libraries As Object, nl As String
  nl = Chr(10)
  libraries = GlobalScope.BasicLibraries
  libraries.loadLibrary("Standard")
  libraries.getByName("Standard").insertByName("Globals", "Global LeftBehind As Integer" & nl & "Sub SetLeftBehind" & nl & "LeftBehind = 42" & nl & "End Sub" & nl)
  RunInOffice("vnd.sun.star.script:Standard.Globals.SetLeftBehind?language=Basic&location=application")
  libraries.createLibrary("Leftovers")
  libraries.getByName("Leftovers").insertByName("State", "Public Bumps As Integer" & nl & "Sub Bump" & nl & "Bumps = Bumps + 1" & nl & "End Sub" & nl)
  RunInOffice("vnd.sun.star.script:Leftovers.State.Bump?language=Basic&location=application")
End Sub
)"},
    {"Setting", R"(
Sub LeaveSetting(timestep As Integer, dt As String)
  Dim provider As Object, node As New com.sun.star.beans.PropertyValue, calcInput As Object
  provider = CreateUnoService("com.sun.star.configuration.ConfigurationProvider")
  node.Name = "nodepath"
  node.Value = "/org.openoffice.Office.Calc/Input"
  calcInput = provider.createInstanceWithArguments("com.sun.star.configuration.ConfigurationUpdateAccess", Array(node))
  calcInput.MoveSelection = False
  calcInput.commitChanges()
End Sub
)"},
    {"Listener", R"(
Sub LeaveListener(timestep As Integer, dt As String)
  Dim listener As Object
  listener = CreateUnoListener("Heard_", "com.sun.star.document.XDocumentEventListener")
  GetDefaultContext().getValueByName("/singletons/com.sun.star.frame.theGlobalEventBroadcaster").addDocumentEventListener(listener)
End Sub

Sub Heard_documentEventOccured(event As Object)
  If event.EventName = "OnLoad" Then event.Source.Sheets(0).getCellByPosition(25, 0).String = "heard"
End Sub

Sub Heard_disposing(event As Object)
End Sub
)"},
    {"Process", R"(
Sub LeaveProcess(timestep As Integer)
  Shell("KILLER")
End Sub
)"},
};

// The separator's workbook with the module Warm beside its own: the check,
// and what `leaving` names (for "Everything" all but the process).
fs::path WarmWorkbook(const fs::path& folder, const std::string& leaving = "Everything") {
  std::string module = kCheckModule;
  for (const auto& [name, source] : kLeaving)
    if (leaving == name || (leaving == "Everything" && name != "Process")) module += source;
  if (leaving == "Everything") {
    module +=
        "\nSub LeaveEverything(timestep As Integer, dt As String)\n  LeaveDocument timestep, dt\n"
        "  LeaveBasic timestep, dt\n  LeaveSetting timestep, dt\nEnd Sub\n";
  }
  if (const std::size_t at = module.find("KILLER"); at != std::string::npos) {
    // Started by the office, so its parent is the office.
    const fs::path killer = folder / "kill-the-office.sh";
    test_support::WriteFile(killer, "#!/bin/sh\nsleep 4\nkill -9 $PPID\n");
    fs::permissions(killer, fs::perms::owner_all);
    module.replace(at, 6, killer.string());
  }
  std::string text = ReadText(Example("separator") / "separator.fods");
  const std::string library = "<ooo:library-embedded ooo:name=\"Standard\">";
  const std::size_t at = text.find(library);
  EXPECT_NE(at, std::string::npos);
  text.insert(at + library.size(), "\n<ooo:module ooo:name=\"Warm\"><ooo:source-code>" +
                                       xml::EscapeText(module) + "</ooo:source-code></ooo:module>");
  const fs::path file = folder / ("warm-" + leaving + ".fods");
  std::ofstream(file, std::ios::binary) << text;
  return file;
}

// One timestep of the separator on `workbook`, with `startOfRun` (and
// `endOfRun` when given) as the run's only macros.
fs::path Scenario(const fs::path& file, const fs::path& workbook, const std::string& startOfRun,
                  const std::string& endOfRun = "") {
  return OneSeparatorTimestep(file, workbook, 5000, [&](json& s) {
    s.erase("modelDataFile");
    s["case"]["macros"] = {{"StartOfRun", {{"macro", startOfRun}, {"passDate", true}}}};
    if (!endOfRun.empty())
      s["case"]["macros"]["EndOfRun"] = {{"macro", endOfRun}, {"passDate", false}};
  });
}

// Warm offices that record which office each scenario got, and can kill an
// office once it is ready for its next scenario.
class RecordingOffices final : public refhost::OfficePool {
 public:
  RecordingOffices(std::size_t slots, std::vector<int>& handedOver, int killBeforeHandOver)
      : inner_(slots, notices_), handedOver_(handedOver), killBefore_(killBeforeHandOver) {}
  std::optional<std::string> Ready(std::size_t slot) override {
    std::optional<std::string> pipe = inner_.Ready(slot);
    if (!pipe || pipe->empty()) return pipe;
    if (static_cast<int>(handedOver_.size()) == killBefore_ && !killed_) {
      killed_ = true;
      const int pid = inner_.ProcessId(slot);
      ::kill(pid, SIGKILL);
      EXPECT_TRUE(WaitFor([&] { return ProcessGone(pid); }, 10));
      return inner_.Ready(slot);
    }
    handedOver_.push_back(inner_.ProcessId(slot));
    return pipe;
  }
  void Release(std::size_t slot, bool passed) override { inner_.Release(slot, passed); }

 private:
  std::ostringstream notices_;
  refhost::WarmOffices inner_;
  std::vector<int>& handedOver_;  // the office's process, per scenario started
  int killBefore_;
  bool killed_ = false;
};

// The scenarios one after another on one warm office; the office each got.
std::vector<int> RunOnWarmOffice(const std::vector<fs::path>& scenarios, const fs::path& out,
                                 int killBeforeHandOver) {
  std::vector<int> handedOver;
  refhost::RunManyOptions options;
  options.program = GRIDMOOR_HOST_PROGRAM;
  options.programOptions = {"--library", GRIDMOOR_LIBRARY_FILE};
  options.scenarios = scenarios;
  options.out = out;
  options.jobs = 1;
  options.offices = [&](std::size_t slots) -> std::unique_ptr<refhost::OfficePool> {
    return std::make_unique<RecordingOffices>(slots, handedOver, killBeforeHandOver);
  };
  std::ostringstream said, err;
  EXPECT_EQ(refhost::RunMany(options, said, err), 0) << said.str() << err.str();
  return handedOver;
}

// `office start` with its folder in `xdg`: the office and its server.
std::pair<int, int> StartUserOffice(const fs::path& xdg) {
  const Result r = Host("office start", xdg, "XDG_RUNTIME_DIR=" + xdg.string());
  int office = 0, server = 0;
  EXPECT_EQ(std::sscanf(r.out.c_str(), "office started: process %d (served by process %d", &office,
                        &server),
            2)
      << r.out << r.err;
  return {office, server};
}

// The office `office status` names once it is idle, else 0.
int IdleUserOffice(const fs::path& xdg) {
  int office = 0;
  WaitFor(
      [&] {
        const Result r = Host("office status", xdg, "XDG_RUNTIME_DIR=" + xdg.string());
        return std::sscanf(r.out.c_str(), "office up: process %d", &office) == 1 &&
               r.out.find(", idle") != std::string::npos;
      },
      60);
  return office;
}

// As RunOnWarmOffice, by single runs on the office `office start` keeps.
std::vector<int> RunOnUserOffice(const std::vector<fs::path>& scenarios, const fs::path& out,
                                 int killBeforeHandOver = -1) {
  const fs::path xdg = out.parent_path();
  fs::create_directories(xdg);
  StartUserOffice(xdg);
  std::vector<int> handedOver;
  for (const fs::path& scenario : scenarios) {
    if (static_cast<int>(handedOver.size()) == killBeforeHandOver) {
      const int office = IdleUserOffice(xdg);
      ::kill(office, SIGKILL);
      EXPECT_TRUE(WaitFor([&] { return ProcessGone(office); }, 10));
    }
    const Result r = Host("run " + scenario.string() + " --quiet --work-on-copies --out " +
                              (out / scenario.stem()).string(),
                          xdg, "XDG_RUNTIME_DIR=" + xdg.string());
    EXPECT_EQ(r.status, 0) << r.err;
    int office = 0;
    const std::size_t said = r.err.find("on the warm office (process ");
    EXPECT_NE(said, std::string::npos) << r.err;
    if (said != std::string::npos)
      std::sscanf(r.err.c_str() + said, "on the warm office (process %d", &office);
    handedOver.push_back(office);
  }
  EXPECT_EQ(Host("office stop", xdg, "XDG_RUNTIME_DIR=" + xdg.string()).status, 0);
  return handedOver;
}

using RunOnOffice = std::vector<int> (*)(const std::vector<fs::path>&, const fs::path&, int);
// run-many's warm offices, and the one kept for single runs.
const std::pair<const char*, RunOnOffice> kWarmOffices[] = {{"many", RunOnWarmOffice},
                                                            {"single", RunOnUserOffice}};

TEST(IntegrationWarm, NothingAScenarioLeavesInTheOfficeReachesTheNext) {
  Folder folder;
  // The check finds each thing left, when it runs where it was left.
  const fs::path both = Scenario(folder.path() / "both.json", WarmWorkbook(folder.path()),
                                 "Warm.LeaveEverything", "Warm.CheckAtEnd");
  const Result r = RunQuiet(both, folder.path() / "alone", folder.path(), " --work-on-copies");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(ReadText(folder.path() / "alone" / "findings.txt"),
            "document;workbook global;library;module;global;setting;\n");

  // On a warm office: another document is closed in place; a change to the
  // office's own Basic libraries (what ran there outlives them) or to a
  // setting replaces the office.
  std::vector<fs::path> scenarios;
  for (const std::string leave : {"Document", "Basic", "Setting"}) {
    const fs::path workbook = WarmWorkbook(folder.path(), leave);
    scenarios.push_back(
        Scenario(folder.path() / ("leave-" + leave + ".json"), workbook, "Warm.Leave" + leave));
    scenarios.push_back(
        Scenario(folder.path() / ("check-" + leave + ".json"), workbook, "Warm.CheckAtStart"));
  }
  for (const auto& [name, runOn] : kWarmOffices) {
    SCOPED_TRACE(name);
    const fs::path out = folder.path() / name / "out";
    const std::vector<int> offices = runOn(scenarios, out, -1);
    for (const std::string leave : {"Document", "Basic", "Setting"})
      EXPECT_EQ(ReadText(out / ("check-" + leave) / "findings.txt"), "\n") << leave;
    ASSERT_EQ(offices.size(), 6u);
    EXPECT_EQ(offices[0], offices[1]) << "reset in place";
    EXPECT_EQ(offices[1], offices[2]) << "nothing was left";
    EXPECT_NE(offices[2], offices[3]) << "Basic state is not undone in place";
    EXPECT_EQ(offices[3], offices[4]);
    EXPECT_NE(offices[4], offices[5]) << "a changed setting is not undone in place";
  }
}

// A listener on every document's events and a process started by a macro
// outlive their workbook, unseen by a reset: the office is not handed on
// (the next scenario's workbook holds no such call), and the process ends
// before it can kill the office under the next scenario. An office that
// dies between scenarios is replaced, and no scenario fails.
TEST(IntegrationWarm, WhatOutlivesAScenarioOrADeadOfficeDoesNotReachTheNext) {
  Folder folder;
  const fs::path plain = WarmWorkbook(folder.path(), "Nothing");
  std::vector<fs::path> scenarios = {
      Scenario(folder.path() / "leave-Listener.json", WarmWorkbook(folder.path(), "Listener"),
               "Warm.LeaveListener"),
      Scenario(folder.path() / "check-Listener.json", plain, "Warm.CheckAtStart"),
      Scenario(folder.path() / "leave-Process.json", WarmWorkbook(folder.path(), "Process"),
               "Warm.CheckAtStart", "Warm.LeaveProcess"),
      // Longer than the process waits before it kills its office.
      Scenario(folder.path() / "pause.json", plain, "Warm.PauseAtStart")};
  for (const std::string name : {"first", "second", "third"})
    scenarios.push_back(Scenario(folder.path() / (name + ".json"),
                                 Example("separator") / "separator.fods", "Events.StartOfRun"));
  for (const auto& [name, runOn] : kWarmOffices) {
    SCOPED_TRACE(name);
    const fs::path out = folder.path() / name / "out";
    // Every one passes; the office is killed before the second plain one.
    const std::vector<int> offices = runOn(scenarios, out, 5);
    EXPECT_EQ(ReadText(out / "check-Listener" / "findings.txt"), "\n");
    ASSERT_EQ(offices.size(), 7u);
    EXPECT_NE(offices[0], offices[1]) << "a listener is not undone in place";
    EXPECT_NE(offices[2], offices[3]) << "nor what a process may have done";
    EXPECT_EQ(ProcessesNaming("kill-the-office.sh"), std::vector<int>{});
    EXPECT_EQ(offices[3], offices[4]);
    EXPECT_NE(offices[4], offices[5]) << "killed before the second";
    EXPECT_EQ(offices[5], offices[6]);
  }
}

// office start, run, office stop: the run is on the office, its outputs
// are a cold run's, a second run meanwhile takes its own, and nothing is
// left running; a server that was killed leaves a state that is removed.
TEST(IntegrationWarm, OfficeStartRunStopLeavesNothingRunning) {
  Folder folder;
  const fs::path& xdg = folder.path();
  const std::string environment = "XDG_RUNTIME_DIR=" + xdg.string();
  const fs::path scenario = OneSeparatorTimestep(
      xdg / "s.json", Example("separator") / "separator.fods", 5000, [](json&) {});
  const Result cold = RunQuiet(scenario, xdg / "cold", xdg);
  ASSERT_EQ(cold.status, 0) << cold.err;
  const auto [office, server] = StartUserOffice(xdg);
  ASSERT_FALSE(ProcessGone(office));
  {
    // A run holds the office: the next one starts its own.
    ::setenv("XDG_RUNTIME_DIR", xdg.c_str(), 1);
    std::ostringstream said;
    std::optional<refhost::OfficeLease> held = refhost::OfficeLease::Take(said);
    ::unsetenv("XDG_RUNTIME_DIR");
    ASSERT_TRUE(held) << said.str();
    const Result busy = Host(
        "run " + scenario.string() + " --quiet --out " + (xdg / "busy").string(), xdg, environment);
    EXPECT_EQ(busy.status, 0) << busy.err;
    EXPECT_THAT(busy.err, HasSubstr("in use by another run; this run starts its own office"));
    held->End(true);
  }
  const Result warm =
      Host("run " + scenario.string() + " --progress json --out " + (xdg / "warm").string(), xdg,
           environment);
  ASSERT_EQ(warm.status, 0) << warm.err;
  EXPECT_THAT(warm.err, HasSubstr("on the warm office (process " + std::to_string(office) + ")"));
  // Its timestep tells how long it took to write its first input.
  double firstInputMs = 0;
  std::istringstream events(warm.out);
  for (std::string line; std::getline(events, line);)
    if (const json event = json::parse(line); event["event"] == "timestep")
      firstInputMs = event.value("firstInputMs", 0.0);
  EXPECT_GT(firstInputMs, 0.0) << warm.out;
  for (const char* file : {"streams.csv", "compositions.csv", "summary.json"})
    EXPECT_EQ(ReadText(xdg / "warm" / file), ReadText(xdg / "cold" / file)) << file;
  EXPECT_EQ(Host("office stop", xdg, environment).status, 0);
  EXPECT_TRUE(WaitFor([&] { return ProcessGone(office) && ProcessGone(server); }, 30));
  EXPECT_EQ(Host("office status", xdg, environment).out, "no office running\n");

  const auto [again, killed] = StartUserOffice(xdg);
  ::kill(killed, SIGKILL);
  EXPECT_TRUE(WaitFor([&, again = again] { return ProcessGone(again); }, 30))
      << "it dies with its server";
  EXPECT_EQ(Host("office status", xdg, environment).out,
            "no office running (the state of one that ended was removed)\n");
  EXPECT_FALSE(fs::exists(xdg / "gridmoor-office" / "office.sock"));
}

}  // namespace
