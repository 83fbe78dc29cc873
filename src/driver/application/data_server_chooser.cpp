#include "driver/application/data_server_chooser.h"

extern "C" {
// Written by the host, possibly from another thread: read atomically.
GM_API ExtShowDataServerStringHandler GlpfnTarnShowDataServerString = nullptr;
}

namespace driver {

bool CallHostDataServerStringChooser(ExtWindow window, const void* data) {
  const ExtShowDataServerStringHandler handler =
      __atomic_load_n(&GlpfnTarnShowDataServerString, __ATOMIC_ACQUIRE);
  if (handler == nullptr) return false;
  handler(window, data, 0, 0);
  return true;
}

}  // namespace driver
