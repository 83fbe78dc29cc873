// The columns of a stream's component table (column 0 holds the component
// name) and where each travels in the host's IPR record.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "case/unit_table.h"
#include "gridmoor/host.h"

namespace streams {

struct ComponentColumn {
  const char* label;
  int kind;            // UnitKind of the column's values
  std::size_t offset;  // the record's array of 100 doubles
  std::uint32_t flag;  // its EXT_IPR_HAS_* bit; 0: always present
};

inline constexpr std::size_t kComponentColumnCount = 14;

// Column k (1 ... 14) is entry k - 1; its unit is ColumnUnits[k - 1].
inline constexpr std::array<ComponentColumn, kComponentColumnCount> kComponentColumns = {{
    {"Mole Fraction", kNoKind, EXT_IPR_MOLE_FRACTION_OFFSET, 0},
    {"Critical Temperature", kTemperature, EXT_IPR_CRITICAL_TEMPERATURE_OFFSET,
     EXT_IPR_HAS_CRITICAL_TEMPERATURE},
    {"Critical Pressure", kPressure, EXT_IPR_CRITICAL_PRESSURE_OFFSET,
     EXT_IPR_HAS_CRITICAL_PRESSURE},
    {"Critical Volume", kCriticalVolume, EXT_IPR_CRITICAL_VOLUME_OFFSET,
     EXT_IPR_HAS_CRITICAL_VOLUME},
    {"Acentricity", kNoKind, EXT_IPR_ACENTRICITY_OFFSET, EXT_IPR_HAS_ACENTRICITY},
    {"Molecular Weight", kNoKind, EXT_IPR_MOLECULAR_WEIGHT_OFFSET, EXT_IPR_HAS_MOLECULAR_WEIGHT},
    {"Specific Gravity", kNoKind, EXT_IPR_SPECIFIC_GRAVITY_OFFSET, EXT_IPR_HAS_SPECIFIC_GRAVITY},
    {"Boiling Point", kTemperature, EXT_IPR_BOILING_POINT_OFFSET, EXT_IPR_HAS_BOILING_POINT},
    {"Volume Shift", kNoKind, EXT_IPR_VOLUME_SHIFT_OFFSET, EXT_IPR_HAS_VOLUME_SHIFT},
    {"Omega A", kNoKind, EXT_IPR_OMEGA_A_OFFSET, EXT_IPR_HAS_OMEGA_A},
    {"Omega B", kNoKind, EXT_IPR_OMEGA_B_OFFSET, EXT_IPR_HAS_OMEGA_B},
    {"Parachor", kNoKind, EXT_IPR_PARACHOR_OFFSET, EXT_IPR_HAS_PARACHOR},
    {"COSTALD Vcrit", kCriticalVolume, EXT_IPR_COSTALD_VCRIT_OFFSET, EXT_IPR_HAS_COSTALD_VCRIT},
    {"COSTALD Acent", kNoKind, EXT_IPR_COSTALD_ACENT_OFFSET, EXT_IPR_HAS_COSTALD_ACENT},
}};

// Byte offset of entry i of a per-component array, and of coefficient
// [i][j] of the interaction matrix.
inline constexpr std::size_t ComponentOffset(std::size_t array, std::size_t i) {
  return array + 8 * i;
}
inline constexpr std::size_t InteractionOffset(std::size_t i, std::size_t j) {
  return EXT_IPR_INTERACTION_OFFSET + EXT_IPR_INTERACTION_ROW_SIZE * i + 8 * j;
}

}  // namespace streams
