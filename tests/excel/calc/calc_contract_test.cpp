// The contract on the real application.
#include "calc_test_support.h"
#include "excel/application_contract.h"

namespace excel_test {
namespace {

using namespace excel::calc;
using namespace excel::calc::testing;

constexpr const char* kModule1 =
    "Function Add2(a, b)\n"
    "  Add2 = a + b\n"
    "End Function\n"
    "Function Joined(text, number)\n"
    "  Joined = text & \"/\" & number\n"
    "End Function\n"
    "Sub WriteCell(value)\n"
    "  ThisComponent.Sheets.getByIndex(0).getCellByPosition(1, 0).setValue(value)\n"
    "End Sub\n"
    "Sub Fails(divisor)\n"
    "  Dim x\n"
    "  x = 1 / divisor\n"
    "End Sub\n"
    "Sub Auto_Open\n"
    "  ThisComponent.Sheets.getByIndex(0).getCellByPosition(2, 0).setString(\"opened\")\n"
    "End Sub\n";

INSTANTIATE_TEST_SUITE_P(Calc, ApplicationContract,
                         ::testing::Values(ContractSubject{
                             "calc", [] { return CreateCalcApplication(); },
                             [](const com::Ptr<excel::Workbook>& workbook) {
                               PutBasicModule(workbook, "Standard", "Module1", kModule1);
                             },
                             [] { SkipWithoutOffice(); }, [] { ExpectNoOfficeLeft(); }}),
                         [](const auto& info) { return info.param.name; });

}  // namespace
}  // namespace excel_test
