// Pieces shared by the stream and composition operations.
#pragma once

#include <string>

#include "automation/excel_session.h"
#include "case/case_details.h"
#include "case/composition.h"
#include "host/host_record.h"

namespace streams::detail {

// The composition a stream's transfer carries: null when compositions are
// off, no composition has the stream's name for it, or it has no components.
const CExcCompositionDefinition* TransferredComposition(const model::CExcCaseDetails& details,
                                                        const std::string& compositionName);

// More components than the host's records hold: reports it and gives true.
bool RefuseOversizedComposition(const CExcCompositionDefinition& composition,
                                host::StatusRecord& status);

}  // namespace streams::detail
