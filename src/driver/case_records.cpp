#include "driver/case_records.h"

#include <utility>

#include "host/message.h"

namespace driver {

outcome::Expected<std::string> DecodeFileName(const host::ConstHostRecord& record) {
  std::string name;
  if (!record.ReadText(EXT_FILE_NAME_TEXT_OFFSET, EXT_FILE_NAME_TEXT_SIZE, name))
    return outcome::Error::Failed("No file name was given");
  if (!record.ReadTerminatedText(EXT_FILE_NAME_TEXT_OFFSET, EXT_FILE_NAME_TEXT_SIZE, name)) {
    return outcome::Error::Failed(host::FormatString(
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

bool EncodeFileDescription(const model::FileDescription& file, host::HostRecord record) {
  bool ok =
      record.WriteText(EXT_FILE_DESCRIPTION_PATH_OFFSET, EXT_FILE_DESCRIPTION_PATH_SIZE, file.path);
  ok = record.WriteText(EXT_FILE_DESCRIPTION_TEXT_OFFSET, EXT_FILE_DESCRIPTION_TEXT_SIZE,
                        file.text) &&
       ok;
  return record.WriteU8(EXT_FILE_DESCRIPTION_PRESENT_OFFSET, 1) && ok;
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
