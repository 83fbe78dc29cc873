// The office process behind the application objects: sharing, isolation,
// ending, dying, failing to start.
#include <fcntl.h>
#include <gmock/gmock.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/mount.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <thread>
#include <vector>

#include "calc_test_support.h"
#include "excel/calc/locks/lock_file.h"
#include "platform/notices.h"
#include "support/temp_folder.h"
#include "support/temp_registry.h"
#include "support/wait.h"

namespace excel::calc::testing {
namespace {

using com::Variant;
namespace fs = std::filesystem;

using CalcOfficeTest = CalcTest;
using ::testing::HasSubstr;

// Runs a macro that never returns, in a new workbook of `application`: it
// fails at the call limit of `seconds`.
void ExpectAMacroThatNeverEndsToFail(const com::Ptr<Application>& application, int seconds) {
  const com::Ptr<Workbook> workbook = NewWorkbook(application);
  PutBasicModule(workbook, "Standard", "Loops", "Sub Forever\n  Do\n  Loop\nEnd Sub\n");
  const com::Error error =
      ErrorOf([&] { application->Run(Variant::Text("Forever"), excel_test::Arguments()); });
  EXPECT_EQ(error.hr(), com::RPC_E_DISCONNECTED);
  EXPECT_THAT(error.what(),
              HasSubstr("did not answer within " + std::to_string(seconds) + " seconds"));
}

// A short call limit for one test.
class ScopedCallTimeout {
 public:
  explicit ScopedCallTimeout(std::chrono::milliseconds limit) { SetOfficeCallTimeout(limit); }
  ~ScopedCallTimeout() { SetOfficeCallTimeout(std::chrono::minutes(10)); }
};

std::string SavedWorkbook(const com::Ptr<Application>& application, const std::string& path) {
  const com::Ptr<Workbook> book = NewWorkbook(application);
  Put(SheetOf(book), "A1", Variant::Double(7));
  book->SaveCopyAs(Variant::Text(path), 0);
  book->Close(Variant::Bool(false), Variant::Missing(), Variant::Missing(), 0);
  return path;
}

// Each application sees only its own workbooks and macros; a file opened in
// two is an independent copy in each, with one lock file, this process's,
// until the last of its holders closes.
TEST_F(CalcOfficeTest, OneHiddenOfficeServesAllEachWithItsOwnWorkbooksAndEndsWithTheLast) {
  const com::Ptr<Application> first = NewApplication();
  const int pid = CurrentOfficeProcessId();
  EXPECT_TRUE(IsOurChild(pid));
  // Hidden; how the properties read back is the contract's.
  EXPECT_EQ(first->GetVisible(0), com::VARIANT_FALSE);
  EXPECT_EQ(first->GetInteractive(0), com::VARIANT_TRUE);
  const std::string path = SavedWorkbook(first, PathOf("shared.ods"));

  const com::Ptr<Application> second = NewApplication();
  EXPECT_EQ(CurrentOfficeProcessId(), pid);
  const com::Ptr<Workbook> bookOne = NewWorkbook(first);
  const com::Ptr<Workbook> bookTwo = NewWorkbook(second);
  PutBasicModule(bookOne, "Standard", "Module1", "Function Only()\n  Only = 1\nEnd Function\n");
  Put(SheetOf(bookOne), "A1", Variant::Text("one"));
  Put(SheetOf(bookTwo), "A1", Variant::Text("two"));
  EXPECT_EQ(Get(SheetOf(bookOne), "A1"), Variant::Text("one"));
  EXPECT_EQ(Get(SheetOf(bookTwo), "A1"), Variant::Text("two"));
  EXPECT_EQ(first->Run(Variant::Text("Only"), excel_test::Arguments()), Variant::Int4(1));
  EXPECT_EQ(FailureOf([&] { second->Run(Variant::Text("Only"), excel_test::Arguments()); }),
            com::DISP_E_EXCEPTION);

  const com::Ptr<Workbook> inOne = OpenWorkbook(first, path);
  const com::Ptr<Workbook> inTwo = OpenWorkbook(second, path);
  Put(SheetOf(inOne), "A1", Variant::Double(100));
  inOne->Save(0);  // no read-only surprise
  EXPECT_EQ(Get(SheetOf(inTwo), "A1"), Variant::Double(7));
  EXPECT_TRUE(fs::exists(LockFilePath(path)));

  first->Quit();
  EXPECT_TRUE(IsOurChild(pid));
  EXPECT_TRUE(fs::exists(LockFilePath(path)));
  first->Quit();  // a second Quit does not fail (what a Quit disconnects: the contract's)
  EXPECT_EQ(Get(SheetOf(bookTwo), "A1"), Variant::Text("two"));
  EXPECT_EQ(SheetOf(NewWorkbook(second))->GetName().ToUtf8(), "Sheet1");
  second->Quit();
  EXPECT_FALSE(fs::exists(LockFilePath(path)));
  EXPECT_FALSE(IsOurChild(pid));  // ended and reaped
  EXPECT_EQ(CurrentOfficeProcessId(), 0);
  // Releasing without Quit ends it as well.
  NewApplication();
  EXPECT_EQ(CurrentOfficeProcessId(), 0);
}

// An office that ends on its own (a crash, a kill by someone else) is named
// as such by every call that finds it gone, at once, with how it ended and
// the macro running or last run (the likely cause); the code stays
// RPC_E_DISCONNECTED and its locks go. A new application made right after a
// kill, before any call has failed, can only tell by the process itself; it
// never joins the dead office.
TEST_F(CalcOfficeTest, AnOfficeThatEndsOnItsOwnIsSaidToHaveEndedHowAndInWhichMacroByEveryCall) {
  // A crash goes through the office's own handler, which ends it with a
  // signal of its choosing.
  const struct {
    int signal;
    const char* named;
    bool newApplicationFirst, duringMacro;
  } cases[] = {{SIGSEGV, "(signal SIG", false, false},
               {SIGKILL, "(signal SIGKILL)", true, false},
               {SIGKILL, "(signal SIGKILL)", false, true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.signal) + (c.newApplicationFirst ? ", new application" : "") +
                 (c.duringMacro ? ", during a macro" : ""));
    const com::Ptr<Application> application = NewApplication();
    const std::string path = SavedWorkbook(application, PathOf("held.fods"));
    const com::Ptr<Workbook> workbook = OpenWorkbook(application, path);
    const com::Ptr<Worksheet> sheet = SheetOf(workbook);
    const com::Ptr<Range> cell = RangeOf(sheet, "A1");
    // Spin says it runs by a file, then never returns.
    const test_support::TempFolder folder;
    const fs::path spinning = folder.File("spinning");
    PutBasicModule(workbook, "Standard", "Module1",
                   "Sub Quick()\nEnd Sub\nSub Spin()\n  Open \"" + spinning.string() +
                       "\" For Output As #1\n  Close #1\n  Do\n    Wait 20\n  Loop\nEnd Sub\n");
    application->Run(Variant::Text("Quick"), excel_test::Arguments());
    const int pid = CurrentOfficeProcessId();
    std::thread killer([&] {
      if (c.duringMacro) {
        EXPECT_TRUE(test_support::WaitFor([&] { return fs::exists(spinning); }, 60))
            << "the macro never ran";
      }
      ::kill(pid, c.signal);
    });
    com::Ptr<Application> fresh;
    const auto started = std::chrono::steady_clock::now();
    const com::Error error = ErrorOf([&] {
      if (c.duringMacro) {
        application->Run(Variant::Text("Module1.Spin"), excel_test::Arguments());
        return;
      }
      killer.join();
      if (c.newApplicationFirst) fresh = NewApplication();
      // The crash handler runs first: the office may answer until it ends.
      ASSERT_TRUE(test_support::WaitFor([&] { return test_support::ProcessGone(pid); }, 10))
          << "office " << pid << " still runs after signal " << c.signal;
      Get(sheet, "B2");
    });
    if (killer.joinable()) killer.join();
    EXPECT_EQ(error.hr(), com::RPC_E_DISCONNECTED);
    EXPECT_THAT(error.what(),
                ::testing::StartsWith(std::string("The office ended unexpectedly ") + c.named));
    EXPECT_THAT(error.what(), ::testing::EndsWith(
                                  std::string("); the object invoked has disconnected from its "
                                              "clients. ") +
                                  (c.duringMacro ? "It ended while macro Module1.Spin was running."
                                                 : "The last macro run was Module1.Quick.")));
    // A dead office at every bridge call is the host's fault sweep's.
    const std::pair<const char*, std::function<void()>> calls[] = {
        {"range", [&] { cell->Invoke(kDispidValue2, InvokeKind::kPropertyGet, {}); }},
        {"macro", [&] { application->Run(Variant::Text("X"), excel_test::Arguments()); }}};
    for (const auto& [what, call] : calls) {
      const com::Error failed = ErrorOf(call);
      EXPECT_EQ(failed.hr(), com::RPC_E_DISCONNECTED) << what;
      EXPECT_THAT(failed.what(), HasSubstr("The office ended unexpectedly")) << what;
    }
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(5));
    EXPECT_FALSE(fs::exists(LockFilePath(path)));

