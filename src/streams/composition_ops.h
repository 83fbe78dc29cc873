// The host's questions about compositions.
#pragma once

#include <cstdint>

#include "case/case_details.h"
#include "gridmoor/host.h"

namespace streams {

// Compositions are per stream, never per application: -1 without a message
// when compositions are off, else 1 with a message saying so.
std::int32_t QueryComp(const model::CExcCaseDetails& details, ExtStatusRecord* status);

// Writes the component names of the stream's composition into the host's
// component list (EXT_COMPONENT_LIST_RECORD_MIN_SIZE bytes): the count, then
// each name cut to its 16-byte slot. 1 when the record was filled, 0 when
// compositions are off (record untouched), -1 on failure with a message
// (record untouched).
std::int32_t GetStreamComposition(const model::CExcCaseDetails& details, bool createFailed,
                                  void* componentList, std::int32_t stream,
                                  ExtStatusRecord* status);

// After the composition list was replaced: every stream whose composition
// name no longer names a composition of the list (exactly) gets an empty
// name, so that it transfers no composition until one is chosen again.
void ClearStaleCompositionNames(model::CExcCaseDetails& details);

}  // namespace streams
