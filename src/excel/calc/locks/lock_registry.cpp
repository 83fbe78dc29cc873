#include "excel/calc/locks/lock_registry.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string_view>
#include <vector>

namespace excel::calc {
namespace fs = std::filesystem;

std::string UserName(uid_t uid) {
  std::vector<char> buffer(16384);
  passwd entry{};
  passwd* found = nullptr;
  if (::getpwuid_r(uid, &entry, buffer.data(), buffer.size(), &found) == 0 && found != nullptr &&
      found->pw_name != nullptr)
    return found->pw_name;
  return std::to_string(uid);
}

std::string DescribeEntry(const fs::path& path) {
  struct stat info {};
  if (::lstat(path.c_str(), &info) != 0) return std::strerror(errno);
  const mode_t type = info.st_mode & S_IFMT;
  const char* kind = type == S_IFIFO    ? "a FIFO"
                     : type == S_IFDIR  ? "a folder"
                     : type == S_IFLNK  ? "a symbolic link"
                     : type == S_IFSOCK ? "a socket"
                     : type == S_IFREG  ? "a file"
                                        : "a device";
  return std::string(kind) + " of user " + UserName(info.st_uid);
}

std::optional<std::string> RegistryFolderProblem(const fs::path& path) {
  if (::mkdir(path.c_str(), 01777) == 0) ::chmod(path.c_str(), 01777);
  struct stat info {};
  if (::lstat(path.c_str(), &info) != 0)
    return "the lock registry " + path.string() + " cannot be made: " + std::strerror(errno);
  if (!S_ISDIR(info.st_mode))
    return "the lock registry " + path.string() + " is " + DescribeEntry(path) + ", not a folder";
  // Shared by every user as /tmp is: whoever made it first owns it, and the
  // sticky bit keeps each user's entries their own.
  const bool othersWrite = (info.st_mode & (S_IWGRP | S_IWOTH)) != 0;
  if (othersWrite && (info.st_mode & S_ISVTX) == 0)
    return "the lock registry " + path.string() +
           " may be written by other users and is not sticky, so they could remove the locks "
           "in it";
  if (!othersWrite && info.st_uid != 0 && info.st_uid != ::geteuid())
    return "the lock registry " + path.string() + " belongs to user " + UserName(info.st_uid) +
           ", and other users cannot add their locks to it";
  return std::nullopt;
}

int OpenRegistryFile(const fs::path& file, std::string& problem) {
  for (int attempt = 0; attempt < 3; ++attempt) {
    int fd = ::open(file.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0 && errno == ENOENT) {
      fd = ::open(file.c_str(), O_RDONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0444);
      if (fd >= 0) ::fchmod(fd, 0444);
      if (fd < 0 && errno == EEXIST) continue;
    }
    if (fd < 0) {
      problem = errno == ELOOP ? file.string() + " is " + DescribeEntry(file) + ", not a lock file"
                               : file.string() + " cannot be opened: " + std::strerror(errno);
      return -1;
    }
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
      ::close(fd);
      problem = file.string() + " is " + DescribeEntry(file) + ", not a lock file";
      return -1;
    }
    return fd;
  }
  problem = file.string() + " keeps being replaced";
  return -1;
}

bool StillNamed(int fd, const fs::path& file) {
  struct stat open {
  }, named{};
  return ::fstat(fd, &open) == 0 && ::lstat(file.c_str(), &named) == 0 &&
         open.st_dev == named.st_dev && open.st_ino == named.st_ino;
}

long FlockHolder(int fd) {
  struct stat info {};
  if (::fstat(fd, &info) != 0) return 0;
  std::ifstream locks("/proc/locks");
  std::string line;
  while (std::getline(locks, line)) {
    char kind[16] = {};
    long pid = 0;
    unsigned major = 0, minor = 0;
    unsigned long inode = 0;
    if (std::sscanf(line.c_str(), "%*[^:]: %15s %*s %*s %ld %x:%x:%lu", kind, &pid, &major, &minor,
                    &inode) == 5 &&
        std::string_view(kind) == "FLOCK" && inode == info.st_ino)
      return pid;
  }
  return 0;
}

std::string ProcessUser(long pid) {
  struct stat info {};
  if (::stat(("/proc/" + std::to_string(pid)).c_str(), &info) != 0) return {};
  return UserName(info.st_uid);
}

}  // namespace excel::calc
