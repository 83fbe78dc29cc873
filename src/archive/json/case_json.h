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

namespace archive {

// Decodes a case archive (signature and case record, any version the
// driver reads). False, with `error` saying what and where, when the bytes
// are not a well-formed archive.
bool CaseArchiveToJson(std::span<const std::uint8_t> bytes, nlohmann::json& out,
                       std::string& error);

// Encodes a case from its JSON form. Missing keys take the field's default;
// an unknown key or a value of the wrong kind is an error naming the key.
bool CaseJsonToArchive(const nlohmann::json& in, std::vector<std::uint8_t>& bytes,
                       std::string& error);

// Encodes published variables (a JSON array) as a model data file.
bool ModelDataFromJson(const nlohmann::json& in, std::vector<std::uint8_t>& bytes,
                       std::string& error);

}  // namespace archive
