// Reading and writing one cell of the session's workbook by worksheet name
// and cell text. A null session (no connection) fails every operation with
// "There is no connection to Excel".
#pragma once

#include <stdexcept>
#include <string>

#include "automation/excel_session.h"

namespace automation {

// Raised by ReadCellNumber when the worksheet cannot be selected or there is
// no connection; what() is the message for the host.
class CellReadError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The cell as text (VT_BSTR as it is, other values by the en-US VARIANT
// conversion). A non-empty worksheet is selected first. A blank cell text
// gives the empty text and 0.
int ReadCellText(CExcExcelObj* session, const std::string& worksheet, const std::string& cell,
                 std::string& text, Message message);

// The cell read as text and then as a number (classic-locale atof: a blank or
// non-numeric text gives 0.0). `value` is the undefined value on failure.
int ReadCellDouble(CExcExcelObj* session, const std::string& worksheet, const std::string& cell,
                   double& value, Message message);

// The cell as a number for stream values: the worksheet is selected only
// when its name is not blank, and the cell text is used as it stands. A blank
// cell text or a blank value gives the undefined value. Throws CellReadError
// for the worksheet, com::Error for the read.
double ReadCellNumber(CExcExcelObj* session, const std::string& worksheet, const std::string& cell);

// Writes the text into the cell as if typed there.
int WriteCellText(CExcExcelObj* session, const std::string& worksheet, const std::string& cell,
                  const std::string& text, Message message);

}  // namespace automation
