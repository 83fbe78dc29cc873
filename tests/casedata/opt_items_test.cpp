// The item classes on their own: validity, clearing, comparisons, naming and
// lookup.
#include "casedata/opt_items.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>

#include "optimisation/items_fixture.h"

namespace optimisation_test {
namespace {

using casedata::CExcConstraint;
using casedata::CExcControlVariable;
using casedata::CExcIntCtrlVariable;

TEST(OptItems, ValidateChecksNameThenCellThenWorksheet) {
  // Name, cell, worksheet, and the message (null: valid).
  const std::tuple<const char*, const char*, const char*, const char*> cases[] = {
      {"Rate", "B2", "Data", nullptr},
      {"", "B2", "Data", "A variable name must be supplied"},
      {"   ", "", "", "A variable name must be supplied"},
      {"Rate", "  ", "Data", "A cell reference must be supplied for Rate"},
      {"Rate", "B2", " ", "A worksheet reference must be supplied for Rate"},
      {"100%s", "", "Data", "A cell reference must be supplied for 100%s"},
      {"\t", "\t", "\t", nullptr},  // only spaces are blank
  };
  for (const auto& [name, cell, sheet, expected] : cases) {
    CExcControlVariable item;
    item.name = name;
    item.cell = cell;
    item.worksheet = sheet;
    std::string message = "untouched";
    EXPECT_EQ(item.Validate(message), expected != nullptr) << name << "/" << cell;
    EXPECT_EQ(message, expected ? expected : "untouched");
  }
}

TEST(OptItems, ClearingAnObjectiveResetsItAndAnIntegerControlKeepsItsStates) {
  casedata::CExcObjFn objective;
  objective.Defined = true;
  objective.Maximise = false;
  objective.name = "Profit";
  objective.Clear();
  EXPECT_EQ(std::make_tuple(objective.Defined, objective.Maximise, objective.name),
            std::make_tuple(false, true, std::string()));

  CExcIntCtrlVariable intControl;
  intControl.cell = "C3";
  intControl.StateCount = 1;
  intControl.StateValues[0] = "On";
  intControl.Clear();
  EXPECT_EQ(std::make_tuple(intControl.cell, intControl.StateCount, intControl.StateValues[0]),
            std::make_tuple(std::string(), 1, std::string("On")));
}

// Whether a copy of `item` still equals it after `edit`; the copy itself must.
template <typename Item, typename Edit>
bool EqualAfter(const Item& item, Edit edit) {
  Item copy(item);
  EXPECT_TRUE(copy == item) << "a copy equals its original";
  edit(copy);
  return copy == item;
}

TEST(OptItems, EqualityComparesTextsExactlyAndStatesIgnoringCase) {
  CExcConstraint constraint;
  constraint.name = "Gas";
  EXPECT_FALSE(EqualAfter(constraint, [](CExcConstraint& c) { c.Limit = 1; }));
  EXPECT_FALSE(EqualAfter(constraint, [](CExcConstraint& c) { c.ConstraintType = 1; }));
  EXPECT_FALSE(EqualAfter(constraint, [](CExcConstraint& c) { c.name = "gas"; }));
  const CExcControlVariable control;
  EXPECT_FALSE(EqualAfter(control, [](CExcControlVariable& c) { c.UpperBound = 10; }));
  EXPECT_FALSE(EqualAfter(control, [](CExcControlVariable& c) { c.unit = "x"; }));

  CExcIntCtrlVariable states;
  states.worksheet = "Data";
  states.StateCount = 2;
  states.StateNames[0] = "Low";
  states.StateValues[0] = "ON";
  states.StateValues[19] = "Spare";  // a copy carries all 20 states
  EXPECT_TRUE(EqualAfter(states, [](CExcIntCtrlVariable& c) {
    c.StateNames[0] = "LOW";
    c.StateValues[0] = "on";
  })) << "states ignore case";
  EXPECT_FALSE(EqualAfter(states, [](CExcIntCtrlVariable& c) { c.StateValues[19] = "Spares"; }))
      << "all 20 states count, not only those in use";
  EXPECT_FALSE(EqualAfter(states, [](CExcIntCtrlVariable& c) { c.StateCount = 3; }));
  EXPECT_FALSE(EqualAfter(states, [](CExcIntCtrlVariable& c) { c.worksheet = "data"; }));

  EXPECT_FALSE(casedata::SameStateText("High", "High "));
  EXPECT_FALSE(casedata::SameStateText("\xc3\xa9", "\xc3\x89"))  // é, É
      << "only ASCII letters fold";
  EXPECT_FALSE(casedata::SameStateText(std::string("a\0b", 3), std::string("a\0c", 3)));
}

TEST(OptItems, NewIntegerControlsTakeTheSmallestFreeNumberAtTheEnd) {
  casedata::CExcclIntegerControl list;
  EXPECT_EQ(casedata::MakeIntegerControlName(list)->name, "IntCtrl001");
  AddIntControl(list, "IntCtrl003", "", {});
  AddIntControl(list, "Pump", "", {});
  CExcIntCtrlVariable* added = casedata::MakeIntegerControlName(list);
  EXPECT_EQ(added->name, "IntCtrl002");
  ASSERT_EQ(list.size(), 4u);
  EXPECT_EQ(list.At(3), added);
  EXPECT_EQ(casedata::MakeIntegerControlName(list)->name, "IntCtrl004");
  list.At(0)->name = "intctrl001";  // freed by renaming: names compare exactly
  EXPECT_EQ(casedata::MakeIntegerControlName(list)->name, "IntCtrl001");
}

TEST(OptItems, FindByCellGivesTheFirstExactMatch) {
  casedata::CExcclConstraint constraints;
  EXPECT_EQ(casedata::FindByCell(constraints, "Data", "B2"), nullptr);
  AddConstraint(constraints, "A", "B2").worksheet = "Other";
  AddConstraint(constraints, "B", "B2");
  AddConstraint(constraints, "C", "B2");
  EXPECT_EQ(casedata::FindByCell(constraints, "Data", "B2"), constraints.At(1));
  EXPECT_EQ(casedata::FindByCell(constraints, "data", "B2"), nullptr);
  EXPECT_EQ(casedata::FindByCell(constraints, "Data", "b2"), nullptr);
}

}  // namespace
}  // namespace optimisation_test
