// The stream records: which worksheet cells an input stream writes and an
// output stream reads, in which units, and where a stream's composition
// block lies.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "casedata/ext_collection.h"
#include "casedata/unit_table.h"

namespace casedata {

// A cell reference in the host's 16-byte form: at most 15 characters; longer
// texts are cut. Blank (empty or spaces only) means not bound.
class CellField {
 public:
  static constexpr std::size_t kSize = 16;
  static constexpr std::size_t kMaxLength = kSize - 1;

  CellField() = default;
  // Implicit: a cell reference is written as its text.
  CellField(std::string_view text) { Set(text); }
  CellField(const char* text) {
    Set(text != nullptr ? std::string_view(text) : std::string_view());
  }
  CellField(const std::string& text) { Set(text); }

  void Set(std::string_view text);
  std::string_view view() const;
  std::string str() const { return std::string(view()); }
  bool IsBlank() const;

  friend bool operator==(const CellField& a, const CellField& b) { return a.view() == b.view(); }

 private:
  std::array<char, kSize> text_{};
};

// One bound property: its cell and the index of its unit within the
// property's quantity kind (ignored for a property without a kind).
struct CExcPropertyCell {
  CellField cell;
  std::uint32_t unit = 0;
};

// Where a stream's composition lies in its worksheet. A new block is all
// empty, every unit the first (internal) one, oilfield.
struct CExcStreamCompositionData {
  // Top-left cell of the component table: one row per component, the name
  // in column 0 and the properties in columns 1 ... 14.
  CellField componentTableCell;
  // Top-left cell of the n x n binary interaction coefficients.
  CellField interactionCell;
  CellField massRateCell;
  std::uint32_t massRateUnit = 0;
  // Entry k - 1 is the unit of component-table column k (1 ... 14); the
  // rest are kept with the case only.
  std::array<std::uint32_t, 20> columnUnits{};
  std::uint32_t unitSystem = kOilfield;
  CellField eosModelCell;
};

// Rows of an input stream (host -> workbook), in table order.
enum InputRow : std::size_t {
  kInDate,
  kInOilRate,
  kInWaterRate,
  kInLiquidRate,
  kInGasRate,
  kInPressure,
  kInTemperature,
  kInOilGravity,
  kInWaterGravity,
  kInGasGravity,
  kInputRowCount
};

// Rows of an output stream (workbook -> host), in table order.
enum OutputRow : std::size_t {
  kOutOilRate,
  kOutWaterRate,
  kOutGasRate,
  kOutPressure,
  kOutTemperature,
  kOutOilGravity,
  kOutWaterGravity,
  kOutGasGravity,
  kOutputRowCount
};

struct StreamRowInfo {
  const char* label;
  int kind;  // UnitKind; kNoKind passes unconverted
};

extern const std::array<StreamRowInfo, kInputRowCount> kInputRows;
extern const std::array<StreamRowInfo, kOutputRowCount> kOutputRows;

// ForecastDirection: each timestep moves the forecast one row down
// (vertically) or one column right (horizontally).
inline constexpr std::uint32_t kForecastHorizontal = 0;
inline constexpr std::uint32_t kForecastVertical = 1;

class CExcInputStreamData {
 public:
  bool solverDisplay = true;    // write current values into solverCells
  bool forecastDisplay = true;  // write values into forecastCells, a step per timestep
  std::uint32_t solverUnitSystem = kOilfield;
  std::uint32_t forecastUnitSystem = kOilfield;
  std::uint32_t forecastDirection = kForecastVertical;
  std::string sheetName;
  std::string compositionName;
  CExcStreamCompositionData composition;
  std::array<CExcPropertyCell, kInputRowCount> solverCells;
  std::array<CExcPropertyCell, kInputRowCount> forecastCells;
};

class CExcOutputStreamData {
 public:
  std::string sheetName;
  std::uint32_t unitSystem = kOilfield;
  std::string compositionName;
  CExcStreamCompositionData composition;
  std::array<CExcPropertyCell, kOutputRowCount> propertyCells;
};

using CExcclInputStreamData = CExtCollection<CExcInputStreamData>;
using CExcclOutputStreamData = CExtCollection<CExcOutputStreamData>;

// Cuts the collection from the end, or extends it with default records, so
// that it holds exactly `count` streams. The case calls it whenever a stream
// count changes (a new case: 1 and 1).
template <typename Stream>
void ResizeStreams(CExtCollection<Stream>& streams, std::size_t count) {
  while (streams.size() > count)
    streams.RemoveAt(streams.size() - 1);
  while (streams.size() < count)
    streams.Add(std::make_unique<Stream>());
}

// Display names of stream handles: "In-%d" and "Out-%d", counted from 1.
std::string InputStreamName(std::size_t index);
std::string OutputStreamName(std::size_t index);

}  // namespace casedata
