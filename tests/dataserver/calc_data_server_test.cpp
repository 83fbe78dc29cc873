// The data server on a real office workbook: sheets Data and Results and a
// Basic macro Recalc that doubles Data.A1 into Results.B1, driven only by
// tags and commands.
#include <gtest/gtest.h>

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
    const outcome::Error opened = model_->OpenCaseWorkbook();
    ASSERT_FALSE(opened) << opened.Message();
    model_->RefreshSheetNames();
  }
  void TearDown() override {
    model_.reset();
    CalcTest::TearDown();
  }

  void MakeWorkbook() {
    auto started = automation::CreateExcelSession();
    ASSERT_TRUE(started) << started.GetError().Message();
    const std::unique_ptr<automation::CExcExcelObj> session = *std::move(started);
    ASSERT_EQ(session->NewWorkbook().Message(), "");
    const com::Ptr<excel::Worksheet> first = com::QueryInterface<excel::Worksheet>(
        session->GetWorkbook()->GetSheets()->GetItem(com::Variant::Int(1)));
    first->PutName(com::Bstr::FromUtf8("Data"));
    ASSERT_EQ(session->AddWorksheet("Results").Message(), "");
    excel::calc::PutBasicModule(com::Ptr<excel::Workbook>(session->GetWorkbook()), "Standard",
                                "Module1", kRecalc);
    const outcome::Error saved = session->SaveWorkbookCopyAs(path_);
    ASSERT_FALSE(saved) << saved.Message();
    session->CloseWorkbook();
    session->Quit();
  }

  std::string Read(const std::string& tag) {
    const outcome::Partial<std::string> read =
        dataserver::GetDataServerValue(*model_, casedata::TagRead{tag});
    EXPECT_FALSE(read.error) << tag << ": " << read.error.Message();
    return read.value;
  }
  void Write(const std::string& tag, const std::string& value) {
    const outcome::Error error =
        dataserver::SetDataServerValue(*model_, casedata::TagWrite{tag, value});
    EXPECT_FALSE(error) << tag << ": " << error.Message();
  }
  void Execute(const std::string& command) {
    const outcome::Error error =
        dataserver::ExecuteCommand(*model_, casedata::CommandText{command});
    EXPECT_FALSE(error) << command << ": " << error.Message();
  }

  test_support::ScopedEnv calc_{"GRIDMOOR_SPREADSHEET", "calc"};
  std::string path_;
  std::unique_ptr<model::CExcModel> model_;
  char message_[automation::kMessageSize] = {};
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
