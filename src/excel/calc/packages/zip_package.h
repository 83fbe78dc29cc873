// Reading the parts of a zip package (a workbook file) from memory: the
// central directory, then each part stored or deflated. Every size and
// offset is checked against the bytes there are; a damaged package is an
// error that says what is wrong, never a crash. A part is inflated in
// chunks, its output growing as data arrives, and refused once it passes
// the limits, so that no file makes the reader allocate more than they
// allow (a zip bomb, or a size the package declares falsely).
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "outcome/outcome.h"

namespace excel::calc {

struct ZipLimits {
  // No part is inflated past this. The largest sheet a spreadsheet holds
  // (a million rows of XML) stays well under it.
  std::uint64_t maxPartSize = 1ull << 30;
  // Past `ratioFrom` bytes, a part may inflate to at most `maxRatio` times
  // its compressed size. Sheet XML deflates at 9:1 to 25:1 even in its
  // most repetitive shapes (empty styled cells, a column of one shared
  // formula, empty rows); deflate reaches about 1030:1 on repeated bytes,
  // which is what a zip bomb is made of. Below `ratioFrom` any ratio goes.
  std::uint64_t ratioFrom = 8ull << 20;
  std::uint64_t maxRatio = 200;
};

class ZipPackage {
 public:
  ZipPackage() = default;
  explicit ZipPackage(ZipLimits limits) : limits_(limits) {}

  // A failure when `bytes` hold no readable zip central directory.
  outcome::Error Open(std::string bytes);

  bool Has(const std::string& name) const;
  // Every entry's name, in the package's order; a name a package gives
  // twice is there twice (Read reads the last, as the office does).
  std::vector<std::string> Names() const;
  // A part's content; a failure (one line naming the part) when it is
  // missing, damaged or past the limits.
  outcome::Expected<std::string> Read(const std::string& name) const;
  // The same, the content passed to `take` a chunk at a time as it is
  // inflated, so that no more than a chunk of it is held here. Once `take`
  // returns false it is passed nothing more, but the rest is still inflated
  // and checked: a damaged part is refused whatever its reader thought.
  using ChunkSink = std::function<bool(std::string_view chunk)>;
  outcome::Error ReadChunks(const std::string& name, const ChunkSink& take) const;

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
  outcome::Error Inflate(const Entry& entry, const char* data, const ChunkSink& take,
                         std::uint32_t& crc) const;

  ZipLimits limits_;
  std::string bytes_;
  std::vector<Entry> entries_;
  std::map<std::string, std::size_t> byName_;  // the last entry of each name
};

}  // namespace excel::calc
