#include "common/interrupt.h"

#include <dirent.h>
#include <semaphore.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <mutex>
#include <string>
#include <thread>

namespace refhost {
namespace {

using Clock = std::chrono::steady_clock;

// How long a run may take to act on a signal before its offices are ended,
// and then before the program ends at once.
constexpr std::chrono::milliseconds kTakeWithin{1000};
constexpr std::chrono::seconds kWindDownWithin{15};

// Shared by the signal handler, the run's thread and the watcher thread:
// lock-free atomics are safe in a handler and, unlike a volatile
// sig_atomic_t, between threads.
static_assert(std::atomic<int>::is_always_lock_free);
std::atomic<int> g_signal{0};
std::atomic<int> g_armed{0};
char g_folder[4096] = {};
char g_file[4096] = {};
// Posted by the handler (sem_post may be called there) for the watcher.
sem_t g_noted;
std::atomic<bool> g_taken{false};
std::atomic<bool> g_officesEnded{false};

void Say(const char* text) {
  [[maybe_unused]] const ssize_t written = ::write(STDERR_FILENO, text, std::strlen(text));
}

[[noreturn]] void EndAtOnce(int signal, const char* why) {
  Say(why);
  if (g_file[0] != '\0') ::unlink(g_file);
  if (g_folder[0] != '\0') ::rmdir(g_folder);
  // The office dies with this process (it is bound to it by a death signal).
  ::_exit(128 + signal);
}

void OnSignal(int signal) {
  if (g_armed != 0 && g_signal == 0) {
    g_signal = signal;
    sem_post(&g_noted);
    return;
  }
  EndAtOnce(signal, g_armed != 0 ? "gridmoor-host: interrupted again; stopping at once\n"
                                 : "gridmoor-host: interrupted\n");
}

// Kills the office processes this program started (its children named
// soffice.bin, each the leader of its own process group with whatever it
// started); the driver sees its office gone, as when one crashes.
void EndOffices() {
  const pid_t self = ::getpid();
  DIR* processes = ::opendir("/proc");
  if (processes == nullptr) return;
  while (const dirent* entry = ::readdir(processes)) {
    char* end = nullptr;
    const long pid = std::strtol(entry->d_name, &end, 10);
    if (pid <= 0 || *end != '\0') continue;
    // "pid (comm) state ppid pgrp ...": the name may hold spaces and ")".
    std::ifstream file("/proc/" + std::string(entry->d_name) + "/stat");
    std::string stat;
    if (!std::getline(file, stat)) continue;
    const std::size_t open = stat.find('('), close = stat.rfind(')');
    if (open == std::string::npos || close == std::string::npos || close < open) continue;
    if (stat.substr(open + 1, close - open - 1) != "soffice.bin") continue;
    char state = 0;
    long parent = 0, group = 0;
    if (std::sscanf(stat.c_str() + close + 1, " %c %ld %ld", &state, &parent, &group) != 3 ||
        parent != self)
      continue;
    ::kill(group == pid ? -static_cast<pid_t>(pid) : static_cast<pid_t>(pid), SIGKILL);
    g_officesEnded = true;
  }
  ::closedir(processes);
}

bool TakenWithin(Clock::duration limit) {
  const Clock::time_point until = Clock::now() + limit;
  while (!g_taken) {
    if (Clock::now() >= until) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return true;
}

// Waits for the first signal of a run, then sees that it is acted on.
void Watch() {
  while (sem_wait(&g_noted) != 0 && errno == EINTR) {
  }
  const int signal = g_signal;
  if (g_armed == 0 || signal == 0 || TakenWithin(kTakeWithin)) return;
  EndOffices();
  if (TakenWithin(kWindDownWithin)) return;
  EndAtOnce(signal,
            "gridmoor-host: interrupted, and the run does not wind down; stopping at once\n");
}

void Copy(char (&to)[4096], const std::filesystem::path& from) {
  const std::string text = from.string();
  if (text.size() >= sizeof to) return;
  std::memcpy(to, text.c_str(), text.size() + 1);
}

}  // namespace

void InstallInterruptHandlers() {
  struct sigaction action {};
  action.sa_handler = OnSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
}

void ArmInterrupt(bool armed) {
  static std::once_flag watcher;
  if (armed) {
    std::call_once(watcher, [] {
      sem_init(&g_noted, 0, 0);
      std::thread(Watch).detach();
    });
  }
  g_armed = armed ? 1 : 0;
}

int InterruptSignal() {
  return g_signal;
}

void InterruptTaken() {
  g_taken = true;
}

bool OfficesEndedByInterrupt() {
  return g_officesEnded;
}

std::string SignalName(int signal) {
  return signal == SIGINT    ? "SIGINT"
         : signal == SIGTERM ? "SIGTERM"
                             : "signal " + std::to_string(signal);
}

void SetScratchForSignals(const std::filesystem::path& folder, const std::filesystem::path& file) {
  // Cleared first so a half-written path is never used.
  g_folder[0] = '\0';
  g_file[0] = '\0';
  Copy(g_file, file);
  Copy(g_folder, folder);
}

}  // namespace refhost
