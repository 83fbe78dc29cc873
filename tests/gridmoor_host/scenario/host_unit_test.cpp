// The reference host's own logic, without a library or an office: result
// conventions, records, scenarios, CSV and the optimiser.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <tuple>

#include "common/folder_claim.h"
#include "common/notices.h"
#include "host_test_support.h"
#include "platform/notices.h"
#include "results/outputs.h"
#include "running/run.h"
#include "scenario/library.h"
#include "scenario/optimiser.h"
#include "scenario/records.h"
#include "scenario/result_convention.h"
#include "scenario/scenario.h"

namespace refhost {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;

namespace fs = std::filesystem;
using nlohmann::json;

TEST(HostResultConvention, EachCodeMeansWhatItsOperationSays) {
  const std::tuple<std::int32_t, std::int32_t, Outcome> cases[] = {
      {EXT_CMD_ENUM_STREAMS, 0, Outcome::kOk},
      {EXT_CMD_ENUM_STREAMS, -1, Outcome::kEnd},
      {EXT_CMD_ENUM_STREAMS, 1, Outcome::kFailed},
      {EXT_CMD_GET_STREAM_COMPOSITION, 1, Outcome::kOk},
      {EXT_CMD_GET_STREAM_COMPOSITION, 0, Outcome::kOff},
      {EXT_CMD_GET_STREAM_COMPOSITION, -1, Outcome::kFailed},
      {EXT_CMD_GET_NEXT_EVENT, 0, Outcome::kOk},
      {EXT_CMD_GET_NEXT_EVENT, 1, Outcome::kEnd},
      {EXT_CMD_GET_NEXT_PUBLISHED_VARIABLE, -1, Outcome::kEnd},
      {EXT_CMD_EVAL_PUBLISHED_VARIABLES, -100, Outcome::kBlock},
      {EXT_CMD_EVAL_PUBLISHED_VARIABLES, 1, Outcome::kFailed},
      {EXT_CMD_GET_OBJECTIVE_FUNCTION, -1, Outcome::kFailed},  // connection lost
      {EXT_CMD_SET_IPR, 0, Outcome::kOk},
      {EXT_CMD_END_OF_RUN, 1, Outcome::kFailed},
  };
  for (const auto& [code, result, expected] : cases)
    EXPECT_EQ(Interpret(code, result), expected) << "code " << code << " result " << result;
  EXPECT_TRUE(FailsSilently(EXT_CMD_END_OF_RUN));
  EXPECT_FALSE(FailsSilently(EXT_CMD_GET_IPR));
}

TEST(HostNotices, TheLibrarysNoticesAreTakenOnceAsWholeLines) {
  std::vector<std::string> taken;
  {
    NoticeFile notices;
    const char* file = std::getenv(platform::kNoticeFileVariable);
    ASSERT_NE(file, nullptr);
    platform::PublishNotice("macro M.Go showed a message box: \"two\nlines\"");
    std::ofstream(file, std::ios::app) << "half a li";
    EXPECT_EQ(notices.Take(),
              std::vector<std::string>{"macro M.Go showed a message box: \"two lines\""});
    EXPECT_TRUE(notices.Take().empty());
    std::ofstream(file, std::ios::app) << "ne\n";
    taken = notices.Take();
    EXPECT_TRUE(fs::exists(file));
  }
  EXPECT_EQ(taken, std::vector<std::string>{"half a line"});
  // Gone with its owner, and no longer named for the library.
  EXPECT_EQ(std::getenv(platform::kNoticeFileVariable), nullptr);
}

TEST(HostOutputFolder, OneLiveRunAtATimeAndNothingLeftAfterIt) {
  const hosttest::Folder temp;
  const fs::path& folder = temp.path();
  {
    OutputFolderClaim first, second;
    ASSERT_FALSE(first.Take(folder));
    EXPECT_EQ(second.Take(folder).Message(),
              "the output folder " + folder.string() + " is in use by another run (process " +
                  std::to_string(::getpid()) + "); give this run another --out");
  }
  EXPECT_FALSE(OutputFolderClaim().Take(folder));
  EXPECT_TRUE(fs::is_empty(folder));
  EXPECT_THAT(OutputFolderClaim().Take(folder / "missing").Message(),
              HasSubstr("cannot claim the output folder"));
}

TEST(HostScratch, FoldersOfKilledRunsGoAtTheNextStart) {
  const hosttest::Folder temp;
  const fs::path& root = temp.path();
  const std::string mine = "gridmoor-host-" + std::to_string(::getpid()) + "-";
  const fs::path ended = root / "gridmoor-host-2147483646-aB3dEf", live = root / (mine + "x"),
                 other = root / "gridmoor-host-notes";
  for (const auto& folder : {ended, live, other})
    fs::create_directory(folder);
  std::ofstream(ended / "model-data.gmd") << "left by a killed run";
  const char* before = std::getenv("TMPDIR");
  const std::string saved = before != nullptr ? before : "";
  ::setenv("TMPDIR", root.c_str(), 1);
  {
    Library library;
    const outcome::Expected<fs::path> scratch = library.ScratchFile("x.gmd");
    ASSERT_TRUE(scratch) << scratch.GetError().Message();
    EXPECT_THAT(scratch->parent_path().filename().string(), ::testing::StartsWith(mine));
  }
  before != nullptr ? ::setenv("TMPDIR", saved.c_str(), 1) : ::unsetenv("TMPDIR");
  EXPECT_FALSE(fs::exists(ended));
  EXPECT_TRUE(fs::exists(live) && fs::exists(other));
}

TEST(HostSettings, PrivateSettingsSelectTheMode) {
  EXPECT_THAT(PrivateSettingsText(true), HasSubstr("\"Vista\"=dword:00000000"));
  EXPECT_THAT(PrivateSettingsText(false), HasSubstr("\"Vista\"=dword:00000001"));
  EXPECT_EQ(PrivateSettingsText(false).rfind("REGEDIT4\n", 0), 0u);
}

TEST(HostRecords, IprRoundTripKeepsEveryFieldAndFlagANewOneNone) {
  StreamState in;
  in.scalars = {100, 20, 1.5, 300, 140, 5e5, 35, 0.7, 1.05};
  in.eosModel = EXT_EOS_SRK;
  in.compositionPresent = true;
  in.moleFractions = {0.2, 0.3, 0.5};
  in.properties[4] = {16.04, 30.07, 44.1};  // molecularWeight
  in.interaction = {{0, 0.01, 0.02}, {0.01, 0, 0.03}, {0.02, 0.03, 0}};
  Record record = EncodeIpr(7, in, 3);
  EXPECT_EQ(record.Get<std::uint32_t>(EXT_IPR_SIZE_OFFSET), EXT_IPR_RECORD_SIZE);
  EXPECT_EQ(record.Get<std::uint32_t>(EXT_IPR_HANDLE_OFFSET), 7u);
  EXPECT_EQ(record.Get<double>(EXT_IPR_GAS_GRAVITY_OFFSET), 0.7);  // oil, gas, water order
  EXPECT_EQ(record.Get<std::uint32_t>(EXT_IPR_COMPONENT_FLAGS_OFFSET),
            static_cast<std::uint32_t>(EXT_IPR_HAS_MOLECULAR_WEIGHT | EXT_IPR_HAS_INTERACTION));
  EXPECT_EQ(record.Get<double>(EXT_IPR_INTERACTION_OFFSET + EXT_IPR_INTERACTION_ROW_SIZE + 16),
            0.03);
  const StreamState out = DecodeIpr(record);
  EXPECT_EQ(std::tie(out.scalars, out.eosModel, out.moleFractions, out.properties, out.interaction),
            std::tie(in.scalars, in.eosModel, in.moleFractions, in.properties, in.interaction));
  // A new record holds the missing-value marker.
  const StreamState fresh = DecodeIpr(NewIprRecord(2));
  for (double v : fresh.scalars)
    EXPECT_TRUE(IsUndefined(v));
  EXPECT_FALSE(fresh.compositionPresent);
}

TEST(HostRecords, ProblemRecordDecodesAndClampsCounts) {
  Record r(EXT_OPT_PROBLEM_RECORD_SIZE);
  r.Put<std::uint8_t>(EXT_OPT_PROBLEM_OBJ_DEFINED_OFFSET, 1);
  r.PutText(EXT_OPT_PROBLEM_OBJ_NAME_OFFSET, EXT_OPT_PROBLEM_OBJ_NAME_SIZE, "TotalOil");
  r.Put<std::uint8_t>(EXT_OPT_PROBLEM_OBJ_MAXIMISE_OFFSET, 0);
  r.Put<std::int32_t>(EXT_OPT_PROBLEM_CONTROL_COUNT_OFFSET, 1);
  const std::size_t c = EXT_OPT_PROBLEM_CONTROLS_OFFSET;
  // A name filling its whole field has no NUL: it must stop at the field.
  r.PutText(c, EXT_OPT_CONTROL_NAME_SIZE + 1, std::string(EXT_OPT_CONTROL_NAME_SIZE, 'x'));
  r.Put<std::uint8_t>(c + EXT_OPT_CONTROL_HAS_LOWER_OFFSET, 1);
  r.Put<double>(c + EXT_OPT_CONTROL_LOWER_OFFSET, 0.5);
  r.Put<double>(c + EXT_OPT_CONTROL_UPPER_OFFSET, kUndefined);
  r.Put<std::int32_t>(EXT_OPT_PROBLEM_CONSTRAINT_COUNT_OFFSET, 1);
  r.Put<std::int32_t>(
      std::size_t{EXT_OPT_PROBLEM_CONSTRAINTS_OFFSET} + EXT_OPT_CONSTRAINT_TYPE_OFFSET,
      EXT_CONSTRAINT_GREATER);
  r.Put<std::int32_t>(EXT_OPT_PROBLEM_INT_CONTROL_COUNT_OFFSET, 1000);  // corrupt
  const ProblemInfo p = DecodeProblem(r);
  EXPECT_EQ(std::tuple(p.objectiveDefined, p.objectiveName, p.maximise),
            std::tuple(true, "TotalOil", false));
  ASSERT_EQ(p.controls.size(), 1u);
  const ControlInfo& control = p.controls[0];
  EXPECT_EQ(std::tuple(control.name, control.lower.present, control.upper.present),
            std::tuple(std::string(EXT_OPT_CONTROL_NAME_SIZE, 'x'), true, false));
  ASSERT_EQ(p.constraints.size(), 1u);
  EXPECT_EQ(p.constraints[0].type, ConstraintType::kGreater);
  EXPECT_EQ(p.intControls.size(), static_cast<std::size_t>(EXT_OPT_PROBLEM_MAX_ITEMS));
  EXPECT_DEATH((void)r.Get<double>(EXT_OPT_PROBLEM_RECORD_SIZE - 4),
               "host record access past its end");
}

TEST(HostDates, IsoAndOleDatesAgree) {
  double d = 0;
  ASSERT_TRUE(ParseIsoDate("2024-01-01", d));
  EXPECT_EQ(d, 45292.0);
  ASSERT_TRUE(ParseIsoDate("1899-12-30", d));
  EXPECT_EQ(d, 0.0);
  EXPECT_EQ(FormatIsoDate(45352.0), "2024-03-01");
  EXPECT_EQ(FormatIsoDate(45292.75), "2024-01-01");
  for (const char* bad : {"2023-02-29", "2024-13-01", "2024-1-1", "01/01/2024", "2024-01-01x"})
    EXPECT_FALSE(ParseIsoDate(bad, d)) << bad;
  EXPECT_DOUBLE_EQ(PlannedNextDate(100, 30, std::nullopt), 130);
  EXPECT_DOUBLE_EQ(PlannedNextDate(100, 30, 110.0), 110);
  EXPECT_DOUBLE_EQ(PlannedNextDate(100, 30, 100.0), 130);  // not ahead: ignored
  EXPECT_DOUBLE_EQ(PlannedNextDate(100, 30, 200.0), 130);
}

TEST(HostCsv, QuotesWhatNeedsQuotingReadsItBackAndNumbersRoundTrip) {
  const CsvRow fields{"plain", "a,b", "say \"hi\"", "two\nlines", ""};
  const auto rows = ParseCsv(CsvLine(fields) + "x,y\r\n\n");
  ASSERT_TRUE(rows) << rows.GetError().Message();
  EXPECT_EQ(*rows, (std::vector<CsvRow>{fields, {"x", "y"}}));
  const auto unterminated = ParseCsv("a,\"open\n");
  EXPECT_FALSE(unterminated);
  EXPECT_THAT(unterminated.GetError().Message(), HasSubstr("line 1"));
  // Numbers round-trip; missing values are empty.
  for (double v : {0.1, 1.0 / 3.0, 5479.39904479294, -2.5e-12, 1e30})
    EXPECT_EQ(std::strtod(FormatNumber(v).c_str(), nullptr), v) << FormatNumber(v);
  EXPECT_EQ(FormatNumber(0.1), "0.1");
  EXPECT_EQ(FormatNumber(kUndefined), "");
}

// A spreadsheet opening the file runs no text as a formula; numbers stay
// numbers, and one apostrophe taken off gives every text back.
TEST(HostCsv, TextThatWouldRunAsAFormulaIsNeutralisedAndNumbersAreNot) {
  const std::pair<const char*, const char*> cases[] = {
      {"=1+2", "'=1+2"}, {"+cmd|' /C calc'!A0", "'+cmd|' /C calc'!A0"},
      {"-2+3", "'-2+3"}, {"@SUM(A1:A9)", "'@SUM(A1:A9)"},
      {"-", "'-"},       {"'quoted", "''quoted"},
      {"-4.5", "-4.5"},  {"-2.5e-12", "-2.5e-12"},
      {"+7", "+7"},      {"a=b", "a=b"},
      {"", ""},          {"=HYPERLINK(\"x\",\"y\")", "\"'=HYPERLINK(\"\"x\"\",\"\"y\"\")\""},
  };
  for (const auto& [text, field] : cases) {
    EXPECT_EQ(CsvField(text), field) << text;
    const auto rows = ParseCsv(CsvLine({text, "x"}));
    ASSERT_TRUE(rows) << rows.GetError().Message();
    const std::string read = rows->at(0).at(0);
    EXPECT_EQ(read.starts_with('\'') ? read.substr(1) : read, text);
  }
}

TEST(HostMessages, TheLibrarysLineBreaksBecomeSpacesInOneLineOutputs) {
  const std::pair<const char*, const char*> cases[] = {
      {"This file is open in another instance of Excel.\nIt can not be opened twice",
       "This file is open in another instance of Excel. It can not be opened twice"},
      {"a  \r\n  b", "a b"},
      {"trailing\n", "trailing"},
      {"two\n\nbreaks", "two breaks"},
      {"tab\tkept", "tab\tkept"},
  };
  for (const auto& [text, line] : cases) {
    EXPECT_EQ(JoinLines(text), line) << text;
    EXPECT_THAT(OneLine(JoinLines(text)), Not(HasSubstr("\\n"))) << text;
  }
}

json BaseScenario() {
  return json::parse(R"({"workbook": "book.fods", "case": {"inputCount": 1},
    "run": {"start": "2024-01-01", "timesteps": 3, "stepDays": 30},
    "inputs": {"In-1": [{"oilRate": 10, "moleFractions": [0.5, 0.5]}, {"oilRate": 20}]}})");
}

