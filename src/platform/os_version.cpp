#include "platform/os_version.h"

#include <sys/utsname.h>

#include <charconv>

namespace platform {
namespace {

// Reads the decimal number at the start of `text` and moves past it and one
// following '.'; 0 (and nothing left to read) when there is no number.
int TakeNumber(std::string_view& text) {
  int value = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec == std::errc::invalid_argument) {
    text = {};
    return 0;
  }
  if (ec == std::errc::result_out_of_range) value = 0;
  text.remove_prefix(static_cast<std::size_t>(end - text.data()));
  if (!text.empty() && text.front() == '.') {
    text.remove_prefix(1);
  } else {
    text = {};
  }
  return value;
}

}  // namespace

OsVersion MakeOsVersion(std::string_view systemName, std::string_view release) {
  OsVersion version;
  version.systemName = std::string(systemName);
  version.release = std::string(release);
  std::string_view rest = release;
  version.major = TakeNumber(rest);
  version.minor = TakeNumber(rest);
  return version;
}

OsVersion CurrentOsVersion() {
  utsname names{};
  if (::uname(&names) != 0) return {};
  return MakeOsVersion(names.sysname, names.release);
}

}  // namespace platform
