#include "driver/export_guard.h"

#include "gridmoor/worksheet_functions.h"
#include "host/message.h"

namespace driver {
namespace {

thread_local int gExportDepth = 0;

}  // namespace

ExportScope::ExportScope() noexcept {
  ++gExportDepth;
}

ExportScope::~ExportScope() {
  --gExportDepth;
}

bool ExportScope::Active() noexcept {
  return gExportDepth > 0;
}

void ReportCurrentException(char* message) noexcept {
  try {
    text::PrintMessage(message, EXT_FN_MESSAGE_SIZE, "%s", CurrentExceptionText().c_str());
  } catch (...) {
    // No memory for the message: the result still tells the caller.
  }
}

}  // namespace driver
