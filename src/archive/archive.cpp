#include "archive/archive.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <string>

#include "archive/locked_file.h"

namespace archive {
namespace {

constexpr std::uint64_t kUnbounded = std::numeric_limits<std::uint64_t>::max();
// Files move in blocks of this size.
constexpr std::size_t kBlockSize = 64 * 1024;

}  // namespace

Archive Archive::StoreInto(std::span<std::uint8_t> buffer) {
  Archive archive(true, buffer.size());
  archive.window_ = buffer.data();
  archive.windowSize_ = buffer.size();
  return archive;
}

Archive Archive::StoreGrowing(std::vector<std::uint8_t>& out, std::uint64_t limit) {
  Archive archive(true, limit);
  archive.growing_ = &out;
  archive.growingStart_ = out.size();
  return archive;
}

Archive Archive::LoadFrom(std::span<const std::uint8_t> bytes) {
  Archive archive(false, bytes.size());
  // Loading never writes through the window.
  archive.window_ = const_cast<std::uint8_t*>(bytes.data());
  archive.windowSize_ = bytes.size();
  return archive;
}

Archive Archive::StoreToFile(LockedFile& file) {
  Archive archive(true, kUnbounded);
  archive.file_ = &file;
  archive.block_.resize(kBlockSize);
  archive.window_ = archive.block_.data();
  archive.windowSize_ = kBlockSize;
  return archive;
}

Archive Archive::LoadFromFile(LockedFile& file) {
  // The first block is read on the first transfer.
  Archive archive(false, file.Size());
  archive.file_ = &file;
  return archive;
}

std::uint64_t Archive::Position() const noexcept {
  if (growing_ != nullptr) return growing_->size() - growingStart_;
  return windowStart_ + offset_;
}

void Archive::BytesAcrossWindows(void* data, std::size_t count) {
  if (count > Remaining()) {
    Fail(ArchiveError::Kind::kEnd, std::string(storing_ ? "writing " : "reading ") +
                                       std::to_string(count) + " bytes at byte " +
                                       std::to_string(Position()) + " passes the end (" +
                                       std::to_string(Remaining()) + " bytes left)");
    return;
  }
  auto* bytes = static_cast<std::uint8_t*>(data);
  if (growing_ != nullptr) {
    growing_->insert(growing_->end(), bytes, bytes + count);
    return;
  }
  while (count > 0) {
    if (offset_ == windowSize_ && !NextWindow()) return;
    const std::size_t part = std::min(count, windowSize_ - offset_);
    if (storing_) {
      std::memcpy(window_ + offset_, bytes, part);
    } else {
      std::memcpy(bytes, window_ + offset_, part);
    }
    offset_ += part;
    bytes += part;
    count -= part;
  }
}

bool Archive::Flush() {
  if (outcome::Error error = file_->WriteAll(window_, offset_)) {
    Fail(ArchiveError::Kind::kFile, error.Message());
    return false;
  }
  windowStart_ += offset_;
  offset_ = 0;
  return true;
}

bool Archive::NextWindow() {
  // Memory archives never get here: their window is the whole of what
  // Remaining allows.
  if (storing_) return Flush();
  windowStart_ += windowSize_;
  offset_ = 0;
  block_.resize(kBlockSize);
  const std::uint64_t left = limit_ - windowStart_;
  const outcome::Expected<std::size_t> got = file_->ReadSome(
      block_.data(), static_cast<std::size_t>(std::min<std::uint64_t>(kBlockSize, left)));
  if (!got) {
    Fail(ArchiveError::Kind::kFile, got.GetError().Message());
    return false;
  }
  if (*got == 0) {
    Fail(ArchiveError::Kind::kFile, "the file ended at byte " + std::to_string(windowStart_) +
                                        " although it was " + std::to_string(limit_) +
                                        " bytes long");
    return false;
  }
  window_ = block_.data();
  windowSize_ = *got;
  return true;
}

void Archive::Finish() {
  if (!storing_ || file_ == nullptr || failed_ || !Flush()) return;
  if (outcome::Error error = file_->Truncate(windowStart_)) {
    Fail(ArchiveError::Kind::kFile, error.Message());
  }
}

void Archive::Fail(ArchiveError::Kind kind, std::string text) {
  if (failed_) return;
  failed_ = true;
  failedKind_ = kind;
  failure_ = std::move(text);
}

ArchiveError Archive::TakeFailure() {
  if (!failed_) return ArchiveError::None();
  return ArchiveError(failedKind_, failure_);
}

}  // namespace archive
