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
// point (the objective and each constraint ask for it) are made once. The
// first evaluation that fails ends the search: its error is kept.
class Search {
 public:
  Search(const ProblemInfo& problem, const Evaluator& evaluate, const TrialSink& sink)
      : problem_(problem), evaluate_(evaluate), sink_(sink) {}

  // The evaluation at `point`; null once an evaluation has failed.
  const Evaluation* At(const TrialPoint& point) {
    if (failure_) return nullptr;
    if (hasLast_ && point.controls == last_.point.controls && point.states == last_.point.states)
      return &last_.value;
    outcome::Expected<Evaluation> value = evaluate_(point);
    if (!value) {
      failure_ = value.TakeError();
      return nullptr;
    }
    Trial trial;
    trial.number = ++count_;
    trial.point = point;
    trial.value = std::move(*value);
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
    return &last_.value;
  }

  bool Failed() const { return static_cast<bool>(failure_); }
  // The failed evaluation's error; a success when none failed.
  outcome::Error TakeFailure() {
    return failure_ ? std::move(failure_) : outcome::Error::Success();
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
  outcome::Error failure_;
};

struct Callback {
  Search* search;
  const std::vector<int>* states;
  std::size_t constraint;  // for constraint callbacks
  nlopt::opt* optimiser;
};

TrialPoint Point(unsigned n, const double* x, const std::vector<int>& states) {
  return TrialPoint{std::vector<double>(x, x + n), states};
}

// After a failed evaluation: NLopt's own way to end a search from inside
// it, after which its optimize() ends with nlopt::forced_stop.
double StopSearch(nlopt::opt& optimiser) {
  optimiser.force_stop();
  return HUGE_VAL;
}

double ObjectiveCallback(unsigned n, const double* x, double*, void* data) {
  auto* c = static_cast<Callback*>(data);
  const Evaluation* value = c->search->At(Point(n, x, *c->states));
  return value != nullptr ? value->objective : StopSearch(*c->optimiser);
}

// The raw value of one constraint at x.
double ConstraintCallback(unsigned n, const double* x, double*, void* data) {
  auto* c = static_cast<Callback*>(data);
  const Evaluation* value = c->search->At(Point(n, x, *c->states));
  return value != nullptr ? value->constraints[c->constraint] : StopSearch(*c->optimiser);
}

// Continuous search with the integer states fixed, through NLopt's C++
// interface, which says every end but a normal one by an exception.
void RunNlopt(const ProblemInfo& problem, const OptimisationSettings& settings, Method method,
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

  Callback objective{&search, &start.states, 0, &optimiser};
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
    bounds[k] = Bound{Callback{&search, &start.states, k, &optimiser},
                      c.type == ConstraintType::kGreater ? -1.0 : 1.0, c.limit};
    if (c.type == ConstraintType::kEqual)
      optimiser.add_equality_constraint(boundCallback, &bounds[k], Tolerance(c.limit));
    else
      optimiser.add_inequality_constraint(boundCallback, &bounds[k], Tolerance(c.limit));
  }
  double best = 0;
  optimiser.optimize(x, best);
}

outcome::Error InternalError(const std::exception& e) {
  return outcome::Error::Failed(std::string("internal error: ") + e.what());
}

// The continuous search; an error when an evaluation failed, or when NLopt
// failed with no trial to stand for the search.
outcome::Error SearchControls(const ProblemInfo& problem, const OptimisationSettings& settings,
                              Method method, const TrialPoint& start, Search& search) {
  try {
    RunNlopt(problem, settings, method, start, search);
  } catch (const nlopt::roundoff_limited&) {
    // Converged as far as doubles allow: the best trial stands.
  } catch (const nlopt::forced_stop&) {
    // Stopped after a failed evaluation, whose error the search keeps.
  } catch (const std::runtime_error& e) {
    // NLopt's own failure: the best trial so far stands for the search.
    if (!search.Failed() && !search.hasBest()) return InternalError(e);
  } catch (const std::exception& e) {
    // Arguments NLopt refuses, or no memory: a failed evaluation before it is the cause.
    if (!search.Failed()) return InternalError(e);
  }
  return search.TakeFailure();
}

// The integer states to try: every combination when there are few enough,
// else the start's with a note saying so.
struct StatePlan {
  std::vector<std::vector<int>> combinations;
  bool enumerated = false;
  std::string note;
};

StatePlan PlanStates(const ProblemInfo& problem, const OptimisationSettings& settings,
                     const TrialPoint& start) {
  StatePlan plan;
  long count = 1;
  plan.enumerated = !problem.intControls.empty();
  for (const IntControlInfo& c : problem.intControls) {
    const long states = std::max<long>(1, static_cast<long>(c.labels.size()));
    if (count > settings.maxIntegerCombinations / states + 1) {
      count = settings.maxIntegerCombinations + 1;
      break;
    }
    count *= states;
  }
  if (plan.enumerated && count > settings.maxIntegerCombinations) {
    plan.note = "integer controls have more than " +
                std::to_string(settings.maxIntegerCombinations) +
                " state combinations; they stay at their current states";
    plan.enumerated = false;
  }
  if (!plan.enumerated) {
    plan.combinations.push_back(start.states);
    return plan;
  }
  std::vector<int> states(problem.intControls.size(), 0);
  for (;;) {
    plan.combinations.push_back(states);
    std::size_t i = 0;
    for (; i < states.size(); ++i) {
      if (++states[i] < static_cast<int>(problem.intControls[i].labels.size())) break;
      states[i] = 0;
    }
    if (i == states.size()) return plan;
  }
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

outcome::Expected<OptimumResult> Optimise(const ProblemInfo& problem,
                                          const OptimisationSettings& settings,
                                          const TrialPoint& start, const Evaluator& evaluate,
                                          const TrialSink& sink) {
  const Method method = ChooseMethod(problem, settings);
  if (method == Method::kBobyqa && !problem.constraints.empty())
    return outcome::Error::Failed("BOBYQA cannot honour constraints; use \"cobyla\" or \"auto\"");
  Search search(problem, evaluate, sink);
  const StatePlan plan = PlanStates(problem, settings, start);
  for (const std::vector<int>& states : plan.combinations) {
    TrialPoint from{start.controls, states};
    if (problem.controls.empty()) {
      if (search.At(from) == nullptr) return search.TakeFailure();
    } else if (outcome::Error failed = SearchControls(problem, settings, method, from, search)) {
      return failed;
    }
  }
  OptimumResult result;
  result.note = plan.note;
  result.method = problem.controls.empty()    ? (plan.enumerated ? "enumeration" : "none")
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
