// The model: its answers without a spreadsheet, its workbook operations on
// the in-memory application, and the run-time events that reach workbook
// macros through the host's command codes.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <tuple>
#include <vector>

#include "automation/session_fixture.h"
#include "driver/commands/workbook_commands.h"
#include "driver/instances.h"
#include "driver/records/case_records.h"
#include "model/model.h"
#include "model/run_events.h"
#include "model/scripted_dialogs.h"
#include "platform/files.h"
#include "support/guarded_buffer.h"
#include "support/temp_folder.h"
#include "support/temp_registry.h"

namespace {

using casedata::CExcCaseDetails;
using model::CaseDialogKind;
using model::CExcModel;
using model::DialogResult;
using model::RunDate;
using test_support::GuardedBuffer;

// An answer's result and message, compared at once.
std::tuple<std::int32_t, std::string> Said(const outcome::Error& error) {
  return {error.Result(), error.Message()};
}

// Unit tests run without any application (GRIDMOOR_SPREADSHEET=none).
class UnconnectedModelTest : public ::testing::Test {
 protected:
  test_support::ScopedEnv noApplication_{"GRIDMOOR_SPREADSHEET", "none"};
  model::CExcModel model_;
};

TEST_F(UnconnectedModelTest, SpreadsheetOperationsAnswerThatThereIsNoConnection) {
  using M = model::CExcModel&;
  // The case dialog's answer is pinned after a stop; GetDispatch's in host_abi.c.
  const std::pair<const char*, outcome::Error (*)(M)> cases[] = {
      {"OpenCaseWorkbook", [](M m) { return m.OpenCaseWorkbook(); }},
      {"StartApplication", [](M m) { return m.StartApplication(); }},
      {"ReloadWorkbook", [](M m) { return m.ReloadWorkbook(); }},
      {"SaveCaseWorkbook", [](M m) { return m.SaveCaseWorkbook(std::string()); }}};
  for (const auto& [name, run] : cases)
    EXPECT_EQ(Said(run(model_)), std::tuple(1, "There is no connection to Excel")) << name;
  EXPECT_EQ(model_.caseDetails.workbookOpen, 0);
  EXPECT_EQ(model_.SetInterfaceVisible(true), 0);
  model_.RefreshSheetNames();
  EXPECT_TRUE(model_.sheetNames.empty());
  EXPECT_EQ(model_.StopApplication(), 0);
}

TEST_F(UnconnectedModelTest, TheEleventhResultTextReplacesTheFirst) {
  std::vector<const char*> handedOut;
  for (int i = 0; i < 10; ++i)
    handedOut.push_back(model_.HandOutResultText(std::to_string(i)));
  const char* eleventh = model_.HandOutResultText("eleven");
  EXPECT_EQ(model_.resultTexts[0].c_str(), eleventh);
  EXPECT_STREQ(eleventh, "eleven");
  EXPECT_EQ(model_.resultTextsIndex, 1);
  // The other nine are still valid (the sanitizer build sees a freed one).
  for (int i = 1; i < 10; ++i)
    EXPECT_STREQ(handedOut[i], std::to_string(i).c_str());
}

// A model over the in-memory application, with the host's status record.
class ModelWorkbookTest : public test_support::SessionTest {
 protected:
  void TearDown() override { EXPECT_TRUE(status_.GuardsIntact()); }
  ExtStatusRecord* Status() { return status_.status(); }
  std::string Message() const { return status_.Message(); }

