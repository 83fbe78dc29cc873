#include "excel/calc/process/office_launcher.h"

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <system_error>
#include <thread>

#include "excel/calc/process/child_process.h"
#include "platform/thread.h"

namespace excel::calc {
namespace fs = std::filesystem;
namespace {

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

  // Recorded just after the fork: the office writes no file before.
  void RecordStarted(int pid, std::chrono::system_clock::time_point forked) {
    std::lock_guard lock(mutex_);
    started_.push_back(StartedOffice{pid, forked});
  }
  std::vector<StartedOffice> Started() {
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
  std::vector<StartedOffice> started_;
  std::vector<ExitRecord> exitRecords_;
  std::thread thread_;
};

}  // namespace

void RunOnLauncherThread(std::function<void()> job) {
  Launcher::Instance().RunOnThread(std::move(job));
}

void RecordStartedProcess(int pid, std::chrono::system_clock::time_point forked) {
  Launcher::Instance().RecordStarted(pid, forked);
}

std::vector<int> StartedProcessIds() {
  std::vector<int> pids;
  for (const StartedOffice& office : Launcher::Instance().Started())
    pids.push_back(static_cast<int>(office.pid));
  return pids;
}

std::vector<StartedOffice> StartedOffices() {
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
