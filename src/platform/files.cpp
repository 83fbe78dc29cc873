#include "platform/files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <optional>
#include <vector>

#include "platform/file_faults.h"

namespace platform {
namespace {

std::string ErrnoText(int code) {
  return std::generic_category().message(code);
}

outcome::Error Failed(std::string message) {
  return outcome::Error::Failed(std::move(message));
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
    const bool faulted = FileOpMustFail(FileOp::kClose);
    const bool closed = ::close(fd) == 0;
    if (faulted) errno = EIO;
    return closed && !faulted;
  }

 private:
  int fd_;
};

bool WriteAll(int fd, std::string_view data) {
  while (!data.empty()) {
    if (FileOpMustFail(FileOp::kWrite)) return false;
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

// The process's file-creation mask, read without changing it (umask() both
// reads and sets, which would race with other threads creating files).
mode_t ProcessUmask() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("Umask:", 0) == 0)
      return static_cast<mode_t>(std::strtoul(line.c_str() + 6, nullptr, 8));
  }
  return 022;
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

outcome::Error WriteFileAtomically(const std::filesystem::path& file, std::string_view contents) {
  return WriteFileAtomically(file, contents, AtomicWriteOptions{});
}

namespace {

// The folder the file goes into, made first when the options say so.
outcome::Error PrepareFolder(const std::filesystem::path& folder,
                             const AtomicWriteOptions& options) {
  if (!options.createFolders) return outcome::Error::Success();
  std::error_code ec;
  std::filesystem::create_directories(folder, ec);
  if (ec) return Failed("cannot create folder '" + folder.string() + "': " + ec.message());
  return outcome::Error::Success();
}

// A folder, or a file this process may not write, is refused when the
// options say so. `existing` is null when there is no such file.
outcome::Error MayReplace(const std::filesystem::path& target, const struct stat* existing,
                          const AtomicWriteOptions& options) {
  if (existing == nullptr || !options.refuseUnwritableTarget) return outcome::Error::Success();
  if (S_ISDIR(existing->st_mode))
    return Failed("cannot write '" + target.string() + "': " + ErrnoText(EISDIR));
  if (::access(target.c_str(), W_OK) != 0)
    return Failed("cannot write '" + target.string() + "': " + ErrnoText(errno));
  return outcome::Error::Success();
}

// The permissions the new file takes: those of the file it replaces, or
// what the umask gives a new file; none to leave mkostemp's.
std::optional<mode_t> ModeOfNewFile(const struct stat* existing,
                                    const AtomicWriteOptions& options) {
  if (existing != nullptr) return existing->st_mode & 07777;
  if (options.newFileByUmask) return 0666 & ~ProcessUmask();
  return std::nullopt;
}

// Fills the temporary file and renames it onto the target; a failure
// removes the temporary file.
outcome::Error FillAndRename(FileDescriptor& fd, const std::string& temporary,
                             const std::filesystem::path& target, std::string_view contents,
                             std::optional<mode_t> mode, WriteFailure& why) {
  auto fail = [&](const std::string& what, int code) {
    ::unlink(temporary.c_str());
    return Failed(what + " '" + target.string() + "': " + ErrnoText(code));
  };
  if (mode && ::fchmod(fd.get(), *mode) != 0) return fail("cannot keep the permissions of", errno);
  why = WriteFailure::kWrite;
  if (!WriteAll(fd.get(), contents)) return fail("cannot write", errno);
  if (FileOpMustFail(FileOp::kFsync) || ::fsync(fd.get()) != 0) return fail("cannot flush", errno);
  if (!fd.Close()) return fail("cannot write", errno);
  if (FileOpMustFail(FileOp::kRename) || ::rename(temporary.c_str(), target.c_str()) != 0)
    return fail("cannot replace", errno);
  return outcome::Error::Success();
}

}  // namespace

outcome::Error WriteFileAtomically(const std::filesystem::path& file, std::string_view contents,
                                   const AtomicWriteOptions& options, WriteFailure* failure) {
  WriteFailure ignored = WriteFailure::kNone;
  WriteFailure& why = failure != nullptr ? *failure : ignored;
  why = WriteFailure::kOpen;
  if (file.empty()) return Failed("cannot write a file without a name");
  const std::filesystem::path target = FollowLinks(file);
  std::filesystem::path folder = target.parent_path();
  if (folder.empty()) folder = ".";
  if (outcome::Error refused = PrepareFolder(folder, options)) return refused;

  struct stat existing {};
  const struct stat* replaced = ::stat(target.c_str(), &existing) == 0 ? &existing : nullptr;
  if (outcome::Error refused = MayReplace(target, replaced, options)) return refused;

  std::string temporary = (folder / ("." + target.filename().string() + ".XXXXXX")).string();
  FileDescriptor fd(::mkostemp(temporary.data(), O_CLOEXEC));
  if (fd.get() < 0)
    return Failed("cannot create a temporary file in '" + folder.string() +
                  "': " + ErrnoText(errno));
  if (outcome::Error failed =
          FillAndRename(fd, temporary, target, contents, ModeOfNewFile(replaced, options), why))
    return failed;

  // Make the rename itself durable; a failure here leaves a complete file.
  FileDescriptor dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (dir.get() >= 0) ::fsync(dir.get());
  why = WriteFailure::kNone;
  return outcome::Error::Success();
}

}  // namespace platform
