// Everything one run produced, kept so the output files can be written
// whether the run completed or stopped at a failure.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "scenario/optimiser.h"
#include "scenario/records.h"

namespace refhost {

struct StreamSample {
  int timestep = 0;
  double date = 0;
  std::size_t stream = 0;  // index into RunRecord::streams
  StreamState state;
};

struct PublishedSample {
  int timestep = 0;
  double date = 0;
  std::string name, unit, value;
};

struct TrialRow {
  int timestep = 0;
  double date = 0;
  Trial trial;
  bool final = false;  // the best point, set again and solved once more
  double seconds = 0;  // wall time of the trial: its point set, solved and read
};

struct TimestepResult {
  int timestep = 0;
  double date = 0;
  bool optimised = false;
  OptimumResult optimum;
  std::optional<double> nextEvent;  // what GetNextEvent reported
  bool eventActed = false;          // the next timestep moved to it
};

struct RunFailure {
  std::string message;  // the library's status text or the host's own
  std::string command;  // "GetIPR"
  int code = 0;         // the command code, 0 when not a library call
  int timestep = -1;    // -1: before the first timestep
};

struct RunRecord {
  std::string library, mode, driverName, scenario, workbook;
  std::string office;  // the office's version, "25.2.3.2"
  double startDate = 0;
  int timesteps = 0;
  double stepDays = 0;
  std::vector<StreamInfo> streams;
  ProblemInfo problem;
  bool optimising = false;
  std::string method;
  std::vector<StreamSample> streamSamples;
  // The inputs sent in the latest solve, also when it did not finish: what
  // a failed run's office had been given.
  std::vector<StreamSample> sent;
  std::vector<PublishedSample> published;
  std::vector<TrialRow> trials;
  std::vector<TimestepResult> results;
  std::vector<std::string> notes;
  std::optional<RunFailure> failure;
  int interruptedBy = 0;  // the signal that stopped the run, or 0
};

}  // namespace refhost
