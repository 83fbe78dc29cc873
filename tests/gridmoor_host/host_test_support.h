// Running the program itself in a test: a private folder, the program's
// exit status and output, a run in the background, and the examples'
// scenarios changed for a test.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "common/csv.h"
#include "support/temp_folder.h"
#include "support/wait.h"

namespace hosttest {

struct Result {
  int status = -1;
  std::string out, err;
};

inline std::string ReadText(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

using Folder = test_support::TempFolder;
using test_support::ProcessGone;
using test_support::WaitFor;

// A CSV file the program wrote (streams.csv, ...) as one map per row, by
// the heading of each column.
inline std::vector<std::map<std::string, std::string>> ReadTable(
    const std::filesystem::path& file) {
  const auto parsed = refhost::ParseCsv(ReadText(file));
  EXPECT_TRUE(parsed) << parsed.GetError().Message();
  const std::vector<refhost::CsvRow> rows = parsed ? *parsed : std::vector<refhost::CsvRow>{};
  std::vector<std::map<std::string, std::string>> table;
  for (std::size_t r = 1; r < rows.size(); ++r) {
    std::map<std::string, std::string> row;
    for (std::size_t c = 0; c < rows[0].size() && c < rows[r].size(); ++c)
      row[rows[0][c]] = rows[r][c];
    table.push_back(row);
  }
  return table;
}

// streams.csv as (timestep, stream) -> field -> text.
inline std::map<std::pair<int, std::string>, std::map<std::string, std::string>> ReadStreams(
    const std::filesystem::path& file) {
  std::map<std::pair<int, std::string>, std::map<std::string, std::string>> streams;
  for (auto& row : ReadTable(file))
    streams[{std::stoi(row.at("timestep")), row.at("stream")}] = std::move(row);
  return streams;
}

// The program with `arguments` (shell words), its output kept in `scratch`;
// `environment` goes before the command ("TMPDIR=/x").
inline Result Host(const std::string& arguments, const std::filesystem::path& scratch,
                   const std::string& environment = "") {
  const std::filesystem::path out = scratch / "stdout.txt", err = scratch / "stderr.txt";
  const std::string command = environment + " " + GRIDMOOR_HOST_PROGRAM + " --library " +
                              GRIDMOOR_LIBRARY_FILE + " " + arguments + " >" + out.string() +
                              " 2>" + err.string();
  const int raw = std::system(command.c_str());
  Result r;
  r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  r.out = ReadText(out);
  r.err = ReadText(err);
  return r;
}

// The program started with `arguments` after the library, its stderr (and
// stdout when `bothStreams`) going to `log`, `inChild` run in the child
// before (to set its environment); ExitStatus waits for it.
inline pid_t Spawn(const std::vector<std::string>& arguments, const std::filesystem::path& log,
                   bool bothStreams = false, const std::function<void()>& inChild = nullptr) {
  std::vector<const char*> argv = {GRIDMOOR_HOST_PROGRAM, "--library", GRIDMOOR_LIBRARY_FILE};
  for (const std::string& argument : arguments)
    argv.push_back(argument.c_str());
  argv.push_back(nullptr);
  const pid_t pid = fork();
  if (pid == 0) {
    const int fd = ::open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (bothStreams) ::dup2(fd, 1);
    ::dup2(fd, 2);
    if (inChild) inChild();
    ::execv(GRIDMOOR_HOST_PROGRAM, const_cast<char* const*>(argv.data()));
    ::_exit(127);
  }
  return pid;
}

inline int ExitStatus(pid_t pid) {
  int raw = 0;
  ::waitpid(pid, &raw, 0);
  return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
}

// ExitStatus, but a process that outlives `limit` has hung: it is killed,
// and the answer is nullopt.
inline std::optional<int> ExitStatusWithin(pid_t pid, std::chrono::seconds limit) {
  int raw = 0;
  if (!WaitFor([&] { return ::waitpid(pid, &raw, WNOHANG) != 0; }, limit.count())) {
    ::kill(pid, SIGKILL);
    ::waitpid(pid, &raw, 0);
    return std::nullopt;
  }
  return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
}

inline std::filesystem::path Example(const std::string& name) {
  return std::filesystem::path(GRIDMOOR_EXAMPLES_DIR) / name;
}

// A copy of an example's scenario, changed by `edit`, written to `file`; its
// workbook and inputs table stay the example's own.
inline std::filesystem::path ExampleScenario(const std::string& name,
                                             const std::filesystem::path& file,
                                             const std::function<void(nlohmann::json&)>& edit) {
  nlohmann::json scenario = nlohmann::json::parse(ReadText(Example(name) / "scenario.json"));
  scenario["workbook"] = (Example(name) / (name + ".fods")).string();
  if (scenario.contains("inputs") && scenario["inputs"].is_string())
    scenario["inputs"] = (Example(name) / scenario["inputs"].get<std::string>()).string();
  edit(scenario);
  std::ofstream(file) << scenario.dump(2);
  return file;
}

// `gridmoor-host run` of `scenario` with --quiet, its outputs in `out`,
// then `more` options.
inline Result RunQuiet(const std::filesystem::path& scenario, const std::filesystem::path& out,
                       const std::filesystem::path& scratch, const std::string& more = "") {
  return Host("run " + scenario.string() + " --quiet --out " + out.string() + more, scratch);
}

inline nlohmann::json ReadJson(const std::filesystem::path& file) {
  return nlohmann::json::parse(ReadText(file));
}

// `gridmoor-host workbook check` with `arguments` (after `environment`, as
// for Host) and the findings it wrote with --json; null when it wrote none.
struct Checked {
  Result result;
  nlohmann::json json;
};
inline Checked Check(const std::string& arguments, const std::filesystem::path& scratch,
                     const std::string& environment = "") {
  const std::filesystem::path json = scratch / "check.json";
  std::filesystem::remove(json);
  Checked checked{
      Host("workbook check " + arguments + " --json " + json.string(), scratch, environment), {}};
  if (std::filesystem::exists(json)) checked.json = ReadJson(json);
  return checked;
}

// The entries of `folder` whose names start with `prefix` (none when there
// is no such folder).
inline std::vector<std::filesystem::path> EntriesNamed(const std::filesystem::path& folder,
                                                       const std::string& prefix) {
  std::vector<std::filesystem::path> found;
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(folder, error))
    if (entry.path().filename().string().rfind(prefix, 0) == 0) found.push_back(entry.path());
  return found;
}

// The separator example for one timestep on `workbook`, without its
// published variables, with `oilRate` in its well stream, changed by `edit`.
inline std::filesystem::path OneSeparatorTimestep(
    const std::filesystem::path& file, const std::filesystem::path& workbook, double oilRate,
    const std::function<void(nlohmann::json&)>& edit) {
  return ExampleScenario("separator", file, [&](nlohmann::json& s) {
    s["workbook"] = workbook.string();
    s.erase("publishedVariables");
    s["run"]["timesteps"] = 1;
    s["inputs"]["In-1"] = nlohmann::json::array({s["inputs"]["In-1"][0]});
    s["inputs"]["In-1"][0]["oilRate"] = oilRate;
    edit(s);
  });
}

// The processes named `name` that `parent` started.
inline std::vector<int> ChildrenOf(pid_t parent, const std::string& name) {
  std::vector<int> pids;
  for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
    const std::string stat = ReadText(entry.path() / "stat");
    const std::size_t close = stat.rfind(')');
    if (close == std::string::npos || stat.find("(" + name + ")") == std::string::npos) continue;
    if (std::atoi(stat.c_str() + close + 4) == parent) pids.push_back(std::atoi(stat.c_str()));
  }
  return pids;
}

// The office a process started, or 0.
inline int OfficeOf(pid_t parent) {
  const std::vector<int> offices = ChildrenOf(parent, "soffice.bin");
  return offices.empty() ? 0 : offices.front();
}

// The processes whose command line names `text` (an office started for a
// run names its profile, inside the run's folder).
inline std::vector<int> ProcessesNaming(const std::string& text) {
  std::vector<int> pids;
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator("/proc", error)) {
    const std::string name = entry.path().filename().string();
    if (name.find_first_not_of("0123456789") != std::string::npos) continue;
    std::string line = ReadText(entry.path() / "cmdline");
    for (char& c : line)
      if (c == '\0') c = ' ';
    if (line.find(text) != std::string::npos && !ProcessGone(std::stoi(name)))
      pids.push_back(std::stoi(name));
  }
  return pids;
}

}  // namespace hosttest
