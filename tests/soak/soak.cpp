// A soak in one host process: the library loaded once runs the host's own
// sequence (create, start, open, three timesteps of streams and published
// variables, stop, destroy) cycle after cycle, the office killed at a random
// moment now and then. It fails when what a leak would grow (kMeasures)
// grows after the first report, or when a cycle loses an answer (a run that
// ends well with other values than the first, or a failure after the office
// was replaced).
//
//   gridmoor_soak --cycles 1000 --kill-every 50 --report-every 100
#include <signal.h>
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <array>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <limits>
#include <optional>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "running/run.h"
#include "scenario/library.h"
#include "scenario/scenario.h"

namespace {
namespace fs = std::filesystem;

// What a leak would grow, measured at each report.
constexpr const char* kMeasures[] = {"resident memory (kB)", "open file descriptors", "threads",
                                     "child processes", "temporary folder entries"};
using Usage = std::array<long, std::size(kMeasures)>;

template <typename Iterator>
long CountEntries(const fs::path& folder) {
  long n = 0;
  std::error_code error;
  for (Iterator it(folder, error); !error && it != Iterator(); it.increment(error))
    ++n;
  return n;
}

long StatusField(const char* field) {
  std::ifstream status("/proc/self/status");
  std::string line;
  const std::string prefix = std::string(field) + ":";
  while (std::getline(status, line))
    if (line.rfind(prefix, 0) == 0) return std::atol(line.c_str() + prefix.size());
  return -1;
}

// The processes whose parent is `parent`, by reading /proc.
std::vector<int> ChildrenOf(int parent) {
  std::vector<int> children;
  std::error_code error;
  for (const fs::directory_entry& entry : fs::directory_iterator("/proc", error)) {
    const std::string name = entry.path().filename().string();
    if (name.find_first_not_of("0123456789") != std::string::npos) continue;
    std::ifstream stat(entry.path() / "stat");
    std::string text;
    std::getline(stat, text);
    // pid (comm) state ppid ...: comm may hold spaces, so read after ')'.
    const std::size_t close = text.rfind(')');
    if (close == std::string::npos) continue;
    std::istringstream rest(text.substr(close + 1));
    std::string state;
    int ppid = 0;
    rest >> state >> ppid;
    if (ppid == parent && state != "Z") children.push_back(std::stoi(name));
  }
  return children;
}

Usage Measure(const fs::path& temp) {
  return {StatusField("VmRSS"),
          CountEntries<fs::directory_iterator>("/proc/self/fd") - 1,  // the iterator's own
          StatusField("Threads"), static_cast<long>(ChildrenOf(::getpid()).size()),
          CountEntries<fs::recursive_directory_iterator>(temp)};
}

// What a cycle answered, for comparing cycles: every stream sample and
// published value, as text.
std::string Answers(const refhost::RunRecord& record) {
  std::ostringstream out;
  out.precision(17);
  for (const refhost::StreamSample& sample : record.streamSamples) {
    out << sample.timestep << ' ' << sample.stream;
    for (double value : sample.state.scalars)
      out << ' ' << value;
    for (double fraction : sample.state.moleFractions)
      out << ' ' << fraction;
    out << '\n';
  }
  for (const refhost::PublishedSample& published : record.published)
    out << published.timestep << ' ' << published.name << '=' << published.value << '\n';
  return out.str();
}

// Kills every office this process started (its children), after `delay`,
// unless cancelled first.
class OfficeKiller {
 public:
  explicit OfficeKiller(std::chrono::milliseconds delay)
      : thread_([this, delay] {
          const auto until = std::chrono::steady_clock::now() + delay;
          while (!cancelled_ && std::chrono::steady_clock::now() < until)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
          if (cancelled_) return;
          for (const int pid : ChildrenOf(::getpid())) {
            ::kill(pid, SIGKILL);
            killed_ = true;
          }
        }) {}
  ~OfficeKiller() {
    cancelled_ = true;
    thread_.join();
  }
  bool Killed() const { return killed_; }

