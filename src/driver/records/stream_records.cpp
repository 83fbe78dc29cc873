#include "driver/records/stream_records.h"

#include <array>
#include <cstddef>

namespace driver {
namespace {

using casedata::ComponentValues;
using casedata::IprValues;
using casedata::kComponentColumnCount;
using casedata::kMaxComponents;

// The values' constants are the host's.
static_assert(kMaxComponents == EXT_IPR_MAX_COMPONENTS &&
              kMaxComponents == EXT_COMPONENT_LIST_MAX_COMPONENTS);
static_assert(EXT_IPR_INTERACTION_ROW_SIZE == sizeof(ComponentValues));
static_assert(casedata::kEosOther == EXT_EOS_OTHER && casedata::kEosPengRobinson == EXT_EOS_PR &&
              casedata::kEosSoaveRedlichKwong == EXT_EOS_SRK);
static_assert(casedata::kHasCriticalTemperature == EXT_IPR_HAS_CRITICAL_TEMPERATURE &&
              casedata::kHasCriticalPressure == EXT_IPR_HAS_CRITICAL_PRESSURE &&
              casedata::kHasCriticalVolume == EXT_IPR_HAS_CRITICAL_VOLUME &&
              casedata::kHasAcentricity == EXT_IPR_HAS_ACENTRICITY &&
              casedata::kHasMolecularWeight == EXT_IPR_HAS_MOLECULAR_WEIGHT &&
              casedata::kHasSpecificGravity == EXT_IPR_HAS_SPECIFIC_GRAVITY &&
              casedata::kHasBoilingPoint == EXT_IPR_HAS_BOILING_POINT &&
              casedata::kHasVolumeShift == EXT_IPR_HAS_VOLUME_SHIFT &&
              casedata::kHasOmegaA == EXT_IPR_HAS_OMEGA_A &&
              casedata::kHasOmegaB == EXT_IPR_HAS_OMEGA_B &&
              casedata::kHasParachor == EXT_IPR_HAS_PARACHOR &&
              casedata::kHasInteraction == EXT_IPR_HAS_INTERACTION &&
              casedata::kHasCostaldAcent == EXT_IPR_HAS_COSTALD_ACENT &&
              casedata::kHasCostaldVcrit == EXT_IPR_HAS_COSTALD_VCRIT);

// The record's array of each component-table column, in column order.
constexpr std::array<std::size_t, kComponentColumnCount> kComponentArrays = {
    EXT_IPR_MOLE_FRACTION_OFFSET,     EXT_IPR_CRITICAL_TEMPERATURE_OFFSET,
    EXT_IPR_CRITICAL_PRESSURE_OFFSET, EXT_IPR_CRITICAL_VOLUME_OFFSET,
    EXT_IPR_ACENTRICITY_OFFSET,       EXT_IPR_MOLECULAR_WEIGHT_OFFSET,
    EXT_IPR_SPECIFIC_GRAVITY_OFFSET,  EXT_IPR_BOILING_POINT_OFFSET,
    EXT_IPR_VOLUME_SHIFT_OFFSET,      EXT_IPR_OMEGA_A_OFFSET,
    EXT_IPR_OMEGA_B_OFFSET,           EXT_IPR_PARACHOR_OFFSET,
    EXT_IPR_COSTALD_VCRIT_OFFSET,     EXT_IPR_COSTALD_ACENT_OFFSET};

// The IPR record's fields. `Values` is IprValues to read, const IprValues
// to write.
template <typename Visitor, typename Values>
void IprFields(Visitor& v, Values& x) {
  v.U32(EXT_IPR_HANDLE_OFFSET, x.handle);
  v.Double(EXT_IPR_OIL_RATE_OFFSET, x.oilRate);
  v.Double(EXT_IPR_WATER_RATE_OFFSET, x.waterRate);
  v.Double(EXT_IPR_GAS_RATE_OFFSET, x.gasRate);
  v.Double(EXT_IPR_PRESSURE_OFFSET, x.pressure);
  v.Double(EXT_IPR_MASS_RATE_OFFSET, x.massRate);
  v.Double(EXT_IPR_TEMPERATURE_OFFSET, x.temperature);
  v.U32(EXT_IPR_COMPOSITION_PRESENT_OFFSET, x.compositionPresent);
  v.U32(EXT_IPR_COMPONENT_COUNT_OFFSET, x.componentCount);
  v.U32(EXT_IPR_COMPONENT_FLAGS_OFFSET, x.componentFlags);
  for (std::size_t k = 0; k < kComponentColumnCount; ++k)
    v.Doubles(kComponentArrays[k], x.components[k]);
  for (std::size_t i = 0; i < kMaxComponents; ++i)
    v.Doubles(EXT_IPR_INTERACTION_OFFSET + EXT_IPR_INTERACTION_ROW_SIZE * i, x.interaction[i]);
  v.U32(EXT_IPR_EOS_MODEL_OFFSET, x.eosModel);
  v.Double(EXT_IPR_OIL_GRAVITY_OFFSET, x.oilGravity);
  v.Double(EXT_IPR_GAS_GRAVITY_OFFSET, x.gasGravity);
  v.Double(EXT_IPR_WATER_GRAVITY_OFFSET, x.waterGravity);
}

// Fields the record does not hold keep the values' defaults.
struct Reader {
  const host::ConstHostRecord& record;
  void U32(std::size_t offset, std::uint32_t& value) const {
    static_cast<void>(record.ReadU32(offset, value));
  }
  void Double(std::size_t offset, double& value) const {
    static_cast<void>(record.ReadDouble(offset, value));
  }
  void Doubles(std::size_t offset, ComponentValues& values) const {
    for (std::size_t i = 0; i < values.size(); ++i)
      Double(offset + sizeof(double) * i, values[i]);
  }
};

// Writes only what lies inside the record.
struct Writer {
  host::HostRecord& record;
  void U32(std::size_t offset, std::uint32_t value) const {
    static_cast<void>(record.WriteU32(offset, value));
  }
  void Double(std::size_t offset, double value) const {
    static_cast<void>(record.WriteDouble(offset, value));
  }
  void Doubles(std::size_t offset, const ComponentValues& values) const {
    for (std::size_t i = 0; i < values.size(); ++i)
      Double(offset + sizeof(double) * i, values[i]);
  }
};

}  // namespace

std::optional<std::uint32_t> ReadStreamCursor(const host::ConstHostRecord& record) {
  std::uint32_t cursor = 0;
  if (!record.ReadU32(EXT_STREAM_CURSOR_OFFSET, cursor)) return std::nullopt;
  return cursor;
}

bool WriteStreamListing(host::HostRecord& record, const casedata::StreamListing& listing) {
  bool ok = record.WriteU32(EXT_STREAM_CURSOR_OFFSET, listing.handle);
  ok = record.WriteU32(EXT_STREAM_WORD12_OFFSET, 0) && ok;
  ok = record.WriteU32(EXT_STREAM_WORD16_OFFSET, 0) && ok;
  ok = record.WriteU32(EXT_STREAM_WORD20_OFFSET, 0) && ok;
  ok = record.WriteU32(EXT_STREAM_WORD24_OFFSET, 1) && ok;
  ok = record.WriteU32(EXT_STREAM_IS_OUTPUT_OFFSET, listing.isOutput ? 1 : 0) && ok;
  ok = record.WriteU32(EXT_STREAM_KIND_OFFSET,
                       listing.isOutput ? EXT_STREAM_KIND_OUTPUT : EXT_STREAM_KIND_INPUT) &&
       ok;
  ok = record.WriteText(EXT_STREAM_NAME_OFFSET, EXT_STREAM_NAME_SIZE, listing.name) && ok;
  ok = record.WriteText(EXT_STREAM_DESCRIPTION_OFFSET, EXT_STREAM_DESCRIPTION_SIZE,
                        listing.description) &&
       ok;
  return ok;
}

host::HostRecord OpenIprRecord(void* data) {
  std::uint32_t size = 0;
  const host::ConstHostRecord word(data, sizeof size);
  if (!word.ReadU32(EXT_IPR_SIZE_OFFSET, size) || size != EXT_IPR_RECORD_SIZE) return {};
  return host::HostRecord(data, EXT_IPR_RECORD_SIZE);
}

casedata::IprValues ReadIprRecord(const host::ConstHostRecord& record) {
  IprValues values;
  const Reader reader{record};
  IprFields(reader, values);
  return values;
}

void WriteIprRecord(host::HostRecord& record, const casedata::IprValues& values) {
  const Writer writer{record};
  IprFields(writer, values);
}

bool WriteComponentList(host::HostRecord& record, const casedata::ComponentList& list) {
  bool ok = record.WriteU32(EXT_COMPONENT_LIST_COUNT_OFFSET,
                            static_cast<std::uint32_t>(list.names.size()));
  for (std::size_t i = 0; i < list.names.size(); ++i) {
    ok = record.WriteText(EXT_COMPONENT_LIST_NAMES_OFFSET + EXT_COMPONENT_LIST_NAME_SIZE * i,
                          EXT_COMPONENT_LIST_NAME_SIZE, list.names[i]) &&
         ok;
  }
  return ok;
}

}  // namespace driver
