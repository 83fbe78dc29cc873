// An include that runs up: the floor check must refuse this tree.
#pragma once

#include "driver/app.h"
#include "text/utf8.h"
