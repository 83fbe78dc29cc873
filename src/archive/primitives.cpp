#include "archive/primitives.h"

#include <bit>
#include <limits>
#include <utility>

#include "casedata/stream_data.h"

namespace archive {
namespace {

template <typename Unsigned>
void TransferLittleEndian(Archive& archive, Unsigned& value) {
  if constexpr (std::endian::native == std::endian::little) {
    archive.Bytes(&value, sizeof value);
    return;
  }
  std::uint8_t bytes[sizeof(Unsigned)];
  if (archive.IsStoring()) {
    for (std::size_t i = 0; i < sizeof(Unsigned); ++i)
      bytes[i] = static_cast<std::uint8_t>(value >> (8 * i));
    archive.Bytes(bytes, sizeof bytes);
    return;
  }
  archive.Bytes(bytes, sizeof bytes);
  Unsigned loaded = 0;
  for (std::size_t i = 0; i < sizeof(Unsigned); ++i)
    loaded = static_cast<Unsigned>(loaded | static_cast<Unsigned>(bytes[i]) << (8 * i));
  value = loaded;
}

void FormatError(Archive& archive, std::string text) {
  archive.Fail(ArchiveError::Kind::kFormat, std::move(text));
}

}  // namespace

void TransferU8(Archive& archive, std::uint8_t& value) {
  archive.Bytes(&value, 1);
}

void TransferU16(Archive& archive, std::uint16_t& value) {
  TransferLittleEndian(archive, value);
}

void TransferU32(Archive& archive, std::uint32_t& value) {
  TransferLittleEndian(archive, value);
}

void TransferI32(Archive& archive, std::int32_t& value) {
  auto bits = static_cast<std::uint32_t>(value);
  TransferLittleEndian(archive, bits);
  value = static_cast<std::int32_t>(bits);
}

void TransferDouble(Archive& archive, double& value) {
  auto bits = std::bit_cast<std::uint64_t>(value);
  TransferLittleEndian(archive, bits);
  value = std::bit_cast<double>(bits);
}

void TransferFlag(Archive& archive, bool& value) {
  std::uint8_t byte = value ? 1 : 0;
  TransferU8(archive, byte);
  value = byte != 0;
}

void TransferText(Archive& archive, std::string& value) {
  if (archive.IsStoring()) {
    std::uint32_t length = CountOf(archive, value.size(), "text");
    TransferU32(archive, length);
    archive.Bytes(value.data(), value.size());
    return;
  }
  const std::uint64_t at = archive.Position();
  std::uint32_t length = 0;
  TransferU32(archive, length);
  if (archive.Failed()) return;
  if (length > archive.Remaining()) {
    FormatError(archive, "a text of " + std::to_string(length) + " bytes at byte " +
                             std::to_string(at) + " does not fit the " +
                             std::to_string(archive.Remaining()) + " bytes left");
    return;  // nothing is allocated for a length the file cannot hold
  }
  std::string loaded(length, '\0');
  archive.Bytes(loaded.data(), length);
  if (!archive.Failed()) value = std::move(loaded);
}

void TransferText16(Archive& archive, casedata::CellField& value) {
  std::string text = archive.IsStoring() ? value.str() : std::string();
  TransferText(archive, text);
  if (archive.IsLoading() && !archive.Failed()) value.Set(text);
}

void TransferCount(Archive& archive, std::uint32_t& count, std::size_t minimumElementSize,
                   const char* what) {
  const std::uint64_t at = archive.Position();
  TransferU32(archive, count);
  if (archive.IsStoring() || archive.Failed() || minimumElementSize == 0) return;
  if (count > archive.Remaining() / minimumElementSize) {
    FormatError(archive, std::to_string(count) + " " + what + " at byte " + std::to_string(at) +
                             " do not fit the " + std::to_string(archive.Remaining()) +
                             " bytes left");
    count = 0;  // the caller makes no elements for a count the file cannot hold
  }
}

std::uint32_t CountOf(Archive& archive, std::size_t size, const char* what) {
  if (size > std::numeric_limits<std::uint32_t>::max()) {
    FormatError(archive, std::string("too many ") + what + " to store: " + std::to_string(size));
    return 0;
  }
  return static_cast<std::uint32_t>(size);
}

}  // namespace archive
