// Every way a published-variable operation fails: the result, the exact
// message, and what is left untouched.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "com/error.h"
#include "excel/errors.h"
#include "optimisation/published_ops.h"
#include "published_fixture.h"

namespace published_test {
namespace {

using com::Variant;
using ::testing::StartsWith;

std::string ComText(HRESULT hr) {
  return com::Error(hr).ErrorMessage();
}

class PublishedFailureTest : public PublishedTest {
 protected:
  void SetUp() override {
    PublishedTest::SetUp();
    optimisation::CExcExportedVariable& rate = AddVariable("Rate", "C2");
    rate.CascadeCell = "B10";
    AddVariable("Block", "A1", 2, 2);
    for (const char* cell : {"A1", "B1", "A2", "B2", "C2"})
      PutCell(cell, Variant::Double(1));
  }

  struct Row {
    const char* what;
    std::function<std::int32_t()> call;
    std::string message;
  };

  // Runs each row on a fresh status record with no faults left from the
  // row before; each must fail with result 1 and exactly its message.
  void Expect(const std::vector<Row>& rows) {
    for (const Row& row : rows) {
      recorder_->ClearFaults();
      ClearStatus();
      EXPECT_EQ(row.call(), 1) << row.what;
      EXPECT_EQ(StatusText(), row.message) << row.what;
    }
  }

