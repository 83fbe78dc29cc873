// Environment variables. These helpers serialise among themselves; code that
// calls getenv/setenv directly on another thread is not covered.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace platform {

// nullopt when the variable is not set; an empty text when set to "".
std::optional<std::string> GetEnv(const char* name);
// False when the name is not acceptable (empty, or containing '='). A value
// holding a NUL byte is stored up to that byte, as the C interface allows.
bool SetEnv(const char* name, std::string_view value);
bool UnsetEnv(const char* name);

}  // namespace platform
