// Reading the parts of a zip package (a workbook file) from memory: the
// central directory, then each part stored or deflated. Every size and
// offset is checked against the bytes there are; a damaged package is an
// error that says what is wrong, never a crash.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace excel::calc {

class ZipPackage {
 public:
  // False with `error` when `bytes` hold no readable zip central directory.
  bool Open(std::string bytes, std::string& error);

  bool Has(const std::string& name) const;
  std::vector<std::string> Names() const;
  // A part's content; false with `error` when it is missing or damaged.
  bool Read(const std::string& name, std::string& content, std::string& error) const;

  // Parts larger than this when unpacked are refused.
  static constexpr std::uint64_t kMaxPartSize = 1ull << 30;

 private:
  struct Entry {
    std::string name;
    std::uint16_t method = 0;
    std::uint32_t crc = 0;
    std::uint64_t packedSize = 0;
    std::uint64_t size = 0;
    std::uint64_t localOffset = 0;
  };
  const Entry* Find(const std::string& name) const;

  std::string bytes_;
  std::vector<Entry> entries_;
};

}  // namespace excel::calc
