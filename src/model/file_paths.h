// Workbook paths as hosts pass them: folders may be separated by '\' (paths
// written on Windows) or '/'; new paths are joined with '/'.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace model {

// The part after the last '\' or '/'; nullopt when the path has neither.
std::optional<std::string> FileNamePart(std::string_view path);

// The path of `path`'s file name in `directory` ("dir/name"); nullopt when
// `path` has no folder part or `directory` is blank. Separators at the end
// of `directory` are not doubled.
std::optional<std::string> PathInDirectory(std::string_view path, std::string_view directory);

// True when `path` names an existing file that is not a folder.
bool IsExistingFile(const std::string& path);

}  // namespace model
