#include "model/spreadsheet_lock.h"

namespace model {

std::recursive_mutex& SpreadsheetMutex() {
  // Deliberately never freed: see the header.
  static std::recursive_mutex* const mutex = new std::recursive_mutex;
  return *mutex;
}

}  // namespace model
