#include "driver/app.h"

#include "excel/calc/calc_application.h"

#include <dlfcn.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <sstream>
#include <system_error>
#include <utility>
#include <vector>

#include "driver/help_page.h"
#include "platform/environment.h"
#include "platform/thread.h"

extern char** environ;

namespace driver {
namespace {

std::atomic<bool> gAppExists{false};

struct LauncherSlot {
  std::mutex mutex;
  HelpLauncher launcher;
};

LauncherSlot& TheLauncher() {
  static LauncherSlot* const slot = new LauncherSlot;
  return *slot;
}

std::vector<std::string> SplitWords(const std::string& text) {
  std::vector<std::string> words;
  std::istringstream stream(text);
  std::string word;
  while (stream >> word)
    words.push_back(word);
  return words;
}

platform::Registry LoadSettings(const std::filesystem::path& file) {
  // An unreadable store counts as an empty one: settings failures are silent.
  std::optional<platform::Registry> loaded = platform::Registry::Load(file);
  return loaded ? std::move(*loaded) : platform::Registry(file);
}

}  // namespace

bool LaunchHelpViewer(const HelpRequest& request) {
  std::vector<std::string> words = SplitWords(request.viewer);
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

bool ThreadedModeFromSettings(const platform::Registry& settings) {
  // The rule also turns threaded mode on for Windows Vista itself; this
  // platform never is that system, so the settings value alone decides.
  const platform::RegistryRead<std::uint32_t> vista = settings.GetDword(kConfigKey, kVistaValue);
  const std::int32_t value = vista.ok() ? static_cast<std::int32_t>(vista.value) : 1;
  return value > 0;
}

std::chrono::milliseconds CallTimeoutFromSettings(const platform::Registry& settings,
                                                  const std::optional<std::string>& variable) {
  if (variable && !variable->empty()) {
    char* end = nullptr;
    const double seconds = std::strtod(variable->c_str(), &end);
    // At most a day: a larger number is a mistake, not a limit.
    if (end != nullptr && *end == '\0' && seconds > 0 && seconds <= 86400)
      return std::chrono::milliseconds(std::max<std::int64_t>(1, std::llround(seconds * 1000)));
  }
  const platform::RegistryRead<std::uint32_t> value =
      settings.GetDword(kDriverSettingsKey, kCallTimeoutValue);
  if (value.ok() && value.value > 0) return std::chrono::seconds(value.value);
  return kDefaultCallTimeout;
}

std::filesystem::path LibraryFolder() {
  Dl_info info{};
  if (dladdr(reinterpret_cast<void*>(&LibraryFolder), &info) == 0 || info.dli_fname == nullptr) {
    return std::filesystem::current_path();
  }
  std::error_code error;
  std::filesystem::path file = std::filesystem::canonical(info.dli_fname, error);
  if (error) file = std::filesystem::absolute(info.dli_fname, error);
  return file.parent_path();
}

CGridmoorApp::CGridmoorApp(const platform::Registry& settings) : settingsFile_(settings.file()) {
  const platform::RegistryRead<std::string> plugIns =
      settings.GetString(kDriverSettingsKey, kPlugInsValue);
  if (plugIns.ok()) plugIns_ = plugIns.value;
}

void CGridmoorApp::InitInstance(const platform::Registry& settings,
                                const std::filesystem::path& libraryFolder) {
  threadedMode_ = ThreadedModeFromSettings(settings);
  const platform::RegistryRead<std::string> viewer =
      settings.GetString(kDriverSettingsKey, kHelpViewerValue);
  if (viewer.ok() && !SplitWords(viewer.value).empty()) helpViewer_ = viewer.value;
  const platform::RegistryRead<std::string> named =
      settings.GetString(kDriverSettingsKey, kHelpFileValue);
  helpFile_ = named.ok() && !named.value.empty() ? std::filesystem::path(named.value)
                                                 : libraryFolder / kHelpFileName;
  excel::calc::SetOfficeCallTimeout(
      CallTimeoutFromSettings(settings, platform::GetEnv(kCallTimeoutVariable)));
}

bool CGridmoorApp::ExitInstance() const {
  std::optional<platform::Registry> settings = platform::Registry::Load(settingsFile_);
  // A store that exists but cannot be read is left alone rather than replaced.
  if (!settings) return false;
  settings->SetString(kDriverSettingsKey, kPlugInsValue, PlugIns());
  return settings->Save();
}

std::string CGridmoorApp::PlugIns() const {
  const std::lock_guard<std::mutex> guard(mutex_);
  return plugIns_;
}

void CGridmoorApp::SetPlugIns(std::string plugIns) {
  const std::lock_guard<std::mutex> guard(mutex_);
  plugIns_ = std::move(plugIns);
}

bool CGridmoorApp::WinHelp(int context, int command) const {
  HelpLauncher launcher;
  {
    LauncherSlot& slot = TheLauncher();
    const std::lock_guard<std::mutex> guard(slot.mutex);
    launcher = slot.launcher;
  }
  if (!launcher) launcher = LaunchHelpViewer;
  return launcher(HelpRequest{helpViewer_, helpFile_, command, context});
}

CGridmoorApp& CGridmoorApp::Instance() {
  static CGridmoorApp* const app = [] {
    const platform::Registry settings = LoadSettings(platform::Registry::DefaultPath());
    auto* created = new CGridmoorApp(settings);
    created->InitInstance(settings, LibraryFolder());
    gAppExists.store(true);
    return created;
  }();
  return *app;
}

bool CGridmoorApp::Exists() {
  return gAppExists.load();
}

void OnLibraryLoad() noexcept {
  try {
    // The spreadsheet application the driver creates by ProgID.
    excel::calc::RegisterCalcApplication();
    CGridmoorApp::Instance();
  } catch (...) {
    // Without settings the first export tries again.
  }
}

void OnLibraryUnload() noexcept {
  try {
    if (CGridmoorApp::Exists()) CGridmoorApp::Instance().ExitInstance();
  } catch (...) {
    // A failed write at exit is ignored.
  }
}

}  // namespace driver
