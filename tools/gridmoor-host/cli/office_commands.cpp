// gridmoor-host office start|status|stop: a warm office kept for the user's
// single runs, and the run's choice of it.
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <string>
#include <utility>
#include <vector>

#include "cli/commands.h"
#include "offices/office_socket.h"
#include "offices/user_office.h"
#include "running/run_many.h"

namespace refhost {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// The user's folder (made when `make`), or none with the failure reported.
std::optional<fs::path> Folder(bool make, int& status) {
  const outcome::Expected<std::optional<fs::path>> folder = UserOfficeFolder(make);
  if (!folder) status = ReportFailure(folder.GetError().Message());
  return folder ? *folder : std::nullopt;
}

// "process 12 (served by process 11, in /run/user/1000/gridmoor-office)"
std::string Where(int office, int server, const fs::path& folder) {
  return (office != 0 ? "process " + std::to_string(office) : std::string("no process yet")) +
         " (served by process " + std::to_string(server) + ", in " + folder.string() + ")";
}

// The server, started in a session of its own so that it outlives this
// program and its terminal; what it said of its first office.
std::optional<std::string> StartServer() {
  int report[2];
  if (::pipe2(report, O_CLOEXEC) != 0) return std::nullopt;
  std::error_code ec;
  const std::string program = fs::read_symlink("/proc/self/exe", ec).string();
  const std::string fd = std::to_string(report[1]);
  std::vector<const char*> argv{program.c_str(), "office",   "serve",
                                "--ready-fd",    fd.c_str(), nullptr};
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::setsid();
    // Not to hold the folder it was started in; the parent sees no report.
    if (::chdir("/") != 0) ::_exit(127);
    const int null = ::open("/dev/null", O_RDWR);
    for (int standard = 0; standard < 3; ++standard)
      ::dup2(null, standard);
    ::fcntl(report[1], F_SETFD, 0);
    ::execv(argv[0], const_cast<char* const*>(argv.data()));
    ::_exit(127);
  }
  ::close(report[1]);
  std::string pending;
  // A first office on a loaded machine can take a minute.
  std::optional<std::string> line =
      pid > 0 ? office_socket::ReadLine(report[0], pending, 180s) : std::nullopt;
  ::close(report[0]);
  return line;
}

int StartOffice() {
  int status = 0;
  const std::optional<fs::path> folder = Folder(true, status);
  if (!folder) return status;
  bool stale = false;
  if (const std::optional<UserOfficeState> up = AskUserOffice(*folder, stale)) {
    std::cout << "an office is already running: " << Where(up->office, up->server, *folder) << "\n";
    return 0;
  }
  const std::optional<std::string> said = StartServer();
  if (!said) return ReportFailure("the office server did not start");
  if (said->rfind("failed ", 0) == 0) return ReportFailure(said->substr(7));
  if (*said == "running" || said->rfind("ready ", 0) != 0) {
    const std::optional<UserOfficeState> up = AskUserOffice(*folder, stale);
    if (!up) return ReportFailure("the office server did not start");
    std::cout << "an office is already running: " << Where(up->office, up->server, *folder) << "\n";
    return 0;
  }
  int office = 0, server = 0;
  std::sscanf(said->c_str(), "ready %d %d", &office, &server);
  std::cout << "office started: " << Where(office, server, *folder)
            << "; runs use it until `gridmoor-host office stop`\n";
  return 0;
}

// The running office and its folder; none, said on stdout, when no office
// runs (`status` stays 0), or with `status` set when the folder is refused.
std::optional<std::pair<UserOfficeState, fs::path>> RunningOffice(int& status) {
  const std::optional<fs::path> folder = Folder(false, status);
  if (status != 0) return std::nullopt;
  bool stale = false;
  const std::optional<UserOfficeState> up = folder ? AskUserOffice(*folder, stale) : std::nullopt;
  if (up) return std::pair{*up, *folder};
  std::cout << "no office running" << (stale ? " (the state of one that ended was removed)" : "")
            << "\n";
  return std::nullopt;
}

int OfficeStatus() {
  int status = 0;
  const auto running = RunningOffice(status);
  if (!running) return status != 0 ? status : 1;
  const auto& [up, folder] = *running;
  std::cout << "office up: " << Where(up.office, up.server, folder) << ", " << up.doing << "\n";
  return 0;
}

int StopOffice() {
  int status = 0;
  const auto running = RunningOffice(status);
  if (!running) return status;
  if (!StopUserOffice(running->second, std::cerr))
    return ReportFailure("the office server did not end");
  const int office = running->first.office;
  std::cout << "office stopped"
            << (office != 0 ? " (process " + std::to_string(office) + " ended)" : std::string())
            << "\n";
  return 0;
}

}  // namespace

std::optional<OfficeLease> UseUserOffice(std::ostream& said) {
  // Handed an office already (run-many's own, or the user's choice).
  if (const char* pipe = std::getenv(kOfficePipeVariable); pipe != nullptr && *pipe != '\0')
    return std::nullopt;
  std::optional<OfficeLease> lease = OfficeLease::Take(said);
  if (lease) ::setenv(kOfficePipeVariable, lease->Pipe().c_str(), 1);
  return lease;
}

std::vector<Command> AddOfficeCommands(CLI::App& app) {
  CLI::App* office = app.add_subcommand(
      "office",
      "Keep an office warm for this user's runs: `run` then attaches to it instead of starting "
      "one (one run at a time; put back or replaced after each run, as run-many does)");
  office->require_subcommand(1);
  CLI::App* start = office->add_subcommand("start", "Start the office and return");
  CLI::App* status = office->add_subcommand(
      "status", "Say whether an office is running (exit status 0) or not (1)");
  CLI::App* stop =
      office->add_subcommand("stop", "End the office (after the run using it, if any)");
  CLI::App* serve = office->add_subcommand("serve", "The server that keeps the office");
  serve->group("");
  auto readyFd = std::make_shared<int>(-1);
  serve->add_option("--ready-fd", *readyFd)->required();
  return {{start, StartOffice},
          {status, OfficeStatus},
          {stop, StopOffice},
          {serve, [readyFd] {
             int failed = 0;
             const std::optional<fs::path> folder = Folder(true, failed);
             if (!folder) return failed;
             return ServeUserOffice(*folder, *readyFd);
           }}};
}

}  // namespace refhost
