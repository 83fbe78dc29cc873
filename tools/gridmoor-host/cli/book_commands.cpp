// gridmoor-host case ..., dialog and workbook ...: case archives as JSON,
// the driver's dialogs on a case, and the workbook check.
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "case/case_command.h"
#include "check/workbook_check.h"
#include "cli/commands.h"
#include "differences/known_differences.h"
#include "running/case_dialog.h"
#include "scenario/library.h"

namespace refhost {

std::vector<Command> AddCaseCommands(CLI::App& app) {
  CLI::App* kase = app.add_subcommand("case", "Case archives as JSON (see docs/case-json.md)");
  kase->require_subcommand(1);
  auto archive = std::make_shared<std::string>();
  auto json = std::make_shared<std::string>();
  CLI::App* dump = kase->add_subcommand("dump", "Print a case archive as JSON");
  dump->add_option("archive", *archive, "The case archive")->required();
  CLI::App* build = kase->add_subcommand("build", "Build a case archive from JSON");
  build->add_option("json", *json, "The case as JSON")->required();
  build->add_option("-o,--output", *archive, "The archive to write")->required();
  CLI::App* check =
      kase->add_subcommand("check", "Check a case archive: version, counts, every problem found");
  check->add_option("archive", *archive, "The case archive")->required();
  auto asJson = std::make_shared<bool>(false);
  check->add_flag("--json", *asJson,
                  "Print one JSON document: {file, size, version, counts, problems, ok}");
  return {
      {dump, [archive] { return CaseDump(*archive, std::cout, std::cerr); }},
      {build, [archive, json] { return CaseBuild(*json, *archive, std::cerr); }},
      {check, [archive, asJson] { return CaseCheck(*archive, *asJson, std::cout, std::cerr); }}};
}

namespace {

int ShowDialog(const GlobalOptions& global, const std::string& name, const std::string& file) {
  Library library;
  int status = 0;
  if (!LoadLibrary(global, library, status)) return status;
  const outcome::Expected<bool> changed = EditCaseInDialog(library, name, file);
  if (!changed) return ReportFailure(changed.GetError().Message());
  std::cerr << (*changed ? "written to " : "nothing changed in ") << file << "\n";
  return 0;
}

}  // namespace

Command AddDialogCommand(CLI::App& app, const GlobalOptions& global) {
  std::string names;
  for (const CaseDialog& d : CaseDialogs())
    names += std::string("\n  ") + d.name + ": " + d.what;
  CLI::App* dialog = app.add_subcommand(
      "dialog",
      "Show a configuration dialog of the driver for a case in JSON (docs/case-json.md), with "
      "its workbook open in the office, as the integration host shows it; what is changed and "
      "accepted is written back to the file. The dialogs:" +
          names);
  auto name = std::make_shared<std::string>();
  auto file = std::make_shared<std::string>();
  dialog->add_option("name", *name, "The dialog")->required();
  dialog->add_option("case", *file, "The case, a JSON file")->required();
  dialog->fallthrough();
  return {dialog, [&global, name, file] { return ShowDialog(global, *name, *file); }};
}

std::vector<Command> AddWorkbookCommands(CLI::App& app) {
  CLI::App* workbook = app.add_subcommand("workbook", "Workbooks (see docs/workbook-check.md)");
  workbook->require_subcommand(1);
  auto options = std::make_shared<WorkbookCheckOptions>();
  CLI::App* check = workbook->add_subcommand(
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
  check->add_option("book", options->book, "The workbook (default: the scenario's); never changed");
  check->add_option("--scenario", options->scenario,
                    "Also check the scenario's macros and cells against the workbook");
  check->add_option("--json", options->json, "Write the findings as JSON to this file");
  CLI::App* differences = workbook->add_subcommand(
      "differences",
      "Print the known differences between Calc and Excel that the check names as causes, as "
      "Markdown (docs/excel-differences.md)");
  return {{check,
           [options] {
             if (options->book.empty() && options->scenario.empty()) {
               std::cerr << "gridmoor-host: workbook check: give BOOK or --scenario\n";
               return kUsageError;
             }
             return WorkbookCheck(*options, std::cout, std::cerr);
           }},
          {differences, [] {
             std::cout << KnownDifferencesMarkdown();
             return 0;
           }}};
}

}  // namespace refhost
