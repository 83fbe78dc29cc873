// Whole runs of the examples through the program and the library against a
// real office. Expected values are the examples' worked numbers or follow
// from their equations, never taken from an earlier run.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "excel/calc/process/office_program.h"
#include "gridmoor/host.h"
#include "host_test_support.h"

namespace {

using ::testing::HasSubstr;

namespace fs = std::filesystem;
using namespace hosttest;
using nlohmann::json;

// A number of streams.csv, read with ReadStreams.
double Field(const std::map<std::pair<int, std::string>, std::map<std::string, std::string>>& rows,
             int timestep, const std::string& stream, const std::string& field) {
  const auto row = rows.find({timestep, stream});
  if (row != rows.end()) return std::stod(row->second.at(field));
  ADD_FAILURE() << "no row for " << stream << " at " << timestep;
  return NAN;
}

void ExpectRelative(double actual, double expected, double tolerance, const std::string& what) {
  EXPECT_NEAR(actual, expected, tolerance * std::max(1.0, std::fabs(expected))) << what;
}

// The texts of one sheet of a flat ODS file, row by row (empty rows left out).
std::vector<std::vector<std::string>> SheetRows(const std::string& fods, const std::string& sheet) {
  std::vector<std::vector<std::string>> rows;
  const std::size_t start = fods.find("table:name=\"" + sheet + "\"");
  const std::size_t end = fods.find("</table:table>", start);
  for (std::size_t at = start; (at = fods.find("<table:table-row", at)) < end;) {
    const std::size_t rowEnd = fods.find("</table:table-row>", at);
    std::vector<std::string> texts;
    for (std::size_t p = at; (p = fods.find("<text:p>", p)) < rowEnd; p += 8)
      texts.push_back(fods.substr(p + 8, fods.find("</text:p>", p) - p - 8));
    if (!texts.empty()) rows.push_back(texts);
    at = rowEnd;
  }
  return rows;
}

// Timestep 1 also sends component properties, which the model does not
// read: the input streams are recorded with the flags sent for them.
TEST(IntegrationSeparator, StreamsFollowTheFlashAndTheEventLogTheHostsOrder) {
  Folder folder;
  const fs::path out = folder.path() / "out", copy = folder.path() / "saved.fods";
  const std::vector<double> weights = {28.013, 44.01,  16.043, 30.07,  44.097,
                                       58.123, 58.123, 72.15,  86.177, 200};
  const std::vector<double> temperatures(10, 500.0);
  const fs::path file = ExampleScenario("separator", folder.path() / "s.json", [&](json& s) {
    s["inputs"]["In-1"][1]["molecularWeight"] = weights;
    s["inputs"]["In-1"][1]["criticalTemperature"] = temperatures;
  });
  const Result r =
      Host("run " + file.string() + " --out " + out.string() + " --save-as " + copy.string(),
           folder.path());
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_THAT(r.out, HasSubstr("Out-2"));

  // Timestep 0 against the example's worked numbers (its README); the later
  // timesteps' inputs differ, so a stale input would repeat its oil rate.
  const auto table = ReadStreams(out / "streams.csv");
  const std::tuple<const char*, const char*, double> worked[] = {
      {"Out-1", "oilRate", 5479.399},    {"Out-1", "waterRate", 1200},
      {"Out-1", "oilGravity", 48.37405}, {"Out-1", "massRate", 1509546},
      {"Out-2", "gasRate", 4.968323},    {"Out-2", "gasGravity", 0.7440763},
      {"Out-2", "massRate", 282212.0},   {"Out-1", "pressure", 300},
      {"Out-2", "temperature", 140}};
  for (const auto& [stream, field, value] : worked)
    ExpectRelative(Field(table, 0, stream, field), value, 5e-7, std::string(stream) + " " + field);
  for (int t = 1; t < 3; ++t)
    EXPECT_NE(Field(table, t, "Out-1", "oilRate"), Field(table, t - 1, "Out-1", "oilRate")) << t;
  const json summary = ReadJson(out / "summary.json");
  EXPECT_EQ(summary["status"], "ok");
  EXPECT_EQ(summary["office"], excel::calc::OfficeVersion());
  EXPECT_NE(summary["office"], "unknown");
  const json& out1 = summary["timesteps"][0]["outputs"]["Out-1"];
  EXPECT_EQ(out1["components"][2]["name"], "C1");
  EXPECT_NEAR(out1["components"][2]["moleFraction"].get<double>(), 0.0351002, 1e-7);
  EXPECT_EQ(summary["timesteps"][2]["date"], "2024-03-01");
  EXPECT_EQ(summary["timesteps"][0]["published"]["SepPressure"], "300");
  EXPECT_THAT(summary["timesteps"][0]["published"]["SepSummary"].get<std::string>(),
              HasSubstr("5479.4\t48.3741"));

  // The event log: one row per macro, in the order the host sent the codes.
  const auto log = SheetRows(ReadText(copy), "EventLog");
  std::vector<std::vector<std::string>> expected = {{"StartOfRun", "0", "1/1/2024"}};
  const char* dates[] = {"1/1/2024", "1/31/2024", "3/1/2024"};
  for (int t = 0; t < 3; ++t) {
    const std::string ts = std::to_string(t);
    expected.push_back({"StartOfTimestep", ts, dates[t]});
    expected.push_back({"PreSolve", ts});
    expected.push_back({"PostSolve2", ts});
    expected.push_back({"PostSolve", ts});
    expected.push_back({"EndOfTimestep", ts, dates[t]});
  }
  expected.push_back({"EndOfRun", "3"});
  ASSERT_EQ(log.size(), expected.size() + 1) << "heading and one row per macro";
  for (std::size_t i = 0; i < expected.size(); ++i)
    for (std::size_t c = 0; c < expected[i].size(); ++c)
      EXPECT_EQ(log[i + 1].at(c), expected[i][c]) << "event log row " << i + 2;

  EXPECT_EQ(table.at({0, "In-1"}).at("componentFlags"), "0");
  EXPECT_EQ(table.at({1, "In-1"}).at("componentFlags"),
            std::to_string(EXT_IPR_HAS_MOLECULAR_WEIGHT | EXT_IPR_HAS_CRITICAL_TEMPERATURE));
  EXPECT_THAT(ReadText(out / "compositions.csv"), HasSubstr("In-1,C7+,molecularWeight,200"));
}

TEST(IntegrationGasLift, OptimumMatchesTheEqualMarginalSolution) {
  Folder folder;
  const fs::path out = folder.path() / "out";
  const Result r =
      Host("run " + (Example("gaslift") / "scenario.json").string() + " --out " + out.string(),
           folder.path());
  ASSERT_EQ(r.status, 0) << r.err;
  // Equal marginals a b / (1 + b g) = lambda for the first two wells, with
  // the third at its bound and 4.5 of the 6 gas units left for them.
  const double a[] = {850, 640, 1150}, b[] = {1.3, 2.2, 0.55}, c[] = {420, 260, 180},
               upper[] = {4, 4, 1.5}, gor[] = {650, 900, 500}, wc[] = {0.2, 0.35, 0.1};
  const double lambda = (a[0] + a[1]) / (4.5 + 1 / b[0] + 1 / b[1]);
  const double g[] = {a[0] / lambda - 1 / b[0], a[1] / lambda - 1 / b[1], upper[2]};
  double best = 0;
  for (int i = 0; i < 3; ++i)
    best += a[i] * std::log(1 + b[i] * g[i]) + c[i];

  const json summary = ReadJson(out / "summary.json");
  ASSERT_EQ(summary["status"], "ok");
  const auto table = ReadStreams(out / "streams.csv");
  for (int t = 0; t < 2; ++t) {
    const json& optimum = summary["timesteps"][t]["optimum"];
    const double found = optimum["objective"];
    EXPECT_NEAR(found, best, 0.005 * best) << "timestep " << t;
    EXPECT_LE(found, best + 1e-3 * best) << "a bound was not applied";
    EXPECT_LE(optimum["constraints"]["TotalLiftGas"].get<double>(), 6.0 + 1e-4);
    EXPECT_TRUE(optimum["feasible"].get<bool>());
    // The output stream shows the production at the controls found.
    double oil = 0, water = 0, gas = 0;
    const char* names[] = {"LiftGasW1", "LiftGasW2", "LiftGasW3"};
    for (int i = 0; i < 3; ++i) {
      const double gi = optimum["controls"][names[i]];
      EXPECT_GE(gi, -1e-9);
      EXPECT_LE(gi, upper[i] + 1e-9);
      const double q = a[i] * std::log(1 + b[i] * gi) + c[i];
      oil += q;
      water += q * wc[i] / (1 - wc[i]);
      gas += q * gor[i] / 1e6 + gi;
    }
    ExpectRelative(Field(table, t, "Out-1", "oilRate"), oil, 1e-9, "oil");
    ExpectRelative(Field(table, t, "Out-1", "waterRate"), water, 1e-9, "water");
    ExpectRelative(Field(table, t, "Out-1", "gasRate"), gas, 1e-9, "gas");
  }
  EXPECT_EQ(Field(table, 1, "Out-1", "pressure"), 240);
  EXPECT_THAT(ReadText(out / "optimisation.csv"), HasSubstr(",final,"));
}

// (What a cell holding a label or nothing says: the driver's cell tests.)
TEST(IntegrationFailures, EachEndsWithStatusOneAndNamesTheProblem) {
  struct Case {
    const char *name, *example, *pointer;  // where the scenario changes
    json change;                           // merged into what is there
    const char* said[3];                   // texts stderr must hold
  };
  const Case cases[] = {
      {"missing sheet", "separator", "/case/outputStreams/1/sheetName", "NoSuchSheet",
       "s.json: case.outputStreams[1].propertyCells[0] (NoSuchSheet!F4): the workbook has no sheet "
       "'NoSuchSheet'"},
      {"bad published cell", "separator", "/publishedVariables/0/cell", "C0",
       "s.json: publishedVariables[0] (Flash!C0): 'C0' is not a cell address"},
      {"failing macro", "separator", "/case/macros/PreSolve/macro", "Events.Broken",
       "the driver was asked to prepare the solve (PreSolve macro) and said: ",
       "Unable to run macro Events.Broken", "timestep 0"},
      // A reference that names no cell says so, with its sheet.
      {"input stream cell R4C2", "separator", "/case/inputStreams/0/solverCells/1/cell", "R4C2",
       "the driver was asked to write input stream In-1 (sheet 'Inputs', cells B4, R4C2",
       "Error in setting data in Excel: Invalid cell reference \"R4C2\" on sheet Inputs",
       "timestep 0"},
  };
  for (const Case& c : cases) {
    Folder folder;
    const fs::path scenario = ExampleScenario(c.example, folder.path() / "s.json", [&](json& s) {
      s[json::json_pointer(c.pointer)].merge_patch(c.change);
    });
    const Result r = RunQuiet(scenario, folder.path() / "out", folder.path());
    EXPECT_EQ(r.status, 1) << c.name << ": " << r.err;
    for (const char* text : c.said)
      EXPECT_TRUE(text == nullptr || r.err.find(text) != std::string::npos)
          << c.name << ": no " << text << " in " << r.err;
  }
}

// A format that holds one sheet is never saved over with other sheets: the
// user's rows stay, and the run says why it refused.
TEST(IntegrationFailures, OneSheetFormatsAreNotSavedOverWithOtherSheets) {
  Folder folder;
  const fs::path csv = folder.path() / "data.csv";
  const std::string rows = "rate,1250\npressure,310\n";
  std::ofstream(csv) << rows;
  std::ofstream(folder.path() / "s.json") << R"({"workbook": "data.csv", "case": {
    "inputStreams": [{"sheetName": "Inputs",
                      "solverCells": [{"cell": "", "unit": 0}, {"cell": "B2", "unit": 0}]}],
    "outputStreams": [{"sheetName": "data", "propertyCells": [{"cell": "B1", "unit": 0}]}]},
  "run": {"start": "2025-01-01", "timesteps": 1, "stepDays": 1},
  "inputs": {"In-1": [{"oilRate": 7}]}})";
  const Result saved =
      RunQuiet(folder.path() / "s.json", folder.path() / "out", folder.path(), " --save");
  EXPECT_EQ(saved.status, 1) << saved.err;
  EXPECT_THAT(saved.err, HasSubstr("the driver added a sheet to this workbook"));
  EXPECT_EQ(ReadText(csv), rows);

  // A copy as CSV of a workbook of several sheets: refused in one line
  // before any timestep runs, rather than after the last.
  const Result copy =
      RunQuiet(ExampleScenario("separator", folder.path() / "sep.json", [](json&) {}),
               folder.path() / "sep-out", folder.path(),
               " --save-as " + (folder.path() / "copy.csv").string());
  EXPECT_EQ(copy.status, 1) << copy.err;
  EXPECT_THAT(copy.err, HasSubstr("would drop the other 3 sheets"));
  EXPECT_EQ(std::count(copy.err.begin(), copy.err.end(), '\n'), 1) << copy.err;
  EXPECT_FALSE(fs::exists(folder.path() / "sep-out" / "results.csv"));
  EXPECT_FALSE(fs::exists(folder.path() / "copy.csv"));
}

}  // namespace
