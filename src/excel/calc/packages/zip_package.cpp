#include "excel/calc/packages/zip_package.h"

#include <zlib.h>

#include <algorithm>

#include "text/ascii.h"

namespace excel::calc {
namespace {

using text::OneLine;

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

constexpr std::size_t kChunk = 64 * 1024;

outcome::Error Failed(std::string message) {
  return outcome::Error::Failed(std::move(message));
}

// "1024 MB", or the bytes when less than a megabyte.
std::string ShowSize(std::uint64_t bytes) {
  return bytes >= (1u << 20) && bytes % (1u << 20) == 0 ? std::to_string(bytes >> 20) + " MB"
                                                        : std::to_string(bytes) + " bytes";
}

// Why `size` unpacked bytes from `packed` compressed ones pass the limits;
// empty when they do not. `verb`: "inflates" or "declares".
std::string PastLimits(const ZipLimits& limits, const std::string& part, const char* verb,
                       std::uint64_t size, std::uint64_t packed) {
  if (size > limits.maxPartSize)
    return "part " + part + " " + verb + " more than " + ShowSize(limits.maxPartSize) + "; refused";
  if (size > limits.ratioFrom && size > limits.maxRatio * packed)
    return "part " + part + " " + verb + " more than " + std::to_string(limits.maxRatio) +
           " times its compressed size of " + ShowSize(packed) + "; refused";
  return {};
}

}  // namespace

outcome::Error ZipPackage::Open(std::string bytes) {
  bytes_ = std::move(bytes);
  entries_.clear();
  byName_.clear();
  if (bytes_.size() < kEndSize) return Failed("not a zip package (too short)");
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
  if (end == std::string::npos) return Failed("not a zip package (no central directory)");
  const std::uint32_t count = Le(bytes_, end + 10, 2);
  const std::uint64_t directorySize = Le(bytes_, end + 12, 4);
  const std::uint64_t directoryOffset = Le(bytes_, end + 16, 4);
  if (directoryOffset == 0xFFFFFFFFu || count == 0xFFFF)
    return Failed("zip64 packages are not supported");
  if (directoryOffset + directorySize > end)
    return Failed("damaged zip package: the central directory lies outside the file");
  std::size_t at = static_cast<std::size_t>(directoryOffset);
  for (std::uint32_t i = 0; i < count; ++i) {
    if (at + kCentralSize > end || Le(bytes_, at, 4) != kCentralSignature)
      return Failed("damaged zip package: central directory entry " + std::to_string(i + 1));
    Entry entry;
    entry.method = static_cast<std::uint16_t>(Le(bytes_, at + 10, 2));
    entry.crc = Le(bytes_, at + 16, 4);
    entry.packedSize = Le(bytes_, at + 20, 4);
    entry.size = Le(bytes_, at + 24, 4);
    const std::size_t nameLength = Le(bytes_, at + 28, 2);
    const std::size_t extra = Le(bytes_, at + 30, 2) + std::size_t{Le(bytes_, at + 32, 2)};
    entry.localOffset = Le(bytes_, at + 42, 4);
    if (at + kCentralSize + nameLength + extra > end)
      return Failed("damaged zip package: central directory entry " + std::to_string(i + 1));
    entry.name = bytes_.substr(at + kCentralSize, nameLength);
    // A name given twice is the last entry's, as the office reads it.
    byName_[entry.name] = entries_.size();
    entries_.push_back(std::move(entry));
    at += kCentralSize + nameLength + extra;
  }
  return outcome::Error::Success();
}

const ZipPackage::Entry* ZipPackage::Find(const std::string& name) const {
  const auto found = byName_.find(name);
  return found == byName_.end() ? nullptr : &entries_[found->second];
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

// Inflates raw deflate data a chunk at a time into `take`, never past one
// byte more than the declared size; refused as soon as it passes a limit.
outcome::Error ZipPackage::Inflate(const Entry& entry, const char* data, const ChunkSink& take,
                                   std::uint32_t& crc) const {
  const std::string part = OneLine(entry.name);
  z_stream stream{};
  if (inflateInit2(&stream, -MAX_WBITS) != Z_OK)
    return Failed("part " + part + " could not be inflated (out of memory)");
  stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data));
  stream.avail_in = static_cast<uInt>(entry.packedSize);
  std::string chunk(kChunk, '\0');
  std::string refusal;
  std::uint64_t produced = 0;
  bool taking = true;
  int status = Z_OK;
  while (status == Z_OK && refusal.empty()) {
    const std::uint64_t room = std::min<std::uint64_t>(kChunk, entry.size + 1 - produced);
    stream.next_out = reinterpret_cast<Bytef*>(chunk.data());
    stream.avail_out = static_cast<uInt>(room);
    status = inflate(&stream, Z_NO_FLUSH);
    const std::size_t got = static_cast<std::size_t>(room - stream.avail_out);
    produced += got;
    refusal = PastLimits(limits_, part, "inflates to", produced, entry.packedSize);
    if (refusal.empty() && produced > entry.size)
      refusal = "damaged zip package: part " + part + " inflates past its declared size of " +
                std::to_string(entry.size) + " bytes";
    if (!refusal.empty() || got == 0) continue;
    crc = static_cast<std::uint32_t>(
        crc32(crc, reinterpret_cast<const Bytef*>(chunk.data()), static_cast<uInt>(got)));
    taking = taking && take(std::string_view(chunk.data(), got));
  }
  inflateEnd(&stream);
  if (!refusal.empty()) return Failed(std::move(refusal));
  if (status != Z_STREAM_END)
    return Failed("damaged zip package: part " + part + " (its compressed data is damaged)");
  if (produced != entry.size)
    return Failed("damaged zip package: part " + part + " inflates to " + std::to_string(produced) +
                  " bytes, not its declared " + std::to_string(entry.size));
  return outcome::Error::Success();
}

