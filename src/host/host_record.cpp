#include "host/host_record.h"

#include <bit>
#include <cstring>

#include "text/utf8.h"

namespace host {
namespace {

static_assert(sizeof(void*) == 8, "host records carry 8-byte pointers");

template <typename Unsigned>
Unsigned LoadLittle(const unsigned char* at) noexcept {
  unsigned char bytes[sizeof(Unsigned)];
  std::memcpy(bytes, at, sizeof bytes);
  Unsigned value = 0;
  for (std::size_t i = sizeof bytes; i-- > 0;)
    value = static_cast<Unsigned>((value << 8) | bytes[i]);
  return value;
}

template <typename Unsigned>
void StoreLittle(unsigned char* at, Unsigned value) noexcept {
  unsigned char bytes[sizeof(Unsigned)];
  for (std::size_t i = 0; i < sizeof bytes; ++i) {
    bytes[i] = static_cast<unsigned char>(value & 0xFF);
    value = static_cast<Unsigned>(value >> 8);
  }
  std::memcpy(at, bytes, sizeof bytes);
}

}  // namespace

ConstHostRecord::ConstHostRecord(const void* data, std::size_t size) noexcept
    : bytes_(static_cast<const unsigned char*>(data)), size_(data != nullptr ? size : 0) {}

bool ConstHostRecord::ReadU8(std::size_t offset, std::uint8_t& value) const noexcept {
  if (!Contains(offset, 1)) return false;
  value = bytes_[offset];
  return true;
}

bool ConstHostRecord::ReadU32(std::size_t offset, std::uint32_t& value) const noexcept {
  if (!Contains(offset, 4)) return false;
  value = LoadLittle<std::uint32_t>(bytes_ + offset);
  return true;
}

bool ConstHostRecord::ReadI32(std::size_t offset, std::int32_t& value) const noexcept {
  std::uint32_t raw;
  if (!ReadU32(offset, raw)) return false;
  value = static_cast<std::int32_t>(raw);
  return true;
}

bool ConstHostRecord::ReadU64(std::size_t offset, std::uint64_t& value) const noexcept {
  if (!Contains(offset, 8)) return false;
  value = LoadLittle<std::uint64_t>(bytes_ + offset);
  return true;
}

bool ConstHostRecord::ReadI64(std::size_t offset, std::int64_t& value) const noexcept {
  std::uint64_t raw;
  if (!ReadU64(offset, raw)) return false;
  value = static_cast<std::int64_t>(raw);
  return true;
}

bool ConstHostRecord::ReadDouble(std::size_t offset, double& value) const noexcept {
  std::uint64_t raw;
  if (!ReadU64(offset, raw)) return false;
  value = std::bit_cast<double>(raw);
  return true;
}

bool ConstHostRecord::ReadPointer(std::size_t offset, void*& value) const noexcept {
  std::uint64_t raw;
  if (!ReadU64(offset, raw)) return false;
  value = reinterpret_cast<void*>(static_cast<std::uintptr_t>(raw));
  return true;
}

bool ConstHostRecord::ReadBytes(std::size_t offset, void* out, std::size_t count) const noexcept {
  if (!Contains(offset, count)) return false;
  if (count > 0) std::memcpy(out, bytes_ + offset, count);
  return true;
}

bool ConstHostRecord::ReadText(std::size_t offset, std::size_t fieldSize, std::string& text) const {
  if (!Contains(offset, fieldSize)) return false;
  if (fieldSize == 0) {
    text.clear();
    return true;
  }
  const auto* field = reinterpret_cast<const char*>(bytes_ + offset);
  const void* nul = std::memchr(field, '\0', fieldSize);
  const std::size_t length =
      nul != nullptr ? static_cast<std::size_t>(static_cast<const char*>(nul) - field) : fieldSize;
  text.assign(field, length);
  return true;
}

bool ConstHostRecord::ReadTerminatedText(std::size_t offset, std::size_t fieldSize,
                                         std::string& text) const {
  return ReadText(offset, fieldSize, text) && text.size() < fieldSize;
}

bool ConstHostRecord::Slice(std::size_t offset, std::size_t size,
                            ConstHostRecord& part) const noexcept {
  if (!Contains(offset, size)) return false;
  part = ConstHostRecord(bytes_ + offset, size);
  return true;
}

bool HostRecord::WriteU8(std::size_t offset, std::uint8_t value) noexcept {
  if (!Contains(offset, 1)) return false;
  static_cast<unsigned char*>(data())[offset] = value;
  return true;
}

bool HostRecord::WriteU32(std::size_t offset, std::uint32_t value) noexcept {
  if (!Contains(offset, 4)) return false;
  StoreLittle(static_cast<unsigned char*>(data()) + offset, value);
  return true;
}

bool HostRecord::WriteI32(std::size_t offset, std::int32_t value) noexcept {
  return WriteU32(offset, static_cast<std::uint32_t>(value));
}

bool HostRecord::WriteU64(std::size_t offset, std::uint64_t value) noexcept {
  if (!Contains(offset, 8)) return false;
  StoreLittle(static_cast<unsigned char*>(data()) + offset, value);
  return true;
}

bool HostRecord::WriteI64(std::size_t offset, std::int64_t value) noexcept {
  return WriteU64(offset, static_cast<std::uint64_t>(value));
}

bool HostRecord::WriteDouble(std::size_t offset, double value) noexcept {
  return WriteU64(offset, std::bit_cast<std::uint64_t>(value));
}

bool HostRecord::WritePointer(std::size_t offset, const void* value) noexcept {
  return WriteU64(offset, reinterpret_cast<std::uintptr_t>(value));
}

bool HostRecord::WriteBytes(std::size_t offset, const void* bytes, std::size_t count) noexcept {
  if (!Contains(offset, count)) return false;
  if (count > 0) std::memcpy(static_cast<unsigned char*>(data()) + offset, bytes, count);
  return true;
}

bool HostRecord::Fill(std::size_t offset, std::size_t count, std::uint8_t value) noexcept {
  if (!Contains(offset, count)) return false;
  if (count > 0) std::memset(static_cast<unsigned char*>(data()) + offset, value, count);
  return true;
}

bool HostRecord::WriteText(std::size_t offset, std::size_t fieldSize, std::string_view text,
                           TextFit fit) noexcept {
  if (fieldSize == 0 || !Contains(offset, fieldSize)) return false;
  text = text.substr(0, text.find('\0'));
  if (text.empty()) text = "";  // a default string_view has a null data()
  char* field = static_cast<char*>(data()) + offset;
  if (fit == TextFit::kTerminated) {
    text::CopyTerminated(text, field, fieldSize);
    return true;
  }
  const std::size_t length = text::Utf8PrefixLength(text, fieldSize);
  if (length > 0) std::memcpy(field, text.data(), length);
  std::memset(field + length, 0, fieldSize - length);
  return true;
}

bool HostRecord::Slice(std::size_t offset, std::size_t size, HostRecord& part) const noexcept {
  if (!Contains(offset, size)) return false;
  part = HostRecord(static_cast<unsigned char*>(data()) + offset, size);
  return true;
}

bool StatusRecord::HasExpectedSize() const noexcept {
  std::uint32_t size;
  return record_.ReadU32(EXT_STATUS_SIZE_OFFSET, size) && size == EXT_STATUS_RECORD_SIZE;
}

void StatusRecord::Clear() noexcept {
  (void)record_.Fill(0, record_.size(), 0);
}

std::string StatusRecord::Text() const {
  std::string text;
  if (!record_.ReadText(EXT_STATUS_TEXT_OFFSET, EXT_STATUS_TEXT_SIZE, text)) text.clear();
  return text;
}

bool StatusRecord::SetText(std::string_view text) noexcept {
  return record_.WriteText(EXT_STATUS_TEXT_OFFSET, EXT_STATUS_TEXT_SIZE, text);
}

std::string ReadHostText(const char* text, std::size_t maxBytes) {
  if (text == nullptr) return std::string();
  return std::string(text, strnlen(text, maxBytes));
}

}  // namespace host
