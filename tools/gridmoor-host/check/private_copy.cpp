#include "check/private_copy.h"

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <system_error>
#include <utility>

#include "excel/calc/process/office_profile.h"

namespace refhost {
namespace {

namespace fs = std::filesystem;

struct Descriptor {
  int fd = -1;
  ~Descriptor() {
    if (fd >= 0) ::close(fd);
  }
};

bool WriteAll(int fd, const char* bytes, std::size_t size) {
  while (size > 0) {
    const ssize_t put = ::write(fd, bytes, size);
    if (put < 0 && errno == EINTR) continue;
    if (put <= 0) return false;
    bytes += put;
    size -= static_cast<std::size_t>(put);
  }
  return true;
}

// Copies what `in` gives until its end; how many bytes. A pipe's writer
// has `quiet` seconds to send each next bytes; a FIFO nobody writes to ends
// at once.
outcome::Expected<std::uint64_t> CopyStream(int in, int out, bool stream) {
  char chunk[1 << 16];
  std::uint64_t total = 0;
  for (;;) {
    const ssize_t got = ::read(in, chunk, sizeof chunk);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0 && errno == EAGAIN) {
      pollfd wait{in, POLLIN, 0};
      const int ready = ::poll(&wait, 1, PrivateCopy::kStreamQuietSeconds * 1000);
      if (ready == 0)
        return outcome::Error::Failed("its writer sent nothing for " +
                                      std::to_string(PrivateCopy::kStreamQuietSeconds) + " s");
      continue;
    }
    if (got < 0) return outcome::Error::Failed(std::strerror(errno));
    if (got == 0) return total;
    total += static_cast<std::uint64_t>(got);
    if (stream && total > PrivateCopy::kStreamLimit)
      return outcome::Error::Failed("it sent more than " +
                                    std::to_string(PrivateCopy::kStreamLimit >> 30) + " GiB");
    if (!WriteAll(out, chunk, static_cast<std::size_t>(got)))
      return outcome::Error::Failed("the copy could not be written: " +
                                    std::string(std::strerror(errno)));
  }
}

// `in` copied into the new file `out`, closed at the end; the bytes copied.
outcome::Expected<std::uint64_t> CopyToFile(int in, Descriptor& out, bool stream) {
  if (out.fd < 0) return outcome::Error::Failed(std::strerror(errno));
  if (::fcntl(in, F_SETFL, stream ? O_NONBLOCK : 0) != 0)
    return outcome::Error::Failed(std::strerror(errno));
  outcome::Expected<std::uint64_t> size = CopyStream(in, out.fd, stream);
  if (!size) return size.TakeError();
  if (::close(std::exchange(out.fd, -1)) != 0) return outcome::Error::Failed(std::strerror(errno));
  return size;
}

}  // namespace

outcome::Error PrivateCopy::Make(const fs::path& source) {
  const std::string name = source.string();
  // Never waits for a FIFO's writer, nor takes a terminal.
  Descriptor in{::open(source.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY)};
  struct stat info {};
  if (in.fd < 0 || ::fstat(in.fd, &info) != 0)
    return outcome::Error::Failed(errno == ENOENT
                                      ? name + " could not be found"
                                      : "cannot read " + name + ": " + std::strerror(errno));
  if (S_ISDIR(info.st_mode)) return outcome::Error::Failed(name + " is a folder, not a workbook");
  const bool stream = S_ISFIFO(info.st_mode);
  if (!S_ISREG(info.st_mode) && !stream)
    return outcome::Error::Failed(name + " is a device or socket, not a workbook file");
  std::string pattern =
      (excel::calc::TemporaryRoot() / (std::string(excel::calc::kOfficeFolderPrefix) +
                                       std::to_string(::getpid()) + "-check-XXXXXX"))
          .string();
  if (::mkdtemp(pattern.data()) == nullptr)
    return outcome::Error::Failed("no private folder could be made for a copy of " + name + ": " +
                                  std::strerror(errno));
  folder_ = pattern;
  // A pipe's name (/dev/fd/63) says nothing of what it carries.
  copy_ = folder_ / source.filename();
  Descriptor out{::open(copy_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600)};
  const outcome::Expected<std::uint64_t> size = CopyToFile(in.fd, out, stream);
  if (!size)
    return outcome::Error::Failed("could not copy " + name + (stream ? " (a pipe)" : "") + ": " +
                                  size.GetError().Message());
  if (*size > 0) return outcome::Error::Success();
  return outcome::Error::Failed(name +
                                (stream ? " is a pipe or FIFO that gave nothing" : " is empty") +
                                ": there is no workbook in it");
}

PrivateCopy::~PrivateCopy() {
  std::error_code ec;
  if (!folder_.empty()) fs::remove_all(folder_, ec);
}

}  // namespace refhost
