#include "excel/calc/lock_file.h"

#include <fcntl.h>
#include <pwd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <map>
#include <mutex>
#include <vector>

#include "com/error.h"
#include "excel/calc/office_process.h"
#include "excel/errors.h"

namespace excel::calc {
namespace fs = std::filesystem;
namespace {

constexpr std::size_t kFields = 5;
// An entry is one short line; anything longer is no lock of an office.
constexpr std::size_t kMaxEntryBytes = 4096;

std::string Escaped(std::string_view text) {
  std::string out;
  for (const char c : text) {
    if (c == ',' || c == ';' || c == '\\') out += '\\';
    out += c;
  }
  return out;
}

std::string SystemUserName() {
  std::vector<char> buffer(16384);
  passwd entry{};
  passwd* found = nullptr;
  if (::getpwuid_r(::geteuid(), &entry, buffer.data(), buffer.size(), &found) == 0 &&
      found != nullptr && found->pw_name != nullptr)
    return found->pw_name;
  return std::to_string(::geteuid());
}

std::string HostName() {
  char name[256] = {};
  if (::gethostname(name, sizeof name - 1) != 0) return {};
  return name;
}

std::string EditTimeNow() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  ::localtime_r(&now, &local);
  char text[64];
  std::snprintf(text, sizeof text, "%02d.%02d.%04d %02d:%02d", local.tm_mday, local.tm_mon + 1,
                local.tm_year + 1900, local.tm_hour, local.tm_min);
  return text;
}

// The process whose private office folder a profile URL lies in; 0 when it
// lies in no driver's folder.
long DriverOfProfileUrl(std::string_view url) {
  std::size_t start = 0;
  while (start < url.size()) {
    std::size_t end = url.find('/', start);
    if (end == std::string_view::npos) end = url.size();
    if (const long owner = OfficeFolderOwner(url.substr(start, end - start)); owner > 0)
      return owner;
    start = end + 1;
  }
  return 0;
}

bool PersonalOfficeRunsHere() {
  std::error_code error;
  for (const fs::directory_entry& entry : fs::directory_iterator("/proc", error)) {
    const std::string name = entry.path().filename().string();
    if (name.empty() || name.find_first_not_of("0123456789") != std::string::npos) continue;
    std::string command;
    std::getline(std::ifstream(entry.path() / "comm"), command);
    if (command != "soffice.bin") continue;
    std::ifstream cmdline(entry.path() / "cmdline");
    const std::string arguments((std::istreambuf_iterator<char>(cmdline)),
                                std::istreambuf_iterator<char>());
    if (DriverOfProfileUrl(arguments) == 0) return true;
  }
  return false;
}

// The lock files this process holds, with the entry each was written with.
struct Held {
  int holds = 0;
  std::string entry;
};

struct HeldLocks {
  std::mutex mutex;
  std::map<fs::path, Held> files;
};

HeldLocks& TheHeldLocks() {
  // Never destroyed: a worker may release a lock while the process exits.
  static HeldLocks* const locks = new HeldLocks;
  return *locks;
}

// A host that exits with workbooks still open leaves no lock behind.
struct RemoveHeldAtExit {
  ~RemoveHeldAtExit() {
    HeldLocks& locks = TheHeldLocks();
    std::lock_guard lock(locks.mutex);
    for (const auto& [file, held] : locks.files) {
      std::error_code ignored;
      fs::remove(file, ignored);
    }
    locks.files.clear();
  }
} removeHeldAtExit;

std::optional<std::string> ReadBounded(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  if (!in) return std::nullopt;
  std::string text(kMaxEntryBytes + 1, '\0');
  in.read(text.data(), static_cast<std::streamsize>(text.size()));
  text.resize(static_cast<std::size_t>(in.gcount()));
  return text;
}

[[noreturn]] void Refuse(const std::string& reason) {
  com::Throw(kApplicationError, reason);
}

}  // namespace

fs::path LockFilePath(const fs::path& workbook) {
  return workbook.parent_path() / (".~lock." + workbook.filename().string() + "#");
}

std::string FormatLockEntry(const LockEntry& entry) {
  return Escaped(entry.user) + "," + Escaped(entry.systemUser) + "," + Escaped(entry.host) + "," +
         Escaped(entry.editTime) + "," + Escaped(entry.profileUrl) + ";";
}

