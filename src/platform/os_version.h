// The running operating system, as uname reports it.
#pragma once

#include <string>
#include <string_view>

namespace platform {

struct OsVersion {
  std::string systemName;  // "Linux"
  std::string release;     // "6.1.0-18-amd64"
  int major = 0;           // leading numbers of the release; 0 when absent
  int minor = 0;
};

OsVersion CurrentOsVersion();

// Splits a release text into its major and minor numbers.
OsVersion MakeOsVersion(std::string_view systemName, std::string_view release);

// The original switches to threaded mode on one Windows version; this
// platform never is that version, so threaded mode follows the settings alone.
inline bool IsWindowsVista() {
  return false;
}

}  // namespace platform
