// The office's document lock files, so that desktop offices and other
// driver processes see who holds a workbook: ".~lock.NAME#" beside the
// workbook, one line of five comma-separated fields ending in ';' (user
// name, system user, host, "DD.MM.YYYY HH:MM", the office profile's URL),
// with ',', ';' and '\' escaped by a backslash. No UNO here.
#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace excel::calc {

struct LockEntry {
  std::string user;
  std::string systemUser;
  std::string host;
  std::string editTime;
  std::string profileUrl;

  friend bool operator==(const LockEntry&, const LockEntry&) = default;
};

std::filesystem::path LockFilePath(const std::filesystem::path& workbook);
std::string FormatLockEntry(const LockEntry& entry);
// Nullopt for text that is not one entry of five fields.
std::optional<LockEntry> ParseLockEntry(std::string_view text);

// The names under which one workbook is locked in the machine's lock
// registry, whatever path reaches it: its device and inode ("<dev>-<ino>",
// shared by hard links and bind mounts) and its resolved path ("path-" and a
// hash; the office replaces a workbook's inode when it saves in place, so
// this is what still ties a symlink to the file saved). Empty when the
// file cannot be examined.
std::vector<std::string> IdentityKeys(const std::filesystem::path& workbook);

// The lock registry: a folder shared by every user (sticky, like the
// temporary folder), one empty file per identity key, which a driver holding
// the workbook keeps flock(2)ed. The kernel drops those locks when a process
// ends, so a registry lock is never stale.
std::filesystem::path LockRegistryFolder();

// What this process knows of the machine, for deciding whether a lock's
// writer still runs. Tests replace it.
struct LockHost {
  std::string hostName;
  // True while process `pid` of this host is a driver (the driver's code is
  // mapped in it, or unreadable to this user) or its office runs.
  bool (*driverRuns)(long pid) = nullptr;
  // True while an office that is no driver's runs on this host (a person's
  // desktop office, which writes no process id into its locks).
  bool (*personalOfficeRuns)() = nullptr;

  static LockHost ThisMachine();
};

// Whether `entry` still holds its workbook. A lock from another host is
// live (nothing here can tell). A driver's lock (its profile lies in a
// driver's private office folder, named after the process) is stale when
// `identityHeld` (this process holds the workbook's registry locks, which
// every driver takes before its lock file) and otherwise lives while that
// process is a driver, this process's own excepted; any other office's lock
// lives while a personal office runs on this host.
bool LockIsLive(const LockEntry& entry, const LockHost& host, bool identityHeld);

// This process's hold on one workbook: its registry locks and the lock file
// beside the path it was opened by. Opening one workbook twice in this
// process, by any path, shares them; the last release removes them.
class WorkbookLock {
 public:
  // Takes the lock for `workbook`, writing an entry that names this process
  // (and `profileFolder`, the office's profile), or taking over a stale one.
  // A workbook another live process holds gives a read-only hold naming
  // that holder. A folder where no file can be made gives an empty hold
  // (such a workbook cannot be saved either). Throws
  // com::Error(SHEET_E_APPLICATION_DEFINED) naming the lock file when it
  // cannot be read (a FIFO included: it is never opened blocking), and
  // naming the registry entry when it cannot be locked.
  static std::unique_ptr<WorkbookLock> Acquire(const std::filesystem::path& workbook,
                                               const std::filesystem::path& profileFolder,
                                               const LockHost& host = LockHost::ThisMachine());
  ~WorkbookLock();
  WorkbookLock(const WorkbookLock&) = delete;
  WorkbookLock& operator=(const WorkbookLock&) = delete;

  // After this process saved the workbook in place (the office writes a
  // new file, a new inode), locks the new file's identity too, so that a
  // bind mount or hard link made since finds it held.
  void FollowSave(const std::filesystem::path& workbook);

  // Another process holds the workbook: it may be read, never written.
  bool ReadOnly() const { return !holder_.empty(); }
  // Who holds it and how to clear a lock that is really stale; empty when
  // this process holds it.
  const std::string& Holder() const { return holder_; }

 private:
  WorkbookLock(std::vector<std::string> keys, std::filesystem::path file, std::string holder)
      : keys_(std::move(keys)), file_(std::move(file)), holder_(std::move(holder)) {}
  std::vector<std::string> keys_;  // held registry keys; empty: none
  std::filesystem::path file_;     // empty: no lock file of this hold
  std::string holder_;
};

}  // namespace excel::calc