    if (!fresh) fresh = NewApplication();
    EXPECT_NE(CurrentOfficeProcessId(), pid);
    const com::Ptr<Worksheet> freshSheet = SheetOf(NewWorkbook(fresh));
    Put(freshSheet, "A1", Variant::Double(5));
    EXPECT_EQ(Get(freshSheet, "A1"), Variant::Double(5));
    application->Quit();
    fresh->Quit();
    EXPECT_FALSE(IsOurChild(pid));
  }
}

// Faults: an office that stops answering, a macro that never ends.

TEST_F(CalcOfficeTest, AStoppedOfficeOrAMacroThatNeverEndsIsEndedAtTheCallLimitWithItsLocks) {
  const ScopedCallTimeout limit(std::chrono::seconds(2));
  const com::Ptr<Application> application = NewApplication();
  const std::string path = SavedWorkbook(application, PathOf("held.fods"));
  const com::Ptr<Workbook> workbook = OpenWorkbook(application, path);
  const com::Ptr<Worksheet> sheet = SheetOf(workbook);
  ASSERT_TRUE(fs::exists(LockFilePath(path)));
  const int pid = CurrentOfficeProcessId();
  ASSERT_TRUE(Freeze(pid));

  const com::Error error = ErrorOf([&] { Get(sheet, "A1"); });
  EXPECT_EQ(error.hr(), com::RPC_E_DISCONNECTED);
  EXPECT_THAT(error.what(), HasSubstr("did not answer within 2 seconds"));
  EXPECT_THAT(ErrorOf([&] { workbook->GetSheets(); }).what(), HasSubstr("did not answer"));
  EXPECT_FALSE(fs::exists(LockFilePath(path)));

  // The next application starts anew.
  const com::Ptr<Application> fresh = NewApplication();
  EXPECT_NE(CurrentOfficeProcessId(), pid);
  EXPECT_EQ(Get(SheetOf(OpenWorkbook(fresh, path)), "A1"), Variant::Double(7));
  ExpectAMacroThatNeverEndsToFail(fresh, 2);
  application->Quit();
  fresh->Quit();
  EXPECT_FALSE(fs::exists(LockFilePath(path)));
  EXPECT_FALSE(IsOurChild(pid));
}

