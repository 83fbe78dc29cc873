#include "casedata/unit_table.h"

#include <iterator>

#include "automation/cell_address.h"

namespace casedata {
namespace {

// The factors are the rounded figures users know from the dialogs (0.5555,
// not 5/9): converted values must match what they have always been.
constexpr Unit kLiquidRateUnits[] = {{"STB/d", 1, 0}, {"Sm3/d", 0.158987, 0}};
constexpr Unit kGasRateUnits[] = {
    {"MMscf/d", 1, 0}, {"1000Sm3/d", 28.174, 0}, {"Mscf/d", 1000, 0}, {"scf/d", 1000000, 0}};
constexpr Unit kTemperatureUnits[] = {
    {"deg F", 1, 0}, {"deg C", 0.5555, -32}, {"deg R", 1, 459.7}, {"deg K", 0.5555, 459.7}};
constexpr Unit kPressureUnits[] = {{"psig", 1, 0},        {"psia", 1, 14.696},
                                   {"BARg", 0.068948, 0}, {"BARa", 0.068948, 14.696},
                                   {"kPAg", 6.89476, 0},  {"kPAa", 6.89476, 14.696}};
constexpr Unit kCriticalVolumeUnits[] = {{"ft3/lb.mol", 1, 0}, {"m3/kg.mol", 0.06243, 0}};
constexpr Unit kMassRateUnits[] = {{"lb/d", 1, 0}, {"kg/d", 0.453592, 0}};

template <std::size_t N>
constexpr UnitKindInfo Kind(const char* name, const Unit (&units)[N], int oilfield, int si) {
  static_assert(N <= kMaxUnitsPerKind);
  return UnitKindInfo{name, units, static_cast<int>(N), {oilfield, si}};
}

constexpr UnitKindInfo kKinds[kUnitKindCount] = {
    Kind("Liquid rate", kLiquidRateUnits, 0, 1),         Kind("Gas rate", kGasRateUnits, 0, 1),
    Kind("Temperature", kTemperatureUnits, 0, 1),        Kind("Pressure", kPressureUnits, 0, 2),
    Kind("Critical Volume", kCriticalVolumeUnits, 0, 1), Kind("Mass rate", kMassRateUnits, 0, 1),
};

const Unit* FindUnit(int kind, int unit) {
  const UnitKindInfo* info = FindUnitKind(kind);
  if (info == nullptr || unit < 0 || unit >= info->count) return nullptr;
  return &info->units[unit];
}

}  // namespace

const UnitKindInfo* FindUnitKind(int kind) {
  if (kind < 0 || kind >= static_cast<int>(std::size(kKinds))) return nullptr;
  return &kKinds[kind];
}

double ToInternalUnits(double value, int kind, int unit) {
  if (kind == kNoKind || automation::IsUndefined(value)) return value;
  const Unit* u = FindUnit(kind, unit);
  if (u == nullptr) return values::kUndefinedValue;
  return value / u->factor - u->offset;
}

double FromInternalUnits(double value, int kind, int unit) {
  if (kind == kNoKind) return value;
  const Unit* u = FindUnit(kind, unit);
  if (u == nullptr) return values::kUndefinedValue;
  return (value + u->offset) * u->factor;
}

int UnitCount(int kind) {
  const UnitKindInfo* info = FindUnitKind(kind);
  return info == nullptr ? -1 : info->count;
}

std::string UnitName(int kind, int unit) {
  const Unit* u = FindUnit(kind, unit);
  return u == nullptr ? std::string() : std::string(u->name);
}

std::string UnitKindName(int kind) {
  const UnitKindInfo* info = FindUnitKind(kind);
  return info == nullptr ? std::string() : std::string(info->name);
}

int DefaultUnit(int kind, int system) {
  const UnitKindInfo* info = FindUnitKind(kind);
  if (info == nullptr || (system != kOilfield && system != kSi)) return -1;
  return info->defaults[system];
}

std::string DefaultUnitName(int kind, int system) {
  return UnitName(kind, DefaultUnit(kind, system));
}

}  // namespace casedata
