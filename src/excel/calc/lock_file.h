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

// What this process knows of the machine, for deciding whether a lock's
// writer still runs. Tests replace it.
struct LockHost {
  std::string hostName;
  // True while process `pid` of this host runs.
  bool (*processRuns)(long pid) = nullptr;
  // True while an office that is no driver's runs on this host (a person's
  // desktop office, which writes no process id into its locks).
  bool (*personalOfficeRuns)() = nullptr;

  static LockHost ThisMachine();
};

// Whether `entry` still holds its workbook. A lock from another host is
// live (nothing here can tell). A driver's lock (its profile lies in a
// driver's private office folder, named after the process) lives while that
// process runs, this process's own excepted; any other office's lock lives
// while a personal office runs on this host.
bool LockIsLive(const LockEntry& entry, const LockHost& host);

// This process's hold on one workbook's lock file. Opening one workbook
// twice in this process shares the file; the last release removes it.
class WorkbookLock {
 public:
  // Takes the lock for `workbook`, writing an entry that names this process
  // (and `profileFolder`, the office's profile), or taking over a stale one.
  // A folder where no file can be made gives an empty hold (such a workbook
  // cannot be saved either). Throws com::Error(SHEET_E_APPLICATION_DEFINED)
  // naming the holder when another live process holds it, or the lock file
  // when it cannot be read.
  static std::unique_ptr<WorkbookLock> Acquire(const std::filesystem::path& workbook,
                                               const std::filesystem::path& profileFolder,
                                               const LockHost& host = LockHost::ThisMachine());
  ~WorkbookLock();
  WorkbookLock(const WorkbookLock&) = delete;
  WorkbookLock& operator=(const WorkbookLock&) = delete;

 private:
  explicit WorkbookLock(std::filesystem::path file) : file_(std::move(file)) {}
  std::filesystem::path file_;  // empty: no file could be made
};

}  // namespace excel::calc
