// What a run shows of itself: its progress on stderr, whose timestep
// numbers are the table's (the index sent to the driver); and report.html, the data it carries and
// how it is embedded, without a browser (report_browser_test.cpp opens the pages in one).
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>

#include "common/csv.h"
#include "host_test_support.h"
#include "report/report_data.h"
#include "report/report_page.h"
#include "report_test_support.h"
#include "results/outputs.h"
#include "running/progress.h"

namespace refhost {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;

namespace fs = std::filesystem;
using nlohmann::json;

RunRecord ThreeTimesteps() {
  RunRecord run;
  run.timesteps = 3;
  run.streams = {{0, false, "In-1", {}}, {1, true, "Out-1", {}}};
  for (int t = 0; t < 3; ++t) {
    StreamState out;
    out.scalars[0] = 100 + t;
    out.scalars[2] = 2 + t;
    run.streamSamples.push_back({t, 45292.0 + 30 * t, 0, StreamState{}});
    run.streamSamples.push_back({t, 45292.0 + 30 * t, 1, out});
  }
  return run;
}

std::string ReadAll(std::FILE* file) {
  std::rewind(file);
  std::string text;
  for (int c; (c = std::fgetc(file)) != EOF;)
    text += static_cast<char>(c);
  return text;
}

// On a pipe: one line per timestep, numbered as the table's rows are.
TEST(HostProgress, APipeGetsOneLinePerTimestepNumberedAsTheTableAndNoTrials) {
  const RunRecord run = ThreeTimesteps();
  std::FILE* file = std::tmpfile();
  ASSERT_NE(file, nullptr);
  double now = 100;
  Progress progress(true, 3, file, [&now] { return now; });
  progress.StartingOffice();
  now += 22.4;
  progress.OfficeUp();
  for (int t = 0; t < 3; ++t) {
    progress.Trial(t, 1);
    progress.Done(t, 45292 + 30 * t, run);
  }
  progress.Finish();
  EXPECT_EQ(ReadAll(file),
            "starting the office…\noffice up after 0:22\n"
            "timestep 0 (1 of 3) 2024-01-01  Out-1 oil 100 gas 2\n"
            "timestep 1 (2 of 3) 2024-01-31  Out-1 oil 101 gas 3\n"
            "timestep 2 (3 of 3) 2024-03-01  Out-1 oil 102 gas 4\n");
  std::fclose(file);
  std::istringstream table(ResultTable(run));
  std::string row;
  std::getline(table, row);  // the header
  for (const char* start :
       {"0    2024-01-01 Out-1", "1    2024-01-31 Out-1", "2    2024-03-01 Out-1"}) {
    ASSERT_TRUE(std::getline(table, row));
    EXPECT_EQ(row.rfind(start, 0), 0u) << row;
  }
  EXPECT_FALSE(std::getline(table, row)) << row;
  EXPECT_EQ(TimestepLine(0, 1, 45292, RunRecord{}), "timestep 0 (1 of 1) 2024-01-01");

  std::FILE* quiet = std::tmpfile();
  ASSERT_NE(quiet, nullptr);
  Progress off(false, 3, quiet);
  off.StartingOffice();
  off.Done(0, 45292, run);
  off.Finish();
  EXPECT_EQ(ReadAll(quiet), "");
  std::fclose(quiet);
}

TEST(HostProgress, ProgressLineAndDurations) {
  struct Case {
    int done, timesteps, t, trial;
    double elapsed;
    const char* line;
  };
  const Case cases[] = {
      {0, 10, 0, 0, 0.4,
       "[..............................] 0 of 10 done  timestep 0 (1 of 10)  "
       "elapsed 0:00  left ?"},
      {1, 3, 1, 17, 3700,
       "[##########....................] 1 of 3 done  timestep 1 (2 of 3)  "
       "trial 17  elapsed 1:01:40  left ~2:03:20"},
      {3, 3, 3, 0, 9, "[##############################] 3 of 3 done  elapsed 0:09"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(ProgressLine(c.done, c.timesteps, c.t, c.trial, c.elapsed), c.line);
  EXPECT_EQ(Duration(-3), "0:00");
  EXPECT_EQ(Duration(59.6), "1:00");
  EXPECT_EQ(Duration(3599), "59:59");
  // What progress shows of a number: 6 significant figures at most.
  const std::pair<double, const char*> numbers[] = {{3860.995920, "3861"},
                                                    {8.71396240, "8.71396"},
                                                    {-0.000123456789, "-0.000123457"},
                                                    {4487213.6, "4.48721e+06"},
                                                    {EXT_UNDEFINED_VALUE, "-"}};
  for (const auto& [value, text] : numbers)
    EXPECT_EQ(ReadableNumber(value), text);
}

TEST(HostReport, EmbeddedJsonCannotLeaveItsScriptBlockAndReadsBackTheSame) {
  const std::string texts[] = {
      "</script><script>alert(1)</script>",
      "<!-- <script>",
      "a & b > c",
      "line\xE2\x80\xA8separator\xE2\x80\xA9paragraph",
      "plain \"quoted\" \\ backslash",
  };
  for (const std::string& text : texts) {
    const json data = {{"sheet", text}, {"list", {text, 1.5}}};
    const std::string embedded = EmbeddableJson(data);
    EXPECT_EQ(embedded.find_first_of("<>&"), std::string::npos) << embedded;
    EXPECT_THAT(embedded, Not(HasSubstr("\xE2\x80\xA8")));
    EXPECT_THAT(embedded, Not(HasSubstr("\xE2\x80\xA9")));
    EXPECT_EQ(json::parse(embedded), data) << embedded;
  }
  // Text that is not UTF-8 (a sheet name from an old workbook) is replaced,
  // not a reason to lose the page.
  const std::string embedded = EmbeddableJson(json{{"sheet", std::string("ab\xFF\xFE")}});
  EXPECT_EQ(json::parse(embedded)["sheet"], "ab\xEF\xBF\xBD\xEF\xBF\xBD");
}

TEST(HostReport, ThePageHasOnlyItsOwnScriptBlocks) {
  const std::string payload = kInjection;
  RunRecord run = ReportSampleRun(payload);
  const std::string chartJs = "var Chart = function () {}; var s = '</script><b>';";
  const std::string page = ReportPage(ReportKind::kRun, RunReportData(run, {}), chartJs);
  // The template's three: data, Chart.js, the page's own script.
  EXPECT_EQ(CountOf(page, "<script"), 3u);
  EXPECT_EQ(CountOf(page, "</script"), 3u);
  EXPECT_THAT(page, Not(HasSubstr(payload)));
  EXPECT_THAT(page, HasSubstr("var s = '<\\/script><b>';"));
  EXPECT_THAT(page, Not(HasSubstr("@DATA@")));
  EXPECT_THAT(page, Not(HasSubstr("@SCRIPT@")));
  EXPECT_THAT(page, Not(HasSubstr("innerHTML")));
}

TEST(HostReport, ControlsOnABound) {
  ControlInfo c;
  c.lower = {true, 0.0};
  c.upper = {true, 2000.0};
  struct Case {
    double value;
    const char* bound;
  };
  const Case cases[] = {{1e-9, "lower"}, {1999.9999, "upper"}, {1999.0, ""}, {0.01, ""}};
  for (const Case& k : cases)
    EXPECT_EQ(OnBound(c, k.value), k.bound) << k.value;
  ControlInfo open;
  EXPECT_EQ(OnBound(open, 0.0), "");
}

TEST(HostReport, LinksAreRelativeEncodedAndNeverAScheme) {
  const fs::path root = "/runs/many";
  struct Case {
    fs::path target;
    const char* link;
  };
  const Case cases[] = {
      {"/runs/many/north-2/report.html", "./north-2/report.html"},
      {"/runs/many/javascript:alert(1)/report.html", "./javascript%3Aalert%281%29/report.html"},
      {"/runs/many/a \"b\" <c>/report.html", "./a%20%22b%22%20%3Cc%3E/report.html"},
      {"/runs/other/x/report.html", "./../other/x/report.html"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(RelativeLink(root, c.target), c.link);
}

TEST(HostReport, ManyDataSumsFinalRatesAndLinksOnlyPagesThatExist) {
  const fs::path root = fs::temp_directory_path() / ("report-many-" + std::to_string(::getpid()));
  fs::remove_all(root);
  std::vector<ScenarioOutcome> outcomes(3);
  for (int i = 0; i < 3; ++i) {
    ScenarioOutcome& o = outcomes[static_cast<std::size_t>(i)];
    o.name = "s" + std::to_string(i);
    o.folder = root / o.name;
    fs::create_directories(o.folder);
  }
  outcomes[0].exitStatus = 0;
  outcomes[0].objective = 42;
  outcomes[1].exitStatus = 1;
  outcomes[1].message = "timestep 3: GetIPR failed";
  outcomes[2].exitStatus = 130;
  outcomes[0].varied = {{"limit", 6}};
  outcomes[2].varied = {{"limit", 9}};
  std::ofstream(outcomes[0].folder / "summary.json")
      << R"({"status":"ok","optimisation":{"objective":"TotalOil","unit":"STB/d"},)"
      << R"("timesteps":[{"outputs":{"A":{"oilRate":5}}},)"
      << R"({"outputs":{"A":{"oilRate":100,"gasRate":null},"B":{"oilRate":20,"gasRate":2}}}]})";
  std::ofstream(outcomes[0].folder / "report.html") << "<html></html>";
  const json d = ManyReportData(outcomes, root);
  fs::remove_all(root);
  ASSERT_EQ(d["scenarios"].size(), 3u);
  EXPECT_EQ(d["passed"], 1);
  EXPECT_EQ(d["varied"], json::array({"limit"}));
  EXPECT_EQ(d["objective"], json({{"name", "TotalOil"}, {"unit", "STB/d"}}));
  // Stopped by a signal is not a failure.
  EXPECT_EQ(d["scenarios"][2]["state"], "interrupted");
  EXPECT_EQ(d["scenarios"][2]["status"], "interrupted (SIGINT)");
  EXPECT_EQ(d["scenarios"][2]["varied"], json::array({9}));
  const json& ok = d["scenarios"][0];
  EXPECT_EQ(ok["status"], "ok");
  EXPECT_EQ(ok["rates"]["oilRate"], 120.0);
  EXPECT_EQ(ok["rates"]["gasRate"], 2.0);
  EXPECT_EQ(ok["rates"]["waterRate"], nullptr);
  EXPECT_EQ(ok["link"], "./s0/report.html");
  const json& failed = d["scenarios"][1];
  EXPECT_EQ(failed["status"], "failed (exit 1)");
  EXPECT_EQ(failed["state"], "failed");
  EXPECT_EQ(failed["message"], "timestep 3: GetIPR failed");
  EXPECT_EQ(failed["rates"], nullptr);
  EXPECT_EQ(failed["link"], nullptr);
}

// --report is refused before anything runs when it cannot be written.
TEST(HostReportCli, RefusedBeforeTheRunWhenThePageCannotBeWritten) {
  hosttest::Folder scratch;
  const fs::path out = scratch.path() / "out";
  const std::string scenario = (hosttest::Example("separator") / "scenario.json").string();
  struct Case {
    std::string arguments, environment, message;
  };
  const Case cases[] = {
      {"run " + scenario + " --report --out " + out.string(),
       "GRIDMOOR_CHARTJS=/nonexistent/chart.min.js",
       "--report needs Chart.js: cannot read /nonexistent/chart.min.js"},
      {"run-many " + scenario + " --report --out " + out.string(),
       "GRIDMOOR_CHARTJS=/nonexistent/chart.min.js", "(install the package libjs-chart.js)"},
      {"collect " + scratch.path().string() + " --report", "", "collect --report needs --out"},
  };
  for (const Case& c : cases) {
    const hosttest::Result r = hosttest::Host(c.arguments, scratch.path(), c.environment);
    EXPECT_EQ(r.status, 1) << c.arguments;
    EXPECT_THAT(r.err, HasSubstr(c.message));
    EXPECT_FALSE(fs::exists(out / "streams.csv")) << c.arguments;
    EXPECT_FALSE(fs::exists(out / "report.html")) << c.arguments;
  }
}

}  // namespace
}  // namespace refhost
