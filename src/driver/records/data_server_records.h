// The data server's host records and the values the data server takes: code
// 96's read record (size word, tag pointer, result area), code 97's write
// record (tag and value pointers) and code 98's command text; and the edge
// that serves each code with them.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "casedata/values/data_server_values.h"
#include "gridmoor/host.h"
#include "host/host_record.h"
#include "outcome/outcome.h"

namespace model {
class CExcModel;
}

namespace driver {

inline constexpr char kDataServerNotCompatibleMessage[] =
    "This version of Gridmoor.dll is not compatible with the version of Conflux";

// A read record whose size word is not EXT_DS_READ_RECORD_SIZE is refused
// with kDataServerNotCompatibleMessage, before anything is written to it.
outcome::Error CheckTagReadRecord(const host::ConstHostRecord& record);
// The tag; none for a null tag pointer.
std::optional<casedata::TagRead> DecodeTagRead(const host::ConstHostRecord& record);
// Zeroes the result area, then writes `text` into it cut at a character
// boundary to fit with its NUL.
void EncodeTagReadResult(host::HostRecord& record, const std::string& text);

// The tag and the value; none when either pointer is null.
std::optional<casedata::TagWrite> DecodeTagWrite(const host::ConstHostRecord& record);

// None for a null text.
std::optional<casedata::CommandText> DecodeCommandText(const char* text);

// Codes 96, 97 and 98: decode, serve, encode, answer. A null record or text
// gives 1 without a message; a read record of the right size has its result
// area zeroed even then.
std::int32_t GetDataServerValue(model::CExcModel& model, void* readRecord, ExtStatusRecord* status);
std::int32_t SetDataServerValue(model::CExcModel& model, const void* writeRecord,
                                ExtStatusRecord* status);
std::int32_t ExecuteCommand(model::CExcModel& model, const char* command, ExtStatusRecord* status);

}  // namespace driver
