#include "archive/json_reader.h"

#include <algorithm>
#include <limits>

#include "case/stream_data.h"

namespace archive {

ObjectReader::ObjectReader(const nlohmann::json& object, std::string path)
    : object_(object), path_(std::move(path)) {
  if (!object_.is_object()) ThrowJsonError(path_, "expected an object");
}

const nlohmann::json* ObjectReader::Find(const char* key) {
  known_.emplace_back(key);
  const auto found = object_.find(key);
  return found == object_.end() ? nullptr : &*found;
}

std::string ObjectReader::PathOf(const char* key) const {
  return path_.empty() ? std::string(key) : path_ + "." + key;
}

void ObjectReader::Text(const char* key, std::string& field) {
  if (const nlohmann::json* value = Find(key)) field = TextFromJson(*value, PathOf(key));
}

void ObjectReader::Cell(const char* key, streams::CellField& field) {
  const nlohmann::json* value = Find(key);
  if (value == nullptr) return;
  const std::string text = TextFromJson(*value, PathOf(key));
  if (text.size() > streams::CellField::kMaxLength || text.find('\0') != std::string::npos) {
    ThrowJsonError(PathOf(key), "a cell reference holds at most 15 bytes and no NUL");
  }
  field.Set(text);
}

void ObjectReader::Flag(const char* key, bool& field) {
  if (const nlohmann::json* value = Find(key)) field = FlagFromJson(*value, PathOf(key));
}

void ObjectReader::Double(const char* key, double& field) {
  if (const nlohmann::json* value = Find(key)) field = DoubleFromJson(*value, PathOf(key));
}

void ObjectReader::U32(const char* key, std::uint32_t& field) {
  const nlohmann::json* value = Find(key);
  if (value == nullptr) return;
  field = static_cast<std::uint32_t>(
      IntegerFromJson(*value, PathOf(key), 0, std::numeric_limits<std::uint32_t>::max()));
}

void ObjectReader::I32(const char* key, std::int32_t& field, std::int32_t min, std::int32_t max) {
  if (const nlohmann::json* value = Find(key)) {
    field = static_cast<std::int32_t>(IntegerFromJson(*value, PathOf(key), min, max));
  }
}

const nlohmann::json* ObjectReader::Array(const char* key, std::size_t maxSize) {
  const nlohmann::json* value = Find(key);
  if (value == nullptr) return nullptr;
  if (!value->is_array()) ThrowJsonError(PathOf(key), "expected an array");
  if (value->size() > maxSize) {
    ThrowJsonError(PathOf(key), "at most " + std::to_string(maxSize) + " elements");
  }
  return value;
}

void ObjectReader::Finish() const {
  for (const auto& member : object_.items()) {
    if (std::find(known_.begin(), known_.end(), member.key()) == known_.end()) {
      ThrowJsonError(PathOf(member.key().c_str()), "unknown key");
    }
  }
}

std::string ElementPath(const std::string& path, std::size_t index) {
  return path + "[" + std::to_string(index) + "]";
}

}  // namespace archive
