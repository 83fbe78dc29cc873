#include "common/notices.h"

#include <stdlib.h>
#include <unistd.h>

#include <fstream>
#include <iterator>

#include "common/files.h"
#include "platform/notices.h"

namespace refhost {
namespace {
constexpr const char* kVariable = platform::kNoticeFileVariable;
}  // namespace

NoticeFile::NoticeFile() {
  std::string name = (TemporaryRoot() / "gridmoor-notices-XXXXXX").string();
  const int fd = ::mkstemp(name.data());
  if (fd < 0) return;
  ::close(fd);
  path_ = name;
  ::setenv(kVariable, name.c_str(), 1);
}

NoticeFile::~NoticeFile() {
  if (path_.empty()) return;
  ::unsetenv(kVariable);
  std::error_code ignored;
  std::filesystem::remove(path_, ignored);
}

std::vector<std::string> NoticeFile::Take() {
  std::vector<std::string> notices;
  if (path_.empty()) return notices;
  std::ifstream in(path_, std::ios::binary);
  in.seekg(static_cast<std::streamoff>(taken_));
  const std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  // Only whole lines: a notice being written stays for the next call.
  std::size_t start = 0;
  for (std::size_t end = text.find('\n'); end != std::string::npos; end = text.find('\n', start)) {
    if (end > start) notices.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  taken_ += start;
  return notices;
}

}  // namespace refhost
