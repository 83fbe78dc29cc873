#include "excel/calc/zip_package.h"

#include <zlib.h>

#include <algorithm>
#include <climits>

namespace excel::calc {
namespace {

constexpr std::uint32_t kEndSignature = 0x06054b50;
constexpr std::uint32_t kCentralSignature = 0x02014b50;
constexpr std::uint32_t kLocalSignature = 0x04034b50;
constexpr std::size_t kEndSize = 22;
constexpr std::size_t kCentralSize = 46;
constexpr std::size_t kLocalSize = 30;

std::uint32_t Le(const std::string& bytes, std::size_t at, int size) {
  std::uint32_t value = 0;
  for (int i = size - 1; i >= 0; --i)
    value = (value << 8) | static_cast<unsigned char>(bytes[at + static_cast<std::size_t>(i)]);
  return value;
}

// Raw deflate data into exactly `size` bytes.
bool Inflate(const char* data, std::uint64_t packed, std::uint64_t size, std::string& out) {
  out.assign(size, '\0');
  z_stream stream{};
  if (inflateInit2(&stream, -MAX_WBITS) != Z_OK) return false;
  stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data));
  stream.avail_in = static_cast<uInt>(packed);
  stream.next_out = reinterpret_cast<Bytef*>(out.data());
  stream.avail_out = static_cast<uInt>(size);
  const int status = inflate(&stream, Z_FINISH);
  const bool whole = status == Z_STREAM_END && stream.total_out == size;
  inflateEnd(&stream);
  return whole;
}

}  // namespace

bool ZipPackage::Open(std::string bytes, std::string& error) {
  bytes_ = std::move(bytes);
  entries_.clear();
  if (bytes_.size() < kEndSize) {
    error = "not a zip package (too short)";
    return false;
  }
  // The end record is last, followed by at most a 64 KiB comment.
  std::size_t end = std::string::npos;
  const std::size_t lowest =
      bytes_.size() > kEndSize + 0xFFFF ? bytes_.size() - kEndSize - 0xFFFF : 0;
  for (std::size_t at = bytes_.size() - kEndSize + 1; at-- > lowest;) {
    if (Le(bytes_, at, 4) == kEndSignature) {
      end = at;
      break;
    }
  }
  if (end == std::string::npos) {
    error = "not a zip package (no central directory)";
    return false;
  }
  const std::uint32_t count = Le(bytes_, end + 10, 2);
  const std::uint64_t directorySize = Le(bytes_, end + 12, 4);
  const std::uint64_t directoryOffset = Le(bytes_, end + 16, 4);
  if (directoryOffset == 0xFFFFFFFFu || count == 0xFFFF) {
    error = "zip64 packages are not supported";
    return false;
  }
  if (directoryOffset + directorySize > end) {
    error = "damaged zip package: the central directory lies outside the file";
    return false;
  }
  std::size_t at = static_cast<std::size_t>(directoryOffset);
  for (std::uint32_t i = 0; i < count; ++i) {
    if (at + kCentralSize > end || Le(bytes_, at, 4) != kCentralSignature) {
      error = "damaged zip package: central directory entry " + std::to_string(i + 1);
      return false;
    }
    Entry entry;
    entry.method = static_cast<std::uint16_t>(Le(bytes_, at + 10, 2));
    entry.crc = Le(bytes_, at + 16, 4);
    entry.packedSize = Le(bytes_, at + 20, 4);
    entry.size = Le(bytes_, at + 24, 4);
    const std::size_t nameLength = Le(bytes_, at + 28, 2);
    const std::size_t extra = Le(bytes_, at + 30, 2) + std::size_t{Le(bytes_, at + 32, 2)};
    entry.localOffset = Le(bytes_, at + 42, 4);
    if (at + kCentralSize + nameLength + extra > end) {
      error = "damaged zip package: central directory entry " + std::to_string(i + 1);
      return false;
    }
    entry.name = bytes_.substr(at + kCentralSize, nameLength);
    entries_.push_back(std::move(entry));
    at += kCentralSize + nameLength + extra;
  }
  return true;
}

const ZipPackage::Entry* ZipPackage::Find(const std::string& name) const {
  const auto found = std::find_if(entries_.begin(), entries_.end(),
                                  [&](const Entry& entry) { return entry.name == name; });
  return found == entries_.end() ? nullptr : &*found;
}

bool ZipPackage::Has(const std::string& name) const {
  return Find(name) != nullptr;
}

std::vector<std::string> ZipPackage::Names() const {
  std::vector<std::string> names;
  for (const Entry& entry : entries_)
    names.push_back(entry.name);
  return names;
}

bool ZipPackage::Read(const std::string& name, std::string& content, std::string& error) const {
  const Entry* entry = Find(name);
  if (entry == nullptr) {
    error = "the package has no part " + name;
    return false;
  }
  const std::string damaged = "damaged zip package: part " + name;
  const std::uint64_t local = entry->localOffset;
  if (local + kLocalSize > bytes_.size() || Le(bytes_, local, 4) != kLocalSignature) {
    error = damaged + " (its header is missing)";
    return false;
  }
  const std::uint64_t data =
      local + kLocalSize + Le(bytes_, local + 26, 2) + Le(bytes_, local + 28, 2);
  if (data + entry->packedSize > bytes_.size()) {
    error = damaged + " (cut short)";
    return false;
  }
  if (entry->size > kMaxPartSize || entry->packedSize > UINT_MAX) {
    error = "part " + name + " is too large";
    return false;
  }
  const char* begin = bytes_.data() + data;
  if (entry->method == 0) {
    if (entry->packedSize != entry->size) {
      error = damaged + " (stored sizes disagree)";
      return false;
    }
    content.assign(begin, entry->size);
  } else if (entry->method == Z_DEFLATED) {
    if (!Inflate(begin, entry->packedSize, entry->size, content)) {
      error = damaged + " (its compressed data is damaged)";
      return false;
    }
  } else {
    error = "part " + name + " uses compression method " + std::to_string(entry->method) +
            ", which is not supported";
    return false;
  }
  const std::uint32_t crc = static_cast<std::uint32_t>(
      crc32(0, reinterpret_cast<const Bytef*>(content.data()), static_cast<uInt>(content.size())));
  if (crc != entry->crc) {
    error = damaged + " (checksum mismatch)";
    return false;
  }
  return true;
}

}  // namespace excel::calc
