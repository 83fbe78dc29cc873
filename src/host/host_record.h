// Bounds-checked access to host-owned records.
//
// A host record is a byte block of a size the driver knows from the record's
// layout (include/gridmoor/host.h). Every read and write names a byte offset
// and a width; an access that would reach past the record's end is refused
// before any byte is touched, and reported by a false result (all accessors
// are [[nodiscard]] bool). Offsets near SIZE_MAX cannot wrap around.
//
// Numbers are little-endian in the record whatever the build's byte order;
// bytes are assembled one by one, so there are no unaligned loads and no
// byte-order assumption. Pointers occupy 8 bytes, as for a 64-bit host.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "gridmoor/host.h"

namespace host {

// How a text is placed into a fixed-width field.
enum class TextFit {
  // Cut at a UTF-8 character boundary to leave room for the NUL, which is
  // always written; bytes after the NUL keep what they held.
  kTerminated,
  // A text as long as the field or longer fills it (cut at a character
  // boundary) without a NUL; the rest of a shorter text's field is zeroed.
  kMayFill,
};

// Read-only view of a host record.
class ConstHostRecord {
 public:
  ConstHostRecord() = default;
  // A null data pointer gives an empty record: every access is refused.
  ConstHostRecord(const void* data, std::size_t size) noexcept;

  const void* data() const noexcept { return bytes_; }
  std::size_t size() const noexcept { return size_; }
  bool empty() const noexcept { return size_ == 0; }

  // True when [offset, offset + width) lies inside the record.
  bool Contains(std::size_t offset, std::size_t width) const noexcept {
    return offset <= size_ && width <= size_ - offset;
  }

  [[nodiscard]] bool ReadU8(std::size_t offset, std::uint8_t& value) const noexcept;
  [[nodiscard]] bool ReadI32(std::size_t offset, std::int32_t& value) const noexcept;
  [[nodiscard]] bool ReadU32(std::size_t offset, std::uint32_t& value) const noexcept;
  [[nodiscard]] bool ReadI64(std::size_t offset, std::int64_t& value) const noexcept;
  [[nodiscard]] bool ReadU64(std::size_t offset, std::uint64_t& value) const noexcept;
  [[nodiscard]] bool ReadDouble(std::size_t offset, double& value) const noexcept;
  [[nodiscard]] bool ReadPointer(std::size_t offset, void*& value) const noexcept;
  [[nodiscard]] bool ReadBytes(std::size_t offset, void* out, std::size_t count) const noexcept;

  // The field's text up to its first NUL, or the whole field when it holds
  // none. The field must lie inside the record.
  [[nodiscard]] bool ReadText(std::size_t offset, std::size_t fieldSize, std::string& text) const;
  // As ReadText, but false (and `text` as ReadText gives it) when the
  // field holds no NUL: a path cut at its field's end names another file.
  [[nodiscard]] bool ReadTerminatedText(std::size_t offset, std::size_t fieldSize,
                                        std::string& text) const;

  // The part [offset, offset + size) as a record of its own, for entries of
  // a table inside the record.
  [[nodiscard]] bool Slice(std::size_t offset, std::size_t size,
                           ConstHostRecord& part) const noexcept;

 protected:
  const unsigned char* bytes_ = nullptr;
  std::size_t size_ = 0;
};

// Read-write view of a host record.
class HostRecord : public ConstHostRecord {
 public:
  HostRecord() = default;
  HostRecord(void* data, std::size_t size) noexcept : ConstHostRecord(data, size) {}

  void* data() const noexcept { return const_cast<unsigned char*>(bytes_); }

  [[nodiscard]] bool WriteU8(std::size_t offset, std::uint8_t value) noexcept;
  [[nodiscard]] bool WriteI32(std::size_t offset, std::int32_t value) noexcept;
  [[nodiscard]] bool WriteU32(std::size_t offset, std::uint32_t value) noexcept;
  [[nodiscard]] bool WriteI64(std::size_t offset, std::int64_t value) noexcept;
  [[nodiscard]] bool WriteU64(std::size_t offset, std::uint64_t value) noexcept;
  [[nodiscard]] bool WriteDouble(std::size_t offset, double value) noexcept;
  [[nodiscard]] bool WritePointer(std::size_t offset, const void* value) noexcept;
  [[nodiscard]] bool WriteBytes(std::size_t offset, const void* bytes, std::size_t count) noexcept;
  [[nodiscard]] bool Fill(std::size_t offset, std::size_t count, std::uint8_t value) noexcept;

  // Writes text into the field [offset, offset + fieldSize), which must lie
  // inside the record and be at least one byte wide. The text ends at its
  // first NUL, if any. Never writes outside the field.
  [[nodiscard]] bool WriteText(std::size_t offset, std::size_t fieldSize, std::string_view text,
                               TextFit fit = TextFit::kTerminated) noexcept;

  using ConstHostRecord::Slice;
  [[nodiscard]] bool Slice(std::size_t offset, std::size_t size, HostRecord& part) const noexcept;
};

// The status record passed with every request. A null record is allowed:
// the view then holds nothing, Clear does nothing and writes are refused.
class StatusRecord {
 public:
  explicit StatusRecord(ExtStatusRecord* record) noexcept
      : record_(record, EXT_STATUS_RECORD_SIZE) {}

  bool valid() const noexcept { return !record_.empty(); }
  // The size word says 264, as the host must set it.
  bool HasExpectedSize() const noexcept;
  // Zeroes all 264 bytes, the size word included.
  void Clear() noexcept;
  // The message text; empty for a null record.
  std::string Text() const;
  [[nodiscard]] bool SetText(std::string_view text) noexcept;

  HostRecord& record() noexcept { return record_; }

 private:
  HostRecord record_;
};

// A NUL-terminated text that the host passes by pointer without a size: at
// most `maxBytes` bytes are read, up to the first NUL. Null gives the empty
// text.
inline constexpr std::size_t kHostTextLimit = 32768;
std::string ReadHostText(const char* text, std::size_t maxBytes = kHostTextLimit);

}  // namespace host
