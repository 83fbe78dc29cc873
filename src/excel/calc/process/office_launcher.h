// The library's own long-lived thread that forks every office process, and
// what a process exit ends and removes.
//
// Children are forked by this one thread: the parent-death signal set in
// the child fires when the forking *thread* ends, so forking from a caller's
// thread (a driver instance's worker, which ends with its instance) would
// kill the office under the other instances.
#pragma once

#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <vector>

#include "excel/calc/process/child_process.h"
#include "excel/calc/process/office_leftovers.h"

namespace excel::calc {

// Runs `job` on the launcher thread and waits for it.
void RunOnLauncherThread(std::function<void()> job);
// Counts `pid`, forked at `forked`, among the processes StartedProcessIds
// gives.
void RecordStartedProcess(int pid, std::chrono::system_clock::time_point forked);

// Every office process id this process has started, in order.
std::vector<int> StartedProcessIds();
// The same, with when each was started.
std::vector<StartedOffice> StartedOffices();

// Remembered so that a process exit ends and removes them even when
// application objects were never released.
void TrackForExit(const std::shared_ptr<ChildProcess>& child, const std::filesystem::path& folder,
                  const std::vector<std::filesystem::path>& pipes);
void UntrackForExit(const std::filesystem::path& folder);

}  // namespace excel::calc
