#include "driver/records/published_records.h"

#include <cstddef>

namespace driver {
namespace {

// A text the host passes by address; none for a null address or a record
// that cannot be read.
std::optional<std::string> TextAt(const host::ConstHostRecord& record, std::size_t offset,
                                  std::size_t maxBytes = host::kHostTextLimit) {
  void* text = nullptr;
  if (!record.ReadPointer(offset, text) || text == nullptr) return std::nullopt;
  return host::ReadHostText(static_cast<const char*>(text), maxBytes);
}

bool IsSet(const host::ConstHostRecord& record, std::size_t offset) {
  std::uint8_t flag = 0;
  return record.ReadU8(offset, flag) && flag != 0;
}

std::int32_t HandleAt(const host::ConstHostRecord& record, std::size_t offset) {
  std::int32_t handle = -1;
  return record.ReadI32(offset, handle) ? handle : -1;
}

}  // namespace

std::optional<std::int32_t> DecodeVariableHandle(const host::ConstHostRecord& record) {
  std::int32_t handle = 0;
  if (!record.ReadI32(EXT_PUBVAR_HANDLE_OFFSET, handle)) return std::nullopt;
  return handle;
}

bool EncodeVariableInfo(const casedata::PublishedVariableInfo& info, host::HostRecord record) {
  bool written = record.WriteI32(EXT_PUBVAR_HANDLE_OFFSET, info.handle);
  written = record.WriteU8(EXT_PUBVAR_FLAG_OFFSET, 1) && written;
  written = record.WriteText(EXT_PUBVAR_TEXT_OFFSET, EXT_PUBVAR_TEXT_SIZE, info.name) && written;
  written = record.WriteText(EXT_PUBVAR_UNIT_OFFSET, EXT_PUBVAR_UNIT_SIZE, info.unit) && written;
  return written;
}

casedata::PublishedValueRequest DecodeValueRequest(const host::ConstHostRecord& record) {
  casedata::PublishedValueRequest request;
  request.handle = HandleAt(record, EXT_PUBVAR_HANDLE_OFFSET);
  request.set = IsSet(record, EXT_PUBVAR_FLAG_OFFSET);
  if (request.set) {
    // The host's field: its first 64 bytes, whether terminated or not.
    std::string text;
    static_cast<void>(record.ReadText(EXT_PUBVAR_TEXT_OFFSET, EXT_PUBVAR_TEXT_SIZE, text));
    request.text = std::move(text);
  }
  return request;
}

bool EncodeValueText(const std::string& text, host::HostRecord record) {
  return record.WriteText(EXT_PUBVAR_TEXT_OFFSET, EXT_PUBVAR_TEXT_SIZE, text);
}

casedata::PublishedValueRequest DecodeValueRequest2(const host::ConstHostRecord& record,
                                                    std::size_t variableCount) {
  casedata::PublishedValueRequest request;
  request.handle = HandleAt(record, EXT_PUBVAR2_HANDLE_OFFSET);
  request.set = IsSet(record, EXT_PUBVAR2_FLAG_OFFSET);
  const bool named =
      request.handle >= 0 && static_cast<std::size_t>(request.handle) < variableCount;
  if (request.set && named) {
    request.text = TextAt(record, EXT_PUBVAR2_TEXT_POINTER_OFFSET, casedata::kMaxPublishedText + 1);
  }
  return request;
}

bool EncodeValueAddress(const char* text, host::HostRecord record) {
  return record.WritePointer(EXT_PUBVAR2_TEXT_POINTER_OFFSET, text);
}

std::optional<casedata::NewPublishedVariable> DecodeNewVariable(
    const host::ConstHostRecord& record) {
  if (record.empty()) return std::nullopt;
  casedata::NewPublishedVariable added;
  added.masking = IsSet(record, EXT_ADD_PUBVAR_MASKING_OFFSET);
  // Read in order, and no further than a missing one: an add that is
  // refused anyway follows no more of the host's addresses.
  if (added.masking) return added;
  if (!(added.worksheet = TextAt(record, EXT_ADD_PUBVAR_WORKSHEET_POINTER_OFFSET))) return added;
  if (!(added.cell = TextAt(record, EXT_ADD_PUBVAR_CELL_POINTER_OFFSET))) return added;
  added.name = TextAt(record, EXT_ADD_PUBVAR_NAME_POINTER_OFFSET);
  return added;
}

bool EncodeNewHandle(std::int32_t handle, host::HostRecord record) {
  return record.WriteI32(EXT_ADD_PUBVAR_HANDLE_OFFSET, handle);
}

casedata::BatchFiles DecodeBatchFiles(const host::ConstHostRecord& record) {
  casedata::BatchFiles files;
  files.input.complete = record.ReadTerminatedText(
      EXT_BATCH_FILES_INPUT_PATH_OFFSET, EXT_BATCH_FILES_INPUT_PATH_SIZE, files.input.path);
  files.report = DecodeBatchOutput(record);
  return files;
}

casedata::BatchPath DecodeBatchOutput(const host::ConstHostRecord& record) {
  casedata::BatchPath output;
  output.complete = record.ReadTerminatedText(EXT_BATCH_FILES_REPORT_PATH_OFFSET,
                                              EXT_BATCH_FILES_REPORT_PATH_SIZE, output.path);
  return output;
}

}  // namespace driver