TEST(HostScenario, ReadsAValidScenarioAndErrorsNameTheKeyAtFault) {
  const auto parsed = ParseScenario(BaseScenario(), "/models");
  ASSERT_TRUE(parsed) << parsed.GetError().Message();
  const Scenario& s = *parsed;
  EXPECT_EQ(*s.workbook, fs::path("/models/book.fods"));
  EXPECT_EQ(std::tuple(s.timesteps, s.startDate), std::tuple(3, 45292.0));
  const InputSeries& series = s.inputs.at("In-1");
  EXPECT_EQ(InputAt(series, 0)->scalars[0], 10);
  EXPECT_EQ(InputAt(series, 2)->scalars[0], 20);  // the last entry carries on
  EXPECT_TRUE(IsUndefined(InputAt(series, 1)->scalars[1]));
  EXPECT_EQ(InputAt(series, 0)->moleFractions.size(), 2u);

  // Where in the scenario, the value put there and what the error says.
  const std::tuple<const char*, json, const char*> cases[] = {
      {"/colour", "red", "unknown key 'colour'"},
      {"/run/stepdays", 3, "unknown key 'run.stepdays'"},
      {"/inputs/In-1/1/oilrate", 3, "unknown key 'inputs.In-1[1].oilrate'"},
      {"/optimisation/method", "simplex", "'optimisation.method'"},
      {"/run/start", "2024-02-30", "'run.start'"},
      {"/run/timesteps", 0, "'run.timesteps'"},
      {"/inputs/In-1/0/oilRate", "ten", "'inputs.In-1[0].oilRate' must be a finite number"},
      {"/caseArchive", "case.gmc", "either inline"},
  };
  for (const auto& [pointer, value, expected] : cases) {
    json document = BaseScenario();
    document[json::json_pointer(pointer)] = value;
    const auto bad = ParseScenario(document, "/m");
    EXPECT_FALSE(bad) << pointer;
    const std::string error = bad.GetError().Message();
    EXPECT_THAT(error, HasSubstr(expected)) << pointer << ": " << error;
  }
}

