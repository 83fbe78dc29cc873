#include "driver/application/help_viewer.h"

#include <spawn.h>
#include <sys/wait.h>

#include <cerrno>
#include <mutex>
#include <sstream>
#include <system_error>
#include <utility>

#include "driver/application/help_page.h"
#include "platform/thread.h"

extern char** environ;

namespace driver {
namespace {

struct LauncherSlot {
  std::mutex mutex;
  HelpLauncher launcher;
};

LauncherSlot& TheLauncher() {
  static LauncherSlot* const slot = new LauncherSlot;
  return *slot;
}

}  // namespace

std::vector<std::string> HelpViewerWords(const std::string& viewer) {
  std::vector<std::string> words;
  std::istringstream stream(viewer);
  std::string word;
  while (stream >> word)
    words.push_back(word);
  return words;
}

bool LaunchHelpViewer(const HelpRequest& request) {
  std::vector<std::string> words = HelpViewerWords(request.viewer);
  if (words.empty()) return false;
  words.push_back(HelpTarget(request.file, request.context));
  std::vector<char*> argv;
  for (std::string& word : words)
    argv.push_back(word.data());
  argv.push_back(nullptr);
  pid_t child = 0;
  if (posix_spawnp(&child, argv[0], nullptr, nullptr, argv.data(), environ) != 0) return false;
  // The host goes on at once; the viewer is reaped when it ends.
  try {
    platform::StartThread([child] {
      int status = 0;
      while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
      }
    }).detach();
  } catch (const std::system_error&) {
    // No thread for the reaper: the child stays a zombie until the host ends.
  }
  return true;
}

HelpLauncher SetHelpLauncher(HelpLauncher launcher) {
  LauncherSlot& slot = TheLauncher();
  const std::lock_guard<std::mutex> guard(slot.mutex);
  HelpLauncher previous = std::move(slot.launcher);
  slot.launcher = std::move(launcher);
  if (!previous) previous = LaunchHelpViewer;
  return previous;
}

HelpLauncher CurrentHelpLauncher() {
  LauncherSlot& slot = TheLauncher();
  const std::lock_guard<std::mutex> guard(slot.mutex);
  return slot.launcher ? slot.launcher : LaunchHelpViewer;
}

}  // namespace driver
