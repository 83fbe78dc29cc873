// The optimiser's host records and their values: the problem record (code
// 32), the value record of codes 36 to 39 and the integer-control list of
// code 34. Each function lists the record's fields at the host's offsets
// (include/gridmoor/host.h); every access is bounds-checked.
#pragma once

#include <optional>

#include "casedata/values/optimisation_values.h"
#include "host/host_record.h"

namespace driver {

// Writes the problem into a record of EXT_OPT_PROBLEM_RECORD_SIZE bytes: the
// objective (its texts only when it is defined), then each kind's count and
// entries. Bytes the record does not name stay as they were. False when a
// field could not be written (an empty record among them).
bool EncodeProblem(const casedata::OptimisationProblem& problem, host::HostRecord record);

// The handle and value of a value record (EXT_OPT_VALUE_RECORD_MIN_SIZE
// bytes); none for an empty record.
std::optional<casedata::ItemValue> DecodeItemValue(const host::ConstHostRecord& record);
// Writes a read's number into the value record; the handle stays.
bool EncodeItemValue(double value, host::HostRecord record);

// The count and handles of an integer-control list, read only as far as the
// count reaches (the host's room for handles varies): no handles for a count
// over the maximum or below one. None for a null record.
std::optional<casedata::IntegerControlList> DecodeIntegerControlList(const void* listRecord);

}  // namespace driver
