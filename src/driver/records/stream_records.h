// The host's stream records and the values the stream operations see: the
// stream record (code 2), the IPR record (codes 50 and 51) and the component
// list (code 18). Each record's fields are listed once, in
// stream_records.cpp; reading and writing walk the same list, through the
// bounds-checked host records.
#pragma once

#include <cstdint>
#include <optional>

#include "casedata/values/stream_values.h"
#include "host/host_record.h"

namespace driver {

// The stream record's cursor; none when the record is null.
std::optional<std::uint32_t> ReadStreamCursor(const host::ConstHostRecord& record);

// Writes the listing into the stream record (EXT_STREAM_RECORD_MIN_SIZE
// bytes): the cursor, kind and constant words, and the name and description
// each followed by its NUL (the rest of their fields keep what they held).
// False when a field is not inside the record.
[[nodiscard]] bool WriteStreamListing(host::HostRecord& record,
                                      const casedata::StreamListing& listing);

// The IPR record at `data`, once its size word says it is one of this
// layout; an empty record otherwise.
host::HostRecord OpenIprRecord(void* data);

// Every field of an IPR record opened by OpenIprRecord. Bytes the list does
// not name are neither read nor written; a field written back unchanged
// keeps its bytes.
casedata::IprValues ReadIprRecord(const host::ConstHostRecord& record);
void WriteIprRecord(host::HostRecord& record, const casedata::IprValues& values);

// Writes the count and names into the component list
// (EXT_COMPONENT_LIST_RECORD_MIN_SIZE bytes); a longer name is cut to its
// 16-byte slot, which always keeps its NUL. False when a field is not inside
// the record.
[[nodiscard]] bool WriteComponentList(host::HostRecord& record,
                                      const casedata::ComponentList& list);

}  // namespace driver
