#include "excel/calc/process/child_process.h"

#include <fcntl.h>
#include <linux/close_range.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <set>
#include <sstream>
#include <thread>

#include "com/error.h"
#include "excel/calc/process/office_launcher.h"

namespace excel::calc {
namespace fs = std::filesystem;
namespace {

// Everything the child needs, prepared before fork: after it only
// async-signal-safe calls are allowed.
struct ExecPlan {
  std::string program;
  std::vector<std::string> strings;  // argv then envp, owned here
  std::vector<char*> argv;
  std::vector<char*> envp;
};

[[noreturn]] void RunChild(const ExecPlan& plan, pid_t parent, int reportFd) {
  ::prctl(PR_SET_PDEATHSIG, SIGKILL);
  // The parent may have died before the signal was armed.
  if (::getppid() != parent) ::_exit(127);
  sigset_t none;
  ::sigemptyset(&none);
  ::sigprocmask(SIG_SETMASK, &none, nullptr);
  struct sigaction defaults {};
  defaults.sa_handler = SIG_DFL;
  for (int signal = 1; signal < NSIG; ++signal) {
    if (signal != SIGKILL && signal != SIGSTOP) ::sigaction(signal, &defaults, nullptr);
  }
  // Its own process group: a terminal's Ctrl-C meant for the host does not
  // reach the office directly; the death signal ends it with the host.
  ::setpgid(0, 0);
  const int null = ::open("/dev/null", O_RDWR);
  if (null >= 0) {
    ::dup2(null, 0);
    ::dup2(null, 1);
    ::dup2(null, 2);
  }
  // Nothing of the host's leaks into the office; the report pipe closes on
  // exec by itself.
  if (::close_range(3, ~0U, CLOSE_RANGE_CLOEXEC) != 0) {
    for (int fd = 3; fd < 4096; ++fd) {
      if (fd != reportFd) ::close(fd);
    }
  }
  ::execve(plan.program.c_str(), plan.argv.data(), plan.envp.data());
  const int error = errno;
  [[maybe_unused]] const ssize_t written = ::write(reportFd, &error, sizeof error);
  ::_exit(127);
}

int ForkAndExec(const ExecPlan& plan) {
  int report[2];
  if (::pipe2(report, O_CLOEXEC) != 0) return -errno;
  const pid_t parent = ::getpid();
  const pid_t pid = ::fork();
  if (pid < 0) {
    const int error = errno;
    ::close(report[0]);
    ::close(report[1]);
    return -error;
  }
  if (pid == 0) RunChild(plan, parent, report[1]);
  ::close(report[1]);
  int childError = 0;
  ssize_t got;
  do {
    got = ::read(report[0], &childError, sizeof childError);
  } while (got < 0 && errno == EINTR);
  ::close(report[0]);
  if (got == static_cast<ssize_t>(sizeof childError)) {
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return -(childError == 0 ? ENOEXEC : childError);
  }
  return pid;
}

// True when a SIGKILL is queued for process `pid`, for the whole process
// (ShdPnd, where kill() puts it) or its main thread (SigPnd).
bool KillQueued(int pid) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  constexpr unsigned long long kKillBit = 1ULL << (SIGKILL - 1);
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("SigPnd:", 0) != 0 && line.rfind("ShdPnd:", 0) != 0) continue;
    if ((std::strtoull(line.c_str() + 7, nullptr, 16) & kKillBit) != 0) return true;
  }
  return false;
}

struct ProcessEntry {
  int pid = 0;
  int parent = 0;
  int group = 0;
};

// Every process of this machine with its parent and group, from /proc.
std::vector<ProcessEntry> Processes() {
  std::vector<ProcessEntry> processes;
  for (const int pid : ProcessIds()) {
    std::ifstream file("/proc/" + std::to_string(pid) + "/stat");
    std::string stat;
    std::getline(file, stat);
    // "pid (command) state ppid pgrp ...": the command may hold anything.
    const std::size_t close = stat.rfind(')');
    if (close == std::string::npos) continue;
    std::istringstream rest(stat.substr(close + 1));
    char state = 0;
    ProcessEntry process;
    // A zombie has ended already; only its parent's wait removes it.
    if (rest >> state >> process.parent >> process.group && state != 'Z') {
      process.pid = pid;
      processes.push_back(process);
    }
  }
  return processes;
}

