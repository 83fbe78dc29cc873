// A stream's composition block between its worksheet cells and the
// stream's values. Both run on the worksheet already selected and fail with
// the reason (a cell's value, a write that did nothing); a failure of the
// application itself still arrives as com::Error. What was done before
// stays done.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "automation/block_transfer.h"
#include "automation/excel_session.h"
#include "casedata/composition.h"
#include "casedata/stream_data.h"
#include "casedata/values/stream_values.h"
#include "outcome/outcome.h"

namespace streams::detail {

// Reads the component table, interaction matrix, mass rate and EOS model of
// `count` components (at most kMaxComponents) into the values, from the
// current worksheet, `sheetName`. An empty mole fraction is 0, an empty or
// "--" property not given; any other text that is not wholly a number fails
// naming the sheet and cell.
// `whole`, when it read its cells in one call, holds them from its cell
// `first` on, as CompositionCells lists them; otherwise each block is read
// in a call of its own.
outcome::Error ReadCompositionBlock(automation::CExcExcelObj& session, std::string_view sheetName,
                                    const casedata::CExcStreamCompositionData& block,
                                    std::size_t count, casedata::IprValues& values,
                                    const automation::BlockRead* whole = nullptr,
                                    std::size_t first = 0);
// The table's and matrix's cells ReadCompositionBlock reads, in its order:
// the table row by row, then the matrix.
std::vector<std::string> CompositionCells(const casedata::CExcStreamCompositionData& block,
                                          std::size_t count);

// Writes the names of `composition` (at most kMaxComponents) and the
// values' components, matrix, mass rate and EOS model into the cells.
outcome::Error WriteCompositionBlock(automation::CExcExcelObj& session,
                                     const casedata::CExcStreamCompositionData& block,
                                     const casedata::CExcCompositionDefinition& composition,
                                     const casedata::IprValues& values);

}  // namespace streams::detail
