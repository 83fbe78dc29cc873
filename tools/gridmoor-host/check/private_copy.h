// The workbook check reads a private copy of its workbook, made before
// anything of it is read: what the saved values and the office see is one
// version of the file, whatever replaces it meanwhile.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

#include "outcome/outcome.h"

namespace refhost {

// A copy of a file in a private folder under the temporary folder, removed
// with the object; named as the driver's office folders are, so that what a
// killed check leaves is removed by a later office start of this user once
// this process has ended. The source is read once as a stream: a regular
// file, or a pipe or FIFO whose writer sends its next bytes within
// kStreamQuietSeconds. Opening it never blocks.
class PrivateCopy {
 public:
  static constexpr int kStreamQuietSeconds = 30;
  static constexpr std::uint64_t kStreamLimit = 4ull << 30;

  PrivateCopy() = default;
  PrivateCopy(const PrivateCopy&) = delete;
  PrivateCopy& operator=(const PrivateCopy&) = delete;
  ~PrivateCopy();

  // An error (one line, naming `source`) when there is no copy.
  outcome::Error Make(const std::filesystem::path& source);
  const std::filesystem::path& Path() const { return copy_; }
  const std::filesystem::path& Folder() const { return folder_; }

 private:
  std::filesystem::path folder_, copy_;
};

}  // namespace refhost
