#include "platform/files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

namespace platform {
namespace {

std::string ErrnoText(int code) {
  return std::generic_category().message(code);
}

void SetError(std::string* error, std::string message) {
  if (error != nullptr) *error = std::move(message);
}

// Closes the descriptor on every path out of a function.
class FileDescriptor {
 public:
  explicit FileDescriptor(int fd) : fd_(fd) {}
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  ~FileDescriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  int get() const { return fd_; }
  // Closes now, reporting the result (close can report a failed write).
  bool Close() {
    const int fd = fd_;
    fd_ = -1;
    return ::close(fd) == 0;
  }

 private:
  int fd_;
};

bool WriteAll(int fd, std::string_view data) {
  while (!data.empty()) {
    const ssize_t written = ::write(fd, data.data(), data.size());
    if (written < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data.remove_prefix(static_cast<std::size_t>(written));
  }
  return true;
}

// The file a path finally names when symbolic links are followed; the path
// itself when it is not a link. A rename onto the link would replace it.
std::filesystem::path FollowLinks(std::filesystem::path file) {
  for (int hops = 0; hops < 40; ++hops) {
    std::error_code ec;
    if (!std::filesystem::is_symlink(std::filesystem::symlink_status(file, ec))) break;
    std::filesystem::path target = std::filesystem::read_symlink(file, ec);
    if (ec) break;
    file = target.is_absolute() ? target : file.parent_path() / target;
  }
  return file;
}

}  // namespace

FileStatus GetFileStatus(const std::string& path) {
  struct stat info {};
  if (path.empty() || ::stat(path.c_str(), &info) != 0) return {};
  FileStatus status;
  status.exists = true;
  status.isDirectory = S_ISDIR(info.st_mode);
  status.size = status.isDirectory ? 0 : static_cast<std::uint64_t>(info.st_size);
  return status;
}

bool FileExists(const std::string& path) {
  return GetFileStatus(path).exists;
}

std::optional<std::string> ReadWholeFile(const std::filesystem::path& file,
                                         std::error_code* error) {
  FileDescriptor fd(::open(file.c_str(), O_RDONLY | O_CLOEXEC));
  if (fd.get() < 0) {
    if (error != nullptr) *error = std::error_code(errno, std::generic_category());
    return std::nullopt;
  }
  std::string contents;
  std::vector<char> buffer(64 * 1024);
  for (;;) {
    const ssize_t got = ::read(fd.get(), buffer.data(), buffer.size());
    if (got < 0) {
      if (errno == EINTR) continue;
      if (error != nullptr) *error = std::error_code(errno, std::generic_category());
      return std::nullopt;
    }
    if (got == 0) break;
    contents.append(buffer.data(), static_cast<std::size_t>(got));
  }
  if (error != nullptr) error->clear();
  return contents;
}

bool WriteFileAtomically(const std::filesystem::path& file, std::string_view contents,
                         std::string* error) {
  if (file.empty()) {
    SetError(error, "cannot write a file without a name");
    return false;
  }
  const std::filesystem::path target = FollowLinks(file);
  std::filesystem::path folder = target.parent_path();
  if (folder.empty()) folder = ".";

  std::error_code ec;
  std::filesystem::create_directories(folder, ec);
  if (ec) {
    SetError(error, "cannot create folder '" + folder.string() + "': " + ec.message());
    return false;
  }

  std::string temporary = (folder / ("." + target.filename().string() + ".XXXXXX")).string();
  FileDescriptor fd(::mkostemp(temporary.data(), O_CLOEXEC));
  if (fd.get() < 0) {
    SetError(error,
             "cannot create a temporary file in '" + folder.string() + "': " + ErrnoText(errno));
    return false;
  }
  auto fail = [&](const std::string& what, int code) {
    ::unlink(temporary.c_str());
    SetError(error, what + " '" + target.string() + "': " + ErrnoText(code));
    return false;
  };

  struct stat existing {};
  if (::stat(target.c_str(), &existing) == 0 && ::fchmod(fd.get(), existing.st_mode & 07777) != 0)
    return fail("cannot keep the permissions of", errno);
  if (!WriteAll(fd.get(), contents)) return fail("cannot write", errno);
  if (::fsync(fd.get()) != 0) return fail("cannot flush", errno);
  if (!fd.Close()) return fail("cannot write", errno);
  if (::rename(temporary.c_str(), target.c_str()) != 0) return fail("cannot replace", errno);

  // Make the rename itself durable; a failure here leaves a complete file.
  FileDescriptor dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (dir.get() >= 0) ::fsync(dir.get());
  return true;
}

}  // namespace platform
