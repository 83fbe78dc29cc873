// The office's pipes: the sockets a process listens on, found so that a
// killed office's can be removed, and SIGPIPE kept from the host while the
// bridge writes to them.
#pragma once

#include <signal.h>

#include <filesystem>
#include <vector>

namespace excel::calc {

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

// The process listening on the UNIX socket `path` (an office's pipe that
// another process started), 0 when none of this user's is.
int ListeningProcess(const std::filesystem::path& path);

}  // namespace excel::calc
