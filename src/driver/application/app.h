// The library's application object: one per process, from library load to
// process end. It holds the driver-wide settings the rest of the driver
// reads (threaded mode, the plug-in list; app_settings.h), names the help
// file beside the library and shows help (help_viewer.h).
//
// The plug-in list is read at construction and written back when the
// library unloads; threaded mode is decided once, at initialisation, and
// never changes afterwards.
#pragma once

#include <filesystem>
#include <mutex>
#include <string>

#include "driver/application/app_settings.h"
#include "driver/application/help_viewer.h"
#include "platform/registry.h"

namespace driver {

// The folder holding the library (or, for code linked into a program, the
// program).
std::filesystem::path LibraryFolder();

class CGridmoorApp {
 public:
  // Construction: the plug-in list is read from `settings`, whose file is the
  // one ExitInstance writes.
  explicit CGridmoorApp(const platform::Registry& settings);
  CGridmoorApp(const CGridmoorApp&) = delete;
  CGridmoorApp& operator=(const CGridmoorApp&) = delete;

  // Initialisation: threaded mode, the help viewer, the help file in
  // `libraryFolder`.
  void InitInstance(const platform::Registry& settings, const std::filesystem::path& libraryFolder);
  // Writes the plug-in list back to the settings file. Failures are ignored;
  // false when nothing could be written.
  bool ExitInstance() const;

  bool ThreadedMode() const { return threadedMode_; }
  std::string PlugIns() const;
  void SetPlugIns(std::string plugIns);
  const std::filesystem::path& HelpFile() const { return helpFile_; }
  const std::string& HelpViewer() const { return helpViewer_; }
  const std::filesystem::path& SettingsFile() const { return settingsFile_; }

  // Shows help for `context` through the current launcher.
  bool WinHelp(int context, int command) const;

  // The process's application object, constructed and initialised from the
  // settings store on first use (at library load for the shared library).
  // Never destroyed, so it outlives every thread of the process.
  static CGridmoorApp& Instance();
  // Whether Instance() has been constructed.
  static bool Exists();

 private:
  std::filesystem::path settingsFile_;
  bool threadedMode_ = false;
  mutable std::mutex mutex_;  // guards plugIns_
  std::string plugIns_;
  std::string helpViewer_ = kDefaultHelpViewer;
  std::filesystem::path helpFile_;
};

// Load and unload hooks of the shared library. Neither lets an exception out.
void OnLibraryLoad() noexcept;
void OnLibraryUnload() noexcept;

}  // namespace driver
