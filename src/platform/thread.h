// The one seam through which the driver starts threads and sleeps.
#pragma once

#include <chrono>
#include <functional>
#include <thread>

namespace platform {

// Starts `body` on a new thread at once. An exception escaping `body` ends
// the thread with a message on stderr instead of terminating the host
// process. Throws std::system_error when no thread can be created.
std::thread StartThread(std::function<void()> body);

void Sleep(std::chrono::milliseconds duration);

}  // namespace platform
