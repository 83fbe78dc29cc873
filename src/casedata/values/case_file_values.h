// What the case's file operations take from and give the host, as plain
// values: the description of one file the case uses (code 16) and the
// case's stored bytes as the host hands them back (code 13). The driver maps
// them onto the host's records; nothing here knows a byte's place.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace casedata {

// One file of the case as the host lists it: its path and what kind of file
// it is.
struct FileDescription {
  std::string path;
  std::string text;

  friend bool operator==(const FileDescription&, const FileDescription&) = default;
};

// A stored case to read back: its archive, and what decides where its
// workbook is looked for when the case has moved.
struct StoredCase {
  std::vector<std::uint8_t> archive;
  std::string modelPath;  // the host's model file; empty when it names none
  bool noRelocation = false;
};

// Why a stored case was not read back: its archive ends early or is
// damaged, or its size passes the record's room.
inline constexpr char kReadCaseFailed[] = "Failed to read all case data - buffer overflow";

}  // namespace casedata
