#include "driver/records/case_records.h"

#include <utility>

#include "host/message.h"

namespace driver {

outcome::Expected<std::string> DecodeFileName(const host::ConstHostRecord& record) {
  std::string name;
  if (!record.ReadText(EXT_FILE_NAME_TEXT_OFFSET, EXT_FILE_NAME_TEXT_SIZE, name))
    return outcome::Error::Failed("No file name was given");
  if (!record.ReadTerminatedText(EXT_FILE_NAME_TEXT_OFFSET, EXT_FILE_NAME_TEXT_SIZE, name)) {
    return outcome::Error::Failed(text::FormatString(
        "The file name does not fit its field: more than %d bytes, so it was cut",
        EXT_FILE_NAME_TEXT_SIZE - 1));
  }
  return name;
}

std::optional<std::int32_t> DecodeFileDescriptionIndex(const host::ConstHostRecord& record) {
  std::int32_t index = 0;
  if (!record.ReadI32(EXT_FILE_DESCRIPTION_INDEX_OFFSET, index)) return std::nullopt;
  return index;
}

bool EncodeFileDescription(const casedata::FileDescription& file, host::HostRecord record) {
  bool ok =
      record.WriteText(EXT_FILE_DESCRIPTION_PATH_OFFSET, EXT_FILE_DESCRIPTION_PATH_SIZE, file.path);
  ok = record.WriteText(EXT_FILE_DESCRIPTION_TEXT_OFFSET, EXT_FILE_DESCRIPTION_TEXT_SIZE,
                        file.text) &&
       ok;
  return record.WriteU8(EXT_FILE_DESCRIPTION_PRESENT_OFFSET, 1) && ok;
}

outcome::Expected<casedata::StoredCase> DecodeStoredCase(const host::ConstHostRecord& record) {
  std::uint32_t size = 0;
  // A size beyond the record's room would read past the host's memory.
  if (!record.ReadU32(EXT_CASE_DATA_ARCHIVE_SIZE_OFFSET, size) ||
      size > EXT_CASE_DATA_ARCHIVE_CAPACITY) {
    return outcome::Error::Failed(casedata::kReadCaseFailed);
  }
  casedata::StoredCase stored;
  stored.archive.resize(size);
  if (size > 0)
    static_cast<void>(record.ReadBytes(EXT_CASE_DATA_ARCHIVE_OFFSET, stored.archive.data(), size));
  void* modelPath = nullptr;
  std::uint32_t noRelocation = 0;
  static_cast<void>(record.ReadPointer(EXT_CASE_DATA_MODEL_PATH_OFFSET, modelPath));
  static_cast<void>(record.ReadU32(EXT_CASE_DATA_NO_RELOCATION_OFFSET, noRelocation));
  stored.modelPath = host::ReadHostText(static_cast<const char*>(modelPath));
  stored.noRelocation = noRelocation != 0;
  return stored;
}

bool EncodeStoredBytes(const std::vector<std::uint8_t>& bytes, host::HostRecord buffer) {
  return bytes.empty() || buffer.WriteBytes(0, bytes.data(), bytes.size());
}

std::optional<double> DecodeHostDate(const host::ConstHostRecord& record) {
  double date = 0.0;
  if (!record.ReadDouble(EXT_DATE_RECORD_DATE_OFFSET, date)) return std::nullopt;
  return date;
}

bool EncodeNextEvent(double time, host::HostRecord record) {
  return record.WriteU8(EXT_NEXT_EVENT_FLAG_OFFSET, 1) &&
         record.WriteDouble(EXT_NEXT_EVENT_TIME_OFFSET, time);
}

}  // namespace driver
