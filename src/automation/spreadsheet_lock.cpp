#include "automation/spreadsheet_lock.h"

namespace automation {

std::recursive_mutex& SpreadsheetMutex() {
  // Deliberately never freed: see the header.
  static std::recursive_mutex* const mutex = new std::recursive_mutex;
  return *mutex;
}

}  // namespace automation
