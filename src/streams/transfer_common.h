// Pieces shared by the stream and composition operations.
#pragma once

#include <cstddef>
#include <string>

#include "automation/cell_address.h"
#include "automation/excel_session.h"
#include "case/case_details.h"
#include "case/composition.h"
#include "host/host_record.h"

namespace streams::detail {

// The double at `offset` of the host's record; the undefined value when the
// record does not reach that far.
inline double ReadDouble(const host::ConstHostRecord& record, std::size_t offset) {
  double value = EXT_UNDEFINED_VALUE;
  static_cast<void>(record.ReadDouble(offset, value));
  return value;
}

// The composition a stream's transfer carries: null when compositions are
// off, no composition has the stream's name for it, or it has no components.
const CExcCompositionDefinition* TransferredComposition(const model::CExcCaseDetails& details,
                                                        const std::string& compositionName);

// More components than the host's records hold: reports it and gives true.
bool RefuseOversizedComposition(const CExcCompositionDefinition& composition,
                                host::StatusRecord& status);

}  // namespace streams::detail
