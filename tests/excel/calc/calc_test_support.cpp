#include "calc_test_support.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "com/variants/variant_grid.h"
#include "excel/calc/locks/lock_file.h"
#include "excel/calc/process/office_program.h"
#include "platform/environment.h"
#include "platform/files.h"
#include "support/wait.h"

// The UNO runtime keeps the bridge's type descriptions for the life of the
// process, in caches the leak sanitizer cannot see into.
extern "C" const char* __lsan_default_suppressions() {
  return "leak:libuno_cppu.so\nleak:libuno_sal.so\n";
}

// The UNO runtime is not instrumented: the thread sanitizer sees neither its
// atomic reference counts nor its pipe hand-over between threads.
extern "C" const char* __tsan_default_suppressions() {
  return "race:libuno_cppu.so\nrace:libuno_sal.so\n";
}

namespace excel::calc::testing {
void SkipWithoutOffice() {
  if (FindOfficeProgram()) return;
  if (platform::GetEnv("CI").value_or("") == "true") {
    FAIL() << "no office program (soffice.bin) installed; CI needs libreoffice-calc";
  }
  GTEST_SKIP() << "no office program installed";
}

void ExpectNoOfficeLeft() {
  // Checked by process id, never by name.
  for (const int pid : StartedOfficeProcessIds()) {
    if (!IsOurChild(pid)) continue;
    ADD_FAILURE() << "office process " << pid << " was left running";
    ::kill(pid, SIGKILL);
    ::waitpid(pid, nullptr, 0);
  }
}

namespace {
constexpr const char* kModule1 =
    "Function Add2(a, b)\n  Add2 = a + b\nEnd Function\n"
    "Function Joined(text, number)\n  Joined = text & \"/\" & number\nEnd Function\n"
    "Sub WriteCell(value)\n"
    "  ThisComponent.Sheets.getByIndex(0).getCellByPosition(1, 0).setValue(value)\nEnd Sub\n"
    "Sub Fails(divisor)\n  Dim x\n  x = 1 / divisor\nEnd Sub\n"
    "Sub Auto_Open\n"
    "  ThisComponent.Sheets.getByIndex(0).getCellByPosition(2, 0).setString(\"opened\")\n"
    "End Sub\n";
}  // namespace

void ApplicationContract::SetUp() {
  SkipWithoutOffice();
  if (IsSkipped() || HasFatalFailure()) return;
  application_ = NewApplication();
  book_ = NewWorkbook(application_);
  sheet_ = SheetOf(book_);
}

void ApplicationContract::TearDown() {
  sheet_.Reset();
  book_.Reset();
  application_.Reset();
  for (const auto& application : applications_)
    FailureOf([&] { application->Quit(); });  // fails when the test quit it
  applications_.clear();
  ExpectNoOfficeLeft();
}

com::Ptr<Application> ApplicationContract::NewApplication() {
  applications_.push_back(CreateCalcApplication());
  return applications_.back();
}

void ApplicationContract::AddMacros(const com::Ptr<Workbook>& workbook) {
  PutBasicModule(workbook, "Standard", "Module1", kModule1);
}

bool IsOurChild(int pid) {
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string line;
  if (!std::getline(stat, line)) return false;
  // pid (comm) state ppid ...; comm may hold blanks, so read after ')'.
  std::istringstream rest(line.substr(line.rfind(')') + 1));
  char state = 0;
  int parent = 0;
  rest >> state >> parent;
  return parent == ::getpid();
}

bool Freeze(int pid) {
  if (::kill(pid, SIGSTOP) != 0) return false;
  // Every thread, not only the main one: any that still runs may answer.
  return test_support::WaitFor(
      [pid] {
        std::error_code error;
        const std::filesystem::path tasks = "/proc/" + std::to_string(pid) + "/task";
        for (const auto& task : std::filesystem::directory_iterator(tasks, error))
          if (test_support::StateIn((task.path() / "stat").string()) != 'T') return false;
        return !error;
      },
      5);
}

com::Ptr<Application> NewApplication() {
  return CreateCalcApplication();
}

com::Variant Block(std::size_t rows, std::size_t columns,
                   std::initializer_list<com::Variant> values) {
  com::VariantGrid grid(rows, columns);
  auto value = values.begin();
  for (std::size_t r = 1; r <= rows; ++r) {
    for (std::size_t c = 1; c <= columns && value != values.end(); ++c, ++value)
      grid.At(static_cast<std::int32_t>(r), static_cast<std::int32_t>(c)) = *value;
  }
  return grid.ToVariant();
}

OtherHolder::OtherHolder(const std::string& path) {
  int ready[2];
  if (::pipe(ready) != 0) return;
  pid_ = ::fork();
  if (pid_ == 0) {
    auto held = WorkbookLock::Acquire(
        path, "/tmp/gridmoor-office-" + std::to_string(::getpid()) + "-abcdef/profile",
        LockHost::ThisMachine());
    const char state = held->ReadOnly() ? 'r' : 'w';
    (void)::write(ready[1], &state, 1);
    ::pause();
    ::_exit(0);
  }
  if (pid_ > 0 && ::read(ready[0], &state_, 1) != 1) state_ = 0;
  ::close(ready[0]);
  ::close(ready[1]);
}

void OtherHolder::End() {
  if (pid_ <= 0) return;
  ::kill(pid_, SIGKILL);
  ::waitpid(pid_, nullptr, 0);
  pid_ = 0;
}

std::string ReadFile(const std::string& path) {
  return platform::ReadWholeFile(path, nullptr).value_or("");
}

void WriteFile(const std::string& path, const std::string& contents) {
  std::ofstream(path, std::ios::binary) << contents;
}

}  // namespace excel::calc::testing
