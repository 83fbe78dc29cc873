#include "platform/file_faults.h"

#ifdef GRIDMOOR_TEST_SEAMS
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>

#include "platform/environment.h"
#endif

namespace platform {

#ifdef GRIDMOOR_TEST_SEAMS
namespace {

struct Settings {
  std::uint64_t failAt = 0;  // 0: none
  std::string countFile;     // empty: counted in this copy only
};

// Read once, on the first operation; never destroyed, for writes made while
// the process ends.
const Settings& SeamSettings() {
  static const Settings& settings = []() -> const Settings& {
    auto* read = new Settings;
    if (const std::optional<std::string> n = GetEnv("GRIDMOOR_TEST_FAIL_FILE_OP"))
      read->failAt = std::strtoull(n->c_str(), nullptr, 10);
    read->countFile = GetEnv("GRIDMOOR_TEST_COUNT_FILE_OPS").value_or("");
    return *read;
  }();
  return settings;
}

// The count in `file`, raised by one under an exclusive lock; 0 when the
// file cannot be used.
std::uint64_t NextInFile(const std::string& file) {
  const int fd = ::open(file.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
  if (fd < 0) return 0;
  ::flock(fd, LOCK_EX);
  char text[32] = {};
  const ssize_t got = ::pread(fd, text, sizeof text - 1, 0);
  const std::uint64_t next = (got > 0 ? std::strtoull(text, nullptr, 10) : 0) + 1;
  const std::string line = std::to_string(next) + "\n";
  if (::ftruncate(fd, 0) != 0 || ::pwrite(fd, line.data(), line.size(), 0) < 0) {
    ::close(fd);
    return 0;
  }
  ::close(fd);  // drops the lock
  return next;
}

std::atomic<std::uint64_t> opsMade{0};

}  // namespace

bool FileOpMustFail(FileOp) {
  const int saved = errno;
  const Settings& settings = SeamSettings();
  const std::uint64_t op =
      settings.countFile.empty() ? opsMade.fetch_add(1) + 1 : NextInFile(settings.countFile);
  if (op == 0 || op != settings.failAt) {
    errno = saved;
    return false;
  }
  errno = EIO;
  return true;
}

#else

bool FileOpMustFail(FileOp) {
  return false;
}

#endif

}  // namespace platform
