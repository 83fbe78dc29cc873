// The office process itself, without UNO: where its program is, the private
// folders it runs in, and starting, watching and ending it.
//
// Children are forked by one long-lived thread of the library's own: the
// parent-death signal set in the child fires when the forking *thread* ends,
// so forking from a caller's thread (a driver instance's worker, which ends
// with its instance) would kill the office under the other instances.
#pragma once

#include <signal.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace excel::calc {

// The office program to run: soffice.bin itself, never its wrapper script
// (whose death leaves soffice.bin running). `overrideValue` is
// GRIDMOOR_SOFFICE: a program file, the wrapper (its soffice.bin beside it is
// taken) or the program folder; when set it is the only place looked at.
// Otherwise `pathVariable` (PATH) is searched for soffice, then the usual
// install folders.
std::optional<std::filesystem::path> FindOfficeProgramIn(
    const std::optional<std::string>& overrideValue, std::string_view pathVariable,
    const std::vector<std::filesystem::path>& usualFolders);

// The same from this process's environment and the usual folders.
std::optional<std::filesystem::path> FindOfficeProgram();

// A file: URL for an absolute path, with every byte outside the unreserved
// set percent-encoded.
std::string FileUrlFromPath(const std::filesystem::path& path);

// A file name as the office needs it: absolute (against the current folder)
// and lexically normal, so that one file has one name; `path` itself when
// the current folder cannot be known.
std::string AbsolutePath(const std::string& path);

// The profile settings the office starts with: no document lock files of
// its own (the driver writes them, lock_file.h), the en-US locale, formulas
// recalculated on load.
std::string ProfileSettings();

// $TMPDIR, or /tmp.
std::filesystem::path TemporaryRoot();

// A private folder for one office: the profile, its TMPDIR. Removed with the
// object.
class OfficeFolders {
 public:
  // Under TemporaryRoot(), named after this process.
  // Throws com::Error(CO_E_SERVER_EXEC_FAILURE).
  static std::unique_ptr<OfficeFolders> Create();
  ~OfficeFolders();
  OfficeFolders(const OfficeFolders&) = delete;
  OfficeFolders& operator=(const OfficeFolders&) = delete;

  const std::filesystem::path& Base() const { return base_; }
  std::filesystem::path Profile() const { return base_ / "profile"; }
  std::filesystem::path Temp() const { return base_ / "tmp"; }

 private:
  explicit OfficeFolders(std::filesystem::path base) : base_(std::move(base)) {}
  std::filesystem::path base_;
};

// One child process started by the launcher thread. Reaped exactly once,
// by whichever call first sees it end.
class ChildProcess {
 public:
  // Starts `program` with `arguments` (argv[1..]) and exactly `environment`
  // ("NAME=value" entries); standard input and output go to /dev/null. The
  // child dies with this process. Throws com::Error(CO_E_SERVER_EXEC_FAILURE)
  // when it cannot be started (no such program included).
  static std::shared_ptr<ChildProcess> Start(const std::filesystem::path& program,
                                             const std::vector<std::string>& arguments,
                                             const std::vector<std::string>& environment);
  ~ChildProcess();  // kills and reaps a child still running
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  int Pid() const { return pid_; }
  // The exit status (128 + signal when killed) once the child has ended;
  // nullopt while it runs. Never blocks.
  std::optional<int> ExitStatus();
  // Waits up to `timeout` for the child to end; true when it has.
  bool WaitForExit(std::chrono::milliseconds timeout);
  // True once the child has ended or can never run again: a SIGKILL is
  // queued for it, which the kernel keeps until the child is reaped. So a
  // child killed by anyone counts as ended from the moment kill() returns,
  // before it is a zombie. Never blocks; reads /proc while it runs.
  bool Ended();
  // SIGKILL to the child's process group (it leads its own), then reaps.
  // Safe to call on an ended child.
  void Kill();

 private:
  explicit ChildProcess(int pid) : pid_(pid) {}
  std::optional<int> Reap(bool block);

  const int pid_;
  std::mutex mutex_;
  std::optional<int> status_;
};

// SIGPIPE blocked in the calling thread for the object's life, so that the
// threads it starts meanwhile inherit the block. The office's pipe writes
// use plain send(): a write to an office that has just died raises SIGPIPE,
// whose default ends the host; in the bridge's threads it fails with EPIPE
// instead and the bridge reports the office gone. The host's disposition is
// untouched, and a SIGPIPE raised in the calling thread meanwhile is taken,
// not delivered when the mask is restored.
class SigpipeBlockedForNewThreads {
 public:
  SigpipeBlockedForNewThreads();
  ~SigpipeBlockedForNewThreads();
  SigpipeBlockedForNewThreads(const SigpipeBlockedForNewThreads&) = delete;
  SigpipeBlockedForNewThreads& operator=(const SigpipeBlockedForNewThreads&) = delete;

 private:
  sigset_t pipe_{};
  sigset_t old_{};
};

// The paths of the UNIX sockets that process `pid` is listening on under
// the system's temporary folder (the office's pipes), read from /proc, so
// that they can be removed when a killed office leaves them behind.
std::vector<std::filesystem::path> ListeningPipePaths(int pid);

// Removes what offices of processes that have ended (crashed hosts) left
// behind: their pipes in /tmp and their private folders under `root`.
// Only names this library gives are touched; a process still running keeps
// its own.
void RemoveLeftoversOfEndedProcesses(const std::filesystem::path& root);

// The office writes a document into a temporary file beside it (lu....tmp)
// and renames it over the document; an office killed meanwhile leaves the
// file, often as large as the workbook. Removes, from `folder`, this user's
// regular files of that name that no office process holds open and that
// were last written more than `quiet` ago: an office that saves holds its
// file open, and one about to open or rename it has written it just now.
// Returns the files removed.
std::vector<std::filesystem::path> RemoveOfficeTempFilesIn(
    const std::filesystem::path& folder, std::chrono::seconds quiet = std::chrono::minutes(2));

// True for a name the office gives its temporary files ("lu" + letters and
// digits + ".tmp").
bool IsOfficeTempFileName(std::string_view name);

// True when the file system holding `path` (or the nearest folder above it
// that exists) has fewer than `below` bytes free for this user.
bool DiskNearlyFull(const std::filesystem::path& path, std::uintmax_t below);

// "The disk is full (No space left on device): <what>". Short: host
// messages have little room, and the start of the text is what is read.
std::string DiskFullText(const std::string& what);

// True while process `pid` runs (of any user).
bool ProcessRuns(long pid);
// The /proc folders of every running office program (of any user whose
// /proc may be read).
std::vector<std::filesystem::path> OfficeProcessFolders();

// The process a driver's private office folder is named after, from the
// folder's name; 0 for any other name.
long OfficeFolderOwner(std::string_view folderName);

// Every office process id this process has started, in order.
std::vector<int> StartedProcessIds();

// Remembered so that a process exit ends and removes them even when
// application objects were never released.
void TrackForExit(const std::shared_ptr<ChildProcess>& child, const std::filesystem::path& folder,
                  const std::vector<std::filesystem::path>& pipes);
void UntrackForExit(const std::filesystem::path& folder);

}  // namespace excel::calc
