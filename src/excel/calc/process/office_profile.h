// The private folders an office runs in: its profile, with the settings it
// starts with, and its TMPDIR; and the texts of a disk too full for them.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>

namespace excel::calc {

// The name of every private office folder starts with this, then the
// owning process's id.
inline constexpr std::string_view kOfficeFolderPrefix = "gridmoor-office-";

// The profile settings the office starts with: no document lock files of
// its own (the driver writes them, lock_file.h), the en-US locale, formulas
// recalculated on load.
std::string ProfileSettings();

// $TMPDIR, or /tmp.
std::filesystem::path TemporaryRoot();

// A private folder for one office: the profile, its TMPDIR. Removed with the
// object.
class OfficeFolders {
 public:
  // Under TemporaryRoot(), named after this process.
  // Throws com::Error(CO_E_SERVER_EXEC_FAILURE).
  static std::unique_ptr<OfficeFolders> Create();
  ~OfficeFolders();
  OfficeFolders(const OfficeFolders&) = delete;
  OfficeFolders& operator=(const OfficeFolders&) = delete;

  const std::filesystem::path& Base() const { return base_; }
  std::filesystem::path Profile() const { return base_ / "profile"; }
  std::filesystem::path Temp() const { return base_ / "tmp"; }

 private:
  explicit OfficeFolders(std::filesystem::path base) : base_(std::move(base)) {}
  std::filesystem::path base_;
};

// True when the file system holding `path` (or the nearest folder above it
// that exists) has fewer than `below` bytes free for this user.
bool DiskNearlyFull(const std::filesystem::path& path, std::uintmax_t below);

// "The disk is full (No space left on device): <what>". Short: host
// messages have little room, and the start of the text is what is read.
std::string DiskFullText(const std::string& what);

}  // namespace excel::calc