TEST(HostScenario, InputCsvGivesTheSameValuesAsTheTable) {
  auto inputs = ParseInputCsv(
      "timestep,stream,oilRate,moleFractions[1],interaction[0][1],eosModel\n"
      "0,In-1,10,0.4,0.02,PR\n2,In-1,,0.6,,\n");
  ASSERT_TRUE(inputs) << inputs.GetError().Message();
  const InputSeries& series = inputs->at("In-1");
  const StreamState& first = series.at(0);
  EXPECT_EQ(
      std::tuple(first.scalars[0], first.moleFractions, first.interaction[0][1], first.eosModel),
      std::tuple(10.0, std::vector<double>{0, 0.4}, 0.02, std::uint32_t{EXT_EOS_PR}));
  EXPECT_TRUE(IsUndefined(series.at(2).scalars[0]));
  EXPECT_EQ(InputAt(series, 1), &series.at(0));
  // A byte-order mark in front of the header, as spreadsheets save UTF-8.
  const auto marked = ParseInputCsv("\xEF\xBB\xBFtimestep,stream,oilRate\n0,In-1,5\n");
  ASSERT_TRUE(marked) << marked.GetError().Message();
  EXPECT_EQ(marked->at("In-1").at(0).scalars[0], 5);

  for (const char* bad :
       {"timestep,stream,oilrate\n0,In-1,1\n", "timestep,stream,oilRate\nx,In-1,1\n",
        "timestep,stream,oilRate\n0,In-1,abc\n", "stream,timestep\n",
        "timestep,stream,moleFractions[100]\n0,In-1,1\n"}) {
    EXPECT_FALSE(ParseInputCsv(bad)) << bad;
  }
}

