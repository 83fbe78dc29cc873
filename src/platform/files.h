// File status and whole-file reading and writing.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>

#include "outcome/outcome.h"

namespace platform {

struct FileStatus {
  bool exists = false;
  bool isDirectory = false;
  std::uint64_t size = 0;  // bytes; 0 for a folder
};

// Follows symbolic links, as a stat call does: a dangling link does not exist.
FileStatus GetFileStatus(const std::string& path);
// True when the path names an existing file or folder.
bool FileExists(const std::string& path);

// The whole content of a file; nullopt with *error set (to
// std::errc::no_such_file_or_directory for a missing file) when it cannot be read.
std::optional<std::string> ReadWholeFile(const std::filesystem::path& file, std::error_code* error);

// Replaces the file's content so that readers see either the old or the new
// content, never a mixture, even after a crash: writes a temporary file in
// the same folder, flushes it to disk and renames it over the file. Creates
// missing folders. A symbolic link is followed, so the link stays. An
// existing file keeps its permissions; a new one is readable by its owner
// only. A failure says what failed; the old content is then untouched.
outcome::Error WriteFileAtomically(const std::filesystem::path& file, std::string_view contents);

// What an atomic write does beyond the above, for files a user names: the
// write behaves as opening the file for writing would, then replaces it
// atomically all the same.
struct AtomicWriteOptions {
  // Missing folders are created; when false, a missing folder cannot be
  // opened.
  bool createFolders = true;
  // An existing target that is a folder, or that the process may not write,
  // is refused before anything is written.
  bool refuseUnwritableTarget = false;
  // A new file gets 0666 less the process's umask, as a file created by
  // open does, instead of owner-only permissions.
  bool newFileByUmask = false;
};

// Why an atomic write failed: the file could not be opened (folder, target
// or temporary file), or writing, flushing or replacing failed.
enum class WriteFailure { kNone, kOpen, kWrite };

outcome::Error WriteFileAtomically(const std::filesystem::path& file, std::string_view contents,
                                   const AtomicWriteOptions& options,
                                   WriteFailure* failure = nullptr);

}  // namespace platform
