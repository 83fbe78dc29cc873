// The worksheet functions from their C signatures down to the application's
// calls, over the in-memory application.
#include "driver/worksheet_functions.h"

#include <gtest/gtest.h>

#include <atomic>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "automation/server_object.h"
#include "automation/session_fixture.h"
#include "automation/worksheet_functions.h"
#include "support/wait.h"

namespace {

using com::Variant;

constexpr const char* kAnotherInstance =
    "This file is open in another instance of Excel.\nIt can not be opened twice in the same "
    "Conflux model";

ExtString Name(const char* text) {
  return ExtString{const_cast<char*>(text), 0};  // read through its text alone
}

class WorksheetFunctionTest : public test_support::SessionTest {
 protected:
  ~WorksheetFunctionTest() override { driver::FnDestroy(handle_); }

  // A new workbook with the sheet Data, the call log cleared.
  void NewBookWithData() {
    ExtString data = Name("Data");
    ASSERT_EQ(driver::FnNewFile(handle_, message_), 0);
    ASSERT_EQ(driver::FnCreateWorksheet(handle_, &data, message_), 0) << message_;
    recorder_->Clear();
  }
  com::Ptr<test_support::MemoryWorkbook> Book() { return Application()->ActiveWorkbook(); }

  // FnSetCell (or FnPutNumberFormat on `sheet`!`cell`) of a caller's VARIANT,
  // which must come back cleared.
  int Set(const char* sheet, const char* cell, Variant value, bool format = false) {
    com::VARIANT caller = value.Detach();
    ExtString address = Name(cell);
    const int status = format
                           ? driver::FnPutNumberFormat(handle_, sheet, &address, &caller, message_)
                           : driver::FnSetCell(handle_, sheet, cell, &caller, message_);
    EXPECT_EQ(caller.vt, com::VT_EMPTY) << "the caller's value is cleared";
    return status;
  }