// Three wells with concave curves a ln(1 + b g) + c; the optimum follows
// from equal marginals, with the third well at its bound.
struct GasLift {
  double a[3] = {850, 640, 1150}, b[3] = {1.3, 2.2, 0.55};
  Evaluation operator()(const TrialPoint& p) const {
    Evaluation e;
    double gas = 0;
    for (int i = 0; i < 3; ++i) {
      e.objective += a[i] * std::log(1 + b[i] * p.controls[i]);
      gas += p.controls[i];
    }
    e.constraints = {gas};
    return e;
  }
};

ProblemInfo GasLiftProblem() {
  ProblemInfo p;
  p.objectiveDefined = true;
  const double upper[3] = {4, 4, 1.5};
  for (int i = 0; i < 3; ++i)
    p.controls.push_back({"g" + std::to_string(i), "", {true, 0}, {true, upper[i]}, i});
  p.constraints.push_back({"gas", "", 6.0, ConstraintType::kLess, 0});
  return p;
}

TEST(HostOptimiser, CobylaFindsTheConstrainedOptimumAndBobyqaTheUnconstrainedOne) {
  const ProblemInfo problem = GasLiftProblem();
  OptimisationSettings settings;
  settings.relativeTolerance = 1e-8;
  settings.maxIterations = 500;
  EXPECT_EQ(ChooseMethod(problem, settings), Method::kCobyla);
  int trials = 0;
  const auto found =
      Optimise(problem, settings, {{1, 1, 1}, {}}, GasLift{}, [&](const Trial&) { ++trials; });
  ASSERT_TRUE(found) << found.GetError().Message();
  // The optimum itself: IntegrationGasLift, through a whole run.
  EXPECT_TRUE(found->feasible);
  EXPECT_EQ(found->evaluations, trials);
  EXPECT_EQ(found->method, "cobyla");

  // Without constraints: bobyqa, which stays in the bounds and refuses any.
  ProblemInfo free = problem;
  free.constraints.clear();
  OptimisationSettings defaults;
  EXPECT_EQ(ChooseMethod(free, defaults), Method::kBobyqa);
  const auto unconstrained =
      Optimise(free, defaults, {{1, 1, 1}, {}}, GasLift{}, [](const Trial&) {});
  ASSERT_TRUE(unconstrained) << unconstrained.GetError().Message();
  const OptimumResult& b = *unconstrained;
  EXPECT_EQ(b.method, "bobyqa");
  EXPECT_NEAR(b.point.controls[0], 4, 1e-4);
  EXPECT_NEAR(b.point.controls[2], 1.5, 1e-4);
  defaults.method = Method::kBobyqa;
  const auto refused = Optimise(problem, defaults, {{1, 1, 1}, {}}, GasLift{}, [](const Trial&) {});
  EXPECT_FALSE(refused);
  EXPECT_EQ(refused.GetError().Message(),
            "BOBYQA cannot honour constraints; use \"cobyla\" or \"auto\"");
}

