// The list of published variables: enumeration, adding, deleting, and the
// editing dialog's rebuild.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "model/scripted_dialogs.h"
#include "optimisation/published_ops.h"
#include "published_fixture.h"

namespace published_test {
namespace {

using optimisation::CExcExportedVariable;

class PublishedListTest : public PublishedTest {
 protected:
  std::int32_t Next() { return Table().GetNextPublishedVariable(record_.bytes.data()); }

  std::vector<std::string> Names() {
    std::vector<std::string> names;
    for (std::size_t i = 0; i < Variables().size(); ++i)
      names.push_back(Variables().At(i)->name);
    return names;
  }
};

TEST_F(PublishedListTest, AnEmptyListHasNothingToEnumerate) {
  PutHandle(-1);
  const std::vector<unsigned char> before = record_.bytes;
  EXPECT_EQ(Next(), -1);
  EXPECT_EQ(record_.bytes, before);
}

TEST_F(PublishedListTest, EnumerationDescribesEachVariableInTurnAndCutsItsTexts) {
  AddVariable("Oil rate", "A1").unit = "STB/d";
  // 62 bytes and a two-byte character: cut before the character.
  AddVariable(std::string(62, 'n') + "\xC3\xA9", "A2").unit = std::string(20, 'u');
  AddVariable(std::string(100, 'm'), "A3");
  const struct {
    std::string name;
    std::string unit;
  } expected[] = {
      {"Oil rate", "STB/d"},
      {std::string(62, 'n'), std::string(EXT_PUBVAR_UNIT_SIZE - 1, 'u')},
      {std::string(EXT_PUBVAR_TEXT_SIZE - 1, 'm'), ""},
  };
  PutHandle(-1);
  for (std::int32_t handle = 0; handle < 3; ++handle) {
    record_.bytes[EXT_PUBVAR_FLAG_OFFSET] = 0;
    ASSERT_EQ(Next(), 0);
    EXPECT_EQ(RecordHandle(), handle);
    EXPECT_EQ(RecordFlag(), 1);
    EXPECT_EQ(RecordText(EXT_PUBVAR_TEXT_OFFSET, EXT_PUBVAR_TEXT_SIZE), expected[handle].name);
    EXPECT_EQ(RecordText(EXT_PUBVAR_UNIT_OFFSET, EXT_PUBVAR_UNIT_SIZE), expected[handle].unit);
  }
  const std::vector<unsigned char> last = record_.bytes;
  EXPECT_EQ(Next(), -1);
  EXPECT_EQ(record_.bytes, last) << "the end of the list leaves the record alone";

  // Only -1 starts an enumeration; a handle below it names nothing.
  PutHandle(-5);
  EXPECT_EQ(Next(), -1);
  EXPECT_EQ(Table().GetNextPublishedVariable(nullptr), -1);
  EXPECT_TRUE(recorder_->Calls().empty()) << "enumeration needs no spreadsheet";
}

TEST_F(PublishedListTest, AnAddedVariableGetsTheNextHandleAndTheDefaults) {
  AddVariable("First", "A1");
  ASSERT_EQ(Add("Sheet1", "B7", "Added"), 0) << StatusText();
  EXPECT_EQ(AddedHandle(), 1);
  ASSERT_EQ(Add("Data", "4:2", "Pair"), 0) << StatusText();
  EXPECT_EQ(AddedHandle(), 2);
  EXPECT_EQ(StatusText(), "");

  CExcExportedVariable expected;
  expected.name = "Added";
  expected.worksheet = "Sheet1";
  expected.cell = "B7";
  ASSERT_EQ(Variables().size(), 3u);
  EXPECT_TRUE(*Variables().At(1) == expected);
  EXPECT_EQ(Variables().At(2)->cell, "4:2");

  // The new variable is served at once.
  PutCell("D2", com::Variant::Double(42));
  PutRecord(2, false);
  EXPECT_EQ(Eval(), 0) << StatusText();
  EXPECT_EQ(ValueText(), "42");
}

TEST_F(PublishedListTest, DeletingShiftsTheHandlesBehind) {
  const struct {
    std::int32_t handle;
    std::vector<std::string> left;
  } rows[] = {
      {0, {"b", "c"}},
      {1, {"a", "c"}},
      {2, {"a", "b"}},
      {-1, {}},
  };
  for (const auto& row : rows) {
    Variables().Clear();
    for (const char* name : {"a", "b", "c"})
      AddVariable(name, "A1");
    EXPECT_EQ(Table().DelPublishedVariable(row.handle, Status()), 0);
    EXPECT_EQ(Names(), row.left) << row.handle;
  }
  EXPECT_EQ(Table().DelPublishedVariable(-1, Status()), 0) << "clearing an empty list is fine";
  EXPECT_EQ(StatusText(), "");
}

TEST(PublishedRebuild, TakesCompleteRowsInOrderWithRegionsClamped) {
  const auto row = [](const char* name, const char* worksheet, const char* cell,
                      std::int32_t width = 1, std::int32_t height = 1) {
    CExcExportedVariable variable;
    variable.name = name;
    variable.worksheet = worksheet;
    variable.cell = cell;
    variable.RegionWidth = width;
    variable.RegionHeight = height;
    return variable;
  };
  std::vector<CExcExportedVariable> rows = {
      row("a", "Data", "A1", 0, 20000), row("", "Data", "A2"),  row("no sheet", "  ", "A3"),
      row("no cell", "Data", " "),      row(" ", "Data", "A4"), row("b", "Data", "B1", 10000, -4),
      row("c", "Sheet1", "C1", 3, 2),
  };
  rows.back().unit = "psig";
  rows.back().CascadeCell = "D1";
  rows.back().CascadeDirection = optimisation::kHorizontal;
  rows.back().ColumnDelimiter = ";";
  rows.back().RowDelimiter = "|";

  optimisation::CExcclExportedVariable variables;
  variables.Add(std::make_unique<CExcExportedVariable>(row("old", "Data", "Z9")));
  optimisation::RebuildPublishedVariables(variables, rows);

  const CExcExportedVariable expected[] = {
      row("a", "Data", "A1", 1, 10000),
      row("b", "Data", "B1", 10000, 1),
      rows.back(),
  };
  ASSERT_EQ(variables.size(), std::size(expected));
  for (std::size_t i = 0; i < std::size(expected); ++i)
    EXPECT_TRUE(*variables.At(i) == expected[i]) << i;
}

TEST_F(PublishedListTest, TheEditingDialogRebuildsTheListOnlyOnOk) {
  AddVariable("kept", "A1");
  auto dialogs = std::make_shared<test_support::ScriptedDialogs>();
  const test_support::ScopedDialogs installed(dialogs);
  const auto window = reinterpret_cast<ExtWindow>(0x1234);

  dialogs->OnEditPublishedVariables([](model::CExcModel& model) {
    CExcExportedVariable edited;
    edited.name = "edited";
    edited.worksheet = "Data";
    edited.cell = "B2";
    edited.RegionWidth = 0;
    optimisation::RebuildPublishedVariables(model.publishedVariables, {edited});
    return model::DialogResult::kOk;
  });
  EXPECT_EQ(Table().EditPublishedVariables(window, Status()), 0);
  ASSERT_EQ(Names(), std::vector<std::string>{"edited"});
  EXPECT_EQ(Variables().At(0)->RegionWidth, 1);

  dialogs->OnEditPublishedVariables([](model::CExcModel&) { return model::DialogResult::kCancel; });
  EXPECT_EQ(Table().EditPublishedVariables(window, Status()), 1);
  EXPECT_EQ(Names(), std::vector<std::string>{"edited"});

  const auto calls = dialogs->Calls();
  ASSERT_EQ(calls.size(), 2u);
  EXPECT_EQ(calls[0].dialog, "EditPublishedVariables");
  EXPECT_EQ(calls[0].parent, window);

  // The library's own dialogs end as cancelled.
  const test_support::ScopedDialogs library(nullptr);
  EXPECT_EQ(Table().EditPublishedVariables(window, Status()), 1);
  EXPECT_EQ(Names(), std::vector<std::string>{"edited"});
  EXPECT_EQ(StatusText(), "");
}

}  // namespace
}  // namespace published_test
