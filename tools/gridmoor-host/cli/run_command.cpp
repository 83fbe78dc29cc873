// gridmoor-host run: one scenario through the library, its outputs checked
// writable before the office starts.
#include <algorithm>
#include <chrono>
#include <filesystem>
#include <iostream>
#include <optional>
#include <string>

#include "cli/commands.h"
#include "common/csv.h"
#include "common/files.h"
#include "common/folder_claim.h"
#include "common/interrupt.h"
#include "common/notices.h"
#include "excel/calc/process/office_program.h"
#include "report/report_page.h"
#include "results/outputs.h"
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
};

// --save-as never writes over the run's own scenario or into its --out
// folder, whose files the run writes itself.
bool SaveAsTargetAllowed(const fs::path& saveAs, const fs::path& scenarioFile, const fs::path& out,
                         std::string& error) {
  std::error_code ec;
  const fs::path target = fs::weakly_canonical(fs::absolute(saveAs), ec);
  if (fs::equivalent(target, fs::absolute(scenarioFile), ec)) {
    error = saveAs.string() + " is the run's own scenario file";
    return false;
  }
  const fs::path folder = fs::weakly_canonical(fs::absolute(out), ec);
  const fs::path parent = target.parent_path();
  if (!ec && std::mismatch(folder.begin(), folder.end(), parent.begin(), parent.end()).first ==
                 folder.end()) {
    error = saveAs.string() + " is inside the --out folder " + out.string() +
            ", which holds the run's own files";
    return false;
  }
  return true;
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
// its sheets cannot be counted. `oneSheet`: it holds just one.
bool SaveAsKeepsEverySheet(const Scenario& scenario, const fs::path& saveAs, bool& oneSheet,
                           std::string& error) {
  std::optional<fs::path> workbook;
  if (!IsOneSheetFormat(saveAs) || !ScenarioWorkbook(scenario, workbook, error) || !workbook ||
      IsOneSheetFormat(*workbook))
    return true;  // nothing to drop, or the run itself fails, saying why
  SavedWorkbook saved;
  std::string why;
  if (!ReadSavedValues(*workbook, saved, why)) {
    error = "saving " + saveAs.string() +
            " is refused: the format holds one sheet, and the sheets of " + workbook->string() +
            " cannot be counted (" + why + ")";
    return false;
  }
  oneSheet = saved.sheets.size() == 1;
  if (saved.sheets.size() > 1)
    error = "saving " + saveAs.string() +
            " is refused: the format holds one sheet and would drop " + "the other " +
            std::to_string(saved.sheets.size() - 1) + " sheets of " + workbook->string();
  return saved.sheets.size() <= 1;
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

// Every place the run writes, tried before the office starts; the run's
// options from the command line. Empty `error` when all is well.
bool PrepareRun(const RunCommandOptions& o, const Scenario& scenario, OutputFolderClaim& claim,
                RunOptions& options, std::string& error) {
  std::vector<std::string> outputs = OutputFileNames();
  if (o.report) {
    std::string chartJs;
    if (!ReadChartJs(chartJs, error)) return false;
    outputs.push_back(kReportFile);
  }
  if (!CheckOutputFolder(o.out, outputs, error) || !claim.Take(o.out, error)) return false;
  const std::string saveAs = o.saveAs;
  if (!saveAs.empty() && (!SaveAsTargetAllowed(saveAs, o.scenario, o.out, error) ||
                          !CheckWritableFile(fs::absolute(saveAs), error))) {
    error = "--save-as: " + error;
    return false;
  }
  if (o.save && saveAs.empty() && scenario.workbook &&
      !CheckWritableFile(*scenario.workbook, error)) {
    error = "--save: " + error;
    return false;
  }
  if (!saveAs.empty() &&
      !SaveAsKeepsEverySheet(scenario, saveAs, options.oneSheetWorkbook, error)) {
    error = "--save-as: " + error;
    return false;
  }
  options.save = o.save || !saveAs.empty();
  if (!saveAs.empty()) options.saveAs = fs::absolute(saveAs);
  options.progress = !o.quiet;
  return true;
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
  std::string error;
  const bool written = WriteOutputs(record, o.out, error) &&
                       (!o.report || WriteRunReport(record, context, o.out, error));
  std::cerr << "gridmoor-host: interrupted by " << SignalName(record.interruptedBy) << where << "; "
            << (written ? "the outputs so far are in " + fs::absolute(o.out).string()
                        : "the outputs could not be written: " + error)
            << "\n";
  return 128 + record.interruptedBy;
}

// The outputs of a run that ended, its table or its failure; the status.
int EndRun(const RunRecord& record, const RunReportContext& context, const RunCommandOptions& o) {
  std::string error;
  if (!WriteOutputs(record, o.out, error)) return ReportFailure(error);
  if (o.report && !WriteRunReport(record, context, o.out, error)) return ReportFailure(error);
  if (record.failure) {
    for (const std::string& note : record.notes)
      std::cerr << "note: " << OneLine(note) << "\n";
    const std::string where = record.failure->timestep >= 0
                                  ? "timestep " + std::to_string(record.failure->timestep) + ": "
                                  : std::string();
    return ReportFailure(where + record.failure->message);
  }
  std::cout << ResultTable(record);
  for (const std::string& note : record.notes)
    std::cerr << "note: " << OneLine(note) << "\n";
  if (!o.quiet) std::cerr << "results in " << fs::absolute(o.out).string() << "\n";
  return 0;
}

int Run(Library& library, NoticeFile& notices, RunCommandOptions o) {
  Scenario scenario;
  std::string error;
  if (!LoadScenario(fs::absolute(o.scenario), scenario, error))
    return ReportFailure(NamingScenario(error, o.scenario, o.scenarioName));
  if (o.out.empty()) o.out = fs::path(o.scenario).stem().string() + "-out";
  if (o.copies && !UseCopiesIn(scenario, fs::absolute(o.out), error)) return ReportFailure(error);
  OutputFolderClaim claim;
  RunOptions options;
  if (!PrepareRun(o, scenario, claim, options, error)) return ReportFailure(error);
  RunRecord record;
  record.library = library.Path();
  record.office = excel::calc::OfficeVersion();
  ArmInterrupt(true);
  const auto started = std::chrono::steady_clock::now();
  RunScenario(library, scenario, options, record);
  if (!o.scenarioName.empty()) record.scenario = o.scenarioName;
  RunReportContext context;
  context.wallSeconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  context.caseSource = ReportCaseSource(scenario);
  if (!o.saveAs.empty() && !record.failure && !record.workbook.empty())
    if (const std::string note = MacrosNotKeptNote(record.workbook, o.saveAs); !note.empty())
      record.notes.push_back(note);
  for (std::string& notice : notices.Take())
    record.notes.push_back(std::move(notice));
  if (record.interruptedBy != 0) return EndInterrupted(record, context, o);
  return EndRun(record, context, o);
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
  run->fallthrough();
  return {run, [o, &global] {
            // Named in the environment before the library is loaded and starts threads.
            NoticeFile notices;
            Library library;
            int status = 0;
            if (!LoadLibrary(global, library, status)) return status;
            return Run(library, notices, *o);
          }};
}

}  // namespace refhost
