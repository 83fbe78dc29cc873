#include "scenario/optimiser.h"

#include <algorithm>
#include <cmath>
#include <exception>
#include <limits>
#include <stdexcept>

#include <nlopt.hpp>

namespace refhost {
namespace {

double Tolerance(double limit) {
  return 1e-6 * std::max(1.0, std::fabs(limit));
}

bool Better(const ProblemInfo& problem, const Evaluation& a, double violationA, const Evaluation& b,
            double violationB) {
  const bool feasibleA = violationA == 0, feasibleB = violationB == 0;
  if (feasibleA != feasibleB) return feasibleA;
  if (!feasibleA) return violationA < violationB;
  return problem.maximise ? a.objective > b.objective : a.objective < b.objective;
}

// Keeps the best trial and numbers the trials; evaluations of the same
// point (the objective and each constraint ask for it) are made once.
class Search {
 public:
  Search(const ProblemInfo& problem, const Evaluator& evaluate, const TrialSink& sink)
      : problem_(problem), evaluate_(evaluate), sink_(sink) {}

  const Evaluation& At(const TrialPoint& point) {
    if (hasLast_ && point.controls == last_.point.controls && point.states == last_.point.states)
      return last_.value;
    Trial trial;
    trial.number = ++count_;
    trial.point = point;
    trial.value = evaluate_(point);
    if (trial.value.constraints.size() != problem_.constraints.size())
      trial.value.constraints.resize(problem_.constraints.size(), kUndefined);
    const double violation = Violation(problem_, trial.value);
    trial.feasible = violation == 0;
    if (!hasBest_ || Better(problem_, trial.value, violation, best_.value, bestViolation_)) {
      best_ = trial;
      bestViolation_ = violation;
      hasBest_ = true;
    }
    sink_(trial);
    last_ = std::move(trial);
    hasLast_ = true;
    return last_.value;
  }

  int count() const { return count_; }
  bool hasBest() const { return hasBest_; }
  const Trial& best() const { return best_; }

