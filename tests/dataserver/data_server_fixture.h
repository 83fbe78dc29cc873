// A model over the in-memory application with a workbook of three sheets
// (Data, Results, Notes) open and its sheet names cached, every call
// recorded, and the data server's three operations.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>

#include "automation/cell_transfer.h"
#include "automation/excel_session.h"
#include "automation/session_fixture.h"
#include "dataserver/data_server.h"
#include "model/model.h"
#include "outcome/outcome.h"

namespace dataserver_test {

struct ReadResult {
  std::int32_t status;
  std::string value;
  std::string message;
};

class DataServerTest : public test_support::SessionTest {
 protected:
  void SetUp() override {
    path_ = MakeWorkbookFile("case.xlsx", {"Data", "Results", "Notes"});
    model_ = std::make_unique<model::CExcModel>();
    ASSERT_FALSE(model_->CreateFailed()) << model_->CreateError();
    model_->caseDetails.fileName = path_;
    const outcome::Error opened = model_->OpenCaseWorkbook();
    ASSERT_FALSE(opened) << opened.Message();
    model_->RefreshSheetNames();
    ASSERT_EQ(model_->sheetNames.size(), 3u);
    recorder_->Clear();
  }
  std::int32_t Answered(const outcome::Error& error) {
    message_ = error.Message();
    return error.Result();
  }

  // Code 96: the status, the value text and the message.
  ReadResult Read(const std::string& tag) {
    const outcome::Partial<std::string> read =
        dataserver::GetDataServerValue(*model_, casedata::TagRead{tag});
    message_ = read.error.Message();
    return {read.error.Result(), read.value, message_};
  }
  // Code 97: the status; the message is in Message().
  std::int32_t Write(const std::string& tag, const std::string& value) {
    return Answered(dataserver::SetDataServerValue(*model_, casedata::TagWrite{tag, value}));
  }
  // Code 98.
  std::int32_t Execute(const std::string& command) {
    return Answered(dataserver::ExecuteCommand(*model_, casedata::CommandText{command}));
  }

  std::string Cell(const std::string& sheet, const std::string& cell) {
    outcome::Expected<std::string> text = automation::ReadCellText(model_->Session(), sheet, cell);
    EXPECT_TRUE(text) << text.GetError().Message();
    return text ? *text : "";
  }
  void SetCell(const std::string& sheet, const std::string& cell, const com::Variant& value) {
    Application()->ActiveWorkbook()->SetCellValue(sheet, cell, value);
  }

  // The message of the last data-server operation.
  const std::string& Message() const { return message_; }

  std::string message_;
  std::string path_;
  std::unique_ptr<model::CExcModel> model_;
};

}  // namespace dataserver_test
