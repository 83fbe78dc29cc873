// Test helpers for code that reads or writes the settings store.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "platform/registry.h"
#include "support/temp_folder.h"

namespace test_support {

// Sets (or, with nullopt, unsets) an environment variable for the lifetime
// of the object and restores the previous state afterwards.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, std::optional<std::string_view> value);
  ~ScopedEnv();
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  std::string name_;
  std::optional<std::string> previous_;
};

// A fresh temporary folder holding the settings file `registry.reg`, with
// GRIDMOOR_REGISTRY pointing at that file while the object lives. The folder
// and everything in it are removed at the end.
class TempRegistry {
 public:
  // Without `initialText` the settings file does not exist yet.
  explicit TempRegistry(std::optional<std::string_view> initialText = std::nullopt);

  const std::filesystem::path& folder() const { return folder_.path(); }
  const std::filesystem::path& file() const { return file_; }

  // Replaces the settings file with `text`, written byte for byte.
  void Write(std::string_view text) const;
  // The settings file's bytes; nullopt when it does not exist.
  std::optional<std::string> Read() const;
  // Loads the settings file; a load failure fails the current test and
  // gives an empty store bound to the file.
  platform::Registry Load() const;

 private:
  TempFolder folder_;
  std::filesystem::path file_;
  std::optional<ScopedEnv> env_;
};

}  // namespace test_support
