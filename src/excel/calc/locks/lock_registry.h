// The machine's lock registry of workbooks (lock_file.h): its folder, one
// file per identity key, and who holds one. No UNO here.
#pragma once

#include <sys/types.h>

#include <filesystem>
#include <optional>
#include <string>

namespace excel::calc {

// The name of user `uid`, or its number.
std::string UserName(uid_t uid);
// What a path that is no plain file is, for a message: "a FIFO of user ann".
std::string DescribeEntry(const std::filesystem::path& path);

// The registry `folder`, made when missing. Nullopt when it can be trusted:
// a real folder of this user's or root's, never writable by others unless
// sticky, so that nobody else can remove or replace the files locked in it;
// else why not. A workbook whose registry entries cannot be locked (this,
// or an entry that is no plain file) is refused: a run without its lock
// could lose another's changes.
std::optional<std::string> RegistryFolderProblem(const std::filesystem::path& folder);

// An open descriptor of the registry file `file` (created when missing,
// readable by every user: flock needs no more), or -1 with why not in
// `problem`. Never follows a link and never blocks on a FIFO.
int OpenRegistryFile(const std::filesystem::path& file, std::string& problem);

// Whether `fd` is still the file at `file`: a holder removes its registry
// file on release, so a lock won on a removed one holds nothing.
bool StillNamed(int fd, const std::filesystem::path& file);

// The process holding a flock on `fd`'s file, from /proc/locks; 0 if none
// is listed.
long FlockHolder(int fd);

// The user process `pid` runs as; empty when it is gone.
std::string ProcessUser(long pid);

}  // namespace excel::calc
