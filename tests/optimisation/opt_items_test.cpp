// The item classes on their own: validity, initial state, copies and
// comparisons, labels, naming and lookup.
#include "optimisation/opt_items.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "opt_fixture.h"

namespace optimisation_test {
namespace {

using optimisation::CExcclConstraint;
using optimisation::CExcclControlVariable;
using optimisation::CExcclIntCtrlVariable;
using optimisation::CExcConstraint;
using optimisation::CExcControlVariable;
using optimisation::CExcIntCtrlVariable;
using optimisation::CExcObjFn;
using optimisation::CExcOptObject;

TEST(OptItems, ValidateChecksNameThenCellThenWorksheet) {
  const struct {
    const char* name;
    const char* cell;
    const char* sheet;
    const char* message;  // null: valid
  } cases[] = {
      {"Rate", "B2", "Plant", nullptr},
      {"", "B2", "Plant", "A variable name must be supplied"},
      {"   ", "", "", "A variable name must be supplied"},
      {"Rate", "", "", "A cell reference must be supplied for Rate"},
      {"Rate", "  ", "Plant", "A cell reference must be supplied for Rate"},
      {"Rate", "B2", "", "A worksheet reference must be supplied for Rate"},
      {"Rate", "B2", " ", "A worksheet reference must be supplied for Rate"},
      {"100%s", "", "Plant", "A cell reference must be supplied for 100%s"},
      {"\t", "\t", "\t", nullptr},  // only spaces are blank
  };
  for (const auto& c : cases) {
    CExcControlVariable item;
    item.name = c.name;
    item.cell = c.cell;
    item.worksheet = c.sheet;
    std::string message = "untouched";
    EXPECT_EQ(item.Validate(message), c.message != nullptr) << c.name << "/" << c.cell;
    EXPECT_EQ(message, c.message != nullptr ? c.message : "untouched");
  }
}

TEST(OptItems, NewItemsAndClearedItemsHoldTheirInitialValues) {
  CExcObjFn objective;
  EXPECT_FALSE(objective.Defined);
  EXPECT_TRUE(objective.Maximise);
  objective.Defined = true;
  objective.Maximise = false;
  objective.name = "Profit";
  objective.Clear();
  EXPECT_FALSE(objective.Defined);
  EXPECT_TRUE(objective.Maximise);
  EXPECT_EQ(objective.name, "");

  CExcConstraint constraint;
  constraint.ConstraintType = 2;
  constraint.Limit = 5;
  constraint.worksheet = "Plant";
  constraint.Clear();
  EXPECT_EQ(constraint.ConstraintType, 0u);
  EXPECT_EQ(constraint.Limit, kUndefined);
  EXPECT_EQ(constraint.worksheet, "");

  CExcControlVariable control;
  EXPECT_EQ(control.LowerBound, kUndefined);
  EXPECT_EQ(control.UpperBound, kUndefined);
  control.LowerBound = 1;
  control.unit = "psig";
  control.Clear();
  EXPECT_EQ(control.LowerBound, kUndefined);
  EXPECT_EQ(control.unit, "");

  CExcIntCtrlVariable intControl;
  EXPECT_EQ(intControl.StateCount, 0);
  for (int k = 0; k < optimisation::kMaxStates; ++k)
    EXPECT_TRUE(intControl.StateNames[k].empty() && intControl.StateValues[k].empty());
  intControl.cell = "C3";
  intControl.StateCount = 1;
  intControl.StateValues[0] = "On";
  intControl.Clear();
  EXPECT_EQ(intControl.cell, "");
  EXPECT_EQ(intControl.StateCount, 1) << "clearing keeps the states";
  EXPECT_EQ(intControl.StateValues[0], "On");

  const CExcOptObject base;
  EXPECT_EQ(base.GetType(), 0u);
  EXPECT_EQ(objective.GetType(), 1u);
  EXPECT_EQ(constraint.GetType(), 2u);
  EXPECT_EQ(control.GetType(), 4u);
  EXPECT_EQ(intControl.GetType(), 8u);
}

TEST(OptItems, EqualityComparesTextsExactlyAndStatesIgnoringCase) {
  CExcConstraint a;
  a.name = "Gas";
  CExcConstraint b(a);
  EXPECT_TRUE(a == b);
  b.Limit = 1;
  EXPECT_FALSE(a == b);
  b = a;
  b.ConstraintType = 1;
  EXPECT_FALSE(a == b);
  b = a;
  b.name = "gas";
  EXPECT_FALSE(a == b) << "texts are compared exactly";

  CExcControlVariable c;
  CExcControlVariable d;
  EXPECT_TRUE(c == d);
  d.UpperBound = 10;
  EXPECT_FALSE(c == d);
  d = c;
  d.unit = "x";
  EXPECT_FALSE(c == d);

  CExcIntCtrlVariable e;
  e.StateCount = 2;
  e.StateNames[0] = "Low";
  e.StateValues[0] = "ON";
  e.StateValues[19] = "Spare";
  CExcIntCtrlVariable f(e);
  EXPECT_TRUE(e == f) << "a copy carries all 20 states";
  f.StateNames[0] = "LOW";
  f.StateValues[0] = "on";
  EXPECT_TRUE(e == f) << "states ignore case";
  f.StateValues[19] = "Spares";
  EXPECT_FALSE(e == f) << "all 20 states count, not only those in use";
  f = e;
  f.StateCount = 3;
  EXPECT_FALSE(e == f);
  f = e;
  f.worksheet = "plant";
  e.worksheet = "Plant";
  EXPECT_FALSE(e == f);
}

TEST(OptItems, StateLabelsAndCountsStayInsideTheStates) {
  CExcIntCtrlVariable control;
  control.StateNames[0] = "";
  control.StateValues[0] = "10";
  control.StateNames[1] = "High";
  control.StateValues[1] = "20";
  control.StateNames[2] = "  ";
  control.StateValues[2] = "30";
  EXPECT_EQ(control.StateLabel(0), "10");
  EXPECT_EQ(control.StateLabel(1), "High");
  EXPECT_EQ(control.StateLabel(2), "30") << "a name of spaces is blank";
  EXPECT_EQ(control.StateLabel(-1), "");
  EXPECT_EQ(control.StateLabel(20), "");

  const struct {
    std::int32_t stored;
    int used;
  } counts[] = {{0, 0}, {7, 7}, {20, 20}, {21, 20}, {1 << 30, 20}, {-1, 0}, {INT32_MIN, 0}};
  for (const auto& c : counts) {
    control.StateCount = c.stored;
    EXPECT_EQ(control.UsedStateCount(), c.used) << c.stored;
  }
}

TEST(OptItems, StateTextsCompareIgnoringAsciiCaseOnly) {
  EXPECT_TRUE(optimisation::SameStateText("HIGH", "high"));
  EXPECT_TRUE(optimisation::SameStateText("", ""));
  EXPECT_FALSE(optimisation::SameStateText("High", "High "));
  EXPECT_FALSE(optimisation::SameStateText("\xc3\xa9", "\xc3\x89"));  // é, É
  EXPECT_FALSE(optimisation::SameStateText(std::string("a\0b", 3), std::string("a\0c", 3)));
}

TEST(OptItems, NewIntegerControlsTakeTheSmallestFreeNumber) {
  CExcclIntCtrlVariable list;
  CExcIntCtrlVariable* first = optimisation::MakeIntegerControlName(list);
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(first->name, "IntCtrl001");
  EXPECT_EQ(list.size(), 1u);

  list.At(0)->name = "IntCtrl001";
  AddIntControl(list, "IntCtrl003", "", "", {});
  AddIntControl(list, "Pump", "", "", {});
  CExcIntCtrlVariable* added = optimisation::MakeIntegerControlName(list);
  EXPECT_EQ(added->name, "IntCtrl002");
  EXPECT_EQ(list.size(), 4u);
  EXPECT_EQ(list.At(3), added) << "added at the end";
  EXPECT_EQ(optimisation::MakeIntegerControlName(list)->name, "IntCtrl004");

  // Freed by renaming; the comparison is case-sensitive.
  list.At(0)->name = "intctrl001";
  EXPECT_EQ(optimisation::MakeIntegerControlName(list)->name, "IntCtrl001");
}

TEST(OptItems, FindByCellGivesTheFirstExactMatch) {
  CExcclConstraint constraints;
  AddConstraint(constraints, "A", "Plant", "B2");
  AddConstraint(constraints, "B", "Plant", "B3");
  AddConstraint(constraints, "C", "Plant", "B3");
  EXPECT_EQ(optimisation::FindByCell(constraints, "Plant", "B3"), constraints.At(1));
  EXPECT_EQ(optimisation::FindByCell(constraints, "plant", "B3"), nullptr);
  EXPECT_EQ(optimisation::FindByCell(constraints, "Plant", "b3"), nullptr);
  EXPECT_EQ(optimisation::FindByCell(constraints, "Plant", "B4"), nullptr);

  CExcclControlVariable controls;
  EXPECT_EQ(optimisation::FindByCell(controls, "Plant", "B2"), nullptr);
  AddControl(controls, "X", "Other", "B2");
  AddControl(controls, "Y", "Plant", "B2");
  EXPECT_EQ(optimisation::FindByCell(controls, "Plant", "B2"), controls.At(1));
}

}  // namespace
}  // namespace optimisation_test