 private:
  const ProblemInfo& problem_;
  const Evaluator& evaluate_;
  const TrialSink& sink_;
  int count_ = 0;
  bool hasLast_ = false, hasBest_ = false;
  Trial last_, best_;
  double bestViolation_ = 0;
};

struct Callback {
  Search* search;
  const std::vector<int>* states;
  std::size_t constraint;  // for constraint callbacks
  std::exception_ptr* failure;
};

TrialPoint Point(unsigned n, const double* x, const std::vector<int>& states) {
  return TrialPoint{std::vector<double>(x, x + n), states};
}

double ObjectiveCallback(unsigned n, const double* x, double*, void* data) {
  auto* c = static_cast<Callback*>(data);
  try {
    return c->search->At(Point(n, x, *c->states)).objective;
  } catch (...) {
    if (!*c->failure) *c->failure = std::current_exception();
    throw nlopt::forced_stop();
  }
}

// The raw value of one constraint at x.
double ConstraintCallback(unsigned n, const double* x, double*, void* data) {
  auto* c = static_cast<Callback*>(data);
  try {
    return c->search->At(Point(n, x, *c->states)).constraints[c->constraint];
  } catch (...) {
    if (!*c->failure) *c->failure = std::current_exception();
    throw nlopt::forced_stop();
  }
}

// Continuous search with the integer states fixed.
void SearchControls(const ProblemInfo& problem, const OptimisationSettings& settings, Method method,
                    const TrialPoint& start, Search& search) {
  const unsigned n = static_cast<unsigned>(problem.controls.size());
  nlopt::opt optimiser(method == Method::kBobyqa ? nlopt::LN_BOBYQA : nlopt::LN_COBYLA, n);
  std::vector<double> lower(n), upper(n), step(n), x = start.controls;
  for (unsigned i = 0; i < n; ++i) {
    const ControlInfo& c = problem.controls[i];
    lower[i] = c.lower.present ? c.lower.value : -HUGE_VAL;
    upper[i] = c.upper.present ? c.upper.value : HUGE_VAL;
    x[i] = std::clamp(x[i], lower[i], upper[i]);
    step[i] = c.lower.present && c.upper.present ? 0.25 * (upper[i] - lower[i])
                                                 : std::max(0.1 * std::fabs(x[i]), 1.0);
    if (!(step[i] > 0)) step[i] = 1.0;
  }
  optimiser.set_lower_bounds(lower);
  optimiser.set_upper_bounds(upper);
  optimiser.set_initial_step(step);
  optimiser.set_xtol_rel(settings.relativeTolerance);
  if (settings.objectiveTolerance > 0) optimiser.set_ftol_rel(settings.objectiveTolerance);
  optimiser.set_maxeval(settings.maxIterations);

  std::exception_ptr failure;
  Callback objective{&search, &start.states, 0, &failure};
  if (problem.maximise)
    optimiser.set_max_objective(ObjectiveCallback, &objective);
  else
    optimiser.set_min_objective(ObjectiveCallback, &objective);

  // Each constraint as g(x) <= 0 (or = 0), from the evaluation's raw value.
  struct Bound {
    Callback callback;
    double sign, limit;
  };
  std::vector<Bound> bounds(problem.constraints.size());
  const auto boundCallback = [](unsigned m, const double* x, double* grad, void* data) {
    auto* b = static_cast<Bound*>(data);
    return b->sign * (ConstraintCallback(m, x, grad, &b->callback) - b->limit);
  };
  for (std::size_t k = 0; k < problem.constraints.size(); ++k) {
    const ConstraintInfo& c = problem.constraints[k];
    bounds[k] = Bound{Callback{&search, &start.states, k, &failure},
                      c.type == ConstraintType::kGreater ? -1.0 : 1.0, c.limit};
    if (c.type == ConstraintType::kEqual)
      optimiser.add_equality_constraint(boundCallback, &bounds[k], Tolerance(c.limit));
    else
      optimiser.add_inequality_constraint(boundCallback, &bounds[k], Tolerance(c.limit));
  }
  double best = 0;
  try {
    optimiser.optimize(x, best);
  } catch (const nlopt::roundoff_limited&) {
    // Converged as far as doubles allow: the best trial stands.
  } catch (const nlopt::forced_stop&) {
  } catch (const std::runtime_error&) {
    if (!failure && !search.hasBest()) throw;
  }
  if (failure) std::rethrow_exception(failure);
}

}  // namespace

double Violation(const ProblemInfo& problem, const Evaluation& value) {
  double total = 0;
  for (std::size_t k = 0; k < problem.constraints.size(); ++k) {
    const ConstraintInfo& c = problem.constraints[k];
    const double v = k < value.constraints.size() ? value.constraints[k] : kUndefined;
    if (IsUndefined(v) || std::isnan(v)) return std::numeric_limits<double>::infinity();
    double excess = 0;
    switch (c.type) {
      case ConstraintType::kLess:
        excess = v - c.limit;
        break;
      case ConstraintType::kGreater:
        excess = c.limit - v;
        break;
      case ConstraintType::kEqual:
        excess = std::fabs(v - c.limit);
        break;
    }
    if (excess > Tolerance(c.limit)) total += excess;
  }
  return total;
}

Method ChooseMethod(const ProblemInfo& problem, const OptimisationSettings& settings) {
  if (settings.method != Method::kAuto) return settings.method;
  if (!problem.constraints.empty() || problem.controls.size() < 2) return Method::kCobyla;
  for (const ControlInfo& c : problem.controls)
    if (!c.lower.present || !c.upper.present) return Method::kCobyla;
  return Method::kBobyqa;
}

OptimumResult Optimise(const ProblemInfo& problem, const OptimisationSettings& settings,
                       const TrialPoint& start, const Evaluator& evaluate, const TrialSink& sink) {
  Search search(problem, evaluate, sink);
  OptimumResult result;
  const Method method = ChooseMethod(problem, settings);
  if (method == Method::kBobyqa && !problem.constraints.empty())
    throw std::invalid_argument("BOBYQA cannot honour constraints; use \"cobyla\" or \"auto\"");

  // Integer states to try: every combination when there are few enough.
  std::vector<std::vector<int>> combinations;
  long count = 1;
  bool enumerate = !problem.intControls.empty();
  for (const IntControlInfo& c : problem.intControls) {
    const long states = std::max<long>(1, static_cast<long>(c.labels.size()));
    if (count > settings.maxIntegerCombinations / states + 1) {
      count = settings.maxIntegerCombinations + 1;
      break;
    }
    count *= states;
  }
  if (enumerate && count > settings.maxIntegerCombinations) {
    result.note = "integer controls have more than " +
                  std::to_string(settings.maxIntegerCombinations) +
                  " state combinations; they stay at their current states";
    enumerate = false;
  }
  if (enumerate) {
    std::vector<int> states(problem.intControls.size(), 0);
    for (;;) {
      combinations.push_back(states);
      std::size_t i = 0;
      for (; i < states.size(); ++i) {
        if (++states[i] < static_cast<int>(problem.intControls[i].labels.size())) break;
        states[i] = 0;
      }
      if (i == states.size()) break;
    }
  } else {
    combinations.push_back(start.states);
  }

  for (const std::vector<int>& states : combinations) {
    TrialPoint from{start.controls, states};
    if (problem.controls.empty()) {
      (void)search.At(from);
    } else {
      SearchControls(problem, settings, method, from, search);
    }
  }
  result.method = problem.controls.empty()    ? (enumerate ? "enumeration" : "none")
                  : method == Method::kBobyqa ? "bobyqa"
                                              : "cobyla";
  if (search.hasBest()) {
    result.point = search.best().point;
    result.value = search.best().value;
    result.feasible = search.best().feasible;
  }
  result.evaluations = search.count();
  return result;
}

}  // namespace refhost
