// Where the office program is, and file names as the office takes them.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace excel::calc {

// The office program's file name; its wrapper script is "soffice".
inline constexpr const char* kOfficeProgramName = "soffice.bin";

// The office program to run: soffice.bin itself, never its wrapper script
// (whose death leaves soffice.bin running). `overrideValue` is
// GRIDMOOR_SOFFICE: a program file, the wrapper (its soffice.bin beside it is
// taken) or the program folder; when set it is the only place looked at.
// Otherwise `pathVariable` (PATH) is searched for soffice, then the usual
// install folders.
std::optional<std::filesystem::path> FindOfficeProgramIn(
    const std::optional<std::string>& overrideValue, std::string_view pathVariable,
    const std::vector<std::filesystem::path>& usualFolders);

// The same from this process's environment and the usual folders.
std::optional<std::filesystem::path> FindOfficeProgram();

// The version of the office installed around `program` ("25.2.3.2"), as
// its configuration names it (share/registry/main.xcd beside the program
// folder); nullopt when that cannot be read.
std::optional<std::string> OfficeVersionOf(const std::filesystem::path& program);

// The version of the office FindOfficeProgram finds, or "unknown".
std::string OfficeVersion();

// A file: URL for an absolute path, with every byte outside the unreserved
// set percent-encoded.
std::string FileUrlFromPath(const std::filesystem::path& path);

// A file name as the office needs it: absolute (against the current folder)
// and lexically normal, so that one file has one name; `path` itself when
// the current folder cannot be known.
std::string AbsolutePath(const std::string& path);

}  // namespace excel::calc
