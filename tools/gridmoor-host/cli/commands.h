// The subcommands of gridmoor-host. Each Add... function declares its
// subcommand's options on `app` and returns what runs it once parsed.
#pragma once

#include <CLI/CLI.hpp>
#include <functional>
#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

namespace refhost {

class Library;
class OfficeLease;

// The options before the subcommand.
struct GlobalOptions {
  std::string library;
  bool direct = false;
  bool check = false;  // only load the library and look up its exports
};

struct Command {
  CLI::App* app = nullptr;
  std::function<int()> run;
};

// Usage errors (unknown options, missing arguments) end with this status.
inline constexpr int kUsageError = 2;

// "gridmoor-host: <message>" on one line of stderr; 1.
int ReportFailure(const std::string& message);

// Loads the library as `global` says. With --check it says so and ends the
// command: `status` is then the exit status.
bool LoadLibrary(const GlobalOptions& global, Library& library, int& status);

// The name among `names` a slip of the fingers away from `typed` (a letter
// left out, added, changed or two swapped, at most two such slips): the
// nearest, or none.
std::optional<std::string> NearestName(const std::string& typed,
                                       const std::vector<std::string>& names);

// After a parse of `app` that found words it did not expect: one line on
// the first of them, with the command or option likely meant.
std::optional<std::string> UnexpectedWordHint(const CLI::App& app);

// --progress text|json and --exit-with-parent, for run and run-many.
void AddProgressOptions(CLI::App& command, std::string& progress, bool& exitWithParent);

Command AddRunCommand(CLI::App& app, const GlobalOptions& global);
std::vector<Command> AddManyCommands(CLI::App& app, const GlobalOptions& global);
std::vector<Command> AddCaseCommands(CLI::App& app);
Command AddDialogCommand(CLI::App& app, const GlobalOptions& global);
std::vector<Command> AddWorkbookCommands(CLI::App& app);
std::vector<Command> AddOfficeCommands(CLI::App& app);

// The user's warm office (office start) for a run, named in the environment
// for the library to attach to; none when there is none to have, with a line
// on `said` when one was there but could not be had.
std::optional<OfficeLease> UseUserOffice(std::ostream& said);

}  // namespace refhost
