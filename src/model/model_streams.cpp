// The model's stream and composition slots: the case and the session go to
// the stream transfer, which takes SpreadsheetLock itself where it must.
#include <utility>

#include "model/model.h"
#include "streams/composition_ops.h"
#include "streams/stream_transfer.h"

namespace model {

outcome::Expected<casedata::StreamListing> CExcModel::EnumStreams(
    std::optional<std::uint32_t> cursor, std::int32_t query) {
  return streams::EnumStreams(caseDetails, CreateFailed(), cursor, query);
}

outcome::Error CExcModel::QueryComp() {
  return streams::QueryComp(caseDetails);
}

outcome::Partial<casedata::IprValues> CExcModel::GetIPR(casedata::IprValues values) {
  return streams::GetIPR(caseDetails, Session(), std::move(values));
}

outcome::Error CExcModel::SetIPR(const casedata::IprValues& values) {
  return streams::SetIPR(caseDetails, Session(), {runDate.days, timestep}, values);
}

outcome::Expected<std::optional<casedata::ComponentList>> CExcModel::GetStreamComposition(
    std::int32_t stream) {
  return streams::GetStreamComposition(caseDetails, CreateFailed(), stream);
}

}  // namespace model
