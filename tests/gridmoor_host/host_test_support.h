// Running the program itself in a test: a private folder and the program's
// exit status and output.
#pragma once

#include <stdlib.h>
#include <sys/wait.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace hosttest {

struct Result {
  int status = -1;
  std::string out, err;
};

inline std::string ReadText(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

class Folder {
 public:
  Folder() {
    char name[] = "/tmp/gridmoor-host-test-XXXXXX";
    path_ = mkdtemp(name);
  }
  ~Folder() { std::filesystem::remove_all(path_); }
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

// The program with `arguments` (shell words), its output kept in `scratch`;
// `environment` goes before the command ("TMPDIR=/x").
inline Result Host(const std::string& arguments, const std::filesystem::path& scratch,
                   const std::string& environment = "") {
  const std::filesystem::path out = scratch / "stdout.txt", err = scratch / "stderr.txt";
  const std::string command = environment + " " + GRIDMOOR_HOST_PROGRAM + " --library " +
                              GRIDMOOR_LIBRARY_FILE + " " + arguments + " >" + out.string() +
                              " 2>" + err.string();
  const int raw = std::system(command.c_str());
  Result r;
  r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  r.out = ReadText(out);
  r.err = ReadText(err);
  return r;
}

}  // namespace hosttest
