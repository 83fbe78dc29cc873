// Reading and setting published variables: single cells, the cascade over
// time steps, blocks with their delimiters, and the ten result texts that
// block reads hand to the host.
#include <gtest/gtest.h>

#include <clocale>
#include <cstdio>
#include <string>
#include <vector>

#include "optimisation/published_ops.h"
#include "published_fixture.h"

namespace published_test {
namespace {

using com::Variant;

// Switches the whole C locale for the object's lifetime; `active` says
// whether the system has it.
class ScopedLocale {
 public:
  explicit ScopedLocale(const char* name) : previous_(std::setlocale(LC_ALL, nullptr)) {
    active = std::setlocale(LC_ALL, name) != nullptr;
  }
  ~ScopedLocale() { std::setlocale(LC_ALL, previous_.c_str()); }
  bool active = false;

 private:
  std::string previous_;
};

TEST_F(PublishedTest, AGetPrintsTheCellAsPercentGInTheCLocaleWhateverTheProcessLocale) {
  AddVariable("Rate", "C2");
  const struct {
    double value;
    const char* text;
  } rows[] = {{3.14159265, "3.14159"},
              {100000, "100000"},
              {1234567, "1.23457e+06"},
              {1e20, "1e+20"},
              {-0.00012345678, "-0.000123457"},
              {0, "0"},
              {2.5, "2.5"}};
  for (const char* locale : {"C", "de_DE.UTF-8"}) {
    const ScopedLocale scoped(locale);
    if (!scoped.active) continue;
    char plain[32];
    std::snprintf(plain, sizeof plain, "%g", 2.5);
    // Under a decimal-comma locale the C library's own %g would print 2,5.
    if (std::string(locale) != "C") {
      EXPECT_STREQ(plain, "2,5");
    }
    for (const auto& row : rows) {
      PutCell("C2", Variant::Double(row.value));
      PutRecord(0, false, "old value");
      EXPECT_EQ(Eval(), 0) << StatusText();
      EXPECT_EQ(ValueText(), row.text) << locale << " " << row.value;
      EXPECT_EQ(RecordHandle(), 0);
      EXPECT_EQ(RecordFlag(), 0);
    }
  }
  EXPECT_EQ(StatusText(), "");
}

TEST_F(PublishedTest, ABlockAskedThroughTheFixedRecordGivesMinus100AndNothingElse) {
  AddVariable("Block", "A1", 2, 1);
  AddVariable("Column", "A1", 1, 3);
  for (std::int32_t handle : {0, 1}) {
    PutRecord(handle, false, "untouched");
    EXPECT_EQ(Eval(), EXT_RESULT_BLOCK_VARIABLE);
    EXPECT_EQ(ValueText(), "untouched");
  }
  EXPECT_EQ(StatusText(), "");
  EXPECT_TRUE(recorder_->Calls().empty()) << recorder_->Transcript();
}

TEST_F(PublishedTest, RegionsOutsideOneToTenThousandAreClampedBeforeAnyRead) {
  PutCell("B2", Variant::Double(1));
  PutCell("B3", Variant::Double(3));
  // Zero and negative sizes count as 1: a single cell, read as such.
  AddVariable("Zero", "B2", 0, -7);
  PutRecord(0, false);
  EXPECT_EQ(Eval(), 0) << StatusText();
  EXPECT_EQ(ValueText(), "1");

  AddVariable("Narrow", "B2", -3, 2);
  PutRecord2(1, false, nullptr);
  ASSERT_EQ(Eval2(), 0) << StatusText();
  EXPECT_STREQ(Record2Text(), "1\n3");
  EXPECT_EQ(RangesAsked(), (std::vector<std::string>{"B2", "B2", "B3"}));

  optimisation::CExcExportedVariable huge;
  huge.RegionWidth = 50000;
  huge.RegionHeight = INT32_MIN;
  EXPECT_EQ(huge.Width(), 10000);
  EXPECT_EQ(huge.Height(), 1);
  EXPECT_TRUE(huge.IsBlock());
}

TEST_F(PublishedTest, ASetWritesTheCellAndTheCascadeCellOfTheTimeStep) {
  const struct {
    const char* cascade;
    std::uint32_t direction;
    std::uint32_t timestep;
    std::vector<std::string> cells;  // written, in order
  } rows[] = {
      {"B10", optimisation::kVertical, 3, {"C2", "B13"}},
      {"B10", optimisation::kHorizontal, 3, {"C2", "E10"}},
      {"B10", 7, 3, {"C2", "E10"}},  // every direction but 0 steps by column
      {"B10", optimisation::kVertical, 0, {"C2", "B10"}},
      {"2:10", optimisation::kVertical, 2, {"C2", "B12"}},  // column:row pair
      {"", optimisation::kVertical, 3, {"C2"}},
      {"   ", optimisation::kHorizontal, 3, {"C2"}},
  };
  optimisation::CExcExportedVariable& variable = AddVariable("Rate", "C2");
  // Both records set the same way.
  for (bool second : {false, true}) {
    for (const auto& row : rows) {
      variable.CascadeCell = row.cascade;
      variable.CascadeDirection = row.direction;
      model_->timestep = row.timestep;
      recorder_->Clear();
      std::int32_t result;
      if (second) {
        PutRecord2(0, true, "7");
        result = Eval2();
      } else {
        PutRecord(0, true, "7");
        result = Eval();
      }
      EXPECT_EQ(result, 0) << StatusText();
      EXPECT_EQ(RangesAsked(), row.cells) << row.cascade << " " << row.direction;
      for (const std::string& cell : row.cells)
        EXPECT_EQ(CellText(cell), "7") << cell;
    }
  }
  EXPECT_EQ(StatusText(), "");
  EXPECT_EQ(CellText("C2", "Sheet1"), "") << "the variable's worksheet was selected";
}

TEST_F(PublishedTest, TheCascadeKeepsOneValuePerTimeStepOfARun) {
  optimisation::CExcExportedVariable& variable = AddVariable("Rate", "C2");
  variable.CascadeCell = "$b$10";
  const std::vector<std::string> values = {"10", "11.5", "12", "13"};
  for (const std::string& value : values) {
    PutRecord(0, true, value);
    ASSERT_EQ(Eval(), 0) << StatusText();
    ASSERT_EQ(Table().OnNextTimestep(nullptr, Status()), 0);
  }
  EXPECT_EQ(CellText("C2"), "13");
  for (std::size_t t = 0; t < values.size(); ++t)
    EXPECT_EQ(CellText("B" + std::to_string(10 + t)), values[t]);
  EXPECT_EQ(CellText("B14"), "");
}

TEST_F(PublishedTest, TheSetTextIsReadWithinItsSixtyFourBytesTerminatedOrNot) {
  AddVariable("Label", "A1");
  const std::string full(EXT_PUBVAR_TEXT_SIZE, 'x');
  PutRecord(0, true, full);
  // What follows the field must not become part of the value.
  std::memset(record_.bytes.data() + EXT_PUBVAR_UNIT_OFFSET, 'Z', EXT_PUBVAR_UNIT_SIZE);
  ASSERT_EQ(Eval(), 0) << StatusText();
  EXPECT_EQ(CellText("A1"), full);

  PutRecord(0, true, "short");
  ASSERT_EQ(Eval(), 0) << StatusText();
  EXPECT_EQ(CellText("A1"), "short");
}

TEST_F(PublishedTest, ABlockIsReadRowByRowWithItsDelimiters) {
  PutCell("A1", Variant::Double(1));
  PutCell("B1", Variant::Double(2));
  PutCell("A2", Variant::Double(3));
  PutCell("B2", Variant::Double(4.25));
  const struct {
    const char* column;
    const char* row;
    const char* text;
  } rows[] = {
      {"", "", "1\t2\n3\t4.25"},
      {" ", "   ", "1\t2\n3\t4.25"},  // a single space is blank: the defaults
      {";", "|", "1;2|3;4.25"},
      {", ", "\r\n", "1, 2\r\n3, 4.25"},
  };
  optimisation::CExcExportedVariable& block = AddVariable("Block", "A1", 2, 2);
  for (const auto& row : rows) {
    block.ColumnDelimiter = row.column;
    block.RowDelimiter = row.row;
    PutRecord2(0, false, nullptr);
    ASSERT_EQ(Eval2(), 0) << StatusText();
    EXPECT_STREQ(Record2Text(), row.text);
  }
  EXPECT_EQ(StatusText(), "");

  // A block given as a column:row pair starts at that cell.
  block.cell = "1:2";
  block.RegionHeight = 1;
  block.ColumnDelimiter.clear();
  recorder_->Clear();
  PutRecord2(0, false, nullptr);
  ASSERT_EQ(Eval2(), 0) << StatusText();
  EXPECT_STREQ(Record2Text(), "3\t4.25");
  EXPECT_EQ(RangesAsked(), (std::vector<std::string>{"A2", "B2"}));
}

TEST_F(PublishedTest, ASetBlockTextWritesOneCellPerValueAndNoCascade) {
  const struct {
    const char* text;
    std::vector<std::string> cells;
  } rows[] = {
      {"1\t\t3", {"C2", "D2", "E2"}},
      {"1\t2\n3\t4\n", {"C2", "D2", "C3", "D3"}},  // no extra row
      {"1\t2\t \n3", {"C2", "D2", "C3"}},          // a blank last value is dropped
      {"\t5", {"C2", "D2"}},
      {"x\n\ny", {"C2", "C4"}},
  };
  optimisation::CExcExportedVariable& variable = AddVariable("Block", "C2");
  variable.CascadeCell = "B10";
  model_->timestep = 2;
  for (const auto& row : rows) {
    recorder_->Clear();
    PutRecord2(0, true, row.text);
    ASSERT_EQ(Eval2(), 0) << StatusText();
    EXPECT_EQ(RangesAsked(), row.cells) << row.text;
  }
  EXPECT_EQ(CellText("B12"), "") << "no cascade for a block";

  PutCell("D2", Variant::Text("old"));
  PutRecord2(0, true, "1\t\t3");
  ASSERT_EQ(Eval2(), 0) << StatusText();
  EXPECT_EQ(Cell("C2").vt, VT_R8);
  EXPECT_EQ(CellText("C2"), "1");
  EXPECT_TRUE(Cell("D2").IsEmpty()) << "an empty value clears its cell";
  EXPECT_EQ(CellText("E2"), "3");
}

TEST_F(PublishedTest, AHandedOutTextStaysValidUntilTenFurtherReads) {
  AddVariable("Pair", "A1", 2, 1);
  std::vector<const char*> handedOut;
  for (int i = 0; i < 11; ++i) {
    PutCell("A1", Variant::Double(i));
    PutCell("B1", Variant::Double(-i));
    PutRecord2(0, false, nullptr);
    ASSERT_EQ(Eval2(), 0) << StatusText();
    handedOut.push_back(Record2Text());
    if (i == 9) {
      // All ten are alive and hold their own reads (ASan checks the reads).
      for (int j = 0; j < 10; ++j)
        EXPECT_EQ(std::string(handedOut[j]), std::to_string(j) + "\t" + std::to_string(-j));
    }
  }
  EXPECT_EQ(handedOut[10], model_->resultTexts[0].get()) << "the eleventh read takes the first";
  EXPECT_STREQ(handedOut[10], "10\t-10");
  for (int j = 1; j < 10; ++j)
    EXPECT_EQ(std::string(handedOut[j]), std::to_string(j) + "\t" + std::to_string(-j));
  EXPECT_EQ(model_->resultTextsIndex, 1);
}

}  // namespace
}  // namespace published_test
