// Published variables: single cells, the cascade over time steps, blocks
// with their delimiters, the list itself and every way an operation fails.
#include <gtest/gtest.h>

#include <clocale>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "com/error_text.h"
#include "excel/errors.h"
#include "gridmoor/host.h"
#include "items_fixture.h"
#include "model/scripted_dialogs.h"
#include "optimisation/published_ops.h"
#include "support/cell_texts.h"
#include "support/guarded_buffer.h"

namespace optimisation_test {
namespace {

using casedata::CExcExportedVariable;
using Strings = std::vector<std::string>;

using PublishedTest = ItemsTest;

TEST_F(PublishedTest, AGetPrintsTheCellAsPercentGInTheCLocaleWhateverTheProcessLocale) {
  AddVariable("Rate", "C2");
  const std::pair<double, const char*> rows[] = {
      {3.14159265, "3.14159"}, {1234567, "1.23457e+06"}, {-0.00012345678, "-0.000123457"}};
  const std::string previous = std::setlocale(LC_ALL, nullptr);
  for (const char* locale : {"C", "de_DE.UTF-8"}) {
    ASSERT_NE(std::setlocale(LC_ALL, locale), nullptr) << "scripts/install-deps makes it";
    for (const auto& [value, text] : rows) {
      PutCell("C2", Variant::Double(value));
      EXPECT_EQ(Get(0), 0) << StatusText();
      EXPECT_EQ(ValueText(), text) << locale << " " << value;
    }
  }
  std::setlocale(LC_ALL, previous.c_str());
}

// A variable on a label or an empty cell fails its get naming the sheet and
// cell, never "0"; a block says so for its first cell holding text (an empty
// cell in a block is a gap). Cell by cell agrees: the block differential.
TEST_F(PublishedTest, AGetOfACellThatIsNotWhollyANumberFailsNamingIt) {
  AddVariable("Rate", "C2").worksheet = "Data";
  AddVariable("Row", "A5", 3, 1).worksheet = "Data";
  PutCell("A5", Variant::Double(1));
  PutCell("C5", Variant::Text("abc"));
  for (const auto& [text, number] : test_support::kCellTexts) {
    SCOPED_TRACE(std::string("\"") + text + "\"");
    const Variant value = *text == '\0' ? Variant() : Variant::Text(text);
    PutCell("C2", value);
    PutCell("B5", value);
    const auto why = [](const char* cell, const char* held) {
      return *held == '\0' ? std::string("Type mismatch. Data!") + cell + " is empty"
                           : std::string("Type mismatch. Data!") + cell + " holds \"" + held +
                                 "\", not a number";
    };
    EXPECT_EQ(Get(0), number ? 0 : 1);
    EXPECT_EQ(StatusText(),
              number ? "" : "Error in getting data for variable 'Rate': " + why("C2", text));
    if (number) {
      EXPECT_EQ(ValueText(), optimisation::FormatPublishedValue(*number));
    }
    EXPECT_EQ(Eval2(1, false), 1) << "C5 is never a number";
    EXPECT_EQ(StatusText(), "Error in getting data for variable 'Row': " +
                                (number || *text == '\0' ? why("C5", "abc") : why("B5", text)));
  }
  PutCell("C5", Variant::Double(2));
  ASSERT_EQ(Eval2(1, false), 0) << StatusText();
  EXPECT_STREQ(Record2Text(), "1\t7\t2") << "the last text of the table";
}

// Empty cells of a block (a cascade's rows not yet filled, a forecast with
// gaps) read as the host's missing value; a block of gaps alone is no failure.
TEST_F(PublishedTest, EmptyCellsOfABlockReadAsTheMissingValue) {
  AddVariable("Log", "A1", 3, 2).worksheet = "Data";
  const std::tuple<const char*, std::vector<std::pair<const char*, double>>, const char*> rows[] = {
      {"gaps", {{"B1", -4.5}, {"A2", 0}}, "3.4e+35\t-4.5\t3.4e+35\n0\t3.4e+35\t3.4e+35"},
      {"all empty", {}, "3.4e+35\t3.4e+35\t3.4e+35\n3.4e+35\t3.4e+35\t3.4e+35"}};
  for (const auto& [what, cells, expected] : rows) {
    SCOPED_TRACE(what);
    for (const char* cell : {"A1", "B1", "C1", "A2", "B2", "C2"})
      PutCell(cell, Variant());
    for (const auto& [cell, value] : cells)
      PutCell(cell, Variant::Double(value));
    ASSERT_EQ(Eval2(0, false), 0) << StatusText();
    EXPECT_STREQ(Record2Text(), expected);
  }
}

TEST_F(PublishedTest, BlocksAreToldApartAndTheirRegionsClampedBeforeAnyRead) {
  AddVariable("Block", "A1", 2, 1);
  AddVariable("Column", "A1", 1, 3);
  for (std::int32_t handle : {0, 1}) {
    EXPECT_EQ(Get(handle), casedata::kBlockVariableResult);
    EXPECT_EQ(ValueText(), "before");
  }
  EXPECT_EQ(StatusText(), "");
  EXPECT_TRUE(recorder_->Calls().empty()) << recorder_->Transcript();

  PutCell("B2", Variant::Double(1));
  AddVariable("Zero", "B2", 0, -7);  // zero and negative sizes count as 1
  EXPECT_EQ(Get(2), 0) << StatusText();
  EXPECT_EQ(ValueText(), "1");
  EXPECT_EQ(RangesAsked(), (Strings{"B2"}));
}

TEST_F(PublishedTest, ASetWritesTheCellAndTheCascadeCellOfTheTimeStep) {
  // The cascade cell, its direction, the time step and the cells written, in order.
  const std::tuple<const char*, std::uint32_t, std::uint32_t, Strings> rows[] = {
      {"B10", casedata::kVertical, 3, {"C2", "B13"}},
      {"B10", 7, 3, {"C2", "E10"}},                     // every direction but 0 steps by column
      {"2:10", casedata::kVertical, 2, {"C2", "B12"}},  // column:row pair
      {"   ", casedata::kHorizontal, 3, {"C2"}}};
  CExcExportedVariable& variable = AddVariable("Rate", "C2");
  for (bool second : {false, true}) {  // both records set the same way
    for (const auto& [cascade, direction, timestep, cells] : rows) {
      SCOPED_TRACE(std::string(cascade) + " " + std::to_string(direction));
      variable.CascadeCell = cascade;
      variable.CascadeDirection = direction;
      model_->timestep = timestep;
      recorder_->Clear();
      EXPECT_EQ(second ? Eval2(0, true, "7") : Set(0, "7"), 0) << StatusText();
      EXPECT_EQ(RangesAsked(), cells);
      for (const std::string& cell : cells)
        EXPECT_EQ(CellText(cell), "7") << cell;
    }
  }
  EXPECT_EQ(CellText("C2", "Sheet1"), "") << "the variable's worksheet was selected";
}

TEST_F(PublishedTest, ABlockIsReadRowByRowWithItsDelimiters) {
  const test_support::CellByCell cellByCell;
  const std::pair<const char*, double> cells[] = {{"A1", 1}, {"B1", 2}, {"A2", 3}, {"B2", 4.25}};
  for (const auto& [cell, value] : cells)
    PutCell(cell, Variant::Double(value));
  // Column and row delimiters, and the text; a single space is blank: the defaults.
  const std::tuple<const char*, const char*, const char*> rows[] = {
      {" ", "   ", "1\t2\n3\t4.25"}, {";", "|", "1;2|3;4.25"}, {", ", "\r\n", "1, 2\r\n3, 4.25"}};
  CExcExportedVariable& block = AddVariable("Block", "A1", 2, 2);
  for (const auto& [column, row, text] : rows) {
    block.ColumnDelimiter = column;
    block.RowDelimiter = row;
    ASSERT_EQ(Eval2(0, false), 0) << StatusText();
    EXPECT_STREQ(Record2Text(), text);
  }

  // A block given as a column:row pair starts at that cell.
  block.cell = "1:2";
  block.RegionHeight = 1;
  recorder_->Clear();
  ASSERT_EQ(Eval2(0, false), 0) << StatusText();
  EXPECT_STREQ(Record2Text(), "3, 4.25");
  EXPECT_EQ(RangesAsked(), (Strings{"A2", "B2"}));
}

TEST_F(PublishedTest, ASetBlockTextWritesOneCellPerValueAndNoCascade) {
  const test_support::CellByCell cellByCell;
  const std::pair<const char*, Strings> rows[] = {
      {"1\t2\n3\t4\n", {"C2", "D2", "C3", "D3"}},  // no extra row
      {"1\t2\t \n3", {"C2", "D2", "C3"}},          // a blank last value is dropped
      {"x\n\ny", {"C2", "C4"}},
      {"1\t\t3", {"C2", "D2", "E2"}}};
  CExcExportedVariable& variable = AddVariable("Block", "C2");
  variable.CascadeCell = "B10";
  model_->timestep = 2;
  PutCell("D2", Variant::Text("old"));
  for (const auto& [text, cells] : rows) {
    recorder_->Clear();
    ASSERT_EQ(Eval2(0, true, text), 0) << StatusText();
    EXPECT_EQ(RangesAsked(), cells) << text;
  }
  EXPECT_EQ(CellText("B12"), "") << "no cascade for a block";
  EXPECT_EQ(Cell("C2").vt, com::VT_R8) << "written as if typed";
  EXPECT_EQ(CellText("C2"), "1");
  EXPECT_TRUE(Cell("D2").IsEmpty()) << "an empty value clears its cell";
  EXPECT_EQ(CellText("E2"), "3");
}

TEST_F(PublishedTest, AddingAndDeletingKeepHandlesAsPositions) {
  AddVariable("First", "A1");
  for (std::int32_t handle : {1, 2}) {
    ASSERT_EQ(Add(handle == 1 ? "Sheet1" : "Data", "B7", "Added"), 0) << StatusText();
    EXPECT_EQ(addedHandle_, handle);
  }
  CExcExportedVariable expected;
  std::tie(expected.name, expected.worksheet, expected.cell) = std::tuple("Added", "Sheet1", "B7");
  ASSERT_EQ(model_->publishedVariables.size(), 3u);
  EXPECT_TRUE(*model_->publishedVariables.At(1) == expected) << "the defaults, no unit";
  PutCell("B7", Variant::Double(42));
  EXPECT_EQ(Get(2), 0) << "served at once: " << StatusText();
  EXPECT_EQ(ValueText(), "42");

  const auto names = [&] {
    Strings names;
    for (std::size_t i = 0; i < model_->publishedVariables.size(); ++i)
      names.push_back(model_->publishedVariables.At(i)->name);
    return names;
  };
  const std::pair<std::int32_t, Strings> rows[] = {{0, {"b", "c"}}, {2, {"a", "b"}}, {-1, {}}};
  for (const auto& [handle, left] : rows) {
    model_->publishedVariables.Clear();
    for (const char* name : {"a", "b", "c"})
      AddVariable(name, "A1");
    EXPECT_EQ(Answer(Table().DelPublishedVariable(handle)), 0);
    EXPECT_EQ(names(), left) << handle;
  }
  EXPECT_EQ(Answer(Table().DelPublishedVariable(-1)), 0) << "clearing an empty list is fine";
  EXPECT_EQ(StatusText(), "");
}

// The dialog rebuilds the list itself; the host learns only whether it did.
TEST_F(PublishedTest, TheEditingDialogAnswersWhetherTheUserConfirmed) {
  auto dialogs = std::make_shared<test_support::ScriptedDialogs>();
  const test_support::ScopedDialogs installed(dialogs);
  const auto window = reinterpret_cast<ExtWindow>(0x1234);
  EXPECT_FALSE(Table().EditPublishedVariables(window));
  ASSERT_EQ(dialogs->Calls().size(), 1u);
  EXPECT_EQ(std::tie(dialogs->Calls()[0].dialog, dialogs->Calls()[0].parent),
            std::tuple("EditPublishedVariables", window));
  const auto Refused = [&] { return Answer(Table().EditPublishedVariables(window)); };
  dialogs->OnEditPublishedVariables([](model::CExcModel&) { return model::DialogResult::kCancel; });
  EXPECT_EQ((std::tuple{Refused(), StatusText()}), std::tuple(1, ""));
  const test_support::ScopedDialogs library(nullptr);  // the library's own end as cancelled
  EXPECT_EQ((std::tuple{Refused(), StatusText()}), std::tuple(1, ""));
}

class PublishedFailureTest : public ItemsTest {
 protected:
  const test_support::CellByCell cellByCell_{};
  void SetUp() override {
    ItemsTest::SetUp();
    AddVariable("Rate", "C2").CascadeCell = "B10";
    AddVariable("Block", "A1", 2, 2);
    AddVariable("Rate", "C2").worksheet = "Nope";
    AddVariable("Rate", " ");
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
      EXPECT_EQ(row.call(), 1) << row.what;
      EXPECT_EQ(StatusText(), row.message) << row.what;
    }
  }

