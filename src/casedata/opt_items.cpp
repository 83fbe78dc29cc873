#include "casedata/opt_items.h"

#include <algorithm>
#include <cstdio>

#include "automation/cell_address.h"
#include "casedata/exported_variable.h"
#include "text/ascii.h"

namespace casedata {
namespace {

using text::IsBlank;

bool SameTexts(const automation::CExcCellDef& a, const automation::CExcCellDef& b) {
  return a.worksheet == b.worksheet && a.cell == b.cell && a.name == b.name && a.unit == b.unit;
}

template <typename List>
auto* FindFirstByCell(const List& list, const std::string& worksheet, const std::string& cell) {
  for (std::size_t i = 0; i < list.size(); ++i) {
    auto* item = list.At(i);
    if (item->worksheet == worksheet && item->cell == cell) return item;
  }
  return static_cast<decltype(list.At(0))>(nullptr);
}

}  // namespace

int CExcOptObject::AssignFromPublishedVariable(const CExcExportedVariable& variable) {
  worksheet = variable.worksheet;
  cell = variable.cell;
  name = variable.name;
  unit = variable.unit;
  return 0;
}

bool CExcOptObject::Validate(std::string& message) const {
  if (IsBlank(name)) {
    message = "A variable name must be supplied";
    return true;
  }
  if (IsBlank(cell)) {
    message = "A cell reference must be supplied for " + name;
    return true;
  }
  if (IsBlank(worksheet)) {
    message = "A worksheet reference must be supplied for " + name;
    return true;
  }
  return false;
}

void CExcObjFn::Clear() {
  CExcOptObject::Clear();
  Defined = false;
  Maximise = true;
}

void CExcConstraint::Clear() {
  CExcOptObject::Clear();
  ConstraintType = kLessThan;
  Limit = values::kUndefinedValue;
}

bool CExcConstraint::operator==(const CExcConstraint& other) const {
  return ConstraintType == other.ConstraintType && Limit == other.Limit && SameTexts(*this, other);
}

void CExcControlVariable::Clear() {
  CExcOptObject::Clear();
  LowerBound = values::kUndefinedValue;
  UpperBound = values::kUndefinedValue;
}

bool CExcControlVariable::operator==(const CExcControlVariable& other) const {
  return LowerBound == other.LowerBound && UpperBound == other.UpperBound &&
         SameTexts(*this, other);
}

bool CExcIntCtrlVariable::operator==(const CExcIntCtrlVariable& other) const {
  if (StateCount != other.StateCount || !SameTexts(*this, other)) return false;
  for (int k = 0; k < kMaxStates; ++k) {
    if (!SameStateText(StateNames[k], other.StateNames[k]) ||
        !SameStateText(StateValues[k], other.StateValues[k])) {
      return false;
    }
  }
  return true;
}

const std::string& CExcIntCtrlVariable::StateLabel(int k) const {
  static const std::string kNoLabel;
  if (k < 0 || k >= kMaxStates) return kNoLabel;
  const std::string& stateName = StateNames[static_cast<std::size_t>(k)];
  return IsBlank(stateName) ? StateValues[static_cast<std::size_t>(k)] : stateName;
}

int CExcIntCtrlVariable::UsedStateCount() const {
  return std::clamp<int>(StateCount, 0, kMaxStates);
}

bool SameStateText(std::string_view a, std::string_view b) {
  return text::EqualsNoCase(a, b);
}

CExcIntCtrlVariable* MakeIntegerControlName(CExcclIntegerControl& list) {
  CExcIntCtrlVariable* added = list.Add(std::make_unique<CExcIntCtrlVariable>());
  for (int n = 1;; ++n) {
    char candidate[32];
    std::snprintf(candidate, sizeof candidate, "IntCtrl%03d", n);
    bool taken = false;
    for (std::size_t i = 0; i < list.size() && !taken; ++i)
      taken = list.At(i)->name == candidate;
    if (!taken) {
      added->name = candidate;
      return added;
    }
  }
}

CExcConstraint* FindByCell(const CExcclConstraint& list, const std::string& worksheet,
                           const std::string& cell) {
  return FindFirstByCell(list, worksheet, cell);
}

CExcControlVariable* FindByCell(const CExcclControlVariable& list, const std::string& worksheet,
                                const std::string& cell) {
  return FindFirstByCell(list, worksheet, cell);
}

}  // namespace casedata
