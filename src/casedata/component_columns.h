// The columns of a stream's component table (column 0 holds the component
// name), and the bits that say which of them a stream's values carry.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "casedata/unit_table.h"

namespace casedata {

// Which component properties a stream's values carry: one bit per column
// (the mole fraction is always there) and one for the interaction matrix.
// The host sees these bits as they are.
inline constexpr std::uint32_t kHasCriticalTemperature = 0x1;
inline constexpr std::uint32_t kHasCriticalPressure = 0x2;
inline constexpr std::uint32_t kHasCriticalVolume = 0x4;
inline constexpr std::uint32_t kHasAcentricity = 0x8;
inline constexpr std::uint32_t kHasMolecularWeight = 0x10;
inline constexpr std::uint32_t kHasSpecificGravity = 0x20;
inline constexpr std::uint32_t kHasBoilingPoint = 0x40;
inline constexpr std::uint32_t kHasVolumeShift = 0x80;
inline constexpr std::uint32_t kHasOmegaA = 0x100;
inline constexpr std::uint32_t kHasOmegaB = 0x200;
inline constexpr std::uint32_t kHasParachor = 0x400;
inline constexpr std::uint32_t kHasInteraction = 0x800;
inline constexpr std::uint32_t kHasCostaldAcent = 0x1000;
inline constexpr std::uint32_t kHasCostaldVcrit = 0x2000;

struct ComponentColumn {
  const char* label;
  int kind;            // UnitKind of the column's values
  std::uint32_t flag;  // its kHas* bit; 0: always present
};

inline constexpr std::size_t kComponentColumnCount = 14;

// Column k (1 ... 14) is entry k - 1; its unit is ColumnUnits[k - 1].
inline constexpr std::array<ComponentColumn, kComponentColumnCount> kComponentColumns = {{
    {"Mole Fraction", kNoKind, 0},
    {"Critical Temperature", kTemperature, kHasCriticalTemperature},
    {"Critical Pressure", kPressure, kHasCriticalPressure},
    {"Critical Volume", kCriticalVolume, kHasCriticalVolume},
    {"Acentricity", kNoKind, kHasAcentricity},
    {"Molecular Weight", kNoKind, kHasMolecularWeight},
    {"Specific Gravity", kNoKind, kHasSpecificGravity},
    {"Boiling Point", kTemperature, kHasBoilingPoint},
    {"Volume Shift", kNoKind, kHasVolumeShift},
    {"Omega A", kNoKind, kHasOmegaA},
    {"Omega B", kNoKind, kHasOmegaB},
    {"Parachor", kNoKind, kHasParachor},
    {"COSTALD Vcrit", kCriticalVolume, kHasCostaldVcrit},
    {"COSTALD Acent", kNoKind, kHasCostaldAcent},
}};

}  // namespace casedata
