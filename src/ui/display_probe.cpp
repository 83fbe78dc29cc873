#include "ui/display_probe.h"

#include <dlfcn.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>

#include "platform/environment.h"

namespace ui {
namespace {

// The first platform of a list ("wayland;xcb"), without its options.
std::string PlatformName(const std::string& setting) {
  std::string name = setting.substr(0, setting.find(';'));
  return name.substr(0, name.find(':'));
}

// Connects to the X server as Qt's xcb platform will, through the same
// client library; xcb_connect reports failure in the connection instead of
// aborting.
std::string ProbeX(const std::string& display) {
  void* xcb = dlopen("libxcb.so.1", RTLD_NOW | RTLD_LOCAL);
  if (xcb == nullptr) return "The X client library (libxcb) cannot be loaded";
  using Connect = void* (*)(const char*, int*);
  using HasError = int (*)(void*);
  using Disconnect = void (*)(void*);
  auto connect = reinterpret_cast<Connect>(dlsym(xcb, "xcb_connect"));
  auto hasError = reinterpret_cast<HasError>(dlsym(xcb, "xcb_connection_has_error"));
  auto disconnect = reinterpret_cast<Disconnect>(dlsym(xcb, "xcb_disconnect"));
  std::string why;
  if (connect == nullptr || hasError == nullptr || disconnect == nullptr) {
    why = "The X client library (libxcb) is incomplete";
  } else {
    void* connection = connect(display.c_str(), nullptr);
    if (connection == nullptr || hasError(connection) != 0) {
      why = "The display \"" + display + "\" does not answer";
    }
    if (connection != nullptr) disconnect(connection);
  }
  // The library stays loaded: Qt's xcb platform uses it anyway.
  return why;
}

std::string ProbeWayland(const std::string& name, const std::optional<std::string>& runtimeDir) {
  std::string path = name;
  if (path.empty() || path.front() != '/') {
    if (!runtimeDir || runtimeDir->empty()) return "XDG_RUNTIME_DIR is not set";
    path = *runtimeDir + "/" + (name.empty() ? std::string("wayland-0") : name);
  }
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (path.size() >= sizeof(address.sun_path)) return "The Wayland socket path is too long";
  std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
  const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return "No socket can be opened";
  const bool answers =
      ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
  close(fd);
  return answers ? std::string() : "The Wayland display \"" + path + "\" does not answer";
}

}  // namespace

DisplayEnvironment CurrentDisplayEnvironment() {
  return {platform::GetEnv("QT_QPA_PLATFORM"), platform::GetEnv("DISPLAY"),
          platform::GetEnv("WAYLAND_DISPLAY"), platform::GetEnv("XDG_RUNTIME_DIR")};
}

std::string DisplayRefusal(const DisplayEnvironment& environment) {
  const std::string platform =
      environment.qpaPlatform ? PlatformName(*environment.qpaPlatform) : std::string();
  if (platform == "offscreen" || platform == "minimal") return {};
  const bool wantsX = platform == "xcb" || (platform.empty() && environment.display);
  if (wantsX) {
    if (!environment.display || environment.display->empty()) return "DISPLAY is not set";
    return ProbeX(*environment.display);
  }
  if (platform.rfind("wayland", 0) == 0 || (platform.empty() && environment.waylandDisplay)) {
    return ProbeWayland(environment.waylandDisplay.value_or(""), environment.runtimeDir);
  }
  if (!platform.empty()) return {};  // another platform of Qt's own: it reports for itself
  return "No display: none of QT_QPA_PLATFORM, DISPLAY and WAYLAND_DISPLAY is set";
}

}  // namespace ui