  test_support::StatusBuffer status_;
};

TEST_F(ModelWorkbookTest, ANewWorkbookIsSavedUnderTheCaseFileAndForgottenOnStop) {
  CExcModel model;
  model.caseDetails.fileName = folder_.File("new.xlsx");
  ASSERT_EQ(model.StartApplication().Message(), "");
  EXPECT_EQ(model.caseDetails.workbookOpen, 1);
  EXPECT_EQ(model.sheetNames, std::vector<std::string>{"Sheet1"});

  // Twice: the workbook stays unnamed in the application, so every in-place
  // save writes the case's file.
  for (int i = 0; i < 2; ++i) {
    EXPECT_FALSE(model.SaveCaseWorkbook(std::string()));
    EXPECT_TRUE(platform::FileExists(folder_.File("new.xlsx")));
    std::filesystem::remove(folder_.File("new.xlsx"));
  }
  // A copy under another name, given by the host; blanks mean in place.
  EXPECT_FALSE(model.SaveCaseWorkbook(folder_.File("copy.xlsx")));
  EXPECT_TRUE(platform::FileExists(folder_.File("copy.xlsx")));
  EXPECT_FALSE(model.SaveCaseWorkbook("   "));
  EXPECT_TRUE(platform::FileExists(folder_.File("new.xlsx")));

  // Stopping quits the application and forgets the workbook.
  EXPECT_EQ(*model.GetDispatch(), model.Session()->GetWorkbook());
  auto application = Application();
  EXPECT_EQ(model.StopApplication(), 0);
  EXPECT_TRUE(application->HasQuit());
  EXPECT_EQ(std::tuple(model.Session(), model.caseDetails.workbookOpen, model.sheetNames.size()),
            std::tuple(nullptr, 0, 0u));
}

TEST_F(ModelWorkbookTest, AnExistingWorkbookIsOpenedSavedInPlaceAndReloadedFromDisk) {
  const std::string path = MakeWorkbookFile("case.xlsx", {"Sheet1", "Data"});
  CExcModel model;
  model.caseDetails.fileName = path;
  ASSERT_FALSE(model.OpenCaseWorkbook());
  model.RefreshSheetNames();
  EXPECT_EQ(model.sheetNames, (std::vector<std::string>{"Sheet1", "Data"}));

  auto application = Application();
  application->ActiveWorkbook()->SetCellValue("Data", "A1", com::Variant::Text("changed"));
  EXPECT_FALSE(model.ReloadWorkbook());
  EXPECT_EQ(application->ActiveWorkbook()->CellValue("Data", "A1"), com::Variant());

  application->ActiveWorkbook()->SetCellValue("Data", "A1", com::Variant::Text("kept"));
  EXPECT_FALSE(model.SaveCaseWorkbook(std::string()));
  EXPECT_FALSE(model.ReloadWorkbook());
  EXPECT_EQ(application->ActiveWorkbook()->CellValue("Data", "A1"), com::Variant::Text("kept"));
}

TEST_F(ModelWorkbookTest, PlugInsOfTheCaseAndTheDriverAreOpenedWithTheWorkbook) {
  const std::string casePlugIn = MakeWorkbookFile("case-addin.xlsx", {"Sheet1"});
  const std::string driverPlugIn = MakeWorkbookFile("driver-addin.xlsx", {"Sheet1"});
  const std::string driverList = driverPlugIn + ";" + folder_.File("missing.xlam");
  CExcModel model([&] { return driverList; });
  model.caseDetails.fileName = folder_.File("main.xlsx");
  model.caseDetails.plugIns = casePlugIn + ";;  ";
  // Only an existing file is opened as an add-in; the main workbook is new.
  std::filesystem::copy_file(casePlugIn, folder_.File("main.xlsx"));
  ASSERT_FALSE(model.OpenCaseWorkbook());

  auto application = Application();
  std::vector<std::string> open;
  for (const auto& book : application->OpenWorkbooks())
    open.push_back(book->Path());
  EXPECT_EQ(open, (std::vector<std::string>{casePlugIn, driverPlugIn, folder_.File("main.xlsx")}));
}

// The case dialog and the workbook's pointer through their commands' edge:
// the host's flag and pointer are written only on success.
TEST_F(ModelWorkbookTest, TheCaseDialogsFlagAndTheWorkbooksPointerReachTheHost) {
  auto dialogs = std::make_shared<test_support::ScriptedDialogs>();
  test_support::ScopedDialogs installed(dialogs);
  CExcModel model;
  model.caseDetails.fileName = folder_.File("dialog.xlsx");
  int parent = 0;
  GuardedBuffer flag(sizeof(std::uint32_t), 0x33);
  // The answer and message, and the flag the host reads (none: untouched).
  const auto edit = [&]() {
    std::memset(flag.bytes.data(), 0x33, flag.size);
    const std::int32_t result =
        driver::edge::EditCase(model, {&parent, flag.bytes.data(), 0, Status()});
    const std::optional<std::uint32_t> word =
        flag.bytes[0] == 0x33 ? std::nullopt : std::optional(flag.Get<std::uint32_t>(0));
    return std::tuple(result, Message(), word);
  };
  using Edited = std::tuple<std::int32_t, std::string, std::optional<std::uint32_t>>;

  // Cancelled: -1 without a message, the case as it was.
  dialogs->OnEditCase([](CaseDialogKind, CExcModel&, CExcCaseDetails& details) {
    details.inputCount = 9;
    return DialogResult::kCancel;
  });
  EXPECT_EQ(edit(), Edited(-1, "", std::nullopt));
  EXPECT_EQ(model.caseDetails.inputCount, 1u);
  // Confirmed without a change while the workbook is not open: changed.
  dialogs->OnEditCase(nullptr);
  EXPECT_EQ(edit(), Edited(0, "", 1));
  ASSERT_FALSE(model.OpenCaseWorkbook());

  // Confirmed with the workbook open: changed when the file or a stream
  // count differs (which names are one file is the session's business).
  const std::tuple<std::uint32_t, std::string, std::uint32_t> edits[] = {
      {1, model.caseDetails.fileName, 0},
      {2, model.caseDetails.fileName, 1},
      {1, folder_.File("other.xlsx"), 1}};
  for (const auto& [outputs, file, changed] : edits) {
    dialogs->OnEditCase(
        [&, outputs = outputs, file = file](CaseDialogKind, CExcModel&, CExcCaseDetails& details) {
          details.outputCount = outputs;
          details.fileName = file;
          return DialogResult::kOk;
        });
    EXPECT_EQ(edit(), Edited(0, "", changed)) << outputs << " " << file;
  }

  // The kind follows the model's dialog kind; the parent window is passed.
  dialogs->OnEditCase(nullptr);
  for (const std::int32_t kind : {0, 1}) {
    model.dialogKind = kind;
    EXPECT_EQ(std::get<0>(edit()), 0);
    const auto calls = dialogs->Calls();
    EXPECT_EQ(calls.back().kind, kind < 1 ? CaseDialogKind::kFull : CaseDialogKind::kSimpleFile);
    EXPECT_EQ(calls.back().parent, &parent);
  }

  GuardedBuffer pointer(sizeof(void*), 0x33);
  const auto dispatch = [&](void* record) {
    return driver::edge::GetDispatch(model, {nullptr, record, 0, Status()});
  };
  EXPECT_EQ(dispatch(pointer.bytes.data()), 0);
  EXPECT_EQ(pointer.Get<excel::Workbook*>(0), model.Session()->GetWorkbook());
  EXPECT_EQ(dispatch(nullptr), 1) << "no place for the pointer fails as no workbook does";
  EXPECT_EQ(Message(), model::kNoDispatchMessage);
  ASSERT_EQ(model.StopApplication(), 0);
  std::memset(pointer.bytes.data(), 0x33, pointer.size);
  EXPECT_EQ(dispatch(pointer.bytes.data()), 1);
  EXPECT_EQ(pointer.bytes[0], 0x33);
  EXPECT_EQ(edit(), Edited(1, "There is no connection to Excel", std::nullopt));
  EXPECT_TRUE(flag.GuardsIntact() && pointer.GuardsIntact());
}

TEST_F(ModelWorkbookTest, ChangeFileDirectoryMovesTheFileNameOnlyOntoAnExistingFile) {
  test_support::TempFolder elsewhere;
  std::ofstream(elsewhere.File("case.xlsx")) << "x";
  std::filesystem::create_directory(elsewhere.path() / "folder.xlsx");
  const std::string dir = elsewhere.path().string();

  // The file name, the new directory and the file name after the move: split
  // at either separator, joined with "/"; only an existing file (no folder)
  // moves the name. The edge reads no directory as the empty one.
  const std::tuple<std::string, std::string, std::string> cases[] = {
      {"C:\\cases\\case.xlsx", dir + "\\", dir + "/case.xlsx"},
      {"/old/place/missing.xlsx", dir, "/old/place/missing.xlsx"},
      {"/old/place/folder.xlsx", dir, "/old/place/folder.xlsx"},
      {"case.xlsx", dir, "case.xlsx"},  // no directory to replace
      {"/a/b.xlsx", "", "/a/b.xlsx"}};
  CExcModel model;
  for (const auto& [fileName, directory, expected] : cases) {
    model.caseDetails.fileName = fileName;
    model.ChangeFileDirectory(directory);
    EXPECT_EQ(model.caseDetails.fileName, expected) << fileName << " -> " << directory;
  }
}

constexpr char kMacro[] = "Module1.Record";
constexpr char kFailingMacro[] = "Module1.Fail";

std::string RunLine(const std::string& arguments) {
  return "Application.Run(VT_BSTR \"" + std::string(kMacro) + "\", " + arguments + ")";
}

class ModelEventsTest : public ModelWorkbookTest {
 protected:
  // A direct instance over a model with a new workbook open, nothing recorded.
  void SetUp() override {
    registration_.OnCreate([](test_support::MemoryApplication& application) {
      application.RegisterMacro(kMacro, [](auto&, const auto&) { return com::Variant(); });
      application.RegisterMacro(kFailingMacro, [](auto&, const auto&) -> com::Variant {
        throw std::runtime_error("the macro stopped");
      });
    });
    ASSERT_EQ(driver::CreateInstance(driver::Mode::kDirect, &handle_, Status(),
                                     [this] {
                                       auto made = std::make_unique<CExcModel>();
                                       model_ = made.get();
                                       return made;
                                     }),
              0)
        << Message();
    ASSERT_FALSE(model_->CreateFailed()) << model_->CreateError();
    model_->caseDetails.fileName = folder_.File("events.xlsx");
    ASSERT_FALSE(model_->OpenCaseWorkbook());
    recorder_->Clear();
  }
  void TearDown() override {
    EXPECT_EQ(driver::DestroyInstance(handle_, nullptr), 0);
    ModelWorkbookTest::TearDown();
  }

