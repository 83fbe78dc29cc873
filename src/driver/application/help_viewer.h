// Help: the help file beside the library, shown by a viewer program through
// a launcher that tests replace.
#pragma once

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace driver {

inline constexpr char kDefaultHelpViewer[] = "xdg-open";
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
// The launcher installed now (LaunchHelpViewer when none is).
HelpLauncher CurrentHelpLauncher();

// A viewer setting as the program and its arguments; none for a blank one.
std::vector<std::string> HelpViewerWords(const std::string& viewer);

}  // namespace driver
