// `run-many`: one child process per scenario (this program with `run`), at
// most `jobs` at once, each in its own folder with its own settings, office
// and copies of its workbook and model data file.
#pragma once

#include <filesystem>
#include <iosfwd>
#include <string>
#include <vector>

namespace refhost {

struct RunManyOptions {
  std::filesystem::path program;            // this program, started with `run`
  std::vector<std::string> programOptions;  // before `run`: --library, --direct
  std::vector<std::filesystem::path> scenarios;
  std::filesystem::path out;
  int jobs = 0;  // 0: DefaultJobs()
  bool save = false;
  bool report = false;  // report.html per run and over all
  // How long children get to wind down after a signal before they are killed.
  int graceSeconds = 60;
};

// Runs every scenario; a line per finished one on `out`, then the totals;
// summary.csv and summary.json in options.out. Returns 0 when every one
// passed, 1 otherwise, 128 + the signal when SIGINT or SIGTERM stopped it.
int RunMany(const RunManyOptions& options, std::ostream& out, std::ostream& err);

// The command line of one child.
std::vector<std::string> ChildArguments(const RunManyOptions& options,
                                        const std::filesystem::path& scenario,
                                        const std::filesystem::path& folder);

}  // namespace refhost