  bool ApplicationVisible() {
    return Application() && Application()->CurrentProperties().visible != com::VARIANT_FALSE;
  }
  // Host command `code` through the library's entry.
  std::int32_t Command(std::int32_t code, void* arg = nullptr) {
    return driver::Command(handle_, nullptr, code, arg, 0, Status());
  }
  // The macros run since the last look.
  std::vector<std::string> TakeRunLines() {
    std::vector<std::string> lines;
    for (const auto& call : recorder_->CallsOf("Application.Run"))
      lines.push_back(call.line);
    recorder_->Clear();
    return lines;
  }
  void SetMacro(std::size_t event, const std::string& macro, bool passDate = false) {
    model_->caseDetails.macros = {};
    model_->caseDetails.passDate = {};
    model_->caseDetails.macros[event] = macro;
    model_->caseDetails.passDate[event] = passDate;
  }

  ExtInstance handle_ = nullptr;
  CExcModel* model_ = nullptr;
};

// Every event through its host codes: the macro named for it, and no other,
// runs with the timestep, then with the run date too.
TEST_F(ModelEventsTest, EachEventRunsItsMacroInBothArgumentForms) {
  ASSERT_EQ((std::tuple{Command(EXT_CMD_SET_DATE), Message()}),
            std::tuple(1, "No run date was given"));
  GuardedBuffer date(EXT_DATE_RECORD_MIN_SIZE, 0);
  date.Put(EXT_DATE_RECORD_DATE_OFFSET, 45296.0);  // the day before: 5 January 2024
  ASSERT_EQ(Command(EXT_CMD_SET_DATE, date.bytes.data()), 0);

  for (const model::RunEventInfo& info : model::kRunEvents) {
    for (int code : info.hostCodes) {
      if (code == 0) continue;
      for (bool passDate : {false, true}) {
        SCOPED_TRACE(std::string(info.label) + " code " + std::to_string(code) +
                     (passDate ? " with date" : ""));
        SetMacro(info.event, kMacro, passDate);
        model_->timestep = 7;
        EXPECT_EQ(Command(code), 0) << Message();
        // The start of a run counts from 0 again before its macro runs.
        const std::string step = info.event == model::kStartOfRunEvent ? "0" : "7";
        EXPECT_EQ(TakeRunLines(),
                  std::vector<std::string>{RunLine(
                      "VT_I4 " + step +
                      (passDate ? ", VT_BSTR \"1/6/2024\", 28 x Missing" : ", 29 x Missing"))});

        // A blank name runs nothing.
        model_->caseDetails.macros[info.event] = "   ";
        EXPECT_EQ(Command(code), 0);
        EXPECT_EQ(recorder_->Transcript(), "");
      }
    }
  }
  EXPECT_EQ(std::tuple(Command(EXT_CMD_EVENT_112), Command(EXT_CMD_EVENT_113)), std::tuple(0, 0));
  EXPECT_EQ(recorder_->Transcript(), "");
}

TEST_F(ModelEventsTest, TheRunDateTravelsAsEnglishText) {
  const std::pair<RunDate, const char*> cases[] = {
      {{0.0, RunDate::kNull}, ""},
      {{45297.0, RunDate::kInvalid}, "Invalid DateTime"},
  };
  SetMacro(model::kPreSolveEvent, kMacro, true);
  model_->timestep = 2;
  for (const auto& [date, text] : cases) {
    model_->runDate = date;
    EXPECT_EQ(model_->OnPreSolve().Message(), "");
    EXPECT_EQ(TakeRunLines(), std::vector<std::string>{RunLine(
                                  "VT_I4 2, VT_BSTR \"" + std::string(text) + "\", 28 x Missing")});
  }
}

TEST_F(UnconnectedModelTest, TheRunDateIsTheDayAfterTheHostsDate) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  // The host's date, the run date and its status.
  const std::tuple<double, double, std::int32_t> cases[] = {
      {-1.25, 0.25, RunDate::kValid},
      {-0.25, 1.25, RunDate::kValid},  // 30 December 1899, 06:00, written backwards
      {2958464.5, 2958465.5, RunDate::kValid},
      {2958465.0, 2958466.0, RunDate::kInvalid},  // after the year 9999
      {nan, nan, RunDate::kInvalid}};
  for (const auto& [host, runDate, status] : cases) {
    model_.SetDate(host);
    EXPECT_THAT(model_.runDate.days, testing::NanSensitiveDoubleEq(runDate)) << host;
    EXPECT_EQ(model_.runDate.status, status) << host;
  }
}

