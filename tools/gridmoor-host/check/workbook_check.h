// `gridmoor-host workbook check`: which formula cells of a workbook give
// another result when the office recalculates them than the value the file
// carries, and what else would make the workbook answer wrongly
// (docs/workbook-check.md).
#pragma once

#include <ostream>
#include <string>

namespace refhost {

struct WorkbookCheckOptions {
  std::string book;      // empty: the scenario's workbook
  std::string scenario;  // empty: none
  std::string json;      // empty: no JSON file
};

// 0 nothing differs and nothing is wrong, 1 differences or problems found,
// 2 could not check (what and why on `err`).
int WorkbookCheck(const WorkbookCheckOptions& options, std::ostream& out, std::ostream& err);

}  // namespace refhost
