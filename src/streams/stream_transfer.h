// The driver operations that move stream data between the host and the
// workbook: listing the streams, reading an output stream into the host's
// IPR record and writing the record into an input stream's cells.
//
// Stream handles: input stream i has handle i, output stream j has handle
// inputCount + j. The case's stream collections hold exactly inputCount and
// outputCount records.
//
// Results: 0 success, 1 failure with a message in the status text, -1 for
// nothing more to give.
#pragma once

#include <cstdint>

#include "automation/excel_session.h"
#include "case/case_details.h"
#include "gridmoor/host.h"

namespace streams {

// Describes the stream after the one named by the cursor of `streamRecord`
// (EXT_STREAM_RECORD_MIN_SIZE bytes; the cursor 0xFFFFFFFF starts). Query
// kind 2 asks for streams this driver never has: -1. Needs no session; it
// fails only when the model could not be created (`createFailed`).
std::int32_t EnumStreams(const model::CExcCaseDetails& details, bool createFailed,
                         void* streamRecord, std::int32_t query, ExtStatusRecord* status);

// Fills the IPR record (EXT_IPR_RECORD_SIZE bytes) from the cells of the
// output stream its handle names, converting each value into the internal
// unit, and the composition block when compositions are on. A null session
// means no connection. Takes SpreadsheetLock for its whole run.
std::int32_t GetIPR(const model::CExcCaseDetails& details, automation::CExcExcelObj* session,
                    void* iprRecord, ExtStatusRecord* status);

// What an input stream writes besides the record: the run date (OLE days, as
// SetDate left it) into the "Date" rows, and the timestep counter that moves
// the forecast cells (0 at the start of a run).
struct RunPosition {
  double runDate = 0.0;
  std::uint32_t timestep = 0;
};

// Writes the IPR record into the cells of the input stream its handle names.
// When the stream's worksheet does not exist it is added, and the stream
// keeps the name the new sheet got. Takes SpreadsheetLock for its whole run.
std::int32_t SetIPR(model::CExcCaseDetails& details, automation::CExcExcelObj* session,
                    const RunPosition& position, void* iprRecord, ExtStatusRecord* status);

}  // namespace streams
