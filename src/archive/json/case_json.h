// A case archive and a model data file as JSON documents, and back: how
// tools outside a host inspect a stored case or build one by hand. The
// JSON form names every field of the case record; the archive written is
// always of the current version.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "outcome/outcome.h"

namespace archive {

// Decodes a case archive (signature and case record, any version the
// driver reads). A failure saying what and where when the bytes are not a
// well-formed archive.
outcome::Expected<nlohmann::json> CaseArchiveToJson(std::span<const std::uint8_t> bytes);

// Encodes a case from its JSON form. Missing keys take the field's default;
// an unknown key or a value of the wrong kind is a failure naming the key.
outcome::Expected<std::vector<std::uint8_t>> CaseJsonToArchive(const nlohmann::json& in);

// Encodes published variables (a JSON array) as a model data file.
outcome::Expected<std::vector<std::uint8_t>> ModelDataFromJson(const nlohmann::json& in);

}  // namespace archive
