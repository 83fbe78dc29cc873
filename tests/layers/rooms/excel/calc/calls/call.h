// An include from a room to one above it: the check must refuse this tree.
#pragma once

#include "excel/calc/macros/runner.h"
