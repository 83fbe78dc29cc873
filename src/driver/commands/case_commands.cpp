#include "driver/commands/case_commands.h"

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "driver/records/case_records.h"
#include "host/host_record.h"
#include "host/message.h"
#include "model/model.h"

namespace driver::edge {
namespace {

// The capacity the host gives its buffer; a null buffer has none.
std::size_t Capacity(A a) {
  return a.arg != nullptr ? static_cast<std::uint32_t>(a.iarg) : 0;
}

// What a store wrote reaches the host's buffer, also before a failure.
std::int32_t AnswerStored(const outcome::Partial<std::vector<std::uint8_t>>& stored, A a) {
  static_cast<void>(EncodeStoredBytes(stored.value, host::HostRecord(a.arg, Capacity(a))));
  return Answer(stored.error, a);
}

}  // namespace

std::int32_t WriteCaseData(M m, A a) {
  return AnswerStored(m.WriteCaseData(Capacity(a)), a);
}

std::int32_t ReadCaseData(M m, A a) {
  outcome::Expected<casedata::StoredCase> stored =
      DecodeStoredCase(host::ConstHostRecord(a.arg, EXT_CASE_DATA_RECORD_SIZE));
  if (!stored) return Answer(stored.TakeError(), a);
  return Answer(m.ReadCaseData(*stored), a);
}

std::int32_t WriteModelData(M m, A a) {
  return AnswerStored(m.WriteModelData(Capacity(a)), a);
}

// A missing or damaged model data file is not the host's failure: the case
// simply has the variables read so far, and the host has always had 0 and
// no message for it (a host that wants to tell its user checks the file
// itself, as gridmoor-host does).
std::int32_t ReadModelData(M m, A) {
  m.ReadModelData().Consume();
  return EXT_RESULT_OK;
}

// The path text is the host's: the model keeps the pointer.
std::int32_t SetModelDataFile(M m, A a) {
  m.SetModelDataFile(static_cast<const char*>(a.arg), a.iarg > 0);
  return EXT_RESULT_OK;
}

std::int32_t GetFileDescription(M m, A a) {
  const host::HostRecord record(a.arg, EXT_FILE_DESCRIPTION_RECORD_MIN_SIZE);
  const std::optional<std::int32_t> index = DecodeFileDescriptionIndex(record);
  if (!index) return EXT_RESULT_NONE;
  const std::optional<casedata::FileDescription> file = m.GetFileDescription(*index);
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
  if (!dayBefore) return Answer(outcome::Error::Failed("No run date was given"), a);
  m.SetDate(*dayBefore);
  return EXT_RESULT_OK;
}

std::int32_t SetFileName(M m, A a) {
  outcome::Expected<std::string> name =
      DecodeFileName(host::ConstHostRecord(a.arg, EXT_FILE_NAME_RECORD_MIN_SIZE));
  if (!name) return Answer(name.TakeError(), a);
  m.SetFileName(std::move(*name));
  return EXT_RESULT_OK;
}

std::int32_t Answer(const outcome::Error& error, A a) {
  host::StatusRecord status(a.status);
  return host::Answer(error, status);
}

std::int32_t EndOfRun(M m, A) {
  return m.OnEndOfRun() ? EXT_RESULT_FAILED : EXT_RESULT_OK;
}

}  // namespace driver::edge
