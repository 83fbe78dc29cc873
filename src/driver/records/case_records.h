// The host's records of the case's file, data and run-time commands and the
// values the model sees: the file-name record (code 136), the
// file-description record (code 16), the case-data record (code 13), the
// buffers stored into (codes 12 and 14), the date record (code 63) and the
// next-event record (code 62). Each function names its record's fields at
// the host's offsets (include/gridmoor/host.h); every access is
// bounds-checked.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "casedata/values/case_file_values.h"
#include "host/host_record.h"
#include "outcome/outcome.h"

namespace driver {

// The workbook path of a file-name record (EXT_FILE_NAME_RECORD_MIN_SIZE
// bytes), or why there is none: no record, or a path that fills its field
// without an end (the host cut it, and it would name another file).
outcome::Expected<std::string> DecodeFileName(const host::ConstHostRecord& record);

// The index a file-description record (EXT_FILE_DESCRIPTION_RECORD_MIN_SIZE
// bytes) asks for; none for an empty record.
std::optional<std::int32_t> DecodeFileDescriptionIndex(const host::ConstHostRecord& record);
// Writes the path, the text (each cut to its field, with its NUL) and the
// present flag; the index stays. False when a field is not inside the
// record.
[[nodiscard]] bool EncodeFileDescription(const casedata::FileDescription& file,
                                         host::HostRecord record);

// The archive of a case-data record (EXT_CASE_DATA_RECORD_SIZE bytes), with
// the model file's path and the no-relocation flag; fails with
// model::kReadCaseFailed when the archive's size word cannot be read or
// passes its room.
outcome::Expected<casedata::StoredCase> DecodeStoredCase(const host::ConstHostRecord& record);
// Writes `bytes` from the buffer's start; the rest stays. False when they
// do not fit.
[[nodiscard]] bool EncodeStoredBytes(const std::vector<std::uint8_t>& bytes,
                                     host::HostRecord buffer);

// The date of a date record (EXT_DATE_RECORD_MIN_SIZE bytes): the day
// before the run date, in OLE days. None for an empty record.
std::optional<double> DecodeHostDate(const host::ConstHostRecord& record);

// Writes the flag and the time of the next event into a next-event record
// (EXT_NEXT_EVENT_RECORD_MIN_SIZE bytes); the rest stays. False when a field
// is not inside the record.
[[nodiscard]] bool EncodeNextEvent(double time, host::HostRecord record);

}  // namespace driver