// Offices shared through their pipe, as run-many keeps them warm.

class ScopedOfficePipe {
 public:
  explicit ScopedOfficePipe(const std::string& pipe) { SetOfficePipe(pipe); }
  ~ScopedOfficePipe() { SetOfficePipe(""); }
};

// An attached office is not its user's to end: one that does not answer is
// left to its owner, which ends it rather than hand it on. Handing a warm
// office from one scenario to the next is the host's run-many tests'.
TEST_F(CalcOfficeTest, ASharedOfficeThatDoesNotAnswerIsLeftToItsOwner) {
  {
    const ScopedOfficePipe attach("gridmoor_nobody_listens");
    const com::Error error = ErrorOf([] { NewApplication(); });
    EXPECT_EQ(error.hr(), com::CO_E_SERVER_EXEC_FAILURE);
    EXPECT_THAT(error.what(), HasSubstr("No office answers on the pipe gridmoor_nobody_listens"));
  }
  const std::unique_ptr<SharedOffice> office = SharedOffice::Start();
  const int pid = office->ProcessId();
  ASSERT_TRUE(IsOurChild(pid));
  const ScopedOfficePipe attach(office->Pipe());
  const std::size_t started = StartedOfficeProcessIds().size();
  const ScopedCallTimeout limit(std::chrono::seconds(3));
  const com::Ptr<Application> application = NewApplication();
  EXPECT_EQ(CurrentOfficeProcessId(), pid);
  ExpectAMacroThatNeverEndsToFail(application, 3);
  application->Quit();
  EXPECT_EQ(StartedOfficeProcessIds().size(), started) << "no office of its own";
  EXPECT_FALSE(test_support::ProcessGone(pid));
  EXPECT_FALSE(office->Reset());
}

