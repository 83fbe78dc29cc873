// The server behind `gridmoor-host office start`: one warm office, handed
// to one run at a time, put back or replaced after each as run-many does.
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <sstream>
#include <thread>
#include <vector>

#include "common/interrupt.h"
#include "excel/calc/calc_application.h"
#include "offices/office_socket.h"
#include "offices/user_office.h"

namespace refhost {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using office_socket::SendLine;

// A socket listening at the folder's socket path, or -1.
int Listen(const fs::path& folder) {
  const std::string path = office_socket::SocketPath(folder).string();
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (path.size() >= sizeof address.sun_path) return -1;
  std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
  const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  ::unlink(path.c_str());  // a dead server's: the lock says none lives
  if (::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
      ::listen(fd, 16) != 0) {
    ::close(fd);
    return -1;
  }
  return fd;
}

class OfficeServer {
 public:
  OfficeServer(int listener, WarmOffices::Starter start)
      : listener_(listener), offices_(1, notices_, std::move(start)) {}

  // Until stopped; `readyFd` hears of the first office.
  void Serve(int readyFd) {
    while (!(stopping_ && holder_ < 0 && waiting_ < 0) && InterruptSignal() == 0) {
      std::vector<pollfd> watched{{listener_, POLLIN, 0}};
      for (const Client& c : clients_)
        watched.push_back({c.fd, POLLIN, 0});
      const bool pending = waiting_ >= 0 || readyFd >= 0;
      if (::poll(watched.data(), watched.size(), pending ? 20 : 250) > 0) {
        if (watched[0].revents != 0) Accept();
        for (std::size_t i = 1; i < watched.size(); ++i)
          if (watched[i].revents != 0) Read(watched[i].fd);
        std::erase_if(clients_, [](const Client& c) { return c.fd < 0; });
      }
      if (readyFd >= 0) readyFd = TellReady(readyFd);
      if (waiting_ >= 0) HandOver();
    }
    for (const Client& c : clients_)
      ::close(c.fd);
  }

 private:
  struct Client {
    int fd;
    std::string pending;
  };

  void Accept() {
    const int fd = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
    if (fd >= 0) clients_.push_back({fd, {}});
  }

  void Read(int fd) {
    Client& client = *std::find_if(clients_.begin(), clients_.end(),
                                   [fd](const Client& c) { return c.fd == fd; });
    char buffer[512];
    const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
    if (n > 0 && client.pending.size() < 4096) {
      client.pending.append(buffer, static_cast<std::size_t>(n));
      for (std::size_t end; (end = client.pending.find('\n')) != std::string::npos;) {
        const std::string line = client.pending.substr(0, end);
        client.pending.erase(0, end + 1);
        Answer(fd, line);
      }
      return;
    }
    if (n < 0 && (errno == EAGAIN || errno == EINTR)) return;
    // Gone: a run that never said how it ended may have left anything.
    if (fd == holder_) EndLease(false);
    if (fd == waiting_) waiting_ = -1;
    ::close(fd);
    client.fd = -1;
  }

  void Answer(int fd, const std::string& line) {
    if (line == "status") {
      const int office = OfficeNow();
      SendLine(fd,
               "up " + std::to_string(::getpid()) + " " + std::to_string(office) + " " + Doing());
    } else if (line == "lease") {
      if (stopping_) {
        SendLine(fd, "none the office is being stopped");
      } else if (holder_ >= 0 || waiting_ >= 0) {
        SendLine(fd, "busy");  // one run at a time: the other starts its own
      } else {
        waiting_ = fd;
      }
    } else if ((line == "passed" || line == "failed") && fd == holder_) {
      EndLease(line == "passed");
    } else if (line == "stop") {
      stopping_ = true;
      SendLine(fd, "stopping " + std::to_string(::getpid()) + (holder_ >= 0 ? " 1" : " 0"));
    }
  }

  // The office's process when it is idle and answers, or 0.
  int OfficeNow() {
    if (holder_ >= 0) return offices_.ProcessId(0);
    const std::optional<std::string> pipe = offices_.Ready(0);
    return pipe && !pipe->empty() ? offices_.ProcessId(0) : 0;
  }

  std::string Doing() {
    if (holder_ >= 0) return "in use by a run";
    return offices_.ProcessId(0) != 0 ? "idle" : "being made ready";
  }

  void EndLease(bool passed) {
    holder_ = -1;
    offices_.Release(0, passed);
  }

  // The waiting run gets the office once it is ready, or hears why not.
  void HandOver() {
    const std::optional<std::string> pipe = offices_.Ready(0);
    if (!pipe) return;
    if (pipe->empty()) {
      SendLine(waiting_, "none " + FailureText());
    } else if (SendLine(waiting_,
                        "office " + std::to_string(offices_.ProcessId(0)) + " " + *pipe)) {
      holder_ = waiting_;
    }
    waiting_ = -1;
  }

  // The descriptor while the first office is still to come, else -1.
  int TellReady(int readyFd) {
    const std::optional<std::string> pipe = offices_.Ready(0);
    if (!pipe) return readyFd;
    const std::string line = pipe->empty() ? "failed " + FailureText()
                                           : "ready " + std::to_string(offices_.ProcessId(0)) +
                                                 " " + std::to_string(::getpid());
    if (pipe->empty()) stopping_ = true;  // a server without an office serves no one
    static_cast<void>(SendLine(readyFd, line));
    ::close(readyFd);
    return -1;
  }

  std::string FailureText() const {
    std::string text = notices_.str();
    const std::string prefix = "gridmoor-host: ";
    if (text.rfind(prefix, 0) == 0) text.erase(0, prefix.size());
    while (!text.empty() && text.back() == '\n')
      text.pop_back();
    return text.empty() ? "no office could be started" : text;
  }

  int listener_;
  std::ostringstream notices_;
  WarmOffices offices_;
  std::vector<Client> clients_;
  int holder_ = -1, waiting_ = -1;  // the run that has the office, the one that waits
  bool stopping_ = false;
};

}  // namespace

int ServeUserOffice(const fs::path& folder, int readyFd, WarmOffices::Starter start) {
  // The lock, held for the server's life, says that it lives: a socket
  // without it is stale. One starting at the same moment waits its turn.
  int lock = -1;
  for (int tries = 0; lock < 0 && tries < 20; ++tries) {
    if ((lock = office_socket::LockFolder(folder)) < 0) {
      if (const int other = office_socket::Connect(folder); other >= 0) {
        ::close(other);
        break;
      }
      std::this_thread::sleep_for(50ms);
    }
  }
  if (lock < 0) {
    static_cast<void>(SendLine(readyFd, "running"));
    return 0;
  }
  const int listener = Listen(folder);
  if (listener < 0) {
    static_cast<void>(SendLine(readyFd, std::string("failed cannot listen at ") +
                                            office_socket::SocketPath(folder).string() + ": " +
                                            std::strerror(errno)));
    return 1;
  }
  // Its own calls only ask whether the office answers and put it back: an
  // office that takes longer is frozen and is replaced.
  excel::calc::SetOfficeCallTimeout(30s);
  ArmInterrupt(true);
  {
    OfficeServer server(listener, std::move(start));
    server.Serve(readyFd);
  }  // the office ends here
  ::unlink(office_socket::SocketPath(folder).c_str());
  ::close(listener);
  ::close(lock);
  return 0;
}

}  // namespace refhost
