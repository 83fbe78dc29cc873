// Whether Qt could open its display here. QApplication aborts the process
// when it cannot, so the dialogs ask this first, in a way that cannot abort.
#pragma once

#include <optional>
#include <string>

namespace ui {

struct DisplayEnvironment {
  std::optional<std::string> qpaPlatform;     // QT_QPA_PLATFORM
  std::optional<std::string> display;         // DISPLAY
  std::optional<std::string> waylandDisplay;  // WAYLAND_DISPLAY
  std::optional<std::string> runtimeDir;      // XDG_RUNTIME_DIR
};

DisplayEnvironment CurrentDisplayEnvironment();

// Empty when a display answers (or the platform needs none: offscreen,
// minimal); otherwise the reason no dialog can be shown.
std::string DisplayRefusal(const DisplayEnvironment& environment);

}  // namespace ui
