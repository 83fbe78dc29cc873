// The data-server string chooser: a host may store its own handler in the
// exported variable GlpfnTarnShowDataServerString (null at load); when one
// is stored it is shown instead of the library's chooser.
#pragma once

#include "gridmoor/host.h"

namespace driver {

// Calls the host's handler with (window, data, 0, 0) when one is stored and
// returns true; false when none is (the caller then shows its own chooser).
bool CallHostDataServerStringChooser(ExtWindow window, const void* data);

}  // namespace driver
