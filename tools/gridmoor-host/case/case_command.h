// The case subcommands: a case archive as JSON and back, and a check of an
// archive that lists every problem found.
#pragma once

#include <cstdint>
#include <filesystem>
#include <iosfwd>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "outcome/outcome.h"

namespace refhost {

// Each returns the exit status (0 or 1) and writes its messages to `err`.
int CaseDump(const std::filesystem::path& archive, std::ostream& out, std::ostream& err);
int CaseBuild(const std::filesystem::path& json, const std::filesystem::path& archive,
              std::ostream& err);
// `asJson`: one JSON document {file, size, version, counts, problems, ok}.
int CaseCheck(const std::filesystem::path& archive, bool asJson, std::ostream& out,
              std::ostream& err);

// What CaseCheck reports for decoded bytes: problems found (empty: none).
std::vector<std::string> CaseProblems(const std::vector<std::uint8_t>& bytes,
                                      const nlohmann::json& decoded);

// A case archive's bytes, as many as the host's case-data record holds.
outcome::Expected<std::vector<std::uint8_t>> ReadBytes(const std::filesystem::path& file);

}  // namespace refhost
