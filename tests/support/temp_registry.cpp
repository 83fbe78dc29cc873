#include "support/temp_registry.h"

#include <gtest/gtest.h>

#include <fstream>
#include <stdexcept>

#include "platform/environment.h"
#include "platform/files.h"

namespace test_support {

ScopedEnv::ScopedEnv(const char* name, std::optional<std::string_view> value)
    : name_(name), previous_(platform::GetEnv(name)) {
  const bool done = value ? platform::SetEnv(name, *value) : platform::UnsetEnv(name);
  if (!done) throw std::runtime_error("cannot change environment variable " + name_);
}

ScopedEnv::~ScopedEnv() {
  if (previous_) {
    platform::SetEnv(name_.c_str(), *previous_);
  } else {
    platform::UnsetEnv(name_.c_str());
  }
}

TempRegistry::TempRegistry(std::optional<std::string_view> initialText)
    : file_(folder_.path() / "registry.reg") {
  env_.emplace("GRIDMOOR_REGISTRY", file_.string());
  if (initialText) Write(*initialText);
}

void TempRegistry::Write(std::string_view text) const {
  std::ofstream out(file_, std::ios::binary | std::ios::trunc);
  out.write(text.data(), static_cast<std::streamsize>(text.size()));
  if (!out.flush()) throw std::runtime_error("cannot write " + file_.string());
}

std::optional<std::string> TempRegistry::Read() const {
  return platform::ReadWholeFile(file_, nullptr);
}

platform::Registry TempRegistry::Load() const {
  outcome::Expected<platform::Registry> registry = platform::Registry::Load(file_);
  if (!registry) {
    ADD_FAILURE() << "settings file did not load: " << registry.GetError().Message();
    return platform::Registry(file_);
  }
  return std::move(*registry);
}

}  // namespace test_support