// The processes of `leader`'s group and its descendants, itself left out.
std::set<int> StartedBy(int leader, const std::vector<ProcessEntry>& processes) {
  std::set<int> found;
  for (const ProcessEntry& process : processes) {
    if (process.group == leader && process.pid != leader) found.insert(process.pid);
  }
  // Descendants by their parents, level by level, until no more are found.
  for (std::size_t before = SIZE_MAX; before != found.size();) {
    before = found.size();
    for (const ProcessEntry& process : processes) {
      if (process.pid != leader && (process.parent == leader || found.count(process.parent) != 0))
        found.insert(process.pid);
    }
  }
  return found;
}

int StatusCode(int status) {
  if (WIFEXITED(status)) return WEXITSTATUS(status);
  if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
  return 255;
}

}  // namespace

std::shared_ptr<ChildProcess> ChildProcess::Start(const fs::path& program,
                                                  const std::vector<std::string>& arguments,
                                                  const std::vector<std::string>& environment) {
  ExecPlan plan;
  plan.program = program.string();
  plan.strings.reserve(1 + arguments.size() + environment.size());
  plan.strings.push_back(plan.program);
  plan.strings.insert(plan.strings.end(), arguments.begin(), arguments.end());
  plan.strings.insert(plan.strings.end(), environment.begin(), environment.end());
  const std::size_t argc = 1 + arguments.size();
  for (std::size_t i = 0; i < plan.strings.size(); ++i) {
    (i < argc ? plan.argv : plan.envp).push_back(plan.strings[i].data());
  }
  plan.argv.push_back(nullptr);
  plan.envp.push_back(nullptr);

  int result = 0;
  const auto forked = std::chrono::system_clock::now();
  RunOnLauncherThread([&] { result = ForkAndExec(plan); });
  if (result <= 0) {
    com::Throw(com::CO_E_SERVER_EXEC_FAILURE,
               "The office program " + plan.program +
                   " could not be run: " + std::strerror(result < 0 ? -result : ENOEXEC));
  }
  RecordStartedProcess(result, forked);
  return std::shared_ptr<ChildProcess>(new ChildProcess(result));
}

ChildProcess::~ChildProcess() {
  Kill();
}

std::optional<int> ChildProcess::Reap(bool block) {
  std::lock_guard lock(mutex_);
  if (status_) return status_;
  int status = 0;
  pid_t got;
  do {
    got = ::waitpid(pid_, &status, block ? 0 : WNOHANG);
  } while (got < 0 && errno == EINTR);
  if (got == pid_) {
    status_ = StatusCode(status);
  } else if (got < 0 && errno == ECHILD) {
    // Reaped elsewhere (a host that ignores SIGCHLD reaps automatically).
    status_ = 255;
  }
  return status_;
}

std::optional<int> ChildProcess::ExitStatus() {
  return Reap(false);
}

bool ChildProcess::WaitForExit(std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    if (Reap(false)) return true;
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}

bool ChildProcess::Ended() {
  return Reap(false).has_value() || KillQueued(pid_);
}

void ChildProcess::Kill() {
  {
    std::lock_guard lock(mutex_);
    if (status_) return;
    // The whole group the child leads: what it started dies with it. Not
    // yet reaped, its id (and so its group's) cannot have been reused.
    ::kill(-pid_, SIGKILL);
    ::kill(pid_, SIGKILL);
  }
  Reap(true);
}

std::size_t ChildProcess::EndDescendants() {
  std::lock_guard lock(mutex_);
  // Not yet reaped, the child's id and so its group's cannot be reused.
  if (status_) return 0;
  std::set<int> ended;
  // Twice: one being killed may have started another meanwhile.
  for (int round = 0; round < 2; ++round) {
    for (const int pid : StartedBy(pid_, Processes())) {
      // One an earlier call already ended is dying, not left behind.
      if (ended.count(pid) == 0 && KillQueued(pid)) continue;
      if (::kill(pid, SIGKILL) == 0) ended.insert(pid);
    }
  }
  return ended.size();
}

std::vector<int> ProcessIds() {
  std::vector<int> ids;
  std::error_code error;
  for (const fs::directory_entry& entry : fs::directory_iterator("/proc", error)) {
    const std::string name = entry.path().filename().string();
    if (!name.empty() && name.find_first_not_of("0123456789") == std::string::npos)
      ids.push_back(std::atoi(name.c_str()));
  }
  return ids;
}

}  // namespace excel::calc
