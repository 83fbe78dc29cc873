#include "driver/commands/stream_commands.h"

#include <optional>
#include <string>

#include "driver/records/stream_records.h"
#include "host/message.h"
#include "model/model.h"

namespace driver {
namespace {

using outcome::Error;

constexpr char kIncompatibleRecord[] =
    "This version of Gridmoor.dll is not compatible with the version of Conflux";

}  // namespace

std::int32_t EnumStreamsAtEdge(model::CExcModel& model, void* streamRecord, std::int32_t query,
                               ExtStatusRecord* status) {
  host::StatusRecord out(status);
  host::HostRecord record(streamRecord, EXT_STREAM_RECORD_MIN_SIZE);
  const outcome::Expected<casedata::StreamListing> next =
      model.EnumStreams(ReadStreamCursor(record), query);
  if (!next) return host::Answer(next.GetError(), out);
  return WriteStreamListing(record, *next) ? EXT_RESULT_OK : EXT_RESULT_FAILED;
}

std::int32_t QueryCompAtEdge(model::CExcModel& model, ExtStatusRecord* status) {
  host::StatusRecord out(status);
  return host::Answer(model.QueryComp(), out);
}

std::int32_t GetStreamCompositionAtEdge(model::CExcModel& model, void* componentList,
                                        std::int32_t stream, ExtStatusRecord* status) {
  host::StatusRecord out(status);
  const outcome::Expected<std::optional<casedata::ComponentList>> names =
      model.GetStreamComposition(stream);
  if (!names) return host::Answer(names.GetError(), out);
  if (!*names) return EXT_RESULT_OK;  // compositions are off
  if (componentList == nullptr) {
    return host::Answer(
        Error::Failed("Invalid component list passed to Gridmoor::GetStreamComposition",
                      outcome::kNone),
        out);
  }
  host::HostRecord record(componentList, EXT_COMPONENT_LIST_RECORD_MIN_SIZE);
  // The code's success: the list was filled.
  constexpr std::int32_t kFilled = 1;
  return WriteComponentList(record, **names) ? kFilled : EXT_RESULT_NONE;
}

std::int32_t GetIprAtEdge(model::CExcModel& model, void* iprRecord, ExtStatusRecord* status) {
  host::StatusRecord out(status);
  host::HostRecord record = OpenIprRecord(iprRecord);
  if (record.empty()) return host::Answer(Error::Failed(kIncompatibleRecord), out);
  const outcome::Partial<casedata::IprValues> got = model.GetIPR(ReadIprRecord(record));
  WriteIprRecord(record, got.value);
  return host::Answer(got.error, out);
}

std::int32_t SetIprAtEdge(model::CExcModel& model, void* iprRecord, ExtStatusRecord* status) {
  host::StatusRecord out(status);
  const host::HostRecord record = OpenIprRecord(iprRecord);
  if (record.empty()) return host::Answer(Error::Failed(kIncompatibleRecord), out);
  return host::Answer(model.SetIPR(ReadIprRecord(record)), out);
}

}  // namespace driver
