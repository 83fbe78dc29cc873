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

// An office process this process started, and when.
struct StartedOffice {
  long pid = 0;
  std::chrono::system_clock::time_point started;
};

// The office writes a document into a temporary file beside it and renames
// it over the document; an office killed meanwhile leaves the file, often as
// large as the workbook. Removes, from `folder`, the files that one of
// `offices` made and left: named as that office names them, written after
// it started, this user's regular files, their office ended and no office
// holding them open. Nothing else is touched: a user's file of a similar
// name, or one that was there before, stays. Returns the files removed.
std::vector<std::filesystem::path> RemoveOfficeTempFilesIn(
    const std::filesystem::path& folder, const std::vector<StartedOffice>& offices);

// True for a name office process `pid` gives its temporary files: "lu", its
// process id, a base-36 counter and ".tmp" (measured: lu189817lupk.tmp from
// process 18981).
bool IsOfficeTempFileName(std::string_view name, long pid);

// True while process `pid` runs (of any user).
bool ProcessRuns(long pid);
// The /proc folders of every running office program (of any user whose
// /proc may be read).
std::vector<std::filesystem::path> OfficeProcessFolders();

// The process a driver's private office folder is named after, from the
// folder's name; 0 for any other name.
long OfficeFolderOwner(std::string_view folderName);

}  // namespace excel::calc
