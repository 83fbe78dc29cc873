// The office's interfaces of one range, each asked for once and kept in
// its RangeHandles, and the cells of a query's answer that lie in the range.
#pragma once

#include <com/sun/star/table/CellRangeAddress.hpp>
#include <com/sun/star/uno/Sequence.hxx>

#include "excel/calc/calls/calc_objects.h"

namespace excel::calc {

css::uno::Reference<css::sheet::XCellRangeData> DataOf(RangeHandles& handles);
css::uno::Reference<css::beans::XPropertySet> PropertiesOf(RangeHandles& handles);
css::uno::Reference<css::text::XText> TextOf(RangeHandles& handles);  // a single cell only
// Values with their states (one for all cells, or not), in one call.
css::uno::Reference<css::beans::XTolerantMultiPropertySet> TolerantOf(RangeHandles& handles);
css::uno::Reference<css::sheet::XCellRangesQuery> QueryOf(RangeHandles& handles);
css::uno::Reference<css::sheet::XUniqueCellFormatRangesSupplier> FormatsOf(RangeHandles& handles);
sal_Int16 SheetIndexOf(RangeHandles& handles);

// Adds the cells of `addresses` that lie in `area`, relative to it.
void AddCells(const css::uno::Sequence<css::table::CellRangeAddress>& addresses,
              const CellArea& area, CellSet& cells);

}  // namespace excel::calc
