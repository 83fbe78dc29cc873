// Progress on stderr: a line per timestep, or one line rewritten in place
// when stderr is a terminal.
#pragma once

#include <cstdio>
#include <functional>
#include <string>

#include "scenario/run_record.h"

namespace refhost {

class Progress {
 public:
  // Seconds since some fixed point; the steady clock unless a test gives one.
  using Clock = std::function<double()>;

  Progress(bool enabled, int timesteps, std::FILE* out = stderr, Clock clock = {});
  // A trial of the optimiser within timestep t (shown on terminals only).
  void Trial(int t, int number);
  // Timestep t at `date` is done; `run` holds its results.
  void Done(int t, double date, const RunRecord& run);
  void Finish();
  // The office is being started, or a kept one (`kept`) attached to: said
  // at once, as that can take a while.
  void StartingOffice(bool kept = false);
  // The office is up: said with how long it took; the time left is
  // estimated from the timesteps alone, from here on.
  void OfficeUp();

 private:
  void Redraw();

  bool enabled_, terminal_, open_ = false, kept_ = false;
  int timesteps_;
  std::FILE* out_;
  Clock clock_;
  double started_ = 0;
  int done_ = 0, current_ = 0, trial_ = 0;
};

// The line reported for a finished timestep ("timestep 0 (1 of 3)
// 2024-01-01 ..."): the index is the one the table, the output files and
// the driver use, counted from 0; the ordinal beside it counts from 1.
std::string TimestepLine(int t, int timesteps, double date, const RunRecord& run);

// The terminal's progress line: "[#####.....] 3 of 10 done  timestep 3 (4
// of 10)  trial 17  elapsed 0:12  left ~0:28". `trial` 0 leaves the trial out;
// the time left is the mean time per timestep so far times those left.
std::string ProgressLine(int done, int timesteps, int t, int trial, double elapsed);

// "0:07", "12:30", "1:02:03".
std::string Duration(double seconds);

}  // namespace refhost
