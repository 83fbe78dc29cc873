// report.html in a real browser: headless Chromium loads each page, and the
// test reads back what its scripts did. Skipped, with the reason, where
// Chromium is missing. Screenshots stay in the build tree.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <set>
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

}  // namespace
