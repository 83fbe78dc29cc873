// The byte stream a case or a model data file is stored in and loaded from.
// One archive works in one direction: storing writes the bytes a transfer
// routine hands it, loading reads them back, so a single routine per record
// serves both. It runs over a fixed buffer (host memory: nothing is ever
// written or read past its size), over a growing buffer, or over an open
// file (no size limit when storing; the file's size when loading).
//
// A transfer that would pass the end fails (kEnd) before any byte moves.
// The first failure stops the archive: every later transfer moves nothing
// and leaves its value alone, so a record's routine runs on to its end
// without testing each field, and its caller takes the one failure. The archive also carries the
// version of the case record being transferred, which decides the layout of the records inside it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>
#include <span>
#include <string>
#include <vector>

#include "archive/archive_error.h"
#include "archive/versions.h"

namespace archive {

class LockedFile;

class Archive {
 public:
  static Archive StoreInto(std::span<std::uint8_t> buffer);
  // Appends to `out` (which must outlive the archive), at most `limit`
  // bytes: a transfer that would pass it fails as a fixed buffer's does.
  static Archive StoreGrowing(std::vector<std::uint8_t>& out,
                              std::uint64_t limit = std::numeric_limits<std::uint64_t>::max());
  static Archive LoadFrom(std::span<const std::uint8_t> bytes);
  // Over an open file, from its start; the file must outlive the archive.
  // A store ends with Finish.
  static Archive StoreToFile(LockedFile& file);
  static Archive LoadFromFile(LockedFile& file);

  // Moving keeps the window valid: a file's block moves with its buffer.
  Archive(Archive&&) noexcept = default;
  Archive& operator=(Archive&&) = delete;

  bool IsStoring() const noexcept { return storing_; }
  bool IsLoading() const noexcept { return !storing_; }

  // The case-record version that decides the layout; the current one unless
  // set.
  std::uint32_t Version() const noexcept { return version_; }
  void SetVersion(std::uint32_t version) noexcept { version_ = version; }

  // Bytes stored or loaded so far.
  std::uint64_t Position() const noexcept;
  // Loading: bytes left to read. Storing: room left (unbounded for a
  // growing buffer or a file).
  std::uint64_t Remaining() const noexcept { return limit_ - Position(); }

  // Storing: writes data[0, count). Loading: reads count bytes into data.
  void Bytes(void* data, std::size_t count) {
    if (failed_) return;
    // Inside the current window: the common case, kept inline.
    if (window_ != nullptr && count <= windowSize_ - offset_) {
      std::uint8_t* at = window_ + offset_;
      if (storing_) {
        std::memcpy(at, data, count);
      } else {
        std::memcpy(data, at, count);
      }
      offset_ += count;
      return;
    }
    BytesAcrossWindows(data, count);
  }

  // Storing to a file: writes what is still buffered and cuts the file
  // there. Does nothing for the other kinds or after a failure.
  void Finish();

  // Records a failure; the first one stays.
  void Fail(ArchiveError::Kind kind, std::string text);
  bool Failed() const noexcept { return failed_; }
  // The failure recorded (None when there was none); the archive stays
  // stopped with it.
  ArchiveError TakeFailure();

 private:
  Archive(bool storing, std::uint64_t limit) : storing_(storing), limit_(limit) {}
  void BytesAcrossWindows(void* data, std::size_t count);
  // The current window is used up: fetch the next one from the file, or
  // hand the full one to it. False when the file failed.
  bool NextWindow();
  // Writes the bytes buffered for the file; false when it failed.
  bool Flush();

  bool storing_;
  std::uint32_t version_ = kCurrentVersion;
  std::uint64_t limit_;
  // The window of bytes being worked on: the whole buffer in memory, a
  // block of the file otherwise.
  std::uint8_t* window_ = nullptr;
  std::size_t windowSize_ = 0;
  std::size_t offset_ = 0;         // inside the window
  std::uint64_t windowStart_ = 0;  // position of the window's first byte
  std::vector<std::uint8_t>* growing_ = nullptr;
  std::size_t growingStart_ = 0;
  LockedFile* file_ = nullptr;
  std::vector<std::uint8_t> block_;
  bool failed_ = false;
  ArchiveError::Kind failedKind_ = ArchiveError::Kind::kFormat;
  std::string failure_;
};

}  // namespace archive
