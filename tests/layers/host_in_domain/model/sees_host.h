// A domain floor reaching for the host's records: the floor check must refuse
// both includes.
#pragma once

#include "gridmoor/host.h"
#include "host/message.h"
#include "values/host_values.h"
