// report.html in a real browser: headless Chromium loads each page, and the
// test reads back what its scripts did. Skipped, with the reason, where
// Chromium is missing. Screenshots stay in the build tree.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <vector>

#include <QImage>
#include <nlohmann/json.hpp>

#include "browser_support.h"
#include "common/csv.h"
#include "host_test_support.h"
#include "report/report_data.h"
#include "report/report_page.h"
#include "report_test_support.h"

namespace {

using ::testing::HasSubstr;
using ::testing::Not;

namespace fs = std::filesystem;
using nlohmann::json;
using Counts = std::map<std::string, std::vector<long>>;

const fs::path kArtefacts = REPORT_ARTEFACTS_DIR;

#define REQUIRE_CHROMIUM() \
  if (browsertest::ChromiumProgram().empty()) GTEST_SKIP() << browsertest::kNoChromium

// Why the screenshot `png` looks blank, empty when it does not: a share of
// its pixels differs from the background (the top left corner), and it has
// more than a few colours (text, lines).
std::string Blankness(const fs::path& png) {
  const QImage image(QString::fromStdString(png.string()), "PNG");
  if (image.isNull()) return "not a PNG: " + png.string();
  std::set<QRgb> colours;
  long differ = 0;
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x) {
      const QRgb c = image.pixel(x, y) & RGB_MASK;
      if (colours.size() < 1000) colours.insert(c);
      differ += c != (image.pixel(0, 0) & RGB_MASK) ? 1 : 0;
    }
  if (differ * 100 >= static_cast<long>(image.width()) * image.height() && colours.size() >= 16)
    return "";
  return png.string() + " looks blank: " + std::to_string(differ) +
         " pixels differ from the background, " + std::to_string(colours.size()) + " colours";
}

// Loads `page` and checks what every page must do: load, draw, say nothing
// on the console, show something in its screenshot. Returns its charts.
Counts OpenChecked(const fs::path& page, const std::string& name, std::string* dom = nullptr) {
  const fs::path scratch = kArtefacts / "browser" / name;
  fs::remove_all(scratch);
  const browsertest::LoadedPage loaded = browsertest::LoadPage(page, scratch);
  EXPECT_EQ(loaded.status, 0) << loaded.log;
  EXPECT_EQ(browsertest::RootAttribute(loaded.dom, "data-ready"), "1") << name;
  EXPECT_TRUE(loaded.console.empty()) << name << ": " << loaded.console.front();
  EXPECT_EQ(browsertest::RootAttribute(loaded.dom, "data-failed"), "") << name;
  const fs::path png = kArtefacts / "screenshots" / (name + ".png");
  fs::remove(png);
  EXPECT_EQ(browsertest::Screenshot(page, png, scratch), 0) << name;
  EXPECT_EQ(Blankness(png), "");
  if (dom != nullptr) *dom = loaded.dom;
  return browsertest::ChartPoints(loaded.dom);
}

std::vector<std::string> Keys(const Counts& c) {
  std::vector<std::string> k;
  for (const auto& [name, sizes] : c)
    k.push_back(name);
  return k;
}

bool IsNumber(const std::string& text) {
  char* end = nullptr;
  std::strtod(text.c_str(), &end);
  return !text.empty() && end == text.c_str() + text.size();
}

// What the charts of a run's page must hold, from the run's CSV files and
// summary.json (written apart from the page's data).
Counts ExpectedRunCharts(const fs::path& folder) {
  Counts expected;
  const json summary = json::parse(hosttest::ReadText(folder / "summary.json"));
  const auto streams = hosttest::ReadTable(folder / "streams.csv");
  for (std::size_t i = 0; i < summary["streams"].size(); ++i) {
    long n = 0;
    for (const auto& row : streams)
      if (row.at("stream") == summary["streams"][i]["name"]) ++n;
    expected["stream-" + std::to_string(i) + "-rates"] = {n, n, n};
    expected["stream-" + std::to_string(i) + "-conditions"] = {n, n};
  }
  std::vector<std::string> order;
  std::map<std::string, long> rows;
  std::set<std::string> text;
  for (const auto& row : hosttest::ReadTable(folder / "published.csv")) {
    if (rows[row.at("name")]++ == 0) order.push_back(row.at("name"));
    if (!IsNumber(row.at("value"))) text.insert(row.at("name"));
  }
  for (const std::string& name : order)
    if (!text.count(name)) expected["published"].push_back(rows[name]);
  if (summary["optimisation"].is_object()) {
    long optimised = 0, last = -1;
    for (const json& step : summary["timesteps"])
      if (step.contains("optimum")) {
        ++optimised;
        last = step["timestep"].get<long>();
      }
    if (optimised > 0) expected["objective"] = {optimised, optimised};
    long trials = 0;
    for (const auto& row : hosttest::ReadTable(folder / "optimisation.csv"))
      if (row.at("timestep") == std::to_string(last)) ++trials;
    if (trials > 0) {
      expected["trials-objective"] = {trials};
      for (std::size_t k = 0; k < summary["optimisation"]["constraints"].size(); ++k)
        expected["trials-constraint-" + std::to_string(k)] = {trials};
    }
  }
  return expected;
}

// Trial charts hold their timestep's rows split into feasible, infeasible
// and chosen: compared by their sum.
void ExpectRunCharts(const Counts& charts, const fs::path& folder) {
  const Counts expected = ExpectedRunCharts(folder);
  EXPECT_EQ(Keys(charts), Keys(expected)) << folder;
  for (const auto& [name, sizes] : expected) {
    if (!charts.count(name)) continue;
    if (name.rfind("trials-", 0) == 0)
      EXPECT_EQ(browsertest::Sum(charts.at(name)), sizes[0]) << folder << " " << name;
    else
      EXPECT_EQ(charts.at(name), sizes) << folder << " " << name;
  }
}

