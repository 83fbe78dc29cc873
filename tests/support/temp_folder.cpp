#include "support/temp_folder.h"

#include <stdlib.h>

#include <cerrno>
#include <system_error>

namespace test_support {

TempFolder::TempFolder() {
  std::string pattern = (std::filesystem::temp_directory_path() / "gridmoor-test-XXXXXX").string();
  if (::mkdtemp(pattern.data()) == nullptr) {
    throw std::system_error(errno, std::generic_category(), "cannot create temporary folder");
  }
  path_ = pattern;
}

TempFolder::~TempFolder() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

}  // namespace test_support
