// run-many's warm offices against real ones: what one scenario's macros
// leave in the office beyond its workbook (the office's own Basic
// libraries and their variables, another open document, a setting) is not
// seen by the next scenario; an office that dies
// between scenarios is replaced without failing any; and warm offices give
// what fresh ones give.
#include <gtest/gtest.h>
#include <signal.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include <nlohmann/json.hpp>

#include "host_test_support.h"
#include "run_many.h"
#include "warm_offices.h"

namespace {

namespace fs = std::filesystem;
using hosttest::Example;
using hosttest::Folder;
using hosttest::Host;
using hosttest::ReadText;
using hosttest::Result;
using nlohmann::json;

// Macros that leave state in the office, and one that looks for it and
// writes what it found into findings.txt beside its workbook.
constexpr const char* kWarmModule = R"(REM Leaves state in the office, or looks for it.
Global LeftInBook As Integer

Function Settings(update As Boolean) As Object
  Dim provider As Object, node As New com.sun.star.beans.PropertyValue
  provider = CreateUnoService("com.sun.star.configuration.ConfigurationProvider")
  node.Name = "nodepath"
  node.Value = "/org.openoffice.Office.Calc/Input"
  If update Then
    Settings = provider.createInstanceWithArguments("com.sun.star.configuration.ConfigurationUpdateAccess", Array(node))
  Else
    Settings = provider.createInstanceWithArguments("com.sun.star.configuration.ConfigurationAccess", Array(node))
  End If
End Function

Sub RunInOffice(uri As String)
  Dim factory As Object
  factory = CreateUnoService("com.sun.star.script.provider.MasterScriptProviderFactory")
  factory.createScriptProvider("").getScript(uri).invoke(Array(), Array(), Array())
End Sub

Sub LeaveDocument(timestep As Integer, dt As String)
  StarDesktop.loadComponentFromURL("private:factory/scalc", "_blank", 0, Array())
  LeftInBook = 5
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

Sub LeaveSetting(timestep As Integer, dt As String)
  Dim calcInput As Object
  calcInput = Settings(True)
  calcInput.MoveSelection = False
  calcInput.commitChanges()
End Sub

Sub LeaveEverything(timestep As Integer, dt As String)
  LeaveDocument timestep, dt
  LeaveBasic timestep, dt
  LeaveSetting timestep, dt
End Sub

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
  If Not Settings(False).MoveSelection Then found = found & "setting;"
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
)";

std::string XmlEscaped(std::string_view text) {
  std::string escaped;
  for (const char c : text) {
    switch (c) {
      case '&':
        escaped += "&amp;";
        break;
      case '<':
        escaped += "&lt;";
        break;
      case '>':
        escaped += "&gt;";
        break;
      case '"':
        escaped += "&quot;";
        break;
      default:
        escaped += c;
    }
  }
  return escaped;
}

// The separator's workbook with the module Warm beside its own.
fs::path WarmWorkbook(const fs::path& folder) {
  std::string text = ReadText(Example("separator") / "separator.fods");
  const std::string library = "<ooo:library-embedded ooo:name=\"Standard\">";
  const std::size_t at = text.find(library);
  EXPECT_NE(at, std::string::npos);
  text.insert(at + library.size(), "\n<ooo:module ooo:name=\"Warm\"><ooo:source-code>" +
                                       XmlEscaped(kWarmModule) + "</ooo:source-code></ooo:module>");
  const fs::path file = folder / "warm.fods";
  std::ofstream(file, std::ios::binary) << text;
  return file;
}

// One timestep of the separator on `workbook`, with `startOfRun` (and
// `endOfRun` when given) as the run's macros.
fs::path Scenario(const fs::path& file, const fs::path& workbook, const std::string& startOfRun,
                  const std::string& endOfRun = "", double oilRate = 5000) {
  return hosttest::ExampleScenario("separator", file, [&](json& s) {
    s["workbook"] = workbook.string();
    s.erase("publishedVariables");
    s.erase("modelDataFile");
    s["run"]["timesteps"] = 1;
    s["inputs"]["In-1"] = json::array({s["inputs"]["In-1"][0]});
    s["inputs"]["In-1"][0]["oilRate"] = oilRate;
    s["case"]["macros"] = json::object();
    if (!startOfRun.empty())
      s["case"]["macros"]["StartOfRun"] = {{"macro", startOfRun}, {"passDate", true}};
    if (!endOfRun.empty())
      s["case"]["macros"]["EndOfRun"] = {{"macro", endOfRun}, {"passDate", false}};
  });
}

// Warm offices that record which office each scenario got, and can kill an
// office once it is ready for its next scenario.
class RecordingOffices final : public refhost::OfficePool {
 public:
  RecordingOffices(std::size_t slots, std::vector<int>& handedOver, int killBeforeHandOver)
      : inner_(slots), handedOver_(handedOver), killBefore_(killBeforeHandOver) {}
  std::optional<std::string> Ready(std::size_t slot) override {
    std::optional<std::string> pipe = inner_.Ready(slot);
    if (!pipe || pipe->empty()) return pipe;
    if (static_cast<int>(handedOver_.size()) == killBefore_ && !killed_) {
      killed_ = true;
      const int pid = inner_.ProcessId(slot);
      ::kill(pid, SIGKILL);
      EXPECT_TRUE(hosttest::WaitFor([&] { return hosttest::Gone(pid); }, 10));
      return inner_.Ready(slot);
    }
    handedOver_.push_back(inner_.ProcessId(slot));
    return pipe;
  }
  void Release(std::size_t slot, bool passed) override { inner_.Release(slot, passed); }

