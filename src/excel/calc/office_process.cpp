#include "excel/calc/office_process.h"

#include <fcntl.h>
#include <linux/close_range.h>
#include <pthread.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <functional>
#include <sstream>
#include <system_error>
#include <thread>

#include "com/error.h"
#include "platform/environment.h"
#include "platform/thread.h"

namespace excel::calc {
namespace fs = std::filesystem;
namespace {

constexpr const char* kProgramName = "soffice.bin";
constexpr const char* kWrapperName = "soffice";

bool IsExecutableFile(const fs::path& path) {
  std::error_code error;
  return fs::is_regular_file(path, error) && ::access(path.c_str(), X_OK) == 0;
}

// The program for a file or folder named by the user or found on PATH.
std::optional<fs::path> ProgramFor(const fs::path& named) {
  std::error_code error;
  if (fs::is_directory(named, error)) {
    const fs::path inside = named / kProgramName;
    if (IsExecutableFile(inside)) return inside;
    return std::nullopt;
  }
  if (!fs::exists(named, error)) return std::nullopt;
  // The wrapper script (often a link into the program folder): take the
  // soffice.bin beside the file it resolves to.
  if (named.filename() != kProgramName) {
    const fs::path resolved = fs::canonical(named, error);
    if (!error) {
      const fs::path beside = resolved.parent_path() / kProgramName;
      if (IsExecutableFile(beside)) return beside;
    }
  }
  if (IsExecutableFile(named)) return named;
  return std::nullopt;
}

// Processes started, and what to end and remove if the host exits without
// releasing its application objects.
struct ExitRecord {
  std::weak_ptr<ChildProcess> child;
  fs::path folder;
  std::vector<fs::path> pipes;
};

// The long-lived thread that forks every child, and the exit clean-up. One
// static object: its destructor (at process exit or library unload) ends
// the children, removes their folders, then stops the thread.
class Launcher {
 public:
  static Launcher& Instance() {
    static Launcher launcher;
    return launcher;
  }

  // Runs `job` on the launcher thread and waits for it.
  void RunOnThread(std::function<void()> job) {
    std::unique_lock lock(mutex_);
    const std::uint64_t ticket = ++submitted_;
    jobs_.push_back(std::move(job));
    wake_.notify_all();
    done_.wait(lock, [&] { return completed_ >= ticket; });
  }

  void RecordStarted(int pid) {
    std::lock_guard lock(mutex_);
    started_.push_back(pid);
  }
  std::vector<int> Started() {
    std::lock_guard lock(mutex_);
    return started_;
  }
  void Track(const std::shared_ptr<ChildProcess>& child, const fs::path& folder,
             const std::vector<fs::path>& pipes) {
    std::lock_guard lock(mutex_);
    exitRecords_.push_back(ExitRecord{child, folder, pipes});
  }
  void Untrack(const fs::path& folder) {
    std::lock_guard lock(mutex_);
    std::erase_if(exitRecords_, [&](const ExitRecord& record) { return record.folder == folder; });
  }

 private:
  Launcher() {
    thread_ = platform::StartThread([this] { Loop(); });
  }

  ~Launcher() {
    std::vector<ExitRecord> records;
    {
      std::lock_guard lock(mutex_);
      records.swap(exitRecords_);
    }
    for (const ExitRecord& record : records) {
      if (const std::shared_ptr<ChildProcess> child = record.child.lock()) child->Kill();
      std::error_code error;
      fs::remove_all(record.folder, error);
      for (const fs::path& pipe : record.pipes)
        fs::remove(pipe, error);
    }
    {
      std::lock_guard lock(mutex_);
      stopping_ = true;
      wake_.notify_all();
    }
    if (thread_.joinable()) thread_.join();
  }

  void Loop() {
    std::unique_lock lock(mutex_);
    for (;;) {
      wake_.wait(lock, [&] { return stopping_ || !jobs_.empty(); });
      if (jobs_.empty()) return;  // stopping
      std::function<void()> job = std::move(jobs_.front());
      jobs_.erase(jobs_.begin());
      lock.unlock();
      job();
      lock.lock();
      ++completed_;
      done_.notify_all();
    }
  }

