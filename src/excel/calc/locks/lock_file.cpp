#include "excel/calc/locks/lock_file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cinttypes>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <map>
#include <mutex>
#include <vector>

#include "com/error.h"
#include "excel/calc/locks/lock_liveness.h"
#include "excel/calc/locks/lock_registry.h"
#include "excel/calc/process/office_leftovers.h"
#include "excel/calc/process/office_program.h"
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

std::uint64_t Fnv1a(std::string_view text) {
  std::uint64_t hash = 14695981039346656037ull;
  for (const char c : text) {
    hash ^= static_cast<unsigned char>(c);
    hash *= 1099511628211ull;
  }
  return hash;
}

// The lock files this process holds, with the entry each was written with.
struct Held {
  int holds = 0;
  std::string entry;
};

// One workbook's registry locks this process holds, however many paths and
// application objects reach it.
struct HeldIdentity {
  int holds = 0;
  std::vector<std::pair<fs::path, int>> files;  // registry file, its locked descriptor
};

struct HeldLocks {
  std::mutex mutex;
  pid_t owner = ::getpid();
  std::map<fs::path, Held> files;
  std::map<std::string, std::shared_ptr<HeldIdentity>> identities;  // by each of its keys
};

// A forked child inherits the table (and the locked descriptors) of its
// parent, whose holds they are: it forgets them, touching nothing.
void ForgetParentsHolds(HeldLocks& locks) {
  if (locks.owner == ::getpid()) return;
  for (auto& [key, identity] : locks.identities) {
    for (const auto& [file, fd] : identity->files)
      ::close(fd);
    identity->files.clear();
  }
  locks.identities.clear();
  locks.files.clear();
  locks.owner = ::getpid();
}

HeldLocks& TheHeldLocks() {
  // Never destroyed: a worker may release a lock while the process exits.
  static HeldLocks* const locks = new HeldLocks;
  return *locks;
}

// Removed while still locked, so that nobody wins a lock on a file that is
// about to go (StillNamed tells them).
void ReleaseIdentity(HeldIdentity& identity) {
  for (const auto& [file, fd] : identity.files) {
    ::unlink(file.c_str());
    ::close(fd);
  }
  identity.files.clear();
}

// A host that exits with workbooks still open leaves no lock behind.
struct RemoveHeldAtExit {
  ~RemoveHeldAtExit() {
    HeldLocks& locks = TheHeldLocks();
    std::lock_guard lock(locks.mutex);
    ForgetParentsHolds(locks);
    for (const auto& [file, held] : locks.files) {
      std::error_code ignored;
      fs::remove(file, ignored);
    }
    locks.files.clear();
    for (auto& [key, identity] : locks.identities)
      ReleaseIdentity(*identity);
    locks.identities.clear();
  }
} removeHeldAtExit;

// Locks every key of a workbook in the registry. Nullopt (and nothing held)
// when another process holds one, naming it in `holder`, or when a key
// cannot be locked at all, saying why in `problem`: a run without its lock
// could lose another's changes, so it is no lock at all.
std::optional<HeldIdentity> LockIdentity(const std::vector<std::string>& keys, std::string& holder,
                                         std::string& problem) {
  HeldIdentity identity;
  const fs::path folder = LockRegistryFolder();
  if (std::optional<std::string> bad = RegistryFolderProblem(folder)) {
    problem = std::move(*bad);
    return std::nullopt;
  }
  for (const std::string& key : keys) {
    const fs::path file = folder / key;
    bool locked = false;
    for (int attempt = 0; attempt < 3 && !locked; ++attempt) {
      const int fd = OpenRegistryFile(file, problem);
      if (fd < 0) break;
      if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const long pid = FlockHolder(fd);
        ::close(fd);
        ReleaseIdentity(identity);
        holder = pid > 0 ? "Gridmoor (process " + std::to_string(pid) + ", user " +
                               ProcessUser(pid) + ")"
                         : "another Gridmoor process";
        holder += " through another path (registry lock " + file.string() +
                  ", released when that process ends)";
        return std::nullopt;
      }
      if (StillNamed(fd, file)) {
        identity.files.emplace_back(file, fd);
        locked = true;
      } else {
        ::close(fd);
        problem = file.string() + " keeps being replaced";
      }
    }
    if (!locked) {
      ReleaseIdentity(identity);
      return std::nullopt;
    }
  }
  problem.clear();
  return identity;
}

