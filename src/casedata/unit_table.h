// The built-in units of the six quantity kinds a stream value can carry, and
// the conversions between a cell's unit and the host's internal unit (the
// first unit of each kind: oilfield units).
#pragma once

#include <cstddef>
#include <string>

namespace casedata {

// Quantity kinds, the index into the unit table. kNoKind marks a value that
// passes unconverted (gravities, most component properties).
enum UnitKind : int {
  kNoKind = -1,
  kLiquidRate = 0,
  kGasRate = 1,
  kTemperature = 2,
  kPressure = 3,
  kCriticalVolume = 4,
  kMassRate = 5,
};

inline constexpr int kUnitKindCount = 6;
inline constexpr int kMaxUnitsPerKind = 10;

// Unit systems, each naming a default unit per kind.
enum UnitSystem : int { kOilfield = 0, kSi = 1 };

struct Unit {
  const char* name;
  double factor;
  double offset;
};

struct UnitKindInfo {
  const char* name;
  const Unit* units;
  int count;
  // Index of the default unit for kOilfield and for kSi.
  int defaults[2];
};

// The kind's entry, or null when kind is not 0 ... 5.
const UnitKindInfo* FindUnitKind(int kind);

// From the cell's unit into the internal unit: value / f - o. A value
// without a kind, or an undefined one, passes unchanged; an invalid kind or
// unit gives the undefined value.
double ToInternalUnits(double value, int kind, int unit);

// From the internal unit into the cell's unit: (value + o) * f. A value
// without a kind passes unchanged; an invalid kind or unit gives the
// undefined value. Undefined values are not recognised: callers test first
// where they must.
double FromInternalUnits(double value, int kind, int unit);

// The number of units of a kind; -1 for an invalid kind.
int UnitCount(int kind);
// A unit's name; empty for an invalid pair.
std::string UnitName(int kind, int unit);
// The kind's name; empty for an invalid kind.
std::string UnitKindName(int kind);
// The default unit of a kind in a unit system (kOilfield or kSi); -1 and the
// empty text when either is invalid.
int DefaultUnit(int kind, int system);
std::string DefaultUnitName(int kind, int system);

}  // namespace casedata
