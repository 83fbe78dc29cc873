#include "casedata/unit_table.h"

#include <gtest/gtest.h>

#include <cmath>
#include <tuple>

#include "automation/cell_address.h"
#include "gridmoor/host.h"

namespace {

using namespace casedata;
constexpr double kUndefined = EXT_UNDEFINED_VALUE;

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
      {"undefined, invalid unit", kUndefined, kPressure, 99, kUndefined, kUndefined},
      {"no kind", 7.5, kNoKind, 42, 7.5, 7.5},
      {"unit index = count", 1, kPressure, 6, kUndefined, kUndefined},
      {"unit index = count (mass)", 1, kMassRate, 2, kUndefined, kUndefined},
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
