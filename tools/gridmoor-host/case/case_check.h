// What in a case cannot give a right answer although the archive is well
// formed: optimisation items bound to no cell, constraint types and bounds
// the driver would misread, units outside their kind. `case check` lists
// these, `case build` and `run` refuse them before any office starts.
#pragma once

#include <string>
#include <vector>

#include <nlohmann/json.hpp>

namespace refhost {

// Each problem as "<key path>: <what is wrong>", in the order of the case's
// JSON form. `decoded` is a case as the archive dump gives it (every key).
std::vector<std::string> CaseItemProblems(const nlohmann::json& decoded);

}  // namespace refhost
