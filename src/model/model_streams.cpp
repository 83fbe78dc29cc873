// The model's stream and composition slots: the case and the session go to
// the stream transfer, which takes SpreadsheetLock itself where it must.
#include "model/model.h"
#include "streams/composition_ops.h"
#include "streams/stream_transfer.h"

namespace model {

std::int32_t CExcModel::EnumStreams(void* streamRecord, std::int32_t query,
                                    ExtStatusRecord* status) {
  return streams::EnumStreams(caseDetails, CreateFailed(), streamRecord, query, status);
}

std::int32_t CExcModel::QueryComp(void* /*arg*/, ExtStatusRecord* status) {
  return streams::QueryComp(caseDetails, status);
}

std::int32_t CExcModel::GetIPR(void* iprRecord, ExtStatusRecord* status) {
  return streams::GetIPR(caseDetails, Session(), iprRecord, status);
}

std::int32_t CExcModel::SetIPR(void* iprRecord, ExtStatusRecord* status) {
  return streams::SetIPR(caseDetails, Session(), {runDate.days, timestep}, iprRecord, status);
}

std::int32_t CExcModel::GetStreamComposition(void* componentList, std::int32_t stream,
                                             ExtStatusRecord* status) {
  return streams::GetStreamComposition(caseDetails, CreateFailed(), componentList, stream, status);
}

}  // namespace model
