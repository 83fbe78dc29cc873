// Host records laid out by gridmoor/host.h: byte blocks the host owns and
// lends to the library for one call. Every access here is bounds-checked,
// and texts are read only up to their field's end. The offsets are the
// layout's own and every count read from a record is clamped to it, so an
// access past the end is a fault of this program: it stops the program
// before any byte outside the record is touched.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "common/undefined_value.h"
#include "gridmoor/host.h"

namespace refhost {

class Record {
 public:
  explicit Record(std::size_t size) : bytes_(size, 0) {}

  unsigned char* data() { return bytes_.data(); }
  const unsigned char* data() const { return bytes_.data(); }
  std::size_t size() const { return bytes_.size(); }

  template <typename T>
  void Put(std::size_t offset, T value) {
    Check(offset, sizeof value);
    std::memcpy(bytes_.data() + offset, &value, sizeof value);
  }
  template <typename T>
  T Get(std::size_t offset) const {
    Check(offset, sizeof(T));
    T value;
    std::memcpy(&value, bytes_.data() + offset, sizeof value);
    return value;
  }
  // Copies at most size - 1 bytes and a NUL; the rest of the field is zeroed.
  void PutText(std::size_t offset, std::size_t size, const std::string& text);
  // The text up to its NUL or the end of the field.
  std::string GetText(std::size_t offset, std::size_t size) const;

 private:
  void Check(std::size_t offset, std::size_t width) const {
    if (offset > bytes_.size() || width > bytes_.size() - offset) PastTheEnd(offset, width);
  }
  // Says where, and aborts.
  [[noreturn]] void PastTheEnd(std::size_t offset, std::size_t width) const;
  std::vector<unsigned char> bytes_;
};

// The per-component properties of a stream record, in component-table
// column order after the mole fraction, with their flag bits and offsets.
struct ComponentProperty {
  const char* key;  // the name used in scenarios and CSV files
  std::uint32_t bit;
  std::size_t offset;
};
inline constexpr std::array<ComponentProperty, 13> kComponentProperties{{
    {"criticalTemperature", EXT_IPR_HAS_CRITICAL_TEMPERATURE, EXT_IPR_CRITICAL_TEMPERATURE_OFFSET},
    {"criticalPressure", EXT_IPR_HAS_CRITICAL_PRESSURE, EXT_IPR_CRITICAL_PRESSURE_OFFSET},
    {"criticalVolume", EXT_IPR_HAS_CRITICAL_VOLUME, EXT_IPR_CRITICAL_VOLUME_OFFSET},
    {"acentricity", EXT_IPR_HAS_ACENTRICITY, EXT_IPR_ACENTRICITY_OFFSET},
    {"molecularWeight", EXT_IPR_HAS_MOLECULAR_WEIGHT, EXT_IPR_MOLECULAR_WEIGHT_OFFSET},
    {"specificGravity", EXT_IPR_HAS_SPECIFIC_GRAVITY, EXT_IPR_SPECIFIC_GRAVITY_OFFSET},
    {"boilingPoint", EXT_IPR_HAS_BOILING_POINT, EXT_IPR_BOILING_POINT_OFFSET},
    {"volumeShift", EXT_IPR_HAS_VOLUME_SHIFT, EXT_IPR_VOLUME_SHIFT_OFFSET},
    {"omegaA", EXT_IPR_HAS_OMEGA_A, EXT_IPR_OMEGA_A_OFFSET},
    {"omegaB", EXT_IPR_HAS_OMEGA_B, EXT_IPR_OMEGA_B_OFFSET},
    {"parachor", EXT_IPR_HAS_PARACHOR, EXT_IPR_PARACHOR_OFFSET},
    {"costaldVcrit", EXT_IPR_HAS_COSTALD_VCRIT, EXT_IPR_COSTALD_VCRIT_OFFSET},
    {"costaldAcent", EXT_IPR_HAS_COSTALD_ACENT, EXT_IPR_COSTALD_ACENT_OFFSET},
}};

// The scalar fields of a stream record, in the column order of streams.csv.
struct ScalarField {
  const char* key;
  std::size_t offset;
};
inline constexpr std::array<ScalarField, 9> kScalarFields{{
    {"oilRate", EXT_IPR_OIL_RATE_OFFSET},
    {"waterRate", EXT_IPR_WATER_RATE_OFFSET},
    {"gasRate", EXT_IPR_GAS_RATE_OFFSET},
    {"pressure", EXT_IPR_PRESSURE_OFFSET},
    {"temperature", EXT_IPR_TEMPERATURE_OFFSET},
    {"massRate", EXT_IPR_MASS_RATE_OFFSET},
    {"oilGravity", EXT_IPR_OIL_GRAVITY_OFFSET},
    {"gasGravity", EXT_IPR_GAS_GRAVITY_OFFSET},
    {"waterGravity", EXT_IPR_WATER_GRAVITY_OFFSET},
}};

// The fluid state of one stream, in internal units; undefined fields hold
// kUndefined. Per-component vectors are empty or hold one entry per
// component.
struct StreamState {
  std::array<double, kScalarFields.size()> scalars;
  std::uint32_t eosModel = EXT_EOS_OTHER;
  bool compositionPresent = false;
  std::uint32_t componentFlags = 0;
  std::vector<double> moleFractions;
  std::array<std::vector<double>, kComponentProperties.size()> properties;
  std::vector<std::vector<double>> interaction;  // n x n when the bit is set

  StreamState() { scalars.fill(kUndefined); }
};

// An IPR record for stream `handle`, every value undefined, ready for GetIPR.
Record NewIprRecord(std::uint32_t handle);
// An IPR record carrying `state` for SetIPR; `componentCount` components.
Record EncodeIpr(std::uint32_t handle, const StreamState& state, std::size_t componentCount);
// The flag bits of the per-component properties and interaction `state`
// carries: what EncodeIpr sends in the record's component flags.
std::uint32_t ComponentFlags(const StreamState& state);
// An input stream's state as the run records it: `given` with the component
// flags that went with it.
StreamState SentInput(const StreamState& given);
// The state GetIPR left in `record`.
StreamState DecodeIpr(const Record& record);

// One stream as EnumStreams describes it.
struct StreamInfo {
  std::uint32_t handle = 0;
  bool output = false;
  std::string name;
  std::vector<std::string> components;  // empty when compositions are off
};

// The optimisation problem SetupOptimisation describes.
struct Bound {
  bool present = false;
  double value = kUndefined;
};
struct ControlInfo {
  std::string name, unit;
  Bound lower, upper;
  std::int32_t handle = 0;
};
enum class ConstraintType { kLess, kEqual, kGreater };
struct ConstraintInfo {
  std::string name, unit;
  double limit = 0;
  ConstraintType type = ConstraintType::kLess;
  std::int32_t handle = 0;
};
struct IntControlInfo {
  std::string name;
  std::int32_t handle = 0;
  std::vector<std::string> labels;
};
struct ProblemInfo {
  bool objectiveDefined = false;
  std::string objectiveName, objectiveUnit;
  bool maximise = true;
  std::vector<ControlInfo> controls;
  std::vector<ConstraintInfo> constraints;
  std::vector<IntControlInfo> intControls;

  bool HasOptimisation() const {
    return objectiveDefined && (!controls.empty() || !intControls.empty());
  }
};

// Reads a problem record; counts are clamped to what the record holds.
ProblemInfo DecodeProblem(const Record& record);

// OLE dates (days since 1899-12-30) and ISO dates (YYYY-MM-DD).
bool ParseIsoDate(const std::string& text, double& oleDate);
std::string FormatIsoDate(double oleDate);

}  // namespace refhost
