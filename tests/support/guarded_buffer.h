// A host record (or text field) of a given size followed by guard bytes that
// no access may touch: tests of anything that writes into host memory check
// the guards afterwards.
#pragma once

#include <cstddef>
#include <cstring>
#include <string>
#include <vector>

#include "host/host_record.h"

namespace test_support {

inline constexpr unsigned char kGuard = 0xA5;

struct GuardedBuffer {
  explicit GuardedBuffer(std::size_t size, unsigned char fill = 0x11)
      : bytes(size + 16, kGuard), size(size) {
    std::memset(bytes.data(), fill, size);
  }
  host::HostRecord record() { return host::HostRecord(bytes.data(), size); }
  char* chars() { return reinterpret_cast<char*>(bytes.data()); }
  ExtStatusRecord* status() { return reinterpret_cast<ExtStatusRecord*>(bytes.data()); }
  // The NUL-terminated text at `at`.
  std::string Text(std::size_t at = 0) const {
    return std::string(reinterpret_cast<const char*>(bytes.data()) + at);
  }
  // A value's bytes at `at`, as the host writes and reads them.
  template <typename T>
  void Put(std::size_t at, const T& value) {
    std::memcpy(bytes.data() + at, &value, sizeof value);
  }
  template <typename T>
  T Get(std::size_t at) const {
    T value{};
    std::memcpy(&value, bytes.data() + at, sizeof value);
    return value;
  }
  bool GuardsIntact() const {
    for (std::size_t i = size; i < bytes.size(); ++i) {
      if (bytes[i] != kGuard) return false;
    }
    return true;
  }

  std::vector<unsigned char> bytes;
  std::size_t size;
};

// A status record, cleared before each command as ExtCmd clears it.
struct StatusBuffer : GuardedBuffer {
  StatusBuffer() : GuardedBuffer(EXT_STATUS_RECORD_SIZE, 0) {}
  ExtStatusRecord* Cleared() {
    std::memset(bytes.data(), 0, EXT_STATUS_RECORD_SIZE);
    return status();
  }
  std::string Message() const { return Text(EXT_STATUS_TEXT_OFFSET); }
};

}  // namespace test_support