// A target the office would end itself on is refused with the system's
// words, and the office goes on (a macro's runtime error is the host's VBA
// tests'). What an office of this process left when it ended goes when a
// workbook beside it is opened (which files are such leftovers is
// office_process_test's).
TEST_F(CalcOfficeTest, FailuresCarryTheOfficesReasonAndLeftoversGoAtTheNextOpen) {
  const com::Ptr<Application> first = NewApplication();
  const com::Ptr<Workbook> workbook = NewWorkbook(first);
  WriteFile(PathOf("plain"), "a file, not a folder");
  const com::Error save =
      ErrorOf([&] { workbook->SaveCopyAs(Variant::Text(PathOf("plain/x.xlsx")), 0); });
  EXPECT_EQ(save.hr(), kApplicationError);
  EXPECT_THAT(save.what(), HasSubstr("plain/x.xlsx: Not a directory"));
  Put(SheetOf(workbook), "A1", Variant::Double(3));  // the office goes on
  const std::string path = SavedWorkbook(first, PathOf("model.fods"));
  const fs::path left = PathOf("lu" + std::to_string(CurrentOfficeProcessId()) + "8fk2m.tmp");
  WriteFile(left.string(), "half a workbook");
  first->Quit();

  const com::Ptr<Application> second = NewApplication();
  OpenWorkbook(second, path);
  EXPECT_FALSE(fs::exists(left));
  // A file that is no workbook is refused, where an empty CSV opens.
  const std::pair<const char*, const char*> refused[] = {
      {"empty.xlsx", ""},
      {"words.fods", "no xml here, only words\n"},
      {"zipped.xlsx", "PK\x03\x04 and no archive after the signature"}};
  for (const auto& [name, contents] : refused) {
    WriteFile(PathOf(name), contents);
    const com::Error error = ErrorOf([&, name = name] { OpenWorkbook(second, PathOf(name)); });
    EXPECT_EQ(error.hr(), kApplicationError) << name;
    EXPECT_THAT(error.what(), HasSubstr(name));
    EXPECT_FALSE(fs::exists(LockFilePath(PathOf(name)))) << name;
  }
  WriteFile(PathOf("empty.csv"), "");
  EXPECT_EQ(Get(SheetOf(OpenWorkbook(second, PathOf("empty.csv"))), "A1"), Variant());
  second->Quit();
}

// Workbooks other processes hold.

