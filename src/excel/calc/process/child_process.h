// One office process, forked and exec'ed by the launcher thread
// (office_launcher.h), watched and ended.
#pragma once

#include <chrono>
#include <cstddef>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace excel::calc {

// One child process started by the launcher thread. Reaped exactly once,
// by whichever call first sees it end.
class ChildProcess {
 public:
  // Starts `program` with `arguments` (argv[1..]) and exactly `environment`
  // ("NAME=value" entries); standard input and output go to /dev/null. The
  // child dies with this process. Throws com::Error(CO_E_SERVER_EXEC_FAILURE)
  // when it cannot be started (no such program included).
  static std::shared_ptr<ChildProcess> Start(const std::filesystem::path& program,
                                             const std::vector<std::string>& arguments,
                                             const std::vector<std::string>& environment);
  ~ChildProcess();  // kills and reaps a child still running
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  int Pid() const { return pid_; }
  // The exit status (128 + signal when killed) once the child has ended;
  // nullopt while it runs. Never blocks.
  std::optional<int> ExitStatus();
  // Waits up to `timeout` for the child to end; true when it has.
  bool WaitForExit(std::chrono::milliseconds timeout);
  // True once the child has ended or can never run again: a SIGKILL is
  // queued for it, which the kernel keeps until the child is reaped. So a
  // child killed by anyone counts as ended from the moment kill() returns,
  // before it is a zombie. Never blocks; reads /proc while it runs.
  bool Ended();
  // SIGKILL to the child's process group (it leads its own), then reaps.
  // Safe to call on an ended child.
  void Kill();
  // Kills every other process the child started: those of its process group
  // (a background process outlives the shell that started it there) and
  // every descendant, wherever its group. The child itself runs on. Returns
  // how many were killed.
  std::size_t EndDescendants();

 private:
  explicit ChildProcess(int pid) : pid_(pid) {}
  std::optional<int> Reap(bool block);

  const int pid_;
  std::mutex mutex_;
  std::optional<int> status_;
};

// The ids of every process of this machine, as /proc lists them.
std::vector<int> ProcessIds();

}  // namespace excel::calc