  std::mutex mutex_;
  std::condition_variable wake_;
  std::condition_variable done_;
  std::vector<std::function<void()>> jobs_;
  std::uint64_t submitted_ = 0;
  std::uint64_t completed_ = 0;
  bool stopping_ = false;
  std::vector<int> started_;
  std::vector<ExitRecord> exitRecords_;
  std::thread thread_;
};

// Everything the child needs, prepared before fork: after it only
// async-signal-safe calls are allowed.
struct ExecPlan {
  std::string program;
  std::vector<std::string> strings;  // argv then envp, owned here
  std::vector<char*> argv;
  std::vector<char*> envp;
};

[[noreturn]] void RunChild(const ExecPlan& plan, pid_t parent, int reportFd) {
  ::prctl(PR_SET_PDEATHSIG, SIGKILL);
  // The parent may have died before the signal was armed.
  if (::getppid() != parent) ::_exit(127);
  sigset_t none;
  ::sigemptyset(&none);
  ::sigprocmask(SIG_SETMASK, &none, nullptr);
  struct sigaction defaults {};
  defaults.sa_handler = SIG_DFL;
  for (int signal = 1; signal < NSIG; ++signal) {
    if (signal != SIGKILL && signal != SIGSTOP) ::sigaction(signal, &defaults, nullptr);
  }
  // Its own process group: a terminal's Ctrl-C meant for the host does not
  // reach the office directly; the death signal ends it with the host.
  ::setpgid(0, 0);
  const int null = ::open("/dev/null", O_RDWR);
  if (null >= 0) {
    ::dup2(null, 0);
    ::dup2(null, 1);
    ::dup2(null, 2);
  }
  // Nothing of the host's leaks into the office; the report pipe closes on
  // exec by itself.
  if (::close_range(3, ~0U, CLOSE_RANGE_CLOEXEC) != 0) {
    for (int fd = 3; fd < 4096; ++fd) {
      if (fd != reportFd) ::close(fd);
    }
  }
  ::execve(plan.program.c_str(), plan.argv.data(), plan.envp.data());
  const int error = errno;
  [[maybe_unused]] const ssize_t written = ::write(reportFd, &error, sizeof error);
  ::_exit(127);
}

// Forks and execs; the pid, or -errno when the program could not be run.
int ForkAndExec(const ExecPlan& plan) {
  int report[2];
  if (::pipe2(report, O_CLOEXEC) != 0) return -errno;
  const pid_t parent = ::getpid();
  const pid_t pid = ::fork();
  if (pid < 0) {
    const int error = errno;
    ::close(report[0]);
    ::close(report[1]);
    return -error;
  }
  if (pid == 0) RunChild(plan, parent, report[1]);
  ::close(report[1]);
  int childError = 0;
  ssize_t got;
  do {
    got = ::read(report[0], &childError, sizeof childError);
  } while (got < 0 && errno == EINTR);
  ::close(report[0]);
  if (got == static_cast<ssize_t>(sizeof childError)) {
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return -(childError == 0 ? ENOEXEC : childError);
  }
  return pid;
}

// True when a SIGKILL is queued for process `pid`, for the whole process
// (ShdPnd, where kill() puts it) or its main thread (SigPnd).
bool KillQueued(int pid) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  constexpr unsigned long long kKillBit = 1ULL << (SIGKILL - 1);
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("SigPnd:", 0) != 0 && line.rfind("ShdPnd:", 0) != 0) continue;
    if ((std::strtoull(line.c_str() + 7, nullptr, 16) & kKillBit) != 0) return true;
  }
  return false;
}

int StatusCode(int status) {
  if (WIFEXITED(status)) return WEXITSTATUS(status);
  if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
  return 255;
}

}  // namespace

std::optional<fs::path> FindOfficeProgramIn(const std::optional<std::string>& overrideValue,
                                            std::string_view pathVariable,
                                            const std::vector<fs::path>& usualFolders) {
  if (overrideValue && !overrideValue->empty()) return ProgramFor(fs::path(*overrideValue));
  std::size_t start = 0;
  while (start <= pathVariable.size()) {
    std::size_t end = pathVariable.find(':', start);
    if (end == std::string_view::npos) end = pathVariable.size();
    const std::string_view folder = pathVariable.substr(start, end - start);
    start = end + 1;
    if (folder.empty()) continue;
    for (const char* name : {kProgramName, kWrapperName}) {
      const fs::path candidate = fs::path(folder) / name;
      std::error_code error;
      if (!fs::exists(candidate, error)) continue;
      if (std::optional<fs::path> program = ProgramFor(candidate)) return program;
    }
  }
  for (const fs::path& folder : usualFolders) {
    const fs::path candidate = folder / kProgramName;
    if (IsExecutableFile(candidate)) return candidate;
  }
  return std::nullopt;
}

