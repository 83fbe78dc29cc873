/* The driver's exports and host record layouts, for hosts written in C. */
#ifndef GRIDMOOR_HOST_H
#define GRIDMOOR_HOST_H

#include <stdint.h>

#include "gridmoor/api.h"
#include "gridmoor/oleauto.h"

GM_EXTERN_C_BEGIN

typedef void (*ExtShowDataServerStringHandler)(void* window, const void* data, int32_t value,
                                               uint32_t flags);

GM_API extern ExtShowDataServerStringHandler GlpfnTarnShowDataServerString;

GM_EXTERN_C_END

#endif
