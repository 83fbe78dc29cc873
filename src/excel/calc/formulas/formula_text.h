// What a formula's text tells without the office: the names it calls as
// functions. Kept free of UNO so that the host's tools share it.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace excel::calc {

// Characters a name starts with, and goes on with (function names carry
// dots: COM.SUN.STAR..., _xlfn.XLOOKUP).
bool IsFormulaNameStart(char c);
bool IsFormulaNameChar(char c);

// The names a formula calls as functions, as written (text in quotes left
// out).
std::vector<std::string> FunctionNamesIn(std::string_view formula);

// One past the quote closing the quoted run ("text" or 'sheet name') that
// opens at `at`; a doubled quote belongs to the run. The text's end when
// the run is not closed.
std::size_t QuotedEnd(std::string_view text, std::size_t at);

// One past the "]" closing the "[" at `at` (brackets nest; an apostrophe
// escapes the character after it, as in a table column's name); npos when
// it is not closed.
std::size_t BracketEnd(std::string_view text, std::size_t at);

// Whether the formula calls a function whose result changes with every
// recalculation (RAND, RANDBETWEEN, RANDARRAY, NOW, TODAY), with or without
// the file format's prefix.
bool CallsVolatileFunction(std::string_view formula);

}  // namespace excel::calc
