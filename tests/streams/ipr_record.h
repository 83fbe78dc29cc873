// The host's records as the tests fill and read them: 0x11 throughout (the
// IPR record's size word set), guard bytes behind.
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>
#include <type_traits>

#include "gridmoor/host.h"
#include "support/guarded_buffer.h"

namespace streams_test {

// The record's component arrays in column order (column k at index k - 1).
inline constexpr std::size_t kComponentArrays[] = {
    EXT_IPR_MOLE_FRACTION_OFFSET,     EXT_IPR_CRITICAL_TEMPERATURE_OFFSET,
    EXT_IPR_CRITICAL_PRESSURE_OFFSET, EXT_IPR_CRITICAL_VOLUME_OFFSET,
    EXT_IPR_ACENTRICITY_OFFSET,       EXT_IPR_MOLECULAR_WEIGHT_OFFSET,
    EXT_IPR_SPECIFIC_GRAVITY_OFFSET,  EXT_IPR_BOILING_POINT_OFFSET,
    EXT_IPR_VOLUME_SHIFT_OFFSET,      EXT_IPR_OMEGA_A_OFFSET,
    EXT_IPR_OMEGA_B_OFFSET,           EXT_IPR_PARACHOR_OFFSET,
    EXT_IPR_COSTALD_VCRIT_OFFSET,     EXT_IPR_COSTALD_ACENT_OFFSET};

// Entry i of column k (1 ... 14), and the interaction coefficient i, j.
inline std::size_t ComponentField(std::size_t k, std::size_t i) {
  return kComponentArrays[k - 1] + 8 * i;
}
inline std::size_t MatrixField(std::size_t i, std::size_t j) {
  return EXT_IPR_INTERACTION_OFFSET + 800 * i + 8 * j;
}

// The pattern an untouched double of the record holds.
inline double HostFill() {
  return std::bit_cast<double>(0x1111111111111111ull);
}

// A host record followed by guard bytes, read and written by offset.
struct HostBuffer : test_support::GuardedBuffer {
  using GuardedBuffer::GuardedBuffer;
  void PutWord(std::size_t offset, std::uint32_t value) { Put<std::uint32_t>(offset, value); }
  // The type is never deduced: Put(offset, 1000) writes a double.
  template <typename T = double>
  void Put(std::size_t offset, std::type_identity_t<T> value) {
    std::memcpy(bytes.data() + offset, &value, sizeof value);
  }
  std::uint32_t Word(std::size_t offset) const { return At<std::uint32_t>(offset); }
  template <typename T = double>
  T At(std::size_t offset) const {
    T value;
    std::memcpy(&value, bytes.data() + offset, sizeof value);
    return value;
  }
};

struct IprRecord : HostBuffer {
  IprRecord() : HostBuffer(EXT_IPR_RECORD_SIZE) {
    PutWord(EXT_IPR_SIZE_OFFSET, EXT_IPR_RECORD_SIZE);
  }
};

}  // namespace streams_test
