// Archives put together byte by byte, independently of the archive code:
// tests build the layouts of older versions with it, and the fuzz seed
// generator uses it too.
#pragma once

#include <bit>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace archive_test {

class ByteBuilder {
 public:
  ByteBuilder& U8(std::uint8_t value) {
    bytes_.push_back(value);
    return *this;
  }
  ByteBuilder& Flag(bool value) { return U8(value ? 1 : 0); }
  ByteBuilder& U16(std::uint16_t value) { return Little(value, 2); }
  ByteBuilder& U32(std::uint32_t value) { return Little(value, 4); }
  ByteBuilder& I32(std::int32_t value) { return Little(static_cast<std::uint32_t>(value), 4); }
  ByteBuilder& Double(double value) { return Little(std::bit_cast<std::uint64_t>(value), 8); }
  ByteBuilder& Text(std::string_view text) {
    U32(static_cast<std::uint32_t>(text.size()));
    for (const char c : text)
      bytes_.push_back(static_cast<std::uint8_t>(c));
    return *this;
  }
  ByteBuilder& Signature() { return U32(1).U32(0x385FD21A); }
  ByteBuilder& Append(const std::vector<std::uint8_t>& more) {
    bytes_.insert(bytes_.end(), more.begin(), more.end());
    return *this;
  }

  const std::vector<std::uint8_t>& bytes() const { return bytes_; }
  std::size_t size() const { return bytes_.size(); }

 private:
  ByteBuilder& Little(std::uint64_t value, int width) {
    for (int i = 0; i < width; ++i)
      bytes_.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
    return *this;
  }

  std::vector<std::uint8_t> bytes_;
};

}  // namespace archive_test
