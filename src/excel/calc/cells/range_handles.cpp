#include "excel/calc/cells/range_handles.h"

#include <com/sun/star/sheet/XCellAddressable.hpp>
#include <com/sun/star/sheet/XCellRangeAddressable.hpp>

#include <algorithm>

namespace excel::calc {
namespace uno = css::uno;
namespace {

uno::Reference<css::uno::XInterface> Source(RangeHandles& handles) {
  if (handles.cell.is()) return handles.cell;
  return handles.range;
}

}  // namespace

uno::Reference<css::sheet::XCellRangeData> DataOf(RangeHandles& handles) {
  std::lock_guard lock(handles.mutex);
  if (!handles.data.is()) handles.data.set(Source(handles), uno::UNO_QUERY_THROW);
  return handles.data;
}

uno::Reference<css::beans::XPropertySet> PropertiesOf(RangeHandles& handles) {
  std::lock_guard lock(handles.mutex);
  if (!handles.properties.is()) handles.properties.set(Source(handles), uno::UNO_QUERY_THROW);
  return handles.properties;
}

uno::Reference<css::text::XText> TextOf(RangeHandles& handles) {
  std::lock_guard lock(handles.mutex);
  if (!handles.text.is()) handles.text.set(handles.cell, uno::UNO_QUERY_THROW);
  return handles.text;
}

uno::Reference<css::beans::XTolerantMultiPropertySet> TolerantOf(RangeHandles& handles) {
  std::lock_guard lock(handles.mutex);
  if (!handles.tolerant.is()) handles.tolerant.set(Source(handles), uno::UNO_QUERY_THROW);
  return handles.tolerant;
}

uno::Reference<css::sheet::XCellRangesQuery> QueryOf(RangeHandles& handles) {
  std::lock_guard lock(handles.mutex);
  if (!handles.query.is()) handles.query.set(Source(handles), uno::UNO_QUERY_THROW);
  return handles.query;
}

uno::Reference<css::sheet::XUniqueCellFormatRangesSupplier> FormatsOf(RangeHandles& handles) {
  std::lock_guard lock(handles.mutex);
  if (!handles.formats.is()) handles.formats.set(Source(handles), uno::UNO_QUERY_THROW);
  return handles.formats;
}

sal_Int16 SheetIndexOf(RangeHandles& handles) {
  {
    std::lock_guard lock(handles.mutex);
    if (handles.sheetIndex) return *handles.sheetIndex;
  }
  sal_Int16 sheet = 0;
  if (handles.cell.is()) {
    const uno::Reference<css::sheet::XCellAddressable> cell(handles.cell, uno::UNO_QUERY_THROW);
    sheet = cell->getCellAddress().Sheet;
  } else {
    const uno::Reference<css::sheet::XCellRangeAddressable> range(handles.range,
                                                                  uno::UNO_QUERY_THROW);
    sheet = range->getRangeAddress().Sheet;
  }
  std::lock_guard lock(handles.mutex);
  handles.sheetIndex = sheet;
  return sheet;
}

// The cells of `addresses` that lie in `area`, relative to it.
void AddCells(const uno::Sequence<css::table::CellRangeAddress>& addresses, const CellArea& area,
              CellSet& cells) {
  for (const css::table::CellRangeAddress& address : addresses) {
    for (sal_Int32 row = std::max(address.StartRow, area.firstRow);
         row <= std::min(address.EndRow, area.lastRow); ++row) {
      for (sal_Int32 column = std::max(address.StartColumn, area.firstColumn);
           column <= std::min(address.EndColumn, area.lastColumn); ++column) {
        cells.emplace(row - area.firstRow, column - area.firstColumn);
      }
    }
  }
}

}  // namespace excel::calc
