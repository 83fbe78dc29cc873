#include "automation/block_transfer.h"

#include <algorithm>

#include "com/error.h"
#include "platform/environment.h"
#include "text/ascii.h"

namespace automation {
namespace {

// The spreadsheet grid: A1 ... XFD1048576.
constexpr int kGridColumns = 16384;
constexpr int kGridRows = 1048576;

}  // namespace

std::optional<CellPosition> PlainCell(std::string_view address) {
  std::size_t at = 0;
  const auto skipDollar = [&] {
    if (at < address.size() && address[at] == '$') ++at;
  };
  skipDollar();
  long long column = 0;
  const std::size_t lettersFrom = at;
  // ASCII letters only, whatever locale the host has set.
  for (; at < address.size(); ++at) {
    const char letter = text::UpperAscii(address[at]);
    if (letter < 'A' || letter > 'Z') break;
    column = column * 26 + (letter - 'A' + 1);
    if (column > kGridColumns) return std::nullopt;
  }
  if (at == lettersFrom) return std::nullopt;
  skipDollar();
  long long row = 0;
  const std::size_t digitsFrom = at;
  for (; at < address.size() && address[at] >= '0' && address[at] <= '9'; ++at) {
    row = row * 10 + (address[at] - '0');
    if (row > kGridRows) return std::nullopt;
  }
  if (at == digitsFrom || at != address.size() || row < 1) return std::nullopt;
  return CellPosition{static_cast<int>(row), static_cast<int>(column)};
}

std::string A1Name(int row, int column) {
  std::string letters;
  for (; column > 0; column = (column - 1) / 26)
    letters.insert(letters.begin(), static_cast<char>('A' + (column - 1) % 26));
  return letters + std::to_string(row);
}

bool BlockTransferEnabled() {
  const std::optional<std::string> setting = platform::GetEnv("GRIDMOOR_BLOCK_TRANSFER");
  return !setting || *setting != "0";
}

std::string CellBlock::First() const {
  return A1Name(firstRow, firstColumn);
}

std::string CellBlock::Last() const {
  return A1Name(firstRow + static_cast<int>(rows) - 1, firstColumn + static_cast<int>(columns) - 1);
}

bool Overlap(const CellBlock& a, const CellBlock& b) {
  const auto apart = [](int first1, std::size_t count1, int first2, std::size_t count2) {
    return first1 + static_cast<long long>(count1) <= first2 ||
           first2 + static_cast<long long>(count2) <= first1;
  };
  return !apart(a.firstRow, a.rows, b.firstRow, b.rows) &&
         !apart(a.firstColumn, a.columns, b.firstColumn, b.columns);
}

std::optional<CellBlock> BlockBelow(std::string_view topLeft, std::size_t rowsBelow,
                                    std::size_t rows, std::size_t columns,
                                    std::size_t columnsRight) {
  const std::optional<CellPosition> first = PlainCell(topLeft);
  if (!first || rows == 0 || columns == 0) return std::nullopt;
  const auto fits = [](int from, std::size_t count, int limit) {
    return count <= static_cast<std::size_t>(limit) &&
           static_cast<std::size_t>(from - 1) <= static_cast<std::size_t>(limit) - count;
  };
  if (rowsBelow > static_cast<std::size_t>(kGridRows) ||
      columnsRight > static_cast<std::size_t>(kGridColumns) ||
      !fits(first->row + static_cast<int>(rowsBelow), rows, kGridRows) ||
      !fits(first->column + static_cast<int>(columnsRight), columns, kGridColumns)) {
    return std::nullopt;
  }
  return CellBlock{first->row + static_cast<int>(rowsBelow),
                   first->column + static_cast<int>(columnsRight), rows, columns};
}

CellBlock Union(const CellBlock& a, const CellBlock& b) {
  const auto end = [](int first, std::size_t count) {
    return static_cast<long long>(first) + static_cast<long long>(count);
  };
  const int top = std::min(a.firstRow, b.firstRow);
  const int left = std::min(a.firstColumn, b.firstColumn);
  return CellBlock{
      top, left,
      static_cast<std::size_t>(std::max(end(a.firstRow, a.rows), end(b.firstRow, b.rows)) - top),
      static_cast<std::size_t>(
          std::max(end(a.firstColumn, a.columns), end(b.firstColumn, b.columns)) - left)};
}

std::optional<CellBlock> BlockOf(std::span<const std::string> addresses, std::size_t columns) {
  if (columns == 0 || addresses.size() < 2 || addresses.size() % columns != 0) return std::nullopt;
  const std::optional<CellPosition> first = PlainCell(addresses[0]);
  if (!first) return std::nullopt;
  for (std::size_t i = 1; i < addresses.size(); ++i) {
    const std::optional<CellPosition> cell = PlainCell(addresses[i]);
    if (!cell || cell->row != first->row + static_cast<int>(i / columns) ||
        cell->column != first->column + static_cast<int>(i % columns)) {
      return std::nullopt;
    }
  }
  return CellBlock{first->row, first->column, addresses.size() / columns, columns};
}

std::optional<CellBlock> CoveringBlock(std::span<const std::string> addresses) {
  if (addresses.size() < 2) return std::nullopt;
  int top = kGridRows, left = kGridColumns, bottom = 1, right = 1;
  for (const std::string& address : addresses) {
    const std::optional<CellPosition> cell = PlainCell(address);
    if (!cell) return std::nullopt;
    top = std::min(top, cell->row);
    bottom = std::max(bottom, cell->row);
    left = std::min(left, cell->column);
    right = std::max(right, cell->column);
  }
  const std::size_t rows = static_cast<std::size_t>(bottom - top) + 1;
  const std::size_t columns = static_cast<std::size_t>(right - left) + 1;
  // A value costs far less than a call; a sparse spread still stays small.
  const std::size_t limit = std::max<std::size_t>(64, 16 * addresses.size());
  if (rows > limit || columns > limit || rows * columns > limit) return std::nullopt;
  return CellBlock{top, left, rows, columns};
}

BlockRead BlockRead::Covering(CExcExcelObj& session, std::vector<std::string> addresses) {
  const std::optional<CellBlock> block = CoveringBlock(addresses);
  BlockRead read(std::move(addresses), block);
  if (!block) return read;
  read.Read(session, *block);
  // Each cell's place in the block, found once rather than at every Nth.
  read.places_.reserve(read.addresses_.size());
  for (const std::string& address : read.addresses_) {
    const std::optional<CellPosition> cell = PlainCell(address);
    read.places_.push_back(static_cast<std::size_t>(cell->row - block->firstRow) * block->columns +
                           static_cast<std::size_t>(cell->column - block->firstColumn));
  }
  return read;
}

BlockRead::BlockRead(std::vector<std::string> addresses, std::optional<CellBlock> block)
    : addresses_(std::move(addresses)),
      block_(block),
      columns_(block ? block->columns : 1),
      covering_(true) {}

const com::Variant* BlockRead::Nth(std::size_t i) const {
  if (!values_) return nullptr;
  if (!covering_) return Find(i / columns_, i % columns_);
  return Find(places_[i] / block_->columns, places_[i] % block_->columns);
}

BlockRead::BlockRead(CExcExcelObj& session, std::vector<std::string> addresses, std::size_t columns)
    : addresses_(std::move(addresses)), columns_(columns) {
  if (const std::optional<CellBlock> block = BlockOf(addresses_, columns_)) Read(session, *block);
}

BlockRead::BlockRead(CExcExcelObj& session, const CellBlock& block)
    : block_(block), columns_(block.columns) {
  Read(session, block);
}

void BlockRead::Read(CExcExcelObj& session, const CellBlock& block) {
  excel::Worksheet* sheet = session.CurrentWorksheet();
  if (sheet == nullptr || !BlockTransferEnabled()) return;
  try {
    com::Variant value =
        sheet->GetRange(com::Variant::Text(block.First()), com::Variant::Text(block.Last()))
            ->Invoke(excel::kDispidValue2, excel::InvokeKind::kPropertyGet, {});
    com::VariantGrid grid = com::VariantGrid::FromVariant(std::move(value));
    // Anything but the block's own shape is not trusted: cell by cell then.
    if (grid.Rows() != block.rows || grid.Columns() != block.columns) return;
    values_ = std::move(grid);
  } catch (const com::Error&) {
    // Each cell is read alone, and fails alone where it fails.
  }
}

std::string BlockRead::Address(std::size_t row, std::size_t column) const {
  if (!block_) return addresses_[row * columns_ + column];
  return A1Name(block_->firstRow + static_cast<int>(row),
                block_->firstColumn + static_cast<int>(column));
}

const com::Variant* BlockRead::At(const CellPosition& cell) const {
  if (!values_ || !block_ || cell.row < block_->firstRow || cell.column < block_->firstColumn)
    return nullptr;
  const auto row = static_cast<std::size_t>(cell.row - block_->firstRow);
  const auto column = static_cast<std::size_t>(cell.column - block_->firstColumn);
  if (row >= block_->rows || column >= block_->columns) return nullptr;
  return Find(row, column);
}

const com::Variant* BlockRead::Find(std::size_t row, std::size_t column) const {
  if (!values_) return nullptr;
  return &values_->At(values_->FirstRow() + static_cast<std::int32_t>(row),
                      values_->FirstColumn() + static_cast<std::int32_t>(column));
}

std::optional<BlockPart> PartOf(const BlockRead& read, const CellBlock& block) {
  const std::optional<CellBlock>& whole = read.Block();
  if (!read.WasRead() || !whole || block.firstRow < whole->firstRow ||
      block.firstColumn < whole->firstColumn)
    return std::nullopt;
  const auto row = static_cast<std::size_t>(block.firstRow - whole->firstRow);
  const auto column = static_cast<std::size_t>(block.firstColumn - whole->firstColumn);
  if (row + block.rows > whole->rows || column + block.columns > whole->columns)
    return std::nullopt;
  return BlockPart{&read, row, column};
}

bool WriteBlock(CExcExcelObj& session, std::span<const std::string> addresses, std::size_t columns,
                std::span<const com::Variant> values) {
  excel::Worksheet* sheet = session.CurrentWorksheet();
  if (sheet == nullptr || values.size() != addresses.size() || !BlockTransferEnabled()) {
    return false;
  }
  const std::optional<CellBlock> block = BlockOf(addresses, columns);
  if (!block) return false;
  try {
    com::VariantGrid grid(block->rows, block->columns);
    for (std::size_t i = 0; i < values.size(); ++i) {
      grid.At(static_cast<std::int32_t>(i / columns) + 1,
              static_cast<std::int32_t>(i % columns) + 1) = values[i];
    }
    return WriteBlock(session, *block, grid);
  } catch (const com::Error&) {
    return false;
  }
}

bool WriteLine(CExcExcelObj& session, std::span<const std::string> addresses,
               std::span<const com::Variant> values) {
  if (BlockOf(addresses, 1)) return WriteBlock(session, addresses, 1, values);
  return WriteBlock(session, addresses, addresses.size(), values);
}

bool WriteBlock(CExcExcelObj& session, const CellBlock& block, const com::VariantGrid& values) {
  excel::Worksheet* sheet = session.CurrentWorksheet();
  if (sheet == nullptr || values.Rows() != block.rows || values.Columns() != block.columns ||
      !BlockTransferEnabled()) {
    return false;
  }
  try {
    const com::Variant array = values.ToVariant();
    sheet->GetRange(com::Variant::Text(block.First()), com::Variant::Text(block.Last()))
        ->Invoke(excel::kDispidValue2, excel::InvokeKind::kPropertyPut, {&array, 1});
    return true;
  } catch (const com::Error&) {
    return false;
  }
}

}  // namespace automation
