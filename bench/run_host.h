// Runs the reference host as a user would, its output thrown away, for the
// benchmarks that time whole runs.
#pragma once

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

namespace bench {

// `arguments` (the program first) with `environment` set on top of this
// process's; true when the program exited with status 0.
inline bool RunQuietly(std::vector<std::string> arguments,
                       const std::vector<std::pair<std::string, std::string>>& environment = {}) {
  std::vector<char*> argv;
  for (std::string& argument : arguments)
    argv.push_back(argument.data());
  argv.push_back(nullptr);
  const pid_t pid = ::fork();
  if (pid == 0) {
    for (const auto& [name, value] : environment)
      ::setenv(name.c_str(), value.c_str(), 1);
    std::freopen("/dev/null", "w", stdout);
    std::freopen("/dev/null", "w", stderr);
    ::execv(argv[0], argv.data());
    ::_exit(127);
  }
  int status = 0;
  ::waitpid(pid, &status, 0);
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

}  // namespace bench
