#include "offices/user_office.h"

#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ostream>
#include <sstream>
#include <thread>

#include "offices/office_socket.h"

namespace refhost {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using office_socket::Connect;
using office_socket::ReadLine;
using office_socket::SendLine;

namespace {

// A folder the user alone can reach: anything else could hand a run an
// office (and its macros' reach) of someone else's making.
outcome::Error CheckPrivate(const fs::path& folder) {
  struct stat info {};
  if (::lstat(folder.c_str(), &info) != 0)
    return outcome::Error::Failed("cannot read " + folder.string() + ": " + std::strerror(errno));
  if (!S_ISDIR(info.st_mode) || info.st_uid != ::getuid() || (info.st_mode & 077) != 0)
    return outcome::Error::Failed(folder.string() +
                                  " is not a private folder of this user's (it must be a folder "
                                  "owned by the user, mode 0700); remove it and try again");
  return outcome::Error::Success();
}

// The words after the first `skip` of `line`.
std::string WordsAfter(const std::string& line, int skip) {
  std::size_t at = 0;
  for (int i = 0; i < skip && at != std::string::npos; ++i) {
    at = line.find(' ', at);
    if (at != std::string::npos) ++at;
  }
  return at == std::string::npos ? std::string() : line.substr(at);
}

}  // namespace

outcome::Expected<std::optional<fs::path>> UserOfficeFolder(bool make) {
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  const fs::path folder =
      runtime != nullptr && *runtime == '/'
          ? fs::path(runtime) / "gridmoor-office"
          : fs::path("/tmp") / ("gridmoor-office-" + std::to_string(::getuid()));
  if (make && ::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST)
    return outcome::Error::Failed("cannot make " + folder.string() + ": " + std::strerror(errno));
  struct stat info {};
  if (!make && ::lstat(folder.c_str(), &info) != 0 && errno == ENOENT)
    return std::optional<fs::path>();
  if (outcome::Error refused = CheckPrivate(folder)) return refused;
  return std::optional<fs::path>(folder);
}

std::optional<UserOfficeState> AskUserOffice(const fs::path& folder, bool& stale) {
  stale = false;
  const int fd = Connect(folder);
  if (fd < 0) {
    // A socket nobody serves (the server was killed) is never trusted.
    std::error_code ec;
    if (fs::exists(fs::symlink_status(office_socket::SocketPath(folder), ec))) {
      if (const int lock = office_socket::LockFolder(folder); lock >= 0) {
        stale = fs::remove(office_socket::SocketPath(folder), ec);
        ::close(lock);
      }
    }
    return std::nullopt;
  }
  std::string pending;
  std::optional<std::string> line;
  if (SendLine(fd, "status")) line = ReadLine(fd, pending, 30s);
  ::close(fd);
  UserOfficeState state;
  std::istringstream words(line.value_or(""));
  std::string up;
  if (!(words >> up >> state.server >> state.office) || up != "up") return std::nullopt;
  state.doing = WordsAfter(*line, 3);
  return state;
}

bool StopUserOffice(const fs::path& folder, std::ostream& said) {
  const int fd = Connect(folder);
  if (fd < 0) return true;
  std::string pending;
  std::optional<std::string> line;
  if (SendLine(fd, "stop")) line = ReadLine(fd, pending, 30s);
  if (line && WordsAfter(*line, 2) == "1")
    said << "gridmoor-host: a run is using the office; it ends when the run ends" << std::endl;
  // The server holds the folder's lock while it lives: it is gone once the
  // lock is free. Its closing the connection says the same sooner.
  for (int waited = 0; waited < 24 * 3600 * 10; ++waited) {
    if (const int lock = office_socket::LockFolder(folder); lock >= 0) {
      std::error_code ec;
      fs::remove(office_socket::SocketPath(folder), ec);
      ::close(lock);
      ::close(fd);
      return true;
    }
    std::this_thread::sleep_for(100ms);
  }
  ::close(fd);
  return false;
}

std::optional<OfficeLease> OfficeLease::Take(std::ostream& said) {
  const outcome::Expected<std::optional<fs::path>> folder = UserOfficeFolder(false);
  if (!folder) {
    said << "gridmoor-host: no warm office: " << folder.GetError().Message() << std::endl;
    return std::nullopt;
  }
  if (!*folder || !fs::exists(office_socket::SocketPath(**folder))) return std::nullopt;
  const int fd = Connect(**folder);
  if (fd < 0) {
    bool stale = false;
    AskUserOffice(**folder, stale);
    if (stale)
      said << "gridmoor-host: the warm office had ended (its state is removed); this run starts "
              "its own office"
           << std::endl;
    return std::nullopt;
  }
  std::string pending;
  // Long enough for a replacement office to start on a loaded machine.
  const std::optional<std::string> line =
      SendLine(fd, "lease") ? ReadLine(fd, pending, 120s) : std::nullopt;
  std::istringstream words(line.value_or(""));
  std::string kind, pipe;
  int office = 0;
  if (words >> kind >> office >> pipe && kind == "office") {
    said << "gridmoor-host: on the warm office (process " << office << ")" << std::endl;
    return OfficeLease(fd, pipe, office);
  }
  ::close(fd);
  if (line && *line == "busy")
    said << "gridmoor-host: the warm office is in use by another run; this run starts its own "
            "office";
  else if (line && line->rfind("none ", 0) == 0)
    said << "gridmoor-host: the warm office is not ready (" << WordsAfter(*line, 1)
         << "); this run starts its own office";
  else
    said << "gridmoor-host: the warm office did not answer; this run starts its own office";
  said << std::endl;
  return std::nullopt;
}

OfficeLease::OfficeLease(OfficeLease&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)), pipe_(std::move(other.pipe_)), office_(other.office_) {}

OfficeLease::~OfficeLease() {
  if (fd_ >= 0) ::close(fd_);
}

void OfficeLease::End(bool passed) {
  if (fd_ < 0) return;
  // Nothing to do when the server is gone: it took its office with it.
  static_cast<void>(SendLine(fd_, passed ? "passed" : "failed"));
  ::close(fd_);
  fd_ = -1;
}

}  // namespace refhost
