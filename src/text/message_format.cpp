#include "text/message_format.h"

#include <cstdio>
#include <string_view>

#include "text/utf8.h"

namespace text {

std::string FormatStringV(const char* fmt, va_list args) {
  char small[512];
  va_list copy;
  va_copy(copy, args);
  const int needed = std::vsnprintf(small, sizeof small, fmt, copy);
  va_end(copy);
  if (needed < 0) return std::string();
  if (static_cast<std::size_t>(needed) < sizeof small) return std::string(small, needed);
  std::string text(static_cast<std::size_t>(needed), '\0');
  va_copy(copy, args);
  const int written = std::vsnprintf(text.data(), text.size() + 1, fmt, copy);
  va_end(copy);
  if (written < 0) return std::string();
  if (static_cast<std::size_t>(written) < text.size()) text.resize(written);
  return text;
}

std::string FormatString(const char* fmt, ...) {
  va_list args;
  va_start(args, fmt);
  std::string text = FormatStringV(fmt, args);
  va_end(args);
  return text;
}

int PrintMessageV(char* field, std::size_t fieldSize, const char* fmt, va_list args) {
  if (field == nullptr || fieldSize == 0) return -1;
  const std::string formatted = FormatStringV(fmt, args);
  const std::string_view text = std::string_view(formatted).substr(0, formatted.find('\0'));
  return static_cast<int>(CopyTerminated(text, field, fieldSize));
}

int PrintMessage(char* field, std::size_t fieldSize, const char* fmt, ...) {
  va_list args;
  va_start(args, fmt);
  const int written = PrintMessageV(field, fieldSize, fmt, args);
  va_end(args);
  return written;
}

}  // namespace text
