// The contract on the in-memory application. Its call log is pinned by the
// driver's own suites (tests/automation/session_test.cpp above all), which
// read the exact line of every member the driver calls.
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
    return value.vt == com::VT_R8 ? value.dblVal : static_cast<double>(value.lVal);
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

}  // namespace
}  // namespace excel_test
