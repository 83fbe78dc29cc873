#include "excel/calc/process/office_pipes.h"

#include <pthread.h>
#include <signal.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <sstream>
#include <string>
#include <system_error>

#include "excel/calc/process/child_process.h"

namespace excel::calc {
namespace fs = std::filesystem;

SigpipeBlockedForNewThreads::SigpipeBlockedForNewThreads() {
  ::sigemptyset(&pipe_);
  ::sigaddset(&pipe_, SIGPIPE);
  ::pthread_sigmask(SIG_BLOCK, &pipe_, &old_);
}

SigpipeBlockedForNewThreads::~SigpipeBlockedForNewThreads() {
  if (::sigismember(&old_, SIGPIPE) != 1) {
    sigset_t pending;
    if (::sigpending(&pending) == 0 && ::sigismember(&pending, SIGPIPE) == 1) {
      const timespec now{};
      ::sigtimedwait(&pipe_, nullptr, &now);
    }
  }
  ::pthread_sigmask(SIG_SETMASK, &old_, nullptr);
}

namespace {

// The socket inodes among the open files of `pid`.
std::vector<std::uint64_t> SocketInodes(const std::string& pid) {
  std::vector<std::uint64_t> inodes;
  std::error_code error;
  const fs::path fdFolder = fs::path("/proc") / pid / "fd";
  for (const fs::directory_entry& entry : fs::directory_iterator(fdFolder, error)) {
    std::error_code linkError;
    const std::string target = fs::read_symlink(entry.path(), linkError).string();
    if (linkError || target.rfind("socket:[", 0) != 0) continue;
    inodes.push_back(std::strtoull(target.c_str() + 8, nullptr, 10));
  }
  return inodes;
}

// The office pipes of the system: socket inode and path.
std::vector<std::pair<std::uint64_t, fs::path>> OfficeSockets() {
  std::vector<std::pair<std::uint64_t, fs::path>> sockets;
  std::ifstream table("/proc/net/unix");
  std::string line;
  std::getline(table, line);  // header
  while (std::getline(table, line)) {
    // Num RefCount Protocol Flags Type St Inode Path
    std::istringstream fields(line);
    std::string field;
    std::uint64_t inode = 0;
    std::string path;
    for (int column = 0; fields >> field; ++column) {
      if (column == 6) inode = std::strtoull(field.c_str(), nullptr, 10);
      if (column == 7) path = field;
    }
    if (path.rfind("/tmp/OSL_PIPE_", 0) == 0) sockets.emplace_back(inode, path);
  }
  return sockets;
}

}  // namespace

std::vector<fs::path> ListeningPipePaths(int pid) {
  const std::vector<std::uint64_t> inodes = SocketInodes(std::to_string(pid));
  std::vector<fs::path> paths;
  for (const auto& [inode, path] : OfficeSockets()) {
    if (std::find(inodes.begin(), inodes.end(), inode) == inodes.end()) continue;
    if (std::find(paths.begin(), paths.end(), path) == paths.end()) paths.push_back(path);
  }
  return paths;
}

int ListeningProcess(const fs::path& path) {
  std::vector<std::uint64_t> listening;
  for (const auto& [inode, socket] : OfficeSockets())
    if (socket == path) listening.push_back(inode);
  if (listening.empty()) return 0;
  for (const int pid : ProcessIds()) {
    for (const std::uint64_t inode : SocketInodes(std::to_string(pid)))
      if (std::find(listening.begin(), listening.end(), inode) != listening.end()) return pid;
  }
  return 0;
}

}  // namespace excel::calc
