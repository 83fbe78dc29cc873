#include "excel/calc/calls/bridge_faults.h"

#ifdef GRIDMOOR_TEST_SEAMS
#include <execinfo.h>

#include <atomic>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>

#include "platform/environment.h"
#endif

namespace excel::calc {

#ifdef GRIDMOOR_TEST_SEAMS
namespace {

std::atomic<std::uint64_t> callsMade{0};

struct Settings {
  std::uint64_t failAt = 0;  // 0: none
  std::string countFile;     // empty: not counted
  std::mutex countMutex;
  std::string pathsFile;  // empty: paths not listed
  std::mutex pathsMutex;
  std::unordered_map<std::string, std::size_t> pathNumbers;
};

// Read once, on the first bridge call. Never destroyed: a call made while
// the process ends still finds it.
Settings& SeamSettings() {
  static Settings& settings = [&]() -> Settings& {
    auto* read = new Settings;
    if (const std::optional<std::string> n = platform::GetEnv("GRIDMOOR_TEST_FAIL_BRIDGE_CALL"))
      read->failAt = std::strtoull(n->c_str(), nullptr, 10);
    read->countFile = platform::GetEnv("GRIDMOOR_TEST_COUNT_BRIDGE_CALLS").value_or("");
    read->pathsFile = platform::GetEnv("GRIDMOOR_TEST_LIST_BRIDGE_PATHS").value_or("");
    return *read;
  }();
  return settings;
}

// Rewritten after every call rather than at exit, so that the count holds
// however the process ends (a crash, _exit) and whatever runs at exit.
void WriteCount(Settings& settings) {
  std::lock_guard lock(settings.countMutex);
  std::ofstream(settings.countFile, std::ios::trunc) << callsMade.load() << "\n";
}

// The return addresses of the caller's stack identify its path; they hold
// within one process, which is all the list needs (the call numbers it
// writes are what other runs use).
void ListPath(Settings& settings, std::uint64_t call) {
  void* frames[128];
  const int depth = ::backtrace(frames, 128);
  const std::string stack(reinterpret_cast<const char*>(frames), sizeof(void*) * depth);
  std::lock_guard lock(settings.pathsMutex);
  const std::size_t path =
      settings.pathNumbers.try_emplace(stack, settings.pathNumbers.size()).first->second;
  std::ofstream(settings.pathsFile, std::ios::app) << call << ' ' << path << "\n";
}

}  // namespace

bool BridgeCallMustFail() {
  Settings& settings = SeamSettings();
  const std::uint64_t call = callsMade.fetch_add(1) + 1;
  if (!settings.countFile.empty()) WriteCount(settings);
  if (!settings.pathsFile.empty()) ListPath(settings, call);
  return call == settings.failAt;
}

std::uint64_t BridgeCallsMade() {
  return callsMade.load();
}

#else

bool BridgeCallMustFail() {
  return false;
}

std::uint64_t BridgeCallsMade() {
  return 0;
}

#endif

}  // namespace excel::calc
