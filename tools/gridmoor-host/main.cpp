// Reference host: loads the driver library as the integration host does and
// runs a workbook-backed production model from the command line.
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <optional>
#include <string>

#include "case_command.h"
#include "csv.h"
#include "excel/calc/office_program.h"
#include "files.h"
#include "folder_claim.h"
#include "identify.h"
#include "interrupt.h"
#include "known_differences.h"
#include "library.h"
#include "many.h"
#include "notices.h"
#include "outputs.h"
#include "report_page.h"
#include "run.h"
#include "run_many.h"
#include "saved_values.h"
#include "scenario.h"
#include "warm_offices.h"
#include "work_copies.h"
#include "workbook_check.h"

namespace {

namespace fs = std::filesystem;

// The library beside this program, else the one this program was built with.
std::string DefaultLibrary() {
  std::error_code ec;
  const fs::path self = fs::read_symlink("/proc/self/exe", ec);
  if (!ec) {
    for (const fs::path& candidate :
         {self.parent_path() / "libGridmoor110.so",
          self.parent_path().parent_path() / "lib" / "libGridmoor110.so"})
      if (fs::exists(candidate, ec)) return candidate.string();
  }
  return GRIDMOOR_DEFAULT_LIBRARY;
}

int Fail(const std::string& message) {
  std::cerr << "gridmoor-host: " << refhost::OneLine(message) << "\n";
  return 1;
}

// Usage errors (unknown options, missing arguments) end with this status.
constexpr int kUsageError = 2;

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
  const std::string from = refhost::LowerExtension(workbook), to = refhost::LowerExtension(saveAs);
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
std::string ReportCaseSource(const refhost::Scenario& scenario) {
  if (scenario.caseArchive) return scenario.caseArchive->string();
  if (scenario.caseJson) return "inline in the scenario";
  return {};
}

// A copy in a format of one sheet (.csv) keeps only the active sheet: it is
// refused before the run when the workbook holds more than one, or when
// its sheets cannot be counted. `oneSheet`: it holds just one.
bool SaveAsKeepsEverySheet(const refhost::Scenario& scenario, const fs::path& saveAs,
                           bool& oneSheet, std::string& error) {
  std::optional<fs::path> workbook;
  if (!refhost::IsOneSheetFormat(saveAs) || !refhost::ScenarioWorkbook(scenario, workbook, error) ||
      !workbook || refhost::IsOneSheetFormat(*workbook))
    return true;  // nothing to drop, or the run itself fails, saying why
  refhost::SavedWorkbook saved;
  std::string why;
  if (!refhost::ReadSavedValues(*workbook, saved, why)) {
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

int Run(refhost::Library& library, refhost::NoticeFile& notices, const std::string& scenarioFile,
        const std::string& scenarioName, std::string out, bool save, const std::string& saveAs,
        bool quiet, bool copies, bool report) {
  refhost::Scenario scenario;
  std::string error;
  if (!refhost::LoadScenario(fs::absolute(scenarioFile), scenario, error))
    return Fail(NamingScenario(error, scenarioFile, scenarioName));
  if (out.empty()) out = fs::path(scenarioFile).stem().string() + "-out";
  if (copies && !refhost::UseCopiesIn(scenario, fs::absolute(out), error)) return Fail(error);
  // Every place the run writes is tried before the office starts.
  std::vector<std::string> outputs = refhost::OutputFileNames();
  std::string chartJs;
  if (report) {
    if (!refhost::ReadChartJs(chartJs, error)) return Fail(error);
    outputs.push_back(refhost::kReportFile);
  }
  if (!refhost::CheckOutputFolder(out, outputs, error)) return Fail(error);
  refhost::OutputFolderClaim claim;
  if (!claim.Take(out, error)) return Fail(error);
  if (!saveAs.empty() && !SaveAsTargetAllowed(saveAs, scenarioFile, out, error))
    return Fail("--save-as: " + error);
  if (!saveAs.empty() && !refhost::CheckWritableFile(fs::absolute(saveAs), error))
    return Fail("--save-as: " + error);
  if (save && saveAs.empty() && scenario.workbook &&
      !refhost::CheckWritableFile(*scenario.workbook, error))
    return Fail("--save: " + error);
  refhost::RunOptions options;
  if (!saveAs.empty() && !SaveAsKeepsEverySheet(scenario, saveAs, options.oneSheetWorkbook, error))
    return Fail("--save-as: " + error);
  options.save = save || !saveAs.empty();
  if (!saveAs.empty()) options.saveAs = fs::absolute(saveAs);
  options.progress = !quiet;
  refhost::RunRecord record;
  record.library = library.Path();
  record.office = excel::calc::OfficeVersion();
  refhost::ArmInterrupt(true);
  const auto started = std::chrono::steady_clock::now();
  refhost::RunScenario(library, scenario, options, record);
  if (!scenarioName.empty()) record.scenario = scenarioName;
  refhost::RunReportContext reportContext;
  reportContext.wallSeconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  reportContext.caseSource = ReportCaseSource(scenario);
  if (!saveAs.empty() && !record.failure && !record.workbook.empty())
    if (const std::string note = MacrosNotKeptNote(record.workbook, saveAs); !note.empty())
      record.notes.push_back(note);
  for (std::string& notice : notices.Take())
    record.notes.push_back(std::move(notice));
  if (record.interruptedBy != 0) {
    const std::string where = record.failure->timestep >= 0
                                  ? " at timestep " + std::to_string(record.failure->timestep)
                                  : " before the first timestep";
    record.notes.push_back("the run was interrupted by " +
                           refhost::SignalName(record.interruptedBy) + where +
                           (refhost::OfficesEndedByInterrupt()
                                ? "; the driver call in progress did not return, so the office "
                                  "was ended"
                                : "") +
                           "; the files hold what it got so far");
    const bool written = refhost::WriteOutputs(record, out, error) &&
                         (!report || refhost::WriteRunReport(record, reportContext, out, error));
    std::cerr << "gridmoor-host: interrupted by " << refhost::SignalName(record.interruptedBy)
              << where << "; "
              << (written ? "the outputs so far are in " + fs::absolute(out).string()
                          : "the outputs could not be written: " + error)
              << "\n";
    return 128 + record.interruptedBy;
  }
  if (!refhost::WriteOutputs(record, out, error)) return Fail(error);
  if (report && !refhost::WriteRunReport(record, reportContext, out, error)) return Fail(error);
  if (record.failure) {
    for (const std::string& note : record.notes)
      std::cerr << "note: " << refhost::OneLine(note) << "\n";
    std::string where = record.failure->timestep >= 0
                            ? "timestep " + std::to_string(record.failure->timestep) + ": "
                            : std::string();
    return Fail(where + record.failure->message);
  }
  std::cout << refhost::ResultTable(record);
  for (const std::string& note : record.notes)
    std::cerr << "note: " << refhost::OneLine(note) << "\n";
  if (!quiet) std::cerr << "results in " << fs::absolute(out).string() << "\n";
  return 0;
}

// Every scenario's summary over its folder, printed and written.
int Collect(const std::vector<std::string>& folders, const std::string& out, bool report) {
  std::vector<refhost::ScenarioOutcome> outcomes;
  std::string error;
  if (report && out.empty()) return Fail("collect --report needs --out");
  std::string chartJs;
  if (report && !refhost::ReadChartJs(chartJs, error)) return Fail(error);
  if (!refhost::CollectOutcomes({folders.begin(), folders.end()}, outcomes, error))
    return Fail(error);
  if (out.empty()) {
    std::cout << refhost::SummaryCsv(outcomes);
  } else {
    std::vector<std::string> written{"summary.csv", "summary.json"};
    if (report) written.push_back(refhost::kReportFile);
    if (!refhost::CheckOutputFolder(out, written, error) ||
        !refhost::WriteSummary(outcomes, out, error) ||
        (report && !refhost::WriteManyReport(outcomes, out, error)))
      return Fail(error);
    for (const refhost::ScenarioOutcome& o : outcomes)
      std::cout << refhost::OutcomeLine(o) << "\n";
    std::cout << refhost::TotalsLine(outcomes) << "; summary in "
              << (fs::absolute(out) / "summary.csv").string() << "\n";
  }
  const bool all = std::all_of(outcomes.begin(), outcomes.end(),
                               [](const refhost::ScenarioOutcome& o) { return o.passed(); });
  return all ? 0 : 1;
}

int Main(int argc, char** argv) {
  CLI::App app{
      "Runs a workbook-backed production model through the driver library, as the "
      "integration host does."};
  app.name("gridmoor-host");
  app.set_help_all_flag("--help-all", "Help on every subcommand");
  std::string libraryPath = DefaultLibrary();
  bool direct = false, check = false;
  app.add_option("--library", libraryPath, "The driver library (default: beside this program)")
      ->capture_default_str();
  app.add_flag("--direct", direct,
               "Direct mode: the library serves requests on this thread (default: threaded)");
  app.add_flag("--check", check, "Only load the library and look up its exports");
  app.require_subcommand(0, 1);
  app.footer(
      "Exit status: 0 done; 1 failed (stderr says what and where, naming the file or the "
      "command); 2 usage error; 130 or 143 interrupted by SIGINT or SIGTERM (the outputs so far "
      "are written; a second signal ends the program at once). run-many and collect end with 0 "
      "only when every scenario passed; workbook check with 0 when it found nothing, 1 when it "
      "found differences or problems, 2 when it could not check.");

  CLI::App* run = app.add_subcommand("run", "Run a scenario (see docs/scenario.md)");
  std::string scenario, scenarioName, out, saveAs;
  bool save = false, quiet = false, copies = false, report = false;
  run->add_option("scenario", scenario, "The scenario, a JSON file")->required();
  run->add_option("--out", out,
                  "Folder for streams.csv, compositions.csv, published.csv, optimisation.csv "
                  "and summary.json, checked before the run starts (default: <scenario>-out)");
  run->add_flag("--save", save, "Save the workbook at the end of the run");
  run->add_option("--save-as", saveAs, "Save a copy of the workbook under this name at the end");
  run->add_option("--scenario-name", scenarioName,
                  "How messages and summary.json name the scenario (default: its file), for a "
                  "program that runs it from a temporary file");
  run->add_flag("--quiet", quiet, "No progress on stderr");
  run->add_flag("--work-on-copies", copies,
                "Copy the workbook and the model data file into the output folder and run on "
                "the copies (--save then saves the copy)");
  run->add_flag("--report", report,
                "Also write report.html: the run's charts in one page that works offline");
  run->fallthrough();

  CLI::App* many = app.add_subcommand(
      "run-many",
      "Run scenarios in parallel, each in its own process, on copies of its workbook and model "
      "data file in OUT/<scenario>/; each job keeps one office warm and hands it from scenario "
      "to scenario (replaced when a scenario changed it or failed)");
  std::vector<std::string> scenarios;
  std::string manyOut;
  int jobs = 0;
  bool manySave = false, manyReport = false, freshOffices = false;
  many->add_option("scenarios", scenarios, "The scenarios, JSON files")->required();
  many->add_option("--out", manyOut,
                   "Folder for a folder per scenario (its outputs, stdout.txt, stderr.txt, "
                   "outcome.json) and summary.csv and summary.json over all")
      ->required();
  many->add_option("--jobs,-j", jobs,
                   "Runs at once (default: the cores, fewer when memory is short)")
      ->check(CLI::Range(1, 1024).description("1 to 1024"));
  many->add_flag("--save", manySave, "Save each run's copy of its workbook at the end");
  many->add_flag("--report", manyReport,
                 "Also write report.html over all scenarios, linking each one's own page");
  many->add_flag("--fresh-offices", freshOffices,
                 "Start a new office for every scenario instead of keeping one warm per job");
  many->fallthrough();

  CLI::App* collect = app.add_subcommand(
      "collect", "The summary of run-many from scenario folders (after a cluster run)");
  std::vector<std::string> collectFolders;
  std::string collectOut;
  collect
      ->add_option("folders", collectFolders,
                   "Scenario folders, or folders holding them (as run-many --out)")
      ->required();
  collect->add_option("--out", collectOut,
                      "Write summary.csv and summary.json here (default: print summary.csv)");
  bool collectReport = false;
  collect->add_flag("--report", collectReport,
                    "Also write report.html over all scenarios into --out, linking the pages "
                    "of the runs that wrote one");

  CLI::App* kase = app.add_subcommand("case", "Case archives as JSON (see docs/case-json.md)");
  kase->require_subcommand(1);
  std::string archivePath, jsonPath;
  CLI::App* dump = kase->add_subcommand("dump", "Print a case archive as JSON");
  dump->add_option("archive", archivePath, "The case archive")->required();
  CLI::App* build = kase->add_subcommand("build", "Build a case archive from JSON");
  build->add_option("json", jsonPath, "The case as JSON")->required();
  build->add_option("-o,--output", archivePath, "The archive to write")->required();
  CLI::App* checkCase =
      kase->add_subcommand("check", "Check a case archive: version, counts, every problem found");
  checkCase->add_option("archive", archivePath, "The case archive")->required();

  CLI::App* workbook = app.add_subcommand("workbook", "Workbooks (see docs/workbook-check.md)");
  workbook->require_subcommand(1);
  refhost::WorkbookCheckOptions checkOptions;
  CLI::App* checkBook = workbook->add_subcommand(
      "check",
      "Recalculate a private copy of a workbook in the office and list the formula cells whose "
      "result differs from the value the file carries (.xlsx, .xlsm, .ods, .fods), functions the "
      "office does not know, macro modules that do not compile and external links; with "
      "--scenario also the scenario's macros and cells. Exit status: 0 nothing found, 1 "
      "differences or problems found, 2 could not check. JSON (--json): {\"formulas\": N, "
      "\"notCompared\": N, \"volatile\": N, \"workbookFunctions\": N, "
      "\"differ\": [{sheet, cell, formula, saved, calc, cause}], \"unknownFunctions\": [{name, "
      "cells}], "
      "\"macros\": [{macro, source, message, procedures}], \"problems\": [{kind, message}], "
      "\"causes\": [{id, sentence, remedy, cells, functions}], \"unexplained\": N, "
      "\"vbaNotes\": [{module, line, cause, message}]}; "
      "a value is a number, text, true/false, {\"error\": \"#N/A\"} or null");
  checkBook->add_option("book", checkOptions.book,
                        "The workbook (default: the scenario's); never changed");
  checkBook->add_option("--scenario", checkOptions.scenario,
                        "Also check the scenario's macros and cells against the workbook");
  checkBook->add_option("--json", checkOptions.json, "Write the findings as JSON to this file");
  CLI::App* differences = workbook->add_subcommand(
      "differences",
      "Print the known differences between Calc and Excel that the check names as causes, as "
      "Markdown (docs/excel-differences.md)");

  CLI::App* identify =
      app.add_subcommand("identify", "Show what the library reports and the settings it uses");
  identify->fallthrough();

  if (argc <= 1) {
    std::cout << app.help();
    return 0;
  }
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    const int status = app.exit(e);
    return status == 0 ? 0 : kUsageError;
  }

  if (dump->parsed()) return refhost::CaseDump(archivePath, std::cout, std::cerr);
  if (build->parsed()) return refhost::CaseBuild(jsonPath, archivePath, std::cerr);
  if (checkCase->parsed()) return refhost::CaseCheck(archivePath, std::cout, std::cerr);

  if (differences->parsed()) {
    std::cout << refhost::KnownDifferencesMarkdown();
    return 0;
  }
  if (checkBook->parsed()) {
    if (checkOptions.book.empty() && checkOptions.scenario.empty()) {
      std::cerr << "gridmoor-host: workbook check: give BOOK or --scenario\n";
      return kUsageError;
    }
    return refhost::WorkbookCheck(checkOptions, std::cout, std::cerr);
  }
  if (collect->parsed()) return Collect(collectFolders, collectOut, collectReport);
  if (many->parsed()) {
    std::error_code ec;
    if (!fs::exists(libraryPath, ec)) return Fail("library not found: " + libraryPath);
    refhost::RunManyOptions options;
    options.program = fs::read_symlink("/proc/self/exe", ec);
    options.programOptions = {"--library", fs::absolute(libraryPath).string()};
    if (direct) options.programOptions.push_back("--direct");
    options.scenarios = {scenarios.begin(), scenarios.end()};
    options.out = manyOut;
    options.jobs = jobs;
    options.save = manySave;
    options.report = manyReport;
    if (!freshOffices) {
      options.offices = [](std::size_t slots) -> std::unique_ptr<refhost::OfficePool> {
        return std::make_unique<refhost::WarmOffices>(slots, std::cerr);
      };
    }
    return refhost::RunMany(options, std::cout, std::cerr);
  }

  // Named in the environment before the library is loaded and starts threads.
  std::optional<refhost::NoticeFile> notices;
  if (run->parsed()) notices.emplace();
  refhost::Library library;
  std::string error;
  if (!library.Load({libraryPath, direct}, error)) return Fail(error);
  if (check || app.get_subcommands().empty()) {
    std::cout << "loaded " << libraryPath << "\nexports found\n";
    return 0;
  }
  if (identify->parsed()) {
    const std::optional<fs::path> program = excel::calc::FindOfficeProgram();
    const std::string office =
        program ? excel::calc::OfficeVersionOf(*program).value_or("unknown version") + " (" +
                      program->string() + ")"
                : "none found (install LibreOffice Calc, or set GRIDMOOR_SOFFICE)";
    return refhost::Identify(library, libraryPath, office, std::cout, std::cerr);
  }
  if (!notices) return Fail("no command given");
  return Run(library, *notices, scenario, scenarioName, out, save, saveAs, quiet, copies, report);
}

// Standard output that could not be written (a full disk, a closed pipe
// behind a redirection) fails the command: its output is cut.
int CheckStandardOutput(int status) {
  errno = 0;
  std::cout.flush();
  // What stdio still holds is tried again here, which tells the reason.
  const bool flushed = std::fflush(stdout) == 0;
  if (std::cout && flushed && std::ferror(stdout) == 0) return status;
  const int reason = errno;
  std::cerr << "gridmoor-host: cannot write the standard output"
            << (reason != 0 ? std::string(": ") + std::strerror(reason) : std::string()) << "\n";
  return status == 0 ? 1 : status;
}

}  // namespace

int main(int argc, char** argv) {
  refhost::InstallInterruptHandlers();
  try {
    return CheckStandardOutput(Main(argc, argv));
  } catch (const std::exception& e) {
    return Fail(std::string("internal error: ") + e.what());
  } catch (...) {
    return Fail("internal error");
  }
}
