// Which office serves the process: starting one (and again after a fresh
// profile), attaching to one another process shares, the bridge to it, and
// handing the current one to application objects.
#include "excel/calc/calls/uno_office.h"

#include <unistd.h>
#include <com/sun/star/bridge/BridgeFactory.hpp>
#include <com/sun/star/bridge/XBridge.hpp>
#include <com/sun/star/connection/Connector.hpp>
#include <com/sun/star/connection/NoConnectException.hpp>
#include <com/sun/star/connection/XConnection.hpp>
#include <com/sun/star/frame/Desktop.hpp>
#include <com/sun/star/lang/XEventListener.hpp>
#include <com/sun/star/lang/XMultiComponentFactory.hpp>
#include <cppuhelper/bootstrap.hxx>
#include <cppuhelper/implbase1.hxx>

#include <cstdio>
#include <fstream>
#include <functional>
#include <random>
#include <thread>

#include "platform/environment.h"

#ifndef GRIDMOOR_OFFICE_PROGRAM_DIR
#error "GRIDMOOR_OFFICE_PROGRAM_DIR names the office's program folder"
#endif

namespace excel::calc {
namespace uno = css::uno;
namespace fs = std::filesystem;
namespace {

// The status soffice.bin ends with after setting up a fresh profile; it
// must then be started again.
constexpr int kRestartStatus = 81;
// Free space below which an office that ends while starting is taken to
// have found its disk full.
constexpr std::uintmax_t kProfileSpace = 16u << 20;
constexpr int kMaxRestarts = 3;

std::atomic<std::int64_t> startTimeoutMs{60000};
std::atomic<std::int64_t> callTimeoutMs{10 * 60 * 1000};

// Set while the library loads, before this file's own statics may be made.
std::mutex& OfficePipeMutex() {
  static std::mutex mutex;
  return mutex;
}
std::string& OfficePipeName() {
  static auto& name = *new std::string;  // guarded by OfficePipeMutex
  return name;
}

// Tells the session when the bridge to its office goes down.
class BridgeWatcher : public cppu::WeakImplHelper1<css::lang::XEventListener> {
 public:
  explicit BridgeWatcher(std::function<void()> onDown) : onDown_(std::move(onDown)) {}
  void SAL_CALL disposing(const css::lang::EventObject&) override { onDown_(); }

 private:
  std::function<void()> onDown_;
};

std::atomic<std::uint64_t> repliesReceived{0};

// The connection to the office as the bridge uses it, counting the messages
// that come back: the bridge reads each as a header, then its body.
class CountingConnection : public cppu::WeakImplHelper1<css::connection::XConnection> {
 public:
  explicit CountingConnection(uno::Reference<css::connection::XConnection> inner)
      : inner_(std::move(inner)) {}
  sal_Int32 SAL_CALL read(uno::Sequence<sal_Int8>& bytes, sal_Int32 count) override {
    if (!inBody_) repliesReceived.fetch_add(1, std::memory_order_relaxed);
    inBody_ = !inBody_;
    return inner_->read(bytes, count);
  }
  void SAL_CALL write(const uno::Sequence<sal_Int8>& bytes) override { inner_->write(bytes); }
  void SAL_CALL flush() override { inner_->flush(); }
  void SAL_CALL close() override { inner_->close(); }
  rtl::OUString SAL_CALL getDescription() override { return inner_->getDescription(); }

