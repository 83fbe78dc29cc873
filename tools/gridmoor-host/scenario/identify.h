// The identify subcommand: what the library reports about itself and the
// settings it runs with.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

#include "scenario/library.h"

namespace refhost {

// The identification record decoded, one "name: value" line per field.
std::string DescribeIdentity(const std::vector<unsigned char>& record);

// `office`: the office the library would start, as "25.2.3.2 (program)".
int Identify(Library& library, const std::string& libraryPath, const std::string& office,
             std::ostream& out, std::ostream& err);

}  // namespace refhost
