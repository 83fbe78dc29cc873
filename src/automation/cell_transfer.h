// Reading and writing one cell of the session's workbook by worksheet name
// and cell text. A null session (no connection) fails every operation with
// "There is no connection to Excel".
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "automation/excel_session.h"
#include "outcome/outcome.h"

namespace automation {

// A failed read or write gives the host's message, cut as its status field
// cuts it: "Unable to get worksheet %s", "Could not get %s.Cell[%s]" or
// "Error in setting data cell %s, worksheet %s", with the application's own
// words added only when the office has ended.

// The cell as text (VT_BSTR as it is, other values by the en-US VARIANT
// conversion). A non-empty worksheet is selected first. A blank cell text
// gives the empty text.
outcome::Expected<std::string> ReadCellText(CExcExcelObj* session, const std::string& worksheet,
                                            const std::string& cell);

// The current worksheet's cell as text, failing with the application's own
// words for why (what ReadCellText leaves out); `worksheet` only names it.
outcome::Expected<std::string> CellText(CExcExcelObj& session, const std::string& worksheet,
                                        const std::string& cell);

// A cell's value as text (VT_BSTR as it is, other values by the en-US
// VARIANT conversion). An error value fails with the type-mismatch text
// naming `worksheet`!`cell` and the error ("#DIV/0!").
outcome::Expected<std::string> CellValueText(const com::Variant& value, std::string_view worksheet,
                                             std::string_view cell);

// What the host is told when a value cannot be read; the reason follows.
inline constexpr char kGettingDataFailed[] = "Error in getting data from Excel: ";

// The reason for a cell whose text is not wholly a number (an empty text
// among them): the type-mismatch text a read of an error value gives,
// naming the sheet and the cell and showing the start of the text.
std::string NotANumberMessage(std::string_view worksheet, std::string_view cell,
                              std::string_view text);

// The cell read as text and then as a number. A text that is not wholly a
// number, an empty cell included, fails with kGettingDataFailed and
// NotANumberMessage.
outcome::Expected<double> ReadCellDouble(CExcExcelObj* session, const std::string& worksheet,
                                         const std::string& cell);

// The cell as a number for stream values: the worksheet is selected only
// when its name is not blank, and the cell text is used as it stands. A blank
// cell text or a blank value gives the undefined value (a missing value).
// Fails, with the message for the host, without a connection, for the
// worksheet, for an error value and for a text that is not a number
// (NotANumberMessage, naming `sheetName`, the sheet the caller selected),
// and with the application's own words when it refuses the read.
outcome::Expected<double> ReadCellNumber(CExcExcelObj* session, const std::string& worksheet,
                                         const std::string& cell, std::string_view sheetName = {});

// The number a cell holding the finite double `value` gives when read as
// text (15 significant digits) and back, found without the text for the
// common number whose shortest text has no more digits than that; none
// when that text is no number (it rounds beyond the largest double).
std::optional<double> NumberThroughText(double value);

// What ReadCellNumber gives for `value`, the cell's value already read (a
// block read's, say).
outcome::Expected<double> CellNumber(const com::Variant& value, std::string_view sheetName,
                                     const std::string& cell);

// Writes the text into the cell as if typed there.
outcome::Error WriteCellText(CExcExcelObj* session, const std::string& worksheet,
                             const std::string& cell, const std::string& text);

}  // namespace automation
