// The model's workbook operations on the in-memory spreadsheet application:
// open, save, reload, stop, the case dialog, the plug-ins, file paths and
// relocation.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "model/file_paths.h"
#include "model/model.h"
#include "model/scripted_dialogs.h"
#include "platform/files.h"
#include "support/application_registration.h"
#include "support/guarded_buffer.h"
#include "support/temp_folder.h"

namespace {

using model::CaseDialogKind;
using model::CExcCaseDetails;
using model::CExcModel;
using model::DialogResult;
using test_support::GuardedBuffer;

class ModelWorkbookTest : public ::testing::Test {
 protected:
  ExtStatusRecord* Status() { return reinterpret_cast<ExtStatusRecord*>(status_.bytes.data()); }
  std::string Message() const {
    return std::string(reinterpret_cast<const char*>(status_.bytes.data()) + 4);
  }

  com::Ptr<test_support::MemoryApplication> ApplicationOf(std::size_t index) {
    auto live = applications_.LiveApplications();
    return index < live.size() ? live[index] : nullptr;
  }

  // A workbook file with one sheet "Data" holding "saved" in A1.
  std::string MakeWorkbookFile(const std::string& name) {
    CExcModel maker;
    maker.caseDetails.fileName = folder_.File(name);
    EXPECT_EQ(maker.OpenCaseWorkbook(nullptr, Status()), 0) << Message();
    auto book = ApplicationOf(applications_.LiveApplications().size() - 1)->ActiveWorkbook();
    book->AddWorksheet("Data");
    book->SetCellValue("Data", "A1", com::Variant::Text("saved"));
    EXPECT_EQ(maker.SaveCaseWorkbook(0, nullptr, Status()), 0) << Message();
    return folder_.File(name);
  }

