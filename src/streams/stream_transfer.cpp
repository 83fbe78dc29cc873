#include "streams/stream_transfer.h"

#include <algorithm>
#include <array>
#include <climits>
#include <optional>
#include <string>
#include <vector>

#include "automation/block_transfer.h"
#include "automation/cell_address.h"
#include "automation/cell_transfer.h"
#include "automation/spreadsheet_lock.h"
#include "casedata/stream_data.h"
#include "com/error.h"
#include "com/variants/variant.h"
#include "streams/composition_transfer.h"
#include "streams/transfer_common.h"

namespace streams {
namespace {

using outcome::Error;

constexpr char kStreamDescription[] = "Excel stream";

// The value an output row fills.
constexpr std::array<double casedata::IprValues::*, casedata::kOutputRowCount> kOutputFields = {
    &casedata::IprValues::oilRate,      &casedata::IprValues::waterRate,
    &casedata::IprValues::gasRate,      &casedata::IprValues::pressure,
    &casedata::IprValues::temperature,  &casedata::IprValues::oilGravity,
    &casedata::IprValues::waterGravity, &casedata::IprValues::gasGravity};

// Whether the host gave a value: it writes nothing for an undefined one (or
// one that is not a number at all).
bool Given(double value) {
  return value < automation::kUndefinedThreshold;
}

// The number an input row writes, or none when the host left its value
// undefined.
std::optional<double> InputRowValue(std::size_t row, const casedata::IprValues& values,
                                    double runDate, std::uint32_t unit) {
  const int kind = casedata::kInputRows[row].kind;
  const auto converted = [&](double value) -> std::optional<double> {
    if (!Given(value)) return std::nullopt;
    return casedata::FromInternalUnits(value, kind, static_cast<int>(unit));
  };
  switch (row) {
    case casedata::kInDate:
      return runDate;
    case casedata::kInOilRate:
      return converted(values.oilRate);
    case casedata::kInWaterRate:
      return converted(values.waterRate);
    case casedata::kInLiquidRate: {
      const double oil = values.oilRate;
      const double water = values.waterRate;
      if (!Given(oil) || !Given(water)) return std::nullopt;
      return converted(oil + water);
    }
    case casedata::kInGasRate:
      return converted(values.gasRate);
    case casedata::kInPressure:
      return converted(values.pressure);
    case casedata::kInTemperature:
      return converted(values.temperature);
    case casedata::kInOilGravity:
      return converted(values.oilGravity);
    case casedata::kInWaterGravity:
      return converted(values.waterGravity);
    case casedata::kInGasGravity:
      return converted(values.gasGravity);
    default:
      return std::nullopt;
  }
}

// Numbers bound for cells of the current worksheet, written in one call
// when the cells form a column or a row in their order, one by one
// otherwise (or when that call fails), so that a failure stops at the same
// cell.
class CellWrites {
 public:
  void Add(std::string cell, double value) {
    cells_.push_back(std::move(cell));
    values_.push_back(com::Variant::Double(value));
  }
  Error Write(automation::CExcExcelObj& session) const {
    if (automation::WriteLine(session, cells_, values_)) return Error::Success();
    for (std::size_t i = 0; i < cells_.size(); ++i)
      // No current worksheet means nothing was written: a failure, not a skip.
      if (session.SetCellValue(cells_[i], values_[i]) != 0) return com::Failure(com::E_POINTER);
    return Error::Success();
  }

 private:
  std::vector<std::string> cells_;
  std::vector<com::Variant> values_;
};

// The host's messages for a read or a write that failed with `why`.
Error GettingDataFailed(const Error& why) {
  return Error::Failed("Error in getting data from Excel: " + why.Message());
}
Error SettingDataFailed(const Error& why) {
  return Error::Failed("Error in setting data in Excel: " + why.Message());
}

// Whether one read of `block` reads few cells beside the `cells` wanted: a
// cell costs less than a call, but thousands of them do not.
bool Tight(const automation::CellBlock& block, std::size_t cells) {
  return block.rows * block.columns <= cells + cells / 8;
}

// The property rows' cells, those given, in order.
std::vector<std::string> PropertyCells(const casedata::CExcOutputStreamData& stream,
                                       std::vector<std::size_t>* rows = nullptr) {
  std::vector<std::string> cells;
  for (std::size_t row = 0; row < casedata::kOutputRowCount; ++row) {
    if (stream.propertyCells[row].cell.IsBlank()) continue;
    if (rows != nullptr) rows->push_back(row);
    cells.push_back(stream.propertyCells[row].cell.str());
  }
  return cells;
}

// The cells GetIPR reads, read ahead: the property cells, the composition's
// table, matrix and the cells below it in one call where one rectangle holds
// little else; otherwise the property cells and the composition each in one
// where they can be.
struct StreamReads {
  automation::BlockRead properties;            // the property cells
  std::optional<automation::BlockRead> apart;  // the composition, read apart
  // Where each property cell lies when `properties` is the one rectangle
  // that holds the composition's cells too.
  std::optional<std::vector<automation::CellPosition>> together;

