// The library's application object: one per process, from library load to
// process end. It holds the driver-wide settings the rest of the driver
// reads (threaded mode, the plug-in list), names the help file beside the
// library and shows help through a replaceable launcher.
//
// Settings live in the settings store (platform::Registry) under
// HKEY_CURRENT_USER: the plug-in list is read at construction and written
// back when the library unloads; threaded mode is decided once, at
// initialisation, and never changes afterwards.
#pragma once

#include <chrono>
#include <filesystem>
#include <functional>
#include <mutex>
#include <optional>
#include <string>

#include "platform/registry.h"

namespace driver {

inline constexpr char kDriverSettingsKey[] =
    "HKEY_CURRENT_USER\\Software\\Orvane\\Conflux\\ExtensionDlls110_64\\Excel";
inline constexpr char kPlugInsValue[] = "PlugIns";
// The program that opens the help file (REG_SZ under kDriverSettingsKey);
// words separated by blanks, the file is passed as the last argument.
inline constexpr char kHelpViewerValue[] = "HelpViewer";
inline constexpr char kDefaultHelpViewer[] = "xdg-open";
// How long one call into the office may take, in seconds (REG_DWORD under
// kDriverSettingsKey; 0 or missing: 10 minutes). GRIDMOOR_CALL_TIMEOUT (seconds,
// fractions allowed) overrides it, for tests.
inline constexpr char kCallTimeoutValue[] = "OfficeCallTimeout";
inline constexpr char kCallTimeoutVariable[] = "GRIDMOOR_CALL_TIMEOUT";
inline constexpr std::chrono::milliseconds kDefaultCallTimeout{10 * 60 * 1000};
inline constexpr char kConfigKey[] = "HKEY_CURRENT_USER\\Software\\Orvane\\Conflux\\Config";
inline constexpr char kVistaValue[] = "Vista";
// The help page made from docs/dialogs-help.md, beside the library; a help
// file named by kHelpFileValue (REG_SZ under kDriverSettingsKey) is used
// instead.
inline constexpr char kHelpFileName[] = "Conflux.html";
inline constexpr char kHelpFileValue[] = "HelpFile";

// Help commands: the context command shows the contents, then the topic.
inline constexpr int kHelpContextCommand = 1;
// The topic ExtHelp asks for.
inline constexpr int kDriverHelpContext = 1020;

struct HelpRequest {
  std::string viewer;
  std::filesystem::path file;
  int command = kHelpContextCommand;
  int context = 0;
};

// Shows help; true when the viewer was started.
using HelpLauncher = std::function<bool(const HelpRequest&)>;

// The launcher used when none is installed: starts the viewer (without
// waiting for it) with the help file as its last argument (an HTML page as
// the address of the context's topic: HelpTarget).
bool LaunchHelpViewer(const HelpRequest& request);
// Installs `launcher` (null: the default) and returns the previous one.
HelpLauncher SetHelpLauncher(HelpLauncher launcher);

// Threaded mode: when the "Vista" value is greater than 0. A value that is
// missing or not a DWORD counts as 1; the DWORD is read as a signed number.
bool ThreadedModeFromSettings(const platform::Registry& settings);

// The call limit from the settings and the environment variable's value
// (which wins when it is a positive number of seconds).
std::chrono::milliseconds CallTimeoutFromSettings(const platform::Registry& settings,
                                                  const std::optional<std::string>& variable);

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