  test_support::MemoryApplicationRegistration applications_{"memory", true};
  test_support::TempFolder folder_;
  GuardedBuffer status_{EXT_STATUS_RECORD_SIZE, 0};
};

TEST_F(ModelWorkbookTest, ANewWorkbookIsSavedUnderTheCaseFileNotTheApplicationsName) {
  CExcModel model;
  ASSERT_FALSE(model.CreateFailed()) << model.CreateError();
  model.caseDetails.fileName = folder_.File("new.xlsx");
  EXPECT_EQ(model.StartApplication(0, Status()), 0) << Message();
  EXPECT_EQ(model.caseDetails.workbookOpen, 1);
  EXPECT_EQ(model.sheetNames, std::vector<std::string>{"Sheet1"});

  // Twice: the workbook stays unnamed in the application, so every in-place
  // save writes the case's file.
  for (int i = 0; i < 2; ++i) {
    EXPECT_EQ(model.SaveCaseWorkbook(0, nullptr, Status()), 0) << Message();
    EXPECT_TRUE(platform::FileExists(folder_.File("new.xlsx")));
    std::filesystem::remove(folder_.File("new.xlsx"));
  }
  // A copy under another name, given by the host; blanks mean in place.
  EXPECT_EQ(model.SaveCaseWorkbook(0, folder_.File("copy.xlsx").c_str(), Status()), 0);
  EXPECT_TRUE(platform::FileExists(folder_.File("copy.xlsx")));
  EXPECT_EQ(model.SaveCaseWorkbook(0, "   ", Status()), 0);
  EXPECT_TRUE(platform::FileExists(folder_.File("new.xlsx")));
  EXPECT_TRUE(status_.GuardsIntact());
}

TEST_F(ModelWorkbookTest, AnExistingWorkbookIsOpenedSavedInPlaceAndReloadedFromDisk) {
  const std::string path = MakeWorkbookFile("case.xlsx");
  CExcModel model;
  model.caseDetails.fileName = path;
  ASSERT_EQ(model.OpenCaseWorkbook(nullptr, Status()), 0) << Message();
  model.RefreshSheetNames();
  EXPECT_EQ(model.sheetNames, (std::vector<std::string>{"Sheet1", "Data"}));

  auto application = ApplicationOf(applications_.LiveApplications().size() - 1);
  auto book = application->ActiveWorkbook();
  book->SetCellValue("Data", "A1", com::Variant::Text("changed"));
  EXPECT_EQ(model.ReloadWorkbook(Status()), 0) << Message();
  EXPECT_EQ(application->ActiveWorkbook()->CellValue("Data", "A1"), com::Variant::Text("saved"));

  application->ActiveWorkbook()->SetCellValue("Data", "A1", com::Variant::Text("kept"));
  EXPECT_EQ(model.SaveCaseWorkbook(0, nullptr, Status()), 0) << Message();
  EXPECT_EQ(model.ReloadWorkbook(Status()), 0) << Message();
  EXPECT_EQ(application->ActiveWorkbook()->CellValue("Data", "A1"), com::Variant::Text("kept"));
}

TEST_F(ModelWorkbookTest, AFileIsOpenInOneInstanceOnly) {
  const std::string path = MakeWorkbookFile("shared.xlsx");
  CExcModel first;
  CExcModel second;
  first.caseDetails.fileName = path;
  second.caseDetails.fileName = path;
  ASSERT_EQ(first.OpenCaseWorkbook(nullptr, Status()), 0) << Message();
  EXPECT_EQ(second.OpenCaseWorkbook(nullptr, Status()), 1);
  EXPECT_EQ(Message(),
            "This file is open in another instance of Excel.\nIt can not be opened twice in the "
            "same Conflux model");
  EXPECT_EQ(second.caseDetails.workbookOpen, 0);
}

TEST_F(ModelWorkbookTest, PlugInsOfTheCaseAndTheDriverAreOpenedWithTheWorkbook) {
  const std::string casePlugIn = MakeWorkbookFile("case-addin.xlsx");
  const std::string driverPlugIn = MakeWorkbookFile("driver-addin.xlsx");
  // The makers have gone; their applications released the files.
  const std::string driverList = driverPlugIn + ";" + folder_.File("missing.xlam");
  CExcModel model([&] { return driverList; });
  model.caseDetails.fileName = folder_.File("main.xlsx");
  model.caseDetails.plugIns = casePlugIn + ";;  ";
  // Only an existing file is opened as an add-in; the main workbook is new.
  std::filesystem::copy_file(casePlugIn, folder_.File("main.xlsx"));
  ASSERT_EQ(model.OpenCaseWorkbook(nullptr, Status()), 0) << Message();

  auto application = ApplicationOf(applications_.LiveApplications().size() - 1);
  std::vector<std::string> open;
  for (const auto& book : application->OpenWorkbooks())
    open.push_back(book->Path());
  EXPECT_EQ(open, (std::vector<std::string>{casePlugIn, driverPlugIn, folder_.File("main.xlsx")}));
}

// What each operation answers without a session is pinned on a model that
// never had one; here: what stopping leaves.
TEST_F(ModelWorkbookTest, StopQuitsTheApplicationAndForgetsTheWorkbook) {
  CExcModel model;
  model.caseDetails.fileName = folder_.File("stopped.xlsx");
  ASSERT_EQ(model.StartApplication(0, Status()), 0) << Message();
  void* dispatch = nullptr;
  EXPECT_EQ(model.GetDispatch(&dispatch, Status()), 0);
  EXPECT_EQ(dispatch, static_cast<void*>(model.Session()->GetWorkbook()));
  auto application = ApplicationOf(0);
  EXPECT_EQ(model.StopApplication(), 0);
  EXPECT_TRUE(application->HasQuit());
  EXPECT_EQ(model.Session(), nullptr);
  EXPECT_EQ(model.caseDetails.workbookOpen, 0);
  EXPECT_TRUE(model.sheetNames.empty());

  std::uint32_t changed = 5;
  EXPECT_EQ(model.EditCase(nullptr, &changed, Status()), 1);
  EXPECT_EQ(Message(), "There is no connection to Excel");
  EXPECT_EQ(changed, 5u);
  dispatch = nullptr;
  EXPECT_EQ(model.GetDispatch(&dispatch, Status()), 1);
  EXPECT_EQ(dispatch, nullptr);
}

TEST_F(ModelWorkbookTest, CaseDialogResults) {
  auto dialogs = std::make_shared<test_support::ScriptedDialogs>();
  test_support::ScopedDialogs installed(dialogs);
  CExcModel model;
  model.caseDetails.fileName = folder_.File("dialog.xlsx");

  // Cancelled: -1, the flag untouched, the case as it was.
  dialogs->OnEditCase([](CaseDialogKind, CExcModel&, CExcCaseDetails& details) {
    details.inputCount = 9;
    return DialogResult::kCancel;
  });
  std::uint32_t changed = 7;
  EXPECT_EQ(model.EditCase(nullptr, &changed, Status()), -1);
  EXPECT_EQ(changed, 7u);
  EXPECT_EQ(model.caseDetails.inputCount, 1u);

  // Confirmed without a change while the workbook is not open: changed.
  dialogs->OnEditCase(nullptr);
  EXPECT_EQ(model.EditCase(nullptr, &changed, Status()), 0);
  EXPECT_EQ(changed, 1u);

  // Confirmed with the workbook open: changed when the file or a stream
  // count differs (which names are one file is the session's business).
  ASSERT_EQ(model.OpenCaseWorkbook(nullptr, Status()), 0);
  const std::string other = folder_.File("other.xlsx");
  const struct {
    std::function<void(CExcCaseDetails&)> edit;
    std::uint32_t changed;
  } edits[] = {
      {[](CExcCaseDetails&) {}, 0},
      {[](CExcCaseDetails& details) { details.outputCount = 2; }, 1},
      {[&](CExcCaseDetails& details) { details.fileName = other; }, 1},
  };
  for (const auto& e : edits) {
    dialogs->OnEditCase([&](CaseDialogKind, CExcModel&, CExcCaseDetails& details) {
      e.edit(details);
      return DialogResult::kOk;
    });
    EXPECT_EQ(model.EditCase(nullptr, &changed, Status()), 0);
    EXPECT_EQ(changed, e.changed);
  }

  // The kind follows the model's dialog kind; the parent window is passed.
  dialogs->OnEditCase(nullptr);
  int parent = 0;
  for (const std::int32_t kind : {0, 1}) {
    model.dialogKind = kind;
    EXPECT_EQ(model.EditCase(&parent, nullptr, Status()), 0);
    const auto calls = dialogs->Calls();
    EXPECT_EQ(calls.back().kind, kind < 1 ? CaseDialogKind::kFull : CaseDialogKind::kSimpleFile);
    EXPECT_EQ(calls.back().parent, &parent);
  }
}

TEST(FilePathsTest, SplitsAtEitherSeparatorAndJoinsWithSlash) {
  struct Case {
    const char* path;
    const char* directory;
    std::optional<std::string> expected;
  };
  const Case cases[] = {
      {"C:\\a\\b\\case.xlsx", "/data", "/data/case.xlsx"},
      {"/a/b/case.xlsx", "/data", "/data/case.xlsx"},
      {"/a\\mixed/case.xlsx", "/data", "/data/case.xlsx"},
      {"\\\\server\\share\\case.xlsx", "D:\\cases", "D:\\cases/case.xlsx"},
      {"/a/b/case.xlsx", "/data/\\", "/data/case.xlsx"},
      {"/a/b/case.xlsx", "/", "/case.xlsx"},
      {"/a/b/", "/data", "/data/"},
      {"case.xlsx", "/data", std::nullopt},
      {"", "/data", std::nullopt},
      {"/a/case.xlsx", "", std::nullopt},
      {"/a/case.xlsx", "  ", std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.path) + " in " + c.directory);
    EXPECT_EQ(model::PathInDirectory(c.path, c.directory), c.expected);
  }
  EXPECT_EQ(model::FileNamePart("x\\y/z.xls"), "z.xls");
  EXPECT_EQ(model::FileNamePart("z.xls"), std::nullopt);
}

