// The cell transfer's failures against a real office: the application's
// reasons and a workbook a macro closed.
#include <gtest/gtest.h>

#include <string>

#include "automation/cell_transfer.h"
#include "automation/server_object.h"
#include "com/variants/bstr.h"
#include "excel/calc/calc_application.h"
#include "excel/calc/calc_test_support.h"

namespace {

class CalcSessionTest : public excel::calc::testing::CalcTest {
 protected:
  void SetUp() override {
    CalcTest::SetUp();
    excel::calc::RegisterCalcApplication();
  }

  char message_[260] = {};
};

TEST_F(CalcSessionTest, AReadThatFailsSaysWhyNamingTheSheetAndCell) {
  automation::CExcServerObj server;
  ASSERT_FALSE(server.CreateFailed()) << server.CreateError();
  automation::CExcExcelObj* session = server.Session();
  ASSERT_EQ(server.Open(PathOf("reasons.xlsx"), {}, false, message_), 0) << message_;
  ASSERT_EQ(automation::WriteCellText(session, "Sheet1", "C1", "=1/0").Message(), "");

  const struct {
    const char* cell;
    const char* reason;
  } cases[] = {
      {"R4C2", "Invalid cell reference \"R4C2\" on sheet Sheet1: no cell of the sheet and no name"},
      {"703:1", "Invalid cell reference \"703:1\" on sheet Sheet1: outside the sheet"},
      {"C1", "Type mismatch. Sheet1!C1 holds the error value #DIV/0!, not a number"}};
  for (const auto& c : cases) {
    // The host's own text stays as it is; the application's words come apart.
    EXPECT_EQ(automation::ReadCellText(session, "Sheet1", c.cell).GetError().Message(),
              std::string("Could not get Sheet1.Cell[") + c.cell + "]");
    EXPECT_EQ(automation::CellText(*session, "Sheet1", c.cell).GetError().Message(), c.reason);
  }

  // A macro that closes the workbook: every later read says so.
  excel::calc::PutBasicModule(com::Ptr<excel::Workbook>(session->GetWorkbook()), "Standard",
                              "Closing", "Sub CloseIt\n  ThisComponent.close(True)\nEnd Sub\n");
  const outcome::Error ran = session->RunMacro("CloseIt");
  EXPECT_FALSE(ran) << ran.Message();
  EXPECT_EQ(automation::ReadCellText(session, "Sheet1", "A1").GetError().Message(),
            "Unable to get worksheet Sheet1");
  const std::string reason = session->SelectWorksheet("Sheet1").Message();
  EXPECT_EQ(reason.rfind("Unable to get worksheet Sheet1 (The workbook ", 0), 0u) << reason;
  EXPECT_NE(reason.find(" was closed by a macro (the last one run: Standard.Closing.CloseIt): its "
                        "cells can no longer be read or written)"),
            std::string::npos)
      << reason;
  server.Close();
}

}  // namespace