TEST(ReportBrowser, InjectedMarkupShowsAsTextAndRunsNothing) {
  REQUIRE_CHROMIUM();
  const fs::path folder = kArtefacts / "injection";
  fs::remove_all(folder);
  refhost::RunRecord run = refhost::ReportSampleRun(refhost::kInjection);
  outcome::Error error = refhost::WriteRunReport(run, {}, folder);
  ASSERT_FALSE(error) << error.Message();
  std::vector<refhost::ScenarioOutcome> outcomes(2);
  outcomes[0].name = refhost::kInjection;
  outcomes[0].exitStatus = 1;
  outcomes[0].message = refhost::kInjection;
  outcomes[1].name = "plain";
  outcomes[1].exitStatus = 0;
  outcomes[1].objective = 3;
  error = refhost::WriteManyReport(outcomes, folder / "many");
  ASSERT_FALSE(error) << error.Message();

  for (const auto& [page, name] : {std::pair{folder / "report.html", "injection-run"},
                                   std::pair{folder / "many" / "report.html", "injection-many"}}) {
    std::string dom;
    const Counts charts = OpenChecked(page, name, &dom);
    // What the markup would have set, had it run.
    EXPECT_EQ(browsertest::RootAttribute(dom, "data-injected"), "") << name;
    EXPECT_THAT(dom, Not(HasSubstr("alert(1)</script>"))) << name;
    // It is on the page as text.
    EXPECT_THAT(dom, HasSubstr("&lt;/script&gt;&lt;script&gt;alert(1)&lt;/script&gt;")) << name;
    if (name == std::string("injection-run")) {
      EXPECT_THAT(dom, HasSubstr("id=\"run-error\""));
      EXPECT_EQ(charts.at("stream-1-rates"), (std::vector<long>{3, 3, 3}));
      EXPECT_EQ(charts.at("published"), (std::vector<long>{3}));
      // Timestep 1: a trial infeasible, one feasible, the chosen point.
      EXPECT_EQ(charts.at("trials-objective"), (std::vector<long>{1, 1, 1}));
      EXPECT_THAT(dom, HasSubstr("class=\"on-bound\""));
    } else {
      EXPECT_EQ(charts.at("compare"), (std::vector<long>{2, 2, 2, 2}));
    }
  }
}

// Four scenarios in one run-many with --report: the two examples, the
// separator run to its end with fewer timesteps, and the separator failing
// on a sheet whose name is markup. Then collect --report over them.
TEST(ReportBrowserIntegration, ExamplesAFailureAndAManyOfFour) {
  REQUIRE_CHROMIUM();
  const fs::path root = kArtefacts / "examples";
  fs::remove_all(root);
  fs::create_directories(root / "scenarios");
  hosttest::Folder scratch;
  const fs::path separator =
      hosttest::ExampleScenario("separator", root / "scenarios" / "separator.json", [](json&) {});
  const fs::path gaslift =
      hosttest::ExampleScenario("gaslift", root / "scenarios" / "gaslift.json", [](json&) {});
  const fs::path shorter =
      hosttest::ExampleScenario("separator", root / "scenarios" / "separator-short.json",
                                [](json& s) { s["run"]["timesteps"] = 2; });
  const fs::path failed =
      hosttest::ExampleScenario("separator", root / "scenarios" / "failed.json", [](json& s) {
        s["case"]["outputStreams"][1]["sheetName"] = "</script><script>alert(1)</script>";
      });
  const hosttest::Result r = hosttest::Host(
      "run-many --jobs 2 --report --out " + (root / "many").string() + " " + separator.string() +
          " " + gaslift.string() + " " + shorter.string() + " " + failed.string(),
      scratch.path());
  ASSERT_EQ(r.status, 1) << r.out << r.err;  // the failing one
  for (const char* name : {"separator", "gaslift", "separator-short", "failed"})
    ASSERT_TRUE(fs::exists(root / "many" / name / "report.html")) << name << r.out << r.err;

  for (const char* name : {"separator", "gaslift", "separator-short"}) {
    const fs::path folder = root / "many" / name;
    ExpectRunCharts(OpenChecked(folder / "report.html", name), folder);
  }
  std::string dom;
  const fs::path failedFolder = root / "many" / "failed";
  ExpectRunCharts(OpenChecked(failedFolder / "report.html", "failed", &dom), failedFolder);
  EXPECT_THAT(dom, HasSubstr("id=\"run-error\""));
  EXPECT_THAT(dom, HasSubstr("GetIPR"));
  EXPECT_THAT(dom, HasSubstr("&lt;/script&gt;&lt;script&gt;alert(1)&lt;/script&gt;"));
  EXPECT_EQ(browsertest::RootAttribute(dom, "data-injected"), "");

  const Counts many = OpenChecked(root / "many" / "report.html", "run-many", &dom);
  EXPECT_EQ(many.at("compare"), (std::vector<long>{4, 4, 4, 4}));
  for (const char* name : {"separator", "gaslift", "separator-short", "failed"})
    EXPECT_THAT(dom, HasSubstr("href=\"./" + std::string(name) + "/report.html\"")) << name;

  const hosttest::Result c = hosttest::Host(
      "collect --report --out " + (root / "collected").string() + " " + (root / "many").string(),
      scratch.path());
  EXPECT_EQ(c.status, 1) << c.out << c.err;
  const Counts collected = OpenChecked(root / "collected" / "report.html", "collected", &dom);
  EXPECT_EQ(collected.at("compare"), (std::vector<long>{4, 4, 4, 4}));
  EXPECT_THAT(dom, HasSubstr("href=\"./../many/gaslift/report.html\""));
}

}  // namespace
