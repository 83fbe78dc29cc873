// The case's records on their own: the case details, the optimisation items
// and the unit table.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>
#include <tuple>

#include "casedata/case_details.h"
#include "casedata/ext_collection.h"
#include "casedata/opt_items.h"
#include "casedata/unit_table.h"
#include "gridmoor/host.h"
#include "optimisation/items_fixture.h"

namespace optimisation_test {
namespace {

using casedata::CExcConstraint;
using casedata::CExcControlVariable;
using casedata::CExcIntCtrlVariable;

TEST(CaseDetailsTest, CopyKeepsTheCaseButNotTheLiveState) {
  casedata::CExcCaseDetails details;
  std::tie(details.workbookOpen, details.fileName, details.inputCount, details.outputCount,
           details.macros[2], details.passDate[2], details.plugIns, details.useCompositions,
           details.hideInterface) =
      std::tuple(1, "/w/a.xlsx", 3u, 4u, "Module1.StartOfRun", true, "/w/addin.xlam", 1, true);

  // The live state (open flag, plug-ins) stays behind; every field of the case comes along.
  const casedata::CExcCaseDetails copy(details);
  EXPECT_EQ(
      std::tie(copy.workbookOpen, copy.plugIns, copy.fileName, copy.inputCount, copy.outputCount,
               copy.macros[2], copy.passDate[2], copy.useCompositions, copy.hideInterface),
      std::tuple(0, "", "/w/a.xlsx", 3u, 4u, "Module1.StartOfRun", true, 1, true));

  // Assignment leaves the target's live state alone.
  casedata::CExcCaseDetails target;
  target.workbookOpen = 1;
  target.plugIns = "/mine.xlam";
  target = copy;
  EXPECT_EQ(std::tie(target.workbookOpen, target.plugIns, target.fileName),
            std::tuple(1, "/mine.xlam", "/w/a.xlsx"));
}

TEST(OptItems, ValidateChecksNameThenCellThenWorksheet) {
  // Name, cell, worksheet, and the message (null: valid).
  const std::tuple<const char*, const char*, const char*, const char*> cases[] = {
      {"Rate", "B2", "Data", nullptr},
      {"   ", "", "", "A variable name must be supplied"},
      {"Rate", "  ", "Data", "A cell reference must be supplied for Rate"},
      {"Rate", "B2", " ", "A worksheet reference must be supplied for Rate"},
      {"100%s", "", "Data", "A cell reference must be supplied for 100%s"},
      {"\t", "\t", "\t", nullptr}};  // only spaces are blank
  for (const auto& [name, cell, sheet, expected] : cases) {
    CExcControlVariable item;
    std::tie(item.name, item.cell, item.worksheet) = std::tuple(name, cell, sheet);
    std::string message = "untouched";
    EXPECT_EQ(item.Validate(message), expected != nullptr) << name << "/" << cell;
    EXPECT_EQ(message, expected ? expected : "untouched");
  }
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
  std::tie(states.worksheet, states.StateCount, states.StateNames[0], states.StateValues[0]) =
      std::tuple("Data", 2, "Low", "ON");
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

using namespace casedata;

TEST(UnitTableTest, EveryUnitRoundTripsAndKnownValuesPinTheFactors) {
  for (int kind = 0; kind < kUnitKindCount; ++kind) {
    EXPECT_FALSE(UnitKindName(kind).empty());
    EXPECT_EQ(ToInternalUnits(123.25, kind, 0), 123.25) << "the internal unit is the first";
    EXPECT_EQ(UnitName(kind, UnitCount(kind)), "");
    for (const UnitSystem system : {kOilfield, kSi}) {
      EXPECT_FALSE(DefaultUnitName(kind, system).empty());
      EXPECT_EQ(DefaultUnitName(kind, system), UnitName(kind, DefaultUnit(kind, system)));
    }
    for (int unit = 0; unit < UnitCount(kind); ++unit) {
      for (const double value : {0.0, 1.0, -40.0, 12345.678}) {
        EXPECT_NEAR(FromInternalUnits(ToInternalUnits(value, kind, unit), kind, unit), value,
                    1e-9 * (1 + std::abs(value)))
            << UnitName(kind, unit);
      }
    }
  }
  // The rounded factors are kept as they are: 100 deg C is not 212 deg F here.
  const std::tuple<const char*, int, int, double, double> known[] = {
      {"Sm3/d", kLiquidRate, 1, 1, 1 / 0.158987},
      {"scf/d", kGasRate, 3, 1e6, 1},
      {"deg C", kTemperature, 1, 100, 100 / 0.5555 + 32},
      {"deg R", kTemperature, 2, 0, -459.7},
      {"deg K", kTemperature, 3, 0.5555, 1 - 459.7},
      {"psia", kPressure, 1, 14.696, 0},
      {"BARa", kPressure, 3, 1, 1 / 0.068948 - 14.696},
      {"kPAa", kPressure, 5, 6.89476, 1 - 14.696},
      {"m3/kg.mol", kCriticalVolume, 1, 0.06243, 1},
      {"kg/d", kMassRate, 1, 0.453592, 1}};
  for (const auto& [name, kind, unit, cell, internal] : known) {
    EXPECT_EQ(UnitName(kind, unit), name);
    EXPECT_DOUBLE_EQ(ToInternalUnits(cell, kind, unit), internal) << name;
    EXPECT_NEAR(FromInternalUnits(internal, kind, unit), cell, 1e-9 * (1 + cell)) << name;
  }
}

TEST(UnitTableTest, UndefinedAndUnboundValuesAndInvalidUnits) {
  // The undefined value passes into internal units unchanged, whatever the
  // unit; the other way it is converted like any number. An invalid unit or
  // kind gives the undefined value; no kind leaves the value as it is.
  const std::tuple<const char*, double, int, int, double, double> cases[] = {
      {"undefined in BARg", kUndefined, kPressure, 2, kUndefined, kUndefined * 0.068948},
      {"above the threshold", 3.3e35, kTemperature, 1, 3.3e35, (3.3e35 - 32) * 0.5555},
      {"no kind", 7.5, kNoKind, 42, 7.5, 7.5},
      {"unit index = count", 1, kPressure, 6, kUndefined, kUndefined},
      {"negative unit", 1, kGasRate, -1, kUndefined, kUndefined},
      {"kind 6", 1, 6, 0, kUndefined, kUndefined},
      {"kind -2", 1, -2, 0, kUndefined, kUndefined}};
  for (const auto& [what, value, kind, unit, to, from] : cases) {
    EXPECT_EQ(ToInternalUnits(value, kind, unit), to) << what;
    EXPECT_DOUBLE_EQ(FromInternalUnits(value, kind, unit), from) << what;
  }
  // Queries on an invalid kind, unit or system.
  EXPECT_EQ(UnitCount(kNoKind), -1);
  EXPECT_EQ(UnitCount(kUnitKindCount), -1);
  EXPECT_EQ(UnitName(-1, 0), "");
  EXPECT_EQ(UnitKindName(kUnitKindCount), "");
  EXPECT_EQ(DefaultUnit(kPressure, 2), -1);
  EXPECT_EQ(DefaultUnitName(7, kOilfield), "");
}

}  // namespace
}  // namespace optimisation_test
