#include "progress.h"

#include <unistd.h>

#include <string>

#include "csv.h"

namespace refhost {

Progress::Progress(bool enabled, int timesteps, std::FILE* out)
    : enabled_(enabled), terminal_(isatty(fileno(out)) != 0), timesteps_(timesteps), out_(out) {}

namespace {

// "timestep 4 of 0-9": the index the host sends the driver and the table
// shows, with the range it runs over, so that nothing is counted from 1.
std::string TimestepOf(int t, int timesteps) {
  return "timestep " + std::to_string(t) + " of 0-" + std::to_string(timesteps - 1);
}

}  // namespace

std::string TimestepLine(int t, int timesteps, double date, const RunRecord& run) {
  std::string line = TimestepOf(t, timesteps) + " " + FormatIsoDate(date);
  for (const StreamSample& sample : run.streamSamples) {
    const StreamInfo& stream = run.streams[sample.stream];
    if (sample.timestep != t || !stream.output) continue;
    line += "  " + stream.name + " oil " + FormatNumber(sample.state.scalars[0]) + " gas " +
            FormatNumber(sample.state.scalars[2]);
  }
  if (!run.results.empty() && run.results.back().timestep == t && run.results.back().optimised) {
    const OptimumResult& o = run.results.back().optimum;
    line +=
        "  " +
        (run.problem.objectiveName.empty() ? std::string("objective") : run.problem.objectiveName) +
        " " + FormatNumber(o.value.objective);
    if (o.evaluations > 0) line += " (" + std::to_string(o.evaluations) + " trials)";
    if (!o.feasible) line += " INFEASIBLE";
  }
  return line;
}

void Progress::Trial(int t, int number) {
  if (!enabled_ || !terminal_) return;
  std::fprintf(out_, "\r\033[K%s  trial %d", TimestepOf(t, timesteps_).c_str(), number);
  std::fflush(out_);
  open_ = true;
}

void Progress::Done(int t, double date, const RunRecord& run) {
  if (!enabled_) return;
  const std::string line = TimestepLine(t, timesteps_, date, run);
  if (terminal_) {
    const int width = 30, filled = timesteps_ > 0 ? width * (t + 1) / timesteps_ : width;
    std::string bar(static_cast<std::size_t>(filled), '#');
    bar.resize(width, '.');
    // The bar counts timesteps done, which is one more than the index.
    std::fprintf(out_, "\r\033[K%s\n[%s] %d of %d done", line.c_str(), bar.c_str(), t + 1,
                 timesteps_);
    open_ = true;
  } else {
    std::fprintf(out_, "%s\n", line.c_str());
  }
  std::fflush(out_);
}

void Progress::Finish() {
  if (open_) std::fprintf(out_, "\r\033[K");
  open_ = false;
  std::fflush(out_);
}

}  // namespace refhost
