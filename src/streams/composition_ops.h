// The host's questions about compositions.
#pragma once

#include <cstdint>
#include <optional>

#include "casedata/case_details.h"
#include "casedata/values/stream_values.h"
#include "outcome/outcome.h"

namespace streams {

// Compositions are per stream, never per application: a failure of result
// outcome::kNone without a message when compositions are off, else a
// failure saying so.
outcome::Error QueryComp(const casedata::CExcCaseDetails& details);

// The component names of the stream's composition; none when compositions
// are off. Every failure has result outcome::kNone.
outcome::Expected<std::optional<casedata::ComponentList>> GetStreamComposition(
    const casedata::CExcCaseDetails& details, bool createFailed, std::int32_t stream);

// After the composition list was replaced: every stream whose composition
// name no longer names a composition of the list (exactly) gets an empty
// name, so that it transfers no composition until one is chosen again.
void ClearStaleCompositionNames(casedata::CExcCaseDetails& details);

}  // namespace streams
