// The data server of one model: the host reads and writes tags (codes 96 and
// 97) and sends commands (code 98).
//
// A refusal is an Error with the message of the handler that refused, or
// with no message when none gave one. Cell traffic runs without
// SpreadsheetLock, on the model's thread like every model operation;
// OpenFile's open takes the lock itself.
#pragma once

#include <string>

#include "casedata/values/data_server_values.h"
#include "dataserver/request.h"
#include "outcome/outcome.h"

namespace model {
class CExcModel;
}

namespace dataserver {

inline constexpr char kInvalidPrefixMessage[] = "Invalid prefix";
inline constexpr char kUpdateFailedMessage[] = "Update failed";

// Offers the request to the case details, NextEvent, the worksheets and the
// server options, in that order, each from the element after Excel; true
// when one took it. A first element other than Excel is taken by none.
bool ServeTag(DataServerRequest& request, model::CExcModel& model);

// The tag's value text, also when the read is refused: the host sees what
// was read so far.
outcome::Partial<std::string> GetDataServerValue(model::CExcModel& model,
                                                 const casedata::TagRead& read);
outcome::Error SetDataServerValue(model::CExcModel& model, const casedata::TagWrite& write);
// RunMacro(name), SwitchWorksheet(sheet), Update, OpenFile(path), SaveFile,
// SaveAsFile(path). A name that is none of these is accepted and does
// nothing.
outcome::Error ExecuteCommand(model::CExcModel& model, const casedata::CommandText& command);

}  // namespace dataserver
