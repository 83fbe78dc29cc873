#include "excel/calc/process/office_profile.h"

#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <system_error>

#include "com/error.h"
#include "platform/environment.h"

namespace excel::calc {
namespace fs = std::filesystem;
std::string ProfileSettings() {
  struct Setting {
    const char* path;
    const char* name;
    const char* value;
  };
  static constexpr Setting kSettings[] = {
      // Two application objects may hold the same file: no lock files.
      {"/org.openoffice.Office.Common/Misc", "UseLocking", "false"},
      {"/org.openoffice.Office.Common/Misc", "UseDocumentOOoLockFile", "false"},
      {"/org.openoffice.Office.Common/Misc", "UseDocumentSystemFileLocking", "false"},
      {"/org.openoffice.Setup/L10N", "ooLocale", "en-US"},
      {"/org.openoffice.Setup/L10N", "ooSetupSystemLocale", "en-US"},
      // Formula results as the file's formulas give them, not as cached by
      // whatever program wrote the file (0: always recalculate).
      {"/org.openoffice.Office.Calc/Formula/Load", "OOXMLRecalcMode", "0"},
      {"/org.openoffice.Office.Calc/Formula/Load", "ODFRecalcMode", "0"},
      // A macro's ThisWorkbook.Save is the office's Save command, which asks
      // whether to keep a format not its own; unanswered, nothing is saved.
      {"/org.openoffice.Office.Common/Save/Document", "WarnAlienFormat", "false"},
      // A profile that has never seen this version counts as an upgrade, on
      // which the office runs its graphics self-tests: some ten seconds of
      // a core, beside whatever the first document asks of it. No version
      // is newer than this one, so every profile of ours has seen it.
      {"/org.openoffice.Setup/Product", "ooSetupLastVersion", "9999.9"},
  };
  std::string xml =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
      "<oor:items xmlns:oor=\"http://openoffice.org/2001/registry\" "
      "xmlns:xs=\"http://www.w3.org/2001/XMLSchema\" "
      "xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\">\n";
  for (const Setting& setting : kSettings) {
    xml += std::string("<item oor:path=\"") + setting.path + "\"><prop oor:name=\"" + setting.name +
           "\" oor:op=\"fuse\"><value>" + setting.value + "</value></prop></item>\n";
  }
  return xml + "</oor:items>\n";
}

fs::path TemporaryRoot() {
  const std::string root = platform::GetEnv("TMPDIR").value_or("");
  return root.empty() ? fs::path("/tmp") : fs::path(root);
}

bool DiskNearlyFull(const fs::path& path, std::uintmax_t below) {
  std::error_code error;
  fs::path existing = path;
  while (!existing.empty() && !fs::exists(existing, error)) {
    if (existing == existing.parent_path()) return false;
    existing = existing.parent_path();
  }
  const fs::space_info space = fs::space(existing.empty() ? fs::path(".") : existing, error);
  return !error && space.available < below;
}

std::string DiskFullText(const std::string& what) {
  return "The disk is full (" + std::string(std::strerror(ENOSPC)) + "): " + what;
}

std::unique_ptr<OfficeFolders> OfficeFolders::Create() {
  std::string pattern = (TemporaryRoot() / (std::string(kOfficeFolderPrefix) +
                                            std::to_string(::getpid()) + "-XXXXXX"))
                            .string();
  if (::mkdtemp(pattern.data()) == nullptr) {
    const int error = errno;
    const fs::path root = TemporaryRoot();
    com::Throw(com::CO_E_SERVER_EXEC_FAILURE,
               error == ENOSPC
                   ? DiskFullText("no folder for the office can be made in " + root.string())
                   : "No folder for the office can be made in " + root.string() + ": " +
                         std::strerror(error));
  }
  std::unique_ptr<OfficeFolders> folders(new OfficeFolders(pattern));
  const auto fail = [&](const fs::path& path, int error) {
    com::Throw(com::CO_E_SERVER_EXEC_FAILURE,
               error == ENOSPC ? DiskFullText("the office's profile cannot be written in " +
                                              TemporaryRoot().string())
                               : "Cannot write " + path.string() + ": " + std::strerror(error));
  };
  std::error_code error;
  fs::create_directories(folders->Profile() / "user", error);
  if (!error) fs::create_directories(folders->Temp(), error);
  if (error) fail(folders->Base(), error.value());
  const fs::path settingsFile = folders->Profile() / "user" / "registrymodifications.xcu";
  std::ofstream settings(settingsFile);
  settings << ProfileSettings();
  if (!settings.flush()) fail(settingsFile, DiskNearlyFull(settingsFile, 1 << 20) ? ENOSPC : EIO);
  return folders;
}

OfficeFolders::~OfficeFolders() {
  std::error_code error;
  fs::remove_all(base_, error);
}

}  // namespace excel::calc