  // The i-th given property cell's value; null when it must be read alone.
  const com::Variant* Property(std::size_t i) const {
    return together ? properties.At((*together)[i]) : properties.Nth(i);
  }
  // The read holding the composition's cells; null when they were not read
  // ahead.
  const automation::BlockRead* Composition() const {
    if (together) return properties.WasRead() ? &properties : nullptr;
    return apart && apart->WasRead() ? &*apart : nullptr;
  }
};

// The rectangle holding the property cells and the composition's, and where
// each property cell lies; none when a property cell is not a plain cell or
// the rectangle holds too much else.
std::optional<automation::CellBlock> TogetherBlock(const std::vector<std::string>& cells,
                                                   const detail::CompositionPlaces& composition,
                                                   std::vector<automation::CellPosition>& places) {
  automation::CellBlock covering = composition.Covering();
  for (const std::string& cell : cells) {
    const std::optional<automation::CellPosition> place = automation::PlainCell(cell);
    if (!place) return std::nullopt;
    places.push_back(*place);
    covering = automation::Union(covering, {place->row, place->column, 1, 1});
  }
  if (!Tight(covering, cells.size() + composition.CellCount())) return std::nullopt;
  return covering;
}

StreamReads ReadAhead(automation::CExcExcelObj& session,
                      const casedata::CExcOutputStreamData& stream,
                      const casedata::CExcCompositionDefinition* composition) {
  std::vector<std::string> cells = PropertyCells(stream);
  // Rectangles worked out from the top-left cells: no address per cell.
  std::optional<detail::CompositionPlaces> places =
      composition != nullptr
          ? detail::CompositionBlocks(stream.composition, composition->ComponentCount())
          : std::nullopt;
  if (places) {
    std::vector<automation::CellPosition> at;
    if (const std::optional<automation::CellBlock> block = TogetherBlock(cells, *places, at))
      return {automation::BlockRead(session, *block), std::nullopt, std::move(at)};
  }
  StreamReads reads{automation::BlockRead::Covering(session, std::move(cells)), std::nullopt,
                    std::nullopt};
  if (!places) return reads;
  if (!Tight(places->Covering(), places->CellCount())) {
    // The mass rate and EOS model cells are then read alone.
    places->massRate.reset();
    places->eosModel.reset();
  }
  if (Tight(places->Covering(), places->CellCount()))
    reads.apart.emplace(session, places->Covering());
  return reads;
}

// The stream's bound rows from the current worksheet, the one just
// selected; a blank row keeps the host's value. Their cells come from
// `reads` where it holds them, and are taken in row order, so that the
// first failing cell decides what was filled.
Error ReadPropertyRows(automation::CExcExcelObj& session,
                       const casedata::CExcOutputStreamData& stream, const StreamReads& reads,
                       casedata::IprValues& values) {
  std::vector<std::size_t> rows;
  const std::vector<std::string> cells = PropertyCells(stream, &rows);
  for (std::size_t i = 0; i < rows.size(); ++i) {
    const std::size_t row = rows[i];
    const com::Variant* read = reads.Property(i);
    outcome::Expected<double> value =
        read != nullptr
            ? automation::CellNumber(*read, stream.sheetName, cells[i])
            : automation::ReadCellNumber(&session, std::string(), cells[i], stream.sheetName);
    if (!value) return value.TakeError();
    values.*kOutputFields[row] = casedata::ToInternalUnits(
        *value, casedata::kOutputRows[row].kind, static_cast<int>(stream.propertyCells[row].unit));
  }
  return Error::Success();
}

// The stream's worksheet, added under that name when it is not there; the
// stream then keeps the name the new sheet actually got.
Error SelectOrAddWorksheet(automation::CExcExcelObj& session,
                           casedata::CExcInputStreamData& stream) {
  if (!session.SelectWorksheet(stream.sheetName)) return Error::Success();
  if (const Error added = session.AddWorksheet(stream.sheetName)) {
    return Error::Failed("Error in setting data in Excel: " + added.Message());
  }
  stream.sheetName = session.GetWorksheetName();
  return Error::Success();
}

}  // namespace

outcome::Expected<casedata::StreamListing> EnumStreams(const casedata::CExcCaseDetails& details,
                                                       bool createFailed,
                                                       std::optional<std::uint32_t> cursor,
                                                       std::int32_t query) {
  if (createFailed) return Error::Failed(automation::kNoConnectionMessage);
  if (query == 2) return Error::Failed(std::string(), outcome::kNone);
  if (!cursor) return Error::Failed("Invalid stream record passed to Gridmoor::EnumStreams");
  const std::uint32_t next = *cursor + 1;  // 0xFFFFFFFF wraps to the first
  const std::uint64_t total = static_cast<std::uint64_t>(details.inputCount) + details.outputCount;
  if (next >= total) return Error::Failed(std::string(), outcome::kNone);

  const bool isInput = next < details.inputCount;
  return casedata::StreamListing{
      .handle = next,
      .isOutput = !isInput,
      .name = isInput ? casedata::InputStreamName(next)
                      : casedata::OutputStreamName(next - details.inputCount),
      .description = kStreamDescription};
}

outcome::Partial<casedata::IprValues> GetIPR(const casedata::CExcCaseDetails& details,
                                             automation::CExcExcelObj* session,
                                             casedata::IprValues values) {
  const automation::SpreadsheetLock lock;
  const auto fail = [&values](Error error) {
    return outcome::Partial<casedata::IprValues>{std::move(values), std::move(error)};
  };
  const std::uint32_t handle = values.handle;
  const casedata::CExcOutputStreamData* stream = nullptr;
  if (handle >= details.inputCount && handle - details.inputCount < details.outputCount) {
    stream = details.outputStreams.At(handle - details.inputCount);
  }
  if (stream == nullptr) return fail(Error::Failed("Invalid handle passed to Gridmoor::GetIPR"));
  if (session == nullptr) return fail(Error::Failed(automation::kNoConnectionMessage));
  // Checked before anything is read, so that a refused stream's values stay.
  const casedata::CExcCompositionDefinition* composition =
      stream->composition.componentTableCell.IsBlank()
          ? nullptr
          : detail::TransferredComposition(details, stream->compositionName);
  if (composition != nullptr) {
    if (Error refused = detail::RefuseOversizedComposition(*composition)) {
      return fail(std::move(refused));
    }
  }

  if (const Error selection = session->SelectWorksheet(stream->sheetName)) {
    return fail(Error::Failed("Unable to get worksheet for output stream Out-" +
                              std::to_string(handle - details.inputCount + 1) +
                              automation::WordsIfWorkbookGone(*session, selection.Message())));
  }
  try {
    const StreamReads reads = ReadAhead(*session, *stream, composition);
    if (const Error failed = ReadPropertyRows(*session, *stream, reads, values)) {
      return fail(GettingDataFailed(failed));
    }
    if (composition != nullptr) {
      if (const Error failed = detail::ReadCompositionBlock(
              *session, stream->sheetName, stream->composition, composition->ComponentCount(),
              values, reads.Composition())) {
        return fail(GettingDataFailed(failed));
      }
    }
  } catch (const com::Error& error) {
    return fail(Error::Failed("Error in getting data from Excel: " + error.ErrorMessage()));
  }
  return {std::move(values), Error::Success()};
}

Error SetIPR(casedata::CExcCaseDetails& details, automation::CExcExcelObj* session,
             const RunPosition& position, const casedata::IprValues& values) {
  const automation::SpreadsheetLock lock;
  const std::uint32_t handle = values.handle;
  casedata::CExcInputStreamData* stream =
      handle < details.inputCount ? details.inputStreams.At(handle) : nullptr;
  if (stream == nullptr) return Error::Failed("Invalid handle passed to Gridmoor::SetIPR");
  if (session == nullptr) return Error::Failed(automation::kNoConnectionMessage);
  // Checked before any cell is written or any sheet added.
  const casedata::CExcCompositionDefinition* composition =
      detail::TransferredComposition(details, stream->compositionName);
  if (composition != nullptr) {
    if (Error refused = detail::RefuseOversizedComposition(*composition)) return refused;
  }
  if (Error failed = SelectOrAddWorksheet(*session, *stream)) return failed;

  const bool forecastByRow = stream->forecastDirection == casedata::kForecastVertical;
  const int step = static_cast<int>(std::min<std::uint32_t>(position.timestep, INT_MAX));
  try {
    CellWrites solver;
    CellWrites forecast;
    if (stream->solverDisplay) {
      for (std::size_t row = 0; row < casedata::kInputRowCount; ++row) {
        const casedata::CExcPropertyCell& bound = stream->solverCells[row];
        if (bound.cell.IsBlank()) continue;
        const std::optional<double> value =
            InputRowValue(row, values, position.runDate, bound.unit);
        if (value) solver.Add(bound.cell.str(), *value);
      }
      if (const Error failed = solver.Write(*session)) return SettingDataFailed(failed);
    }
    if (stream->forecastDisplay) {
      for (std::size_t row = 0; row < casedata::kInputRowCount; ++row) {
        const casedata::CExcPropertyCell& bound = stream->forecastCells[row];
        if (bound.cell.IsBlank()) continue;
        const std::optional<double> value =
            InputRowValue(row, values, position.runDate, bound.unit);
        if (!value) continue;
        const std::string cell = automation::OffsetCell(bound.cell.view(), step, forecastByRow);
        if (!cell.empty()) forecast.Add(cell, *value);
      }
      if (const Error failed = forecast.Write(*session)) return SettingDataFailed(failed);
    }
    if (composition != nullptr) {
      if (const Error failed =
              detail::WriteCompositionBlock(*session, stream->composition, *composition, values)) {
        return SettingDataFailed(failed);
      }
    }
  } catch (const com::Error& error) {
    return Error::Failed("Error in setting data in Excel: " + error.ErrorMessage());
  }
  return Error::Success();
}

}  // namespace streams
