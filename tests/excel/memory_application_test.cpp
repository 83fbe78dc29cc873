// The in-memory application: workbooks, files, macros, properties, and what
// happens once it has quit or died.
#include "support/memory_application.h"

#include <gtest/gtest.h>

#include <fstream>

#include "com/class_registry.h"
#include "excel/errors.h"
#include "excel/object_model_helpers.h"
#include "support/application_registration.h"
#include "support/temp_folder.h"

namespace {

using com::Variant;
using excel_test::FailureOf;
using excel_test::GetValue;
using excel_test::PutValue;
using excel_test::RangeAt;
using excel_test::Sheet;
using test_support::MemoryApplication;
using test_support::MemoryWorkbook;

class MemoryApplicationTest : public ::testing::Test {
 protected:
  com::Ptr<MemoryApplication> application_ = MemoryApplication::Create();
  test_support::TempFolder folder_;
};

TEST_F(MemoryApplicationTest, NewWorkbooksHaveOneSheetAndNoFile) {
  const auto book = excel_test::NewBook(application_);
  const auto sheets = book->GetSheets();
  EXPECT_EQ(sheets->GetCount(), 1);
  EXPECT_EQ(Sheet(book, Variant::Int(1))->GetName().ToUtf8(), "Sheet1");
  const auto memory = com::QueryInterface<MemoryWorkbook>(book);
  EXPECT_EQ(memory->Name(), "Book1");
  EXPECT_EQ(memory->Path(), "");
  EXPECT_EQ(com::QueryInterface<MemoryWorkbook>(excel_test::NewBook(application_))->Name(),
            "Book2");
  EXPECT_EQ(application_->ActiveWorkbook()->Name(), "Book2");
  EXPECT_EQ(FailureOf([&] { application_->GetWorkbooks()->Add(Variant::Double(1), 0); }),
            com::DISP_E_TYPEMISMATCH);
}

TEST_F(MemoryApplicationTest, SaveCopyAsWritesACopyAndTheWorkbookKeepsItsFile) {
  const auto book = excel_test::NewBook(application_);
  PutValue(RangeAt(Sheet(book, "Sheet1"), "A1"), Variant::Double(1.5));
  // Never saved: Save fails and writes nothing.
  EXPECT_EQ(FailureOf([&] { book->Save(0); }), excel::kApplicationError);

  const std::string copy = folder_.File("copy.xlsx");
  book->SaveCopyAs(Variant::Text(copy), 0);
  EXPECT_EQ(com::QueryInterface<MemoryWorkbook>(book)->Path(), "");
  EXPECT_EQ(FailureOf([&] { book->Save(0); }), excel::kApplicationError);
  EXPECT_EQ(FailureOf([&] { book->SaveCopyAs(Variant::Int4(1), 0); }), com::DISP_E_TYPEMISMATCH);
  EXPECT_EQ(FailureOf([&] { book->SaveCopyAs(Variant::Text(""), 0); }), excel::kApplicationError);

  // Opened from its file, the workbook saves back to it.
  const auto opened = excel_test::OpenFile(application_, copy);
  const auto memory = com::QueryInterface<MemoryWorkbook>(opened);
  EXPECT_EQ(memory->Name(), "copy.xlsx");
  EXPECT_EQ(memory->Path(), copy);
  PutValue(RangeAt(Sheet(opened, "Sheet1"), "A2"), Variant::Text("saved"));
  opened->Save(0);
  PutValue(RangeAt(Sheet(opened, "Sheet1"), "A3"), Variant::Text("discarded"));
  opened->Close(excel_test::CloseWithoutSaving(), Variant::Missing(), Variant::Missing(), 0);
  EXPECT_TRUE(memory->IsClosed());

  const auto again = com::QueryInterface<MemoryWorkbook>(excel_test::OpenFile(application_, copy));
  EXPECT_EQ(again->CellValue("Sheet1", "A1"), Variant::Double(1.5));
  EXPECT_EQ(again->CellValue("Sheet1", "A2"), Variant::Text("saved"));
  EXPECT_EQ(again->CellValue("Sheet1", "A3"), Variant());
}

TEST_F(MemoryApplicationTest, CloseSavesOnlyWhenAsked) {
  const std::string path = folder_.File("book.xlsx");
  const auto book = excel_test::NewBook(application_);
  PutValue(RangeAt(Sheet(book, "Sheet1"), "A1"), Variant::Double(7));
  // Never saved and no file name: nothing to save to; the workbook stays open.
  EXPECT_EQ(FailureOf([&] {
              book->Close(Variant::Bool(true), Variant::Missing(), Variant::Missing(), 0);
            }),
            excel::kApplicationError);
  book->Close(Variant::Bool(true), Variant::Text(path), Variant::Missing(), 0);
  EXPECT_EQ(application_->OpenWorkbooks().size(), 0u);
  const auto reopened =
      com::QueryInterface<MemoryWorkbook>(excel_test::OpenFile(application_, path));
  EXPECT_EQ(reopened->CellValue("Sheet1", "A1"), Variant::Double(7));
}

TEST_F(MemoryApplicationTest, OpenFailures) {
  const std::string path = folder_.File("book.xlsx");
  excel_test::NewBook(application_)->SaveCopyAs(Variant::Text(path), 0);
  const auto workbooks = application_->GetWorkbooks();
  const auto open = [&](std::string_view file, std::size_t optionalCount) {
    return FailureOf(
        [&] { workbooks->Open(com::Bstr::FromUtf8(file), excel_test::Missing(optionalCount), 0); });
  };
  EXPECT_EQ(open(path, 12), com::S_OK);
  EXPECT_EQ(open(path, 14), com::S_OK);
  EXPECT_EQ(open(path, 13), com::DISP_E_BADPARAMCOUNT);
  EXPECT_EQ(open(path, 0), com::DISP_E_BADPARAMCOUNT);
  EXPECT_EQ(open(folder_.File("missing.xlsx"), 12), excel::kApplicationError);
  EXPECT_EQ(open("", 12), excel::kApplicationError);
  std::ofstream(folder_.File("foreign.xlsx")) << "not a workbook";
  EXPECT_EQ(open(folder_.File("foreign.xlsx"), 12), excel::kApplicationError);
  // Opening the same file twice gives the workbook already open.
  EXPECT_EQ(application_->OpenWorkbooks().size(), 2u);
}

TEST_F(MemoryApplicationTest, ApplicationsAreIsolatedButShareFiles) {
  const std::string path = folder_.File("shared.xlsx");
  excel_test::NewBook(application_)->SaveCopyAs(Variant::Text(path), 0);
  const auto other = MemoryApplication::Create();
  const auto mine = excel_test::OpenFile(application_, path);
  const auto theirs = excel_test::OpenFile(other, path);
  PutValue(RangeAt(Sheet(mine, "Sheet1"), "A1"), Variant::Text("mine"));
  EXPECT_EQ(GetValue(RangeAt(Sheet(theirs, "Sheet1"), "A1")), Variant());
  EXPECT_EQ(application_->OpenWorkbooks().size(), 2u);
  EXPECT_EQ(other->OpenWorkbooks().size(), 1u);
  EXPECT_FALSE(other->FindWorkbook("Book1"));
}

TEST_F(MemoryApplicationTest, PropertiesReadBackAsWritten) {
  const auto& app = application_;
  EXPECT_EQ(app->GetWindowState(0), excel::kWindowNormal);
  EXPECT_EQ(app->GetVisible(0), VARIANT_FALSE);
  EXPECT_EQ(app->GetScreenUpdating(0), VARIANT_TRUE);
  EXPECT_EQ(app->GetInteractive(0), VARIANT_TRUE);
  app->PutWindowState(0, excel::kWindowMinimized);
  app->PutVisible(0, VARIANT_TRUE);
  app->PutScreenUpdating(0, VARIANT_FALSE);
  app->PutInteractive(0, VARIANT_FALSE);
  EXPECT_EQ(app->GetWindowState(0), excel::kWindowMinimized);
  EXPECT_EQ(app->GetVisible(0), VARIANT_TRUE);
  EXPECT_EQ(app->GetScreenUpdating(0), VARIANT_FALSE);
  EXPECT_EQ(app->GetInteractive(0), VARIANT_FALSE);
  EXPECT_EQ(FailureOf([&] { app->PutWindowState(0, 3); }), excel::kApplicationError);
  EXPECT_EQ(app->CurrentProperties().windowState, excel::kWindowMinimized);
}

TEST_F(MemoryApplicationTest, MacrosGetTheArgumentsThatAreNotMissing) {
  std::vector<Variant> received;
  application_->RegisterMacro("Module1.StartOfRun",
                              [&](MemoryApplication&, const std::vector<Variant>& arguments) {
                                received = arguments;
                                return Variant::Int4(static_cast<std::int32_t>(arguments.size()));
                              });
  const Variant result = application_->Run(
      Variant::Text("Module1.StartOfRun"),
      excel_test::RunArguments({Variant::Int4(3), Variant::Missing(), Variant::Text("1/2/2024")}));
  EXPECT_EQ(result, Variant::Int4(2));
  EXPECT_EQ(received, (std::vector<Variant>{Variant::Int4(3), Variant::Text("1/2/2024")}));

  // The module may be left out, and names ignore case.
  EXPECT_EQ(application_->Run(Variant::Text("startofrun"), excel_test::RunArguments()),
            Variant::Int4(0));
  EXPECT_EQ(FailureOf([&] {
              application_->Run(Variant::Text("Module2.StartOfRun"), excel_test::RunArguments());
            }),
            com::DISP_E_EXCEPTION);
  EXPECT_EQ(
      FailureOf([&] { application_->Run(Variant::Text("Nothing"), excel_test::RunArguments()); }),
      com::DISP_E_EXCEPTION);
  EXPECT_EQ(FailureOf([&] { application_->Run(Variant::Int4(1), excel_test::RunArguments()); }),
            com::DISP_E_TYPEMISMATCH);
}

TEST_F(MemoryApplicationTest, FailingMacrosFailWithException) {
  application_->RegisterMacro("Fails",
                              [](MemoryApplication&, const std::vector<Variant>&) -> Variant {
                                com::Throw(com::E_INVALIDARG);
                              });
  application_->RegisterMacro("Throws",
                              [](MemoryApplication&, const std::vector<Variant>&) -> Variant {
                                throw std::runtime_error("macro error");
                              });
  EXPECT_EQ(
      FailureOf([&] { application_->Run(Variant::Text("Fails"), excel_test::RunArguments()); }),
      com::DISP_E_EXCEPTION);
  EXPECT_EQ(
      FailureOf([&] { application_->Run(Variant::Text("Throws"), excel_test::RunArguments()); }),
      com::DISP_E_EXCEPTION);
}

TEST_F(MemoryApplicationTest, WorkbookMacrosAndAutoOpen) {
  const std::string path = folder_.File("addin.xlsm");
  excel_test::NewBook(application_)->SaveCopyAs(Variant::Text(path), 0);
  std::vector<std::string> ran;
  const auto record = [&ran](std::string name) {
    return [&ran, name](MemoryApplication&, const std::vector<Variant>&) {
      ran.push_back(name);
      return Variant();
    };
  };
  application_->RegisterMacro("'addin.xlsm'!Auto_Open", record("addin Auto_Open"));
  application_->RegisterMacro("addin.xlsm!Helper.Compute", record("addin Compute"));
  application_->RegisterMacro("Compute", record("application Compute"));

  // Not open yet: the workbook's macros are not there.
  application_->Run(Variant::Text("Compute"), excel_test::RunArguments());
  EXPECT_EQ(FailureOf([&] {
              application_->Run(Variant::Text("'addin.xlsm'!Compute"), excel_test::RunArguments());
            }),
            com::DISP_E_EXCEPTION);

  const auto addin = excel_test::OpenFile(application_, path);
  addin->RunAutoMacros(excel::kAutoOpen, 0);
  application_->Run(Variant::Text("Compute"), excel_test::RunArguments());  // the active workbook's
  application_->Run(Variant::Text("'addin.xlsm'!Helper.Compute"), excel_test::RunArguments());
  // A workbook without Auto_Open runs nothing.
  excel_test::NewBook(application_)->RunAutoMacros(excel::kAutoOpen, 0);
  EXPECT_EQ(ran, (std::vector<std::string>{"application Compute", "addin Auto_Open",
                                           "addin Compute", "addin Compute"}));
}

TEST_F(MemoryApplicationTest, MacrosMayCallBackIntoTheApplication) {
  const auto book = excel_test::NewBook(application_);
  application_->RegisterMacro(
      "Fill", [](MemoryApplication& application, const std::vector<Variant>& arguments) {
        const auto workbooks = application.GetWorkbooks();  // the interfaces work inside a macro
        application.ActiveWorkbook()->SetCellValue("Sheet1", "C3", arguments.at(0));
        return Variant::Bool(true);
      });
  EXPECT_EQ(
      application_->Run(Variant::Text("Fill"), excel_test::RunArguments({Variant::Double(4)})),
      Variant::Bool(true));
  EXPECT_EQ(com::QueryInterface<MemoryWorkbook>(book)->CellValue("Sheet1", "C3"),
            Variant::Double(4));
}

TEST_F(MemoryApplicationTest, EverythingIsDisconnectedAfterQuitOrDeath) {
  for (const bool kill : {false, true}) {
    SCOPED_TRACE(kill ? "killed" : "quit");
    const auto application = MemoryApplication::Create();
    const auto book = excel_test::NewBook(application);
    const auto sheets = book->GetSheets();
    const auto sheet = Sheet(book, "Sheet1");
    const auto range = RangeAt(sheet, "A1");
    PutValue(range, Variant::Double(1));
    if (kill) {
      application->KillApplication();
      EXPECT_TRUE(application->IsKilled());
    } else {
      application->Quit();
      EXPECT_TRUE(application->HasQuit());
      EXPECT_TRUE(com::QueryInterface<MemoryWorkbook>(book)->IsClosed());
    }
    for (const HRESULT hr : {
             FailureOf([&] { application->GetVisible(0); }),
             FailureOf([&] { application->GetWorkbooks(); }),
             FailureOf([&] { application->Quit(); }),
             FailureOf([&] { book->Activate(0); }),
             FailureOf([&] { sheets->GetCount(); }),
             FailureOf([&] { sheet->GetName(); }),
             FailureOf([&] { GetValue(range); }),
         }) {
      EXPECT_EQ(hr, com::RPC_E_DISCONNECTED);
    }
    // The test side still sees what there was.
    EXPECT_EQ(com::QueryInterface<MemoryWorkbook>(book)->CellValue("Sheet1", "A1"),
              Variant::Double(1));
  }
}

TEST_F(MemoryApplicationTest, ClosedWorkbookObjectsAreDisconnected) {
  const auto book = excel_test::NewBook(application_);
  const auto range = RangeAt(Sheet(book, "Sheet1"), "A1");
  book->Close(excel_test::CloseWithoutSaving(), Variant::Missing(), Variant::Missing(), 0);
  EXPECT_EQ(FailureOf([&] { book->GetSheets(); }), com::RPC_E_DISCONNECTED);
  EXPECT_EQ(FailureOf([&] { GetValue(range); }), com::RPC_E_DISCONNECTED);
  EXPECT_EQ(FailureOf([&] {
              book->Close(excel_test::CloseWithoutSaving(), Variant::Missing(), Variant::Missing(),
                          0);
            }),
            com::RPC_E_DISCONNECTED);
  EXPECT_FALSE(application_->ActiveWorkbook());
  // The application itself goes on.
  EXPECT_EQ(FailureOf([&] { excel_test::NewBook(application_); }), com::S_OK);
}

TEST_F(MemoryApplicationTest, LiveObjectsCountEveryHandle) {
  EXPECT_EQ(application_->LiveObjects(), 1u);
  {
    const auto book = excel_test::NewBook(application_);
    const auto range = RangeAt(Sheet(book, "Sheet1"), "A1:B2");
    const com::Ptr<excel::Application> back = book->GetApplication();
    EXPECT_EQ(application_->LiveObjects(), 4u);
  }
  EXPECT_EQ(application_->LiveObjects(), 1u);
}

TEST(MemoryApplicationRegistration, CreatesThroughTheProgId) {
  test_support::MemoryApplicationRegistration registration("gm-memory-test", true);
  registration.OnCreate([](MemoryApplication& application) {
    application.RegisterMacro("Ready", [](MemoryApplication&, const std::vector<Variant>&) {
      return Variant::Text("yes");
    });
  });
  com::Ptr<com::Unknown> object;
  ASSERT_EQ(
      com::ClassRegistry::Instance().CreateInstanceFromProgId("Excel.Application.16", &object),
      com::S_OK);
  auto application = com::QueryInterface<excel::Application>(object);
  EXPECT_EQ(application->Run(Variant::Text("Ready"), excel_test::RunArguments()),
            Variant::Text("yes"));
  EXPECT_EQ(registration.CreatedCount(), 1u);
  ASSERT_EQ(registration.LiveApplications().size(), 1u);

  registration.FailCreation(com::CO_E_SERVER_EXEC_FAILURE);
  com::Ptr<com::Unknown> failed;
  EXPECT_EQ(
      com::ClassRegistry::Instance().CreateInstanceFromProgId("Excel.Application.16", &failed),
      com::CO_E_SERVER_EXEC_FAILURE);
  EXPECT_FALSE(failed);

  object.Reset();
  application.Reset();
  EXPECT_TRUE(registration.LiveApplications().empty());
}

}  // namespace
