#include "running/run_many.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <ostream>
#include <thread>

#include "common/files.h"
#include "common/interrupt.h"
#include "report/report_page.h"
#include "results/many.h"
#include "results/outputs.h"
#include "results/varied.h"
#include "running/progress_events.h"

namespace refhost {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

struct Child {
  std::size_t scenario = 0;
  std::size_t slot = 0;
  pid_t pid = -1;
  Clock::time_point started;
  std::optional<EventRelay> events;  // with --progress json
};

// This process's environment with the child's office: `pipe`, or none
// inherited when the child is to start its own.
std::vector<std::string> ChildEnvironment(const std::string& pipe) {
  std::vector<std::string> environment;
  const std::string prefix = std::string(kOfficePipeVariable) + "=";
  for (char** entry = environ; *entry != nullptr; ++entry)
    if (std::strncmp(*entry, prefix.c_str(), prefix.size()) != 0) environment.emplace_back(*entry);
  if (!pipe.empty()) environment.push_back(prefix + pipe);
  return environment;
}

std::vector<char*> Pointers(const std::vector<std::string>& texts) {
  std::vector<char*> pointers;
  for (const std::string& text : texts)
    pointers.push_back(const_cast<char*>(text.c_str()));
  pointers.push_back(nullptr);
  return pointers;
}

int OpenForOutput(const fs::path& file) {
  return ::open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
}

// Starts one child; its output goes to its folder. Its process id, or why
// it cannot be started.
outcome::Expected<pid_t> Start(const std::vector<std::string>& arguments, const std::string& pipe,
                               const fs::path& folder) {
  const int out = OpenForOutput(folder / kStdoutFile), err = OpenForOutput(folder / kStderrFile);
  if (out < 0 || err < 0) {
    const std::string why = std::strerror(errno);
    if (out >= 0) ::close(out);
    if (err >= 0) ::close(err);
    return outcome::Error::Failed("cannot write to " + folder.string() + ": " + why);
  }
  // Made before the fork: the child of a threaded process may not allocate.
  const std::vector<std::string> environment = ChildEnvironment(pipe);
  std::vector<char*> argv = Pointers(arguments), envp = Pointers(environment);
  const pid_t parent = ::getpid();
  const pid_t pid = ::fork();
  if (pid == 0) {
    // A child outlives no parent: if this program dies at once, each child
    // is asked to wind down, and its office dies with it.
    ::prctl(PR_SET_PDEATHSIG, SIGTERM);
    if (::getppid() != parent) ::_exit(128 + SIGTERM);
    // Its own group: a Ctrl-C at the terminal reaches this program only,
    // which passes it on once.
    ::setpgid(0, 0);
    ::dup2(out, STDOUT_FILENO);
    ::dup2(err, STDERR_FILENO);
    ::execve(argv[0], argv.data(), envp.data());
    const std::string why =
        "gridmoor-host: cannot start " + arguments[0] + ": " + std::strerror(errno) + "\n";
    [[maybe_unused]] const ssize_t written = ::write(STDERR_FILENO, why.data(), why.size());
    ::_exit(127);
  }
  const int code = errno;
  ::close(out);
  ::close(err);
  if (pid < 0)
    return outcome::Error::Failed(std::string("cannot start a process: ") + std::strerror(code));
  return pid;
}

OutcomeRecord NotStarted(const std::string& why) {
  OutcomeRecord r;
  r.message = "not started: " + why;
  return r;
}

// "ok", "failed", "interrupted", or "not run" for one never started.
std::string OutcomeStatus(const ScenarioOutcome& outcome) {
  if (outcome.passed()) return "ok";
  if (!outcome.exitStatus) return "not run";
  return *outcome.exitStatus == 128 + SIGINT || *outcome.exitStatus == 128 + SIGTERM ? "interrupted"
                                                                                     : "failed";
}

OutcomeRecord Ended(int raw, Clock::time_point started) {
  OutcomeRecord r;
  r.exitStatus = WIFEXITED(raw) ? WEXITSTATUS(raw) : WIFSIGNALED(raw) ? 128 + WTERMSIG(raw) : 1;
  const double seconds = std::chrono::duration<double>(Clock::now() - started).count();
  r.wallSeconds = std::round(seconds * 1000) / 1000;
  return r;
}

// Files an earlier run left in a folder that this run may not write again.
void ClearEarlierRun(const fs::path& folder) {
  std::error_code ec;
  fs::remove(folder / kOutcomeFile, ec);
  for (const std::string& name : OutputFileNames())
    fs::remove(folder / name, ec);
  fs::remove(folder / kReportFile, ec);
}

}  // namespace