// The next event reaches the host's record, flag and time, until the next
// run starts; without one the record keeps the host's bytes.
TEST_F(ModelEventsTest, TheNextEventIsReportedUntilTheNextRunStarts) {
  GuardedBuffer record(EXT_NEXT_EVENT_RECORD_MIN_SIZE, 0x33);
  const std::vector<unsigned char> sent = record.bytes;
  EXPECT_EQ(Command(EXT_CMD_GET_NEXT_EVENT, record.bytes.data()), 1);
  EXPECT_EQ(record.bytes, sent);
  model_->nextEvent = -0.5;  // as the data server sets it: any number below the threshold
  std::vector<unsigned char> expected = sent;
  expected[EXT_NEXT_EVENT_FLAG_OFFSET] = 1;
  std::memcpy(expected.data() + EXT_NEXT_EVENT_TIME_OFFSET, &model_->nextEvent, sizeof(double));
  for (int i = 0; i < 2; ++i) {  // reading keeps it
    EXPECT_EQ(Command(EXT_CMD_GET_NEXT_EVENT, record.bytes.data()), 0);
    EXPECT_EQ(record.bytes, expected);
  }
  EXPECT_EQ(Command(EXT_CMD_GET_NEXT_EVENT), 1);
  EXPECT_EQ(Message(), "");
  EXPECT_EQ(Command(EXT_CMD_START_OF_RUN), 0);
  EXPECT_EQ(model_->GetNextEvent(), std::nullopt);

  // A record too short for the time fails; the bytes past it stay.
  GuardedBuffer shortRecord(EXT_NEXT_EVENT_TIME_OFFSET + 4, 0x33);
  EXPECT_FALSE(driver::EncodeNextEvent(1.0, shortRecord.record()));
  EXPECT_TRUE(shortRecord.GuardsIntact());
  EXPECT_EQ(shortRecord.bytes[EXT_NEXT_EVENT_TIME_OFFSET], 0x33);
}

