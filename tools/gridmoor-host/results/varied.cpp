#include "results/varied.h"

#include <algorithm>
#include <cctype>
#include <map>

#include "common/files.h"

namespace refhost {

namespace fs = std::filesystem;
namespace {

using nlohmann::json;

void AddLeaves(const json& value, const std::string& path,
               std::vector<std::pair<std::string, json>>& out) {
  if (value.is_object() && !value.empty()) {
    for (const auto& [key, inner] : value.items())
      AddLeaves(inner, path.empty() ? key : path + "." + key, out);
  } else if (value.is_array() && !value.empty()) {
    for (std::size_t i = 0; i < value.size(); ++i)
      AddLeaves(value[i], path + "[" + std::to_string(i) + "]", out);
  } else {
    out.emplace_back(path, value);
  }
}

// The value a scenario file holds, or null when it cannot be read: its
// run says why, the sweep's table only shows a gap.
json ReadDocument(const std::filesystem::path& file) {
  if (file.empty()) return nullptr;
  const outcome::Expected<std::string> text = ReadBoundedText(file, kTextFileLimit);
  if (!text) return nullptr;
  outcome::Expected<json> document = ParseJsonText(*text);
  return document ? std::move(*document) : json(nullptr);
}

}  // namespace

std::vector<std::pair<std::string, json>> KeyPaths(const json& document) {
  std::vector<std::pair<std::string, json>> out;
  AddLeaves(document, "", out);
  return out;
}

json ValueAt(const json& document, const std::string& path) {
  const json* at = &document;
  std::size_t i = 0;
  while (i < path.size()) {
    if (path[i] == '[') {
      const std::size_t close = path.find(']', i);
      if (close == std::string::npos || !at->is_array()) return nullptr;
      const std::string digits = path.substr(i + 1, close - i - 1);
      if (digits.empty() || digits.size() > 9 ||
          !std::all_of(digits.begin(), digits.end(),
                       [](unsigned char c) { return std::isdigit(c) != 0; }))
        return nullptr;
      const std::size_t index = std::stoul(digits);
      if (index >= at->size()) return nullptr;
      at = &(*at)[index];
      i = close + 1;
    } else {
      if (path[i] == '.') ++i;
      const std::size_t end = std::min(path.find('.', i), path.find('[', i));
      const std::string key = path.substr(i, end == std::string::npos ? end : end - i);
      if (!at->is_object() || !at->contains(key)) return nullptr;
      at = &(*at)[key];
      i = end == std::string::npos ? path.size() : end;
    }
  }
  return *at;
}

std::vector<VariedValue> VariedValues(const std::vector<json>& documents,
                                      const std::vector<std::string>& named) {
  std::vector<std::string> paths = named;
  if (paths.empty() && documents.size() > 1) {
    // Every leaf path with the values the documents give it, in key order.
    std::map<std::string, std::vector<json>> leaves;
    // A scenario that cannot be read is left out of the comparison: its
    // every leaf would differ.
    std::vector<std::size_t> readable;
    for (std::size_t d = 0; d < documents.size(); ++d)
      if (documents[d].is_object()) readable.push_back(d);
    for (const std::size_t d : readable)
      for (auto& [path, value] : KeyPaths(documents[d])) {
        std::vector<json>& values = leaves[path];
        values.resize(documents.size());
        values[d] = std::move(value);
      }
    for (auto& [path, values] : leaves) {
      if (path == "description") continue;  // words about the run, not its values
      values.resize(documents.size());
      if (std::any_of(readable.begin(), readable.end(),
                      [&](std::size_t d) { return values[d] != values[readable.front()]; }))
        paths.push_back(path);
      if (paths.size() == kMostVariedPaths) break;
    }
  }
  std::vector<VariedValue> varied;
  for (const std::string& path : paths) {
    VariedValue column{path, {}};
    for (const json& document : documents)
      column.values.push_back(ValueAt(document, path));
    varied.push_back(std::move(column));
  }
  return varied;
}

outcome::Error CheckNamedPaths(const std::vector<fs::path>& files,
                               const std::vector<std::string>& named) {
  std::vector<json> documents;
  for (const fs::path& file : files)
    documents.push_back(ReadDocument(file));
  for (const std::string& path : named) {
    if (std::none_of(documents.begin(), documents.end(),
                     [&](const json& d) { return !ValueAt(d, path).is_null(); }))
      return outcome::Error::Failed("--vary " + path + ": no scenario has a value there");
  }
  return outcome::Error::Success();
}

void FindVariedValues(std::vector<ScenarioOutcome>& outcomes,
                      const std::vector<std::string>& named) {
  std::vector<json> documents;
  for (const ScenarioOutcome& o : outcomes)
    documents.push_back(ReadDocument(o.file));
  const std::vector<VariedValue> varied = VariedValues(documents, named);
  for (std::size_t i = 0; i < outcomes.size(); ++i) {
    outcomes[i].varied.clear();
    for (const VariedValue& column : varied)
      outcomes[i].varied.emplace_back(column.path, column.values[i]);
  }
}

}  // namespace refhost
