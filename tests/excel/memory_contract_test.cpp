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
  const auto app = com::QueryInterface<MemoryApplication>(book->GetApplication());
  using Arguments = std::vector<Variant>;
  const auto number = [](const Variant& value) {
    return value.vt == VT_R8 ? value.dblVal : static_cast<double>(value.lVal);
  };
  const auto put = [](MemoryApplication& on, const char* cell, const Variant& value) {
    on.ActiveWorkbook()->SetCellValue("Sheet1", cell, value);
    return Variant();
  };
  app->RegisterMacro("Module1.Add2", [=](auto&, const Arguments& a) {
    return Variant::Double(number(a.at(0)) + number(a.at(1)));
  });
  app->RegisterMacro("Module1.Joined", [](auto&, const Arguments& a) {
    return Variant::Text(com::BstrToUtf8(a.at(0).bstrVal) + "/" + std::to_string(a.at(1).lVal));
  });
  app->RegisterMacro("Module1.WriteCell",
                     [=](auto& on, const Arguments& a) { return put(on, "B1", a.at(0)); });
  app->RegisterMacro("Module1.Fails", [=](auto&, const Arguments& a) {
    return number(a.at(0)) != 0 ? Variant() : throw std::domain_error("division by zero");
  });
  app->RegisterMacro("'" + book->Name() + "'!Module1.Auto_Open", [=](auto& on, const Arguments&) {
    return put(on, "C1", Variant::Text("opened"));
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
