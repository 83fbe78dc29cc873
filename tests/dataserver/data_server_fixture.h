// A model over the in-memory application with a workbook of three sheets
// (Data, Results, Notes) open and its sheet names cached, every call
// recorded, and the data server's three entry points as the host calls them.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>

#include "automation/cell_transfer.h"
#include "automation/session_fixture.h"
#include "dataserver/data_server.h"
#include "model/model.h"
#include "support/guarded_buffer.h"

namespace dataserver_test {

using test_support::GuardedBuffer;

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
    ASSERT_EQ(model_->OpenCaseWorkbook(nullptr, Status()), 0) << Message();
    model_->RefreshSheetNames();
    ASSERT_EQ(model_->sheetNames.size(), 3u);
    recorder_->Clear();
  }
  void TearDown() override { EXPECT_TRUE(status_.GuardsIntact()); }

  // A code 96 record asking for `tag`, its result area 0x5C throughout.
  static GuardedBuffer ReadRecord(const char* tag) {
    GuardedBuffer record(EXT_DS_READ_RECORD_SIZE, 0x5C);
    const std::uint32_t size = EXT_DS_READ_RECORD_SIZE;
    std::memcpy(record.bytes.data(), &size, sizeof size);
    std::memcpy(record.bytes.data() + EXT_DS_READ_TAG_POINTER_OFFSET, &tag, sizeof tag);
    return record;
  }
  // Code 96: the status, the result area's text, and the message. The
  // result area must hold its NUL and the guards after the record stay.
  ReadResult Read(const std::string& tag) {
    ClearStatus();
    GuardedBuffer record = ReadRecord(tag.c_str());
    const std::int32_t status =
        dataserver::GetDataServerValue(*model_, record.bytes.data(), Status());
    const char* result = record.chars() + EXT_DS_READ_RESULT_OFFSET;
    EXPECT_NE(std::memchr(result, 0, EXT_DS_READ_RESULT_SIZE), nullptr) << tag;
    EXPECT_TRUE(record.GuardsIntact()) << tag;
    return {status, std::string(result), Message()};
  }
  // Code 97: the status; the message is in Message().
  std::int32_t Write(const std::string& tag, const std::string& value) {
    ClearStatus();
    const char* pointers[3] = {nullptr, tag.c_str(), value.c_str()};
    return dataserver::SetDataServerValue(*model_, pointers, Status());
  }
  // Code 98.
  std::int32_t Execute(const std::string& command) {
    ClearStatus();
    return dataserver::ExecuteCommand(*model_, command.c_str(), Status());
  }

  std::string Cell(const std::string& sheet, const std::string& cell) {
    std::string text;
    char message[EXT_STATUS_TEXT_SIZE] = {};
    EXPECT_EQ(automation::ReadCellText(model_->Session(), sheet, cell, text, message), 0)
        << message;
    return text;
  }
  void SetCell(const std::string& sheet, const std::string& cell, const com::Variant& value) {
    Application()->ActiveWorkbook()->SetCellValue(sheet, cell, value);
  }

  ExtStatusRecord* Status() { return status_.status(); }
  std::string Message() const {
    return std::string(reinterpret_cast<const char*>(status_.bytes.data()) + 4);
  }
  void ClearStatus() { std::memset(status_.bytes.data(), 0, EXT_STATUS_RECORD_SIZE); }

  GuardedBuffer status_{EXT_STATUS_RECORD_SIZE, 0};
  std::string path_;
  std::unique_ptr<model::CExcModel> model_;
};

}  // namespace dataserver_test
