// The scoped guard every export runs its body under: it marks the calling
// thread as being inside the library for the body's duration (on every path)
// and catches everything, so nothing thrown ever crosses the library
// boundary. A stray exception becomes the export's failure result with its
// message in the status record, when the export has one.
#pragma once

#include <cstdint>
#include <type_traits>

#include "driver/dispatch.h"
#include "gridmoor/host.h"

namespace driver {

class ExportScope {
 public:
  ExportScope() noexcept;
  ~ExportScope();
  ExportScope(const ExportScope&) = delete;
  ExportScope& operator=(const ExportScope&) = delete;

  // Whether the calling thread is inside an export now.
  static bool Active() noexcept;
};

template <typename Result, typename Body>
Result GuardedExport(Result failure, ExtStatusRecord* status, Body&& body) noexcept {
  const ExportScope scope;
  try {
    return body();
  } catch (...) {
    ReportCurrentException(status);
    return failure;
  }
}

// Writes the current exception's text into a worksheet function's message
// buffer (EXT_FN_MESSAGE_SIZE bytes; null: nothing). Inside a catch block.
void ReportCurrentException(char* message) noexcept;

// The worksheet functions' form: their message is a caller buffer.
template <typename Result, typename Body>
Result GuardedFunction(Result failure, char* message, Body&& body) noexcept {
  const ExportScope scope;
  try {
    return body();
  } catch (...) {
    ReportCurrentException(message);
    return failure;
  }
}

template <typename Body>
void GuardedExport(Body&& body) noexcept {
  const ExportScope scope;
  try {
    body();
  } catch (...) {
    // An export without a result or status record has nobody to tell.
  }
}

}  // namespace driver