// A held control write that fails is the next request's answer, in the
// terms that request reads a failure in (1 tells "no next event" there).
TEST_F(ModelEventsTest, AHeldWriteThatFailsFailsTheNextRequestAsAFailure) {
  casedata::CExcControlVariable* control =
      model_->controls.Add(std::make_unique<casedata::CExcControlVariable>());
  std::tie(control->worksheet, control->cell) = std::pair("Nowhere", "B4");
  GuardedBuffer value(EXT_OPT_VALUE_RECORD_MIN_SIZE, 0);
  value.Put(EXT_OPT_VALUE_VALUE_OFFSET, 2.0);
  GuardedBuffer event(EXT_NEXT_EVENT_RECORD_MIN_SIZE, 0);
  for (const auto& [code, answer] :
       {std::pair(EXT_CMD_GET_NEXT_EVENT, -1), std::pair(EXT_CMD_START_OF_TIMESTEP, 1)}) {
    ASSERT_EQ(
        driver::Command(handle_, nullptr, EXT_CMD_SET_CONTROLS, value.bytes.data(), 0, Status()),
        0);
    EXPECT_EQ(Command(code, event.bytes.data()), answer) << code;
    EXPECT_EQ(Message().rfind("Error in setting data in Excel: Unable to get worksheet Nowhere", 0),
              0u)
        << Message();
  }
}

