// Headless Chromium for the report's tests and benchmark: a page loaded
// with its DOM after the scripts ran, what the console said, a screenshot,
// and a check that the screenshot shows something.
#pragma once

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
#include <zlib.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <set>
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

inline long Sum(const std::vector<long>& v) {
  long s = 0;
  for (long x : v)
    s += x;
  return s;
}

// Reads an 8-bit RGB or RGBA PNG; false with `why`.
inline bool ReadPng(const fs::path& file, int& width, int& height, std::vector<std::uint8_t>& rgb,
                    std::string& why) {
  const std::string bytes = ReadFile(file);
  if (bytes.size() < 8 || bytes.compare(0, 8, "\x89PNG\r\n\x1a\n") != 0) {
    why = "not a PNG: " + file.string();
    return false;
  }
  const auto u32 = [&](std::size_t at) {
    return static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[at])) << 24 |
           static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[at + 1])) << 16 |
           static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[at + 2])) << 8 |
           static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[at + 3]));
  };
  std::string idat;
  int depth = 0, colour = 0;
  for (std::size_t at = 8; at + 8 <= bytes.size();) {
    const std::uint32_t length = u32(at);
    const std::string type = bytes.substr(at + 4, 4);
    if (at + 12 + length > bytes.size()) break;
    if (type == "IHDR") {
      width = static_cast<int>(u32(at + 8));
      height = static_cast<int>(u32(at + 12));
      depth = static_cast<unsigned char>(bytes[at + 16]);
      colour = static_cast<unsigned char>(bytes[at + 17]);
    } else if (type == "IDAT") {
      idat += bytes.substr(at + 8, length);
    }
    at += 12 + length;
  }
  const int channels = colour == 6 ? 4 : colour == 2 ? 3 : 0;
  if (depth != 8 || channels == 0 || width <= 0 || height <= 0) {
    why = "an unexpected PNG layout (depth " + std::to_string(depth) + ", colour type " +
          std::to_string(colour) + ")";
    return false;
  }
  const std::size_t stride = static_cast<std::size_t>(width) * channels;
  std::vector<std::uint8_t> raw((stride + 1) * static_cast<std::size_t>(height));
  uLongf size = raw.size();
  if (uncompress(raw.data(), &size, reinterpret_cast<const Bytef*>(idat.data()), idat.size()) !=
          Z_OK ||
      size != raw.size()) {
    why = "the PNG's image data does not inflate";
    return false;
  }
  std::vector<std::uint8_t> pixels(stride * static_cast<std::size_t>(height));
  for (std::size_t y = 0; y < static_cast<std::size_t>(height); ++y) {
    const std::uint8_t filter = raw[y * (stride + 1)];
    const std::uint8_t* in = &raw[y * (stride + 1) + 1];
    std::uint8_t* row = &pixels[y * stride];
    const std::uint8_t* up = y > 0 ? &pixels[(y - 1) * stride] : nullptr;
    for (std::size_t x = 0; x < stride; ++x) {
      const int a = x >= static_cast<std::size_t>(channels) ? row[x - channels] : 0;
      const int b = up ? up[x] : 0;
      const int c = up && x >= static_cast<std::size_t>(channels) ? up[x - channels] : 0;
      int p = in[x];
      switch (filter) {
        case 1:
          p += a;
          break;
        case 2:
          p += b;
          break;
        case 3:
          p += (a + b) / 2;
          break;
        case 4: {
          const int e = a + b - c, pa = std::abs(e - a), pb = std::abs(e - b), pc = std::abs(e - c);
          p += pa <= pb && pa <= pc ? a : pb <= pc ? b : c;
          break;
        }
        default:
          break;
      }
      row[x] = static_cast<std::uint8_t>(p);
    }
  }
  rgb.clear();
  rgb.reserve(static_cast<std::size_t>(width) * height * 3);
  for (std::size_t i = 0; i < pixels.size(); i += channels)
    rgb.insert(rgb.end(), {pixels[i], pixels[i + 1], pixels[i + 2]});
  return true;
}

// Not blank: a share of the pixels differs from the background (the top
// left corner) and the picture has more than a few colours (text, lines).
inline bool ShowsSomething(const fs::path& png, std::string& why) {
  int width = 0, height = 0;
  std::vector<std::uint8_t> rgb;
  if (!ReadPng(png, width, height, rgb, why)) return false;
  std::set<std::uint32_t> colours;
  std::size_t differ = 0;
  const std::size_t count = rgb.size() / 3;
  for (std::size_t i = 0; i < count; ++i) {
    const std::uint32_t c = static_cast<std::uint32_t>(rgb[3 * i]) << 16 |
                            static_cast<std::uint32_t>(rgb[3 * i + 1]) << 8 | rgb[3 * i + 2];
    if (colours.size() < 1000) colours.insert(c);
    if (rgb[3 * i] != rgb[0] || rgb[3 * i + 1] != rgb[1] || rgb[3 * i + 2] != rgb[2]) ++differ;
  }
  if (differ * 100 < count || colours.size() < 16) {
    why = png.string() + " looks blank: " + std::to_string(differ) + " of " +
          std::to_string(count) + " pixels differ from the background, " +
          std::to_string(colours.size()) + " colours";
    return false;
  }
  return true;
}

}  // namespace browsertest