  std::int32_t Get(std::int32_t handle) {
    PutRecord(handle, false, "before");
    return Eval();
  }
  std::int32_t Set(std::int32_t handle, const char* text) {
    PutRecord(handle, true, text);
    return Eval();
  }
  std::int32_t Get2(std::int32_t handle) {
    PutRecord2(handle, false, nullptr);
    return Eval2();
  }
  std::int32_t Set2(std::int32_t handle, const char* text) {
    PutRecord2(handle, true, text);
    return Eval2();
  }
  void FailRangeCall(std::size_t occurrence) {
    recorder_->FailCall("Range.Invoke", excel::kApplicationError, occurrence);
  }
};

TEST_F(PublishedFailureTest, BadHandles) {
  constexpr char kEval[] = "Bad handle passed to EvalPublishedVariables()";
  constexpr char kEval2[] = "Bad handle passed to EvalPublishedVariables2()";
  constexpr char kDel[] = "Bad handle passed to DelPublishedVariable()";
  Expect({
      {"get -1", [&] { return Get(-1); }, kEval},
      {"get past the end", [&] { return Get(2); }, kEval},
      {"set past the end", [&] { return Set(2, "1"); }, kEval},
      {"get2 -1", [&] { return Get2(-1); }, kEval2},
      {"set2 past the end", [&] { return Set2(2, "1"); }, kEval2},
      {"null record", [&] { return Table().EvalPublishedVariables(nullptr, Status()); }, kEval},
      {"null record 2", [&] { return Table().EvalPublishedVariables2(nullptr, Status()); }, kEval2},
      {"delete 2", [&] { return Table().DelPublishedVariable(2, Status()); }, kDel},
      {"delete -2", [&] { return Table().DelPublishedVariable(-2, Status()); }, kDel},
  });
  EXPECT_EQ(Variables().size(), 2u);
  EXPECT_TRUE(recorder_->Calls().empty()) << recorder_->Transcript();
}

TEST_F(PublishedFailureTest, SetsThatFail) {
  const std::string comText = ComText(excel::kApplicationError);
  Expect({
      {"no such worksheet",
       [&] {
         Variables().At(0)->worksheet = "Nope";
         const std::int32_t result = Set(0, "5");
         Variables().At(0)->worksheet = "Data";
         return result;
       },
       "Error in setting data for variable 'Rate' in Excel: Unable to get worksheet Nope (" +
           ComText(com::DISP_E_BADINDEX) + ")"},
      {"cell refused",
       [&] {
         FailRangeCall(1);
         return Set(0, "5");
       },
       "Error in setting data for variable 'Rate': (" + comText + ")"},
      {"block cell refused",
       [&] {
         FailRangeCall(2);
         return Set2(1, "5\t6");
       },
       "Error in setting data for variable 'Block': (" + comText + ")"},
      {"no value given", [&] { return Set2(0, nullptr); },
       "No value passed to EvalPublishedVariables2() for variable 'Rate'"},
  });

  // A failed cascade write leaves the variable's cell written.
  ClearStatus();
  model_->timestep = 1;
  FailRangeCall(2);
  EXPECT_EQ(Set(0, "9"), 1);
  EXPECT_EQ(StatusText(), "Error in setting data for variable 'Rate': (" + comText + ")");
  EXPECT_EQ(CellText("C2"), "9");
  EXPECT_EQ(CellText("B11"), "");
}

TEST_F(PublishedFailureTest, GetsThatFailHandOutNothing) {
  const std::string kRate = "Error in getting data for variable 'Rate'";
  const std::string kBlock = "Error in getting data for variable 'Block'";
  Expect({
      {"cell refused",
       [&] {
         FailRangeCall(1);
         return Get(0);
       },
       kRate},
      {"error value in the cell",
       [&] {
         PutCell("C2", Variant::ErrorValue(excel::kErrNA));
         const std::int32_t result = Get(0);
         PutCell("C2", Variant::Double(1));
         return result;
       },
       kRate},
      {"no such worksheet",
       [&] {
         Variables().At(0)->worksheet = "Nope";
         const std::int32_t result = Get(0);
         Variables().At(0)->worksheet = "Data";
         return result;
       },
       kRate},
      {"blank cell reference",
       [&] {
         Variables().At(0)->cell = " ";
         const std::int32_t result = Get(0);
         Variables().At(0)->cell = "C2";
         return result;
       },
       kRate},
      {"third cell of the block refused",
       [&] {
         FailRangeCall(3);
         return Get2(1);
       },
       kBlock},
  });
  EXPECT_EQ(ValueText(), "before") << "a failed get leaves the value field alone";
  EXPECT_EQ(Record2Text(), nullptr);
  EXPECT_EQ(model_->resultTextsIndex, 0) << "no result text was taken";
}

TEST_F(PublishedFailureTest, NoConnectionIsReportedNotDereferenced) {
  const std::string kNoConnection = model::kNoConnectionMessage;
  EXPECT_EQ(kNoConnection, "There is no connection to Excel");
  auto& variables = Variables();
  const auto sink = [](std::string_view) -> const char* { return "never"; };
  const char* text = "5";
  void* add[] = {nullptr, const_cast<char*>("Data"), const_cast<char*>("A1"),
                 const_cast<char*>("x"), nullptr};
  Expect({
      {"get",
       [&] {
         PutRecord(0, false);
         return optimisation::EvalPublishedVariables(variables, nullptr, 0, record_.bytes.data(),
                                                     Status());
       },
       kNoConnection},
      {"set",
       [&] {
         PutRecord(0, true, "5");
         return optimisation::EvalPublishedVariables(variables, nullptr, 0, record_.bytes.data(),
                                                     Status());
       },
       kNoConnection},
      {"get2",
       [&] {
         PutRecord2(1, false, nullptr);
         return optimisation::EvalPublishedVariables2(variables, nullptr, 0, sink,
                                                      record2_.bytes.data(), Status());
       },
       kNoConnection},
      {"set2",
       [&] {
         PutRecord2(0, true, text);
         return optimisation::EvalPublishedVariables2(variables, nullptr, 0, sink,
                                                      record2_.bytes.data(), Status());
       },
       kNoConnection},
      {"add", [&] { return optimisation::AddPublishedVariable(variables, nullptr, add, Status()); },
       kNoConnection},
  });
  // Without a connection a block is still known to be one.
  PutRecord(1, false);
  EXPECT_EQ(
      optimisation::EvalPublishedVariables(variables, nullptr, 0, record_.bytes.data(), Status()),
      EXT_RESULT_BLOCK_VARIABLE);
  EXPECT_EQ(Variables().size(), 2u);
}

TEST_F(PublishedFailureTest, AddsThatAreRefusedChangeNothing) {
  Expect({
      {"masking", [&] { return Add("Data", "A1", "x", true); },
       "Equipment masking/disabling is not possible with the Excel link"},
      {"worksheet case", [&] { return Add("data", "A1", "x"); }, "Worksheet 'data' is not valid"},
      {"unknown worksheet", [&] { return Add("Sheet2", "A1", "x"); },
       "Worksheet 'Sheet2' is not valid"},
      {"no worksheet", [&] { return Add(nullptr, "A1", "x"); },
       "No worksheet name passed to AddPublishedVariable()"},
      {"no cell", [&] { return Add("Data", nullptr, "x"); },
       "No cell passed to AddPublishedVariable()"},
      {"no name", [&] { return Add("Data", "A1", nullptr); },
       "No variable name passed to AddPublishedVariable()"},
      {"no record", [&] { return Table().AddPublishedVariable(nullptr, Status()); },
       "No record passed to AddPublishedVariable()"},
      {"sheet names unavailable",
       [&] {
         recorder_->FailCall("Workbook.GetSheets", excel::kApplicationError);
         return Add("Data", "A1", "x");
       },
       "Failed to get sheet names for workbook in Excel (" + ComText(excel::kApplicationError) +
           ")"},
  });
  // The sheet names of a workbook are compared exactly: Sheet1 is there.
  ClearStatus();
  EXPECT_EQ(Add("sheet1", "A1", "x"), 1);
  EXPECT_EQ(StatusText(), "Worksheet 'sheet1' is not valid");

  Session()->CloseWorkbook();
  ClearStatus();
  EXPECT_EQ(Add("Data", "A1", "x"), 1);
  EXPECT_EQ(StatusText(), "No valid workbook");

  EXPECT_EQ(Variables().size(), 2u);
  EXPECT_EQ(AddedHandle(), 0x11111111) << "no handle is handed out for a refused add";
}

}  // namespace
}  // namespace published_test
