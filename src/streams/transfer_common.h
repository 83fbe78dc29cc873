// Pieces shared by the stream and composition operations.
#pragma once

#include <string>

#include "driver/host_record.h"
#include "model/case_details.h"
#include "streams/composition.h"

namespace streams::detail {

inline constexpr char kNoConnection[] = "There is no connection to Excel";

// The composition a stream's transfer carries: null when compositions are
// off, no composition has the stream's name for it, or it has no components.
const CExcCompositionDefinition* TransferredComposition(const model::CExcCaseDetails& details,
                                                        const std::string& compositionName);

// More components than the host's records hold: reports it and gives true.
bool RefuseOversizedComposition(const CExcCompositionDefinition& composition,
                                driver::StatusRecord& status);

}  // namespace streams::detail
