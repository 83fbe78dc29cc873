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

// The driver's own suites pin the line of each member; here what they take
// for granted.
TEST(MemoryCallLog, FaultsCountOnlyTheCallsTheyTakeAndStopThemBeforeTheApplication) {
  const auto recorder = std::make_shared<test_support::Recorder>();
  const auto memory = MemoryApplication::Create();
  memory->RegisterMacro("Fill", [](MemoryApplication& app, const auto&) {
    Put(SheetOf(NewWorkbook(com::Ptr<excel::Application>(&app))), "A1", Variant::Double(1));
    return Variant();
  });
  const auto application = test_support::MakeRecordingApplication(memory, recorder);
  const auto sheet = SheetOf(NewWorkbook(application));
  memory->ActiveWorkbook()->SetCellValue("Sheet1", "A1", Variant::Double(7));
  application->Run(Variant::Text("Fill"), Arguments());
  recorder->AddFault({"Range.Invoke", com::RPC_E_DISCONNECTED, 2, false, [](const auto& call) {
                        return call.arguments.at(1) == Variant::Int4(4);  // puts only
                      }});
  Put(sheet, "A1", Variant::Double(1));
  EXPECT_EQ(Get(sheet, "A1"), Variant::Double(1));
  EXPECT_EQ(FailureOf([&] { Put(sheet, "A1", Variant::Double(2)); }), com::RPC_E_DISCONNECTED);
  EXPECT_EQ(Get(sheet, "A1"), Variant::Double(1)) << "the failed put did not reach the cell";
  Put(sheet, "A1", Variant::Double(3));
  const std::vector<std::string> lines = recorder->Lines();
  ASSERT_EQ(lines.size(), 15u) << recorder->Transcript();  // neither the test side nor the macro
  EXPECT_EQ(lines[4], "Application.Run(VT_BSTR \"Fill\", 30 x Missing)");
  EXPECT_EQ(lines[10], "Range.Invoke(0x56C, put, VT_R8 2) -> failed 0x80010108");
}

}  // namespace
}  // namespace excel_test
