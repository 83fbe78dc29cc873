#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "automation/excel_session.h"
#include "com/error.h"
#include "excel/errors.h"
#include "session_fixture.h"
#include "support/temp_registry.h"

namespace {

using automation::CExcExcelObj;
using test_support::Recorder;
using test_support::SessionTest;

// The session's sheet names, or the failure's message in their place.
std::vector<std::string> Names(CExcExcelObj& session) {
  outcome::Expected<std::vector<std::string>> names = session.GetSheetNames();
  return names ? *std::move(names) : std::vector{"failed: " + names.GetError().Message()};
}

// The settings map Excel.Application.9 ... .16 to applications "v9" ...
// "v16", each recording that it was asked and failing with its own code.
class NoApplicationTest : public ::testing::Test {
 protected:
  NoApplicationTest() {
    std::string text = "REGEDIT4\n";
    for (int version = 9; version <= 16; ++version) {
      const std::string name = "v" + std::to_string(version);
      text += "\n[HKEY_CLASSES_ROOT\\Excel.Application." + std::to_string(version) + "]\n@=\"" +
              name + "\"\n";
      factories_.push_back(std::make_unique<test_support::ScopedApplicationFactory>(
          name, [this, version]() -> com::Ptr<excel::Application> {
            attempts_.push_back(version);
            if (!succeed_.empty() && succeed_.back() == version)
              return test_support::MemoryApplication::Create();
            // 16 is there and says why it cannot start; 9 is not there.
            if (version == 9) com::Throw(com::REGDB_E_CLASSNOTREG);
            com::Throw(com::E_FAIL, version == 16 ? "no office program found" : "");
          }));
    }
    registry_.Write(text);
  }

