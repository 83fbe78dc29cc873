// The memory that reading a workbook's saved values takes, for sheets of
// hundreds of megabytes of XML. Run by hand, a step a process, the reading
// one under /usr/bin/time -v for its peak resident size:
//   saved_values_memory write FILE.xlsx|FILE.fods MEGABYTES [indented]
//   saved_values_memory read FILE
//
// Peak resident size of `read` (RelWithDebInfo), with the sheet parts and
// OpenDocument content read into a document tree (before) and read as
// streams (after):
//   .xlsx, 150 MB of dense XML, 327,280 formula cells     1,314 MB   128 MB
//   .xlsx, 100 MB of indented XML, 159,135 formula cells    688 MB    67 MB
//   .fods, 150 MB of dense XML, 193,976 formula cells       663 MB    43 MB
//   .fods, 100 MB of indented XML, 119,138 formula cells    511 MB    24 MB
// What remains is the formula cells kept and, for an .xlsx, the package's
// compressed bytes.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "saved_values/saved_values.h"
#include "support/large_sheets.h"

int main(int argc, char** argv) {
  const std::string mode = argc > 2 ? argv[1] : "";
  if (mode == "write" && argc >= 4) {
    const std::filesystem::path file = argv[2];
    const test_support::LargeSheet sheet{std::strtoull(argv[3], nullptr, 10) << 20,
                                         argc > 4 && std::string(argv[4]) == "indented"};
    const std::size_t formulas = file.extension() == ".fods"
                                     ? test_support::WriteLargeFods(file, sheet)
                                     : test_support::WriteLargeXlsx(file, sheet);
    std::printf("%zu formula cells\n", formulas);
    return 0;
  }
  if (mode == "read") {
    const auto book = refhost::ReadSavedValues(argv[2]);
    if (!book) {
      std::fprintf(stderr, "%s\n", book.GetError().Message().c_str());
      return 1;
    }
    std::printf("%zu formula cells\n", book->formulas.size());
    return 0;
  }
  std::fprintf(stderr, "usage: saved_values_memory write FILE MEGABYTES [indented] | read FILE\n");
  return 2;
}
