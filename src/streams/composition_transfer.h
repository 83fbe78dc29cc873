// A stream's composition block between its worksheet cells and the
// stream's values. Both run on the worksheet already selected and raise
// com::Error on any automation failure; what was done before stays done.
#pragma once

#include <cstddef>
#include <string_view>

#include "automation/excel_session.h"
#include "casedata/composition.h"
#include "casedata/stream_data.h"
#include "casedata/values/stream_values.h"

namespace streams::detail {

// Reads the component table, interaction matrix, mass rate and EOS model of
// `count` components (at most kMaxComponents) into the values, from the
// current worksheet, `sheetName`. An empty mole fraction is 0, an empty or
// "--" property not given; any other text that is not wholly a number throws
// automation::CellReadError naming the sheet and cell.
void ReadCompositionBlock(automation::CExcExcelObj& session, std::string_view sheetName,
                          const casedata::CExcStreamCompositionData& block, std::size_t count,
                          casedata::IprValues& values);

// Writes the names of `composition` (at most kMaxComponents) and the
// values' components, matrix, mass rate and EOS model into the cells.
void WriteCompositionBlock(automation::CExcExcelObj& session,
                           const casedata::CExcStreamCompositionData& block,
                           const casedata::CExcCompositionDefinition& composition,
                           const casedata::IprValues& values);

}  // namespace streams::detail
