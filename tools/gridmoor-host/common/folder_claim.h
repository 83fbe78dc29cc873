// A run's claim on its output folder, so that two live runs never write
// into one folder over each other. The claim is a lock on a file in the
// folder: the system lets it go when the process ends in any way, so a
// killed run leaves no claim behind.
#pragma once

#include <filesystem>
#include <string>

#include "outcome/outcome.h"

namespace refhost {

class OutputFolderClaim {
 public:
  OutputFolderClaim() = default;
  ~OutputFolderClaim();
  OutputFolderClaim(const OutputFolderClaim&) = delete;
  OutputFolderClaim& operator=(const OutputFolderClaim&) = delete;

  // Claims `folder` (which must exist) until this object goes. The error
  // names the process that holds it when another run does.
  outcome::Error Take(const std::filesystem::path& folder);

 private:
  int fd_ = -1;
  std::filesystem::path file_;
};

}  // namespace refhost
