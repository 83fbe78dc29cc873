#include "case/unit_table.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <tuple>

#include "automation/cell_address.h"

namespace {

using namespace streams;
constexpr double kUndefined = automation::kUndefinedValue;

// The unit table as users know it: name, factor, offset.
struct UnitRow {
  int kind;
  int unit;
  const char* name;
  double factor;
  double offset;
};

constexpr UnitRow kTable[] = {
    {kLiquidRate, 0, "STB/d", 1, 0},
    {kLiquidRate, 1, "Sm3/d", 0.158987, 0},
    {kGasRate, 0, "MMscf/d", 1, 0},
    {kGasRate, 1, "1000Sm3/d", 28.174, 0},
    {kGasRate, 2, "Mscf/d", 1000, 0},
    {kGasRate, 3, "scf/d", 1000000, 0},
    {kTemperature, 0, "deg F", 1, 0},
    {kTemperature, 1, "deg C", 0.5555, -32},
    {kTemperature, 2, "deg R", 1, 459.7},
    {kTemperature, 3, "deg K", 0.5555, 459.7},
    {kPressure, 0, "psig", 1, 0},
    {kPressure, 1, "psia", 1, 14.696},
    {kPressure, 2, "BARg", 0.068948, 0},
    {kPressure, 3, "BARa", 0.068948, 14.696},
    {kPressure, 4, "kPAg", 6.89476, 0},
    {kPressure, 5, "kPAa", 6.89476, 14.696},
    {kCriticalVolume, 0, "ft3/lb.mol", 1, 0},
    {kCriticalVolume, 1, "m3/kg.mol", 0.06243, 0},
    {kMassRate, 0, "lb/d", 1, 0},
    {kMassRate, 1, "kg/d", 0.453592, 0},
};

TEST(UnitTableTest, EveryUnitConvertsByItsOwnFactorAndOffsetBothWays) {
  for (const UnitRow& row : kTable) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(UnitName(row.kind, row.unit), row.name);
    for (const double value : {0.0, 1.0, 100.0, -40.0, 12345.678}) {
      const double internal = ToInternalUnits(value, row.kind, row.unit);
      EXPECT_DOUBLE_EQ(internal, value / row.factor - row.offset) << value;
      EXPECT_DOUBLE_EQ(FromInternalUnits(value, row.kind, row.unit),
                       (value + row.offset) * row.factor)
          << value;
      EXPECT_NEAR(FromInternalUnits(internal, row.kind, row.unit), value,
                  1e-9 * (1 + std::abs(value)));
    }
  }
}

TEST(UnitTableTest, RoundedFactorsAreKeptAsTheyAre) {
  // 100 deg C is not 212 deg F here: the factor is 0.5555, not 5/9.
  EXPECT_DOUBLE_EQ(ToInternalUnits(100, kTemperature, 1), 100 / 0.5555 + 32);
  EXPECT_NE(ToInternalUnits(100, kTemperature, 1), 212.0);
  EXPECT_DOUBLE_EQ(ToInternalUnits(1, kPressure, 3), 1 / 0.068948 - 14.696);
  EXPECT_DOUBLE_EQ(FromInternalUnits(100 / 0.5555 + 32, kTemperature, 1), 100);
  EXPECT_DOUBLE_EQ(FromInternalUnits(1 / 0.068948 - 14.696, kPressure, 3), 1);
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
      {"kind -2", 1, -2, 0, kUndefined, kUndefined},
  };
  for (const auto& [what, value, kind, unit, to, from] : cases) {
    EXPECT_EQ(ToInternalUnits(value, kind, unit), to) << what;
    EXPECT_DOUBLE_EQ(FromInternalUnits(value, kind, unit), from) << what;
  }
}

TEST(UnitTableTest, QueriesForTheDialogs) {
  const struct {
    int kind;
    const char* name;
    int count;
    const char* oilfield;
    const char* si;
  } kinds[] = {
      {kLiquidRate, "Liquid rate", 2, "STB/d", "Sm3/d"},
      {kGasRate, "Gas rate", 4, "MMscf/d", "1000Sm3/d"},
      {kTemperature, "Temperature", 4, "deg F", "deg C"},
      {kPressure, "Pressure", 6, "psig", "BARg"},
      {kCriticalVolume, "Critical Volume", 2, "ft3/lb.mol", "m3/kg.mol"},
      {kMassRate, "Mass rate", 2, "lb/d", "kg/d"},
  };
  for (const auto& k : kinds) {
    EXPECT_EQ(UnitKindName(k.kind), k.name);
    EXPECT_EQ(UnitCount(k.kind), k.count) << k.name;
    EXPECT_EQ(DefaultUnitName(k.kind, kOilfield), k.oilfield);
    EXPECT_EQ(DefaultUnitName(k.kind, kSi), k.si);
    EXPECT_EQ(UnitName(k.kind, k.count), "");
    // The internal unit is the first, with no conversion at all.
    EXPECT_EQ(ToInternalUnits(123.25, k.kind, 0), 123.25);
  }
  EXPECT_EQ(UnitCount(kNoKind), -1);
  EXPECT_EQ(UnitCount(kUnitKindCount), -1);
  EXPECT_EQ(UnitName(-1, 0), "");
  EXPECT_EQ(DefaultUnit(kPressure, 2), -1);
  EXPECT_EQ(DefaultUnitName(7, kOilfield), "");
}

}  // namespace
