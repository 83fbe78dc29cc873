#include "archive/relocation.h"

namespace archive {

std::optional<std::string> RelocationFolder(const RelocationFacts& facts) {
  if (!facts.batchJob) {
    if (facts.workbookExists) return std::nullopt;
    if (facts.fileName.empty() || facts.noRelocation) return std::nullopt;
  }
  const std::size_t last = facts.modelPath.find_last_of("\\/");
  if (last == std::string_view::npos) return std::nullopt;
  return std::string(facts.modelPath.substr(0, last));
}

}  // namespace archive