std::vector<std::string> ChildArguments(const RunManyOptions& options, const fs::path& scenario,
                                        const fs::path& folder) {
  std::vector<std::string> arguments{options.program.string()};
  arguments.insert(arguments.end(), options.programOptions.begin(), options.programOptions.end());
  for (const std::string& a :
       {std::string("run"), scenario.string(), std::string("--out"), folder.string(),
        std::string("--quiet"), std::string("--work-on-copies")})
    arguments.push_back(a);
  if (options.save) arguments.push_back("--save");
  if (options.report) arguments.push_back("--report");
  if (options.jsonProgress)
    arguments.insert(arguments.end(), {std::string("--progress"), std::string("json")});
  return arguments;
}

namespace {

// The scenarios of one run-many: started as slots free up, recorded as they
// end, all stopped on a signal.
class ManyRuns {
 public:
  ManyRuns(const RunManyOptions& options, std::ostream& out, std::ostream& err,
           ProgressEvents* events)
      : options_(options), out_(out), err_(err), events_(events), count_(options.scenarios.size()) {
    const std::vector<std::string> names = ScenarioNames(options.scenarios);
    for (std::size_t i = 0; i < count_; ++i) {
      names_.push_back(names[i]);
      nameWidth_ = std::max(nameWidth_, names[i].size());
      folders_.push_back(fs::absolute(options.out / names[i]));
      files_.push_back(fs::absolute(options.scenarios[i]));
    }
  }

