#include "platform/thread.h"

#include <cstdio>
#include <exception>
#include <utility>

namespace platform {

std::thread StartThread(std::function<void()> body) {
  return std::thread([body = std::move(body)] {
    // The thread runs inside the host's process: an uncaught exception here
    // would abort the host, so it is reported and the thread just ends.
    try {
      if (body) body();
    } catch (const std::exception& e) {
      std::fprintf(stderr, "gridmoor: a thread ended with an uncaught exception: %s\n", e.what());
    } catch (...) {
      // Not a standard exception: there is no text to print.
      std::fprintf(stderr, "gridmoor: a thread ended with an uncaught exception\n");
    }
  });
}

void Sleep(std::chrono::milliseconds duration) {
  std::this_thread::sleep_for(duration);
}

}  // namespace platform
