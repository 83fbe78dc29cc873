#include "excel/calc/process/office_program.h"

#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <fstream>
#include <functional>
#include <string>
#include <system_error>

#include "platform/environment.h"

namespace excel::calc {
namespace fs = std::filesystem;
namespace {

constexpr const char* kWrapperName = "soffice";

bool IsExecutableFile(const fs::path& path) {
  std::error_code error;
  return fs::is_regular_file(path, error) && ::access(path.c_str(), X_OK) == 0;
}

// The program for a file or folder named by the user or found on PATH.
std::optional<fs::path> ProgramFor(const fs::path& named) {
  std::error_code error;
  if (fs::is_directory(named, error)) {
    const fs::path inside = named / kOfficeProgramName;
    if (IsExecutableFile(inside)) return inside;
    return std::nullopt;
  }
  if (!fs::exists(named, error)) return std::nullopt;
  // The wrapper script (often a link into the program folder): take the
  // soffice.bin beside the file it resolves to.
  if (named.filename() != kOfficeProgramName) {
    const fs::path resolved = fs::canonical(named, error);
    if (!error) {
      const fs::path beside = resolved.parent_path() / kOfficeProgramName;
      if (IsExecutableFile(beside)) return beside;
    }
  }
  if (IsExecutableFile(named)) return named;
  return std::nullopt;
}

}  // namespace

std::optional<fs::path> FindOfficeProgramIn(const std::optional<std::string>& overrideValue,
                                            std::string_view pathVariable,
                                            const std::vector<fs::path>& usualFolders) {
  if (overrideValue && !overrideValue->empty()) return ProgramFor(fs::path(*overrideValue));
  std::size_t start = 0;
  while (start <= pathVariable.size()) {
    std::size_t end = pathVariable.find(':', start);
    if (end == std::string_view::npos) end = pathVariable.size();
    const std::string_view folder = pathVariable.substr(start, end - start);
    start = end + 1;
    if (folder.empty()) continue;
    for (const char* name : {kOfficeProgramName, kWrapperName}) {
      const fs::path candidate = fs::path(folder) / name;
      std::error_code error;
      if (!fs::exists(candidate, error)) continue;
      if (std::optional<fs::path> program = ProgramFor(candidate)) return program;
    }
  }
  for (const fs::path& folder : usualFolders) {
    const fs::path candidate = folder / kOfficeProgramName;
    if (IsExecutableFile(candidate)) return candidate;
  }
  return std::nullopt;
}

std::optional<fs::path> FindOfficeProgram() {
  std::vector<fs::path> usual = {"/usr/lib/libreoffice/program",
                                 "/usr/local/lib/libreoffice/program", "/opt/libreoffice/program"};
  std::error_code error;
  for (const fs::directory_entry& entry : fs::directory_iterator("/opt", error)) {
    const std::string name = entry.path().filename().string();
    if (name.rfind("libreoffice", 0) == 0) usual.push_back(entry.path() / "program");
  }
  return FindOfficeProgramIn(platform::GetEnv("GRIDMOOR_SOFFICE"),
                             platform::GetEnv("PATH").value_or(""), usual);
}

namespace {

// Up to `wanted` bytes of what follows the first `marker` in `file`; nullopt
// when it has none. The file is read a piece at a time into the same
// buffer: a registry of megabytes read whole cost a run's start some 20 ms,
// most of it in faulting in fresh memory.
std::optional<std::string> TextAfter(const fs::path& file, std::string_view marker,
                                     std::size_t wanted) {
  std::ifstream in(file, std::ios::binary);
  if (!in) return std::nullopt;
  std::vector<char> piece(64 * 1024);
  std::string window;
  // The marker starts with a letter found every few bytes of the XML: a
  // plain find stops at each.
  const std::boyer_moore_horspool_searcher searcher(marker.begin(), marker.end());
  for (;;) {
    in.read(piece.data(), static_cast<std::streamsize>(piece.size()));
    const auto got = static_cast<std::size_t>(in.gcount());
    window.append(piece.data(), got);
    const bool ended = got == 0 || !in;
    const auto found = std::search(window.begin(), window.end(), searcher);
    if (found != window.end()) {
      const std::size_t from = static_cast<std::size_t>(found - window.begin()) + marker.size();
      if (window.size() - from >= wanted || ended) return window.substr(from, wanted);
      continue;  // the marker is kept until enough follows it
    }
    if (ended) return std::nullopt;
    // A marker cut by the piece's end is found whole in the next window.
    window.erase(0, window.size() - std::min(window.size(), marker.size() - 1));
  }
}

}  // namespace

std::optional<std::string> OfficeVersionOf(const fs::path& program) {
  // The registry part is several megabytes of XML; the property is found as
  // text, which is all that is needed of it.
  const std::optional<std::string> after =
      TextAfter(program.parent_path().parent_path() / "share" / "registry" / "main.xcd",
                "oor:name=\"ooSetupVersionAboutBox\">", 512);
  if (!after) return std::nullopt;
  const std::size_t open = after->find("<value>");
  const std::size_t close = after->find("</value>", open);
  if (open == std::string::npos || close == std::string::npos || close - open > 64)
    return std::nullopt;
  std::string version = after->substr(open + 7, close - open - 7);
  for (const char c : version)
    if (!std::isdigit(static_cast<unsigned char>(c)) && c != '.') return std::nullopt;
  if (version.empty()) return std::nullopt;
  return version;
}

std::string OfficeVersion() {
  const std::optional<fs::path> program = FindOfficeProgram();
  const std::optional<std::string> version = program ? OfficeVersionOf(*program) : std::nullopt;
  return version.value_or("unknown");
}

std::string FileUrlFromPath(const fs::path& path) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string url = "file://";
  for (const char c : path.string()) {
    const auto u = static_cast<unsigned char>(c);
    if (std::isalnum(u) || c == '/' || c == '-' || c == '_' || c == '.' || c == '~') {
      url += c;
    } else {
      url += '%';
      url += kHex[u >> 4];
      url += kHex[u & 0xF];
    }
  }
  return url;
}

std::string AbsolutePath(const std::string& path) {
  std::error_code error;
  const fs::path absolute = fs::absolute(path, error);
  return error ? path : absolute.lexically_normal().string();
}

}  // namespace excel::calc
