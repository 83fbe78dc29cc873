// The host records of published variables and of the batch problem files,
// and their values: the variable record of codes 103 and 105, record 2 of
// code 117 (texts by address), the add record of code 108 and the
// batch-files record of codes 256 and 258. Each function lists the record's
// fields at the host's offsets (include/gridmoor/host.h); every access is
// bounds-checked.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "casedata/values/published_values.h"
#include "host/host_record.h"

namespace driver {

// The handle a variable record (EXT_PUBVAR_RECORD_MIN_SIZE bytes) names; none
// for an empty record.
std::optional<std::int32_t> DecodeVariableHandle(const host::ConstHostRecord& record);
// Writes a listed variable: its handle, flag 1, name and unit, each text cut
// to its field and terminated.
bool EncodeVariableInfo(const casedata::PublishedVariableInfo& info, host::HostRecord record);

// A set or get through the variable record: the handle (-1 for an empty
// record), the flag and, for a set, the text field's first 64 bytes up to a
// NUL.
casedata::PublishedValueRequest DecodeValueRequest(const host::ConstHostRecord& record);
// Writes a get's value text into the text field, cut and terminated.
bool EncodeValueText(const std::string& text, host::HostRecord record);

// As DecodeValueRequest for record 2 (EXT_PUBVAR2_RECORD_MIN_SIZE bytes): a
// set's text is read from the address the record holds, at most
// kMaxPublishedText + 1 bytes; none when the address is null. The address
// is followed only when the handle names one of `variableCount` variables:
// a set refused for its handle reads nothing of the host's.
casedata::PublishedValueRequest DecodeValueRequest2(const host::ConstHostRecord& record,
                                                    std::size_t variableCount);
// Stores the address of a get's value text in record 2.
bool EncodeValueAddress(const char* text, host::HostRecord record);

// The add record (EXT_ADD_PUBVAR_RECORD_MIN_SIZE bytes): the masking flag
// and the three texts by address, read in order up to the first null
// address and not at all when masking is set; none for an empty record.
std::optional<casedata::NewPublishedVariable> DecodeNewVariable(
    const host::ConstHostRecord& record);
// Writes the new variable's handle into the add record.
bool EncodeNewHandle(std::int32_t handle, host::HostRecord record);

// The batch-files record (EXT_BATCH_FILES_RECORD_MIN_SIZE bytes): the input
// and report paths, each complete only when its field holds its terminator.
casedata::BatchFiles DecodeBatchFiles(const host::ConstHostRecord& record);
// Code 258's output path: the report path's field alone.
casedata::BatchPath DecodeBatchOutput(const host::ConstHostRecord& record);

}  // namespace driver
