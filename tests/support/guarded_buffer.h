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
  // The NUL-terminated text at the start of the buffer.
  std::string Text() const { return std::string(reinterpret_cast<const char*>(bytes.data())); }
  bool GuardsIntact() const {
    for (std::size_t i = size; i < bytes.size(); ++i) {
      if (bytes[i] != kGuard) return false;
    }
    return true;
  }

  std::vector<unsigned char> bytes;
  std::size_t size;
};

}  // namespace test_support
