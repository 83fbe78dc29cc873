// Reading one JSON object into a record: each member by the name of its
// field, a missing member leaving the field's default, and any member that
// no field asked for refused by Finish. Errors name the member's path.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "archive/json_values.h"

namespace streams {
class CellField;
}

namespace archive {

class ObjectReader {
 public:
  // `path` names the object ("" for the top).
  ObjectReader(const nlohmann::json& object, std::string path);

  // The member, or null when absent; it counts as known either way.
  const nlohmann::json* Find(const char* key);
  std::string PathOf(const char* key) const;

  // Each leaves the field alone when the member is absent.
  void Text(const char* key, std::string& field);
  // A cell reference of at most 15 characters.
  void Cell(const char* key, streams::CellField& field);
  void Flag(const char* key, bool& field);
  void Double(const char* key, double& field);
  void U32(const char* key, std::uint32_t& field);
  void I32(const char* key, std::int32_t& field, std::int32_t min, std::int32_t max);

  // The member as an array of at most `maxSize` elements, or null when
  // absent.
  const nlohmann::json* Array(const char* key, std::size_t maxSize);

  // Throws when the object has a member that was not asked for.
  void Finish() const;

 private:
  const nlohmann::json& object_;
  std::string path_;
  std::vector<std::string> known_;
};

// The path of element `index` of the array at `path`.
std::string ElementPath(const std::string& path, std::size_t index);

}  // namespace archive
