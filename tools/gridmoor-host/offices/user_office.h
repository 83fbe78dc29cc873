// The office `gridmoor-host office start` keeps for its user between single
// runs: a small server process owns it (as run-many owns its warm offices)
// and hands it to one run at a time through a socket in the user's private
// folder, putting it back or replacing it after each run by the same rules.
#pragma once

#include <filesystem>
#include <iosfwd>
#include <optional>
#include <string>

#include "offices/warm_offices.h"
#include "outcome/outcome.h"

namespace refhost {

// The user's private folder for the office's socket:
// $XDG_RUNTIME_DIR/gridmoor-office, else /tmp/gridmoor-office-<uid>; made
// (0700) when `make`. An error when it is not a folder of this user's alone
// (a link, another owner, open to others); none when it is missing.
outcome::Expected<std::optional<std::filesystem::path>> UserOfficeFolder(bool make);

// What a server says of itself: its process, its office's (0 while it is
// being made ready) and what the office is doing.
struct UserOfficeState {
  int server = 0;
  int office = 0;
  std::string doing;  // "idle", "in use by a run", "being made ready"
};

// The server's answer, none when no server answers in `folder`. A socket
// that no server holds is stale: it is removed and `stale` set.
std::optional<UserOfficeState> AskUserOffice(const std::filesystem::path& folder, bool& stale);

// Serves the office from `folder` until `office stop` or SIGTERM. Once the
// first office is ready (or could not be started) a line goes to `readyFd`:
// "ready <office> <server>", "running <server>" when another server holds
// the folder, or "failed <reason>". The exit status.
int ServeUserOffice(const std::filesystem::path& folder, int readyFd,
                    WarmOffices::Starter start = {});

// Asks the server to end once no run holds its office, and waits for it;
// false when it did not end in time.
bool StopUserOffice(const std::filesystem::path& folder, std::ostream& said);

// A run's hold on the user's office, from its hand-over to the run's end.
class OfficeLease {
 public:
  // The office when a server hands one over; otherwise none, with a line on
  // `said` when a server was there (busy, failed, gone). Nothing is said
  // when no server was ever started.
  static std::optional<OfficeLease> Take(std::ostream& said);
  OfficeLease(OfficeLease&& other) noexcept;
  OfficeLease& operator=(OfficeLease&&) = delete;
  ~OfficeLease();  // a lease never ended counts as a failed run

  const std::string& Pipe() const { return pipe_; }
  int Office() const { return office_; }
  // The run is over; `passed` runs leave an office that may be put back.
  void End(bool passed);

 private:
  OfficeLease(int fd, std::string pipe, int office)
      : fd_(fd), pipe_(std::move(pipe)), office_(office) {}
  int fd_ = -1;
  std::string pipe_;
  int office_ = 0;
};

}  // namespace refhost