 private:
  refhost::WarmOffices inner_;
  std::vector<int>& handedOver_;  // the office's process, per scenario started
  int killBefore_;
  bool killed_ = false;
};

// The scenarios one after another on one warm office; the office each got.
std::vector<int> RunOnWarmOffice(const std::vector<fs::path>& scenarios, const fs::path& out,
                                 int killBeforeHandOver = -1) {
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

TEST(IntegrationWarm, NothingAScenarioLeavesInTheOfficeReachesTheNext) {
  Folder folder;
  const fs::path workbook = WarmWorkbook(folder.path());

  // The check finds each thing left, when it runs where it was left.
  const fs::path both =
      Scenario(folder.path() / "both.json", workbook, "Warm.LeaveEverything", "Warm.CheckAtEnd");
  Result r = Host("run " + both.string() + " --quiet --work-on-copies --out " +
                      (folder.path() / "alone").string(),
                  folder.path());
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(ReadText(folder.path() / "alone" / "findings.txt"),
            "document;workbook global;library;module;global;setting;\n");

  // On a warm office: another document is closed in place; a change to the
  // office's own Basic libraries (what ran there outlives them) or to a
  // setting replaces the office.
  std::vector<fs::path> scenarios;
  for (const char* leave : {"Document", "Basic", "Setting"}) {
    scenarios.push_back(Scenario(folder.path() / (std::string("leave-") + leave + ".json"),
                                 workbook, std::string("Warm.Leave") + leave));
    scenarios.push_back(Scenario(folder.path() / (std::string("check-") + leave + ".json"),
                                 workbook, "Warm.CheckAtStart"));
  }
  const fs::path out = folder.path() / "out";
  const std::vector<int> offices = RunOnWarmOffice(scenarios, out);
  for (const char* leave : {"Document", "Basic", "Setting"})
    EXPECT_EQ(ReadText(out / (std::string("check-") + leave) / "findings.txt"), "\n") << leave;
  ASSERT_EQ(offices.size(), 6u);
  EXPECT_EQ(offices[0], offices[1]) << "reset in place";
  EXPECT_EQ(offices[1], offices[2]) << "nothing was left";
  EXPECT_NE(offices[2], offices[3]) << "Basic state is not undone in place";
  EXPECT_EQ(offices[3], offices[4]);
  EXPECT_NE(offices[4], offices[5]) << "a changed setting is not undone in place";
}

TEST(IntegrationWarm, AnOfficeThatDiesBetweenScenariosIsReplacedAndNoneFails) {
  Folder folder;
  std::vector<fs::path> scenarios;
  for (const char* name : {"first", "second", "third"})
    scenarios.push_back(Scenario(folder.path() / (std::string(name) + ".json"),
                                 Example("separator") / "separator.fods", "Events.StartOfRun"));
  const std::vector<int> offices = RunOnWarmOffice(scenarios, folder.path() / "out", 1);
  ASSERT_EQ(offices.size(), 3u);
  EXPECT_NE(offices[0], offices[1]) << "killed before the second";
  EXPECT_EQ(offices[1], offices[2]);
  const json summary = json::parse(ReadText(folder.path() / "out" / "summary.json"));
  for (const json& s : summary["scenarios"])
    EXPECT_TRUE(s["passed"]) << s.dump();
}

TEST(IntegrationWarm, WarmOfficesGiveWhatFreshOnesGive) {
  Folder folder;
  std::vector<std::string> files;
  for (const double oilRate : {3000.0, 4500.0, 6000.0, 7500.0}) {
    const fs::path file =
        folder.path() / ("rate-" + std::to_string(static_cast<int>(oilRate)) + ".json");
    hosttest::ExampleScenario("separator", file, [&](json& s) {
      for (json& step : s["inputs"]["In-1"])
        step["oilRate"] = oilRate;
    });
    files.push_back(file.string());
  }
  std::string list;
  for (const std::string& file : files)
    list += file + " ";
  for (const char* mode : {"warm", "fresh"}) {
    const std::string flag = std::string(mode) == "fresh" ? " --fresh-offices" : "";
    const Result r =
        Host("run-many " + list + "--jobs 2 --out " + (folder.path() / mode).string() + flag,
             folder.path());
    ASSERT_EQ(r.status, 0) << mode << r.out << r.err;
  }
  for (const std::string& file : files) {
    const std::string name = fs::path(file).stem().string();
    for (const char* output : {"streams.csv", "compositions.csv", "published.csv"}) {
      const std::string warm = ReadText(folder.path() / "warm" / name / output);
      EXPECT_FALSE(warm.empty()) << name << " " << output;
      EXPECT_EQ(warm, ReadText(folder.path() / "fresh" / name / output)) << name << " " << output;
    }
  }
}

}  // namespace