TEST(HostOptimiser, IntegerStatesAreEnumeratedWhenFew) {
  ProblemInfo problem;
  problem.objectiveDefined = true;
  problem.maximise = false;
  problem.intControls = {{"pump", 0, {"off", "low", "high"}}, {"valve", 1, {"shut", "open"}}};
  const auto value = [](const TrialPoint& p) {
    return Evaluation{std::fabs(p.states[0] - 1.0) + std::fabs(p.states[1] - 1.0), {}};
  };
  OptimisationSettings settings;
  auto found = Optimise(problem, settings, {{}, {0, 0}}, value, [](const Trial&) {});
  ASSERT_TRUE(found) << found.GetError().Message();
  OptimumResult r = *found;
  EXPECT_EQ(r.point.states, (std::vector<int>{1, 1}));
  EXPECT_EQ(r.evaluations, 6);
  EXPECT_EQ(r.method, "enumeration");

  settings.maxIntegerCombinations = 5;
  found = Optimise(problem, settings, {{}, {2, 0}}, value, [](const Trial&) {});
  ASSERT_TRUE(found) << found.GetError().Message();
  r = *found;
  EXPECT_EQ(r.point.states, (std::vector<int>{2, 0}));
  EXPECT_THAT(r.note, HasSubstr("more than 5"));
}