TEST_F(ModelEventsTest, AHiddenWindowIsShownAgainOnlyAfterASuccessfulEndOfRun) {
  // The host shows and hides the window only when the case hides it.
  model_->caseDetails.hideInterface = true;
  model_->SetInterfaceVisible(false);
  EXPECT_FALSE(ApplicationVisible());
  model_->SetInterfaceVisible(true);
  ASSERT_TRUE(ApplicationVisible());

  // The end-of-run macro fails: no message for the host, the run's state kept.
  SetMacro(model::kEndOfRunEvent, kFailingMacro);
  model_->caseDetails.macros[model::kStartOfTimestepEvent] = kMacro;
  model_->timestep = 5;
  EXPECT_EQ(Command(EXT_CMD_START_OF_RUN), 0);
  EXPECT_FALSE(ApplicationVisible());
  for (int code : {EXT_CMD_NEXT_TIMESTEP, EXT_CMD_NEXT_TIMESTEP, EXT_CMD_START_OF_TIMESTEP})
    EXPECT_EQ(Command(code), 0) << code;
  EXPECT_EQ(TakeRunLines(), std::vector<std::string>{RunLine("VT_I4 2, 29 x Missing")})
      << "counted from the start of the run";
  EXPECT_EQ(Command(EXT_CMD_END_OF_RUN), 1);
  EXPECT_EQ(Message(), "");
  EXPECT_FALSE(ApplicationVisible());
  EXPECT_EQ(model_->timestep, 2u);

  model_->caseDetails.macros[model::kEndOfRunEvent] = kMacro;
  EXPECT_EQ(Command(EXT_CMD_STOP_RUN), 0);
  EXPECT_TRUE(ApplicationVisible());
  EXPECT_EQ(model_->timestep, 0u);

  // Without hiding the window is left as the user put it.
  model_->caseDetails.hideInterface = false;
  EXPECT_EQ(Command(EXT_CMD_START_OF_RUN), 0);
  model_->SetInterfaceVisible(false);
  EXPECT_TRUE(ApplicationVisible());
}

TEST_F(ModelEventsTest, AFailingMacroOrAMissingSessionIsReportedToTheHost) {
  SetMacro(model::kPostSolveEvent, kFailingMacro);
  EXPECT_EQ(Command(model::kRunEvents[model::kPostSolveEvent].hostCodes[0]), 1);
  EXPECT_EQ(Message(), "Unable to run macro Module1.Fail (Exception occurred.)");
  EXPECT_EQ(model_->RunEventMacro(casedata::kEventCount).Message(), "There is no run-time event 7");

  model_->caseDetails.hideInterface = true;
  ASSERT_EQ(model_->StopApplication(), 0);
  ASSERT_EQ(model_->Session(), nullptr);

  // Blank names need no session.
  model_->caseDetails.macros = {};
  model_->timestep = 4;
  for (const model::RunEventInfo& info : model::kRunEvents)
    EXPECT_EQ(Command(info.hostCodes[0]), 0) << info.label;
  EXPECT_EQ(model_->timestep, 0u);

  model_->caseDetails.macros.fill(kMacro);
  for (const model::RunEventInfo& info : model::kRunEvents) {
    model_->timestep = 4;
    EXPECT_EQ(Command(info.hostCodes[0]), 1) << info.label;
    if (info.event == model::kEndOfRunEvent) {
      EXPECT_EQ(Message(), "") << "the end of run writes no message";
      EXPECT_EQ(model_->timestep, 4u);
    } else {
      EXPECT_EQ(Message(), "There is no connection to Excel") << info.label;
    }
  }
}

}  // namespace
