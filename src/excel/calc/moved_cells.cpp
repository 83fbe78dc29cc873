#include "excel/calc/moved_cells.h"

#include <com/sun/star/container/XNameAccess.hpp>
#include <com/sun/star/lang/XMultiServiceFactory.hpp>
#include <com/sun/star/sheet/XSheetCellRangeContainer.hpp>

#include "excel/calc/range_handles.h"
#include "excel/errors.h"

namespace excel::calc {
namespace uno = css::uno;
namespace {

bool SameAddresses(const uno::Sequence<css::table::CellRangeAddress>& a,
                   const uno::Sequence<css::table::CellRangeAddress>& b) {
  if (a.getLength() != b.getLength()) return false;
  for (sal_Int32 i = 0; i < a.getLength(); ++i) {
    const css::table::CellRangeAddress& x = a[i];
    const css::table::CellRangeAddress& y = b[i];
    if (x.Sheet != y.Sheet || x.StartColumn != y.StartColumn || x.StartRow != y.StartRow ||
        x.EndColumn != y.EndColumn || x.EndRow != y.EndRow)
      return false;
  }
  return true;
}

// What is watched now: the ranges' addresses and the sheets' names.
void ReadWatched(Document& document,
                 const uno::Reference<css::sheet::XSheetCellRangeContainer>& ranges,
                 uno::Sequence<css::table::CellRangeAddress>& addresses,
                 uno::Sequence<rtl::OUString>& sheetNames) {
  document.Call(kApplicationError, [&] {
    const uno::Reference<css::sheet::XSpreadsheets> sheets = SheetsOf(document);
    if (ranges.is()) addresses = ranges->getRangeAddresses();
    sheetNames = sheets->getElementNames();
  });
}

// Forgets what is watched; the caller holds the document's mutex.
void StartAfresh(Document& document) {
  ++document.generation;
  document.watch = CellWatch{};
}

}  // namespace

void WatchRange(Document& document, RangeHandles& handles) {
  uno::Reference<css::sheet::XSheetCellRangeContainer> ranges;
  {
    std::lock_guard lock(document.mutex);
    ranges = document.watch.ranges;
  }
  document.Call(kApplicationError, [&] {
    if (!ranges.is()) {
      const uno::Reference<css::lang::XMultiServiceFactory> factory(document.component,
                                                                    uno::UNO_QUERY_THROW);
      ranges.set(factory->createInstance("com.sun.star.sheet.SheetCellRanges"),
                 uno::UNO_QUERY_THROW);
    }
    const CellArea& a = handles.area;
    ranges->addRangeAddress(css::table::CellRangeAddress(SheetIndexOf(handles), a.firstColumn,
                                                         a.firstRow, a.lastColumn, a.lastRow),
                            false);
  });
  std::lock_guard lock(document.mutex);
  document.watch.ranges = ranges;
  document.watch.known = false;
}

void BeforeMacro(Document& document) {
  uno::Reference<css::sheet::XSheetCellRangeContainer> ranges;
  {
    std::lock_guard lock(document.mutex);
    if (document.watch.known || document.watch.pending || document.closed) return;
    ranges = document.watch.ranges;
  }
  uno::Sequence<css::table::CellRangeAddress> addresses;
  uno::Sequence<rtl::OUString> sheetNames;
  ReadWatched(document, ranges, addresses, sheetNames);
  std::lock_guard lock(document.mutex);
  document.watch.addresses = addresses;
  document.watch.sheetNames = sheetNames;
  document.watch.known = true;
}

void AfterMacro(Document& document) {
  std::lock_guard lock(document.mutex);
  ++document.macrosRun;
  document.watch.pending = true;
}

Freshness CheckedFreshness(Document& document) {
  uno::Reference<css::sheet::XSheetCellRangeContainer> ranges;
  {
    std::lock_guard lock(document.mutex);
    if (!document.watch.pending) return {document.generation, document.macrosRun};
    if (!document.watch.known) {
      StartAfresh(document);
      return {document.generation, document.macrosRun};
    }
    ranges = document.watch.ranges;
  }
  uno::Sequence<css::table::CellRangeAddress> addresses;
  uno::Sequence<rtl::OUString> sheetNames;
  ReadWatched(document, ranges, addresses, sheetNames);
  std::lock_guard lock(document.mutex);
  if (document.watch.pending) {  // else another thread has checked
    document.watch.pending = false;
    if (!SameAddresses(addresses, document.watch.addresses) ||
        sheetNames != document.watch.sheetNames)
      StartAfresh(document);
  }
  return {document.generation, document.macrosRun};
}

bool StillValid(const RangeTarget& target, const Freshness& now) {
  return target.generation == now.generation &&
         (!target.throughName || target.macrosRun == now.macrosRun);
}

}  // namespace excel::calc
