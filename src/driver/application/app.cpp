#include "driver/application/app.h"

#include "excel/calc/calc_application.h"

#include <dlfcn.h>

#include <atomic>
#include <optional>
#include <system_error>
#include <utility>

#include "platform/environment.h"

namespace driver {
namespace {

std::atomic<bool> gAppExists{false};

}  // namespace

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
  if (viewer.ok() && !HelpViewerWords(viewer.value).empty()) helpViewer_ = viewer.value;
  const platform::RegistryRead<std::string> named =
      settings.GetString(kDriverSettingsKey, kHelpFileValue);
  helpFile_ = named.ok() && !named.value.empty() ? std::filesystem::path(named.value)
                                                 : libraryFolder / kHelpFileName;
  excel::calc::SetOfficeCallTimeout(
      CallTimeoutFromSettings(settings, platform::GetEnv(kCallTimeoutVariable)));
  excel::calc::SetOfficePipe(
      OfficePipeFromSettings(settings, platform::GetEnv(kOfficePipeVariable)));
}

bool CGridmoorApp::ExitInstance() const {
  outcome::Expected<platform::Registry> settings = platform::Registry::Load(settingsFile_);
  // A store that exists but cannot be read is left alone rather than replaced.
  // Nothing is told: the library is being unloaded and there is no one to
  // tell, so the reason goes with the result.
  if (!settings) return false;
  settings->SetString(kDriverSettingsKey, kPlugInsValue, PlugIns());
  return !settings->Save();
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
  return CurrentHelpLauncher()(HelpRequest{helpViewer_, helpFile_, command, context});
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
    // Nobody to tell while the library loads: without settings the first
    // export tries again, and reports what still fails.
  }
}

void OnLibraryUnload() noexcept {
  try {
    if (CGridmoorApp::Exists()) CGridmoorApp::Instance().ExitInstance();
  } catch (...) {
    // Nobody to tell while the library unloads: a failed write at exit is
    // ignored.
  }
}

}  // namespace driver
