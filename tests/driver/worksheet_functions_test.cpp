// The worksheet functions from their C signatures down to the application's
// calls, over the in-memory application.
#include "driver/worksheet_functions.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "automation/server_object.h"
#include "automation/session_fixture.h"
#include "automation/worksheet_functions.h"

namespace {

using automation::CExcServerObj;
using test_support::SessionTest;

constexpr const char* kAnotherInstance =
    "This file is open in another instance of Excel.\nIt can not be opened twice in the same "
    "Conflux model";

// A caller's VARIANT holding a text of the library's allocator.
VARIANT CallerText(const char* utf8) {
  VARIANT value;
  GmVariantInit(&value);
  value.vt = VT_BSTR;
  value.bstrVal = GmSysAllocStringUtf8(utf8);
  return value;
}

VARIANT CallerDouble(double number) {
  VARIANT value;
  GmVariantInit(&value);
  value.vt = VT_R8;
  value.dblVal = number;
  return value;
}

class WorksheetFunctionTest : public SessionTest {
 protected:
  WorksheetFunctionTest() {
    handle_ = driver::FnCreate();
    ClearMessage();
  }
  ~WorksheetFunctionTest() override { driver::FnDestroy(handle_); }

  // A new workbook with the sheet Data current, the call log cleared.
  void NewBookWithData() {
    ASSERT_EQ(driver::FnNewFile(handle_, message_), 0);
    ExtString name{const_cast<char*>("Data"), 4};
    ASSERT_EQ(driver::FnCreateWorksheet(handle_, &name, message_), 0) << message_;
    recorder_->Clear();
  }

  com::Ptr<test_support::MemoryWorkbook> Book() { return Application()->ActiveWorkbook(); }

  int Set(const char* sheet, const char* cell, VARIANT value) {
    const int status = driver::FnSetCell(handle_, sheet, cell, &value, message_);
    EXPECT_EQ(value.vt, VT_EMPTY) << "the caller's value is cleared";
    return status;
  }

