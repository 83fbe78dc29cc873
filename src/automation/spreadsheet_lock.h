// The process-wide lock that serialises spreadsheet traffic: two model
// instances never drive the application at the same moment. A model
// operation that talks to the spreadsheet holds it for its whole duration
// through a SpreadsheetLock guard, so it is released on every path. The same
// thread may take it again (an operation that calls another).
#pragma once

#include <mutex>

namespace automation {

// Lives until the process ends (never destroyed), so worker threads still
// running while static objects are destroyed at exit can use it.
std::recursive_mutex& SpreadsheetMutex();

class SpreadsheetLock {
 public:
  SpreadsheetLock() : lock_(SpreadsheetMutex()) {}
  SpreadsheetLock(const SpreadsheetLock&) = delete;
  SpreadsheetLock& operator=(const SpreadsheetLock&) = delete;

 private:
  std::lock_guard<std::recursive_mutex> lock_;
};

}  // namespace automation
