// Waiting in a test for the thing itself rather than for a while: a
// condition polled until a deadline, and what /proc says of a process or of
// one of this process's threads.
#pragma once

#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <string>
#include <thread>

namespace test_support {

// Whether `done` held within `seconds`. It is asked at once, then after 1,
// 2, 4 ... ms, then every 20 ms: soon for what comes soon, without a busy
// loop over /proc for what takes an office's start. The caller says what
// did not happen: ASSERT_TRUE(WaitFor(...)) << "...".
inline bool WaitFor(const std::function<bool()>& done, double seconds) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
  std::chrono::milliseconds pause(1);
  while (!done()) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(pause);
    pause = std::min(pause * 2, std::chrono::milliseconds(20));
  }
  return true;
}

inline std::string FirstLineOf(const std::string& file) {
  std::ifstream in(file);
  std::string line;
  std::getline(in, line);
  return line;
}

// The program a process runs, as /proc/<pid>/comm names it ("" when gone).
inline std::string ProcessName(int pid) {
  return FirstLineOf("/proc/" + std::to_string(pid) + "/comm");
}

// The state letter in a /proc .../stat file (R, S, D, T, Z...), '\0' when gone.
inline char StateIn(const std::string& statFile) {
  const std::string stat = FirstLineOf(statFile);
  const std::size_t close = stat.rfind(')');
  return close != std::string::npos && stat.size() > close + 2 ? stat[close + 2] : '\0';
}

inline char ProcessState(int pid) {
  return StateIn("/proc/" + std::to_string(pid) + "/stat");
}

// Whether a process has ended: gone, or a zombie not yet reaped.
inline bool ProcessGone(int pid) {
  const char state = ProcessState(pid);
  return state == '\0' || state == 'Z';
}

// The caller's kernel thread id, for ThreadBlocked from another thread.
inline int ThisThreadId() {
  return static_cast<int>(::syscall(SYS_gettid));
}

// Whether thread `tid` of this process sleeps in a futex wait: blocked on a
// mutex, a condition or a join, not merely slow.
inline bool ThreadBlocked(int tid) {
  const std::string task = "/proc/self/task/" + std::to_string(tid);
  if (StateIn(task + "/stat") != 'S') return false;
  return std::atol(FirstLineOf(task + "/syscall").c_str()) == SYS_futex;
}

// The signals sent to a process and not yet delivered to it.
inline std::uint64_t PendingSignals(int pid) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  std::uint64_t pending = 0;
  for (std::string line; std::getline(status, line);)
    if (line.rfind("ShdPnd:", 0) == 0 || line.rfind("SigPnd:", 0) == 0)
      pending |= std::stoull(line.substr(7), nullptr, 16);
  return pending;
}

}  // namespace test_support