  FnSession handle_ = nullptr;
};

TEST_F(WorksheetFunctionTest, NewFileOnceThenSheetsAndCellsWithTheirTypes) {
  ASSERT_NE(handle_, nullptr);
  EXPECT_EQ(driver::FnNewFile(handle_, message_), 0);
  EXPECT_EQ(driver::FnNewFile(handle_, message_), 0);
  EXPECT_EQ(recorder_->CountOf("Workbooks.Add"), 1u) << "a second new file does nothing";

  ExtString data{const_cast<char*>("Data"), 0};  // read through its text, not its length
  EXPECT_EQ(driver::FnCreateWorksheet(handle_, &data, message_), 0);
  EXPECT_EQ(recorder_->Lines().back(), "Worksheet.PutName(\"Data\")");
  ExtString first{const_cast<char*>("Sheet1"), 6};
  EXPECT_EQ(driver::FnSelectWorksheet(handle_, &first, message_), 0);

  recorder_->Clear();
  EXPECT_EQ(Set("Data", "$B$2", CallerDouble(1.5)), 0);
  EXPECT_EQ(Set("Data", "C2", CallerText("h\xc3\xa9llo")), 0);
  EXPECT_EQ(recorder_->Transcript(),
            "Workbook.GetSheets()\nSheets.GetItem(VT_BSTR \"Data\")\n"
            "Worksheet.GetRange(VT_BSTR \"$B$2\", Missing)\nRange.Invoke(0x56C, put, VT_R8 1.5)\n"
            "Workbook.GetSheets()\nSheets.GetItem(VT_BSTR \"Data\")\n"
            "Worksheet.GetRange(VT_BSTR \"C2\", Missing)\n"
            "Range.Invoke(0x56C, put, VT_BSTR \"h\xc3\xa9llo\")\n");
  EXPECT_EQ(Book()->CellValue("Data", "B2"), com::Variant::Double(1.5));

  VARIANT out = CallerText("old content, freed");
  EXPECT_EQ(driver::FnGetCell(handle_, "Data", "C2", &out, message_), 0);
  ASSERT_EQ(out.vt, VT_BSTR);
  EXPECT_EQ(com::BstrToUtf8(out.bstrVal), "h\xc3\xa9llo");
  EXPECT_EQ(driver::FnGetCell(handle_, "Data", "Z99", &out, message_), 0);
  EXPECT_EQ(out.vt, VT_EMPTY) << "an empty cell";

  ExtString cell{const_cast<char*>("B2"), 2};
  VARIANT format = CallerText("0.00");
  recorder_->Clear();
  EXPECT_EQ(driver::FnPutNumberFormat(handle_, "Data", &cell, &format, message_), 0);
  EXPECT_EQ(format.vt, VT_EMPTY);
  EXPECT_EQ(recorder_->Lines().back(), "Range.Invoke(0xC1, put, VT_BSTR \"0.00\")");
  EXPECT_EQ(Book()->CellNumberFormat("Data", "B2"), "0.00");
  EXPECT_STREQ(message_, "");
}

TEST_F(WorksheetFunctionTest, WritesAddTheirSheetAndBlankNamesAddADefaultOneEachTime) {
  NewBookWithData();
  EXPECT_EQ(Set("Fresh", "A1", CallerDouble(7)), 0);
  EXPECT_EQ(Book()->CellValue("Fresh", "A1"), com::Variant::Double(7));
  EXPECT_EQ(Set("", "A1", CallerDouble(1)), 0);
  EXPECT_EQ(Set("", "A1", CallerDouble(2)), 0);
  EXPECT_EQ(Book()->SheetNames(),  // each added before the active sheet
            (std::vector<std::string>{"Sheet5", "Sheet4", "Fresh", "Data", "Sheet1"}));
  ExtString cell{const_cast<char*>("A1"), 2};
  VARIANT format = CallerText("0%");
  EXPECT_EQ(driver::FnPutNumberFormat(handle_, "Other", &cell, &format, message_), 0);
  EXPECT_EQ(Book()->CellNumberFormat("Other", "A1"), "0%");
}

// Each failure, its result and its message; the caller's value is cleared
// on every path.
TEST_F(WorksheetFunctionTest, FailuresGiveOneWithTheirMessages) {
  NewBookWithData();
  VARIANT out = CallerDouble(3);
  EXPECT_EQ(driver::FnGetCell(handle_, "Nope", "A1", &out, message_), 1);
  EXPECT_EQ(out.vt, VT_EMPTY);
  EXPECT_EQ(MessageText(), "Unable to get worksheet Nope (Invalid index.)")
      << "the session's own message";

  ExtString nope{const_cast<char*>("Nope"), 4};
  EXPECT_EQ(driver::FnSelectWorksheet(handle_, &nope, message_), 1);
  EXPECT_EQ(MessageText(), "Unable to get worksheet Nope (Invalid index.)");
  ExtString refusedName{const_cast<char*>("a/b"), 3};
  EXPECT_EQ(driver::FnCreateWorksheet(handle_, &refusedName, message_), 1);
  EXPECT_EQ(MessageText(), "Failed to create new worksheet (Unknown error 0x800A03EC)");

  recorder_->FailCall("Range.Invoke", com::E_FAIL);
  EXPECT_EQ(driver::FnGetCell(handle_, "Data", "A1", &out, message_), 1);
  EXPECT_EQ(MessageText(), "") << "a failed read has no message";
  EXPECT_EQ(driver::FnGetCell(handle_, "Data", nullptr, &out, message_), 1)
      << "the empty address is no cell";

  recorder_->FailCall("Range.Invoke", com::DISP_E_EXCEPTION);
  EXPECT_EQ(Set("Data", "A1", CallerDouble(1)), 1);
  EXPECT_EQ(MessageText(), "Could not set Data.Cell[A1] (Exception occurred.)");
  ExtString cell{const_cast<char*>("A1"), 2};
  VARIANT format = CallerText("0.0");
  recorder_->FailCall("Range.Invoke", com::E_FAIL);
  EXPECT_EQ(driver::FnPutNumberFormat(handle_, "Data", &cell, &format, message_), 1);
  EXPECT_EQ(format.vt, VT_EMPTY);
  EXPECT_EQ(MessageText(), "Could not set the number format of Data.Cell[A1] (Unspecified error)");

  recorder_->FailCall("Worksheets.Add", com::E_FAIL);
  EXPECT_EQ(Set("Missing", "A1", CallerDouble(1)), 1);
  EXPECT_EQ(MessageText(), "Failed to create new worksheet (Unspecified error)");

  Book()->AddChartSheet("Chart");
  EXPECT_EQ(Set("Chart", "A1", CallerDouble(1)), 1);
  EXPECT_EQ(MessageText(), "Could not set Chart.Cell[A1] (Chart is not a worksheet)");

  // Values the library does not take, and a missing one.
  VARIANT wrongType;
  GmVariantInit(&wrongType);
  wrongType.vt = VT_I2;
  EXPECT_EQ(Set("Data", "A1", wrongType), 1);
  EXPECT_EQ(MessageText().rfind("A VARIANT of type VT_I2 is not supported (", 0), 0u)
      << MessageText();
  EXPECT_EQ(driver::FnSetCell(handle_, "Data", "A1", nullptr, message_), 1);
  EXPECT_EQ(MessageText(), "No VARIANT was given (a null pointer)");
  EXPECT_EQ(driver::FnGetCell(handle_, "Data", "A1", nullptr, nullptr), 1) << "no message buffer";

  // Last: a failed open leaves the handle without a workbook.
  const std::string notABook = folder_.File("text.xlsx");
  std::ofstream(notABook) << "not a workbook";
  EXPECT_EQ(driver::FnOpenFile(handle_, notABook.c_str(), message_), 1);
  EXPECT_EQ(MessageText().rfind("Failed to open " + notABook + " in Excel (", 0), 0u);
}

TEST_F(WorksheetFunctionTest, HandlesShareTheRegistryWithDriverInstancesBothWays) {
  const std::string held = MakeWorkbookFile("held.xlsx", {"Data"});
  const std::string mine = MakeWorkbookFile("mine.xlsx", {"Data"});
  CExcServerObj instanceServer;  // what every driver instance's model embeds
  ASSERT_EQ(instanceServer.Open(held, {}, false, Msg()), 0);
  EXPECT_EQ(driver::FnOpenFile(handle_, held.c_str(), message_), 1);
  EXPECT_EQ(MessageText(), kAnotherInstance);

  ASSERT_EQ(driver::FnOpenFile(handle_, mine.c_str(), message_), 0);
  EXPECT_EQ(instanceServer.Open(mine, {}, false, Msg()), 1);
  EXPECT_EQ(MessageText(), kAnotherInstance);
  driver::FnDestroy(handle_);
  handle_ = nullptr;
  EXPECT_EQ(instanceServer.Open(mine, {}, false, Msg()), 0) << "a destroyed handle lets go";
}

TEST_F(WorksheetFunctionTest, NeitherTheEmptyPathNorAFolderIsAFileToOpen) {
  ASSERT_EQ(driver::FnOpenFile(handle_, folder_.path().c_str(), message_), 0) << message_;
  EXPECT_EQ(recorder_->CountOf("Workbooks.Open"), 0u);
  EXPECT_EQ(recorder_->CountOf("Workbooks.Add"), 1u);
  const FnSession other = driver::FnCreate();
  EXPECT_EQ(driver::FnOpenFile(other, folder_.path().c_str(), message_), 0)
      << "a folder is no file one holds";
  EXPECT_EQ(driver::FnNewFile(other, message_), 0);
  EXPECT_EQ(recorder_->CountOf("Workbooks.Add"), 3u);
  driver::FnDestroy(other);
}

TEST(WorksheetFunctionOffset, StepsAddressesAndRefusesOverLongParts) {
  struct Case {
    const char* cell;
    int count;
    int byRow;
    int status;
    const char* result;
  } const cases[] = {
      {"B7", 3, 1, 0, "B10"},
      {"B7", 3, 0, 0, "E7"},
      {"$z$7", 1, 0, 0, "AA7"},
      {"77", 1, 1, 0, ""},
      {"B", 1, 1, 0, ""},
      {"B0", 1, 1, 0, ""},
      {nullptr, 1, 1, 0, ""},
      {"ABCDEFGH1", 1, 1, 1, "kept"},
      {"A12345678", 1, 0, 1, "kept"},
  };
  for (const Case& c : cases) {
    ExtString result;
    ExtStringInit(&result);
    ExtStringSet(&result, "kept");
    EXPECT_EQ(driver::FnOffsetCell(c.cell, &result, c.count, c.byRow), c.status)
        << (c.cell ? c.cell : "null");
    EXPECT_STREQ(ExtStringText(&result), c.result) << (c.cell ? c.cell : "null");
    ExtStringFree(&result);
  }
  EXPECT_EQ(driver::FnOffsetCell("B7", nullptr, 1, 1), 1);
}

// Two threads on one handle, and a third destroying it under them: every
// call is answered (done, or refused as unknown), none crashes.
TEST_F(WorksheetFunctionTest, CallsOnOneHandleAreSerialisedAndDestroyWaitsForThem) {
  NewBookWithData();
  std::atomic<int> unexpected{0};
  auto writer = [&](const char* column) {
    char message[EXT_FN_MESSAGE_SIZE] = {};
    for (int i = 1; i <= 200; ++i) {
      const std::string cell = column + std::to_string(i);
      VARIANT value = CallerDouble(i);
      VARIANT out;
      GmVariantInit(&out);
      const int set = driver::FnSetCell(handle_, "Data", cell.c_str(), &value, message);
      const int get = driver::FnGetCell(handle_, "Data", cell.c_str(), &out, message);
      const bool gone = std::string(message) == automation::kUnknownFunctionSessionMessage;
      if (set != 0 && !gone) ++unexpected;
      if (get == 0 && (out.vt != VT_R8 || out.dblVal != i)) ++unexpected;
      GmVariantClear(&out);
    }
  };
  std::thread a(writer, "A");
  std::thread b(writer, "B");
  std::thread destroyer([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
    driver::FnDestroy(handle_);
  });
  a.join();
  b.join();
  destroyer.join();
  EXPECT_EQ(unexpected, 0);
  EXPECT_EQ(driver::FnNewFile(handle_, message_), 1);
  EXPECT_EQ(MessageText(), automation::kUnknownFunctionSessionMessage);
  handle_ = nullptr;
}

}  // namespace
