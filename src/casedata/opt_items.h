// The items of the optimisation problem a workbook offers the host: one
// objective, constraints, continuous controls and integer controls, each
// bound to a worksheet cell. The host refers to an item by its zero-based
// position in the model's list of its kind.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "automation/cell_def.h"
#include "casedata/ext_collection.h"
#include "values/host_values.h"

namespace casedata {

class CExcExportedVariable;

// Type codes; also the bits of ClearOptimisation's mask.
inline constexpr std::uint32_t kObjectiveType = 1;
inline constexpr std::uint32_t kConstraintType = 2;
inline constexpr std::uint32_t kControlType = 4;
inline constexpr std::uint32_t kIntegerControlType = 8;

// No bound, no limit, no value: values::kUndefinedValue. A bound or limit
// counts as present only strictly below this.
inline constexpr double kThreshold = 3.2e35;

inline constexpr int kMaxStates = 20;

enum ConstraintKind : std::uint32_t { kLessThan = 0, kEqualTo = 1, kGreaterThan = 2 };

class CExcOptObject : public automation::CExcCellDef {
 public:
  // Takes the worksheet, cell, name and unit of a published variable.
  virtual int AssignFromPublishedVariable(const CExcExportedVariable& variable);
  virtual std::uint32_t GetType() const { return 0; }
  // Checks name, cell and worksheet, in that order. On the first failure
  // fills `message` and returns true.
  virtual bool Validate(std::string& message) const;
};

class CExcObjFn : public CExcOptObject {
 public:
  CExcObjFn() { Clear(); }
  void Clear() override;
  std::uint32_t GetType() const override { return kObjectiveType; }

  bool Defined = false;
  bool Maximise = true;
};

class CExcConstraint : public CExcOptObject {
 public:
  CExcConstraint() { Clear(); }
  void Clear() override;
  std::uint32_t GetType() const override { return kConstraintType; }
  bool operator==(const CExcConstraint& other) const;

  std::uint32_t ConstraintType = kLessThan;
  double Limit = values::kUndefinedValue;
};

class CExcControlVariable : public CExcOptObject {
 public:
  CExcControlVariable() { Clear(); }
  void Clear() override;
  std::uint32_t GetType() const override { return kControlType; }
  bool operator==(const CExcControlVariable& other) const;

  double LowerBound = values::kUndefinedValue;
  double UpperBound = values::kUndefinedValue;
};

class CExcIntCtrlVariable : public CExcOptObject {
 public:
  // Clear empties the four texts only; the states stay.
  std::uint32_t GetType() const override { return kIntegerControlType; }
  // State counts and names/values compared without case, texts exactly.
  bool operator==(const CExcIntCtrlVariable& other) const;

  // The label shown to the host for state k: its name, or its value when
  // the name is blank. Empty for a k outside 0..kMaxStates-1.
  const std::string& StateLabel(int k) const;
  // StateCount brought into 0..kMaxStates, for every use that indexes the
  // state texts: the field itself may hold anything a case file gave it.
  int UsedStateCount() const;

  std::int32_t StateCount = 0;  // 0..kMaxStates
  std::array<std::string, kMaxStates> StateNames;
  std::array<std::string, kMaxStates> StateValues;
};

// Whether two state texts name the same state: equal but for the case of
// ASCII letters.
bool SameStateText(std::string_view a, std::string_view b);

using CExcclConstraint = CExtCollection<CExcConstraint>;
using CExcclControlVariable = CExtCollection<CExcControlVariable>;
using CExcclIntegerControl = CExtCollection<CExcIntCtrlVariable>;

// Adds a new integer control to `list` named "IntCtrl%03d" with the
// smallest free number and returns it.
CExcIntCtrlVariable* MakeIntegerControlName(CExcclIntegerControl& list);

// The first constraint or control bound to exactly this worksheet and cell,
// or null.
CExcConstraint* FindByCell(const CExcclConstraint& list, const std::string& worksheet,
                           const std::string& cell);
CExcControlVariable* FindByCell(const CExcclControlVariable& list, const std::string& worksheet,
                                const std::string& cell);

}  // namespace casedata
