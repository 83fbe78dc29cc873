// The driver library as the integration host sees it: loaded with dlopen,
// every export looked up by its plain name, every request made through one
// Call that knows what each command code's result means.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "gridmoor/host.h"
#include "outcome/outcome.h"
#include "scenario/result_convention.h"

namespace refhost {

// What one request came back with.
struct Reply {
  std::int32_t result = 0;
  Outcome outcome = Outcome::kFailed;
  // The status text the library wrote (empty: no message).
  std::string text;

  bool ok() const { return outcome != Outcome::kFailed; }
};

// The settings the library reads when it loads. The program never touches
// the user's own settings file: it keeps a private one in memory, never on
// disk, and names it in GRIDMOOR_REGISTRY before dlopen.
struct LoadOptions {
  std::filesystem::path library;
  bool direct = false;
};

class Library {
 public:
  Library() = default;
  ~Library();
  Library(const Library&) = delete;
  Library& operator=(const Library&) = delete;

  // Writes the private settings, loads the library and looks up every
  // export; the error says which step failed.
  outcome::Error Load(const LoadOptions& options);

  const std::string& Path() const { return path_; }
  const std::filesystem::path& SettingsFile() const { return settingsFile_; }
  // The file `name` in a private folder for files the run hands the
  // library, made on first use and removed with this object (or by a signal
  // that ends the program); an error when it cannot be made.
  outcome::Expected<std::filesystem::path> ScratchFile(const std::string& name);
  bool Direct() const { return direct_; }

  // The identification record (version word set by the host).
  Reply Identify(std::vector<unsigned char>& record);
  // The library's release, from its release note; empty for a library without one.
  std::string Version() const;

  // Instance lifecycle. CreateInstance keeps the handle even on failure, so
  // DestroyInstance always has something to destroy.
  Reply CreateInstance();
  Reply StartApp();
  Reply StopApp();
  Reply DestroyInstance();
  bool HasInstance() const { return instance_ != nullptr; }

  // One ExtCmd request; the outcome follows the code's result convention.
  Reply Call(std::int32_t code, void* arg = nullptr, std::int32_t iarg = 0);

 private:
  void* handle_ = nullptr;
  std::string path_;
  bool direct_ = false;
  ExtInstance instance_ = nullptr;
  std::filesystem::path scratch_;
  std::filesystem::path settingsFile_;
  int settingsFd_ = -1;

  decltype(&ExtIdentify) identify_ = nullptr;
  decltype(&ExtCreateInstance) create_ = nullptr;
  decltype(&ExtDestroyInstance) destroy_ = nullptr;
  decltype(&ExtStartApp) start_ = nullptr;
  decltype(&ExtStopApp) stop_ = nullptr;
  decltype(&ExtCmd) command_ = nullptr;
};

// The private settings file's text: the threaded-mode switch and nothing
// else, so the library's own defaults hold for the rest.
std::string PrivateSettingsText(bool direct);

// The name the host uses for a command code in messages ("GetIPR").
const char* CommandName(std::int32_t code);

// What a command asks the driver to do, in words ("read output stream"):
// messages name the operation, not its code.
const char* CommandPurpose(std::int32_t code);

}  // namespace refhost
