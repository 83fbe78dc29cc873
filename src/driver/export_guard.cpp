#include "driver/export_guard.h"

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

}  // namespace driver
