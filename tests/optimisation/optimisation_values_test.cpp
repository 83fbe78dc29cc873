// Reading and writing single items while the host optimises: the objective,
// constraints, controls and integer controls, the handle check and the
// clearing of items, all through the model's slots.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <future>
#include <limits>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "automation/spreadsheet_lock.h"
#include "com/error_text.h"
#include "excel/errors.h"
#include "items_fixture.h"

namespace optimisation_test {
namespace {

using Strings = std::vector<std::string>;
constexpr ValueSlot kGetObjective = &Interface::GetObjectiveFunction;
constexpr ValueSlot kGetConstraint = &Interface::GetConstraints;
constexpr ValueSlot kSetControl = &Interface::SetControls;
constexpr ValueSlot kGetControl = &Interface::GetControls;
constexpr ValueSlot kSetIntControl = &Interface::SetIntegerControls;
constexpr ValueSlot kGetIntControl = &Interface::GetIntegerControls;

class OptimisationValuesTest : public ItemsTest {
 protected:
  void SetUp() override {
    ItemsTest::SetUp();
    model_->objective.Defined = true;
    model_->objective.worksheet = "Data";
    model_->objective.cell = "B2";
  }
};

TEST_F(OptimisationValuesTest, ObjectiveAndConstraintsReadTheirCellsAsNumbers) {
  AddConstraint(model_->constraints, "First", "C2");
  AddConstraint(model_->constraints, "Second", "$C$3").worksheet = "Sheet1";
  const std::pair<Variant, double> cases[] = {{Variant::Double(12.5), 12.5},
                                              {Variant::Text("7.25"), 7.25},
                                              {Variant::Text("3e2 bbl"), 300},
                                              {Variant::Text("abc"), 0.0},
                                              {Variant(), 0.0},
                                              {Variant::Double(kUndefined), kUndefined}};
  for (const auto& [cell, expected] : cases) {
    SCOPED_TRACE(com::VariantToText(cell));
    PutCell("B2", cell);
    PutCell("C3", cell, "Sheet1");
    EXPECT_EQ(Run(kGetObjective, 0, -1), 0);
    EXPECT_DOUBLE_EQ(ValueRead(), expected);
    EXPECT_EQ(Run(kGetConstraint, 1, -1), 0);
    EXPECT_DOUBLE_EQ(ValueRead(), expected);
  }
  EXPECT_EQ(StatusText(), "");
}

TEST_F(OptimisationValuesTest, FailedReadsGiveTheUndefinedValueAndSayWhy) {
  PutCell("B2", Variant::ErrorValue(excel::kErrDiv0));
  AddConstraint(model_->constraints, "Gone", "C2").worksheet = "Nowhere";
  AddControl(model_->controls, "Bad", "B2");
  const std::pair<ValueSlot, const char*> cases[] = {
      {kGetObjective, "Could not get Data.Cell[B2]"},
      {kGetConstraint, "Unable to get worksheet Nowhere"},
      {kGetControl, "Could not get Data.Cell[B2]"}};
  for (const auto& [slot, message] : cases) {
    ClearStatus();
    EXPECT_EQ(Run(slot, 0, 1), 1);
    EXPECT_EQ(ValueRead(), kUndefined);
    EXPECT_EQ(StatusText(), message);
  }
}

TEST_F(OptimisationValuesTest, ObjectiveAndConstraintsHoldTheSpreadsheetLock) {
  AddConstraint(model_->constraints, "First", "C2");
  int lockedElsewhere = 0;
  recorder_->AddFault({"Range.Invoke", com::E_FAIL, 1, true, [&](const auto&) {
                         lockedElsewhere += std::async(std::launch::async, [] {
                                              if (!automation::SpreadsheetMutex().try_lock())
                                                return 1;
                                              automation::SpreadsheetMutex().unlock();
                                              return 0;
                                            }).get();
                         return false;
                       }});
  EXPECT_EQ(Run(kGetObjective, 0, 0), 0);
  EXPECT_EQ(Run(kGetConstraint, 0, 0), 0);
  EXPECT_EQ(lockedElsewhere, 2) << "held while each cell was read";
  EXPECT_TRUE(automation::SpreadsheetMutex().try_lock()) << "released on return";
  automation::SpreadsheetMutex().unlock();
}

TEST_F(OptimisationValuesTest, ControlsAreWrittenAsGivenAsDoubles) {
  AddControl(model_->controls, "Choke", "B4", 0.5, 2.0);
  AddControl(model_->controls, "Rate", "3:5").worksheet = "Sheet1";  // C5
  AddControl(model_->controls, "Unbound", "  ");
  // 7 is above the upper bound, not clamped; the third control has no cell.
  const std::tuple<std::int32_t, double, const char*> cases[] = {{0, 1.5, "VT_R8 1.5"},
                                                                 {0, 7, "VT_R8 7"},
                                                                 {0, -3, "VT_R8 -3"},
                                                                 {1, 0.25, "VT_R8 0.25"},
                                                                 {2, 4, nullptr}};
  for (const auto& [handle, value, written] : cases) {
    recorder_->Clear();
    EXPECT_EQ(Run(kSetControl, handle, value), 0) << StatusText();
    EXPECT_EQ(ValueLines(), written
                                ? Strings{"Range.Invoke(0x56C, put, " + std::string(written) + ")"}
                                : Strings{})
        << handle << " " << value;
  }
  EXPECT_EQ(Cell("B4").vt, VT_R8);
  EXPECT_EQ(Cell("B4").dblVal, -3);
  EXPECT_EQ(Run(kGetControl, 1, 0), 0);
  EXPECT_EQ(ValueRead(), 0.25) << "read back from C5 of Sheet1";
  EXPECT_EQ(StatusText(), "");
}

TEST_F(OptimisationValuesTest, ControlWritesThatFailSayWhy) {
  AddControl(model_->controls, "Choke", "B4");
  AddControl(model_->controls, "Lost", "B4").worksheet = "Nowhere";
  AddControl(model_->controls, "Odd", "703:1");

  EXPECT_EQ(Run(kSetControl, 1, 1), 1);
  EXPECT_EQ(
      StatusText().rfind("Error in setting data in Excel: Unable to get worksheet Nowhere (", 0),
      0u)
      << StatusText();

  ClearStatus();
  recorder_->FailCall("Range.Invoke", excel::kApplicationError);
  EXPECT_EQ(Run(kSetControl, 0, 1), 1);
  EXPECT_EQ(StatusText(), "Error in setting data cell B4, worksheet Data: (" +
                              com::ComErrorText(excel::kApplicationError) + ")");
  EXPECT_TRUE(Cell("B4").IsEmpty());

  ClearStatus();
  EXPECT_EQ(Run(kSetControl, 2, 1), 1);
  EXPECT_EQ(StatusText(), "Error in setting data cell 703:1, worksheet Data: (" +
                              com::ComErrorText(com::DISP_E_BADINDEX) + ")");
}

TEST_F(OptimisationValuesTest, IntegerControlsWriteTheValueTextOfTheChosenStateOnly) {
  auto& pump = AddIntControl(model_->intControls, "Pump", "D2", {{"Off", "0"}, {"High", "HIGH"}});
  pump.StateValues[5] = "beyond the count";
  auto& wild = AddIntControl(model_->intControls, "Wild", "D3", {});
  wild.StateCount = 40;  // from a damaged case: only 20 states exist
  wild.StateValues.fill("w");
  const double nan = std::numeric_limits<double>::quiet_NaN();
  // Values truncate towards zero; state 19 is the last there is. The rest
  // name no state in use, or no control.
  const std::tuple<std::int32_t, double, const char*> cases[] = {
      {0, 0, "0"},         {0, 1.9, "HIGH"},       {0, -0.5, "0"},    {1, 19.5, "w"},
      {0, -1, nullptr},    {0, 2, nullptr},        {0, 5, nullptr},   {0, nan, nullptr},
      {0, 1e300, nullptr}, {1, 20, nullptr},       {1, 1e9, nullptr}, {-1, 0, nullptr},
      {2, 0, nullptr},     {INT32_MIN, 0, nullptr}};
  for (const auto& [handle, value, written] : cases) {
    ClearStatus();
    recorder_->Clear();
    EXPECT_EQ(Run(kSetIntControl, handle, value), written ? 0 : 1) << handle << " " << value;
    if (written) {
      EXPECT_EQ(ValueLines(),
                Strings{"Range.Invoke(0x56C, put, VT_BSTR \"" + std::string(written) + "\")"});
    } else {
      EXPECT_EQ(StatusText(), "An integer control variable in Excel is not defined");
      EXPECT_EQ(recorder_->Calls().size(), 0u) << "nothing reached the spreadsheet";
    }
  }
}

TEST_F(OptimisationValuesTest, IntegerControlsReadBackTheStateWhoseValueMatches) {
  auto& pump = AddIntControl(model_->intControls, "Pump", "D2", {{"Low", "low"}, {"Hi", "HIGH"}});
  pump.StateValues[2] = "spare";  // not in use
  AddIntControl(model_->intControls, "Count", "D3", {{"", "10"}, {"", "20"}});
  const std::tuple<std::int32_t, Variant, double> cases[] = {{0, Variant::Text("high"), 1},
                                                             {0, Variant::Text("LOW"), 0},
                                                             {0, Variant::Text("spare"), -1},
                                                             {0, Variant::Text("High "), -1},
                                                             {0, Variant(), -1},
                                                             {1, Variant::Double(20), 1},
                                                             {1, Variant::Text("10"), 0}};
  for (const auto& [handle, value, index] : cases) {
    PutCell(handle == 0 ? "D2" : "D3", value);
    EXPECT_EQ(Run(kGetIntControl, handle, 99), 0) << com::VariantToText(value);
    EXPECT_EQ(ValueRead(), index) << com::VariantToText(value);
  }
  EXPECT_EQ(StatusText(), "");

  PutCell("D2", Variant::ErrorValue(excel::kErrNA));
  EXPECT_EQ(Run(kGetIntControl, 0, 99), 1);
  EXPECT_EQ(StatusText(), "Could not get Data.Cell[D2]");
  EXPECT_EQ(ValueRead(), 99) << "no state to report";
}

TEST_F(OptimisationValuesTest, UnknownHandlesAndMissingItemsAreRefusedWithTheirMessages) {
  AddConstraint(model_->constraints, "K", "C2");
  AddControl(model_->controls, "C", "B2");
  AddIntControl(model_->intControls, "I", "D2", {{"", "1"}});
  const std::pair<ValueSlot, const char*> slots[] = {
      {kGetConstraint, "Handle to unknown constraint passed to Gridmoor.dll"},
      {kSetControl, "A control variable in Excel is not defined"},
      {kGetControl, "A control variable in Excel is not defined"},
      {kSetIntControl, "An integer control variable in Excel is not defined"},
      {kGetIntControl, "A control variable in Excel is not defined"}};
  for (const auto& [slot, message] : slots) {
    for (std::int32_t handle : {-1, 1, INT32_MAX}) {
      ClearStatus();
      EXPECT_EQ(Run(slot, handle, 1), 1) << message << " " << handle;
      EXPECT_EQ(StatusText(), message);
      EXPECT_EQ(ValueRead(), 1) << "the value stays";
    }
  }
  model_->objective.Defined = false;
  EXPECT_EQ(Run(kGetObjective, 0, 5), 1);
  EXPECT_EQ(StatusText(), "An objective function is not set up in Excel");
  EXPECT_EQ(ValueRead(), 5);
  EXPECT_TRUE(recorder_->Calls().empty()) << recorder_->Transcript();

  for (ValueSlot slot : {kGetObjective, kSetControl}) {
    ClearStatus();
    EXPECT_EQ((Table().*slot)(nullptr, Status()), 1);
    EXPECT_EQ(StatusText(), "No record was passed to Gridmoor.dll");
  }
  EXPECT_EQ(Table().CheckIntegerControls(nullptr, Status()), 1);
}

TEST_F(OptimisationValuesTest, EveryCheckedHandleMustNameACompleteIntegerControl) {
  AddIntControl(model_->intControls, "Pump", "D2", {{"", "1"}});
  AddIntControl(model_->intControls, "Valve", "D3", {{"", "1"}}).worksheet = "";
  AddIntControl(model_->intControls, "Ready", "D4", {});
  // A list record with room for exactly the handles given, only ever read.
  const auto check = [&](std::int32_t count, const std::vector<std::int32_t>& handles) {
    // Bounded so that the compiler can see the buffer's size cannot wrap.
    GuardedBuffer list(EXT_INT_CONTROL_LIST_HANDLES_OFFSET +
                       4 * std::min<std::size_t>(handles.size(), 128));
    Write(list.bytes, EXT_INT_CONTROL_LIST_COUNT_OFFSET, count);
    for (std::size_t j = 0; j < handles.size(); ++j)
      Write(list.bytes, EXT_INT_CONTROL_LIST_HANDLES_OFFSET + 4 * j, handles[j]);
    const auto before = list.bytes;
    ClearStatus();
    const std::int32_t result = Table().CheckIntegerControls(list.bytes.data(), Status());
    EXPECT_EQ(list.bytes, before);
    return result;
  };
  const std::tuple<std::int32_t, std::vector<std::int32_t>, const char*> cases[] = {
      {0, {}, ""},
      {-3, {}, ""},
      {2, {0, 2}, ""},
      {100, std::vector<std::int32_t>(100, 0), ""},
      {1, {-1}, "Unknown integer variable passed to Excel"},
      {2, {0, 3}, "Unknown integer variable passed to Excel"},
      {3, {2, 1, 7}, "A worksheet reference must be supplied for Valve"},
      {101, {}, "Too many integer controls passed to Excel: 101 (at most 100)"}};
  for (const auto& [count, handles, message] : cases) {
    EXPECT_EQ(check(count, handles), *message ? 1 : 0) << count;
    EXPECT_EQ(StatusText(), message) << count;
  }
  EXPECT_EQ(Table().Reserved67(), 0);
}

TEST_F(OptimisationValuesTest, ClearingRemovesTheKindsTheMaskNames) {
  // What stays: the objective defined, constraints, controls, integer controls.
  const std::pair<std::int32_t, std::vector<std::size_t>> cases[] = {
      {0, {1, 1, 2, 1}},  {1, {0, 1, 2, 1}},  {2, {1, 0, 2, 1}},
      {4, {1, 1, 0, 1}},  {8, {1, 1, 2, 0}},  {6, {1, 0, 0, 1}},
      {15, {0, 0, 0, 0}}, {-1, {0, 0, 0, 0}}, {16, {1, 1, 2, 1}}};
  for (const auto& [mask, left] : cases) {
    model_->objective.name = "Profit";
    model_->constraints.Clear();
    model_->controls.Clear();
    model_->intControls.Clear();
    AddConstraint(model_->constraints, "K", "C2");
    AddControl(model_->controls, "C", "B2");
    AddControl(model_->controls, "D", "B3");
    AddIntControl(model_->intControls, "I", "D2", {});
    EXPECT_EQ(Table().ClearOptimisation(mask, Status()), 0);
    EXPECT_EQ((std::vector<std::size_t>{model_->objective.Defined, model_->constraints.size(),
                                        model_->controls.size(), model_->intControls.size()}),
              left)
        << mask;
    EXPECT_EQ(model_->objective.name.empty(), !model_->objective.Defined) << mask;
    model_->objective.Defined = true;
  }
}

}  // namespace
}  // namespace optimisation_test
