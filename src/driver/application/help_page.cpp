#include "driver/application/help_page.h"

#include <cctype>
#include <cstdio>

namespace driver {
namespace {

// Percent-encodes everything but unreserved characters and the separators.
std::string UrlPath(const std::string& path) {
  std::string out;
  for (const char c : path) {
    const auto byte = static_cast<unsigned char>(c);
    if (std::isalnum(byte) != 0 || c == '/' || c == '-' || c == '_' || c == '.' || c == '~') {
      out += c;
    } else {
      char escaped[4];
      std::snprintf(escaped, sizeof escaped, "%%%02X", byte);
      out += escaped;
    }
  }
  return out;
}

}  // namespace

std::string HelpTarget(const std::filesystem::path& file, int context) {
  std::string extension = file.extension().string();
  for (char& c : extension)
    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (extension != ".html" && extension != ".htm") return file.string();
  const std::filesystem::path absolute =
      file.is_absolute() ? file : std::filesystem::absolute(file);
  return "file://" + UrlPath(absolute.lexically_normal().string()) + "#topic-" +
         std::to_string(context);
}

}  // namespace driver
