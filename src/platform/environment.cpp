#include "platform/environment.h"

#include <cstdlib>
#include <cstring>
#include <mutex>

namespace platform {
namespace {

std::mutex& EnvironmentMutex() {
  // Never freed: threads may read the environment while statics are destroyed.
  static std::mutex* const mutex = new std::mutex;
  return *mutex;
}

bool IsAcceptableName(const char* name) {
  return name != nullptr && *name != '\0' && std::strchr(name, '=') == nullptr;
}

}  // namespace

std::optional<std::string> GetEnv(const char* name) {
  if (!IsAcceptableName(name)) return std::nullopt;
  std::lock_guard lock(EnvironmentMutex());
  const char* value = std::getenv(name);
  if (value == nullptr) return std::nullopt;
  return std::string(value);
}

bool SetEnv(const char* name, std::string_view value) {
  if (!IsAcceptableName(name)) return false;
  const std::string copy(value);
  std::lock_guard lock(EnvironmentMutex());
  return ::setenv(name, copy.c_str(), 1) == 0;
}

bool UnsetEnv(const char* name) {
  if (!IsAcceptableName(name)) return false;
  std::lock_guard lock(EnvironmentMutex());
  return ::unsetenv(name) == 0;
}

}  // namespace platform
