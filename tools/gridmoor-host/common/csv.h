// Comma-separated values as spreadsheets write them: fields with a comma,
// quote or line break are quoted, quotes doubled; text that would run as a
// formula is neutralised.
#pragma once

#include "outcome/outcome.h"
#include "text/ascii.h"

#include <string>
#include <vector>

namespace refhost {

using CsvRow = std::vector<std::string>;

// Parses `text`; the error names the line of an unterminated quote. Blank
// lines are skipped; a trailing carriage return is ignored.
outcome::Expected<std::vector<CsvRow>> ParseCsv(const std::string& text);

// A text a spreadsheet would run as a formula (it starts with =, +, - or @
// and is not a plain number, so -4.5 stays a number) gets a leading
// apostrophe, and so does one that starts with an apostrophe: a reader
// takes one leading apostrophe off and has the text as it was.
std::string NeutralisedText(const std::string& text);

// A field of every CSV file the host writes: neutralised, then quoted.
std::string CsvField(const std::string& text);
std::string CsvLine(const CsvRow& fields);

using text::OneLine;

// A message of several lines (the library's texts break lines where a host
// shows them in a box) as one line: each line break, with the blanks around
// it, becomes one space.
std::string JoinLines(const std::string& text);

// A number as written to the output files: round-trips a double, and the
// host's missing-value marker becomes an empty field.
std::string FormatNumber(double value);

// A number as people read it in progress and summaries: at most 6
// significant figures; the missing-value marker becomes "-".
std::string ReadableNumber(double value);

}  // namespace refhost
