// Headless Chromium for the report's tests and benchmark: a page loaded
// with its DOM after the scripts ran, what the console said, a screenshot.
#pragma once

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

extern char** environ;

namespace browsertest {

namespace fs = std::filesystem;

// $GRIDMOOR_CHROMIUM, else Debian's chromium; empty when there is none.
inline std::string ChromiumProgram() {
  if (const char* p = std::getenv("GRIDMOOR_CHROMIUM"); p != nullptr && *p != '\0')
    return ::access(p, X_OK) == 0 ? p : "";
  for (const char* p : {"/usr/bin/chromium", "/usr/bin/chromium-browser"})
    if (::access(p, X_OK) == 0) return p;
  return "";
}

inline constexpr const char* kNoChromium =
    "headless Chromium is missing (apt-get install chromium, or scripts/install-deps); "
    "the report is not checked in a browser";

inline std::string ReadFile(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

// Runs `argv` with stdout and stderr into files, at most `seconds`.
inline int RunProgram(std::vector<std::string> argv, const fs::path& out, const fs::path& err,
                      int seconds) {
  argv.insert(argv.begin(), {"/usr/bin/timeout", "-k", "5", std::to_string(seconds)});
  std::vector<char*> args;
  for (std::string& a : argv)
    args.push_back(a.data());
  args.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  pid_t pid = -1;
  const int started = posix_spawn(&pid, args[0], &actions, nullptr, args.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (started != 0) return -1;
  int raw = 0;
  ::waitpid(pid, &raw, 0);
  return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
}

struct LoadedPage {
  int status = -1;
  std::string dom;
  std::vector<std::string> console;  // every message the page's console got
  std::string log;                   // the browser's own output, for failures
};

inline std::vector<std::string> BrowserArguments(const fs::path& profile) {
  std::vector<std::string> a = {ChromiumProgram(),         "--headless",
                                "--disable-gpu",           "--no-first-run",
                                "--hide-scrollbars",       "--user-data-dir=" + profile.string(),
                                "--enable-logging=stderr", "--v=0"};
  // Chromium refuses to start as root inside its sandbox.
  if (::getuid() == 0) a.push_back("--no-sandbox");
  return a;
}

inline std::string FileUrl(const fs::path& page) {
  return "file://" + fs::absolute(page).string();
}

// The page's DOM once its scripts ran, and its console messages.
inline LoadedPage LoadPage(const fs::path& page, const fs::path& scratch) {
  fs::create_directories(scratch);
  std::vector<std::string> a = BrowserArguments(scratch / "profile");
  a.push_back("--window-size=1280,2000");
  a.push_back("--dump-dom");
  a.push_back(FileUrl(page));
  LoadedPage loaded;
  loaded.status = RunProgram(a, scratch / "dom.html", scratch / "browser.log", 120);
  loaded.dom = ReadFile(scratch / "dom.html");
  loaded.log = ReadFile(scratch / "browser.log");
  std::istringstream lines(loaded.log);
  for (std::string line; std::getline(lines, line);)
    if (line.find(":CONSOLE") != std::string::npos) loaded.console.push_back(line);
  return loaded;
}

// A screenshot of the page's top `height` pixels.
inline int Screenshot(const fs::path& page, const fs::path& png, const fs::path& scratch,
                      int height = 2400) {
  fs::create_directories(scratch);
  fs::create_directories(png.parent_path());
  std::vector<std::string> a = BrowserArguments(scratch / "profile");
  a.push_back("--window-size=1280," + std::to_string(height));
  a.push_back("--screenshot=" + fs::absolute(png).string());
  a.push_back(FileUrl(page));
  return RunProgram(a, scratch / "shot.out", scratch / "shot.log", 120);
}

// An attribute of the page's root element, as the page's script set it.
inline std::string RootAttribute(const std::string& dom, const std::string& name) {
  const std::size_t html = dom.find("<html");
  if (html == std::string::npos) return "";
  const std::string tag = dom.substr(html, dom.find('>', html) - html);
  std::smatch m;
  if (std::regex_search(tag, m, std::regex(" " + name + "=\"([^\"]*)\""))) return m[1];
  return "";
}

// Every chart's data-set sizes by its name ("stream-1-rates" -> {3, 3, 3}),
// as the page read them back from Chart.js.
inline std::map<std::string, std::vector<long>> ChartPoints(const std::string& dom) {
  std::map<std::string, std::vector<long>> charts;
  const std::regex canvas("<canvas data-chart=\"([^\"]*)\"[^>]*data-points=\"([0-9,]*)\"");
  for (auto it = std::sregex_iterator(dom.begin(), dom.end(), canvas); it != std::sregex_iterator();
       ++it) {
    std::vector<long> sizes;
    std::istringstream list((*it)[2].str());
    for (std::string n; std::getline(list, n, ',');)
      sizes.push_back(std::stol(n));
    charts[(*it)[1].str()] = sizes;
  }
  return charts;
}

}  // namespace browsertest