outcome::Expected<std::string> ZipPackage::Read(const std::string& name) const {
  std::string content;
  if (outcome::Error unread = ReadChunks(name, [&](std::string_view chunk) {
        content.append(chunk);
        return true;
      }))
    return unread;
  return content;
}

outcome::Error ZipPackage::ReadChunks(const std::string& name, const ChunkSink& take) const {
  const Entry* entry = Find(name);
  if (entry == nullptr) return Failed("the package has no part " + OneLine(name));
  const std::string damaged = "damaged zip package: part " + OneLine(name);
  const std::uint64_t local = entry->localOffset;
  if (local + kLocalSize > bytes_.size() || Le(bytes_, local, 4) != kLocalSignature)
    return Failed(damaged + " (its header is missing)");
  const std::uint64_t data =
      local + kLocalSize + Le(bytes_, local + 26, 2) + Le(bytes_, local + 28, 2);
  if (data > bytes_.size()) return Failed(damaged + " (its header is cut short)");
  if (data + entry->packedSize > bytes_.size()) return Failed(damaged + " (cut short)");
  // The declared size first: a part that would pass the limits is refused
  // before anything is inflated.
  if (std::string past =
          PastLimits(limits_, OneLine(name), "declares", entry->size, entry->packedSize);
      !past.empty())
    return Failed(std::move(past));
  const char* begin = bytes_.data() + data;
  std::uint32_t crc = 0;
  if (entry->method == 0) {
    if (entry->packedSize != entry->size) return Failed(damaged + " (stored sizes disagree)");
    bool taking = true;
    for (std::uint64_t at = 0; at < entry->size; at += kChunk) {
      const std::string_view chunk(begin + at, std::min<std::uint64_t>(kChunk, entry->size - at));
      crc = static_cast<std::uint32_t>(crc32(crc, reinterpret_cast<const Bytef*>(chunk.data()),
                                             static_cast<uInt>(chunk.size())));
      taking = taking && take(chunk);
    }
  } else if (entry->method == Z_DEFLATED) {
    if (outcome::Error failed = Inflate(*entry, begin, take, crc)) return failed;
  } else {
    return Failed("part " + OneLine(name) + " uses compression method " +
                  std::to_string(entry->method) + ", which is not supported");
  }
#ifndef FUZZING_BUILD_MODE_UNSAFE_FOR_PRODUCTION
  // Fuzz builds only go on past a wrong checksum: a mutated part would
  // almost never keep its own, and the XML readers behind the package would
  // go unfuzzed.
  if (crc != entry->crc) return Failed(damaged + " (checksum mismatch)");
#endif
  return outcome::Error::Success();
}

}  // namespace excel::calc