TEST(HostOptimiser, AFailingEvaluationEndsTheSearchWithItsOwnError) {
  const ProblemInfo problem = GasLiftProblem();
  int calls = 0;
  const auto failing = [&](const TrialPoint&) -> outcome::Expected<Evaluation> {
    if (++calls == 3) return outcome::Error::Failed("GetIPR failed");
    return Evaluation{1.0, {0.0}};
  };
  const auto result =
      Optimise(problem, OptimisationSettings{}, {{1, 1, 1}, {}}, failing, [](const Trial&) {});
  EXPECT_FALSE(result);
  EXPECT_EQ(result.GetError().Message(), "GetIPR failed");
  EXPECT_EQ(calls, 3);
}

TEST(HostOptimiser, ViolationCountsOnlyBeyondTolerance) {
  ProblemInfo p;
  p.constraints = {{"a", "", 10, ConstraintType::kLess, 0},
                   {"b", "", 5, ConstraintType::kGreater, 1},
                   {"c", "", 1, ConstraintType::kEqual, 2}};
  EXPECT_EQ(Violation(p, {0, {10, 5, 1}}), 0);
  EXPECT_DOUBLE_EQ(Violation(p, {0, {11, 4, 1.5}}), 1 + 1 + 0.5);
  EXPECT_TRUE(std::isinf(Violation(p, {0, {kUndefined, 5, 1}})));
}

