// gridmoor-host run-many and collect: many scenarios and their summary.
#include <algorithm>
#include <filesystem>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "common/files.h"
#include "offices/warm_offices.h"
#include "report/report_page.h"
#include "results/many.h"
#include "results/varied.h"
#include "running/parent_watch.h"
#include "running/run_many.h"

namespace refhost {
namespace {

namespace fs = std::filesystem;

struct RunManyCommandOptions {
  std::vector<std::string> scenarios, vary;
  std::string out;
  int jobs = 0;
  bool save = false, report = false, freshOffices = false;
  std::string progress = "text";
  bool exitWithParent = false;
};

int RunManyCommand(const GlobalOptions& global, const RunManyCommandOptions& o) {
  std::error_code ec;
  if (!fs::exists(global.library, ec)) return ReportFailure("library not found: " + global.library);
  RunManyOptions options;
  options.program = fs::read_symlink("/proc/self/exe", ec);
  options.programOptions = {"--library", fs::absolute(global.library).string()};
  if (global.direct) options.programOptions.push_back("--direct");
  options.scenarios = {o.scenarios.begin(), o.scenarios.end()};
  options.out = o.out;
  options.jobs = o.jobs;
  options.save = o.save;
  options.report = o.report;
  options.vary = o.vary;
  options.jsonProgress = o.progress == "json";
  if (!o.freshOffices) {
    options.offices = [](std::size_t slots) -> std::unique_ptr<OfficePool> {
      return std::make_unique<WarmOffices>(slots, std::cerr);
    };
  }
  return RunMany(options, std::cout, std::cerr);
}

// Every scenario's summary over its folder, printed and written.
// summary.csv, summary.json and with `report` report.html into `out`.
outcome::Error WriteCollected(const std::vector<ScenarioOutcome>& outcomes, const std::string& out,
                              bool report) {
  std::vector<std::string> written{"summary.csv", "summary.json"};
  if (report) written.push_back(kReportFile);
  if (outcome::Error unwritable = CheckOutputFolder(out, written)) return unwritable;
  if (outcome::Error unwritten = WriteSummary(outcomes, out)) return unwritten;
  return report ? WriteManyReport(outcomes, out) : outcome::Error::Success();
}

int Collect(const std::vector<std::string>& folders, const std::string& out, bool report,
            const std::vector<std::string>& vary) {
  if (report && out.empty()) return ReportFailure("collect --report needs --out");
  if (report) {
    if (const outcome::Expected<std::string> chartJs = ReadChartJs(); !chartJs)
      return ReportFailure(chartJs.GetError().Message());
  }
  outcome::Expected<std::vector<ScenarioOutcome>> collected =
      CollectOutcomes({folders.begin(), folders.end()});
  if (!collected) return ReportFailure(collected.GetError().Message());
  std::vector<ScenarioOutcome>& outcomes = *collected;
  FindVariedValues(outcomes, vary);
  if (out.empty()) {
    std::cout << SummaryCsv(outcomes);
  } else {
    if (const outcome::Error unwritten = WriteCollected(outcomes, out, report))
      return ReportFailure(unwritten.Message());
    std::size_t width = 0;
    for (const ScenarioOutcome& o : outcomes)
      width = std::max(width, o.name.size());
    for (const ScenarioOutcome& o : outcomes)
      std::cout << OutcomeLine(o, width) << "\n";
    std::cout << TotalsLine(outcomes) << "; summary in "
              << (fs::absolute(out) / "summary.csv").string() << "\n";
  }
  const bool all = std::all_of(outcomes.begin(), outcomes.end(),
                               [](const ScenarioOutcome& o) { return o.passed(); });
  return all ? 0 : 1;
}

Command AddRunMany(CLI::App& app, const GlobalOptions& global) {
  CLI::App* many = app.add_subcommand(
      "run-many",
      "Run scenarios in parallel, each in its own process, on copies of its workbook and model "
      "data file in OUT/<scenario>/; each job keeps one office warm and hands it from scenario "
      "to scenario (replaced when a scenario changed it or failed)");
  auto o = std::make_shared<RunManyCommandOptions>();
  many->add_option("scenarios", o->scenarios, "The scenarios, JSON files")->required();
  many->add_option("--out", o->out,
                   "Folder for a folder per scenario (its outputs, stdout.txt, stderr.txt, "
                   "outcome.json) and summary.csv and summary.json over all")
      ->required();
  many->add_option("--jobs,-j", o->jobs,
                   "Runs at once (default: the cores, fewer when memory is short)")
      ->check(CLI::Range(1, 1024).description("1 to 1024"));
  many->add_flag("--save", o->save, "Save each run's copy of its workbook at the end");
  many->add_flag("--report", o->report,
                 "Also write report.html over all scenarios, linking each one's own page");
  many->add_option("--vary", o->vary,
                   "A scenario value that sets the scenarios apart, by its key path "
                   "(case.constraints[0].limit), as a column of summary.csv and on the report; "
                   "repeatable (default: every value that differs between the scenarios)");
  many->add_flag("--fresh-offices", o->freshOffices,
                 "Start a new office for every scenario instead of keeping one warm per job");
  AddProgressOptions(*many, o->progress, o->exitWithParent);
  many->fallthrough();
  return {many, [o, &global] {
            if (o->progress == "json") SurviveClosedPipes();
            if (o->exitWithParent) WatchParent();
            return RunManyCommand(global, *o);
          }};
}

Command AddCollect(CLI::App& app) {
  CLI::App* collect = app.add_subcommand(
      "collect", "The summary of run-many from scenario folders (after a cluster run)");
  auto folders = std::make_shared<std::vector<std::string>>();
  auto out = std::make_shared<std::string>();
  auto report = std::make_shared<bool>(false);
  auto vary = std::make_shared<std::vector<std::string>>();
  collect
      ->add_option("folders", *folders,
                   "Scenario folders, or folders holding them (as run-many --out)")
      ->required();
  collect->add_option("--out", *out,
                      "Write summary.csv and summary.json here (default: print summary.csv)");
  collect->add_flag("--report", *report,
                    "Also write report.html over all scenarios into --out, linking the pages "
                    "of the runs that wrote one");
  collect->add_option("--vary", *vary,
                      "A scenario value that sets the scenarios apart, by its key path, as for "
                      "run-many; repeatable");
  return {collect,
          [folders, out, report, vary] { return Collect(*folders, *out, *report, *vary); }};
}

}  // namespace

void AddProgressOptions(CLI::App& command, std::string& progress, bool& exitWithParent) {
  command
      .add_option("--progress", progress,
                  "text: progress for people; json: one JSON object per line on stdout for "
                  "programs (see docs/progress-json.md)")
      ->check(CLI::IsMember({"text", "json"}))
      ->capture_default_str();
  command.add_flag("--exit-with-parent", exitWithParent,
                   "End as on SIGTERM when the program that started this one ends (its end "
                   "is seen when a standard input that is a pipe closes, or by the parent id)");
}

std::vector<Command> AddManyCommands(CLI::App& app, const GlobalOptions& global) {
  return {AddRunMany(app, global), AddCollect(app)};
}

}  // namespace refhost
