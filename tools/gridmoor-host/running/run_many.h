// `run-many`: one child process per scenario (this program with `run`), at
// most `jobs` at once, each in its own folder with its own settings, office
// and copies of its workbook and model data file.
#pragma once

#include <cstddef>
#include <filesystem>
#include <functional>
#include <iosfwd>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace refhost {

// Offices kept warm between scenarios, one per job slot: each child attaches
// to its slot's office through the office's pipe.
class OfficePool {
 public:
  virtual ~OfficePool() = default;
  // The pipe of the slot's office once it is ready for a scenario; nullopt
  // while it is being made ready; empty when no office could be started
  // (the child then starts its own).
  virtual std::optional<std::string> Ready(std::size_t slot) = 0;
  // The slot's scenario ended, `passed` or not: its office is made ready
  // for the next one, or replaced when there is any doubt about it.
  virtual void Release(std::size_t slot, bool passed) = 0;
};

struct RunManyOptions {
  std::filesystem::path program;            // this program, started with `run`
  std::vector<std::string> programOptions;  // before `run`: --library, --direct
  std::vector<std::filesystem::path> scenarios;
  std::filesystem::path out;
  int jobs = 0;  // 0: DefaultJobs()
  bool save = false;
  bool report = false;  // report.html per run and over all
  // The key paths whose values set the scenarios apart; none: found by
  // comparing the scenarios.
  std::vector<std::string> vary;
  // Events on `out`, one JSON object per line, instead of its lines.
  bool jsonProgress = false;
  // How long children get to wind down after a signal before they are killed.
  int graceSeconds = 60;
  // Makes the warm offices for that many slots; none (--fresh-offices): each
  // child starts an office of its own.
  std::function<std::unique_ptr<OfficePool>(std::size_t slots)> offices;
};

// The environment variable that hands a child its slot's office.
inline constexpr const char* kOfficePipeVariable = "GRIDMOOR_OFFICE_PIPE";

// Runs every scenario; a line per finished one on `out`, then the totals;
// summary.csv and summary.json in options.out. Returns 0 when every one
// passed, 1 otherwise, 128 + the signal when SIGINT or SIGTERM stopped it.
int RunMany(const RunManyOptions& options, std::ostream& out, std::ostream& err);

// The command line of one child.
std::vector<std::string> ChildArguments(const RunManyOptions& options,
                                        const std::filesystem::path& scenario,
                                        const std::filesystem::path& folder);

}  // namespace refhost
