// Pieces shared by the stream and composition operations.
#pragma once

#include <string>

#include "casedata/case_details.h"
#include "casedata/composition.h"
#include "outcome/outcome.h"

namespace streams::detail {

// The composition a stream's transfer carries: null when compositions are
// off, no composition has the stream's name for it, or it has no components.
const casedata::CExcCompositionDefinition* TransferredComposition(
    const casedata::CExcCaseDetails& details, const std::string& compositionName);

// A failure when the composition has more components than a stream carries.
outcome::Error RefuseOversizedComposition(const casedata::CExcCompositionDefinition& composition,
                                          std::int32_t result = outcome::kFailed);

}  // namespace streams::detail
