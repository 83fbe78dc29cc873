// What the optimiser and the driver tell each other, as plain values: the
// problem the workbook offers, the value of one item, the integer controls
// the host means to use. The driver's edge turns these into the host's
// records and back; the operations see only these.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "outcome/outcome.h"

namespace casedata {

// The value of "no value": what a failed read gives the host.
inline constexpr double kUndefinedValue = 3.4e35;
// The optimiser takes at most this many items of each kind.
inline constexpr std::size_t kMaxProblemItems = 100;
// At most this many integer controls are checked at once.
inline constexpr std::int32_t kMaxCheckedIntegerControls = 100;

// How a constraint's limit binds, as the host numbers it.
enum class ConstraintSense : std::int32_t { kLess = 0, kEqual = 1, kGreater = 2 };

// The problem as the host learns it. Handles are positions in each kind's
// list; the lists hold at most kMaxProblemItems entries.
struct OptimisationProblem {
  struct Objective {
    bool defined = false;
    std::string name;
    std::string unit;
    bool maximise = false;
  };
  struct Constraint {
    std::string name;
    std::string unit;
    double limit = kUndefinedValue;
    ConstraintSense sense = ConstraintSense::kEqual;
    std::int32_t handle = 0;
  };
  struct Control {
    std::string name;
    std::string unit;
    // The bounds go to the host even when absent; the flags say which count.
    bool hasLower = false;
    double lower = kUndefinedValue;
    bool hasUpper = false;
    double upper = kUndefinedValue;
    std::int32_t handle = 0;
  };
  struct IntegerControl {
    std::string name;
    std::int32_t handle = 0;
    std::vector<std::string> stateLabels;  // one per state in use
  };

  Objective objective;
  std::vector<Constraint> constraints;
  std::vector<Control> controls;
  std::vector<IntegerControl> integerControls;
  // Said to the host although the set-up succeeds: which items were left
  // out. Empty when all fit.
  std::string notice;
};

// One item's value as the host reads or sets it.
struct ItemValue {
  std::int32_t handle = -1;
  double value = kUndefinedValue;
};

// What a read gives the host's value record: a number (the undefined value
// for a cell that could not be read), or none to leave the record's number
// as it was; with the failure, if any.
using ItemReading = outcome::Partial<std::optional<double>>;

// The integer controls the host is about to use. Only as many handles as
// the count names are read, and none for a count over the maximum.
struct IntegerControlList {
  std::int32_t count = 0;
  std::vector<std::int32_t> handles;
};

// Which kinds ClearOptimisation empties.
struct ClearMask {
  static constexpr std::int32_t kObjective = 1;
  static constexpr std::int32_t kConstraints = 2;
  static constexpr std::int32_t kControls = 4;
  static constexpr std::int32_t kIntegerControls = 8;
};

}  // namespace casedata
