#include "com/error.h"

#include "com/error_text.h"

namespace com {

namespace {

// One line, without the blanks around it: texts from the application may
// span lines, and a message field holds one.
std::string OneLine(const std::string& text) {
  std::string line;
  bool blank = false;
  for (const char c : text) {
    if (c == '\r' || c == '\n' || c == '\t' || c == ' ') {
      blank = !line.empty();
      continue;
    }
    if (blank) line += ' ';
    blank = false;
    line += c;
  }
  return line;
}

}  // namespace

Error::Error(HRESULT hr) : std::runtime_error(ComErrorText(hr)), hr_(hr) {}

Error::Error(HRESULT hr, const std::string& description)
    : std::runtime_error(OneLine(description).empty() ? ComErrorText(hr) : OneLine(description)),
      hr_(hr),
      hasDescription_(!OneLine(description).empty()) {}

outcome::Error Failure(HRESULT hr, const std::string& description) {
  return outcome::Error::Failed(Error(hr, description).what());
}

void Throw(HRESULT hr) {
  throw Error(hr);
}

void Throw(HRESULT hr, const std::string& description) {
  throw Error(hr, description);
}

HRESULT ThrowIfFailed(HRESULT hr) {
  if (FAILED(hr)) Throw(hr);
  return hr;
}

}  // namespace com
