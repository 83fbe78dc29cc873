// The session, the server objects and the cell transfer against a real
// office: the scenarios whose outcome depends on the application itself.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "automation/cell_address.h"
#include "automation/cell_transfer.h"
#include "automation/server_object.h"
#include "excel/calc/calc_application.h"
#include "excel/calc/calc_test_support.h"

namespace {

using automation::CExcServerObj;

class CalcSessionTest : public excel::calc::testing::CalcTest {
 protected:
  void SetUp() override {
    CalcTest::SetUp();
    excel::calc::RegisterCalcApplication();
  }

  double Number(automation::CExcExcelObj* session, const char* sheet, const char* cell) {
    double value = 0;
    EXPECT_EQ(automation::ReadCellDouble(session, sheet, cell, value, message_), 0) << message_;
    return value;
  }

  std::string Text(automation::CExcExcelObj* session, const char* sheet, const char* cell) {
    std::string text;
    EXPECT_EQ(automation::ReadCellText(session, sheet, cell, text, message_), 0) << message_;
    return text;
  }

  char message_[260] = {};
};

TEST_F(CalcSessionTest, NewWorkbookIsSavedUnderItsNameAndReopened) {
  for (const char* name : {"case.xlsx", "case.ods"}) {
    SCOPED_TRACE(name);
    const std::string path = PathOf(name);
    CExcServerObj server;
    ASSERT_FALSE(server.CreateFailed()) << server.CreateError();
    automation::CExcExcelObj* session = server.Session();
    ASSERT_EQ(server.Open(path, {}, false, message_), 0) << message_;
    EXPECT_FALSE(server.FileExists());
    EXPECT_EQ(server.FileName(), path);

    ASSERT_EQ(automation::WriteCellText(session, "Sheet1", "A1", "2.5", message_), 0) << message_;
    ASSERT_EQ(automation::WriteCellText(session, "Sheet1", "2:1", "=A1*4", message_), 0);
    ASSERT_EQ(automation::WriteCellText(session, "Sheet1", "A2", "'007", message_), 0);
    EXPECT_EQ(Number(session, "Sheet1", "B1"), 10.0) << "the formula follows the written cell";
    ASSERT_EQ(session->AddWorksheet("Data", message_), 0) << message_;
    ASSERT_EQ(session->SaveWorkbookCopyAs(path, message_), 0) << message_;

    // Changes after the save are discarded by the reopen.
    ASSERT_EQ(automation::WriteCellText(session, "Sheet1", "A1", "99", message_), 0);
    ASSERT_EQ(server.Reopen(message_), 0) << message_;
    EXPECT_EQ(Number(session, "Sheet1", "1:1"), 2.5);
    EXPECT_EQ(Number(session, "Sheet1", "B1"), 10.0);
    EXPECT_EQ(Text(session, "Sheet1", "A2"), "007");
    std::vector<std::string> names;
    ASSERT_EQ(session->GetSheetNames(names, message_), 0) << message_;
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"Data", "Sheet1"}));
    EXPECT_EQ(server.Close(), 0);
  }
}

TEST_F(CalcSessionTest, AFileOpenInOneServerObjectIsRefusedToAnother) {
  const std::string path = PathOf("shared.xlsx");
  {
    CExcServerObj maker;
    ASSERT_EQ(maker.Open(path, {}, false, message_), 0) << message_;
    ASSERT_EQ(maker.Session()->SaveWorkbookCopyAs(path, message_), 0) << message_;
  }
  CExcServerObj first;
  CExcServerObj second;
  ASSERT_EQ(first.Open(path, {}, false, message_), 0) << message_;
  EXPECT_TRUE(first.FileExists());
  EXPECT_EQ(second.Open(path, {}, false, message_), 1);
  EXPECT_STREQ(message_,
               "This file is open in another instance of Excel.\nIt can not be opened twice in "
               "the same Conflux model");
  first.Close();
  EXPECT_EQ(second.Open(path, {}, false, message_), 0) << message_;
}

TEST_F(CalcSessionTest, CellsByBothAddressFormsAndTheirFailures) {
  CExcServerObj server;
  ASSERT_EQ(server.Open(PathOf("cells.ods"), {}, false, message_), 0) << message_;
  automation::CExcExcelObj* session = server.Session();
  ASSERT_EQ(automation::WriteCellText(session, "Sheet1", "27:3", "0.1", message_), 0);
  EXPECT_EQ(Text(session, "Sheet1", "AA3"), "0.1");
  ASSERT_EQ(automation::WriteCellText(session, "Sheet1", "C1", "=1/3", message_), 0);
  EXPECT_EQ(Text(session, "Sheet1", "3:1"), "0.333333333333333");
  ASSERT_EQ(automation::WriteCellText(session, "Sheet1", "D1", "=1/0", message_), 0);

  std::string text;
  EXPECT_EQ(automation::ReadCellText(session, "Sheet1", "D1", text, message_), 1);
  EXPECT_STREQ(message_, "Could not get Sheet1.Cell[D1]");
  EXPECT_EQ(automation::ReadCellText(session, "Sheet1", "703:1", text, message_), 1);
  EXPECT_STREQ(message_, "Could not get Sheet1.Cell[703:1]");
  EXPECT_EQ(automation::ReadCellText(session, "Nope", "A1", text, message_), 1);
  EXPECT_STREQ(message_, "Unable to get worksheet Nope");
  EXPECT_EQ(automation::ReadCellNumber(session, "Sheet1", "AA3"), 0.1);
  EXPECT_EQ(automation::ReadCellNumber(session, "Sheet1", "Z9"), automation::kUndefinedValue);
}

}  // namespace