TEST_F(CalcOfficeTest, AWorkbookAnotherProcessHoldsByAnyPathOpensReadOnlyAndRefusesSaves) {
  const com::Ptr<Application> application = NewApplication();
  const std::string path = SavedWorkbook(application, PathOf("shared.xlsx"));
  const std::string link = PathOf("link.xlsx"), hard = PathOf("hard.xlsx");
  fs::create_symlink(path, link);
  fs::create_hard_link(path, hard);
  OtherHolder other(path);
  ASSERT_EQ(other.State(), 'w');
  const std::string holder = "in use by Gridmoor (process " + std::to_string(other.Pid());
  const std::string notices = PathOf("notices.txt");
  const test_support::ScopedEnv noticeFile(platform::kNoticeFileVariable, notices);

  const com::Ptr<Application> second = NewApplication();
  for (const auto& [reader, name] : {std::pair{application, link}, std::pair{second, hard}}) {
    const com::Ptr<Workbook> book = OpenWorkbook(reader, name);
    EXPECT_EQ(Get(SheetOf(book), "A1"), Variant::Double(7)) << name;
    Put(SheetOf(book), "A1", Variant::Double(8));
    const com::Error save = ErrorOf([&] { book->Save(0); });
    EXPECT_EQ(save.hr(), kApplicationError) << name;
    EXPECT_THAT(save.what(), HasSubstr(fs::path(name).filename().string() + " is open read-only"));
    EXPECT_THAT(save.what(), HasSubstr(holder)) << name;
    // Not over the held file by another of its names either; a copy
    // elsewhere is the reader's own.
    EXPECT_THAT(ErrorOf([&] { book->SaveCopyAs(Variant::Text(path), 0); }).what(),
                HasSubstr(holder));
    book->SaveCopyAs(Variant::Text(PathOf("copy.xlsx")), 0);
    PutBasicModule(book, "Standard", "Saver", "Sub SaveMe\n  ThisComponent.store()\nEnd Sub\n");
    const com::Error macro = ErrorOf(
        [&, reader = reader] { reader->Run(Variant::Text("SaveMe"), excel_test::Arguments()); });
    EXPECT_EQ(macro.hr(), com::DISP_E_EXCEPTION) << name;
    EXPECT_THAT(macro.what(), HasSubstr("open read-only: it is " + holder)) << name;
    EXPECT_THAT(ErrorOf([&] {
                  book->Close(Variant::Bool(true), Variant::Missing(), Variant::Missing(), 0);
                }).what(),
                HasSubstr(holder));
    book->Close(Variant::Bool(false), Variant::Missing(), Variant::Missing(), 0);
  }
  EXPECT_THAT(ReadFile(notices), HasSubstr("link.xlsx is " + holder));
  EXPECT_THAT(ReadFile(notices), HasSubstr("opened read-only"));
  EXPECT_FALSE(fs::exists(LockFilePath(link)));  // a reader writes no lock

  // Once the holder is gone (killed: its lock file stays), it is writable.
  other.End();
  ASSERT_TRUE(fs::exists(LockFilePath(path)));
  const com::Ptr<Workbook> book = OpenWorkbook(application, link);
  Put(SheetOf(book), "A1", Variant::Double(9));
  book->Save(0);
  EXPECT_TRUE(fs::exists(LockFilePath(link)));
  book->Close(Variant::Bool(false), Variant::Missing(), Variant::Missing(), 0);
  EXPECT_FALSE(fs::exists(LockFilePath(link)));
  application->Quit();
  second->Quit();
}

// The office saves a workbook as a new file (a new inode): its resolved path
// still ties a symlink to the workbook held. (A stale lock taken over is the
// test above, its holder killed; one whose process id another program now
// has takes the same path, lock_file_test.cpp's EachKindOfWriter.)
TEST_F(CalcOfficeTest, ASavedWorkbookStaysHeldByItsNewIdentity) {
  const com::Ptr<Application> application = NewApplication();
  const std::string saved = SavedWorkbook(application, PathOf("saved.ods"));
  fs::create_symlink(saved, PathOf("link.ods"));
  const com::Ptr<Workbook> book = OpenWorkbook(application, saved);
  const std::vector<std::string> before = IdentityKeys(saved);
  Put(SheetOf(book), "A1", Variant::Double(8));
  book->Save(0);
  ASSERT_NE(IdentityKeys(saved), before) << "the save kept the inode: this test proves nothing";
  // The new file's own identity is held as well (for a bind mount or a hard
  // link made since).
  const int fd =
      ::open((LockRegistryFolder() / IdentityKeys(saved)[0]).c_str(), O_RDONLY | O_CLOEXEC);
  ASSERT_GE(fd, 0);
  EXPECT_NE(::flock(fd, LOCK_EX | LOCK_NB), 0);
  ::close(fd);
  EXPECT_EQ(OtherHolder(PathOf("link.ods")).State(), 'r');

  application->Quit();
}

// Tear-down checks that the stuck program was ended.
TEST_F(CalcOfficeTest, AProgramThatIsMissingExitsOrNeverAnswersFailsCreationInTime) {
  const struct {
    std::string program;
    const char* script;
    int seconds;
  } cases[] = {{"/nonexistent/office/soffice", nullptr, 2},
               {PathOf("exits/soffice.bin"), "exit 1", 10},
               {PathOf("hangs/soffice.bin"), "exec sleep 60", 10}};
  SetOfficeStartTimeout(std::chrono::milliseconds(1500));
  for (const auto& c : cases) {
    if (c.script) {
      fs::create_directories(fs::path(c.program).parent_path());
      WriteFile(c.program, std::string("#!/bin/sh\n") + c.script + "\n");
      fs::permissions(c.program, fs::perms::owner_all);
    }
    const test_support::ScopedEnv program("GRIDMOOR_SOFFICE", c.program);
    const auto started = std::chrono::steady_clock::now();
    const com::Error error = ErrorOf([] { NewApplication(); });
    EXPECT_EQ(error.hr(), com::CO_E_SERVER_EXEC_FAILURE) << c.program;
    EXPECT_THAT(error.what(), HasSubstr(c.script ? "" : "No office program"));
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(c.seconds));
  }
  SetOfficeStartTimeout(std::chrono::seconds(60));
}

