// What differs between the scenarios of a sweep: the values at the key
// paths ("case.constraints[0].limit") where their documents disagree, or at
// the paths the user named. A sweep is read as results against these.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "results/many.h"

namespace refhost {

// At most this many paths are found by comparing; more say the scenarios
// are not one sweep, and the first ones (in key order) are kept.
inline constexpr std::size_t kMostVariedPaths = 20;

struct VariedValue {
  std::string path;
  std::vector<nlohmann::json> values;  // one per document, null where it has none
};

// Every leaf of `document` by its key path, in key order; arrays by index.
std::vector<std::pair<std::string, nlohmann::json>> KeyPaths(const nlohmann::json& document);

// The value at `path` in `document`; null when it has none.
nlohmann::json ValueAt(const nlohmann::json& document, const std::string& path);

// The key paths of `named`, or else every leaf path (but the description)
// whose value is not the same in all of `documents` (a missing one counts as
// different). One column of values per path, a value per document.
std::vector<VariedValue> VariedValues(const std::vector<nlohmann::json>& documents,
                                      const std::vector<std::string>& named);

// A --vary path that no scenario of `files` holds is a typing slip: said
// before anything runs.
outcome::Error CheckNamedPaths(const std::vector<std::filesystem::path>& files,
                               const std::vector<std::string>& named);

// The same over the scenario files the outcomes name, stored in each
// outcome; a file that cannot be read gives nulls.
void FindVariedValues(std::vector<ScenarioOutcome>& outcomes,
                      const std::vector<std::string>& named);

}  // namespace refhost
