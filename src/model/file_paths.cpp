#include "model/file_paths.h"

#include "automation/cell_address.h"
#include "platform/files.h"
#include "text/ascii.h"

namespace model {
namespace {

bool IsSeparator(char c) {
  return c == '\\' || c == '/';
}

}  // namespace

std::optional<std::string> FileNamePart(std::string_view path) {
  const std::size_t last = path.find_last_of("\\/");
  if (last == std::string_view::npos) return std::nullopt;
  return std::string(path.substr(last + 1));
}

std::optional<std::string> PathInDirectory(std::string_view path, std::string_view directory) {
  const std::optional<std::string> name = FileNamePart(path);
  if (!name || text::IsBlank(directory)) return std::nullopt;
  while (directory.size() > 1 && IsSeparator(directory.back()))
    directory.remove_suffix(1);
  std::string joined(directory);
  if (!IsSeparator(joined.back())) joined += '/';
  return joined + *name;
}

bool IsExistingFile(const std::string& path) {
  const platform::FileStatus status = platform::GetFileStatus(path);
  return status.exists && !status.isDirectory;
}

}  // namespace model
