// Whether a macro moved the cells and sheets the driver has looked up.
//
// Looking a sheet or a cell up costs calls to the office, and a run reads
// and writes the same cells between event macros at every optimiser trial.
// The ranges a document hands out are watched in one range container of
// the office, which moves its ranges as the office moves cells (rows or
// columns inserted or deleted, cells moved, sheets inserted, deleted or
// moved). After a macro, the first look-up compares the container's
// addresses and the sheets' names with what they were before it: two calls,
// whatever the number of cells. Any difference, or anything unknown, starts
// a new generation, and every look-up is made again. A macro called through
// its wrapper has them read inside the office at its end, which costs no
// call at all.
#pragma once

#include <cstdint>

#include "excel/calc/calls/calc_objects.h"

namespace excel::calc {

// Adds a range just looked up to the watched ones.
void WatchRange(Document& document, RangeHandles& handles);

// What is watched in a document as read inside the office right after a
// macro, through the range container `ranges` (WatchedRanges).
struct WatchedAfterMacro {
  css::uno::Reference<css::sheet::XSheetCellRangeContainer> ranges;
  rtl::OUString addresses;
  css::uno::Sequence<rtl::OUString> sheetNames;
};

// The container of the watched ranges, made empty when there is none yet,
// for a macro's wrapper to read after the macro.
css::uno::Reference<css::sheet::XSheetCellRangeContainer> WatchedRanges(Document& document);

// Around a macro: before it, what is watched is read once if it changed
// since it was last read; after it, the next look-up checks it, unless
// `seen` (what the macro's wrapper read) settles it now.
void BeforeMacro(Document& document);
void AfterMacro(Document& document, const WatchedAfterMacro* seen = nullptr);

// Where the document stands, after the check a macro left pending.
struct Freshness {
  std::uint64_t generation = 0;
  std::uint64_t macrosRun = 0;
};
Freshness CheckedFreshness(Document& document);

// Whether a range looked up at `target` may still be used: the same
// generation, and for a range reached through a workbook name, no macro
// since (a macro may point the name elsewhere).
bool StillValid(const RangeTarget& target, const Freshness& now);

}  // namespace excel::calc