std::optional<LockEntry> ParseLockEntry(std::string_view text) {
  std::vector<std::string> fields(1);
  bool ended = false;
  for (std::size_t i = 0; i < text.size() && !ended; ++i) {
    const char c = text[i];
    if (c == '\\') {
      if (++i == text.size()) return std::nullopt;
      fields.back() += text[i];
    } else if (c == ',') {
      if (fields.size() == kFields) return std::nullopt;
      fields.emplace_back();
    } else if (c == ';') {
      ended = true;
    } else {
      fields.back() += c;
    }
  }
  if (!ended || fields.size() != kFields) return std::nullopt;
  return LockEntry{fields[0], fields[1], fields[2], fields[3], fields[4]};
}

LockHost LockHost::ThisMachine() {
  return LockHost{HostName(), [](long pid) { return ProcessRuns(pid); }, PersonalOfficeRunsHere};
}

bool LockIsLive(const LockEntry& entry, const LockHost& host) {
  if (entry.host != host.hostName) return true;
  if (const long owner = DriverOfProfileUrl(entry.profileUrl); owner > 0) {
    // This process's own lock that it no longer holds is a leftover.
    if (owner == ::getpid()) return false;
    return host.processRuns(owner);
  }
  return host.personalOfficeRuns();
}

std::unique_ptr<WorkbookLock> WorkbookLock::Acquire(const fs::path& workbook,
                                                    const fs::path& profileFolder,
                                                    const LockHost& host) {
  const fs::path file = LockFilePath(workbook);
  HeldLocks& locks = TheHeldLocks();
  std::lock_guard lock(locks.mutex);
  if (const auto held = locks.files.find(file); held != locks.files.end()) {
    ++held->second.holds;
    return std::unique_ptr<WorkbookLock>(new WorkbookLock(file));
  }
  const std::string name = workbook.filename().string();
  const std::string entry = FormatLockEntry(
      LockEntry{"Gridmoor (process " + std::to_string(::getpid()) + ")", SystemUserName(),
                host.hostName, EditTimeNow(), FileUrlFromPath(profileFolder)});
  // Twice at most: once more after a stale lock is taken away.
  for (int attempt = 0; attempt < 2; ++attempt) {
    const int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd >= 0) {
      const bool written =
          ::write(fd, entry.data(), entry.size()) == static_cast<ssize_t>(entry.size());
      ::close(fd);
      if (!written) {
        std::error_code ignored;
        fs::remove(file, ignored);
        return std::unique_ptr<WorkbookLock>(new WorkbookLock({}));
      }
      locks.files[file] = Held{1, entry};
      return std::unique_ptr<WorkbookLock>(new WorkbookLock(file));
    }
    if (errno != EEXIST) return std::unique_ptr<WorkbookLock>(new WorkbookLock({}));
    const std::optional<std::string> text = ReadBounded(file);
    const std::optional<LockEntry> other = text ? ParseLockEntry(*text) : std::nullopt;
    if (!other) {
      Refuse(name + " has a lock file that cannot be read (" + file.string() +
             "); remove it if nobody uses the workbook");
    }
    if (LockIsLive(*other, host)) {
      const std::string who = other->user.empty() ? other->systemUser : other->user;
      Refuse(name + " is in use by " + who + " on " + other->host + " since " + other->editTime +
             " (lock file " + file.filename().string() + ")");
    }
    std::error_code ignored;
    fs::remove(file, ignored);
  }
  Refuse(name + " was locked by another process while it was being opened");
}

WorkbookLock::~WorkbookLock() {
  if (file_.empty()) return;
  HeldLocks& locks = TheHeldLocks();
  std::lock_guard lock(locks.mutex);
  const auto held = locks.files.find(file_);
  if (held == locks.files.end() || --held->second.holds > 0) return;
  // Only the entry this process wrote: one that somebody put in its place
  // is theirs.
  if (ReadBounded(file_) == held->second.entry) {
    std::error_code ignored;
    fs::remove(file_, ignored);
  }
  locks.files.erase(held);
}

}  // namespace excel::calc
