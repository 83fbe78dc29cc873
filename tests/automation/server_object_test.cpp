#include "automation/server_object.h"

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "automation/cell_transfer.h"
#include "session_fixture.h"
#include "support/temp_registry.h"

namespace {

using automation::CExcServerObj;
using automation::CExcServerObjCollection;
using test_support::SessionTest;

constexpr const char* kAnotherInstance =
    "This file is open in another instance of Excel.\nIt can not be opened twice in the same "
    "Conflux model";

TEST(ServerObject, WithoutAnApplicationItStaysUnregisteredAndRefusesToOpen) {
  test_support::ScopedEnv none("GRIDMOOR_SPREADSHEET", "none");
  const std::size_t before = CExcServerObjCollection::Count();
  CExcServerObj server;
  EXPECT_TRUE(server.CreateFailed());
  EXPECT_EQ(server.Session(), nullptr);
  EXPECT_EQ(server.CreateError(),
            "Failed to create Excel application: Failed to create Excel (800401f3: Invalid class "
            "string)");
  EXPECT_EQ(CExcServerObjCollection::Count(), before);

  char message[260] = {};
  EXPECT_EQ(server.Open("/tmp/x.xlsx", {}, false, message), 1);
  EXPECT_STREQ(message, "There is no connection to Excel");
  EXPECT_EQ(server.Close(), 0);
}

TEST_F(SessionTest, AMissingFileGivesANewWorkbookUnderItsNameAndCloseQuitsInOrder) {
  const std::size_t before = CExcServerObjCollection::Count();
  {
    CExcServerObj server;
    EXPECT_EQ(CExcServerObjCollection::Count(), before + 1);
    const std::string path = folder_.File("new.xlsx");
    EXPECT_EQ(server.Open(path, {}, false, Msg()), 0);
    EXPECT_EQ(server.FileName(), path);
    EXPECT_FALSE(server.FileExists());
    EXPECT_EQ(recorder_->CountOf("Workbooks.Add"), 1u);
    EXPECT_EQ(recorder_->Lines()[1], "Application.PutVisible(lcid=0, VARIANT_TRUE)");
    EXPECT_EQ(server.Open(path, {}, false, Msg()), 0) << "already open: nothing to do";
    EXPECT_EQ(server.Reopen(Msg()), 0);
    EXPECT_EQ(recorder_->CountOf("Workbook.Close"), 1u);
    EXPECT_EQ(recorder_->CountOf("Workbooks.Add"), 2u) << "still no file: a new workbook again";

    recorder_->Clear();
    EXPECT_EQ(server.Close(), 0);
    EXPECT_EQ(server.Session(), nullptr);
    EXPECT_EQ(CExcServerObjCollection::Count(), before);
    EXPECT_EQ(recorder_->Transcript(),
              "Workbook.Close(VT_BOOL false, Missing, Missing, lcid=0)\nApplication.Quit()\n");
    EXPECT_EQ(server.Close(), 0);
  }
  EXPECT_EQ(recorder_->CountOf("Application.Quit"), 1u) << "the destructor closes nothing twice";
}

TEST_F(SessionTest, OneFileIsNeverOpenInTwoServerObjects) {
  const std::string path = MakeWorkbookFile("shared.xlsx", {"Data"});
  CExcServerObj first;
  CExcServerObj second;
  ASSERT_EQ(first.Open(path, {}, false, Msg()), 0);
  EXPECT_TRUE(first.FileExists());
  EXPECT_EQ(second.Open(path, {}, false, Msg()), 1);
  EXPECT_EQ(MessageText(), kAnotherInstance);
  EXPECT_EQ(second.FileName(), "");
  EXPECT_EQ(CExcServerObjCollection::FindByFile(path, &second), &first);
  EXPECT_EQ(CExcServerObjCollection::FindByFile(path, &first), nullptr);

  // The same file by another spelling of its path; another case is another file.
  std::filesystem::create_directory(folder_.path() / "sub");
  EXPECT_EQ(
      second.Open((folder_.path() / "." / "sub" / ".." / "shared.xlsx").string(), {}, false, Msg()),
      1);
  EXPECT_TRUE(automation::SameFile(path, folder_.path().string() + "\\shared.xlsx"));
  EXPECT_EQ(second.Open(MakeWorkbookFile("Shared.xlsx", {"Data"}), {}, false, Msg()), 0);

  // A failed open keeps the old file name and claims nothing.
  const std::string bad = folder_.File("bad.xlsx");
  std::ofstream(bad) << "not a workbook";
  EXPECT_EQ(second.Open(bad, {}, false, Msg()), 1);
  EXPECT_EQ(second.FileName(), folder_.File("Shared.xlsx"));
  EXPECT_EQ(CExcServerObjCollection::FindByFile(bad, &first), nullptr);

  first.Close();
  EXPECT_EQ(second.Open(path, {}, false, Msg()), 0);
  // Opened again with the reopen flag, the file drops what was not saved.
  ASSERT_EQ(automation::WriteCellText(second.Session(), "Data", "A1", "99").Message(), "");
  EXPECT_EQ(second.Open(path, {}, /*reopen=*/true, Msg()), 0);
  const outcome::Expected<std::string> text =
      automation::ReadCellText(second.Session(), "Data", "A1");
  ASSERT_TRUE(text) << text.GetError().Message();
  EXPECT_EQ(*text, "");
}

// Eight server objects open and close their own files while a ninth keeps
// trying to open a file the first one holds: every try of it is refused.
TEST(ServerObjectThreads, DuplicateOpensAreRefusedUnderContention) {
  test_support::MemoryApplicationRegistration registration("memory", /*asDefault=*/true);
  test_support::TempFolder folder;
  constexpr int kThreads = 8;
  constexpr int kRounds = 200;
  std::vector<CExcServerObj> servers(kThreads + 1);
  const std::string held = folder.File("file0.xlsx");
  {
    char message[260] = {};
    ASSERT_EQ(servers[0].Open(held, {}, false, message), 0);
    ASSERT_FALSE(servers[0].Session()->SaveWorkbookCopyAs(held));
  }

  std::atomic<int> opened{0};
  std::atomic<int> refused{0};
  std::atomic<int> failures{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      char message[260] = {};
      const std::string own = folder.File("file" + std::to_string(t) + ".xlsx");
      for (int round = 0; round < kRounds; ++round) {
        if (servers[t].Open(own, {}, false, message) != 0) ++failures;
        servers[t].Session()->CloseWorkbook();
      }
    });
  }
  threads.emplace_back([&] {
    char message[260] = {};
    for (int round = 0; round < kRounds; ++round) {
      if (servers[kThreads].Open(held, {}, false, message) == 0) {
        ++opened;
      } else if (std::string(message) == kAnotherInstance) {
        ++refused;
      }
    }
  });
  for (std::thread& thread : threads)
    thread.join();
  EXPECT_EQ(failures, 0);
  EXPECT_EQ(opened, 0);
  EXPECT_EQ(refused, kRounds);
}

}  // namespace
