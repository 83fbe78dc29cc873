#include "support/recording_application.h"

#include <gtest/gtest.h>

#include <thread>

#include "com/variant_grid.h"
#include "excel/errors.h"
#include "excel/object_model_helpers.h"
#include "support/memory_application.h"
#include "support/recording_format.h"
#include "support/temp_folder.h"

namespace {

using com::Variant;
using excel_test::FailureOf;
using test_support::MemoryApplication;
using test_support::Recorder;

class RecordingTest : public ::testing::Test {
 protected:
  std::shared_ptr<Recorder> recorder_ = std::make_shared<Recorder>();
  com::Ptr<MemoryApplication> memory_ = MemoryApplication::Create();
  com::Ptr<excel::Application> application_ =
      test_support::MakeRecordingApplication(memory_, recorder_);
  test_support::TempFolder folder_;
};

TEST(RecordingFormat, Values) {
  Variant pointed = Variant::Int4(3);
  Variant reference;
  reference.vt = VT_BYREF | VT_VARIANT;
  reference.pvarVal = &pointed;
  Variant oddBool = Variant::Bool(true);
  oddBool.boolVal = 1;
  com::VariantGrid grid(2, 2);
  grid.At(1, 1) = Variant::Double(1);
  grid.At(1, 2) = Variant::Text("a");
  grid.At(2, 2) = Variant::Bool(true);
  com::VariantGrid row(1, 2, 1, 0);
  const struct {
    Variant value;
    const char* text;
  } cases[] = {
      {Variant::Missing(), "Missing"},
      {Variant(), "VT_EMPTY"},
      {Variant::Null(), "VT_NULL"},
      {Variant::Int4(-4140), "VT_I4 -4140"},
      {Variant::Int(2), "VT_INT 2"},
      {Variant::Double(1.5), "VT_R8 1.5"},
      {Variant::Double(0.1), "VT_R8 0.1"},
      {Variant::Double(1e20), "VT_R8 1e+20"},
      {Variant::Date(45000.25), "VT_DATE 45000.25"},
      {Variant::Bool(true), "VT_BOOL true"},
      {Variant::Bool(false), "VT_BOOL false"},
      {oddBool, "VT_BOOL 1"},
      {Variant::ErrorValue(excel::kErrNA), "VT_ERROR 0x800A07FA"},
      {Variant::Text("say \"hi\"\\\n"), "VT_BSTR \"say \\\"hi\\\"\\\\\\n\""},
      {Variant::Text("Débit"), "VT_BSTR \"Débit\""},
      {reference, "VT_BYREF|VT_VARIANT -> VT_I4 3"},
      {grid.ToVariant(),
       "VT_ARRAY|VT_VARIANT(1..2, 1..2) {{VT_R8 1, VT_BSTR \"a\"}, {VT_EMPTY, VT_BOOL true}}"},
      {row.ToVariant(), "VT_ARRAY|VT_VARIANT(1..1, 0..1) {{VT_EMPTY, VT_EMPTY}}"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(test_support::FormatValue(c.value), c.text);

  const Variant m = Variant::Missing();
  const Variant one = Variant::Int4(1);
  EXPECT_EQ(test_support::FormatValueList(std::vector<Variant>{m}), "Missing");
  EXPECT_EQ(test_support::FormatValueList(std::vector<Variant>{one, m, m}), "VT_I4 1, 2 x Missing");
  EXPECT_EQ(test_support::FormatValueList(std::vector<Variant>{m, one, m}),
            "Missing, VT_I4 1, Missing");
  EXPECT_EQ(test_support::FormatValueList(std::vector<Variant>{m, m, one, m, m, m}),
            "2 x Missing, VT_I4 1, 3 x Missing");
}

TEST_F(RecordingTest, ExactLinesOfASession) {
  const std::string path = folder_.File("case.xlsx");
  memory_->AddWorkbook()->SaveCopyAs(Variant::Text(path), 0);
  memory_->RegisterMacro("Module1.StartOfRun",
                         [](MemoryApplication&, const std::vector<Variant>&) { return Variant(); });

  application_->PutWindowState(0, excel::kWindowMinimized);
  application_->PutVisible(0, VARIANT_TRUE);
  const auto book = excel_test::OpenFile(application_, path);
  const auto sheets = book->GetSheets();
  const auto sheet = com::QueryInterface<excel::Worksheet>(sheets->GetItem(Variant::Int(1)));
  sheet->PutName(com::Bstr::FromUtf8("Data"));
  const auto range = excel_test::RangeAt(sheet, "B2");
  excel_test::PutValue(range, Variant::Double(1.5));
  EXPECT_EQ(excel_test::GetValue(range), Variant::Double(1.5));
  EXPECT_EQ(FailureOf([&] { sheets->GetItem(Variant::Text("Nope")); }), com::DISP_E_BADINDEX);
  book->Activate(0);
  application_->Run(Variant::Text("Module1.StartOfRun"),
                    excel_test::RunArguments({Variant::Int4(3)}));
  book->Close(excel_test::CloseWithoutSaving(), Variant::Missing(), Variant::Missing(), 0);
  application_->Quit();

  EXPECT_EQ(recorder_->Transcript(),
            "Application.PutWindowState(lcid=0, -4140)\n"
            "Application.PutVisible(lcid=0, VARIANT_TRUE)\n"
            "Application.GetWorkbooks()\n"
            "Workbooks.Open(\"" +
                path +
                "\", optional=12 x Missing, lcid=0)\n"
                "Workbook.GetSheets()\n"
                "Sheets.GetItem(VT_INT 1)\n"
                "Worksheet.PutName(\"Data\")\n"
                "Worksheet.GetRange(VT_BSTR \"B2\", Missing)\n"
                "Range.Invoke(0x56C, put, VT_R8 1.5)\n"
                "Range.Invoke(0x56C, get)\n"
                "Sheets.GetItem(VT_BSTR \"Nope\") -> failed 0x8002000B\n"
                "Workbook.Activate(lcid=0)\n"
                "Application.Run(VT_BSTR \"Module1.StartOfRun\", VT_I4 3, 29 x Missing)\n"
                "Workbook.Close(VT_BOOL false, Missing, Missing, lcid=0)\n"
                "Application.Quit()\n");

  // The structured records hold the VARIANTs themselves.
  const auto puts = recorder_->CallsOf("Range.Invoke");
  ASSERT_EQ(puts.size(), 2u);
  EXPECT_EQ(puts[0].arguments, (std::vector<Variant>{Variant::Int4(excel::kDispidValue2),
                                                     Variant::Int4(4), Variant::Double(1.5)}));
  EXPECT_EQ(puts[1].result, Variant::Double(1.5));
  const auto run = recorder_->CallsOf("Application.Run");
  ASSERT_EQ(run.size(), 1u);
  ASSERT_EQ(run[0].arguments.size(), 31u);
  EXPECT_EQ(run[0].arguments[1], Variant::Int4(3));
  EXPECT_TRUE(run[0].arguments[30].IsMissing());
  const auto failed = recorder_->CallsOf("Sheets.GetItem")[1];
  EXPECT_EQ(failed.failure, com::DISP_E_BADINDEX);
  EXPECT_FALSE(failed.injected);
  EXPECT_EQ(recorder_->CountOf("Application.Quit"), 1u);
}

TEST_F(RecordingTest, InjectedFailuresByMemberAndOccurrence) {
  const std::string path = folder_.File("case.xlsx");
  memory_->AddWorkbook()->SaveCopyAs(Variant::Text(path), 0);
  const auto book = excel_test::OpenFile(application_, path);
  const auto memoryBook = memory_->FindWorkbook(path);
  const auto range = excel_test::RangeAt(excel_test::Sheet(book, "Sheet1"), "A1");

  recorder_->FailCall("Workbook.Save", excel::kApplicationError, 2);
  EXPECT_EQ(FailureOf([&] { book->Save(0); }), com::S_OK);
  EXPECT_EQ(FailureOf([&] { book->Save(0); }), excel::kApplicationError);
  EXPECT_EQ(FailureOf([&] { book->Save(0); }), com::S_OK);

  // Only puts count, from the second on; the wrapped range is never called.
  recorder_->AddFault({"Range.Invoke", com::RPC_E_DISCONNECTED, 2, true,
                       [](const test_support::RecordedCall& call) {
                         return call.arguments.at(1) ==
                                Variant::Int4(static_cast<int>(excel::InvokeKind::kPropertyPut));
                       }});
  excel_test::PutValue(range, Variant::Double(1));
  EXPECT_EQ(excel_test::GetValue(range), Variant::Double(1));
  for (int i = 2; i <= 3; ++i) {
    EXPECT_EQ(FailureOf([&] { excel_test::PutValue(range, Variant::Double(i)); }),
              com::RPC_E_DISCONNECTED);
  }
  EXPECT_EQ(memoryBook->CellValue("Sheet1", "A1"), Variant::Double(1));
  EXPECT_EQ(excel_test::GetValue(range), Variant::Double(1));

  const auto calls = recorder_->Calls();
  const auto lines = recorder_->Lines();
  EXPECT_EQ(lines.at(lines.size() - 2), "Range.Invoke(0x56C, put, VT_R8 3) -> failed 0x80010108");
  EXPECT_TRUE(calls.at(calls.size() - 2).injected);
  const auto saves = recorder_->CallsOf("Workbook.Save");
  ASSERT_EQ(saves.size(), 3u);
  EXPECT_EQ(saves[1].line, "Workbook.Save(lcid=0) -> failed 0x800A03EC");
  EXPECT_TRUE(saves[1].injected);
  EXPECT_FALSE(saves[2].Failed());

  // "*" takes every member; clearing the faults lets calls through again.
  recorder_->FailFrom("*", com::RPC_E_DISCONNECTED);
  EXPECT_EQ(FailureOf([&] { application_->GetVisible(0); }), com::RPC_E_DISCONNECTED);
  EXPECT_EQ(FailureOf([&] { book->Activate(0); }), com::RPC_E_DISCONNECTED);
  recorder_->ClearFaults();
  EXPECT_EQ(FailureOf([&] { book->Activate(0); }), com::S_OK);
}

TEST_F(RecordingTest, OccurrencesCountFromWhenTheFaultIsAdded) {
  application_->GetVisible(0);
  application_->GetVisible(0);
  recorder_->FailCall("Application.GetVisible", com::E_FAIL);
  EXPECT_EQ(FailureOf([&] { application_->GetVisible(0); }), com::E_FAIL);
  EXPECT_EQ(FailureOf([&] { application_->GetVisible(0); }), com::S_OK);
  recorder_->Clear();
  EXPECT_TRUE(recorder_->Lines().empty());
  application_->GetInteractive(0);
  EXPECT_EQ(recorder_->Lines(), std::vector<std::string>{"Application.GetInteractive(lcid=0)"});
}

TEST_F(RecordingTest, SheetItemsKeepTheirInterfaces) {
  const auto book = excel_test::NewBook(application_);
  com::QueryInterface<test_support::MemoryWorkbook>(memory_->ActiveWorkbook())
      ->AddChartSheet("Chart1", 1);
  const auto sheets = book->GetSheets();
  const auto chartItem = sheets->GetItem(Variant::Int4(1));
  EXPECT_FALSE(com::TryQueryInterface<excel::Worksheet>(chartItem));
  EXPECT_EQ(com::QueryInterface<excel::Chart>(chartItem)->GetName().ToUtf8(), "Chart1");
  const auto sheetItem = sheets->GetItem(Variant::Int4(2));
  EXPECT_FALSE(com::TryQueryInterface<excel::Chart>(sheetItem));
  EXPECT_EQ(com::QueryInterface<excel::Worksheet>(sheetItem)->GetName().ToUtf8(), "Sheet1");
  const auto lines = recorder_->Lines();
  EXPECT_EQ(lines.at(lines.size() - 3), "Chart.GetName()");
  EXPECT_EQ(lines.back(), "Worksheet.GetName()");
  const auto worksheets = book->GetWorksheets();
  worksheets->GetCount();
  EXPECT_EQ(recorder_->Lines().back(), "Worksheets.GetCount()");
  EXPECT_EQ(recorder_->CallsOf("Worksheets.GetCount").at(0).result, Variant::Int4(1));
}

// A sheets collection whose items are neither worksheets nor charts, or both.
class OddItem : public com::Unknown {};
class BothItem : public excel::Worksheet, public excel::Chart {
 public:
  com::Bstr GetName() override { return com::Bstr::FromUtf8("Both"); }
  void PutName(const com::Bstr&) override {}
  void Activate(std::int32_t) override {}
  com::Ptr<excel::Range> GetRange(const com::Variant&, const com::Variant&) override {
    return nullptr;
  }
};
class OddSheets : public excel::Sheets {
 public:
  std::int32_t GetCount() override { return 2; }
  com::Ptr<com::Unknown> GetItem(const com::Variant& index) override {
    if (index.lVal == 1) return com::MakeObject<OddItem>();
    return com::MakeObject<BothItem>();
  }
  com::Ptr<com::Unknown> Add(const com::Variant&, const com::Variant&, const com::Variant&,
                             const com::Variant&, std::int32_t) override {
    return nullptr;
  }
};
class OddBook : public excel::Workbook {
 public:
  void Activate(std::int32_t) override {}
  void Close(const com::Variant&, const com::Variant&, const com::Variant&, std::int32_t) override {
  }
  void Save(std::int32_t) override {}
  void SaveCopyAs(const com::Variant&, std::int32_t) override {}
  void RunAutoMacros(std::int32_t, std::int32_t) override {}
  com::Ptr<excel::Sheets> GetSheets() override { return com::MakeObject<OddSheets>(); }
  com::Ptr<excel::Sheets> GetWorksheets() override { return nullptr; }
  com::Ptr<excel::Application> GetApplication() override { return nullptr; }
};
class OddWorkbooks : public excel::Workbooks {
 public:
  com::Ptr<excel::Workbook> Add(const com::Variant&, std::int32_t) override {
    return com::MakeObject<OddBook>();
  }
  com::Ptr<excel::Workbook> Open(const com::Bstr&, std::span<const com::Variant>,
                                 std::int32_t) override {
    return nullptr;
  }
};
class OddApplication : public excel::Application {
 public:
  void PutWindowState(std::int32_t, std::int32_t) override {}
  std::int32_t GetWindowState(std::int32_t) override { return excel::kWindowNormal; }
  void PutVisible(std::int32_t, VARIANT_BOOL) override {}
  VARIANT_BOOL GetVisible(std::int32_t) override { return VARIANT_FALSE; }
  void PutScreenUpdating(std::int32_t, VARIANT_BOOL) override {}
  VARIANT_BOOL GetScreenUpdating(std::int32_t) override { return VARIANT_TRUE; }
  void PutInteractive(std::int32_t, VARIANT_BOOL) override {}
  VARIANT_BOOL GetInteractive(std::int32_t) override { return VARIANT_TRUE; }
  com::Ptr<excel::Workbooks> GetWorkbooks() override { return com::MakeObject<OddWorkbooks>(); }
  com::Variant Run(const com::Variant&, const excel::RunArguments&) override { return {}; }
  void Quit() override {}
};

TEST(Recording, ItemsThatAreNeitherOrBothKeepTheirInterfaces) {
  const auto recorder = std::make_shared<Recorder>();
  const auto application =
      test_support::MakeRecordingApplication(com::MakeObject<OddApplication>(), recorder);
  const auto sheets = application->GetWorkbooks()->Add(Variant::Missing(), 0)->GetSheets();
  const auto odd = sheets->GetItem(Variant::Int4(1));
  ASSERT_TRUE(odd);
  EXPECT_FALSE(com::TryQueryInterface<excel::Worksheet>(odd));
  EXPECT_FALSE(com::TryQueryInterface<excel::Chart>(odd));
  const auto both = sheets->GetItem(Variant::Int4(2));
  EXPECT_EQ(com::QueryInterface<excel::Chart>(both)->GetName().ToUtf8(), "Both");
  EXPECT_EQ(com::QueryInterface<excel::Worksheet>(both)->GetName().ToUtf8(), "Both");
  // A null result stays null.
  EXPECT_FALSE(
      application->GetWorkbooks()->Open(com::Bstr::FromUtf8("x"), excel_test::Missing(12), 0));
  EXPECT_EQ(recorder->Lines().back(), "Workbooks.Open(\"x\", optional=12 x Missing, lcid=0)");
}

TEST_F(RecordingTest, WrappersHoldAndReleaseTheirObjects) {
  EXPECT_EQ(memory_->RefCount(), 2u);  // the test's handle and the wrapper's
  {
    const auto book = excel_test::NewBook(application_);
    const auto range = excel_test::RangeAt(excel_test::Sheet(book, "Sheet1"), "A1");
    const auto back = book->GetApplication();
    // The application, the workbook, the range, and the application reached back.
    EXPECT_EQ(memory_->LiveObjects(), 4u);
  }
  EXPECT_EQ(memory_->LiveObjects(), 1u);
  application_.Reset();
  EXPECT_EQ(memory_->RefCount(), 1u);
}

TEST_F(RecordingTest, ThreadsMayShareARecorder) {
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([this] {
      for (int i = 0; i < 200; ++i)
        application_->GetVisible(0);
    });
  }
  for (auto& thread : threads)
    thread.join();
  EXPECT_EQ(recorder_->CountOf("Application.GetVisible"), 800u);
}

}  // namespace