  std::function<std::int32_t()> FailingRangeCall(std::size_t occurrence,
                                                 std::function<std::int32_t()> call) {
    return [this, occurrence, call] {
      recorder_->FailCall("Range.Invoke", excel::kApplicationError, occurrence);
      return call();
    };
  }
};

TEST_F(PublishedFailureTest, BadHandlesAndRefusedAddsChangeNothing) {
  constexpr char kEval[] = "Bad handle passed to EvalPublishedVariables()";
  constexpr char kEval2[] = "Bad handle passed to EvalPublishedVariables2()";
  constexpr char kDel[] = "Bad handle passed to DelPublishedVariable()";
  Expect({{"get -1", [&] { return Get(-1); }, kEval},
          {"set past the end", [&] { return Set(4, "1"); }, kEval},
          {"get2 -1", [&] { return Eval2(-1, false); }, kEval2},
          {"set2 past the end", [&] { return Eval2(4, true, "1"); }, kEval2},
          {"delete 4", [&] { return Answer(Table().DelPublishedVariable(4)); }, kDel},
          {"delete -2", [&] { return Answer(Table().DelPublishedVariable(-2)); }, kDel}});
  EXPECT_TRUE(recorder_->Calls().empty()) << recorder_->Transcript();
  // The texts an add lacks, and masking, are the driver's edge test.
  Expect({{"worksheet case", [&] { return Add("sheet1", "A1", "x"); },
           "Worksheet 'sheet1' is not valid"},
          {"unknown worksheet", [&] { return Add("Sheet2", "A1", "x"); },
           "Worksheet 'Sheet2' is not valid"},
          {"sheet names unavailable",
           [&] {
             recorder_->FailCall("Workbook.GetSheets", excel::kApplicationError);
             return Add("Data", "A1", "x");
           },
           "Failed to get sheet names for workbook in Excel (" +
               com::ComErrorText(excel::kApplicationError) + ")"},
          {"no workbook",
           [&] {
             model_->Session()->CloseWorkbook();
             return Add("Data", "A1", "x");
           },
           "No valid workbook"}});
  EXPECT_EQ(model_->publishedVariables.size(), 4u);
  EXPECT_FALSE(addedHandle_) << "no handle is handed out for a refused add";
}

TEST_F(PublishedFailureTest, SetsAndGetsThatFail) {
  const std::string refused = "Error in setting data for variable 'Rate': (" +
                              com::ComErrorText(excel::kApplicationError) + ")";
  const std::string rate = "Error in getting data for variable 'Rate'";
  Expect(
      {{"no such worksheet", [&] { return Set(2, "5"); },
        "Error in setting data for variable 'Rate' in Excel: Unable to get worksheet Nope (" +
            com::ComErrorText(com::DISP_E_BADINDEX) + ")"},
       {"cell refused", FailingRangeCall(1, [&] { return Set(0, "5"); }), refused},
       {"block cell refused", FailingRangeCall(2, [&] { return Eval2(1, true, "5\t6"); }),
        "Error in setting data for variable 'Block': (" +
            com::ComErrorText(excel::kApplicationError) + ")"},
       {"no value given", [&] { return Eval2(0, true, nullptr); },
        "No value passed to EvalPublishedVariables2() for variable 'Rate'"},
       // A read that fails carries the application's reason.
       {"get: cell refused", FailingRangeCall(1, [&] { return Get(0); }),
        rate + ": " + com::ComErrorText(excel::kApplicationError)},
       {"get: no such worksheet", [&] { return Get(2); },
        rate + ": Unable to get worksheet Nope (" + com::ComErrorText(com::DISP_E_BADINDEX) + ")"},
       {"get: blank cell reference", [&] { return Get(3); }, rate},
       {"get: third cell of the block refused",
        FailingRangeCall(3, [&] { return Eval2(1, false); }),
        "Error in getting data for variable 'Block': " +
            com::ComErrorText(excel::kApplicationError)}});
  EXPECT_EQ(ValueText(), "before") << "a failed get leaves the value field alone";
  EXPECT_EQ(Record2Text(), nullptr);
  EXPECT_EQ(model_->resultTextsIndex, 0) << "no result text was taken";

  // A failed cascade write leaves the variable's cell written.
  model_->timestep = 1;
  Expect({{"cascade refused", FailingRangeCall(2, [&] { return Set(0, "9"); }), refused}});
  EXPECT_EQ(CellText("C2"), "9");
  EXPECT_EQ(CellText("B11"), "");
}

TEST_F(PublishedFailureTest, NoConnectionIsReportedNotDereferenced) {
  ASSERT_EQ(model_->StopApplication(), 0);
  ASSERT_EQ(model_->Session(), nullptr);
  const std::string noConnection = "There is no connection to Excel";
  Expect({{"get", [&] { return Get(0); }, noConnection},
          {"set", [&] { return Set(0, "5"); }, noConnection},
          {"get2", [&] { return Eval2(1, false); }, noConnection},
          {"set2", [&] { return Eval2(0, true, "5"); }, noConnection},
          {"add", [&] { return Add("Data", "A1", "x"); }, noConnection}});
  EXPECT_EQ(Get(1), casedata::kBlockVariableResult) << "a block is known without a connection";
  EXPECT_EQ(model_->publishedVariables.size(), 4u);
}

}  // namespace
}  // namespace optimisation_test
