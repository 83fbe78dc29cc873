#include "driver/records/data_server_records.h"

#include <utility>

#include "automation/excel_session.h"
#include "dataserver/data_server.h"
#include "host/message.h"

namespace driver {
namespace {

// The data server's messages are cut where the status text cuts them.
static_assert(automation::kMessageSize == EXT_STATUS_TEXT_SIZE);

std::optional<std::string> TextAt(const host::ConstHostRecord& record, std::size_t offset) {
  void* text = nullptr;
  if (!record.ReadPointer(offset, text) || text == nullptr) return std::nullopt;
  return host::ReadHostText(static_cast<const char*>(text));
}

}  // namespace

outcome::Error CheckTagReadRecord(const host::ConstHostRecord& record) {
  std::uint32_t size = 0;
  if (!record.ReadU32(EXT_DS_READ_SIZE_OFFSET, size) || size != EXT_DS_READ_RECORD_SIZE) {
    return outcome::Error::Failed(kDataServerNotCompatibleMessage);
  }
  return outcome::Error::Success();
}

std::optional<casedata::TagRead> DecodeTagRead(const host::ConstHostRecord& record) {
  std::optional<std::string> tag = TextAt(record, EXT_DS_READ_TAG_POINTER_OFFSET);
  if (!tag) return std::nullopt;
  return casedata::TagRead{std::move(*tag)};
}

void EncodeTagReadResult(host::HostRecord& record, const std::string& text) {
  (void)record.Fill(EXT_DS_READ_RESULT_OFFSET, EXT_DS_READ_RESULT_SIZE, 0);
  (void)record.WriteText(EXT_DS_READ_RESULT_OFFSET, EXT_DS_READ_RESULT_SIZE, text);
}

std::optional<casedata::TagWrite> DecodeTagWrite(const host::ConstHostRecord& record) {
  std::optional<std::string> tag = TextAt(record, EXT_DS_WRITE_TAG_POINTER_OFFSET);
  std::optional<std::string> value = TextAt(record, EXT_DS_WRITE_VALUE_POINTER_OFFSET);
  if (!tag || !value) return std::nullopt;
  return casedata::TagWrite{std::move(*tag), std::move(*value)};
}

std::optional<casedata::CommandText> DecodeCommandText(const char* text) {
  if (text == nullptr) return std::nullopt;
  return casedata::CommandText{host::ReadHostText(text)};
}

std::int32_t GetDataServerValue(model::CExcModel& model, void* readRecord,
                                ExtStatusRecord* status) {
  if (readRecord == nullptr) return EXT_RESULT_FAILED;
  host::HostRecord record(readRecord, EXT_DS_READ_RECORD_SIZE);
  host::StatusRecord answer(status);
  if (const outcome::Error wrong = CheckTagReadRecord(record)) return host::Answer(wrong, answer);
  EncodeTagReadResult(record, {});
  const std::optional<casedata::TagRead> read = DecodeTagRead(record);
  if (!read) return EXT_RESULT_FAILED;
  const outcome::Partial<std::string> value = dataserver::GetDataServerValue(model, *read);
  EncodeTagReadResult(record, value.value);
  return host::Answer(value.error, answer);
}

std::int32_t SetDataServerValue(model::CExcModel& model, const void* writeRecord,
                                ExtStatusRecord* status) {
  const std::optional<casedata::TagWrite> write =
      DecodeTagWrite(host::ConstHostRecord(writeRecord, EXT_DS_WRITE_RECORD_MIN_SIZE));
  if (!write) return EXT_RESULT_FAILED;
  host::StatusRecord answer(status);
  return host::Answer(dataserver::SetDataServerValue(model, *write), answer);
}

std::int32_t ExecuteCommand(model::CExcModel& model, const char* command, ExtStatusRecord* status) {
  const std::optional<casedata::CommandText> text = DecodeCommandText(command);
  if (!text) return EXT_RESULT_FAILED;
  host::StatusRecord answer(status);
  return host::Answer(dataserver::ExecuteCommand(model, *text), answer);
}

}  // namespace driver
