// The session, the server object and the cell transfer against a real
// office. What the application itself decides (formats, formulas, error
// values) is tested in excel/calc; this shows the automation floor on top.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "automation/cell_transfer.h"
#include "automation/server_object.h"
#include "excel/calc/calc_application.h"
#include "excel/calc/calc_test_support.h"

namespace {

class CalcSessionTest : public excel::calc::testing::CalcTest {
 protected:
  void SetUp() override {
    CalcTest::SetUp();
    excel::calc::RegisterCalcApplication();
  }

  std::string Text(automation::CExcExcelObj* session, const char* cell) {
    std::string text;
    EXPECT_EQ(automation::ReadCellText(session, "Sheet1", cell, text, message_), 0) << message_;
    return text;
  }

  char message_[260] = {};
};

TEST_F(CalcSessionTest, ANewWorkbookIsWrittenSavedReopenedAndRead) {
  const std::string path = PathOf("case.xlsx");
  automation::CExcServerObj server;
  ASSERT_FALSE(server.CreateFailed()) << server.CreateError();
  automation::CExcExcelObj* session = server.Session();
  ASSERT_EQ(server.Open(path, {}, false, message_), 0) << message_;
  EXPECT_FALSE(server.FileExists());

  ASSERT_EQ(automation::WriteCellText(session, "Sheet1", "A1", "2.5", message_), 0) << message_;
  ASSERT_EQ(automation::WriteCellText(session, "Sheet1", "C1", "=1/0", message_), 0);
  ASSERT_EQ(session->AddWorksheet("Data", message_), 0) << message_;
  ASSERT_EQ(session->SaveWorkbookCopyAs(path, message_), 0) << message_;

  // Opening the same file with the reopen flag discards the changes made
  // after the save.
  ASSERT_EQ(automation::WriteCellText(session, "Sheet1", "A1", "99", message_), 0);
  ASSERT_EQ(server.Open(path, {}, /*reopen=*/true, message_), 0) << message_;
  EXPECT_EQ(Text(session, "1:1"), "2.5");
  std::vector<std::string> names;
  ASSERT_EQ(session->GetSheetNames(names, message_), 0) << message_;
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"Data", "Sheet1"}));

  std::string text;
  EXPECT_EQ(automation::ReadCellText(session, "Sheet1", "C1", text, message_), 1);
  EXPECT_STREQ(message_, "Could not get Sheet1.Cell[C1]");
  EXPECT_EQ(automation::ReadCellText(session, "Nope", "A1", text, message_), 1);
  EXPECT_STREQ(message_, "Unable to get worksheet Nope");
  EXPECT_EQ(server.Close(), 0);
}

}  // namespace