  FnSession handle_ = driver::FnCreate();
};

// Every call on the spreadsheet holds the lock that model operations hold.
TEST_F(WorksheetFunctionTest, CellCallsHoldTheSpreadsheetLock) {
  NewBookWithData();
  int lockedElsewhere = 0;
  recorder_->AddFault({"Range.Invoke", com::E_FAIL, 1, true, [&](const auto&) {
                         lockedElsewhere += test_support::SpreadsheetLockedElsewhere();
                         return false;
                       }});
  EXPECT_EQ(Set("Data", "A1", Variant::Double(1)), 0);
  com::VARIANT out{};
  EXPECT_EQ(driver::FnGetCell(handle_, "Data", "A1", &out, message_), 0);
  Variant::Attach(out);
  EXPECT_EQ(Set("Data", "A1", Variant::Text("0.0"), /*format=*/true), 0);
  EXPECT_EQ(lockedElsewhere, 3) << "held while each cell was reached";
  EXPECT_FALSE(test_support::SpreadsheetLockedElsewhere()) << "released on return";
  recorder_->ClearFaults();
}

// Each failure with its message; the caller's value is cleared on every path.
TEST_F(WorksheetFunctionTest, FailuresGiveOneWithTheirMessages) {
  NewBookWithData();
  ExtString nope = Name("Nope"), refusedName = Name("a/b");
  com::VARIANT out = Variant::Double(3).Detach();
  EXPECT_EQ(driver::FnGetCell(handle_, "Nope", "A1", &out, message_), 1);
  EXPECT_EQ(out.vt, com::VT_EMPTY);
  EXPECT_EQ(MessageText(), "Unable to get worksheet Nope (Invalid index.)") << "the session's";
  EXPECT_EQ(driver::FnSelectWorksheet(handle_, &nope, message_), 1);
  EXPECT_EQ(driver::FnCreateWorksheet(handle_, &refusedName, message_), 1);
  EXPECT_EQ(MessageText(), "Failed to create new worksheet (Unknown error 0x800A03EC)");

  recorder_->FailCall("Range.Invoke", com::E_FAIL);
  EXPECT_EQ(driver::FnGetCell(handle_, "Data", "A1", &out, message_), 1);
  EXPECT_EQ(MessageText(), "") << "a failed read has no message";
  recorder_->FailCall("Range.Invoke", com::DISP_E_EXCEPTION);
  EXPECT_EQ(Set("Data", "A1", Variant::Double(1)), 1);
  EXPECT_EQ(MessageText(), "Could not set Data.Cell[A1] (Exception occurred.)");
  recorder_->FailCall("Range.Invoke", com::E_FAIL);
  EXPECT_EQ(Set("Data", "A1", Variant::Text("0.0"), /*format=*/true), 1);
  EXPECT_EQ(MessageText(), "Could not set the number format of Data.Cell[A1] (Unspecified error)");
  recorder_->FailCall("Worksheets.Add", com::E_FAIL);
  EXPECT_EQ(Set("Missing", "A1", Variant::Double(1)), 1);
  EXPECT_EQ(MessageText(), "Failed to create new worksheet (Unspecified error)");
  Book()->AddChartSheet("Chart");
  EXPECT_EQ(Set("Chart", "A1", Variant::Double(1)), 1);
  EXPECT_EQ(MessageText(), "Could not set Chart.Cell[A1] (Chart is not a worksheet)");
  Variant small;
  small.vt = com::VT_I2;
  EXPECT_EQ(Set("Data", "A1", small), 1);
  EXPECT_EQ(MessageText().rfind("A VARIANT of type VT_I2 is not supported (", 0), 0u);

  // Last: a failed open leaves the handle without a workbook.
  const std::string notABook = folder_.File("text.xlsx");
  std::ofstream(notABook) << "not a workbook";
  EXPECT_EQ(driver::FnOpenFile(handle_, notABook.c_str(), message_), 1);
  EXPECT_EQ(MessageText().rfind("Failed to open " + notABook + " in Excel (", 0), 0u);
}

TEST_F(WorksheetFunctionTest, HandlesShareTheRegistryWithDriverInstancesBothWays) {
  const std::string held = MakeWorkbookFile("held.xlsx", {"Data"});
  const std::string mine = MakeWorkbookFile("mine.xlsx", {"Data"});
  automation::CExcServerObj instanceServer;  // what every driver instance's model embeds
  ASSERT_EQ(instanceServer.Open(held, {}, false, Msg()), 0);
  EXPECT_EQ(driver::FnOpenFile(handle_, held.c_str(), message_), 1);
  EXPECT_EQ(MessageText(), kAnotherInstance);
  ASSERT_EQ(driver::FnOpenFile(handle_, mine.c_str(), message_), 0);
  EXPECT_EQ(instanceServer.Open(mine, {}, false, Msg()), 1);
  EXPECT_EQ(MessageText(), kAnotherInstance);
  driver::FnDestroy(handle_);
  EXPECT_EQ(instanceServer.Open(mine, {}, false, Msg()), 0) << "a destroyed handle lets go";

  // A folder is no file to open, nor to hold.
  handle_ = driver::FnCreate();
  const FnSession other = driver::FnCreate();
  EXPECT_EQ(driver::FnOpenFile(handle_, folder_.path().c_str(), message_), 0) << message_;
  EXPECT_EQ(driver::FnOpenFile(other, folder_.path().c_str(), message_), 0) << message_;
  EXPECT_EQ(recorder_->CountOf("Workbooks.Open"), 3u) << "the two files only";
  driver::FnDestroy(other);
}

TEST(WorksheetFunctionOffset, StepsAddressesAndRefusesOverLongParts) {
  struct Case {
    const char* cell;
    int status;
    const char* result;
  } const cases[] = {
      {"$z$7", 0, "AC7"},       {"77", 0, ""},           {"B0", 0, ""}, {nullptr, 0, ""},
      {"ABCDEFGH1", 1, "kept"}, {"A12345678", 1, "kept"}};
  for (const Case& c : cases) {
    ExtString result{};
    ExtStringSet(&result, "kept");
    EXPECT_EQ(driver::FnOffsetCell(c.cell, &result, 3, 0), c.status) << c.result;
    EXPECT_STREQ(ExtStringText(&result), c.result);
    ExtStringFree(&result);
  }
  EXPECT_EQ(driver::FnOffsetCell("B7", nullptr, 1, 1), 1);
}

// Two threads on one handle, and a third destroying it under them: every
// call is answered (done, or refused as unknown), none is torn.
TEST_F(WorksheetFunctionTest, CallsOnOneHandleAreSerialisedAndDestroyWaitsForThem) {
  NewBookWithData();
  std::atomic<int> unexpected{0}, writing{0};
  auto writer = [&](char column) {
    char message[EXT_FN_MESSAGE_SIZE] = {};
    for (int i = 1; i <= 200; ++i) {
      const std::string cell = column + std::to_string(i);
      com::VARIANT value = Variant::Double(i).Detach();
      com::VARIANT out{};
      if (driver::FnSetCell(handle_, "Data", cell.c_str(), &value, message) != 0 &&
          std::string(message) != automation::kUnknownFunctionSessionMessage) {
        ++unexpected;
      }
      if (driver::FnGetCell(handle_, "Data", cell.c_str(), &out, message) == 0 &&
          Variant::Attach(out) != Variant::Double(i)) {
        ++unexpected;
      }
      if (i == 1) ++writing;
    }
  };
  std::thread a(writer, 'A'), b(writer, 'B');
  EXPECT_TRUE(test_support::WaitFor([&] { return writing == 2; }, 10)) << "the writers never ran";
  driver::FnDestroy(handle_);
  a.join();
  b.join();
  EXPECT_EQ(unexpected, 0);
  EXPECT_EQ(driver::FnNewFile(handle_, message_), 1);
  EXPECT_EQ(MessageText(), automation::kUnknownFunctionSessionMessage);
}

}  // namespace
