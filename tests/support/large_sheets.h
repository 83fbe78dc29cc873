// Workbooks whose sheet XML runs to hundreds of megabytes, for the memory
// a reader of saved values takes: ten cells a row, the last a formula over
// the other nine, each with its saved value.
#pragma once

#include <cstddef>
#include <filesystem>

namespace test_support {

struct LargeSheet {
  std::size_t xmlBytes = 0;  // the sheet's XML reaches at least this size
  bool indented = false;     // an element a line, indented as pretty-printers do
};

// An .xlsx of one sheet "Data" (its part deflated); returns its formula cells.
std::size_t WriteLargeXlsx(const std::filesystem::path& file, const LargeSheet& sheet);
// A flat OpenDocument spreadsheet (.fods) of one table "Data".
std::size_t WriteLargeFods(const std::filesystem::path& file, const LargeSheet& sheet);

}  // namespace test_support
