// What the case's file operations give the host, as plain values: the
// description of one file the case uses (code 16). The driver maps it onto
// the host's record; nothing here knows a byte.
#pragma once

#include <string>

namespace model {

// One file of the case as the host lists it: its path and what kind of file
// it is.
struct FileDescription {
  std::string path;
  std::string text;

  friend bool operator==(const FileDescription&, const FileDescription&) = default;
};

}  // namespace model
