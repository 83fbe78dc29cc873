// An existing file opened for reading or for writing, with an advisory lock
// on the whole file held while the object lives: readers share the file
// with other readers, a writer has it to itself. A lock taken by anyone else
// that conflicts is a failure, not a wait.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "outcome/outcome.h"

namespace archive {

class LockedFile {
 public:
  enum class Access { kRead, kWrite };

  // Never creates the file. Fails naming the path and the reason: no path,
  // no such file, not a plain file, no permission, or locked by someone
  // else.
  static outcome::Expected<LockedFile> Open(const char* path, Access access);
  ~LockedFile();
  LockedFile(LockedFile&& other) noexcept;
  LockedFile(const LockedFile&) = delete;
  LockedFile& operator=(const LockedFile&) = delete;
  LockedFile& operator=(LockedFile&&) = delete;

  // The file's size when it was opened.
  std::uint64_t Size() const noexcept { return size_; }

  // Reads up to `count` bytes at the current position; 0 at the end.
  outcome::Expected<std::size_t> ReadSome(void* out, std::size_t count);
  // Writes all `count` bytes at the current position.
  outcome::Error WriteAll(const void* data, std::size_t count);
  // Cuts the file to `size` bytes (what was written), so that nothing of a
  // longer earlier content stays behind it.
  outcome::Error Truncate(std::uint64_t size);

 private:
  LockedFile() = default;
  // The failure of `action` ("read") with errno's reason.
  outcome::Error Fail(const char* action) const;

  std::string path_;
  int fd_ = -1;
  std::uint64_t size_ = 0;
};

}  // namespace archive
