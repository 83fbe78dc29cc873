// Progress on stderr: a line per timestep, or a bar redrawn in place when
// stderr is a terminal.
#pragma once

#include <cstdio>

#include "run_record.h"

namespace refhost {

class Progress {
 public:
  Progress(bool enabled, int timesteps, std::FILE* out = stderr);
  // A trial of the optimiser within timestep t (shown on terminals only).
  void Trial(int t, int number);
  // Timestep t at `date` is done; `run` holds its results.
  void Done(int t, double date, const RunRecord& run);
  void Finish();

 private:
  bool enabled_, terminal_, open_ = false;
  int timesteps_;
  std::FILE* out_;
};

// The line reported for a finished timestep ("timestep 0 of 0-2 2024-01-01
// ..."): timesteps are numbered from 0, as in the table and the driver.
std::string TimestepLine(int t, int timesteps, double date, const RunRecord& run);

}  // namespace refhost