 private:
  std::atomic<bool> cancelled_{false}, killed_{false};
  std::thread thread_;
};

int Soak(int argc, char** argv) {
  CLI::App app("Runs the host's sequence cycle after cycle in one process and checks for growth");
  int cycles = 1000, killEvery = 50, reportEvery = 100;
  long maxGrowthKb = 5 * 1024;
  constexpr int kMost = std::numeric_limits<int>::max();
  app.add_option("--cycles", cycles)->check(CLI::Range(1, kMost));
  app.add_option("--kill-every", killEvery, "Kill the office in every n-th cycle (0: never)")
      ->check(CLI::Range(0, kMost));
  app.add_option("--report-every", reportEvery)->check(CLI::Range(1, kMost));
  app.add_option("--max-growth-kb", maxGrowthKb,
                 "Resident memory growth allowed after the first report")
      ->check(CLI::Range(0L, std::numeric_limits<long>::max()));
  CLI11_PARSE(app, argc, argv);

  // A temporary folder of the soak's own, so that anything left in it is
  // the library's or its office's.
  const fs::path temp = fs::temp_directory_path() / ("gridmoor-soak-" + std::to_string(::getpid()));
  fs::create_directories(temp);
  ::setenv("TMPDIR", temp.c_str(), 1);

  outcome::Expected<refhost::Scenario> loaded =
      refhost::LoadScenario(std::string(GRIDMOOR_EXAMPLES_DIR) + "/separator/scenario.json");
  if (!loaded) {
    std::fprintf(stderr, "soak: %s\n", loaded.GetError().Message().c_str());
    return 2;
  }
  refhost::Scenario& scenario = *loaded;
  // The workbook is only read (no save), but a private copy keeps the
  // example safe from a fault that would write it.
  const fs::path workbook = temp.parent_path() / ("gridmoor-soak-" + std::to_string(::getpid()) +
                                                  scenario.workbook->extension().string());
  fs::copy_file(*scenario.workbook, workbook, fs::copy_options::overwrite_existing);
  scenario.workbook = workbook;

  refhost::Library host;
  if (const outcome::Error error = host.Load(refhost::LoadOptions{GRIDMOOR_LIBRARY_FILE, false})) {
    std::fprintf(stderr, "soak: %s\n", error.Message().c_str());
    return 2;
  }
  refhost::RunOptions options;
  options.progress = false;
  std::mt19937 random(1);  // the same kill moments in every soak
  std::uniform_int_distribution<int> killDelayMs(0, 2500);

  std::string expected;
  std::optional<Usage> baseline;
  int failures = 0, kills = 0, faultedRuns = 0;
  bool previousKilled = false;
  for (int cycle = 1; cycle <= cycles; ++cycle) {
    refhost::RunRecord record;
    const bool kill = killEvery > 0 && cycle % killEvery == 0;
    bool killed = false;
    {
      std::optional<OfficeKiller> killer;
      if (kill) killer.emplace(std::chrono::milliseconds(killDelayMs(random)));
      refhost::RunScenario(host, scenario, options, record);
      killed = killer && killer->Killed();
    }
    kills += killed;
    const std::string answers = Answers(record);
    if (record.failure) {
      if (killed) {
        ++faultedRuns;
      } else {
        ++failures;
        std::fprintf(stderr, "cycle %d failed%s: %s\n", cycle,
                     previousKilled ? " after a killed office" : "",
                     record.failure->message.c_str());
      }
    } else if (expected.empty()) {
      expected = answers;
    } else if (answers != expected) {
      ++failures;
      std::fprintf(stderr, "cycle %d ended well with other answers than cycle 1\n", cycle);
    }
    previousKilled = killed;
    if (cycle % reportEvery != 0) continue;
    const Usage usage = Measure(temp);
    std::printf("cycle %5d: rss %7ld kB, fds %3ld, threads %3ld, children %ld, temp entries %ld\n",
                cycle, usage[0], usage[1], usage[2], usage[3], usage[4]);
    std::fflush(stdout);
    if (!baseline) baseline = usage;
    for (std::size_t i = 0; i < usage.size(); ++i) {
      if (usage[i] - (*baseline)[i] <= (i == 0 ? maxGrowthKb : 0)) continue;
      ++failures;
      std::fprintf(stderr, "cycle %d: %s grew from %ld to %ld\n", cycle, kMeasures[i],
                   (*baseline)[i], usage[i]);
    }
  }
  std::printf("%d cycles, %d offices killed (%d runs failed for it), %d faults\n", cycles, kills,
              faultedRuns, failures);
  std::error_code ignored;
  fs::remove(workbook, ignored);
  fs::remove_all(temp, ignored);
  if (expected.empty()) {
    std::fprintf(stderr, "soak: no cycle ended well\n");
    return 1;
  }
  return failures == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  // A temporary folder that cannot be made, or a workbook that cannot be
  // copied, ends the soak with a message rather than an abort.
  try {
    return Soak(argc, argv);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "soak: %s\n", e.what());
    return 2;
  }
}