 private:
  uno::Reference<css::connection::XConnection> inner_;
  bool inBody_ = false;  // only the bridge's reader thread reads
};

// This process's own UNO runtime, which the bridge to the office needs. Made
// once from the office's type and service registries.
uno::Reference<uno::XComponentContext> LocalContext() {
  static std::mutex mutex;
  // Never released: the UNO runtime may already be torn down when static
  // objects are destroyed at exit.
  static auto& context = *new uno::Reference<uno::XComponentContext>;
  std::lock_guard lock(mutex);
  if (context.is()) return context;
  const fs::path program = GRIDMOOR_OFFICE_PROGRAM_DIR;
  const std::string programUrl = FileUrlFromPath(program);
  char pattern[] = "/tmp/gridmoor-uno-XXXXXX";
  const int fd = ::mkstemp(pattern);
  if (fd < 0) com::Throw(com::CO_E_SERVER_EXEC_FAILURE);
  ::close(fd);
  {
    std::ofstream ini(pattern);
    ini << "[Bootstrap]\n"
        << "URE_INTERNAL_LIB_DIR=" << programUrl << "\n"
        << "LO_LIB_DIR=" << programUrl << "\n"
        << "UNO_TYPES=" << programUrl << "/types.rdb " << programUrl << "/types/offapi.rdb\n"
        << "UNO_SERVICES=" << programUrl << "/services.rdb\n";
  }
  try {
    context =
        cppu::defaultBootstrap_InitialComponentContext(Utf8ToOUString(FileUrlFromPath(pattern)));
  } catch (...) {
    std::remove(pattern);
    com::Throw(com::CO_E_SERVER_EXEC_FAILURE, CaughtReason());
  }
  std::remove(pattern);
  return context;
}

std::string UniquePipeName() {
  static std::atomic<unsigned> counter{0};
  std::random_device random;
  char suffix[9];
  std::snprintf(suffix, sizeof suffix, "%08x", random());
  return "gridmoor_" + std::to_string(::getpid()) + "_" + std::to_string(++counter) + "_" + suffix;
}

std::vector<std::string> OfficeEnvironment(const OfficeFolders& folders) {
  std::vector<std::string> environment;
  for (char** entry = environ; entry != nullptr && *entry != nullptr; ++entry) {
    const std::string_view text(*entry);
    if (text.rfind("TMPDIR=", 0) == 0 || text.rfind("SAL_USE_VCLPLUGIN=", 0) == 0) continue;
    environment.emplace_back(text);
  }
  environment.push_back("TMPDIR=" + folders.Temp().string());
  environment.push_back("SAL_USE_VCLPLUGIN=svp");
  return environment;
}

}  // namespace

class OfficeManager {
 public:
  static OfficeManager& Instance() {
    // Never destroyed: UNO references must not be released while the
    // process tears its libraries down. The exit clean-up of the office
    // process itself needs no UNO.
    static OfficeManager* manager = new OfficeManager;
    return *manager;
  }

  std::shared_ptr<OfficeSession> Acquire() {
    std::shared_ptr<OfficeSession> stale;
    std::shared_ptr<OfficeSession> session;
    {
      std::lock_guard lock(mutex_);
      // The bridge's notice of a dead office comes late, and an office just
      // killed may not even be a zombie yet: the process and the office are
      // asked before another application object joins it.
      if (current_ && !current_->ConfirmAlive()) {
        if (current_->leases_ == 0) stale = current_;
        current_.reset();
      }
      if (!current_) {
        const std::string pipe = SharedOfficePipe();
        current_ = pipe.empty() ? Start() : Attach(pipe);
      }
      ++current_->leases_;
      session = current_;
    }
    if (stale) stale->Shutdown();
    return session;
  }

  void Release(const std::shared_ptr<OfficeSession>& session) {
    {
      std::lock_guard lock(mutex_);
      if (--session->leases_ > 0) return;
      if (current_ == session) current_.reset();
    }
    session->Shutdown();
  }

  int CurrentPid() {
    std::lock_guard lock(mutex_);
    return current_ && !current_->Disconnected() ? current_->Pid() : 0;
  }

  std::shared_ptr<OfficeSession> Start();

 private:
  std::shared_ptr<OfficeSession> Attach(const std::string& pipe);
  struct Launch;
  // A session with its folders and pipe name, its office not yet started.
  static std::shared_ptr<OfficeSession> NewSession(const std::filesystem::path& program);
  // The connection to the session's office, which is restarted as long as
  // it asks to be; throws when it ends otherwise or does not answer in time.
  static uno::Reference<css::connection::XConnection> WaitForOffice(
      OfficeSession& session, css::connection::XConnector& connector, const Launch& launch);
  [[noreturn]] static void ThrowOfficeEnded(const OfficeSession& session,
                                            const std::filesystem::path& program, int status);
  // The shared offices this process started, by pipe.
  friend std::shared_ptr<OfficeSession> StartSharedOffice();
  std::map<std::string, std::weak_ptr<OfficeSession>> shared_;  // guarded by mutex_
  // The bridge over `connection`, and the office's context and desktop.
  static void Connect(const std::shared_ptr<OfficeSession>& session,
                      const uno::Reference<css::connection::XConnection>& connection);

