#include "streams/stream_transfer.h"

#include <algorithm>
#include <array>
#include <climits>
#include <optional>
#include <string>

#include "automation/cell_address.h"
#include "automation/cell_transfer.h"
#include "automation/spreadsheet_lock.h"
#include "case/stream_data.h"
#include "com/error.h"
#include "com/variant.h"
#include "host/message.h"
#include "streams/composition_transfer.h"
#include "streams/transfer_common.h"

namespace streams {
namespace {

using detail::ReadDouble;

constexpr char kIncompatible[] =
    "This version of Gridmoor.dll is not compatible with the version of Conflux";
constexpr char kStreamDescription[] = "Excel stream";

// The host's IPR record, once its size word says it is one.
bool OpenIprRecord(void* data, host::HostRecord& record) {
  std::uint32_t size = 0;
  const host::ConstHostRecord word(data, sizeof size);
  if (!word.ReadU32(EXT_IPR_SIZE_OFFSET, size) || size != EXT_IPR_RECORD_SIZE) return false;
  record = host::HostRecord(data, EXT_IPR_RECORD_SIZE);
  return true;
}

std::uint32_t ReadHandle(const host::ConstHostRecord& record) {
  std::uint32_t handle = 0;
  static_cast<void>(record.ReadU32(EXT_IPR_HANDLE_OFFSET, handle));
  return handle;
}

// The record field an output row fills.
constexpr std::array<std::size_t, kOutputRowCount> kOutputFields = {
    EXT_IPR_OIL_RATE_OFFSET,      EXT_IPR_WATER_RATE_OFFSET,  EXT_IPR_GAS_RATE_OFFSET,
    EXT_IPR_PRESSURE_OFFSET,      EXT_IPR_TEMPERATURE_OFFSET, EXT_IPR_OIL_GRAVITY_OFFSET,
    EXT_IPR_WATER_GRAVITY_OFFSET, EXT_IPR_GAS_GRAVITY_OFFSET};

// Whether the host gave a value: it writes nothing for an undefined one (or
// one that is not a number at all).
bool Given(double value) {
  return value < automation::kUndefinedThreshold;
}

// The number an input row writes, or none when the host left its value
// undefined.
std::optional<double> InputRowValue(std::size_t row, const host::ConstHostRecord& record,
                                    double runDate, std::uint32_t unit) {
  const int kind = kInputRows[row].kind;
  const auto converted = [&](double value) -> std::optional<double> {
    if (!Given(value)) return std::nullopt;
    return FromInternalUnits(value, kind, static_cast<int>(unit));
  };
  switch (row) {
    case kInDate:
      return runDate;
    case kInOilRate:
      return converted(ReadDouble(record, EXT_IPR_OIL_RATE_OFFSET));
    case kInWaterRate:
      return converted(ReadDouble(record, EXT_IPR_WATER_RATE_OFFSET));
    case kInLiquidRate: {
      const double oil = ReadDouble(record, EXT_IPR_OIL_RATE_OFFSET);
      const double water = ReadDouble(record, EXT_IPR_WATER_RATE_OFFSET);
      if (!Given(oil) || !Given(water)) return std::nullopt;
      return converted(oil + water);
    }
    case kInGasRate:
      return converted(ReadDouble(record, EXT_IPR_GAS_RATE_OFFSET));
    case kInPressure:
      return converted(ReadDouble(record, EXT_IPR_PRESSURE_OFFSET));
    case kInTemperature:
      return converted(ReadDouble(record, EXT_IPR_TEMPERATURE_OFFSET));
    case kInOilGravity:
      return converted(ReadDouble(record, EXT_IPR_OIL_GRAVITY_OFFSET));
    case kInWaterGravity:
      return converted(ReadDouble(record, EXT_IPR_WATER_GRAVITY_OFFSET));
    case kInGasGravity:
      return converted(ReadDouble(record, EXT_IPR_GAS_GRAVITY_OFFSET));
    default:
      return std::nullopt;
  }
}

void WriteNumber(automation::CExcExcelObj& session, const std::string& cell, double value) {
  // No current worksheet means nothing was written: a failure, not a skip.
  if (session.SetCellValue(cell, com::Variant::Double(value)) != 0) com::Throw(com::E_POINTER);
}

// The stream's worksheet, added under that name when it is not there; the
// stream then keeps the name the new sheet actually got.
bool SelectOrAddWorksheet(automation::CExcExcelObj& session, CExcInputStreamData& stream,
                          host::StatusRecord& out) {
  char scratch[EXT_STATUS_TEXT_SIZE] = {};
  if (session.SelectWorksheet(stream.sheetName, scratch) == 0) return true;
  char added[EXT_STATUS_TEXT_SIZE] = {};
  if (session.AddWorksheet(stream.sheetName, added) != 0) {
    host::WriteStatus(out, "Error in setting data in Excel: %s", added);
    return false;
  }
  stream.sheetName = session.GetWorksheetName();
  return true;
}

}  // namespace

std::int32_t EnumStreams(const model::CExcCaseDetails& details, bool createFailed,
                         void* streamRecord, std::int32_t query, ExtStatusRecord* status) {
  host::StatusRecord out(status);
  if (createFailed) return host::Fail(out, "%s", automation::kNoConnectionMessage);
  if (query == 2) return EXT_RESULT_NONE;
  host::HostRecord record(streamRecord, EXT_STREAM_RECORD_MIN_SIZE);
  std::uint32_t cursor = 0;
  if (!record.ReadU32(EXT_STREAM_CURSOR_OFFSET, cursor))
    return host::Fail(out, "Invalid stream record passed to Gridmoor::EnumStreams");
  const std::uint32_t next = cursor + 1;  // 0xFFFFFFFF wraps to the first
  const std::uint64_t total = static_cast<std::uint64_t>(details.inputCount) + details.outputCount;
  if (next >= total) return EXT_RESULT_NONE;

  const bool isInput = next < details.inputCount;
  bool ok = record.WriteU32(EXT_STREAM_CURSOR_OFFSET, next);
  ok = record.WriteU32(EXT_STREAM_WORD12_OFFSET, 0) && ok;
  ok = record.WriteU32(EXT_STREAM_WORD16_OFFSET, 0) && ok;
  ok = record.WriteU32(EXT_STREAM_WORD20_OFFSET, 0) && ok;
  ok = record.WriteU32(EXT_STREAM_WORD24_OFFSET, 1) && ok;
  ok = record.WriteU32(EXT_STREAM_IS_OUTPUT_OFFSET, isInput ? 0 : 1) && ok;
  ok = record.WriteU32(EXT_STREAM_KIND_OFFSET,
                       isInput ? EXT_STREAM_KIND_INPUT : EXT_STREAM_KIND_OUTPUT) &&
       ok;
  const std::string name =
      isInput ? InputStreamName(next) : OutputStreamName(next - details.inputCount);
  ok = record.WriteText(EXT_STREAM_NAME_OFFSET, EXT_STREAM_NAME_SIZE, name) && ok;
  ok = record.WriteText(EXT_STREAM_DESCRIPTION_OFFSET, EXT_STREAM_DESCRIPTION_SIZE,
                        kStreamDescription) &&
       ok;
  return ok ? EXT_RESULT_OK : EXT_RESULT_FAILED;
}

std::int32_t GetIPR(const model::CExcCaseDetails& details, automation::CExcExcelObj* session,
                    void* iprRecord, ExtStatusRecord* status) {
  const automation::SpreadsheetLock lock;
  host::StatusRecord out(status);
  host::HostRecord record;
  if (!OpenIprRecord(iprRecord, record)) return host::Fail(out, "%s", kIncompatible);
  const std::uint32_t handle = ReadHandle(record);
  const CExcOutputStreamData* stream = nullptr;
  if (handle >= details.inputCount && handle - details.inputCount < details.outputCount) {
    stream = details.outputStreams.At(handle - details.inputCount);
  }
  if (stream == nullptr) return host::Fail(out, "Invalid handle passed to Gridmoor::GetIPR");
  if (session == nullptr) return host::Fail(out, "%s", automation::kNoConnectionMessage);
  // Checked before anything is read, so that a refused record is untouched.
  const CExcCompositionDefinition* composition =
      stream->composition.componentTableCell.IsBlank()
          ? nullptr
          : detail::TransferredComposition(details, stream->compositionName);
  if (composition != nullptr && detail::RefuseOversizedComposition(*composition, out)) {
    return EXT_RESULT_FAILED;
  }

  char scratch[EXT_STATUS_TEXT_SIZE] = {};
  if (session->SelectWorksheet(stream->sheetName, scratch) != 0) {
    return host::Fail(out, "Unable to get worksheet for output stream Out-%u",
                      handle - details.inputCount + 1);
  }
  try {
    for (std::size_t row = 0; row < kOutputRowCount; ++row) {
      const CExcPropertyCell& bound = stream->propertyCells[row];
      if (bound.cell.IsBlank()) continue;  // the host's value stays
      // The current worksheet: the one just selected.
      const double value =
          automation::ReadCellNumber(session, std::string(), bound.cell.str(), stream->sheetName);
      static_cast<void>(record.WriteDouble(
          kOutputFields[row],
          ToInternalUnits(value, kOutputRows[row].kind, static_cast<int>(bound.unit))));
    }
    if (composition != nullptr) {
      detail::ReadCompositionBlock(*session, stream->sheetName, stream->composition,
                                   composition->ComponentCount(), record);
    }
  } catch (const com::Error& error) {
    return host::Fail(out, "Error in getting data from Excel: %s", error.ErrorMessage().c_str());
  } catch (const automation::CellReadError& error) {
    return host::Fail(out, "Error in getting data from Excel: %s", error.what());
  }
  return EXT_RESULT_OK;
}

std::int32_t SetIPR(model::CExcCaseDetails& details, automation::CExcExcelObj* session,
                    const RunPosition& position, void* iprRecord, ExtStatusRecord* status) {
  const automation::SpreadsheetLock lock;
  host::StatusRecord out(status);
  host::HostRecord record;
  if (!OpenIprRecord(iprRecord, record)) return host::Fail(out, "%s", kIncompatible);
  const std::uint32_t handle = ReadHandle(record);
  CExcInputStreamData* stream =
      handle < details.inputCount ? details.inputStreams.At(handle) : nullptr;
  if (stream == nullptr) return host::Fail(out, "Invalid handle passed to Gridmoor::SetIPR");
  if (session == nullptr) return host::Fail(out, "%s", automation::kNoConnectionMessage);
  // Checked before any cell is written or any sheet added.
  const CExcCompositionDefinition* composition =
      detail::TransferredComposition(details, stream->compositionName);
  if (composition != nullptr && detail::RefuseOversizedComposition(*composition, out)) {
    return EXT_RESULT_FAILED;
  }
  if (!SelectOrAddWorksheet(*session, *stream, out)) return EXT_RESULT_FAILED;

  const host::ConstHostRecord& values = record;
  const bool forecastByRow = stream->forecastDirection == kForecastVertical;
  const int step = static_cast<int>(std::min<std::uint32_t>(position.timestep, INT_MAX));
  try {
    if (stream->solverDisplay) {
      for (std::size_t row = 0; row < kInputRowCount; ++row) {
        const CExcPropertyCell& bound = stream->solverCells[row];
        if (bound.cell.IsBlank()) continue;
        const std::optional<double> value =
            InputRowValue(row, values, position.runDate, bound.unit);
        if (value) WriteNumber(*session, bound.cell.str(), *value);
      }
    }
    if (stream->forecastDisplay) {
      for (std::size_t row = 0; row < kInputRowCount; ++row) {
        const CExcPropertyCell& bound = stream->forecastCells[row];
        if (bound.cell.IsBlank()) continue;
        const std::optional<double> value =
            InputRowValue(row, values, position.runDate, bound.unit);
        if (!value) continue;
        const std::string cell = automation::OffsetCell(bound.cell.view(), step, forecastByRow);
        if (!cell.empty()) WriteNumber(*session, cell, *value);
      }
    }
    if (composition != nullptr) {
      detail::WriteCompositionBlock(*session, stream->composition, *composition, values);
    }
  } catch (const com::Error& error) {
    return host::Fail(out, "Error in setting data in Excel: %s", error.ErrorMessage().c_str());
  }
  return EXT_RESULT_OK;
}

}  // namespace streams