// The lock file's text, read without blocking: nullopt, and what it is in
// `problem`, for anything but a plain file (a FIFO would hang the read).
std::optional<std::string> ReadBounded(const fs::path& file, std::string* problem = nullptr) {
  const int fd = ::open(file.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  struct stat info {};
  if (fd < 0 || ::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    if (problem) *problem = fd < 0 && errno != ELOOP ? std::strerror(errno) : DescribeEntry(file);
    if (fd >= 0) ::close(fd);
    return std::nullopt;
  }
  std::string text(kMaxEntryBytes + 1, '\0');
  std::size_t got = 0;
  while (got < text.size()) {
    const ssize_t n = ::read(fd, text.data() + got, text.size() - got);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    got += static_cast<std::size_t>(n);
  }
  ::close(fd);
  text.resize(got);
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

std::vector<std::string> IdentityKeys(const fs::path& workbook) {
  struct stat info {};
  if (::stat(workbook.c_str(), &info) != 0) return {};
  std::vector<std::string> keys = {std::to_string(info.st_dev) + "-" + std::to_string(info.st_ino)};
  std::error_code error;
  const fs::path resolved = fs::canonical(workbook, error);
  if (!error) {
    char hash[17];
    std::snprintf(hash, sizeof hash, "%016" PRIx64, Fnv1a(resolved.string()));
    keys.push_back(std::string("path-") + hash);
  }
  return keys;
}

fs::path LockRegistryFolder() {
  // Not $TMPDIR: every process of the machine must find the same folder.
  return "/tmp/gridmoor-locks";
}

LockHost LockHost::ThisMachine() {
  return LockHost{HostName(), DriverRunsHere, PersonalOfficeRunsHere};
}

bool LockIsLive(const LockEntry& entry, const LockHost& host, bool identityHeld) {
  if (entry.host != host.hostName) return true;
  if (const long owner = DriverOfProfileUrl(entry.profileUrl); owner > 0) {
    // This process's own lock that it no longer holds is a leftover, and so
    // is a driver's whose registry lock nobody holds.
    if (owner == ::getpid() || identityHeld) return false;
    return host.driverRuns(owner);
  }
  return host.personalOfficeRuns();
}

namespace {

// What a hold is made of; any part may be empty.
struct HoldParts {
  std::vector<std::string> keys;  // registry keys held
  fs::path file;                  // the lock file written
  std::string holder;             // who else holds the workbook
};

// One acquisition, under the held-locks mutex: the workbook's identity in
// the lock registry, then the lock file beside it.
class LockClaim {
 public:
  LockClaim(HeldLocks& locks, const fs::path& workbook, const LockHost& host)
      : locks_(locks),
        host_(host),
        file_(LockFilePath(workbook)),
        name_(workbook.filename().string()),
        keys_(IdentityKeys(workbook)) {}

  HoldParts Take(const fs::path& profileFolder) {
    JoinOwnHold();
    if (!shared_ && !keys_.empty()) {
      std::string holder;
      if (!TakeIdentity(holder)) return {{}, {}, holder};
    }
    if (const auto held = locks_.files.find(file_); held != locks_.files.end()) {
      ++held->second.holds;
      Keep();
      return {HoldKeys(), file_, {}};
    }
    return WriteLockFile(FormatLockEntry(
        LockEntry{"Gridmoor (process " + std::to_string(::getpid()) + ")", UserName(::geteuid()),
                  host_.hostName, EditTimeNow(), FileUrlFromPath(profileFolder)}));
  }

 private:
  // This process has the workbook already, by this path or another.
  void JoinOwnHold() {
    for (const std::string& key : keys_) {
      if (const auto found = locks_.identities.find(key); found != locks_.identities.end())
        shared_ = found->second;
    }
    if (!shared_) return;
    ++shared_->holds;
    for (const std::string& key : keys_)
      locks_.identities.emplace(key, shared_);
    identityHeld_ = true;
  }

  // False, with `holder` naming it, when another process holds the identity.
  bool TakeIdentity(std::string& holder) {
    std::string problem;
    taken_ = LockIdentity(keys_, holder, problem);
    if (!problem.empty())
      Refuse(name_ + " cannot be locked against other processes: " + problem +
             "; it must be removed or mended before the workbook can be opened");
    if (!taken_) return false;
    identityHeld_ = true;
    return true;
  }

  // Registers what was taken once this hold is certain.
  void Keep() {
    if (!taken_) return;
    shared_ = std::make_shared<HeldIdentity>(std::move(*taken_));
    shared_->holds = 1;
    taken_.reset();
    for (const std::string& key : keys_)
      locks_.identities[key] = shared_;
  }

  void GiveUp() {
    if (taken_) ReleaseIdentity(*taken_);
  }

  std::vector<std::string> HoldKeys() const { return shared_ ? keys_ : std::vector<std::string>(); }

  // Twice at most: once more after a stale lock is taken away.
  HoldParts WriteLockFile(const std::string& entry) {
    for (int attempt = 0; attempt < 2; ++attempt) {
      if (std::optional<HoldParts> made = CreateLockFile(entry)) return std::move(*made);
      if (std::optional<HoldParts> other = YieldToLockFile()) return std::move(*other);
      std::error_code ignored;
      fs::remove(file_, ignored);
    }
    GiveUp();
    return {{},
            {},
            "another process that locked it while it was being opened (lock file " +
                file_.string() + ")"};
  }

  // The hold, unless a lock file is there already. A folder where no file
  // can be made gives a hold without one.
  std::optional<HoldParts> CreateLockFile(const std::string& entry) {
    const int fd = ::open(file_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0 && errno == EEXIST) return std::nullopt;
    Keep();
    if (fd < 0) return HoldParts{HoldKeys(), {}, {}};
    const bool written =
        ::write(fd, entry.data(), entry.size()) == static_cast<ssize_t>(entry.size());
    ::close(fd);
    if (!written) {
      std::error_code ignored;
      fs::remove(file_, ignored);
      return HoldParts{HoldKeys(), {}, {}};
    }
    locks_.files[file_] = Held{1, entry};
    return HoldParts{HoldKeys(), file_, {}};
  }

  // The hold an existing lock file leaves this process, or none when that
  // file is stale and may be taken away.
  std::optional<HoldParts> YieldToLockFile() {
    std::string problem;
    const std::optional<std::string> text = ReadBounded(file_, &problem);
    const std::optional<LockEntry> other = text ? ParseLockEntry(*text) : std::nullopt;
    if (!other) {
      GiveUp();
      if (shared_) --shared_->holds;
      Refuse(name_ + " has a lock file that cannot be read (" + file_.string() +
             (problem.empty() ? "" : ": " + problem) + "); remove it if nobody uses the workbook");
    }
    // A lock file beside another path to a workbook this process holds is
    // this process's or a leftover.
    if (!shared_ && LockIsLive(*other, host_, identityHeld_)) {
      GiveUp();
      const std::string who = other->user.empty() ? other->systemUser : other->user;
      return HoldParts{{},
                       {},
                       who + " on " + other->host + " since " + other->editTime + " (lock file " +
                           file_.string() + "; if that process no longer runs, remove that file)"};
    }
    // Another path's open of ours: that file stays its writer's.
    if (shared_) return HoldParts{HoldKeys(), {}, {}};
    return std::nullopt;
  }

  HeldLocks& locks_;
  const LockHost& host_;
  const fs::path file_;
  const std::string name_;
  const std::vector<std::string> keys_;
  std::shared_ptr<HeldIdentity> shared_;  // this process's hold of the identity
  std::optional<HeldIdentity> taken_;     // taken here, not yet registered
  bool identityHeld_ = false;
};

}  // namespace

std::unique_ptr<WorkbookLock> WorkbookLock::Acquire(const fs::path& workbook,
                                                    const fs::path& profileFolder,
                                                    const LockHost& host) {
  HeldLocks& locks = TheHeldLocks();
  std::lock_guard lock(locks.mutex);
  ForgetParentsHolds(locks);
  HoldParts hold = LockClaim(locks, workbook, host).Take(profileFolder);
  return std::unique_ptr<WorkbookLock>(
      new WorkbookLock(std::move(hold.keys), std::move(hold.file), std::move(hold.holder)));
}

void WorkbookLock::FollowSave(const fs::path& workbook) {
  if (keys_.empty()) return;
  HeldLocks& locks = TheHeldLocks();
  std::lock_guard lock(locks.mutex);
  ForgetParentsHolds(locks);
  const auto found = locks.identities.find(keys_.front());
  if (found == locks.identities.end()) return;
  const std::shared_ptr<HeldIdentity> identity = found->second;
  std::vector<std::string> fresh;
  for (const std::string& key : IdentityKeys(workbook))
    if (!locks.identities.contains(key)) fresh.push_back(key);
  if (fresh.empty()) return;
  std::string holder, problem;
  // Taken meanwhile by another name: the resolved path's lock still holds.
  std::optional<HeldIdentity> taken = LockIdentity(fresh, holder, problem);
  if (!taken) return;
  identity->files.insert(identity->files.end(), taken->files.begin(), taken->files.end());
  for (const std::string& key : fresh)
    locks.identities.emplace(key, identity);
}

WorkbookLock::~WorkbookLock() {
  HeldLocks& locks = TheHeldLocks();
  std::lock_guard lock(locks.mutex);
  ForgetParentsHolds(locks);
  if (!file_.empty()) {
    const auto held = locks.files.find(file_);
    if (held != locks.files.end() && --held->second.holds == 0) {
      // Only the entry this process wrote: one that somebody put in its
      // place is theirs.
      if (ReadBounded(file_) == held->second.entry) {
        std::error_code ignored;
        fs::remove(file_, ignored);
      }
      locks.files.erase(held);
    }
  }
  if (keys_.empty()) return;
  const auto found = locks.identities.find(keys_.front());
  if (found == locks.identities.end()) return;
  const std::shared_ptr<HeldIdentity> identity = found->second;
  if (--identity->holds > 0) return;
  ReleaseIdentity(*identity);
  std::erase_if(locks.identities, [&](const auto& item) { return item.second == identity; });
}

}  // namespace excel::calc