// A 1 MB file system of its own at `folder` (root only), filled up to the
// last byte on request; unmounted at the end.
class SmallDisk {
 public:
  explicit SmallDisk(const fs::path& folder) : folder_(folder) {
    fs::create_directories(folder_);
    mounted_ = ::mount("tmpfs", folder_.c_str(), "tmpfs", 0, "size=1m") == 0;
  }
  ~SmallDisk() {
    if (mounted_) ::umount2(folder_.c_str(), MNT_DETACH);
  }
  SmallDisk(const SmallDisk&) = delete;
  SmallDisk& operator=(const SmallDisk&) = delete;

  bool Mounted() const { return mounted_; }
  // Writes a file until less than `left` bytes are free.
  void Fill(std::uintmax_t left) {
    std::FILE* filler = std::fopen((folder_ / ("filler" + std::to_string(left))).c_str(), "wb");
    ASSERT_NE(filler, nullptr);
    const std::vector<char> block(4096, 'x');
    std::error_code error;
    while (fs::space(folder_, error).available >= left + block.size() &&
           std::fwrite(block.data(), 1, block.size(), filler) == block.size()) {
      std::fflush(filler);
    }
    std::fclose(filler);
    ASSERT_LT(fs::space(folder_, error).available, left + block.size());
  }

 private:
  fs::path folder_;
  bool mounted_ = false;
};

TEST_F(CalcOfficeTest, AFullDiskIsReportedAsFullNamingTheFile) {
  if (::geteuid() != 0) GTEST_SKIP() << "mounting a small file system needs root";
  const fs::path disk = PathOf("small-disk");
  SmallDisk small(disk);
  if (!small.Mounted()) GTEST_SKIP() << "this system refuses to mount a tmpfs";
  const std::string kept = SavedWorkbook(NewApplication(), (disk / "kept.fods").string());
  const struct {
    const char* name;
    std::function<void(const com::Ptr<Workbook>&)> save;
    std::string file;
  } saves[] = {{"save", [](const com::Ptr<Workbook>& book) { book->Save(0); }, kept},
               {"save a copy",
                [&](const com::Ptr<Workbook>& book) {
                  book->SaveCopyAs(Variant::Text((disk / "copy.fods").string()), 0);
                },
                (disk / "copy.fods").string()}};
  // With a little room left the office refuses a save with its own code
  // for a full disk; with none it may end itself on it. An office whose
  // folders go there does not start: with a little room it ends while
  // writing its profile, with none its folders cannot be made.
  for (const std::uintmax_t left : {std::uintmax_t{64} << 10, std::uintmax_t{0}}) {
    small.Fill(left);
    for (const auto& c : saves) {
      const com::Ptr<Application> application = NewApplication();
      const com::Ptr<Workbook> workbook = OpenWorkbook(application, kept);
      Put(SheetOf(workbook), "A2", Variant::Text(std::string(100000, 'x')));
      const com::Error error = ErrorOf([&] { c.save(workbook); });
      EXPECT_THAT(error.hr(), ::testing::AnyOf(kApplicationError, com::RPC_E_DISCONNECTED))
          << c.name << ", " << left << " bytes left";
      EXPECT_THAT(error.what(),
                  ::testing::StartsWith("The disk is full (No space left on device): " + c.file +
                                        " could not be saved"))
          << c.name << ", " << left << " bytes left";
      application->Quit();
    }
    const test_support::ScopedEnv temporary("TMPDIR", disk.string());
    const com::Error start = ErrorOf([] { NewApplication(); });
    EXPECT_EQ(start.hr(), com::CO_E_SERVER_EXEC_FAILURE) << left;
    EXPECT_THAT(start.what(), ::testing::StartsWith("The disk is full (No space left on device): "
                                                    "the office"))
        << left;
    EXPECT_THAT(start.what(), HasSubstr(disk.string())) << left;
  }
}

}  // namespace
}  // namespace excel::calc::testing
