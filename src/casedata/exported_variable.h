// A published variable: a named value of the workbook, bound to one cell or
// to a block of cells, that the host reads and sets by name as text.
#pragma once

#include <algorithm>
#include <cstdint>
#include <string>

#include "casedata/collection_object.h"
#include "casedata/ext_collection.h"

namespace casedata {

inline constexpr std::int32_t kMinRegion = 1;
inline constexpr std::int32_t kMaxRegion = 10000;

// A block's width or height as it is used: 1 ... 10000 whatever was stored,
// so that no loop over a block runs zero times or for ever.
constexpr std::int32_t ClampRegion(std::int32_t size) {
  return std::clamp(size, kMinRegion, kMaxRegion);
}

enum CascadeDirection : std::uint32_t { kVertical = 0, kHorizontal = 1 };

class CExcExportedVariable : public CExtCollectionObject {
 public:
  std::string Key() const override { return name; }

  // The block's columns and rows, clamped.
  std::int32_t Width() const { return ClampRegion(RegionWidth); }
  std::int32_t Height() const { return ClampRegion(RegionHeight); }
  // A block is anything but a single cell.
  bool IsBlock() const { return Width() != 1 || Height() != 1; }

  // Every field equal, texts compared exactly.
  bool operator==(const CExcExportedVariable& other) const {
    return name == other.name && unit == other.unit && worksheet == other.worksheet &&
           cell == other.cell && CascadeCell == other.CascadeCell &&
           CascadeDirection == other.CascadeDirection && RegionWidth == other.RegionWidth &&
           RegionHeight == other.RegionHeight && ColumnDelimiter == other.ColumnDelimiter &&
           RowDelimiter == other.RowDelimiter;
  }

  std::string name;
  std::string unit;
  std::string worksheet;
  std::string cell;                            // the cell, or the top left cell of the block
  std::string CascadeCell;                     // blank: no cascade
  std::uint32_t CascadeDirection = kVertical;  // any value but 0 steps by column
  std::int32_t RegionWidth = 1;
  std::int32_t RegionHeight = 1;
  std::string ColumnDelimiter;  // blank: a tab
  std::string RowDelimiter;     // blank: a line feed
};

using CExcclExportedVariable = CExtCollection<CExcExportedVariable>;

}  // namespace casedata
