// Writing a document to its file: the format by the file's extension, the
// checks before (a file held by another process, one that cannot be
// written, sheets a one-sheet format would lose) and a full disk told as
// one.
#pragma once

#include <string>

#include "excel/calc/calls/calc_objects.h"

namespace excel::calc {

// Stores `document` into `path`: by its extension, else in the document's
// own format (a spreadsheet writes a copy in the workbook's format whatever
// the name), else as xlsx. `keepLocation` stores a copy.
void StoreTo(Document& document, const std::string& path, bool keepLocation);
// Stores `document` into its own file `path`, in the format it was opened in.
void StoreInPlace(Document& document, const std::string& path);

}  // namespace excel::calc