  test_support::ScopedEnv noOverride_{"GRIDMOOR_SPREADSHEET", std::nullopt};
  test_support::TempRegistry registry_;
  std::vector<std::unique_ptr<test_support::ScopedApplicationFactory>> factories_;
  std::vector<int> attempts_;
  std::vector<int> succeed_;
};

TEST_F(NoApplicationTest, VersionsAreTriedNewestFirstUntilOneStartsOrTheInstalledOnesReasonShows) {
  const auto none = automation::CreateExcelSession();
  EXPECT_FALSE(none);
  EXPECT_EQ(attempts_, (std::vector<int>{16, 15, 14, 13, 12, 11, 10, 9}));
  EXPECT_EQ(none.GetError().Message(),
            "Failed to create Excel application: Failed to create Excel (80004005: no office "
            "program found)");

  attempts_.clear();
  succeed_.push_back(13);
  auto session = automation::CreateExcelSession();
  ASSERT_TRUE(session) << session.GetError().Message();
  EXPECT_EQ(attempts_, (std::vector<int>{16, 15, 14, 13}));
  (*session)->Quit();
}

TEST_F(NoApplicationTest, OlderVersionsCallTheOlderOpen) {
  for (int version : {9, 10}) {
    succeed_.push_back(version);
    auto recorder = std::make_shared<Recorder>();
    test_support::ScopedApplicationFactory recorded("v" + std::to_string(version), [recorder] {
      return test_support::MakeRecordingApplication(test_support::MemoryApplication::Create(),
                                                    recorder);
    });
    auto started = automation::CreateExcelSession();
    ASSERT_TRUE(started) << started.GetError().Message();
    std::unique_ptr<CExcExcelObj> session = *std::move(started);
    EXPECT_TRUE(session->OpenWorkbook("/no/such.xlsx"));
    const auto opens = recorder->CallsOf("Workbooks.Open");
    ASSERT_EQ(opens.size(), 1u);
    EXPECT_EQ(opens[0].line, std::string("Workbooks.Open(\"/no/such.xlsx\", optional=") +
                                 (version == 9 ? "12" : "14") +
                                 " x Missing, lcid=0) -> failed 0x800A03EC");
    session->Quit();
  }
}

TEST_F(SessionTest, CreationMinimisesTheNewestVersionAndFailsWithTheWindowStatesText) {
  auto session = NewSession();
  EXPECT_EQ(recorder_->Transcript(), "Application.PutWindowState(lcid=0, -4140)\n");

  recorder_->FailFrom("Application.PutWindowState", com::RPC_E_DISCONNECTED);
  const auto failing =
      automation::CExcExcelSession::Start(std::make_unique<automation::CExcExcel11Obj>(16));
  EXPECT_FALSE(failing);
  EXPECT_EQ(failing.GetError().Result(), outcome::kFailed) << "installed, but failed to start";
  EXPECT_EQ(failing.GetError().Message(), "The object invoked has disconnected from its clients.");
}

TEST_F(SessionTest, AddInsOpenFirstSkippingMissingOnesAndRunTheirAutoMacros) {
  const std::string first = MakeWorkbookFile("first.xlsm", {"A"});
  const std::string second = MakeWorkbookFile("second.xlsm", {"B"});
  const std::string main = MakeWorkbookFile("main.xlsx", {"Main"});
  auto session = NewSession();
  recorder_->Clear();
  EXPECT_EQ(
      session->OpenWorkbookWithAddIns(main, {folder_.File("absent.xlsm"), first, second}).Message(),
      "");
  const auto open = [](const std::string& path) {
    return "Application.GetWorkbooks()\nWorkbooks.Open(\"" + path +
           "\", optional=14 x Missing, lcid=0)\n";
  };
  const std::string autoMacros = "Workbook.RunAutoMacros(1, lcid=0)\n";
  EXPECT_EQ(recorder_->Transcript(),
            open(first) + autoMacros + open(second) + autoMacros + open(main));
  EXPECT_EQ(Names(*session), std::vector<std::string>{"Main"});
}

TEST_F(SessionTest, WorksheetsAreAddedAndSelectedOnlyWhenTheyAreWorksheetsOfTheCurrentWorkbook) {
  auto session = NewSession();
  recorder_->Clear();
  ASSERT_EQ(session->NewWorkbook().Message(), "");
  EXPECT_EQ(recorder_->Transcript(),
            "Application.GetWorkbooks()\nWorkbooks.Add(Missing, lcid=0)\n");
  EXPECT_EQ(Names(*session), std::vector<std::string>{"Sheet1"});
  ASSERT_EQ(session->SelectWorksheet("Sheet1").Message(), "");
  EXPECT_TRUE(session->SelectWorksheet("Nope"));  // its text: the worksheet functions' tests
  EXPECT_EQ(session->GetWorksheetName(), "Sheet1") << "an unknown sheet keeps the current one";

  // Added worksheets are named unless the name is blank, and become current.
  EXPECT_EQ(session->AddWorksheet("   ").Message(), "");
  EXPECT_EQ(session->GetWorksheetName(), "Sheet2");
  // A named one's calls and the refusal's text are the worksheet function tests'.
  EXPECT_TRUE(session->AddWorksheet("a/b"));
  EXPECT_EQ(session->GetWorksheetName(), "Sheet3") << "the new sheet stays current";

  // Sheet names fail as a whole on a chart sheet; selecting one leaves no
  // worksheet, and cells then read as empty text and cannot be written.
  Application()->ActiveWorkbook()->AddChartSheet("Chart1");
  const outcome::Expected<std::vector<std::string>> names = session->GetSheetNames();
  EXPECT_FALSE(names);
  EXPECT_EQ(names.GetError().Message(),
            "Failed to get sheet names for workbook in Excel (Invalid pointer)");
  EXPECT_EQ(session->SelectWorksheet("Chart1").Message(), "");
  EXPECT_EQ(session->GetWorksheetName(), "");
  const com::Variant value = session->GetCellValue("A1");
  EXPECT_EQ(value.vt, com::VT_BSTR);
  EXPECT_EQ(com::BstrToUtf8(value.bstrVal), "");
  EXPECT_EQ(session->SetCellValue("A1", com::Variant::Double(1)), 1);

  // The worksheet goes with its workbook.
  ASSERT_EQ(session->SelectWorksheet("Sheet1").Message(), "");
  ASSERT_EQ(session->NewWorkbook().Message(), "");
  EXPECT_EQ(session->GetWorksheetName(), "");
  EXPECT_EQ(session->SetCellValue("A1", com::Variant::Double(1)), 1);
  ASSERT_EQ(session->SelectWorksheet("Sheet1").Message(), "");
  session->CloseWorkbook();
  EXPECT_FALSE(session->HasWorkbook());
  EXPECT_EQ(session->GetWorksheetName(), "");
}

TEST_F(SessionTest, SavingFailsWithoutAWorkbookOrAFileAndCloseAndQuitAreSafeToRepeat) {
  auto session = NewSession();
  const com::Ptr<test_support::MemoryApplication> application = Application();
  EXPECT_EQ(session->SaveWorkbook().Message(), "Failed to save: Invalid pointer");
  ASSERT_EQ(session->NewWorkbook().Message(), "");
  EXPECT_EQ(session->SaveWorkbook().Message(), "Failed to save: Unknown error 0x800A03EC");
  const std::string copy = folder_.File("copy.xlsx");
  const outcome::Error copied = session->SaveWorkbookCopyAs(copy);
  EXPECT_FALSE(copied) << copied.Message();
  EXPECT_TRUE(std::filesystem::exists(copy));
  EXPECT_EQ(recorder_->Lines().back(), "Workbook.SaveCopyAs(VT_BSTR \"" + copy + "\", lcid=0)");
  recorder_->Clear();
  session->CloseWorkbook();
  EXPECT_FALSE(session->HasWorkbook());
  EXPECT_EQ(recorder_->Transcript(), "Workbook.Close(VT_BOOL false, Missing, Missing, lcid=0)\n");
  session->CloseWorkbook();  // nothing open: swallowed
  session->Quit();
  session->Quit();  // the application is gone: nothing called
  EXPECT_EQ(recorder_->CountOf("Application.Quit"), 1u);
  EXPECT_TRUE(application->HasQuit());
}

TEST_F(SessionTest, MacrosRunOnTheWorkbooksApplicationWithTheirArguments) {
  registration_.OnCreate([](test_support::MemoryApplication& app) {
    app.RegisterMacro("Module1.Step", [](auto&, const auto&) { return com::Variant(); });
  });
  auto session = NewSession();
  ASSERT_EQ(session->NewWorkbook().Message(), "");
  recorder_->Clear();
  // The event macros' arguments and the failure's text are the model's event tests'.
  EXPECT_FALSE(session->RunMacro("Module1.Step"));
  EXPECT_EQ(recorder_->Transcript(),
            "Workbook.Activate(lcid=0)\nWorkbook.GetApplication()\n"
            "Application.Run(VT_BSTR \"Module1.Step\", 30 x Missing)\n");

  // A failure's message is cut where the host's status text would cut it.
  const outcome::Error failed = session->RunMacro(std::string(300, 'm'));
  EXPECT_EQ(failed.Message(),
            "Unable to run macro " + std::string(automation::kMessageSize - 21, 'm'));
}

}  // namespace
