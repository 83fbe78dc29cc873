// Runs for report pages made up in the test, so that a page can be checked
// without an office: a small one with every part of the page, and a large
// one for the benchmark.
#pragma once

#include <string>

#include "scenario/run_record.h"

namespace refhost {

// Markup that sets a marker on the page when it runs as code: a script
// block closed early, an image's error handler and the sheet name of the
// issue.
inline constexpr const char* kInjection =
    "</script><script>document.documentElement.dataset.injected='script'</script>"
    "<img src=x onerror=\"document.documentElement.dataset.injected='img'\">"
    "</script><script>alert(1)</script>";

inline std::size_t CountOf(const std::string& text, const std::string& what) {
  std::size_t n = 0;
  for (std::size_t at = 0; (at = text.find(what, at)) != std::string::npos; at += what.size())
    ++n;
  return n;
}

// Three timesteps of an input and an output stream (named `name`, as are
// the scenario, workbook, a note, the error, a published variable and a
// control), two of them optimised, failed at timestep 2 in GetIPR.
inline RunRecord ReportSampleRun(const std::string& name) {
  RunRecord run;
  run.scenario = name + ".json";
  run.workbook = name + ".fods";
  run.driverName = "Gridmoor";
  run.mode = "threaded";
  run.startDate = 45292;
  run.timesteps = 3;
  run.stepDays = 30;
  run.streams = {{0, false, "In-1", {}}, {1, true, name, {}}};
  run.problem.objectiveDefined = true;
  run.problem.objectiveName = "Oil";
  ControlInfo lift{name, "MMscf/d", {true, 0.0}, {true, 5.0}, 1};
  ControlInfo choke{"Choke", "", {true, 0.0}, {true, 1.0}, 2};
  run.problem.controls = {lift, choke};
  run.problem.constraints = {{"Gas", "MMscf/d", 10, ConstraintType::kLess, 3}};
  run.optimising = true;
  run.method = "cobyla";
  for (int t = 0; t < 3; ++t) {
    const double date = 45292.0 + 30 * t;
    StreamState in, out;
    in.scalars[3] = 2000;
    out.scalars[0] = 1000 + 100 * t;
    out.scalars[2] = 5;
    out.scalars[3] = 150;
    out.scalars[4] = 120;
    run.streamSamples.push_back({t, date, 0, in});
    run.streamSamples.push_back({t, date, 1, out});
    run.published.push_back({t, date, "Sep pressure", "psig", std::to_string(1.5 + t)});
    run.published.push_back({t, date, name, "", "open"});
    if (t == 2) break;
    const bool feasible[] = {t == 0, t != 0, true};
    for (int n = 1; n <= 3; ++n) {
      Trial trial;
      trial.number = n;
      trial.point.controls = {n == 3 ? 5.0 : 1.0 * n, 0.25};
      trial.value.objective = 900 + 10 * n + t;
      trial.value.constraints = {feasible[n - 1] ? 8.0 : 12.0};
      trial.feasible = feasible[n - 1];
      run.trials.push_back({t, date, trial, n == 3});
    }
    TimestepResult result;
    result.timestep = t;
    result.date = date;
    result.optimised = true;
    result.optimum.point.controls = {5.0, 0.25};
    result.optimum.value = run.trials.back().trial.value;
    result.optimum.feasible = true;
    result.optimum.evaluations = 2;
    run.results.push_back(result);
  }
  run.notes = {"added sheet '" + name + "'", "macro message: " + name};
  run.failure = RunFailure{"GetIPR failed: " + name, "GetIPR", 11, 2};
  return run;
}

}  // namespace refhost
