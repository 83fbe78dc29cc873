#include "common/files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>

#include "common/json_shape.h"
#include "platform/files.h"
#include "text/ascii.h"

namespace refhost {
namespace {

namespace fs = std::filesystem;

std::string Reason(int code) {
  return std::strerror(code);
}

template <typename Buffer>
outcome::Expected<Buffer> ReadInto(const fs::path& file, std::size_t limit) {
  const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return outcome::Error::Failed("cannot read " + file.string() + ": " + Reason(errno));
  struct stat info {};
  if (::fstat(fd, &info) == 0 && S_ISDIR(info.st_mode)) {
    ::close(fd);
    return outcome::Error::Failed(file.string() + " is a folder, not a file");
  }
  Buffer out;
  char chunk[65536];
  for (;;) {
    const ssize_t got = ::read(fd, chunk, sizeof chunk);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) {
      const int code = errno;
      ::close(fd);
      return outcome::Error::Failed("cannot read " + file.string() + ": " + Reason(code));
    }
    if (got == 0) break;
    if (out.size() + static_cast<std::size_t>(got) > limit) {
      ::close(fd);
      return outcome::Error::Failed(file.string() + " is larger than " + std::to_string(limit) +
                                    " bytes");
    }
    out.insert(out.end(), chunk, chunk + got);
  }
  ::close(fd);
  return out;
}

// The library's reason without its "[json.exception...] parse error at
// line .., column ..:" preamble, which is said in our own words.
std::string JsonReason(const std::string& what) {
  std::size_t at = what.find("] ");
  std::string reason = at == std::string::npos ? what : what.substr(at + 2);
  for (const char* preamble : {"parse error at ", "parse error"}) {
    if (reason.rfind(preamble, 0) != 0) continue;
    at = reason.find(": ");
    reason = at == std::string::npos ? reason.substr(std::strlen(preamble)) : reason.substr(at + 2);
    break;
  }
  return reason;
}

// A probe file made and removed at once: the only sure test that files can
// be made (permissions, read-only mounts, immutable folders, root or not).
// 0, or the errno of the failure.
int CreateProbeIn(const fs::path& folder) {
  std::string name = (folder / ".gridmoor-host-probe-XXXXXX").string();
  const int fd = ::mkstemp(name.data());
  if (fd < 0) return errno;
  ::close(fd);
  ::unlink(name.c_str());
  return 0;
}

}  // namespace

outcome::Expected<std::string> ReadBoundedText(const fs::path& file, std::size_t limit) {
  return ReadInto<std::string>(file, limit);
}

outcome::Expected<std::vector<std::uint8_t>> ReadBoundedBytes(const fs::path& file,
                                                              std::size_t limit) {
  return ReadInto<std::vector<std::uint8_t>>(file, limit);
}

fs::path TemporaryRoot() {
  const char* tmp = std::getenv("TMPDIR");
  return tmp != nullptr && *tmp != '\0' ? fs::path(tmp) : fs::path("/tmp");
}

std::string LowerExtension(const fs::path& file) {
  std::string extension = file.extension().string();
  for (char& c : extension)
    c = text::LowerAscii(c);
  return extension;
}

bool IsOneSheetFormat(const std::filesystem::path& file) {
  const std::string extension = LowerExtension(file);
  return extension == ".csv" || extension == ".tsv" || extension == ".txt" || extension == ".prn";
}

outcome::Error WriteText(const fs::path& file, std::string_view text) {
  // Through a temporary file and a rename: a full disk or a failed close
  // leaves the old file whole, and every write is checked.
  platform::AtomicWriteOptions options;
  options.createFolders = false;
  options.refuseUnwritableTarget = true;
  options.newFileByUmask = true;
  return platform::WriteFileAtomically(file, text, options);
}

outcome::Expected<nlohmann::json> ParseJsonText(const std::string& text) {
  const JsonShape shape = ReadJsonShape(text);
  if (!shape.tooDeep.empty()) return outcome::Error::Failed(shape.tooDeep);
  // The parser's own way to say the text is no JSON is an exception: each
  // is caught here and said as the error.
  try {
    nlohmann::json document = nlohmann::json::parse(text);
    if (shape.duplicate.empty()) return document;
    return outcome::Error::Failed(shape.duplicate);
  } catch (const nlohmann::json::parse_error& e) {
    return outcome::Error::Failed("not valid JSON at " +
                                  TextPosition(text, e.byte > 0 ? e.byte - 1 : 0) + ": " +
                                  JsonReason(e.what()));
  } catch (const nlohmann::json::exception& e) {
    // A number out of range names the text it could not hold; find it.
    std::string reason = JsonReason(e.what());
    const std::size_t open = reason.find('\''), close = reason.rfind('\'');
    std::size_t at = std::string::npos;
    if (open != std::string::npos && close > open + 1)
      at = text.find(reason.substr(open + 1, close - open - 1));
    return outcome::Error::Failed("not valid JSON" +
                                  (at != std::string::npos ? " at " + TextPosition(text, at) : "") +
                                  ": " + reason);
  }
}

outcome::Error CheckOutputFolder(const fs::path& folder, const std::vector<std::string>& names) {
  std::error_code ec;
  fs::create_directories(folder, ec);
  if (ec)
    return outcome::Error::Failed("cannot create the output folder " + folder.string() + ": " +
                                  Reason(ec.value()));
  if (!fs::is_directory(folder, ec))
    return outcome::Error::Failed("cannot write to " + folder.string() + ": " + Reason(ENOTDIR));
  if (const int code = CreateProbeIn(folder); code != 0)
    return outcome::Error::Failed("cannot write to " + folder.string() + ": " + Reason(code));
  for (const std::string& name : names) {
    if (!fs::exists(fs::symlink_status(folder / name, ec))) continue;
    if (outcome::Error unwritable = CheckWritableFile(folder / name)) return unwritable;
  }
  return outcome::Error::Success();
}

outcome::Error CheckWritableFile(const fs::path& file) {
  std::error_code ec;
  if (fs::is_directory(file, ec))
    return outcome::Error::Failed("cannot write " + file.string() + ": " + Reason(EISDIR));
  if (fs::exists(file, ec)) {
    const int fd = ::open(file.c_str(), O_WRONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
      return outcome::Error::Failed("cannot write " + file.string() + ": " + Reason(errno));
    ::close(fd);
    // The office replaces a file through its folder.
  }
  fs::path folder = file.parent_path();
  if (folder.empty()) folder = ".";
  if (!fs::is_directory(folder, ec))
    return outcome::Error::Failed("cannot write " + file.string() + ": " +
                                  Reason(fs::exists(folder, ec) ? ENOTDIR : ENOENT) + " (" +
                                  folder.string() + ")");
  if (const int code = CreateProbeIn(folder); code != 0)
    return outcome::Error::Failed("cannot write " + file.string() + ": " + Reason(code) + " (" +
                                  folder.string() + ")");
  return outcome::Error::Success();
}

}  // namespace refhost
