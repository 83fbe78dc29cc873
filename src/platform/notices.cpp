#include "platform/notices.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "platform/environment.h"

namespace platform {
namespace {

// One write, so that notices of concurrent threads or processes never
// interleave inside a line (O_APPEND writes of a line are atomic).
void WriteWhole(int fd, const std::string& line) {
  std::size_t done = 0;
  while (done < line.size()) {
    const ssize_t n = ::write(fd, line.data() + done, line.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;
    done += static_cast<std::size_t>(n);
  }
}

}  // namespace

void PublishNotice(std::string_view text) {
  std::string line;
  line.reserve(text.size() + 1);
  for (const char c : text)
    line += (c == '\n' || c == '\r') ? ' ' : c;
  line += '\n';
  WriteWhole(STDERR_FILENO, "gridmoor: " + line);
  const std::optional<std::string> file = GetEnv(kNoticeFileVariable);
  if (!file || file->empty()) return;
  const int fd = ::open(file->c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0600);
  if (fd < 0) return;
  WriteWhole(fd, line);
  ::close(fd);
}

}  // namespace platform
