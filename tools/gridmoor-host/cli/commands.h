// The subcommands of gridmoor-host. Each Add... function declares its
// subcommand's options on `app` and returns what runs it once parsed.
#pragma once

#include <CLI/CLI.hpp>
#include <functional>
#include <string>
#include <vector>

namespace refhost {

class Library;

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

// --progress text|json and --exit-with-parent, for run and run-many.
void AddProgressOptions(CLI::App& command, std::string& progress, bool& exitWithParent);

Command AddRunCommand(CLI::App& app, const GlobalOptions& global);
std::vector<Command> AddManyCommands(CLI::App& app, const GlobalOptions& global);
std::vector<Command> AddCaseCommands(CLI::App& app);
std::vector<Command> AddWorkbookCommands(CLI::App& app);

}  // namespace refhost