  // Every scenario run or recorded as not started; the signal that stopped
  // them (0 when none did).
  int RunAll(int jobs) {
    slots_ = std::min<std::size_t>(static_cast<std::size_t>(jobs), count_);
    offices_ = options_.offices ? options_.offices(slots_) : nullptr;
    busy_.assign(slots_, false);
    ArmInterrupt(true);
    while (next_ < count_ || !running_.empty()) {
      if (signal_ == 0 && (signal_ = InterruptSignal()) != 0) StopAll();
      if (signal_ != 0 && Clock::now() > killAt_) {
        for (const Child& c : running_)
          ::kill(c.pid, SIGKILL);  // its office dies with it
        killAt_ = Clock::time_point::max();
      }
      if (signal_ == 0 && next_ < count_ && running_.size() < slots_ && StartNext()) continue;
      if (!ReapEnded()) std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    ArmInterrupt(false);
    return signal_;
  }

  std::vector<ScenarioOutcome> Outcomes() const {
    std::vector<ScenarioOutcome> outcomes;
    for (std::size_t i = 0; i < count_; ++i) {
      ScenarioOutcome outcome;
      if (ReadOutcome(folders_[i], outcome)) outcomes.push_back(outcome);
    }
    return outcomes;
  }

 private:
  void Record(std::size_t i, OutcomeRecord r) {
    r.scenario = files_[i].string();
    r.index = static_cast<long>(i);
    if (const outcome::Error unwritten = WriteOutcomeRecord(folders_[i], r))
      err_ << "gridmoor-host: " << unwritten.Message() << "\n";
    ScenarioOutcome outcome;
    if (!ReadOutcome(folders_[i], outcome)) outcome.name = names_[i];
    const std::string total = std::to_string(count_), done = std::to_string(++finished_);
    if (events_ == nullptr) {
      // Zero-padded, so that the columns after it align (and the count stays
      // one word for programs that read these lines).
      out_ << "[" << std::string(total.size() - done.size(), '0') << done << "/" << total << "] "
           << OutcomeLine(outcome, nameWidth_) << std::endl;
      return;
    }
    nlohmann::json fields{
        {"name", names_[i]},          {"index", i},        {"status", OutcomeStatus(outcome)},
        {"message", outcome.message}, {"done", finished_}, {"total", count_}};
    if (outcome.exitStatus) fields["exitStatus"] = *outcome.exitStatus;
    if (outcome.objective) fields["objective"] = *outcome.objective;
    events_->Emit("scenario-finished", std::move(fields));
  }

  // The signal passed on to every run, and the scenarios not yet started
  // recorded as such.
  void StopAll() {
    InterruptTaken();
    if (events_ != nullptr) events_->Emit("interrupted", {{"signal", SignalName(signal_)}});
    for (const Child& c : running_)
      ::kill(c.pid, signal_);
    killAt_ = Clock::now() + std::chrono::seconds(options_.graceSeconds);
    for (; next_ < count_; ++next_) {
      std::error_code ec;
      fs::create_directories(folders_[next_], ec);
      ClearEarlierRun(folders_[next_]);
      Record(next_, NotStarted("interrupted by " + SignalName(signal_)));
    }
  }

  // A free slot whose office (if warm) is ready, and its pipe.
  std::optional<std::pair<std::size_t, std::string>> FreeSlot() {
    for (std::size_t slot = 0; slot < slots_; ++slot) {
      if (busy_[slot]) continue;
      if (!offices_) return std::pair{slot, std::string()};
      if (std::optional<std::string> pipe = offices_->Ready(slot)) return std::pair{slot, *pipe};
    }
    return std::nullopt;
  }

  // The next scenario started in a free slot; false when none is free.
  bool StartNext() {
    const auto slot = FreeSlot();
    if (!slot) return false;
    const std::size_t i = next_++;
    std::error_code ec;
    fs::create_directories(folders_[i], ec);
    ClearEarlierRun(folders_[i]);
    outcome::Expected<pid_t> pid =
        ec ? outcome::Error::Failed("cannot create " + folders_[i].string() + ": " + ec.message())
           : Start(ChildArguments(options_, files_[i], folders_[i]), slot->second, folders_[i]);
    if (!pid) {
      Record(i, NotStarted(pid.GetError().Message()));
    } else {
      running_.push_back({i, slot->first, *pid, Clock::now(), std::nullopt});
      if (events_ != nullptr) {
        events_->Emit("scenario-started", {{"name", names_[i]}, {"index", i}});
        running_.back().events.emplace(folders_[i] / kStdoutFile, names_[i], i);
      }
      busy_[slot->first] = true;
    }
    return true;
  }

  // The runs that ended recorded and their slots freed; whether any had.
  bool ReapEnded() {
    bool reaped = false;
    for (auto c = running_.begin(); c != running_.end();) {
      int raw = 0;
      const bool ended = ::waitpid(c->pid, &raw, WNOHANG) == c->pid;
      if (c->events) c->events->Forward(*events_);
      if (!ended) {
        ++c;
        continue;
      }
      const OutcomeRecord outcome = Ended(raw, c->started);
      Record(c->scenario, outcome);
      busy_[c->slot] = false;
      // Once interrupted, no office is made ready again.
      if (offices_ && signal_ == 0) offices_->Release(c->slot, outcome.exitStatus == 0);
      c = running_.erase(c);
      reaped = true;
    }
    return reaped;
  }

  const RunManyOptions& options_;
  std::ostream& out_;
  std::ostream& err_;
  ProgressEvents* events_;
  const std::size_t count_;
  std::vector<std::string> names_;
  std::size_t nameWidth_ = 0;  // the longest name: the lines' columns align
  std::vector<fs::path> folders_, files_;
  std::size_t slots_ = 0;
  std::unique_ptr<OfficePool> offices_;
  std::vector<bool> busy_;
  std::vector<Child> running_;
  std::size_t next_ = 0, finished_ = 0;
  int signal_ = 0;
  Clock::time_point killAt_{};
};

}  // namespace

namespace {

// Every file run-many writes over all scenarios, tried before any starts.
outcome::Error CheckManyOutputs(const RunManyOptions& options) {
  std::vector<std::string> written{"summary.csv", "summary.json"};
  if (options.report) written.push_back(kReportFile);
  if (outcome::Error unwritable = CheckOutputFolder(options.out, written)) return unwritable;
  if (outcome::Error slip = CheckNamedPaths(options.scenarios, options.vary)) return slip;
  if (!options.report) return outcome::Error::Success();
  outcome::Expected<std::string> chartJs = ReadChartJs();
  return chartJs ? outcome::Error::Success() : chartJs.TakeError();
}

// summary.csv, summary.json and the report over all scenarios.
outcome::Error WriteManySummary(const RunManyOptions& options,
                                const std::vector<ScenarioOutcome>& outcomes) {
  if (outcome::Error unwritten = WriteSummary(outcomes, options.out)) return unwritten;
  if (!options.report) return outcome::Error::Success();
  return WriteManyReport(outcomes, options.out);
}

// 128 + the signal when one stopped the runs, else 0 when every scenario
// passed and the summary was written, else 1.
int ManyStatus(int signal, const outcome::Error& unsummarised,
               const std::vector<ScenarioOutcome>& outcomes, std::size_t count) {
  if (signal != 0) return 128 + signal;
  if (unsummarised) return 1;
  const bool all = std::all_of(outcomes.begin(), outcomes.end(),
                               [](const ScenarioOutcome& o) { return o.passed(); });
  return all && outcomes.size() == count ? 0 : 1;
}

}  // namespace

int RunMany(const RunManyOptions& options, std::ostream& out, std::ostream& err) {
  if (const outcome::Error unready = CheckManyOutputs(options)) {
    err << "gridmoor-host: " << unready.Message() << "\n";
    return 1;
  }
  const std::size_t count = options.scenarios.size();
  const int jobs = options.jobs > 0 ? options.jobs : DefaultJobs();
  err << "gridmoor-host: " << count << (count == 1 ? " scenario, " : " scenarios, ") << jobs
      << " at a time, into " << fs::absolute(options.out).string() << "; starting the offices…\n";
  std::optional<ProgressEvents> events;
  if (options.jsonProgress) {
    events.emplace(out);
    events->Emit("started", {{"scenarios", count}, {"jobs", jobs}});
  }
  ManyRuns runs(options, out, err, events ? &*events : nullptr);
  const int signal = runs.RunAll(jobs);
  std::vector<ScenarioOutcome> outcomes = runs.Outcomes();
  FindVariedValues(outcomes, options.vary);
  // The summary is named only once it is there.
  const outcome::Error unsummarised = WriteManySummary(options, outcomes);
  const int status = ManyStatus(signal, unsummarised, outcomes, count);
  if (events)
    events->Emit("finished", {{"status", signal != 0   ? "interrupted"
                                         : status == 0 ? "ok"
                                                       : "failed"},
                              {"exitStatus", status}});
  else
    out << TotalsLine(outcomes)
        << (unsummarised ? ""
                         : "; summary in " + (fs::absolute(options.out) / "summary.csv").string())
        << std::endl;
  if (unsummarised) {
    err << "gridmoor-host: " << unsummarised.Message() << "\n";
  } else if (signal != 0) {
    err << "gridmoor-host: interrupted by " << SignalName(signal)
        << "; every run was stopped and the summary written\n";
  }
  if (!unsummarised && options.report && !events)
    out << "report: " << (fs::absolute(options.out) / kReportFile).string() << "\n";
  return status;
}

}  // namespace refhost
