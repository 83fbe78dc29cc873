// Known differences between Calc and Excel: one table of causes, each with
// the functions it concerns, what differs, what a user can change so that
// both agree, and the test that recognises a differing cell it explains.
// The workbook check names each differing cell's cause from it, and
// docs/excel-differences.md is printed from it
// (`gridmoor-host workbook differences`).
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "differences/difference_recognisers.h"
#include "excel/recalculation.h"

namespace refhost {

struct KnownDifference {
  std::string_view id;  // short, kebab-case and stable: the JSON names it
  std::vector<std::string_view> functions;
  std::string_view differs;  // one plain sentence
  std::string_view remedy;   // what to change in the workbook
  // Recognises a cell it explains; null for a cause found in macros.
  differences::Recogniser recognise = nullptr;
};

// The table, in the order its tests are tried: the most specific first.
const std::vector<KnownDifference>& KnownDifferences();

// The cause of one differing cell and what its test keyed on (a function,
// or a kind of reference), if a known difference explains it.
struct CellCause {
  std::string id;
  std::string function;
};
std::optional<CellCause> ExplainDifference(std::string_view formula, const excel::CellResult& saved,
                                           const excel::CellResult& calc);

// docs/excel-differences.md: a section per cause.
std::string KnownDifferencesMarkdown();

}  // namespace refhost
