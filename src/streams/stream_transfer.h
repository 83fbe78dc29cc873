// The driver operations that move stream data between the host and the
// workbook: listing the streams, reading an output stream into a stream's
// values and writing the values into an input stream's cells.
//
// Stream handles: input stream i has handle i, output stream j has handle
// inputCount + j. The case's stream collections hold exactly inputCount and
// outputCount records.
#pragma once

#include <cstdint>
#include <optional>

#include "automation/excel_session.h"
#include "casedata/case_details.h"
#include "casedata/values/stream_values.h"
#include "outcome/outcome.h"

namespace streams {

// The stream after the one `cursor` names (0xFFFFFFFF starts); `cursor` is
// none when the host passed no record to hold it. A failure of result
// outcome::kNone without a message when there is none left, or when the
// query (kind 2) asks for streams this driver never has. Needs no session;
// it fails only when the model could not be created (`createFailed`).
outcome::Expected<casedata::StreamListing> EnumStreams(const casedata::CExcCaseDetails& details,
                                                       bool createFailed,
                                                       std::optional<std::uint32_t> cursor,
                                                       std::int32_t query);

// Reads the cells of the output stream `values.handle` names into the
// values, converting each into the internal unit, and the composition block
// when compositions are on. Values whose cells are not bound keep what the
// host gave. On failure the values hold what was read before it. A null
// session means no connection. Takes SpreadsheetLock for its whole run.
outcome::Partial<casedata::IprValues> GetIPR(const casedata::CExcCaseDetails& details,
                                             automation::CExcExcelObj* session,
                                             casedata::IprValues values);

// What an input stream writes besides the values: the run date (OLE days,
// as SetDate left it) into the "Date" rows, and the timestep counter that
// moves the forecast cells (0 at the start of a run).
struct RunPosition {
  double runDate = 0.0;
  std::uint32_t timestep = 0;
};

// Writes the values into the cells of the input stream `values.handle`
// names. When the stream's worksheet does not exist it is added, and the
// stream keeps the name the new sheet got. On failure what was written
// stays. Takes SpreadsheetLock for its whole run.
outcome::Error SetIPR(casedata::CExcCaseDetails& details, automation::CExcExcelObj* session,
                      const RunPosition& position, const casedata::IprValues& values);

}  // namespace streams
