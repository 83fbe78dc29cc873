// report.html in a real browser: headless Chromium loads each page, and the
// test reads back what its scripts did. Skipped, with the reason, where
// Chromium is missing. Screenshots stay in the build tree.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <filesystem>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include <QImage>

#include "browser_support.h"
#include "report/report_data.h"
#include "report/report_page.h"
#include "report_test_support.h"

namespace {

using ::testing::HasSubstr;
using ::testing::Not;

namespace fs = std::filesystem;
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
      EXPECT_EQ(charts.at("stream-1-oilRate"), (std::vector<long>{3}));
      EXPECT_EQ(charts.count("stream-1-waterRate"), 0u);  // no data, no chart
      EXPECT_EQ(charts.at("published-0"), (std::vector<long>{3}));
      // Timestep 1: a trial infeasible, one feasible, the chosen point.
      EXPECT_EQ(charts.at("trials-objective"), (std::vector<long>{1, 1, 1}));
      EXPECT_THAT(dom, HasSubstr("class=\"on-bound\""));
    } else {
      EXPECT_EQ(charts.at("against-objective"), (std::vector<long>{1}));
    }
  }
}

struct Axes {
  std::string xTicks;
  std::vector<std::array<double, 4>> ys;  // span low and high, values low and high
};

// Each chart's axes as the page drew them.
std::map<std::string, Axes> ChartAxes(const std::string& dom) {
  std::map<std::string, Axes> charts;
  const std::regex canvas(
      R"re(<canvas data-chart="([^"]*)"[^>]*data-x-ticks="([^"]*)" data-y="([^"]*)")re");
  for (auto it = std::sregex_iterator(dom.begin(), dom.end(), canvas); it != std::sregex_iterator();
       ++it) {
    Axes& axes = charts[(*it)[1].str()];
    axes.xTicks = (*it)[2].str();
    std::istringstream list((*it)[3].str());
    for (std::string axis; std::getline(list, axis, ';');) {
      std::istringstream fields(axis);
      std::string id;
      std::array<double, 4> v{};
      fields >> id >> v[0] >> v[1] >> v[2] >> v[3];
      axes.ys.push_back(v);
    }
  }
  return charts;
}

// A run whose gas rate moves in its ninth digit and whose oil never flows,
// stopped by Ctrl-C; and a sweep of eight gas limits, one of them failed.
TEST(ReportBrowser, AxesDatesInterruptionAndASweep) {
  REQUIRE_CHROMIUM();
  const fs::path folder = kArtefacts / "axes";
  fs::remove_all(folder);
  refhost::RunRecord run = refhost::ReportSampleRun("well");
  for (refhost::StreamSample& s : run.streamSamples) {
    s.state.scalars[0] = 0;
    s.state.scalars[2] = 8.71396240 + 2.25e-7 * s.timestep;
  }
  run.interruptedBy = 2;
  ASSERT_FALSE(refhost::WriteRunReport(run, {}, folder / "run"));
  std::vector<refhost::ScenarioOutcome> sweep(8);
  for (std::size_t i = 0; i < sweep.size(); ++i) {
    sweep[i].name = "limit-" + std::to_string(i);
    sweep[i].exitStatus = i == 5 ? 1 : 0;
    sweep[i].objective = 3860.99592 + (i == 5 ? 0.0 : 1e-6 * static_cast<double>(i));
    sweep[i].varied = {{"case.constraints[0].limit", 10.0 - static_cast<double>(i)}};
  }
  ASSERT_FALSE(refhost::WriteManyReport(sweep, folder / "many"));
  struct Case {
    const char* page;
    const char* shows;        // on the page
    const char* hides;        // nowhere on it
    const char* datedCharts;  // charts whose x axis is the run's dates
  } cases[] = {
      {"run", "The run was interrupted by SIGINT at timestep 2", "The run failed", "stream-"},
      {"many", "limit-5 (case.constraints[0].limit 5): failed", "NaN", "none"},
  };
  for (const Case& c : cases) {
    std::string dom;
    OpenChecked(folder / c.page / "report.html", std::string("axes-") + c.page, &dom);
    // What the page shows, without its data and scripts.
    const std::string shown = dom.substr(0, dom.find("id=\"report-data\""));
    EXPECT_NE(shown.find(c.shows), std::string::npos) << c.page << ": " << c.shows;
    EXPECT_EQ(shown.find(c.hides), std::string::npos) << c.page << ": " << c.hides;
    const std::map<std::string, Axes> charts = ChartAxes(dom);
    EXPECT_FALSE(charts.empty()) << c.page;
    for (const auto& [id, axes] : charts) {
      if (id.rfind(c.datedCharts, 0) == 0) {
        EXPECT_THAT(axes.xTicks, ::testing::MatchesRegex("([0-9]{4}-[0-9]{2}-[0-9]{2}\\|?)+"))
            << id;
      }
      for (const auto& y : axes.ys) {
        const double size = std::max(std::fabs(y[2]), std::fabs(y[3]));
        EXPECT_GE(y[1] - y[0], size * 1e-3 * 0.999) << c.page << " " << id;
        if (id.find("Rate") != std::string::npos) {
          EXPECT_LE(y[0], 0) << id;
          EXPECT_GE(y[1], 0) << id;
        }
      }
    }
    if (c.page == std::string("many")) {
      // Seven passed, drawn against the limit in its order.
      EXPECT_EQ(browsertest::ChartPoints(dom).at("against-objective"), (std::vector<long>{7}));
      EXPECT_THAT(charts.at("against-objective").xTicks, ::testing::MatchesRegex("[0-9.|]+"));
    }
  }
}

}  // namespace
