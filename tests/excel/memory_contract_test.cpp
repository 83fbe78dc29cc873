// The contract on the in-memory application, and its call log, which the
// driver's tests read: a log that lost calls would let "nothing reached the
// spreadsheet" pass for nothing.
#include <stdexcept>

#include "excel/application_contract.h"
#include "support/memory_application.h"

namespace excel_test {
namespace {

using com::Variant;
using test_support::MemoryApplication;

void AddMemoryMacros(const com::Ptr<excel::Workbook>& workbook) {
  const auto book = com::QueryInterface<test_support::MemoryWorkbook>(workbook);
  const auto application = com::QueryInterface<MemoryApplication>(book->GetApplication());
  const auto number = [](const Variant& value) {
    return value.vt == VT_R8 ? value.dblVal : static_cast<double>(value.lVal);
  };
  application->RegisterMacro("Module1.Add2", [number](MemoryApplication&, const auto& arguments) {
    return Variant::Double(number(arguments.at(0)) + number(arguments.at(1)));
  });
  application->RegisterMacro("Module1.Joined", [](MemoryApplication&, const auto& arguments) {
    return Variant::Text(com::BstrToUtf8(arguments.at(0).bstrVal) + "/" +
                         std::to_string(arguments.at(1).lVal));
  });
  application->RegisterMacro("Module1.WriteCell",
                             [](MemoryApplication& app, const auto& arguments) {
                               app.ActiveWorkbook()->SetCellValue("Sheet1", "B1", arguments.at(0));
                               return Variant();
                             });
  application->RegisterMacro("Module1.Fails", [number](MemoryApplication&, const auto& arguments) {
    if (number(arguments.at(0)) == 0) throw std::domain_error("division by zero");
    return Variant();
  });
  application->RegisterMacro(
      "'" + book->Name() + "'!Module1.Auto_Open", [](MemoryApplication& app, const auto&) {
        app.ActiveWorkbook()->SetCellValue("Sheet1", "C1", Variant::Text("opened"));
        return Variant();
      });
}

INSTANTIATE_TEST_SUITE_P(Memory, ApplicationContract,
                         ::testing::Values(ContractSubject{
                             "memory", [] { return MemoryApplication::Create(); }, AddMemoryMacros,
                             nullptr, nullptr}),
                         [](const auto& info) { return info.param.name; });

TEST(MemoryCallLog, RecordsEveryCallExactlyAndFailsTheOnesAsked) {
  const auto recorder = std::make_shared<test_support::Recorder>();
  const auto memory = MemoryApplication::Create();
  const auto application = test_support::MakeRecordingApplication(memory, recorder);
  application->PutWindowState(0, excel::kWindowMinimized);
  application->PutVisible(0, VARIANT_TRUE);
  const auto book = NewWorkbook(application);
  FailureOf([&] { book->SaveCopyAs(Variant::Text("/no/such/folder/a.xlsx"), 0); });
  const auto sheet = AsWorksheet(book->GetSheets()->GetItem(Variant::Int(1)));
  sheet->PutName(com::Bstr::FromUtf8("Data \"1\""));
  Put(sheet, "B2", Variant::Double(1.5));
  book->GetWorksheets()->GetCount();
  FailureOf(
      [&] { application->Run(Variant::Text("Module1.Step"), Arguments({Variant::Int4(3)})); });
  memory->AddWorkbook()->AddChartSheet("Chart1");  // the test side is not recorded
  EXPECT_EQ(
      recorder->Transcript(),
      "Application.PutWindowState(lcid=0, -4140)\n"
      "Application.PutVisible(lcid=0, VARIANT_TRUE)\n"
      "Application.GetWorkbooks()\n"
      "Workbooks.Add(Missing, lcid=0)\n"
      "Workbook.SaveCopyAs(VT_BSTR \"/no/such/folder/a.xlsx\", lcid=0) -> failed 0x800A03EC\n"
      "Workbook.GetSheets()\n"
      "Sheets.GetItem(VT_INT 1)\n"
      "Worksheet.PutName(\"Data \\\"1\\\"\")\n"
      "Worksheet.GetRange(VT_BSTR \"B2\", Missing)\n"
      "Range.Invoke(0x56C, put, VT_R8 1.5)\n"
      "Workbook.GetWorksheets()\n"
      "Worksheets.GetCount()\n"
      "Application.Run(VT_BSTR \"Module1.Step\", VT_I4 3, 29 x Missing) -> failed 0x80020009\n");
  const auto run = recorder->CallsOf("Application.Run");
  ASSERT_EQ(run.size(), 1u);
  EXPECT_EQ(run[0].arguments.size(), 31u);
  EXPECT_EQ(run[0].arguments[1], Variant::Int4(3));

  // Occurrences count from when the fault is added, only the calls `when`
  // takes; the application is not reached.
  recorder->Clear();
  recorder->FailCall("Application.GetVisible", com::E_FAIL, 2);
  recorder->AddFault({"Range.Invoke", com::RPC_E_DISCONNECTED, 1, true, [](const auto& call) {
                        return call.arguments.at(1) == Variant::Int4(4);  // puts only
                      }});
  const HRESULT visible[] = {FailureOf([&] { application->GetVisible(0); }),
                             FailureOf([&] { application->GetVisible(0); }),
                             FailureOf([&] { application->GetVisible(0); })};
  EXPECT_EQ(std::vector<HRESULT>(visible, visible + 3),
            (std::vector<HRESULT>{com::S_OK, com::E_FAIL, com::S_OK}));
  EXPECT_EQ(FailureOf([&] { Put(sheet, "A1", Variant::Double(1)); }), com::RPC_E_DISCONNECTED);
  EXPECT_EQ(FailureOf([&] { Put(sheet, "A1", Variant::Double(2)); }), com::RPC_E_DISCONNECTED);
  EXPECT_EQ(Get(sheet, "A1"), Variant());
  EXPECT_EQ(recorder->Lines()[1], "Application.GetVisible(lcid=0) -> failed 0x80004005");
  EXPECT_EQ(recorder->CountOf("Range.Invoke"), 3u);
  recorder->FailFrom("*", com::E_ABORT);
  EXPECT_EQ(FailureOf([&] { book->Activate(0); }), com::E_ABORT);
  recorder->ClearFaults();
  EXPECT_EQ(FailureOf([&] { book->Activate(0); }), com::S_OK);
}

}  // namespace
}  // namespace excel_test