std::optional<fs::path> FindOfficeProgram() {
  std::vector<fs::path> usual = {"/usr/lib/libreoffice/program",
                                 "/usr/local/lib/libreoffice/program", "/opt/libreoffice/program"};
  std::error_code error;
  for (const fs::directory_entry& entry : fs::directory_iterator("/opt", error)) {
    const std::string name = entry.path().filename().string();
    if (name.rfind("libreoffice", 0) == 0) usual.push_back(entry.path() / "program");
  }
  return FindOfficeProgramIn(platform::GetEnv("GRIDMOOR_SOFFICE"),
                             platform::GetEnv("PATH").value_or(""), usual);
}

std::string FileUrlFromPath(const fs::path& path) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string url = "file://";
  for (const char c : path.string()) {
    const auto u = static_cast<unsigned char>(c);
    if (std::isalnum(u) || c == '/' || c == '-' || c == '_' || c == '.' || c == '~') {
      url += c;
    } else {
      url += '%';
      url += kHex[u >> 4];
      url += kHex[u & 0xF];
    }
  }
  return url;
}

std::string AbsolutePath(const std::string& path) {
  std::error_code error;
  const fs::path absolute = fs::absolute(path, error);
  return error ? path : absolute.lexically_normal().string();
}

std::string ProfileSettings() {
  struct Setting {
    const char* path;
    const char* name;
    const char* value;
  };
  static constexpr Setting kSettings[] = {
      // Two application objects may hold the same file: no lock files.
      {"/org.openoffice.Office.Common/Misc", "UseLocking", "false"},
      {"/org.openoffice.Office.Common/Misc", "UseDocumentOOoLockFile", "false"},
      {"/org.openoffice.Office.Common/Misc", "UseDocumentSystemFileLocking", "false"},
      {"/org.openoffice.Setup/L10N", "ooLocale", "en-US"},
      {"/org.openoffice.Setup/L10N", "ooSetupSystemLocale", "en-US"},
      // Formula results as the file's formulas give them, not as cached by
      // whatever program wrote the file (0: always recalculate).
      {"/org.openoffice.Office.Calc/Formula/Load", "OOXMLRecalcMode", "0"},
      {"/org.openoffice.Office.Calc/Formula/Load", "ODFRecalcMode", "0"},
  };
  std::string xml =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
      "<oor:items xmlns:oor=\"http://openoffice.org/2001/registry\" "
      "xmlns:xs=\"http://www.w3.org/2001/XMLSchema\" "
      "xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\">\n";
  for (const Setting& setting : kSettings) {
    xml += std::string("<item oor:path=\"") + setting.path + "\"><prop oor:name=\"" + setting.name +
           "\" oor:op=\"fuse\"><value>" + setting.value + "</value></prop></item>\n";
  }
  return xml + "</oor:items>\n";
}

fs::path TemporaryRoot() {
  const std::string root = platform::GetEnv("TMPDIR").value_or("");
  return root.empty() ? fs::path("/tmp") : fs::path(root);
}

namespace {

constexpr std::string_view kFolderPrefix = "gridmoor-office-";

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

}  // namespace

bool ProcessRuns(long pid) {
  return pid > 0 && (::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM);
}

long OfficeFolderOwner(std::string_view folderName) {
  return OwnerOf(folderName, kFolderPrefix);
}

void RemoveLeftoversOfEndedProcesses(const fs::path& root) {
  const std::string pipePrefix = "OSL_PIPE_" + std::to_string(::getuid()) + "_gridmoor_";
  std::error_code error;
  for (const fs::directory_entry& entry : fs::directory_iterator("/tmp", error)) {
    const long owner = OwnerOf(entry.path().filename().string(), pipePrefix);
    if (owner != 0 && !ProcessRuns(owner)) fs::remove(entry.path(), error);
  }
  for (const fs::directory_entry& entry : fs::directory_iterator(root, error)) {
    const long owner = OwnerOf(entry.path().filename().string(), kFolderPrefix);
    struct stat info {};
    // Only this user's folders.
    if (owner == 0 || ProcessRuns(owner) || ::lstat(entry.path().c_str(), &info) != 0 ||
        info.st_uid != ::getuid() || !S_ISDIR(info.st_mode))
      continue;
    fs::remove_all(entry.path(), error);
  }
}

bool DiskNearlyFull(const fs::path& path, std::uintmax_t below) {
  std::error_code error;
  fs::path existing = path;
  while (!existing.empty() && !fs::exists(existing, error)) {
    if (existing == existing.parent_path()) return false;
    existing = existing.parent_path();
  }
  const fs::space_info space = fs::space(existing.empty() ? fs::path(".") : existing, error);
  return !error && space.available < below;
}

