#include "driver/case_commands.h"

#include <optional>
#include <string>
#include <utility>

#include "driver/case_records.h"
#include "host/host_record.h"
#include "host/message.h"
#include "model/model.h"

namespace driver::edge {

std::int32_t GetFileDescription(M m, A a) {
  const host::HostRecord record(a.arg, EXT_FILE_DESCRIPTION_RECORD_MIN_SIZE);
  const std::optional<std::int32_t> index = DecodeFileDescriptionIndex(record);
  if (!index) return EXT_RESULT_NONE;
  const std::optional<model::FileDescription> file = m.GetFileDescription(*index);
  if (!file) return EXT_RESULT_NONE;
  // The record was read, so every field is inside it.
  static_cast<void>(EncodeFileDescription(*file, record));
  return EXT_RESULT_OK;
}

std::int32_t GetNextEvent(M m, A a) {
  const std::optional<double> time = m.GetNextEvent();
  if (!time) return EXT_RESULT_FAILED;
  const host::HostRecord record(a.arg, EXT_NEXT_EVENT_RECORD_MIN_SIZE);
  return EncodeNextEvent(*time, record) ? EXT_RESULT_OK : EXT_RESULT_FAILED;
}

std::int32_t SetDate(M m, A a) {
  const std::optional<double> dayBefore =
      DecodeHostDate(host::ConstHostRecord(a.arg, EXT_DATE_RECORD_MIN_SIZE));
  if (!dayBefore) return AnswerEvent(outcome::Error::Failed("No run date was given"), a);
  m.SetDate(*dayBefore);
  return EXT_RESULT_OK;
}

std::int32_t SetFileName(M m, A a) {
  outcome::Expected<std::string> name =
      DecodeFileName(host::ConstHostRecord(a.arg, EXT_FILE_NAME_RECORD_MIN_SIZE));
  if (!name) return AnswerEvent(name.TakeError(), a);
  m.SetFileName(std::move(*name));
  return EXT_RESULT_OK;
}

std::int32_t AnswerEvent(const outcome::Error& error, A a) {
  host::StatusRecord status(a.status);
  return host::Answer(error, status);
}

std::int32_t EndOfRun(M m, A) {
  return m.OnEndOfRun() ? EXT_RESULT_FAILED : EXT_RESULT_OK;
}

}  // namespace driver::edge
