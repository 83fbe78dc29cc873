#include "archive/locked_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include <utility>

namespace archive {
namespace {

// Locks that belong to this open file, not to the process: two opens of the
// same file in one process conflict, and closing one descriptor does not
// drop the lock of another.
#ifdef F_OFD_SETLK
constexpr int kSetLock = F_OFD_SETLK;
#else
constexpr int kSetLock = F_SETLK;
#endif

// Closes the descriptor unless released: the constructor's failures leave
// nothing open.
struct DescriptorGuard {
  int fd;
  ~DescriptorGuard() {
    if (fd >= 0) ::close(fd);
  }
};

}  // namespace

outcome::Expected<LockedFile> LockedFile::Open(const char* path, Access access) {
  using outcome::Error;
  if (path == nullptr) return Error::Failed("no file is named");
  const std::string named = path;
  const int flags = (access == Access::kRead ? O_RDONLY : O_WRONLY) | O_CLOEXEC | O_NOCTTY;
  DescriptorGuard guard{::open(path, flags)};
  if (guard.fd < 0) return Error::Failed("cannot open " + named + ": " + std::strerror(errno));

  struct stat status {};
  if (::fstat(guard.fd, &status) != 0)
    return Error::Failed("cannot examine " + named + ": " + std::strerror(errno));
  if (!S_ISREG(status.st_mode)) return Error::Failed(named + " is not a plain file");

  struct flock lock {};
  lock.l_type = access == Access::kRead ? F_RDLCK : F_WRLCK;
  lock.l_whence = SEEK_SET;
  lock.l_start = 0;
  lock.l_len = 0;  // the whole file, however it grows
  if (::fcntl(guard.fd, kSetLock, &lock) != 0) {
    const bool taken = errno == EAGAIN || errno == EACCES;
    return Error::Failed(named + (taken ? " is locked by another program"
                                        : ": " + std::string(std::strerror(errno))));
  }
  LockedFile file;
  file.path_ = named;
  file.size_ = static_cast<std::uint64_t>(status.st_size);
  file.fd_ = guard.fd;
  guard.fd = -1;
  return file;
}

LockedFile::LockedFile(LockedFile&& other) noexcept
    : path_(std::move(other.path_)), fd_(std::exchange(other.fd_, -1)), size_(other.size_) {}

LockedFile::~LockedFile() {
  // Closing the description releases its lock.
  if (fd_ >= 0) ::close(fd_);
}

outcome::Error LockedFile::Fail(const char* action) const {
  return outcome::Error::Failed("cannot " + std::string(action) + " " + path_ + ": " +
                                std::strerror(errno));
}

outcome::Expected<std::size_t> LockedFile::ReadSome(void* out, std::size_t count) {
  for (;;) {
    const ssize_t got = ::read(fd_, out, count);
    if (got >= 0) return static_cast<std::size_t>(got);
    if (errno != EINTR) return Fail("read");
  }
}

outcome::Error LockedFile::WriteAll(const void* data, std::size_t count) {
  const auto* bytes = static_cast<const unsigned char*>(data);
  while (count > 0) {
    const ssize_t put = ::write(fd_, bytes, count);
    if (put < 0) {
      if (errno == EINTR) continue;
      return Fail("write");
    }
    bytes += put;
    count -= static_cast<std::size_t>(put);
  }
  return outcome::Error::Success();
}

outcome::Error LockedFile::Truncate(std::uint64_t size) {
  if (::ftruncate(fd_, static_cast<off_t>(size)) != 0) return Fail("cut");
  return outcome::Error::Success();
}

}  // namespace archive