// The files' layouts (what a real run writes into them: IntegrationSeparator
// and IntegrationGasLift).
TEST(HostOutputs, FilesCarryEveryStreamAndTrial) {
  RunRecord run;
  run.streams = {{0, false, "In-1", {"C1", "C2"}}, {1, true, "Out-1", {}}};
  run.problem = GasLiftProblem();
  run.optimising = true;
  StreamState in;
  in.scalars[0] = 100;
  in.compositionPresent = true;
  in.moleFractions = {0.25, 0.75};
  StreamState out;
  out.scalars[2] = 1.5;
  run.streamSamples = {{0, 45292, 0, in}, {0, 45292, 1, out}};
  const Trial trial{1, {{1, 2, 3}, {}}, {10, {6}}, true};
  run.trials = {{0, 45292, trial, false}, {0, 45292, trial, true}};
  run.results = {{.date = 45292,
                  .optimised = true,
                  .optimum = {.point = trial.point, .value = trial.value, .method = "", .note = ""},
                  .nextEvent = std::nullopt}};

  const std::string streams = StreamsCsv(run);
  EXPECT_THAT(streams, HasSubstr("0,2024-01-01,In-1,in,100,,,"));
  EXPECT_THAT(streams, HasSubstr("0,2024-01-01,Out-1,out,,,1.5,"));
  const std::string opt = OptimisationCsv(run);
  EXPECT_EQ(opt.substr(0, opt.find('\n')), "timestep,date,trial,g0,g1,g2,objective,gas,feasible");
  EXPECT_THAT(opt, HasSubstr("0,2024-01-01,final,1,2,3,10,6,yes"));
  const json summary = Summary(run);
  EXPECT_EQ(summary["status"], "ok");
  EXPECT_EQ(summary["timesteps"][0]["outputs"]["Out-1"]["gasRate"], 1.5);
  EXPECT_TRUE(summary["timesteps"][0]["outputs"]["Out-1"]["oilRate"].is_null());
  run.failure = RunFailure{"GetIPR failed", "GetIPR", 50, 0};
  EXPECT_EQ(Summary(run)["error"]["code"], 50);
}

}  // namespace
}  // namespace refhost
