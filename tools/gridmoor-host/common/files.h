// The program's file access: every input read with a bound, every output
// place checked before a run starts, so that a bad path costs no office.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

#include "outcome/outcome.h"

namespace refhost {

// Bounds of what the program reads. A case archive cannot be larger than the
// host's case-data record; the others are far above any real model's.
inline constexpr std::size_t kCaseArchiveLimit = 102400;
inline constexpr std::size_t kModelDataFileLimit = 64u << 20;
inline constexpr std::size_t kTextFileLimit = 64u << 20;  // scenarios, CSV, case JSON

// Reads at most `limit` bytes of a regular file (or a device that ends
// within the bound); the error names the file and the reason.
outcome::Expected<std::string> ReadBoundedText(const std::filesystem::path& file,
                                               std::size_t limit);
outcome::Expected<std::vector<std::uint8_t>> ReadBoundedBytes(const std::filesystem::path& file,
                                                              std::size_t limit);

// Writes `text` as the whole of `file`: replaces it whole or leaves it as it
// was; the error names the file and the reason.
outcome::Error WriteText(const std::filesystem::path& file, std::string_view text);

// The folder for temporary files: $TMPDIR, else /tmp.
std::filesystem::path TemporaryRoot();

// A file's extension in lower case (".xlsm"), whatever the locale.
std::string LowerExtension(const std::filesystem::path& file);

// Whether the file's format holds a single sheet (the text formats).
bool IsOneSheetFormat(const std::filesystem::path& file);

// Parses JSON text; the error gives the line and column of the fault
// (numbers too large for a double are faults too), of nesting deeper than
// kJsonDepthLimit, or of both places of a key an object repeats.
outcome::Expected<nlohmann::json> ParseJsonText(const std::string& text);

// Whether files can be created in `folder` (made when missing), and each of
// `names` in it replaced; the error names the path and the reason.
outcome::Error CheckOutputFolder(const std::filesystem::path& folder,
                                 const std::vector<std::string>& names);

// Whether `file` can be written: an existing one opened for writing, a new
// one created in its folder.
outcome::Error CheckWritableFile(const std::filesystem::path& file);

}  // namespace refhost
