#include "interrupt.h"

#include <signal.h>
#include <unistd.h>

#include <cstring>

namespace refhost {
namespace {

volatile sig_atomic_t g_signal = 0;
volatile sig_atomic_t g_armed = 0;
char g_folder[4096] = {};
char g_file[4096] = {};

void Say(const char* text) {
  [[maybe_unused]] const ssize_t written = ::write(STDERR_FILENO, text, std::strlen(text));
}

void OnSignal(int signal) {
  if (g_armed != 0 && g_signal == 0) {
    g_signal = signal;
    return;
  }
  Say(g_armed != 0 ? "gridmoor-host: interrupted again; stopping at once\n"
                   : "gridmoor-host: interrupted\n");
  if (g_file[0] != '\0') ::unlink(g_file);
  if (g_folder[0] != '\0') ::rmdir(g_folder);
  // The office dies with this process (it is bound to it by a death signal).
  ::_exit(128 + signal);
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
  g_armed = armed ? 1 : 0;
}

int InterruptSignal() {
  return g_signal;
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