  std::mutex mutex_;
  std::shared_ptr<OfficeSession> current_;
};

namespace {

// The office's program, or the failure a host is told when there is none.
fs::path OfficeProgram() {
  std::optional<fs::path> program = FindOfficeProgram();
  if (!program) {
    com::Throw(com::CO_E_SERVER_EXEC_FAILURE,
               "No office program (soffice.bin) was found; install LibreOffice Calc or name it "
               "in GRIDMOOR_SOFFICE");
  }
  return std::move(*program);
}

std::vector<std::string> OfficeArguments(const fs::path& profile, const std::string& pipe) {
  return {
      "-env:UserInstallation=" + FileUrlFromPath(profile),
      "--headless",
      "--invisible",
      "--norestore",
      "--nologo",
      "--nodefault",
      "--nolockcheck",
      "--accept=pipe,name=" + pipe + ";urp;StarOffice.ComponentContext",
  };
}

}  // namespace

// What one office process is started with, again on each restart.
struct OfficeManager::Launch {
  fs::path program;
  std::vector<std::string> arguments;
  std::vector<std::string> environment;
  std::chrono::steady_clock::time_point deadline;
};

std::shared_ptr<OfficeSession> OfficeManager::Start() {
  const fs::path program = OfficeProgram();
  const uno::Reference<uno::XComponentContext> local = LocalContext();

  // A host that crashed could not clean up after its office; the next one does.
  static std::once_flag swept;
  std::call_once(swept, [] { RemoveLeftoversOfEndedProcesses(TemporaryRoot()); });

  std::shared_ptr<OfficeSession> session = NewSession(program);
  const Launch launch{
      program, OfficeArguments(session->folders_->Profile(), session->pipe_),
      OfficeEnvironment(*session->folders_),
      std::chrono::steady_clock::now() + std::chrono::milliseconds(startTimeoutMs.load())};

  session->child_ = ChildProcess::Start(launch.program, launch.arguments, launch.environment);
  try {
    // The bridge's threads start here and inherit the mask.
    const SigpipeBlockedForNewThreads sigpipeBlocked;
    const uno::Reference<css::connection::XConnector> connector =
        css::connection::Connector::create(local);
    Connect(session, WaitForOffice(*session, *connector, launch));
  } catch (const com::Error&) {
    throw;  // the session's destructor ends the child and removes the folders
  } catch (...) {
    com::Throw(com::CO_E_SERVER_EXEC_FAILURE, CaughtReason());
  }
  session->pipes_ = ListeningPipePaths(session->child_->Pid());
  TrackForExit(session->child_, session->folders_->Base(), session->pipes_);
  session->StartWatchdog();
  return session;
}

std::shared_ptr<OfficeSession> OfficeManager::NewSession(const fs::path& program) {
  std::shared_ptr<OfficeSession> session(new OfficeSession);
  session->folders_ = OfficeFolders::Create();
  // The display back end a view needs comes only with the full core package.
  std::error_code noFile;
  session->viewsAvailable_ = fs::exists(program.parent_path() / "libvclplug_genlo.so", noFile);
  session->pipe_ = UniquePipeName();
  // A pipe file of that name can only be a leftover.
  std::error_code ignored;
  fs::remove(fs::path("/tmp") / ("OSL_PIPE_" + std::to_string(::getuid()) + "_" + session->pipe_),
             ignored);
  return session;
}

uno::Reference<css::connection::XConnection> OfficeManager::WaitForOffice(
    OfficeSession& session, css::connection::XConnector& connector, const Launch& launch) {
  int restarts = 0;
  for (;;) {
    try {
      return connector.connect(Utf8ToOUString("pipe,name=" + session.pipe_));
    } catch (const css::connection::NoConnectException&) {
    }
    if (const std::optional<int> status = session.child_->ExitStatus()) {
      if (*status != kRestartStatus || ++restarts > kMaxRestarts)
        ThrowOfficeEnded(session, launch.program, *status);
      session.child_ = ChildProcess::Start(launch.program, launch.arguments, launch.environment);
      continue;
    }
    if (std::chrono::steady_clock::now() >= launch.deadline) {
      com::Throw(com::CO_E_SERVER_EXEC_FAILURE,
                 "The office (" + launch.program.string() + ") did not answer within " +
                     LimitText(std::chrono::milliseconds(startTimeoutMs.load())) + " of starting");
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}

void OfficeManager::ThrowOfficeEnded(const OfficeSession& session, const fs::path& program,
                                     int status) {
  // Its first start writes a profile of some megabytes.
  if (DiskNearlyFull(session.folders_->Base(), kProfileSpace)) {
    com::Throw(com::CO_E_SERVER_EXEC_FAILURE,
               DiskFullText("the office cannot write its profile in " + TemporaryRoot().string() +
                            " (it ended with status " + std::to_string(status) + ")"));
  }
  com::Throw(com::CO_E_SERVER_EXEC_FAILURE, "The office (" + program.string() +
                                                ") ended with status " + std::to_string(status) +
                                                " while starting");
}

void OfficeManager::Connect(const std::shared_ptr<OfficeSession>& session,
                            const uno::Reference<css::connection::XConnection>& connection) {
  const uno::Reference<css::bridge::XBridge> bridge =
      css::bridge::BridgeFactory::create(LocalContext())
          ->createBridge("", "urp", new CountingConnection(connection), nullptr);
  session->bridge_.set(bridge, uno::UNO_QUERY_THROW);
  std::weak_ptr<OfficeSession> weak = session;
  session->bridge_->addEventListener(new BridgeWatcher([weak] {
    if (const std::shared_ptr<OfficeSession> owner = weak.lock()) owner->MarkDisconnected();
  }));
  session->context_.set(bridge->getInstance("StarOffice.ComponentContext"), uno::UNO_QUERY_THROW);
  session->desktop_ = css::frame::Desktop::create(session->context_);
}

std::shared_ptr<OfficeSession> OfficeManager::Attach(const std::string& pipe) {
  std::shared_ptr<OfficeSession> session(new OfficeSession);
  session->pipe_ = pipe;
  session->attached_ = true;
  // Taken to be the office installed here, as the one this process would start.
  if (const std::optional<fs::path> program = FindOfficeProgram()) {
    std::error_code noFile;
    session->viewsAvailable_ = fs::exists(program->parent_path() / "libvclplug_genlo.so", noFile);
  }
  const std::string refused = "No office answers on the pipe " + pipe;
  try {
    if (const auto found = shared_.find(pipe); found != shared_.end()) {
      // This process started it: its objects are reached over the one
      // connection (a second bridge to the same office in one process would
      // share the first one's proxies).
      session->owner_ = found->second.lock();
    }
    if (session->owner_) {
      session->context_ = session->owner_->context_;
      session->desktop_ = session->owner_->desktop_;
    } else {
      const uno::Reference<uno::XComponentContext> local = LocalContext();
      const SigpipeBlockedForNewThreads sigpipeBlocked;
      uno::Reference<css::connection::XConnection> connection;
      try {
        connection =
            css::connection::Connector::create(local)->connect(Utf8ToOUString("pipe,name=" + pipe));
      } catch (const css::connection::NoConnectException&) {
        com::Throw(com::CO_E_SERVER_EXEC_FAILURE, refused);
      }
      Connect(session, connection);
    }
    session->StartWatchdog();
    // Its lock files name the office's profile, as the owner's would.
    const OfficeSession::Deadline deadline(*session, CallTimeout());
    session->attachedProfile_ = OfficeProfileFolder(session->context_);
  } catch (const com::Error&) {
    throw;  // the session's destructor lets go of the office, and only that
  } catch (...) {
    com::Throw(com::CO_E_SERVER_EXEC_FAILURE, refused + ": " + CaughtReason());
  }
  return session;
}

std::uint64_t BridgeReplies() {
  return repliesReceived.load(std::memory_order_relaxed);
}

OfficeLease::OfficeLease() : session_(OfficeManager::Instance().Acquire()) {}

OfficeLease::~OfficeLease() {
  OfficeManager::Instance().Release(session_);
}

int CurrentOfficePid() {
  return OfficeManager::Instance().CurrentPid();
}

void SetSharedOfficePipe(std::string pipe) {
  std::lock_guard lock(OfficePipeMutex());
  OfficePipeName() = std::move(pipe);
}

std::string SharedOfficePipe() {
  std::lock_guard lock(OfficePipeMutex());
  return OfficePipeName();
}

std::shared_ptr<OfficeSession> StartSharedOffice() {
  std::shared_ptr<OfficeSession> session = OfficeManager::Instance().Start();
  try {
    const OfficeSession::Deadline deadline(*session, std::min(CallTimeout(), kResetLimit));
    // Before the state its users are held to is read.
    LoadFirstWorkbook(session->desktop_, session->viewsAvailable_, session->folders_->Temp());
    session->baseline_ = ReadOfficeState(session->context_);
  } catch (...) {
    com::Throw(com::CO_E_SERVER_EXEC_FAILURE,
               "The office did not tell its state: " + CaughtReason());
  }
  OfficeManager& manager = OfficeManager::Instance();
  std::lock_guard lock(manager.mutex_);
  std::erase_if(manager.shared_, [](const auto& entry) { return entry.second.expired(); });
  manager.shared_[session->pipe_] = session;
  return session;
}

void SetStartTimeout(std::chrono::milliseconds timeout) {
  startTimeoutMs = timeout.count();
}

void SetCallTimeout(std::chrono::milliseconds timeout) {
  callTimeoutMs = std::max<std::int64_t>(1, timeout.count());
}

std::chrono::milliseconds CallTimeout() {
  return std::chrono::milliseconds(callTimeoutMs.load());
}

}  // namespace excel::calc
