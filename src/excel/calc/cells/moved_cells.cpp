#include "excel/calc/cells/moved_cells.h"

#include <com/sun/star/container/XNameAccess.hpp>
#include <com/sun/star/lang/XMultiServiceFactory.hpp>
#include <com/sun/star/sheet/XSheetCellRangeContainer.hpp>

#include "excel/calc/cells/range_handles.h"
#include "excel/errors.h"

namespace excel::calc {
namespace uno = css::uno;
namespace {

// What is watched now: the ranges' addresses and the sheets' names.
void ReadWatched(Document& document,
                 const uno::Reference<css::sheet::XSheetCellRangeContainer>& ranges,
                 rtl::OUString& addresses, uno::Sequence<rtl::OUString>& sheetNames) {
  document.Call(kApplicationError, [&] {
    const uno::Reference<css::sheet::XSpreadsheets> sheets = SheetsOf(document);
    if (ranges.is()) addresses = ranges->getRangeAddressesAsString();
    sheetNames = sheets->getElementNames();
  });
}

// Forgets what is watched; the caller holds the document's mutex.
void StartAfresh(Document& document) {
  ++document.generation;
  document.watch = CellWatch{};
}

// Ends a pending check with what is watched now: anything other than the
// baseline starts afresh. The caller holds the document's mutex.
void Settle(Document& document, const rtl::OUString& addresses,
            const uno::Sequence<rtl::OUString>& sheetNames) {
  document.watch.pending = false;
  if (addresses != document.watch.addresses || sheetNames != document.watch.sheetNames)
    StartAfresh(document);
}

}  // namespace

uno::Reference<css::sheet::XSheetCellRangeContainer> WatchedRanges(Document& document) {
  {
    std::lock_guard lock(document.mutex);
    if (document.watch.ranges.is()) return document.watch.ranges;
  }
  uno::Reference<css::sheet::XSheetCellRangeContainer> ranges;
  document.Call(kApplicationError, [&] {
    const uno::Reference<css::lang::XMultiServiceFactory> factory(document.component,
                                                                  uno::UNO_QUERY_THROW);
    ranges.set(factory->createInstance("com.sun.star.sheet.SheetCellRanges"), uno::UNO_QUERY_THROW);
  });
  // An empty container watches what nothing did: what was read before
  // stays the baseline.
  std::lock_guard lock(document.mutex);
  if (!document.watch.ranges.is()) document.watch.ranges = ranges;
  return document.watch.ranges;
}

void WatchRange(Document& document, RangeHandles& handles) {
  const uno::Reference<css::sheet::XSheetCellRangeContainer> ranges = WatchedRanges(document);
  document.Call(kApplicationError, [&] {
    const CellArea& a = handles.area;
    ranges->addRangeAddress(css::table::CellRangeAddress(SheetIndexOf(handles), a.firstColumn,
                                                         a.firstRow, a.lastColumn, a.lastRow),
                            false);
  });
  std::lock_guard lock(document.mutex);
  document.watch.known = false;
}

void BeforeMacro(Document& document) {
  uno::Reference<css::sheet::XSheetCellRangeContainer> ranges;
  {
    std::lock_guard lock(document.mutex);
    if (document.watch.known || document.watch.pending || document.closed) return;
    ranges = document.watch.ranges;
  }
  rtl::OUString addresses;
  uno::Sequence<rtl::OUString> sheetNames;
  ReadWatched(document, ranges, addresses, sheetNames);
  std::lock_guard lock(document.mutex);
  document.watch.addresses = addresses;
  document.watch.sheetNames = sheetNames;
  document.watch.known = true;
}

void AfterMacro(Document& document, const WatchedAfterMacro* seen) {
  std::lock_guard lock(document.mutex);
  ++document.macrosRun;
  // Settled only against a baseline read with the same container: a range
  // watched since (`known` false) or another container leaves the check to
  // the next look-up.
  if (seen == nullptr || !document.watch.known || seen->ranges != document.watch.ranges) {
    document.watch.pending = true;
    return;
  }
  Settle(document, seen->addresses, seen->sheetNames);
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
  rtl::OUString addresses;
  uno::Sequence<rtl::OUString> sheetNames;
  ReadWatched(document, ranges, addresses, sheetNames);
  std::lock_guard lock(document.mutex);
  // Else another thread has checked.
  if (document.watch.pending) Settle(document, addresses, sheetNames);
  return {document.generation, document.macrosRun};
}

bool StillValid(const RangeTarget& target, const Freshness& now) {
  return target.generation == now.generation &&
         (!target.throughName || target.macrosRun == now.macrosRun);
}

}  // namespace excel::calc
