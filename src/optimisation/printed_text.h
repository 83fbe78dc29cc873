// What the optimisation and published-variable operations share when they
// word a message for the host.
#pragma once

#include <cstddef>
#include <string>

namespace optimisation {

// Room for a message from the automation layer, its NUL included: as much
// as the host's status text holds.
inline constexpr std::size_t kMessageRoom = 260;

// A text as a C format's %s prints it: up to its first NUL.
inline std::string Printed(const std::string& text) {
  return text.c_str();
}

}  // namespace optimisation
