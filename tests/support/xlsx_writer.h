// Writes minimal .xlsx packages with chosen formulas and chosen saved
// values, so that tests decide exactly which cells a workbook check must
// find. The zip is written with stored entries; ZipBytes is exposed for
// tests of damaged packages.
#pragma once

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

namespace test_support {

struct XlsxCell {
  std::string ref;      // "B2"
  std::string formula;  // without "=", empty for a plain value
  std::string type;     // the t attribute: "" (number), "str", "b", "e", "s" not used
  std::string value;    // the <v> text; empty: no <v>
  std::string extra;    // more markup inside <f ...> (e.g. t="array" ref="A1:A3")
};

struct XlsxSheet {
  std::string name;
  std::vector<XlsxCell> cells;  // in row order
};

// The package's parts, name and content, as a zip of stored entries, or
// of deflated ones (at zlib's `level`: 1 is the fastest, 9 the smallest).
std::string ZipBytes(const std::vector<std::pair<std::string, std::string>>& parts,
                     bool deflated = false, int level = 9);

// The sheet part's XML for `sheet`.
std::string SheetXml(const XlsxSheet& sheet);

// The parts of a whole .xlsx package, for a test to change before zipping.
std::vector<std::pair<std::string, std::string>> XlsxParts(const std::vector<XlsxSheet>& sheets);

// A whole .xlsx package.
std::string XlsxBytes(const std::vector<XlsxSheet>& sheets);

void WriteFile(const std::filesystem::path& file, const std::string& bytes);

// A table over cells of a sheet, with a header row.
struct XlsxTable {
  std::size_t sheet = 0;  // index into the package's sheets
  std::string name;
  std::string ref;  // "A1:C5": header and totals rows included
  std::vector<std::string> columns;
  int totalsRows = 0;
};

// XlsxParts' parts with `tables` added: their parts, their content types,
// the sheets' relationships and <tableParts>.
std::vector<std::pair<std::string, std::string>> WithTables(
    std::vector<std::pair<std::string, std::string>> parts, const std::vector<XlsxTable>& tables);

}  // namespace test_support
