#include "excel/calc/process/office_leftovers.h"

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <fstream>
#include <string>
#include <system_error>
#include <utility>

#include "excel/calc/process/child_process.h"
#include "excel/calc/process/office_profile.h"
#include "excel/calc/process/office_program.h"

namespace excel::calc {
namespace fs = std::filesystem;
namespace {

// The process id in "<prefix><pid>_..." or "<prefix><pid>-...", or 0.
long OwnerOf(std::string_view name, std::string_view prefix) {
  if (name.rfind(prefix, 0) != 0) return 0;
  name.remove_prefix(prefix.size());
  long pid = 0;
  std::size_t digits = 0;
  while (digits < name.size() && name[digits] >= '0' && name[digits] <= '9') {
    pid = pid * 10 + (name[digits] - '0');
    if (pid > 1L << 30) return 0;
    ++digits;
  }
  if (digits == 0 || digits == name.size() || (name[digits] != '_' && name[digits] != '-'))
    return 0;
  return pid;
}

struct FileId {
  dev_t device;
  ino_t inode;
  bool operator==(const FileId&) const = default;
};

// The files any running office program (of any user whose /proc we may
// read) holds open.
std::vector<FileId> FilesHeldByOffices() {
  std::vector<FileId> held;
  for (const fs::path& process : OfficeProcessFolders()) {
    std::error_code fdError;
    for (const fs::directory_entry& fd : fs::directory_iterator(process / "fd", fdError)) {
      struct stat info {};
      if (::stat(fd.path().c_str(), &info) == 0 && S_ISREG(info.st_mode))
        held.push_back(FileId{info.st_dev, info.st_ino});
    }
  }
  return held;
}

}  // namespace

bool ProcessRuns(long pid) {
  return pid > 0 && (::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM);
}

long OfficeFolderOwner(std::string_view folderName) {
  return OwnerOf(folderName, kOfficeFolderPrefix);
}

void RemoveLeftoversOfEndedProcesses(const fs::path& root) {
  const std::string pipePrefix = "OSL_PIPE_" + std::to_string(::getuid()) + "_gridmoor_";
  std::error_code error;
  for (const fs::directory_entry& entry : fs::directory_iterator("/tmp", error)) {
    const long owner = OwnerOf(entry.path().filename().string(), pipePrefix);
    if (owner != 0 && !ProcessRuns(owner)) fs::remove(entry.path(), error);
  }
  for (const fs::directory_entry& entry : fs::directory_iterator(root, error)) {
    const long owner = OwnerOf(entry.path().filename().string(), kOfficeFolderPrefix);
    struct stat info {};
    // Only this user's folders.
    if (owner == 0 || ProcessRuns(owner) || ::lstat(entry.path().c_str(), &info) != 0 ||
        info.st_uid != ::getuid() || !S_ISDIR(info.st_mode))
      continue;
    fs::remove_all(entry.path(), error);
  }
}

bool IsOfficeTempFileName(std::string_view name, long pid) {
  const std::string start = "lu" + std::to_string(pid);
  constexpr std::string_view kEnd = ".tmp";
  // The counter is a 32-bit number in base 36: seven digits at most.
  constexpr std::size_t kMaxCounter = 7;
  if (pid <= 0 || name.size() <= start.size() + kEnd.size() || !name.starts_with(start) ||
      !name.ends_with(kEnd))
    return false;
  const std::string_view counter =
      name.substr(start.size(), name.size() - start.size() - kEnd.size());
  if (counter.size() > kMaxCounter) return false;
  return std::all_of(counter.begin(), counter.end(),
                     [](char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z'); });
}

std::vector<fs::path> OfficeProcessFolders() {
  std::vector<fs::path> offices;
  for (const int pid : ProcessIds()) {
    const fs::path process = fs::path("/proc") / std::to_string(pid);
    std::string name;
    std::getline(std::ifstream(process / "comm"), name);
    if (name == kOfficeProgramName) offices.push_back(process);
  }
  return offices;
}

namespace {

// The ended office of `offices` that made the file `name` with status
// `info`, or null.
const StartedOffice* MakerOf(std::string_view name, const struct stat& info,
                             const std::vector<StartedOffice>& offices) {
  if (!S_ISREG(info.st_mode) || info.st_uid != ::getuid()) return nullptr;
  const auto written = std::chrono::system_clock::time_point(
      std::chrono::duration_cast<std::chrono::system_clock::duration>(
          std::chrono::seconds(info.st_mtim.tv_sec) +
          std::chrono::nanoseconds(info.st_mtim.tv_nsec)));
  for (const StartedOffice& office : offices) {
    if (IsOfficeTempFileName(name, office.pid) && written >= office.started &&
        !ProcessRuns(office.pid))
      return &office;
  }
  return nullptr;
}

}  // namespace

std::vector<fs::path> RemoveOfficeTempFilesIn(const fs::path& folder,
                                              const std::vector<StartedOffice>& offices) {
  std::vector<std::pair<fs::path, FileId>> candidates;
  std::error_code error;
  if (offices.empty()) return {};
  for (const fs::directory_entry& entry : fs::directory_iterator(folder, error)) {
    const std::string name = entry.path().filename().string();
    if (!name.starts_with("lu")) continue;
    struct stat info {};
    if (::lstat(entry.path().c_str(), &info) != 0 || !MakerOf(name, info, offices)) continue;
    candidates.emplace_back(entry.path(), FileId{info.st_dev, info.st_ino});
  }
  std::vector<fs::path> removed;
  // /proc is read only when there is something to remove: an open in a
  // clean folder costs a folder listing.
  if (candidates.empty()) return removed;
  const std::vector<FileId> held = FilesHeldByOffices();
  for (const auto& [path, id] : candidates) {
    if (std::find(held.begin(), held.end(), id) != held.end()) continue;
    if (fs::remove(path, error)) removed.push_back(path);
  }
  return removed;
}

}  // namespace excel::calc
