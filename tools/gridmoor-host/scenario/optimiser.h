// The host's optimiser over the workbook: continuous controls searched by a
// derivative-free method (COBYLA when there are constraints or a control
// lacks a bound, BOBYQA otherwise), integer controls enumerated over their
// states when the combinations are few.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "outcome/outcome.h"
#include "scenario/records.h"
#include "scenario/scenario.h"

namespace refhost {

struct Evaluation {
  double objective = 0;
  std::vector<double> constraints;  // one per constraint of the problem
};

// One trial point: continuous control values and integer control states.
struct TrialPoint {
  std::vector<double> controls;
  std::vector<int> states;
};

struct Trial {
  int number = 0;  // 1, 2, ... over the whole optimisation
  TrialPoint point;
  Evaluation value;
  bool feasible = false;
};

struct OptimumResult {
  TrialPoint point;
  Evaluation value;
  bool feasible = false;
  int evaluations = 0;
  std::string method;  // "cobyla", "bobyqa", "enumeration" or "none"
  std::string note;    // what the host should tell the user, if anything
};

// Evaluates one trial point; an error ends the optimisation, and Optimise
// gives it back as its own.
using Evaluator = std::function<outcome::Expected<Evaluation>(const TrialPoint&)>;
using TrialSink = std::function<void(const Trial&)>;

// Total constraint violation of `value` (0 when every constraint holds
// within its tolerance).
double Violation(const ProblemInfo& problem, const Evaluation& value);

// The method chosen for the continuous controls.
Method ChooseMethod(const ProblemInfo& problem, const OptimisationSettings& settings);

// Searches from `start`; every evaluation is reported to `sink`. The best
// trial is the best feasible one, or the least violating one when none is.
// An error when the method cannot honour the problem, when an evaluation
// failed (its error), or when the search failed before any trial.
outcome::Expected<OptimumResult> Optimise(const ProblemInfo& problem,
                                          const OptimisationSettings& settings,
                                          const TrialPoint& start, const Evaluator& evaluate,
                                          const TrialSink& sink);

}  // namespace refhost
