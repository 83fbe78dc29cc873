// Moving a rectangle of the current worksheet in one application call:
// Range(first, last).Value2 as a two-dimensional array. Operations that move
// many cells use it beside the single-cell transfer, with exactly its
// results: a block is taken only where every address the single-cell path
// would use is a plain A1 cell inside the grid and together they form the
// rectangle; anything else, or a block call that fails, goes cell by cell.
#pragma once

#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "automation/excel_session.h"
#include "com/variants/variant.h"
#include "com/variants/variant_grid.h"

namespace automation {

// On unless the environment variable GRIDMOOR_BLOCK_TRANSFER is "0".
bool BlockTransferEnabled();

// A cell by row and column, 1-based.
struct CellPosition {
  int row = 1;
  int column = 1;
  friend bool operator==(const CellPosition&, const CellPosition&) = default;
};

// A plain A1 cell (letters, then digits, each possibly after a "$", any
// case) inside A1 ... XFD1048576; none for anything else.
std::optional<CellPosition> PlainCell(std::string_view address);

// "B7" for row 7, column 2.
std::string A1Name(int row, int column);

// A rectangle of cells, 1-based, at least one row and one column.
struct CellBlock {
  int firstRow = 1;
  int firstColumn = 1;
  std::size_t rows = 1;
  std::size_t columns = 1;

  std::string First() const;
  std::string Last() const;
};

// Whether two blocks share a cell.
bool Overlap(const CellBlock& a, const CellBlock& b);

// The rectangle of `rows` x `columns` cells (each at least 1) whose top left
// cell lies `rowsBelow` rows under and `columnsRight` columns right of the
// plain A1 cell `topLeft`; none when `topLeft` is anything else or the
// rectangle leaves the grid.
std::optional<CellBlock> BlockBelow(std::string_view topLeft, std::size_t rowsBelow,
                                    std::size_t rows, std::size_t columns,
                                    std::size_t columnsRight = 0);

// The smallest rectangle holding both.
CellBlock Union(const CellBlock& a, const CellBlock& b);

// The rectangle that `addresses` (row by row, `columns` to a row) form: each
// a plain A1 cell (letters, digits, "$") inside A1 ... XFD1048576, each row
// one further down and each column one further right. None for fewer than
// two cells, or when any address is anything else.
std::optional<CellBlock> BlockOf(std::span<const std::string> addresses, std::size_t columns);

// The smallest rectangle holding every cell `addresses` names, when there
// are at least two, each is a plain A1 cell and the rectangle is small
// enough that reading its other cells costs less than a call per cell.
std::optional<CellBlock> CoveringBlock(std::span<const std::string> addresses);

// Cells read a rectangle at a time and handed out one by one, in whatever
// order the caller takes them, so that the single-cell order of values and
// failures is kept.
class BlockRead {
 public:
  // Reads the cells in one call when block transfer is on, they form a
  // block and a worksheet is current; otherwise, or when the call fails,
  // each cell is left to be read alone.
  BlockRead(CExcExcelObj& session, std::vector<std::string> addresses, std::size_t columns);
  // The same for a rectangle already known, without listing its addresses.
  BlockRead(CExcExcelObj& session, const CellBlock& block);
  // The cells `addresses` name, in any order and with gaps, through the
  // rectangle that covers them (CoveringBlock); Nth(i) gives cell i.
  static BlockRead Covering(CExcExcelObj& session, std::vector<std::string> addresses);

  // The value a single-cell read of the i-th address gives (a covering
  // read's, or row by row); null when the cell must be read alone.
  const com::Variant* Nth(std::size_t i) const;

  // Whether the cells came in one call (else each is read alone).
  bool WasRead() const { return values_.has_value(); }
  // The rectangle read, when it is known.
  const std::optional<CellBlock>& Block() const { return block_; }

  // The value a single-cell read of (row, column) gives, from the block;
  // null when the cell must be read alone.
  const com::Variant* Find(std::size_t row, std::size_t column) const;
  // The same for a cell by its place on the sheet; null outside a
  // rectangle read.
  const com::Variant* At(const CellPosition& cell) const;
  // The cell's address as the single-cell read names it.
  std::string Address(std::size_t row, std::size_t column) const;

 private:
  BlockRead(std::vector<std::string> addresses, std::optional<CellBlock> block);
  void Read(CExcExcelObj& session, const CellBlock& block);

  std::vector<std::string> addresses_;  // empty when made from a block
  std::optional<CellBlock> block_;
  std::size_t columns_;
  std::optional<com::VariantGrid> values_;
  bool covering_ = false;            // addresses_ lie anywhere in block_
  std::vector<std::size_t> places_;  // a covering read's cells, row by row in block_
};

// A rectangle of a read's cells from its cell (`row`, `column`) on: a part
// of one larger read taken as if it had been read alone.
struct BlockPart {
  const BlockRead* read = nullptr;
  std::size_t row = 0;
  std::size_t column = 0;

  const com::Variant* Find(std::size_t r, std::size_t c) const {
    return read->Find(row + r, column + c);
  }
  std::string Address(std::size_t r, std::size_t c) const {
    return read->Address(row + r, column + c);
  }
};

// The part of a rectangle read that `block` is; none when nothing was read
// or the read does not hold all of `block`.
std::optional<BlockPart> PartOf(const BlockRead& read, const CellBlock& block);

// Writes `values` into the cells `addresses` name (both row by row,
// `columns` to a row) in one call. False when nothing was written and the
// caller must write them cell by cell: block transfer off, no block, no
// current worksheet, or the call failed.
bool WriteBlock(CExcExcelObj& session, std::span<const std::string> addresses, std::size_t columns,
                std::span<const com::Variant> values);
// The same for cells that form one column or one row, in that order.
bool WriteLine(CExcExcelObj& session, std::span<const std::string> addresses,
               std::span<const com::Variant> values);
// The same for a rectangle already known; `values` has its shape.
bool WriteBlock(CExcExcelObj& session, const CellBlock& block, const com::VariantGrid& values);

}  // namespace automation