TEST_F(ModelWorkbookTest, ChangeFileDirectoryMovesTheFileNameOnlyOntoAnExistingFile) {
  test_support::TempFolder elsewhere;
  std::ofstream(elsewhere.File("case.xlsx")) << "x";
  std::filesystem::create_directory(elsewhere.path() / "folder.xlsx");
  const std::string dir = elsewhere.path().string();

  struct Case {
    std::string fileName;
    std::string directory;
    std::string expected;
  };
  // The path is split and joined as PathInDirectory does; only an existing
  // file (no folder) moves the name.
  const std::vector<Case> cases = {
      {"C:\\cases\\case.xlsx", dir + "\\", dir + "/case.xlsx"},
      {"/old/place/missing.xlsx", dir, "/old/place/missing.xlsx"},
      {"/old/place/folder.xlsx", dir, "/old/place/folder.xlsx"},
      {"case.xlsx", dir, "case.xlsx"},  // no folder part
  };
  CExcModel model;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.fileName + " -> " + c.directory);
    model.caseDetails.fileName = c.fileName;
    EXPECT_EQ(model.ChangeFileDirectory(c.directory.c_str(), Status()), 0);
    EXPECT_EQ(model.caseDetails.fileName, c.expected);
  }
  model.caseDetails.fileName = "/a/b.xlsx";
  EXPECT_EQ(model.ChangeFileDirectory(nullptr, Status()), 0);
  EXPECT_EQ(model.caseDetails.fileName, "/a/b.xlsx");
}

}  // namespace
