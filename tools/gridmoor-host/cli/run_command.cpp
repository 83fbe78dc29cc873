// gridmoor-host run: one scenario through the library, its outputs checked
// writable before the office starts.
#include <algorithm>
#include <chrono>
#include <filesystem>
#include <iostream>
#include <optional>
#include <string>

#include "check/scenario_cells.h"
#include "cli/commands.h"
#include "common/csv.h"
#include "common/files.h"
#include "common/folder_claim.h"
#include "common/interrupt.h"
#include "common/notices.h"
#include "excel/calc/process/office_program.h"
#include "offices/user_office.h"
#include "report/report_page.h"
#include "results/outputs.h"
#include "running/parent_watch.h"
#include "running/progress_events.h"
#include "running/run.h"
#include "running/work_copies.h"
#include "saved_values/saved_values.h"
#include "scenario/library.h"
#include "scenario/scenario.h"

namespace refhost {
namespace {

namespace fs = std::filesystem;

struct RunCommandOptions {
  std::string scenario, scenarioName, out, saveAs;
  bool save = false, quiet = false, copies = false, report = false;
  std::string progress = "text";  // "json": events on stdout instead of the table
  bool exitWithParent = false;
};

// --save-as never writes over the run's own scenario or into its --out
// folder, whose files the run writes itself.
outcome::Error CheckSaveAsTarget(const fs::path& saveAs, const fs::path& scenarioFile,
                                 const fs::path& out) {
  std::error_code ec;
  const fs::path target = fs::weakly_canonical(fs::absolute(saveAs), ec);
  if (fs::equivalent(target, fs::absolute(scenarioFile), ec))
    return outcome::Error::Failed(saveAs.string() + " is the run's own scenario file");
  const fs::path folder = fs::weakly_canonical(fs::absolute(out), ec);
  const fs::path parent = target.parent_path();
  if (!ec && std::mismatch(folder.begin(), folder.end(), parent.begin(), parent.end()).first ==
                 folder.end())
    return outcome::Error::Failed(saveAs.string() + " is inside the --out folder " + out.string() +
                                  ", which holds the run's own files");
  return CheckWritableFile(fs::absolute(saveAs));
}

// Said when the copy is in a format that keeps no macros.
std::string MacrosNotKeptNote(const fs::path& workbook, const fs::path& saveAs) {
  const std::string from = LowerExtension(workbook), to = LowerExtension(saveAs);
  if (to != ".xlsx" && to != ".csv") return {};
  if (from == ".xlsm" || from == ".xlsb")
    return "--save-as " + saveAs.string() +
           ": that format keeps no macros, so the VBA project of " + workbook.string() +
           " is not in the copy";
  if (from == ".xls" || from == ".ods" || from == ".fods")
    return "--save-as " + saveAs.string() + ": that format keeps no macros; any macros of " +
           workbook.string() + " are not in the copy";
  return {};
}

// What the report names as the run's case.
std::string ReportCaseSource(const Scenario& scenario) {
  if (scenario.caseArchive) return scenario.caseArchive->string();
  if (scenario.caseJson) return "inline in the scenario";
  return {};
}

// A copy in a format of one sheet (.csv) keeps only the active sheet: it is
// refused before the run when the workbook holds more than one, or when
// its sheets cannot be counted. Whether it holds just one (false when the
// copy's format holds more).
outcome::Expected<bool> SaveAsKeepsEverySheet(const Scenario& scenario, const fs::path& saveAs) {
  if (!IsOneSheetFormat(saveAs)) return false;
  const outcome::Expected<std::optional<fs::path>> named = ScenarioWorkbook(scenario);
  // A case that cannot be read fails the run itself, which says why.
  if (!named || !*named || IsOneSheetFormat(**named)) return false;
  const fs::path& workbook = **named;
  const outcome::Expected<SavedWorkbook> saved = ReadSavedValues(workbook);
  if (!saved)
    return outcome::Error::Failed("saving " + saveAs.string() +
                                  " is refused: the format holds one sheet, and the sheets of " +
                                  workbook.string() + " cannot be counted (" +
                                  saved.GetError().Message() + ")");
  if (saved->sheets.size() > 1)
    return outcome::Error::Failed("saving " + saveAs.string() +
                                  " is refused: the format holds one sheet and would drop " +
                                  "the other " + std::to_string(saved->sheets.size() - 1) +
                                  " sheets of " + workbook.string());
  return saved->sheets.size() == 1;
}

// `text` with the scenario file's path given as `name` (when there is one):
// a program that ran the scenario from a temporary file names it for its
// user, as that file is gone when the user reads this.
std::string NamingScenario(std::string text, const fs::path& file, const std::string& name) {
  const std::string path = fs::absolute(file).string();
  if (name.empty()) return text;
  for (std::size_t at = text.find(path); at != std::string::npos;
       at = text.find(path, at + name.size()))
    text.replace(at, path.size(), name);
  return text;
}

// The cells and sheets the scenario names, against the workbook's file where
// the check's readers can read it: a wrong one fails at once rather than once
// the office is up. A workbook they cannot read is left to the run.
outcome::Error CheckCellsBeforeOffice(const Scenario& scenario) {
  const outcome::Expected<std::optional<fs::path>> named = ScenarioWorkbook(scenario);
  if (!named || !*named) return outcome::Error::Success();
  const outcome::Expected<SavedWorkbook> saved = ReadSavedValues(**named);
  if (!saved) return outcome::Error::Success();
  return CheckScenarioSheets(scenario, saved->sheets);
}

// Where --save and --save-as write, tried before the office starts.
outcome::Error CheckSaveTargets(const RunCommandOptions& o, const Scenario& scenario) {
  if (!o.saveAs.empty()) {
    if (const outcome::Error refused = CheckSaveAsTarget(o.saveAs, o.scenario, o.out))
      return outcome::Error::Failed("--save-as: " + refused.Message());
  }
  if (o.save && o.saveAs.empty() && scenario.workbook) {
    if (const outcome::Error refused = CheckWritableFile(*scenario.workbook))
      return outcome::Error::Failed("--save: " + refused.Message());
  }
  return outcome::Error::Success();
}

// Every place the run writes, tried before the office starts; the run's
// options from the command line.
outcome::Expected<RunOptions> PrepareRun(const RunCommandOptions& o, const Scenario& scenario,
                                         OutputFolderClaim& claim) {
  std::vector<std::string> outputs = OutputFileNames();
  if (o.report) {
    outcome::Expected<std::string> chartJs = ReadChartJs();
    if (!chartJs) return chartJs.TakeError();
    outputs.push_back(kReportFile);
  }
  if (outcome::Error unwritable = CheckOutputFolder(o.out, outputs)) return unwritable;
  if (outcome::Error claimed = claim.Take(o.out)) return claimed;
  if (outcome::Error refused = CheckSaveTargets(o, scenario)) return refused;
  if (outcome::Error wrong = CheckCellsBeforeOffice(scenario)) return wrong;
  RunOptions options;
  if (!o.saveAs.empty()) {
    const outcome::Expected<bool> oneSheet = SaveAsKeepsEverySheet(scenario, o.saveAs);
    if (!oneSheet) return outcome::Error::Failed("--save-as: " + oneSheet.GetError().Message());
    options.oneSheetWorkbook = *oneSheet;
  }
  options.save = o.save || !o.saveAs.empty();
  if (!o.saveAs.empty()) options.saveAs = fs::absolute(o.saveAs);
  options.progress = !o.quiet;
  return options;
}

// The run's files and, with --report, its page.
outcome::Error WriteRunOutputs(const RunRecord& record, const RunReportContext& context,
                               const RunCommandOptions& o) {
  if (outcome::Error unwritten = WriteOutputs(record, o.out)) return unwritten;
  return o.report ? WriteRunReport(record, context, o.out) : outcome::Error::Success();
}

// Where the run's files are, and its page when there is one.
std::string WhereWritten(const RunCommandOptions& o) {
  const fs::path folder = fs::absolute(o.out);
  return folder.string() +
         (o.report ? "\nreport: " + (folder / kReportFile).string() : std::string());
}

// What an interrupted run wrote, said on stderr; 128 + the signal.
int EndInterrupted(RunRecord& record, const RunReportContext& context, const RunCommandOptions& o) {
  const std::string where = record.failure->timestep >= 0
                                ? " at timestep " + std::to_string(record.failure->timestep)
                                : " before the first timestep";
  record.notes.push_back(
      "the run was interrupted by " + SignalName(record.interruptedBy) + where +
      (OfficesEndedByInterrupt()
           ? "; the driver call in progress did not return, so the office was ended"
           : "") +
      "; the files hold what it got so far");
  const outcome::Error unwritten = WriteRunOutputs(record, context, o);
  std::cerr << "gridmoor-host: interrupted by " << SignalName(record.interruptedBy) << where << "; "
            << (unwritten ? "the outputs could not be written: " + unwritten.Message()
                          : "the outputs so far are in " + WhereWritten(o))
            << "\n";
  return 128 + record.interruptedBy;
}

// The outputs of a run that ended, its table or its failure; the status.
int EndRun(const RunRecord& record, const RunReportContext& context, const RunCommandOptions& o) {
  if (const outcome::Error unwritten = WriteRunOutputs(record, context, o))
    return ReportFailure(unwritten.Message());
  if (record.failure) {
    for (const std::string& note : record.notes)
      std::cerr << "note: " << OneLine(note) << "\n";
    const std::string where = record.failure->timestep >= 0
                                  ? "timestep " + std::to_string(record.failure->timestep) + ": "
                                  : std::string();
    const int status = ReportFailure(where + record.failure->message);
    if (record.failure->timestep >= 0)
      std::cerr << "what the run got so far is in " << WhereWritten(o) << "\n";
    return status;
  }
  if (o.progress != "json") std::cout << ResultTable(record);
  for (const std::string& note : record.notes)
    std::cerr << "note: " << OneLine(note) << "\n";
  if (!o.quiet) std::cerr << "results in " << WhereWritten(o) << "\n";
  return 0;
}

int Run(Library& library, NoticeFile& notices, RunCommandOptions o) {
  outcome::Expected<Scenario> loaded = LoadScenario(fs::absolute(o.scenario));
  if (!loaded)
    return ReportFailure(NamingScenario(loaded.GetError().Message(), o.scenario, o.scenarioName));
  Scenario& scenario = *loaded;
  if (o.out.empty()) o.out = fs::path(o.scenario).stem().string() + "-out";
  if (o.copies) {
    if (const outcome::Error uncopied = UseCopiesIn(scenario, fs::absolute(o.out)))
      return ReportFailure(uncopied.Message());
  }
  OutputFolderClaim claim;
  const outcome::Expected<RunOptions> options = PrepareRun(o, scenario, claim);
  if (!options)
    return ReportFailure(NamingScenario(options.GetError().Message(), o.scenario, o.scenarioName));
  std::optional<ProgressEvents> events;
  if (o.progress == "json") events.emplace(std::cout);
  RunOptions runOptions = *options;
  runOptions.events = events ? &*events : nullptr;
  RunRecord record;
  record.library = library.Path();
  record.office = excel::calc::OfficeVersion();
  ArmInterrupt(true);
  const auto started = std::chrono::steady_clock::now();
  RunScenario(library, scenario, runOptions, record);
  if (!o.scenarioName.empty()) record.scenario = o.scenarioName;
  RunReportContext context;
  context.wallSeconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  context.caseSource = ReportCaseSource(scenario);
  context.description = scenario.description;
  if (!o.saveAs.empty() && !record.failure && !record.workbook.empty())
    if (const std::string note = MacrosNotKeptNote(record.workbook, o.saveAs); !note.empty())
      record.notes.push_back(note);
  for (std::string& notice : notices.Take())
    record.notes.push_back(std::move(notice));
  const int status =
      record.interruptedBy != 0 ? EndInterrupted(record, context, o) : EndRun(record, context, o);
  if (events) events->Emit("finished", {{"status", RunStatus(record)}, {"exitStatus", status}});
  return status;
}

}  // namespace

Command AddRunCommand(CLI::App& app, const GlobalOptions& global) {
  CLI::App* run = app.add_subcommand("run", "Run a scenario (see docs/scenario.md)");
  auto o = std::make_shared<RunCommandOptions>();
  run->add_option("scenario", o->scenario, "The scenario, a JSON file")->required();
  run->add_option("--out", o->out,
                  "Folder for streams.csv, compositions.csv, published.csv, optimisation.csv "
                  "and summary.json, checked before the run starts (default: <scenario>-out)");
  run->add_flag("--save", o->save, "Save the workbook at the end of the run");
  run->add_option("--save-as", o->saveAs, "Save a copy of the workbook under this name at the end");
  run->add_option("--scenario-name", o->scenarioName,
                  "How messages and summary.json name the scenario (default: its file), for a "
                  "program that runs it from a temporary file");
  run->add_flag("--quiet", o->quiet, "No progress on stderr");
  run->add_flag("--work-on-copies", o->copies,
                "Copy the workbook and the model data file into the output folder and run on "
                "the copies (--save then saves the copy)");
  run->add_flag("--report", o->report,
                "Also write report.html: the run's charts in one page that works offline");
  AddProgressOptions(*run, o->progress, o->exitWithParent);
  run->fallthrough();
  return {run, [o, &global] {
            if (o->progress == "json") SurviveClosedPipes();
            if (o->exitWithParent) WatchParent();
            // Named in the environment before the library is loaded and starts threads.
            NoticeFile notices;
            std::optional<OfficeLease> office = UseUserOffice(std::cerr);
            int status = 0;
            {
              Library library;
              if (LoadLibrary(global, library, status)) status = Run(library, notices, *o);
            }
            // Once the library has let go of it.
            if (office) office->End(status == 0);
            return status;
          }};
}

}  // namespace refhost
