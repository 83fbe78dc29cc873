// A stream's composition block between its worksheet cells and the
// stream's values. Both run on the worksheet already selected and fail with
// the reason (a cell's value, a write that did nothing); a failure of the
// application itself still arrives as com::Error. What was done before
// stays done.
#pragma once

#include <cstddef>
#include <optional>
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
// `ahead`, when one read took the composition's cells already, holds them
// where CompositionBlocks places them; otherwise each block is read in a
// call of its own.
outcome::Error ReadCompositionBlock(automation::CExcExcelObj& session, std::string_view sheetName,
                                    const casedata::CExcStreamCompositionData& block,
                                    std::size_t count, casedata::IprValues& values,
                                    const automation::BlockRead* ahead = nullptr);

// Where ReadCompositionBlock's cells lie: the table's value columns (the
// names left out), the matrix when there is one, and the mass rate and EOS
// model cells when given.
struct CompositionPlaces {
  automation::CellBlock table;
  std::optional<automation::CellBlock> matrix;
  std::optional<automation::CellPosition> massRate;
  std::optional<automation::CellPosition> eosModel;

  // The cells they hold, a cell counted once for each of them it is in.
  std::size_t CellCount() const;
  // The smallest rectangle holding them all.
  automation::CellBlock Covering() const;
};
// None when a top-left cell is not a plain A1 cell or a block leaves the
// grid, or a given mass rate or EOS model cell is not plain.
std::optional<CompositionPlaces> CompositionBlocks(const casedata::CExcStreamCompositionData& block,
                                                   std::size_t count);

// Writes the names of `composition` (at most kMaxComponents) and the
// values' components, matrix, mass rate and EOS model into the cells.
outcome::Error WriteCompositionBlock(automation::CExcExcelObj& session,
                                     const casedata::CExcStreamCompositionData& block,
                                     const casedata::CExcCompositionDefinition& composition,
                                     const casedata::IprValues& values);

}  // namespace streams::detail
