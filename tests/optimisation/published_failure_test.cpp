// Every way a published-variable operation fails: the result, the exact
// message, and what is left untouched.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "com/error.h"
#include "excel/errors.h"
#include "items_fixture.h"

namespace optimisation_test {
namespace {

std::string ComText(HRESULT hr) {
  return com::Error(hr).ErrorMessage();
}

class PublishedFailureTest : public ItemsTest {
 protected:
  void SetUp() override {
    ItemsTest::SetUp();
    AddVariable("Rate", "C2").CascadeCell = "B10";
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

  // Runs `call` with the first variable's worksheet or cell changed for it.
  std::int32_t With(std::string optimisation::CExcExportedVariable::*field, const char* value,
                    const std::function<std::int32_t()>& call) {
    auto& variable = *model_->publishedVariables.At(0);
    const std::string kept = variable.*field;
    variable.*field = value;
    const std::int32_t result = call();
    variable.*field = kept;
    return result;
  }
  std::function<std::int32_t()> FailingRangeCall(std::size_t occurrence,
                                                 std::function<std::int32_t()> call) {
    return [this, occurrence, call] {
      recorder_->FailCall("Range.Invoke", excel::kApplicationError, occurrence);
      return call();
    };
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
      {"get2 -1", [&] { return Eval2(-1, false); }, kEval2},
      {"set2 past the end", [&] { return Eval2(2, true, "1"); }, kEval2},
      {"null record", [&] { return Table().EvalPublishedVariables(nullptr, Status()); }, kEval},
      {"null record 2", [&] { return Table().EvalPublishedVariables2(nullptr, Status()); }, kEval2},
      {"delete 2", [&] { return Table().DelPublishedVariable(2, Status()); }, kDel},
      {"delete -2", [&] { return Table().DelPublishedVariable(-2, Status()); }, kDel},
  });
  EXPECT_EQ(model_->publishedVariables.size(), 2u);
  EXPECT_TRUE(recorder_->Calls().empty()) << recorder_->Transcript();
}

TEST_F(PublishedFailureTest, SetsThatFail) {
  const std::string refused =
      "Error in setting data for variable 'Rate': (" + ComText(excel::kApplicationError) + ")";
  using Variable = optimisation::CExcExportedVariable;
  Expect({
      {"no such worksheet",
       [&] { return With(&Variable::worksheet, "Nope", [&] { return Set(0, "5"); }); },
       "Error in setting data for variable 'Rate' in Excel: Unable to get worksheet Nope (" +
           ComText(com::DISP_E_BADINDEX) + ")"},
      {"cell refused", FailingRangeCall(1, [&] { return Set(0, "5"); }), refused},
      {"block cell refused", FailingRangeCall(2, [&] { return Eval2(1, true, "5\t6"); }),
       "Error in setting data for variable 'Block': (" + ComText(excel::kApplicationError) + ")"},
      {"no value given", [&] { return Eval2(0, true, nullptr); },
       "No value passed to EvalPublishedVariables2() for variable 'Rate'"},
  });

  // A failed cascade write leaves the variable's cell written.
  model_->timestep = 1;
  Expect({{"cascade refused", FailingRangeCall(2, [&] { return Set(0, "9"); }), refused}});
  EXPECT_EQ(CellText("C2"), "9");
  EXPECT_EQ(CellText("B11"), "");
}

TEST_F(PublishedFailureTest, GetsThatFailHandOutNothing) {
  const std::string rate = "Error in getting data for variable 'Rate'";
  using Variable = optimisation::CExcExportedVariable;
  const auto get = [&] { return Get(0); };
  Expect({
      {"cell refused", FailingRangeCall(1, get), rate},
      {"no such worksheet", [&] { return With(&Variable::worksheet, "Nope", get); }, rate},
      {"blank cell reference", [&] { return With(&Variable::cell, " ", get); }, rate},
      {"error value in the cell",
       [&] {
         PutCell("C2", Variant::ErrorValue(excel::kErrNA));
         return Get(0);
       },
       rate},
      {"third cell of the block refused", FailingRangeCall(3, [&] { return Eval2(1, false); }),
       "Error in getting data for variable 'Block'"},
  });
  EXPECT_EQ(ValueText(), "before") << "a failed get leaves the value field alone";
  EXPECT_EQ(Record2Text(), nullptr);
  EXPECT_EQ(model_->resultTextsIndex, 0) << "no result text was taken";
}

TEST_F(PublishedFailureTest, NoConnectionIsReportedNotDereferenced) {
  ASSERT_EQ(model_->StopApplication(), 0);
  ASSERT_EQ(model_->Session(), nullptr);
  const std::string noConnection = "There is no connection to Excel";
  Expect({
      {"get", [&] { return Get(0); }, noConnection},
      {"set", [&] { return Set(0, "5"); }, noConnection},
      {"get2", [&] { return Eval2(1, false); }, noConnection},
      {"set2", [&] { return Eval2(0, true, "5"); }, noConnection},
      {"add", [&] { return Add("Data", "A1", "x"); }, noConnection},
  });
  EXPECT_EQ(Get(1), EXT_RESULT_BLOCK_VARIABLE) << "a block is known without a connection";
  EXPECT_EQ(model_->publishedVariables.size(), 2u);
}

TEST_F(PublishedFailureTest, AddsThatAreRefusedChangeNothing) {
  Expect({
      {"masking", [&] { return Add("Data", "A1", "x", true); },
       "Equipment masking/disabling is not possible with the Excel link"},
      {"worksheet case", [&] { return Add("sheet1", "A1", "x"); },
       "Worksheet 'sheet1' is not valid"},
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
      {"no workbook",
       [&] {
         model_->Session()->CloseWorkbook();
         return Add("Data", "A1", "x");
       },
       "No valid workbook"},
  });
  EXPECT_EQ(model_->publishedVariables.size(), 2u);
  EXPECT_EQ(Read<std::int32_t>(add_.bytes, EXT_ADD_PUBVAR_HANDLE_OFFSET), 0x11111111)
      << "no handle is handed out for a refused add";
}

}  // namespace
}  // namespace optimisation_test
