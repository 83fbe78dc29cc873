#include "running/parent_watch.h"

#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <thread>

namespace refhost {

namespace {

bool InputIsPipe() {
  struct stat status {};
  return ::fstat(STDIN_FILENO, &status) == 0 &&
         (S_ISFIFO(status.st_mode) || S_ISSOCK(status.st_mode));
}

// Whether the parent is gone, waiting up to a quarter second for the pipe.
bool ParentGone(pid_t parent, bool pipe) {
  if (::getppid() != parent) return true;
  if (!pipe) {
    ::usleep(250000);
    return false;
  }
  pollfd input{STDIN_FILENO, POLLIN, 0};
  if (::poll(&input, 1, 250) <= 0) return false;
  // What the parent writes is not read by anything else: taken and dropped.
  char chunk[256];
  const ssize_t got = ::read(STDIN_FILENO, chunk, sizeof chunk);
  return got == 0 || (got < 0 && errno != EINTR && errno != EAGAIN);
}

void Unheeded(int) {}

}  // namespace

void SurviveClosedPipes() {
  // A handler, unlike ignoring the signal, is not passed on to the programs
  // this one starts.
  struct sigaction quiet {};
  quiet.sa_handler = Unheeded;
  ::sigemptyset(&quiet.sa_mask);
  ::sigaction(SIGPIPE, &quiet, nullptr);
}

void WatchParent() {
  // The parent's pipes close with it.
  SurviveClosedPipes();
  const pid_t parent = ::getppid();
  const bool pipe = InputIsPipe();
  std::thread([parent, pipe] {
    while (!ParentGone(parent, pipe)) {
    }
    ::kill(::getpid(), SIGTERM);
  }).detach();
}

}  // namespace refhost
