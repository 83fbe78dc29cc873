// What a formula's text tells without calculating it: the functions it
// calls, whether the office knows them, and whether it refers to other files.
#pragma once

#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "excel/calc/formulas/formula_text.h"

namespace refhost {

// ASCII letters in capitals.
std::string Upper(std::string_view text);

using excel::calc::FunctionNamesIn;

// A name that the office's formula text calls as a function, when it is
// not one the office knows: the name in capitals without the file format's
// prefix (_xlfn., _xlws., _xludf., _xll.); nullopt when known. `functions`
// holds the office's function names (capitals), `procedures` the names of
// the workbook's macro procedures (capitals), which a formula may call as
// user-defined functions (unprefixed or with _xludf.).
std::optional<std::string> UnknownFunctionName(std::string_view name,
                                               const std::set<std::string>& functions,
                                               const std::set<std::string>& procedures);

// A formula's references through a workbook's name or link number in
// brackets: [1]Prices!A1 gives book "1", sheet "Prices"; '[Book.xlsx]My
// sheet'!A1 gives "Book.xlsx", "My sheet".
struct BookReference {
  std::string book;
  std::string sheet;
};
std::vector<BookReference> BookReferencesIn(std::string_view formula);

// Whether a formula refers to another file: [1]Sheet1!A1, '[Book.xlsx]S'!A1,
// 'file:///...'#$Sheet1.A1.
bool RefersToOtherFile(std::string_view formula);

// The office's references to sheets of files named by URL
// ('file:///srv/a%20b.ods'#$Sheet1.A1), each with the URL and the sheet
// name decoded: file "/srv/a b.ods", sheet "Sheet1".
struct FileSheetReference {
  std::string file;
  std::string sheet;
};
std::vector<FileSheetReference> FileSheetReferencesIn(std::string_view formula);

// A URL's or path's %XX escapes decoded; "file://" taken off.
std::string DecodedFileUrl(std::string_view url);

}  // namespace refhost
