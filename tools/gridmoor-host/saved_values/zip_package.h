// The zip reader lives in the driver's calc layer, which reads the tables
// of .xlsx packages with it; the workbook check keeps its names for it.
#pragma once

#include "excel/calc/packages/zip_package.h"

namespace refhost {
using excel::calc::ZipLimits;
using excel::calc::ZipPackage;
}  // namespace refhost
