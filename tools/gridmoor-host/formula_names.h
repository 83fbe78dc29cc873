// What a formula's text tells without calculating it: the functions it
// calls, whether the office knows them, and whether it refers to other files.
#pragma once

#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace refhost {

// ASCII letters in capitals.
std::string Upper(std::string_view text);

// The names a formula calls as functions, as written (text in quotes left
// out).
std::vector<std::string> FunctionNamesIn(std::string_view formula);

// A name that the office's formula text calls as a function, when it is
// not one the office knows: the name in capitals without the file format's
// prefix (_xlfn., _xlws., _xludf., _xll.); nullopt when known. `functions`
// holds the office's function names (capitals), `procedures` the names of
// the workbook's macro procedures (capitals), which a formula may call as
// user-defined functions (unprefixed or with _xludf.).
std::optional<std::string> UnknownFunctionName(std::string_view name,
                                               const std::set<std::string>& functions,
                                               const std::set<std::string>& procedures);

// Whether a formula refers to another file: [1]Sheet1!A1, '[Book.xlsx]S'!A1,
// 'file:///...'#$Sheet1.A1.
bool RefersToOtherFile(std::string_view formula);

}  // namespace refhost