std::string DiskFullText(const std::string& what) {
  return "The disk is full (" + std::string(std::strerror(ENOSPC)) + "): " + what;
}

bool IsOfficeTempFileName(std::string_view name) {
  constexpr std::string_view kStart = "lu";
  constexpr std::string_view kEnd = ".tmp";
  if (name.size() <= kStart.size() + kEnd.size() || !name.starts_with(kStart) ||
      !name.ends_with(kEnd))
    return false;
  const std::string_view middle =
      name.substr(kStart.size(), name.size() - kStart.size() - kEnd.size());
  return std::all_of(middle.begin(), middle.end(), [](char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
  });
}

namespace {

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

std::vector<fs::path> OfficeProcessFolders() {
  std::vector<fs::path> offices;
  std::error_code error;
  for (const fs::directory_entry& process : fs::directory_iterator("/proc", error)) {
    const std::string pid = process.path().filename().string();
    if (pid.empty() ||
        !std::all_of(pid.begin(), pid.end(), [](char c) { return c >= '0' && c <= '9'; }))
      continue;
    std::string name;
    std::getline(std::ifstream(process.path() / "comm"), name);
    if (name == kProgramName) offices.push_back(process.path());
  }
  return offices;
}

std::vector<fs::path> RemoveOfficeTempFilesIn(const fs::path& folder, std::chrono::seconds quiet) {
  std::vector<std::pair<fs::path, FileId>> candidates;
  const std::time_t before = std::time(nullptr) - static_cast<std::time_t>(quiet.count());
  std::error_code error;
  for (const fs::directory_entry& entry : fs::directory_iterator(folder, error)) {
    if (!IsOfficeTempFileName(entry.path().filename().string())) continue;
    struct stat info {};
    if (::lstat(entry.path().c_str(), &info) != 0 || !S_ISREG(info.st_mode) ||
        info.st_uid != ::getuid() || info.st_mtime > before)
      continue;
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

std::unique_ptr<OfficeFolders> OfficeFolders::Create() {
  std::string pattern =
      (TemporaryRoot() / (std::string(kFolderPrefix) + std::to_string(::getpid()) + "-XXXXXX"))
          .string();
  if (::mkdtemp(pattern.data()) == nullptr) {
    const int error = errno;
    const fs::path root = TemporaryRoot();
    com::Throw(com::CO_E_SERVER_EXEC_FAILURE,
               error == ENOSPC
                   ? DiskFullText("no folder for the office can be made in " + root.string())
                   : "No folder for the office can be made in " + root.string() + ": " +
                         std::strerror(error));
  }
  std::unique_ptr<OfficeFolders> folders(new OfficeFolders(pattern));
  const auto fail = [&](const fs::path& path, int error) {
    com::Throw(com::CO_E_SERVER_EXEC_FAILURE,
               error == ENOSPC ? DiskFullText("the office's profile cannot be written in " +
                                              TemporaryRoot().string())
                               : "Cannot write " + path.string() + ": " + std::strerror(error));
  };
  std::error_code error;
  fs::create_directories(folders->Profile() / "user", error);
  if (!error) fs::create_directories(folders->Temp(), error);
  if (error) fail(folders->Base(), error.value());
  const fs::path settingsFile = folders->Profile() / "user" / "registrymodifications.xcu";
  std::ofstream settings(settingsFile);
  settings << ProfileSettings();
  if (!settings.flush()) fail(settingsFile, DiskNearlyFull(settingsFile, 1 << 20) ? ENOSPC : EIO);
  return folders;
}

OfficeFolders::~OfficeFolders() {
  std::error_code error;
  fs::remove_all(base_, error);
}

std::shared_ptr<ChildProcess> ChildProcess::Start(const fs::path& program,
                                                  const std::vector<std::string>& arguments,
                                                  const std::vector<std::string>& environment) {
  ExecPlan plan;
  plan.program = program.string();
  plan.strings.reserve(1 + arguments.size() + environment.size());
  plan.strings.push_back(plan.program);
  plan.strings.insert(plan.strings.end(), arguments.begin(), arguments.end());
  plan.strings.insert(plan.strings.end(), environment.begin(), environment.end());
  const std::size_t argc = 1 + arguments.size();
  for (std::size_t i = 0; i < plan.strings.size(); ++i) {
    (i < argc ? plan.argv : plan.envp).push_back(plan.strings[i].data());
  }
  plan.argv.push_back(nullptr);
  plan.envp.push_back(nullptr);

  Launcher& launcher = Launcher::Instance();
  int result = 0;
  launcher.RunOnThread([&] { result = ForkAndExec(plan); });
  if (result <= 0) {
    com::Throw(com::CO_E_SERVER_EXEC_FAILURE,
               "The office program " + plan.program +
                   " could not be run: " + std::strerror(result < 0 ? -result : ENOEXEC));
  }
  launcher.RecordStarted(result);
  return std::shared_ptr<ChildProcess>(new ChildProcess(result));
}

ChildProcess::~ChildProcess() {
  Kill();
}

std::optional<int> ChildProcess::Reap(bool block) {
  std::lock_guard lock(mutex_);
  if (status_) return status_;
  int status = 0;
  pid_t got;
  do {
    got = ::waitpid(pid_, &status, block ? 0 : WNOHANG);
  } while (got < 0 && errno == EINTR);
  if (got == pid_) {
    status_ = StatusCode(status);
  } else if (got < 0 && errno == ECHILD) {
    // Reaped elsewhere (a host that ignores SIGCHLD reaps automatically).
    status_ = 255;
  }
  return status_;
}

std::optional<int> ChildProcess::ExitStatus() {
  return Reap(false);
}

bool ChildProcess::WaitForExit(std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    if (Reap(false)) return true;
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}

bool ChildProcess::Ended() {
  return Reap(false).has_value() || KillQueued(pid_);
}

void ChildProcess::Kill() {
  {
    std::lock_guard lock(mutex_);
    if (status_) return;
    // The whole group the child leads: what it started dies with it. Not
    // yet reaped, its id (and so its group's) cannot have been reused.
    ::kill(-pid_, SIGKILL);
    ::kill(pid_, SIGKILL);
  }
  Reap(true);
}

SigpipeBlockedForNewThreads::SigpipeBlockedForNewThreads() {
  ::sigemptyset(&pipe_);
  ::sigaddset(&pipe_, SIGPIPE);
  ::pthread_sigmask(SIG_BLOCK, &pipe_, &old_);
}

SigpipeBlockedForNewThreads::~SigpipeBlockedForNewThreads() {
  if (::sigismember(&old_, SIGPIPE) != 1) {
    sigset_t pending;
    if (::sigpending(&pending) == 0 && ::sigismember(&pending, SIGPIPE) == 1) {
      const timespec now{};
      ::sigtimedwait(&pipe_, nullptr, &now);
    }
  }
  ::pthread_sigmask(SIG_SETMASK, &old_, nullptr);
}

std::vector<fs::path> ListeningPipePaths(int pid) {
  std::vector<std::uint64_t> inodes;
  std::error_code error;
  const fs::path fdFolder = fs::path("/proc") / std::to_string(pid) / "fd";
  for (const fs::directory_entry& entry : fs::directory_iterator(fdFolder, error)) {
    std::error_code linkError;
    const std::string target = fs::read_symlink(entry.path(), linkError).string();
    if (linkError || target.rfind("socket:[", 0) != 0) continue;
    inodes.push_back(std::strtoull(target.c_str() + 8, nullptr, 10));
  }
  std::vector<fs::path> paths;
  std::ifstream table("/proc/net/unix");
  std::string line;
  std::getline(table, line);  // header
  while (std::getline(table, line)) {
    // Num RefCount Protocol Flags Type St Inode Path
    std::istringstream fields(line);
    std::string field;
    std::uint64_t inode = 0;
    std::string path;
    for (int column = 0; fields >> field; ++column) {
      if (column == 6) inode = std::strtoull(field.c_str(), nullptr, 10);
      if (column == 7) path = field;
    }
    if (path.rfind("/tmp/OSL_PIPE_", 0) != 0) continue;
    if (std::find(inodes.begin(), inodes.end(), inode) == inodes.end()) continue;
    if (std::find(paths.begin(), paths.end(), fs::path(path)) == paths.end()) paths.push_back(path);
  }
  return paths;
}

std::vector<int> StartedProcessIds() {
  return Launcher::Instance().Started();
}

void TrackForExit(const std::shared_ptr<ChildProcess>& child, const fs::path& folder,
                  const std::vector<fs::path>& pipes) {
  Launcher::Instance().Track(child, folder, pipes);
}

void UntrackForExit(const fs::path& folder) {
  Launcher::Instance().Untrack(folder);
}

}  // namespace excel::calc
