#include "running/progress.h"

#include <unistd.h>

#include <chrono>
#include <cmath>
#include <string>

#include "common/csv.h"

namespace refhost {

namespace {

// "timestep 4 (5 of 10)": the index the host sends the driver and the
// table shows, and how far along the run that is.
std::string TimestepOf(int t, int timesteps) {
  return "timestep " + std::to_string(t) + " (" + std::to_string(t + 1) + " of " +
         std::to_string(timesteps) + ")";
}

double SteadySeconds() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

}  // namespace

Progress::Progress(bool enabled, int timesteps, std::FILE* out, Clock clock)
    : enabled_(enabled),
      terminal_(isatty(fileno(out)) != 0),
      timesteps_(timesteps),
      out_(out),
      clock_(clock ? std::move(clock) : Clock(SteadySeconds)),
      started_(clock_()) {}

std::string TimestepLine(int t, int timesteps, double date, const RunRecord& run) {
  std::string line = TimestepOf(t, timesteps) + " " + FormatIsoDate(date);
  for (const StreamSample& sample : run.streamSamples) {
    const StreamInfo& stream = run.streams[sample.stream];
    if (sample.timestep != t || !stream.output) continue;
    line += "  " + stream.name + " oil " + ReadableNumber(sample.state.scalars[0]) + " gas " +
            ReadableNumber(sample.state.scalars[2]);
  }
  if (!run.results.empty() && run.results.back().timestep == t && run.results.back().optimised) {
    const OptimumResult& o = run.results.back().optimum;
    line +=
        "  " +
        (run.problem.objectiveName.empty() ? std::string("objective") : run.problem.objectiveName) +
        " " + ReadableNumber(o.value.objective);
    if (o.evaluations > 0) line += " (" + std::to_string(o.evaluations) + " trials)";
    if (!o.feasible) line += " INFEASIBLE";
  }
  return line;
}

std::string Duration(double seconds) {
  const long total = seconds > 0 ? std::lround(seconds) : 0;
  const long h = total / 3600, m = total / 60 % 60, s = total % 60;
  char text[40];
  if (h > 0)
    std::snprintf(text, sizeof text, "%ld:%02ld:%02ld", h, m, s);
  else
    std::snprintf(text, sizeof text, "%ld:%02ld", m, s);
  return text;
}

std::string ProgressLine(int done, int timesteps, int t, int trial, double elapsed) {
  const int width = 30, filled = timesteps > 0 ? width * done / timesteps : width;
  std::string bar(static_cast<std::size_t>(filled), '#');
  bar.resize(width, '.');
  std::string line =
      "[" + bar + "] " + std::to_string(done) + " of " + std::to_string(timesteps) + " done";
  if (done < timesteps) line += "  " + TimestepOf(t, timesteps);
  if (trial > 0) line += "  trial " + std::to_string(trial);
  line += "  elapsed " + Duration(elapsed);
  if (done < timesteps)
    line += done > 0 ? "  left ~" + Duration(elapsed / done * (timesteps - done)) : "  left ?";
  return line;
}

void Progress::Redraw() {
  std::fprintf(out_, "\r\033[K%s",
               ProgressLine(done_, timesteps_, current_, trial_, clock_() - started_).c_str());
  std::fflush(out_);
  open_ = true;
}

void Progress::Trial(int t, int number) {
  if (!enabled_ || !terminal_) return;
  current_ = t;
  trial_ = number;
  Redraw();
}

void Progress::Done(int t, double date, const RunRecord& run) {
  if (!enabled_) return;
  if (terminal_) {
    // Counts timesteps done, which is one more than the index.
    done_ = t + 1;
    current_ = t + 1;
    trial_ = 0;
    Redraw();
    return;
  }
  std::fprintf(out_, "%s\n", TimestepLine(t, timesteps_, date, run).c_str());
  std::fflush(out_);
}

void Progress::StartingOffice(bool kept) {
  kept_ = kept;
  if (!enabled_) return;
  std::fprintf(out_, kept ? "attaching to the kept office…\n" : "starting the office…\n");
  std::fflush(out_);
  started_ = clock_();
}

void Progress::OfficeUp() {
  if (!enabled_) return;
  const double now = clock_();
  std::fprintf(out_, "%s after %s\n", kept_ ? "attached" : "office up",
               Duration(now - started_).c_str());
  std::fflush(out_);
  started_ = now;
}

void Progress::Finish() {
  if (open_) std::fprintf(out_, "\r\033[K");
  open_ = false;
  std::fflush(out_);
}

}  // namespace refhost
