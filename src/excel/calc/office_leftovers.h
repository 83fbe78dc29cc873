// What ended offices leave behind: the private folders and pipes of crashed
// hosts, and the temporary files of killed saves; and the running office
// processes that tell what is still in use.
#pragma once

#include <chrono>
#include <filesystem>
#include <string_view>
#include <vector>

namespace excel::calc {

// Removes what offices of processes that have ended (crashed hosts) left
// behind: their pipes in /tmp and their private folders under `root`.
// Only names this library gives are touched; a process still running keeps
// its own.
void RemoveLeftoversOfEndedProcesses(const std::filesystem::path& root);

// The office writes a document into a temporary file beside it (lu....tmp)
// and renames it over the document; an office killed meanwhile leaves the
// file, often as large as the workbook. Removes, from `folder`, this user's
// regular files of that name that no office process holds open and that
// were last written more than `quiet` ago: an office that saves holds its
// file open, and one about to open or rename it has written it just now.
// Returns the files removed.
std::vector<std::filesystem::path> RemoveOfficeTempFilesIn(
    const std::filesystem::path& folder, std::chrono::seconds quiet = std::chrono::minutes(2));

// True for a name the office gives its temporary files ("lu" + letters and
// digits + ".tmp").
bool IsOfficeTempFileName(std::string_view name);

// True while process `pid` runs (of any user).
bool ProcessRuns(long pid);
// The /proc folders of every running office program (of any user whose
// /proc may be read).
std::vector<std::filesystem::path> OfficeProcessFolders();

// The process a driver's private office folder is named after, from the
// folder's name; 0 for any other name.
long OfficeFolderOwner(std::string_view folderName);

}  // namespace excel::calc
