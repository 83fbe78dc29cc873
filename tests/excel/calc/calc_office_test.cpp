// The office process behind the application objects: sharing, isolation,
// ending, dying, failing to start.
#include <gmock/gmock.h>
#include <signal.h>
#include <sys/mount.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <memory>
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

// A macro that never returns, in a new workbook, fails at the call limit.
void ExpectAMacroThatNeverEndsToFail(const com::Ptr<Application>& application, int seconds) {
  const com::Ptr<Workbook> workbook = NewWorkbook(application);
  PutBasicModule(workbook, "Standard", "Loops", "Sub Forever\n  Do\n  Loop\nEnd Sub\n");
  const com::Error error =
      ErrorOf([&] { application->Run(Variant::Text("Forever"), excel_test::Arguments()); });
  EXPECT_EQ(error.hr(), com::RPC_E_DISCONNECTED);
  EXPECT_THAT(error.what(),
              HasSubstr("did not answer within " + std::to_string(seconds) + " seconds"));
}

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
// two is a copy in each, with one lock file until its last holder closes.
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
  second->Quit();
  EXPECT_FALSE(fs::exists(LockFilePath(path)));
  EXPECT_FALSE(IsOurChild(pid));  // ended and reaped
  EXPECT_EQ(CurrentOfficeProcessId(), 0);
  // Releasing without Quit ends it as well.
  NewApplication();
  EXPECT_EQ(CurrentOfficeProcessId(), 0);
}

// An office that ends on its own (a crash, a kill) is named so at once, with
// how it ended and the macro running or last run; its locks go. A new
// application made right after a kill never joins the dead office.
TEST_F(CalcOfficeTest, AnOfficeThatEndsOnItsOwnIsSaidToHaveEndedHowAndInWhichMacroByEveryCall) {
  // A crash ends the office through its own handler, by a signal of its choosing.
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
    // A later call says so too (every bridge call: the host's fault sweep).
    EXPECT_THAT(ErrorOf([&] { cell->Invoke(kDispidValue2, InvokeKind::kPropertyGet, {}); }).what(),
                HasSubstr("The office ended unexpectedly"));
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

// (A stopped office: the driver's office fault test.)
TEST_F(CalcOfficeTest, AMacroThatNeverEndsIsEndedAtTheCallLimitWithItsLocks) {
  const ScopedCallTimeout limit(std::chrono::seconds(2));
  const com::Ptr<Application> application = NewApplication();
  const std::string path = SavedWorkbook(application, PathOf("held.fods"));
  OpenWorkbook(application, path);
  ASSERT_TRUE(fs::exists(LockFilePath(path)));
  const int pid = CurrentOfficeProcessId();
  ExpectAMacroThatNeverEndsToFail(application, 2);
  EXPECT_FALSE(fs::exists(LockFilePath(path)));

  // The next application starts anew.
  const com::Ptr<Application> fresh = NewApplication();
  EXPECT_NE(CurrentOfficeProcessId(), pid);
  EXPECT_EQ(Get(SheetOf(OpenWorkbook(fresh, path)), "A1"), Variant::Double(7));
  application->Quit();
  fresh->Quit();
  EXPECT_FALSE(IsOurChild(pid));
}

class ScopedOfficePipe {
 public:
  explicit ScopedOfficePipe(const std::string& pipe) { SetOfficePipe(pipe); }
  ~ScopedOfficePipe() { SetOfficePipe(""); }
};

// An attached office that does not answer is left to its owner (handing a
// warm office on: the host's run-many tests).
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
// words, and the office goes on. What an ended office of this process left
// goes when a workbook beside it is opened.
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
      {"empty.xlsx", ""}, {"zipped.xlsx", "PK\x03\x04 and no archive after the signature"}};
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
    // Nor over the held file by another name; a copy elsewhere is its own.
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
  // Saved as a new inode, it stays held by its resolved path and new inode
  // (the office saves a file of several names, or by a link, in place).
  fs::remove(hard);
  const com::Ptr<Workbook> saved = OpenWorkbook(application, path);
  const std::vector<std::string> before = IdentityKeys(path);
  Put(SheetOf(saved), "A1", Variant::Double(10));
  saved->Save(0);
  ASSERT_NE(IdentityKeys(path), before) << "the save kept the inode: this test proves nothing";
  fs::create_hard_link(path, PathOf("later.xlsx"));
  for (const char* name : {"link.xlsx", "later.xlsx"})
    EXPECT_EQ(OtherHolder(PathOf(name)).State(), 'r') << name;
  application->Quit();
  second->Quit();
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

// Writes a file in `folder` until less than `left` bytes are free.
void Fill(const fs::path& folder, std::uintmax_t left) {
  std::FILE* filler = std::fopen((folder / ("filler" + std::to_string(left))).c_str(), "wb");
  ASSERT_NE(filler, nullptr);
  const std::vector<char> block(4096, 'x');
  std::error_code error;
  while (fs::space(folder, error).available >= left + block.size() &&
         std::fwrite(block.data(), 1, block.size(), filler) == block.size()) {
    std::fflush(filler);
  }
  std::fclose(filler);
  ASSERT_LT(fs::space(folder, error).available, left + block.size());
}

TEST_F(CalcOfficeTest, AFullDiskIsReportedAsFullNamingTheFile) {
  if (::geteuid() != 0) GTEST_SKIP() << "mounting a small file system needs root";
  // A 1 MB file system of its own, unmounted at the end.
  const fs::path disk = PathOf("small-disk");
  fs::create_directories(disk);
  if (::mount("tmpfs", disk.c_str(), "tmpfs", 0, "size=1m") != 0)
    GTEST_SKIP() << "this system refuses to mount a tmpfs";
  const std::shared_ptr<void> unmount(nullptr, [&](void*) { ::umount2(disk.c_str(), MNT_DETACH); });
  const std::string kept = SavedWorkbook(NewApplication(), (disk / "kept.fods").string());
  // With a little room the office refuses a save, with none it may end
  // itself on it; an office whose folders go there does not start.
  for (const std::uintmax_t left : {std::uintmax_t{64} << 10, std::uintmax_t{0}}) {
    Fill(disk, left);
    const com::Ptr<Application> application = NewApplication();
    const com::Ptr<Workbook> workbook = OpenWorkbook(application, kept);
    Put(SheetOf(workbook), "A2", Variant::Text(std::string(100000, 'x')));
    const com::Error error = ErrorOf([&] { workbook->Save(0); });
    EXPECT_THAT(error.hr(), ::testing::AnyOf(kApplicationError, com::RPC_E_DISCONNECTED)) << left;
    EXPECT_THAT(error.what(), ::testing::StartsWith("The disk is full (No space left on device): " +
                                                    kept + " could not be saved"))
        << left;
    application->Quit();
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
