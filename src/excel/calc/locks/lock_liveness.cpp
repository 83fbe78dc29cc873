#include "excel/calc/locks/lock_liveness.h"

#include <cinttypes>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <string>

#include "excel/calc/process/office_leftovers.h"

namespace excel::calc {
namespace fs = std::filesystem;

long DriverOfProfileUrl(std::string_view url) {
  std::size_t start = 0;
  while (start < url.size()) {
    std::size_t end = url.find('/', start);
    if (end == std::string_view::npos) end = url.size();
    if (const long owner = OfficeFolderOwner(url.substr(start, end - start)); owner > 0)
      return owner;
    start = end + 1;
  }
  return 0;
}

bool PersonalOfficeRunsHere() {
  for (const fs::path& office : OfficeProcessFolders()) {
    std::ifstream cmdline(office / "cmdline");
    const std::string arguments((std::istreambuf_iterator<char>(cmdline)),
                                std::istreambuf_iterator<char>());
    if (DriverOfProfileUrl(arguments) == 0) return true;
  }
  return false;
}

namespace {

// The office a driver started runs (its command line names that driver's
// private folder), even when the driver itself could not be examined.
bool OfficeOfDriverRuns(long driver) {
  for (const fs::path& office : OfficeProcessFolders()) {
    std::ifstream cmdline(office / "cmdline");
    std::string argument;
    while (std::getline(cmdline, argument, '\0'))
      if (DriverOfProfileUrl(argument) == driver) return true;
  }
  return false;
}

// The file this code was loaded from (the driver library, or a program
// linking the driver statically), from this process's own mappings.
std::string DriverImage() {
  static const std::string image = [] {
    const auto here = reinterpret_cast<std::uintptr_t>(&DriverImage);
    std::ifstream maps("/proc/self/maps");
    std::string line;
    while (std::getline(maps, line)) {
      std::uintptr_t from = 0, to = 0;
      if (std::sscanf(line.c_str(), "%" SCNxPTR "-%" SCNxPTR, &from, &to) != 2) continue;
      const std::size_t slash = line.find('/');
      if (here >= from && here < to && slash != std::string::npos) return line.substr(slash);
    }
    return std::string();
  }();
  return image;
}

// Whether process `pid` has the driver's code mapped: the driver library by
// its name, or the very file this code came from. A process whose mappings
// this user may not read counts as one.
bool DriverProcessRuns(long pid) {
  if (!ProcessRuns(pid)) return false;
  std::ifstream maps("/proc/" + std::to_string(pid) + "/maps");
  if (!maps) return true;  // another user's process: no proof either way
  std::string line;
  bool any = false;
  while (std::getline(maps, line)) {
    any = true;
    const std::size_t slash = line.find('/');
    if (slash == std::string::npos) continue;
    const std::string_view file = std::string_view(line).substr(slash);
    if (file.ends_with("/libGridmoor110.so") || file == DriverImage()) return true;
  }
  // Nothing readable (another user's process) is no proof.
  return !any;
}

}  // namespace

bool DriverRunsHere(long pid) {
  return DriverProcessRuns(pid) || OfficeOfDriverRuns(pid);
}

}  // namespace excel::calc
