// The library's exported entry points. Each export is a thin C shim over the
// core; nothing thrown inside the core may pass through one of them.
#include "gridmoor/host.h"

extern "C" {
GM_API ExtShowDataServerStringHandler GlpfnTarnShowDataServerString = nullptr;
}
