#include "common/folder_claim.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace refhost {
namespace {
constexpr const char* kClaimFile = ".gridmoor-run";
}  // namespace

OutputFolderClaim::~OutputFolderClaim() {
  if (fd_ < 0) return;
  // Removed while still locked: a run that opened it meanwhile sees that
  // the file it locked is no longer the folder's and tries again.
  ::unlink(file_.c_str());
  ::close(fd_);
}

outcome::Error OutputFolderClaim::Take(const std::filesystem::path& folder) {
  file_ = folder / kClaimFile;
  for (int attempt = 0; attempt < 10; ++attempt) {
    const int fd = ::open(file_.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0)
      return outcome::Error::Failed("cannot claim the output folder " + folder.string() + ": " +
                                    std::strerror(errno));
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
      const int reason = errno;
      char holder[32] = {};
      const ssize_t n = ::pread(fd, holder, sizeof holder - 1, 0);
      ::close(fd);
      if (reason != EWOULDBLOCK)
        return outcome::Error::Failed("cannot claim the output folder " + folder.string() + ": " +
                                      std::strerror(reason));
      return outcome::Error::Failed(
          "the output folder " + folder.string() + " is in use by another run" +
          (n > 0 ? " (process " + std::string(holder, static_cast<std::size_t>(n)) + ")"
                 : std::string()) +
          "; give this run another --out");
    }
    struct stat locked {
    }, named{};
    if (::fstat(fd, &locked) == 0 && ::stat(file_.c_str(), &named) == 0 &&
        locked.st_dev == named.st_dev && locked.st_ino == named.st_ino) {
      const std::string pid = std::to_string(::getpid());
      if (::ftruncate(fd, 0) != 0 || ::pwrite(fd, pid.data(), pid.size(), 0) < 0) {
        // The lock holds all the same; only the holder's name is missing.
      }
      fd_ = fd;
      return outcome::Error::Success();
    }
    ::close(fd);  // the holder removed it as we opened it: try the new one
  }
  return outcome::Error::Failed("cannot claim the output folder " + folder.string() +
                                ": it keeps changing");
}

}  // namespace refhost
