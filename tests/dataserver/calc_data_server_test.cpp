// The data server on a real office workbook: sheets Data and Results and a
// Basic macro Recalc that doubles Data.A1 into Results.B1, driven only by
// tags and commands.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

#include "automation/excel_session.h"
#include "dataserver/data_server.h"
#include "excel/calc/calc_application.h"
#include "excel/calc/calc_test_support.h"
#include "model/model.h"
#include "platform/files.h"
#include "support/temp_registry.h"

namespace dataserver_test {
namespace {

constexpr char kRecalc[] =
    "Sub Recalc\n"
    "  Dim sheets\n"
    "  sheets = ThisComponent.Sheets\n"
    "  sheets.getByName(\"Results\").getCellRangeByName(\"B1\").setValue( _\n"
    "      sheets.getByName(\"Data\").getCellRangeByName(\"A1\").getValue() * 2)\n"
    "End Sub\n";

class CalcDataServerTest : public excel::calc::testing::CalcTest {
 protected:
  void SetUp() override {
    CalcTest::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    excel::calc::RegisterCalcApplication();
    path_ = PathOf("case.ods");
    MakeWorkbook();
    model_ = std::make_unique<model::CExcModel>();
    ASSERT_FALSE(model_->CreateFailed()) << model_->CreateError();
    model_->caseDetails.fileName = path_;
    ASSERT_EQ(model_->OpenCaseWorkbook(nullptr, Status()), 0) << status_.text;
    model_->RefreshSheetNames();
  }
  void TearDown() override {
    model_.reset();
    CalcTest::TearDown();
  }

  void MakeWorkbook() {
    std::string error;
    const auto session = automation::CreateExcelSession(error);
    ASSERT_NE(session, nullptr) << error;
    ASSERT_EQ(session->NewWorkbook(message_), 0) << message_;
    const com::Ptr<excel::Worksheet> first = com::QueryInterface<excel::Worksheet>(
        session->GetWorkbook()->GetSheets()->GetItem(com::Variant::Int(1)));
    first->PutName(com::Bstr::FromUtf8("Data"));
    ASSERT_EQ(session->AddWorksheet("Results", message_), 0) << message_;
    excel::calc::PutBasicModule(com::Ptr<excel::Workbook>(session->GetWorkbook()), "Standard",
                                "Module1", kRecalc);
    ASSERT_EQ(session->SaveWorkbookCopyAs(path_, message_), 0) << message_;
    session->CloseWorkbook();
    session->Quit();
  }

  ExtStatusRecord* Status() {
    std::memset(&status_, 0, sizeof status_);
    status_.size = EXT_STATUS_RECORD_SIZE;
    return &status_;
  }
  std::string Read(const std::string& tag) {
    unsigned char record[EXT_DS_READ_RECORD_SIZE] = {};
    const std::uint32_t size = EXT_DS_READ_RECORD_SIZE;
    const char* text = tag.c_str();
    std::memcpy(record, &size, sizeof size);
    std::memcpy(record + EXT_DS_READ_TAG_POINTER_OFFSET, &text, sizeof text);
    EXPECT_EQ(dataserver::GetDataServerValue(*model_, record, Status()), 0)
        << tag << ": " << status_.text;
    return reinterpret_cast<const char*>(record + EXT_DS_READ_RESULT_OFFSET);
  }
  void Write(const std::string& tag, const std::string& value) {
    const char* record[3] = {nullptr, tag.c_str(), value.c_str()};
    EXPECT_EQ(dataserver::SetDataServerValue(*model_, record, Status()), 0)
        << tag << ": " << status_.text;
  }
  void Execute(const std::string& command) {
    EXPECT_EQ(dataserver::ExecuteCommand(*model_, command.c_str(), Status()), 0)
        << command << ": " << status_.text;
  }

  test_support::ScopedEnv calc_{"GRIDMOOR_SPREADSHEET", "calc"};
  std::string path_;
  std::unique_ptr<model::CExcModel> model_;
  ExtStatusRecord status_{};
  char message_[EXT_STATUS_TEXT_SIZE] = {};
};

TEST_F(CalcDataServerTest, TagsAndCommandsDriveTheWorkbook) {
  EXPECT_EQ(Read("Excel.Sheet.Count"), "2");
  Write("Excel.Sheet[{Data}].Cell[{A1|A2}].Content", "21|x");
  Execute("Excel.RunMacro('Recalc')");
  EXPECT_EQ(Read("Excel.Sheet[{Results}].Cell[{B1}].Content"), "42");
  EXPECT_EQ(Read("excel.sheet[{Data}].cell[{A1|A2}].content"), "21|x");
  Execute("Excel.SwitchWorksheet(Results)");

  Write("Excel.ServerOptions.LockUpdate", "1");
  EXPECT_EQ(Read("Excel.ServerOptions.LockUpdate"), "1");
  Execute("Excel.Update()");
  EXPECT_EQ(Read("Excel.ServerOptions.LockUpdate"), "0");
  EXPECT_EQ(Read("Excel.ServerOptions.IsAlive"), "1");

  const std::string copy = PathOf("copy, one.ods");
  Execute("Excel.SaveAsFile('" + copy + "')");
  ASSERT_TRUE(platform::FileExists(copy));
  Write("Excel.Sheet[{Data}].Cell[{A1}].Content", "5");
  Execute("Excel.OpenFile('" + copy + "')");
  EXPECT_EQ(model_->caseDetails.fileName, copy);
  ASSERT_EQ(model_->sheetNames.size(), 2u);
  EXPECT_EQ(Read("Excel.Sheet[1].SheetName"), model_->sheetNames[1]);
  EXPECT_EQ(Read("Excel.Sheet[{Data}].Cell[{A1}].Content"), "21") << "the copy as it was saved";
  Execute("Excel.RunMacro(Recalc)");
  EXPECT_EQ(Read("Excel.Sheet[{Results}].Cell[{B1}].Content"), "42");
}

}  // namespace
}  // namespace dataserver_test
