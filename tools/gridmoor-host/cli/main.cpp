// Reference host: loads the driver library as the integration host does and
// runs a workbook-backed production model from the command line.
#include <CLI/CLI.hpp>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <optional>
#include <string>

#include "cli/commands.h"
#include "common/csv.h"
#include "common/exception_text.h"
#include "common/interrupt.h"
#include "excel/calc/process/office_program.h"
#include "scenario/identify.h"
#include "scenario/library.h"

namespace refhost {

int ReportFailure(const std::string& message) {
  std::cerr << "gridmoor-host: " << OneLine(message) << "\n";
  return 1;
}

bool LoadLibrary(const GlobalOptions& global, Library& library, int& status) {
  if (const outcome::Error unloaded = library.Load({global.library, global.direct})) {
    status = ReportFailure(unloaded.Message());
    return false;
  }
  if (!global.check) return true;
  std::cout << "loaded " << global.library << "\nexports found\n";
  status = 0;
  return false;
}

}  // namespace refhost

namespace {

namespace fs = std::filesystem;
using refhost::Command;

// The library beside this program or in the library folder of its prefix,
// else the one this program was built for.
std::string DefaultLibrary() {
  std::error_code ec;
  const fs::path self = fs::read_symlink("/proc/self/exe", ec);
  if (!ec) {
    const fs::path prefix = self.parent_path().parent_path();
    for (const fs::path& candidate :
         {self.parent_path() / "libGridmoor110.so", prefix / "lib" / "libGridmoor110.so",
          prefix / GRIDMOOR_INSTALL_LIBDIR / "libGridmoor110.so"})
      if (fs::exists(candidate, ec)) return candidate.string();
  }
  return GRIDMOOR_DEFAULT_LIBRARY;
}

int IdentifyCommand(const refhost::GlobalOptions& global) {
  refhost::Library library;
  int status = 0;
  if (!refhost::LoadLibrary(global, library, status)) return status;
  const std::optional<fs::path> program = excel::calc::FindOfficeProgram();
  const std::string office =
      program ? excel::calc::OfficeVersionOf(*program).value_or("unknown version") + " (" +
                    program->string() + ")"
              : "none found (install LibreOffice Calc, or set GRIDMOOR_SOFFICE)";
  return refhost::Identify(library, global.library, office, std::cout, std::cerr);
}

void DescribeProgram(CLI::App& app, refhost::GlobalOptions& global) {
  app.name("gridmoor-host");
  app.set_help_all_flag("--help-all", "Help on every subcommand");
  app.set_version_flag("--version", "gridmoor-host " GRIDMOOR_VERSION, "The program's version");
  app.add_option("--library", global.library,
                 "The driver library (default: beside this program or in its prefix's library "
                 "folder, else the one shown)")
      ->capture_default_str();
  app.add_flag("--direct", global.direct,
               "Direct mode: the library serves requests on this thread (default: threaded)");
  app.add_flag("--check", global.check, "Only load the library and look up its exports");
  app.require_subcommand(0, 1);
  app.footer(
      "Exit status: 0 done; 1 failed (stderr says what and where, naming the file or the "
      "command); 2 usage error; 130 or 143 interrupted by SIGINT or SIGTERM (the outputs so far "
      "are written; a second signal ends the program at once). run-many and collect end with 0 "
      "only when every scenario passed; workbook check with 0 when it found nothing, 1 when it "
      "found differences or problems, 2 when it could not check.");
}

int Main(int argc, char** argv) {
  CLI::App app{
      "Runs a workbook-backed production model through the driver library, as the "
      "integration host does."};
  refhost::GlobalOptions global;
  global.library = DefaultLibrary();
  DescribeProgram(app, global);
  // Declared in the order --help lists them.
  std::vector<Command> commands{refhost::AddRunCommand(app, global)};
  const auto append = [&commands](std::vector<Command> more) {
    for (Command& c : more)
      commands.push_back(std::move(c));
  };
  append(refhost::AddManyCommands(app, global));
  append(refhost::AddCaseCommands(app));
  commands.push_back(refhost::AddDialogCommand(app, global));
  append(refhost::AddWorkbookCommands(app));
  append(refhost::AddOfficeCommands(app));
  CLI::App* identify =
      app.add_subcommand("identify", "Show what the library reports and the settings it uses");
  identify->fallthrough();
  commands.push_back({identify, [&global] { return IdentifyCommand(global); }});

  if (argc <= 1) {
    std::cout << app.help();
    return 0;
  }
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    // A word the line did not take (a mistyped command) explains the
    // error better than what it led to (a command missing).
    if (e.get_exit_code() != 0) {
      if (const std::optional<std::string> hint = refhost::UnexpectedWordHint(app)) {
        std::cerr << "gridmoor-host: " << *hint << "\n";
        return refhost::kUsageError;
      }
    }
    const int status = app.exit(e);
    return status == 0 ? 0 : refhost::kUsageError;
  }
  for (const Command& command : commands)
    if (command.app->parsed()) return command.run();
  // No subcommand: the library is loaded and its exports looked up.
  refhost::GlobalOptions checkOnly = global;
  checkOnly.check = true;
  refhost::Library library;
  int status = 0;
  refhost::LoadLibrary(checkOnly, library, status);
  return status;
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
    return refhost::ReportFailure(std::string("internal error: ") + e.what());
  } catch (...) {
    return refhost::ReportFailure("internal error: " + refhost::CaughtExceptionText());
  }
}
