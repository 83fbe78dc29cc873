// The data server of one model: the host reads and writes tags (codes 96 and
// 97) and sends commands (code 98).
//
// Results: 0 success; 1 failure, with a message in the status text when the
// handler that refused gave one. Cell traffic runs without SpreadsheetLock,
// on the model's thread like every model operation; OpenFile's open takes
// the lock itself.
#pragma once

#include <cstdint>

#include "dataserver/request.h"
#include "gridmoor/host.h"

namespace model {
class CExcModel;
}

namespace dataserver {

inline constexpr char kNotCompatibleMessage[] =
    "This version of Gridmoor.dll is not compatible with the version of Conflux";
inline constexpr char kInvalidPrefixMessage[] = "Invalid prefix";
inline constexpr char kUpdateFailedMessage[] = "Update failed";

// Offers the request to the case details, NextEvent, the worksheets and the
// server options, in that order, each from the element after Excel; true
// when one took it. A first element other than Excel is taken by none.
bool ServeTag(DataServerRequest& request, model::CExcModel& model);

// The read record (EXT_DS_READ_RECORD_SIZE bytes): the tag's value goes into
// its result area, cut at a character boundary to fit with its NUL.
std::int32_t GetDataServerValue(model::CExcModel& model, void* readRecord, ExtStatusRecord* status);
// The write record (EXT_DS_WRITE_RECORD_MIN_SIZE bytes): tag and value.
std::int32_t SetDataServerValue(model::CExcModel& model, const void* writeRecord,
                                ExtStatusRecord* status);
// The NUL-terminated command text: RunMacro(name), SwitchWorksheet(sheet),
// Update, OpenFile(path), SaveFile, SaveAsFile(path). A name that is none of
// these is accepted and does nothing.
std::int32_t ExecuteCommand(model::CExcModel& model, const char* command, ExtStatusRecord* status);

}  // namespace dataserver
