// Reading and writing single items while the host optimises: the objective,
// constraints, controls and integer controls, the handle check and the
// clearing of items.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <future>
#include <limits>
#include <string>

#include "com/error_text.h"
#include "com/variant_text.h"
#include "excel/errors.h"
#include "model/spreadsheet_lock.h"
#include "opt_fixture.h"

namespace optimisation_test {
namespace {

using com::Variant;
using optimisation::CheckIntegerControls;
using optimisation::GetConstraints;
using optimisation::GetControls;
using optimisation::GetIntegerControls;
using optimisation::GetObjectiveFunction;
using optimisation::SetControls;
using optimisation::SetIntegerControls;

class OptimisationValuesTest : public OptimisationTest {
 protected:
  void SetUp() override {
    OptimisationTest::SetUp();
    objective_.Defined = true;
    objective_.worksheet = "Plant";
    objective_.cell = "B2";
    objective_.name = "Profit";
  }

  // Every cell-value call recorded, as lines.
  std::vector<std::string> ValueLines() const {
    std::vector<std::string> lines;
    for (const auto& call : recorder_->CallsOf("Range.Invoke"))
      lines.push_back(call.line);
    return lines;
  }
};

TEST_F(OptimisationValuesTest, ObjectiveAndConstraintsReadTheirCellsAsNumbers) {
  AddConstraint(constraints_, "First", "Plant", "C2");
  AddConstraint(constraints_, "Second", "Sheet1", "$C$3");
  const struct {
    const char* what;
    Variant cell;
    double expected;
  } cases[] = {
      {"a number", Variant::Double(12.5), 12.5},
      {"a number as text", Variant::Text("7.25"), 7.25},
      {"a text with a numeric start", Variant::Text("3e2 bbl"), 300},
      {"a text", Variant::Text("abc"), 0.0},
      {"an empty cell", Variant(), 0.0},
      {"the undefined value", Variant::Double(kUndefined), kUndefined},
  };
  for (const auto& c : cases) {
    PutCell("B2", c.cell);
    PutCell("C3", c.cell, "Sheet1");
    PutValue(0, -1);
    EXPECT_EQ(GetObjectiveFunction(objective_, session_.get(), Value(), Status()), 0) << c.what;
    EXPECT_DOUBLE_EQ(ValueRead(), c.expected) << c.what;
    PutValue(1, -1);
    EXPECT_EQ(GetConstraints(constraints_, session_.get(), Value(), Status()), 0) << c.what;
    EXPECT_DOUBLE_EQ(ValueRead(), c.expected) << c.what;
  }
  EXPECT_EQ(StatusText(), "");
}

TEST_F(OptimisationValuesTest, FailedReadsGiveTheUndefinedValue) {
  PutCell("B2", Variant::ErrorValue(excel::kErrDiv0));
  AddConstraint(constraints_, "Gone", "Nowhere", "C2");
  AddControl(controls_, "Bad", "Plant", "B2");

  PutValue(0, 1);
  EXPECT_EQ(GetObjectiveFunction(objective_, session_.get(), Value(), Status()), 1);
  EXPECT_EQ(ValueRead(), kUndefined);
  EXPECT_EQ(StatusText(), "Could not get Plant.Cell[B2]");

  ClearStatus();
  PutValue(0, 1);
  EXPECT_EQ(GetConstraints(constraints_, session_.get(), Value(), Status()), 1);
  EXPECT_EQ(ValueRead(), kUndefined);
  EXPECT_EQ(StatusText(), "Unable to get worksheet Nowhere");

  ClearStatus();
  PutValue(0, 1);
  EXPECT_EQ(GetControls(controls_, session_.get(), Value(), Status()), 1);
  EXPECT_EQ(ValueRead(), kUndefined);
  EXPECT_EQ(StatusText(), "Could not get Plant.Cell[B2]");
}

TEST_F(OptimisationValuesTest, ObjectiveAndConstraintsHoldTheSpreadsheetLock) {
  AddConstraint(constraints_, "First", "Plant", "C2");
  int checks = 0;
  int lockedElsewhere = 0;
  recorder_->AddFault({"Range.Invoke", com::E_FAIL, 1, true, [&](const auto&) {
                         const bool held = std::async(std::launch::async, [] {
                                             const bool free = model::SpreadsheetMutex().try_lock();
                                             if (free) model::SpreadsheetMutex().unlock();
                                             return !free;
                                           }).get();
                         ++checks;
                         lockedElsewhere += held ? 1 : 0;
                         return false;
                       }});
  PutValue(0, 0);
  EXPECT_EQ(GetObjectiveFunction(objective_, session_.get(), Value(), Status()), 0);
  EXPECT_EQ(GetConstraints(constraints_, session_.get(), Value(), Status()), 0);
  EXPECT_EQ(checks, 2);
  EXPECT_EQ(lockedElsewhere, 2);
  EXPECT_TRUE(model::SpreadsheetMutex().try_lock()) << "released on return";
  model::SpreadsheetMutex().unlock();
}

TEST_F(OptimisationValuesTest, ControlsAreWrittenAsGivenAsDoubles) {
  AddControl(controls_, "Choke", "Plant", "B4", 0.5, 2.0);
  AddControl(controls_, "Rate", "Sheet1", "3:5");  // C5
  const struct {
    std::int32_t handle;
    double value;
    const char* line;
  } cases[] = {
      {0, 1.5, "Range.Invoke(0x56C, put, VT_R8 1.5)"},
      {0, 7, "Range.Invoke(0x56C, put, VT_R8 7)"},  // above the upper bound: not clamped
      {0, -3, "Range.Invoke(0x56C, put, VT_R8 -3)"},
      {1, 0.25, "Range.Invoke(0x56C, put, VT_R8 0.25)"},
  };
  for (const auto& c : cases) {
    recorder_->Clear();
    PutValue(c.handle, c.value);
    EXPECT_EQ(SetControls(controls_, session_.get(), Value(), Status()), 0) << StatusText();
    EXPECT_EQ(ValueLines(), std::vector<std::string>{c.line});
  }
  EXPECT_EQ(Cell("B4").vt, VT_R8);
  EXPECT_EQ(Cell("B4").dblVal, -3);
  EXPECT_EQ(Cell("C5", "Sheet1").dblVal, 0.25);

  // GetControls reads them back.
  PutValue(1, 0);
  EXPECT_EQ(GetControls(controls_, session_.get(), Value(), Status()), 0);
  EXPECT_EQ(ValueRead(), 0.25);
  EXPECT_EQ(StatusText(), "");
}

TEST_F(OptimisationValuesTest, ControlWritesThatFailSayWhy) {
  AddControl(controls_, "Choke", "Plant", "B4");
  AddControl(controls_, "Lost", "Nowhere", "B4");
  AddControl(controls_, "Odd", "Plant", "703:1");

  PutValue(1, 1);
  EXPECT_EQ(SetControls(controls_, session_.get(), Value(), Status()), 1);
  EXPECT_EQ(
      StatusText().rfind("Error in setting data in Excel: Unable to get worksheet Nowhere (", 0),
      0u)
      << StatusText();

  ClearStatus();
  recorder_->FailCall("Range.Invoke", excel::kApplicationError);
  PutValue(0, 1);
  EXPECT_EQ(SetControls(controls_, session_.get(), Value(), Status()), 1);
  EXPECT_EQ(StatusText(), "Error in setting data cell B4, worksheet Plant: (" +
                              com::ComErrorText(excel::kApplicationError) + ")");
  EXPECT_TRUE(Cell("B4").IsEmpty());

  ClearStatus();
  PutValue(2, 1);
  EXPECT_EQ(SetControls(controls_, session_.get(), Value(), Status()), 1);
  EXPECT_EQ(StatusText(), "Error in setting data cell 703:1, worksheet Plant: (" +
                              com::ComErrorText(com::DISP_E_BADINDEX) + ")");
}

TEST_F(OptimisationValuesTest, AnUnboundControlCellWritesNothing) {
  AddControl(controls_, "Unbound", "Plant", "  ");
  PutValue(0, 4);
  EXPECT_EQ(SetControls(controls_, session_.get(), Value(), Status()), 0) << StatusText();
  EXPECT_EQ(CellCalls(), 0u);
}

TEST_F(OptimisationValuesTest, IntegerControlsWriteTheValueTextOfTheChosenState) {
  AddIntControl(intControls_, "Pump", "Plant", "D2", {{"Off", "0"}, {"High", "HIGH"}, {"", "3"}});
  const struct {
    double value;
    const char* line;
  } cases[] = {
      {0, R"(Range.Invoke(0x56C, put, VT_BSTR "0"))"},
      {1.9, R"(Range.Invoke(0x56C, put, VT_BSTR "HIGH"))"},
      {-0.5, R"(Range.Invoke(0x56C, put, VT_BSTR "0"))"},  // truncated towards zero
      {2.999, R"(Range.Invoke(0x56C, put, VT_BSTR "3"))"},
  };
  for (const auto& c : cases) {
    recorder_->Clear();
    PutValue(0, c.value);
    EXPECT_EQ(SetIntegerControls(intControls_, session_.get(), Value(), Status()), 0)
        << c.value << ": " << StatusText();
    EXPECT_EQ(ValueLines(), std::vector<std::string>{c.line}) << c.value;
  }
  EXPECT_EQ(StatusText(), "");
}

TEST_F(OptimisationValuesTest, StatesAndHandlesThatNameNoStateLeaveTheCellAlone) {
  auto& pump = AddIntControl(intControls_, "Pump", "Plant", "D2", {{"", "A"}, {"", "B"}});
  pump.StateValues[5] = "beyond the count";
  auto& wild = AddIntControl(intControls_, "Wild", "Plant", "D3", {});
  wild.StateCount = 40;  // from a damaged case: only 20 states exist
  for (int k = 0; k < optimisation::kMaxStates; ++k)
    wild.StateValues[k] = "w";
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const struct {
    std::int32_t handle;
    double value;
  } cases[] = {{0, -1}, {0, -1e300}, {0, 2},   {0, 5},  {0, nan}, {0, 1e300},
               {1, 20}, {1, 20.5},   {1, 1e9}, {-1, 0}, {2, 0},   {INT32_MIN, 0}};
  PutCell("D2", Variant::Text("kept"));
  for (const auto& c : cases) {
    ClearStatus();
    recorder_->Clear();
    PutValue(c.handle, c.value);
    EXPECT_EQ(SetIntegerControls(intControls_, session_.get(), Value(), Status()), 1)
        << c.handle << " " << c.value;
    EXPECT_EQ(StatusText(), "An integer control variable in Excel is not defined");
    EXPECT_EQ(recorder_->Calls().size(), 0u) << "nothing reached the spreadsheet";
  }
  EXPECT_EQ(com::VariantToText(Cell("D2")), "kept");
  PutValue(1, 19.5);
  EXPECT_EQ(SetIntegerControls(intControls_, session_.get(), Value(), Status()), 0)
      << "state 19 is the last there is";
}

TEST_F(OptimisationValuesTest, IntegerControlsReadBackTheStateWhoseValueMatches) {
  auto& pump =
      AddIntControl(intControls_, "Pump", "Plant", "D2", {{"Low", "low"}, {"High", "HIGH"}});
  pump.StateValues[2] = "spare";  // not in use
  AddIntControl(intControls_, "Count", "Plant", "D3", {{"", "10"}, {"", "20"}});
  const struct {
    std::int32_t handle;
    const char* cell;
    Variant value;
    double index;
  } cases[] = {
      {0, "D2", Variant::Text("high"), 1},
      {0, "D2", Variant::Text("LOW"), 0},
      {0, "D2", Variant::Text("spare"), -1},
      {0, "D2", Variant::Text("High "), -1},
      {0, "D2", Variant(), -1},
      {1, "D3", Variant::Double(20), 1},
      {1, "D3", Variant::Text("10"), 0},
  };
  for (const auto& c : cases) {
    PutCell(c.cell, c.value);
    PutValue(c.handle, 99);
    EXPECT_EQ(GetIntegerControls(intControls_, session_.get(), Value(), Status()), 0)
        << com::VariantToText(c.value);
    EXPECT_EQ(ValueRead(), c.index) << com::VariantToText(c.value);
  }
  EXPECT_EQ(StatusText(), "");

  PutCell("D2", Variant::ErrorValue(excel::kErrNA));
  PutValue(0, 99);
  EXPECT_EQ(GetIntegerControls(intControls_, session_.get(), Value(), Status()), 1);
  EXPECT_EQ(StatusText(), "Could not get Plant.Cell[D2]");
  EXPECT_EQ(ValueRead(), 99) << "no state to report";
}

TEST_F(OptimisationValuesTest, UnknownHandlesAreRefusedWithTheirMessages) {
  AddConstraint(constraints_, "K", "Plant", "C2");
  AddControl(controls_, "C", "Plant", "B2");
  AddIntControl(intControls_, "I", "Plant", "D2", {{"", "1"}});
  using Operation = std::function<std::int32_t()>;
  const struct {
    const char* what;
    Operation run;
    const char* message;
  } operations[] = {
      {"GetConstraints",
       [&] { return GetConstraints(constraints_, session_.get(), Value(), Status()); },
       "Handle to unknown constraint passed to Gridmoor.dll"},
      {"SetControls", [&] { return SetControls(controls_, session_.get(), Value(), Status()); },
       "A control variable in Excel is not defined"},
      {"GetControls", [&] { return GetControls(controls_, session_.get(), Value(), Status()); },
       "A control variable in Excel is not defined"},
      {"SetIntegerControls",
       [&] { return SetIntegerControls(intControls_, session_.get(), Value(), Status()); },
       "An integer control variable in Excel is not defined"},
      {"GetIntegerControls",
       [&] { return GetIntegerControls(intControls_, session_.get(), Value(), Status()); },
       "A control variable in Excel is not defined"},
  };
  for (const auto& operation : operations) {
    for (std::int32_t handle : {-1, 1, INT32_MAX}) {
      ClearStatus();
      PutValue(handle, 1);
      EXPECT_EQ(operation.run(), 1) << operation.what << " " << handle;
      EXPECT_EQ(StatusText(), operation.message) << operation.what;
      EXPECT_EQ(ValueRead(), 1) << operation.what << ": the value stays";
    }
  }
  EXPECT_EQ(CellCalls(), 0u);
}

TEST_F(OptimisationValuesTest, WithoutAnObjectiveOrAWorkbookNothingIsRead) {
  AddConstraint(constraints_, "K", "Plant", "C2");
  objective_.Defined = false;
  PutValue(0, 5);
  EXPECT_EQ(GetObjectiveFunction(objective_, session_.get(), Value(), Status()), 1);
  EXPECT_EQ(StatusText(), "An objective function is not set up in Excel");
  EXPECT_EQ(ValueRead(), 5);

  session_->CloseWorkbook();
  for (bool isObjective : {true, false}) {
    ClearStatus();
    EXPECT_EQ(isObjective ? GetObjectiveFunction(objective_, session_.get(), Value(), Status())
                          : GetConstraints(constraints_, session_.get(), Value(), Status()),
              -1);
    EXPECT_EQ(StatusText(), "Lost connection to Excel");
  }
  EXPECT_EQ(ValueRead(), 5);
}

TEST_F(OptimisationValuesTest, NoValueRecordIsRefused) {
  AddControl(controls_, "C", "Plant", "B2");
  EXPECT_EQ(GetObjectiveFunction(objective_, session_.get(), nullptr, Status()), 1);
  EXPECT_EQ(StatusText(), "No record was passed to Gridmoor.dll");
  ClearStatus();
  EXPECT_EQ(SetControls(controls_, session_.get(), nullptr, Status()), 1);
  EXPECT_EQ(StatusText(), "No record was passed to Gridmoor.dll");
  EXPECT_EQ(CheckIntegerControls(intControls_, nullptr, Status()), 1);
}

// ---- CheckIntegerControls -------------------------------------------------

class CheckIntegerControlsTest : public OptimisationTest {
 protected:
  // A list record with room for exactly these handles.
  std::int32_t Check(std::int32_t count, const std::vector<std::int32_t>& handles) {
    list_ = std::make_unique<test_support::GuardedBuffer>(EXT_INT_CONTROL_LIST_HANDLES_OFFSET +
                                                          4 * handles.size());
    std::memcpy(list_->bytes.data() + EXT_INT_CONTROL_LIST_COUNT_OFFSET, &count, 4);
    for (std::size_t j = 0; j < handles.size(); ++j) {
      std::memcpy(list_->bytes.data() + EXT_INT_CONTROL_LIST_HANDLES_OFFSET + 4 * j, &handles[j],
                  4);
    }
    const auto before = list_->bytes;
    ClearStatus();
    const std::int32_t result = CheckIntegerControls(intControls_, list_->bytes.data(), Status());
    EXPECT_TRUE(list_->bytes == before) << "the list is only read";
    return result;
  }

  std::unique_ptr<test_support::GuardedBuffer> list_;
};

TEST_F(CheckIntegerControlsTest, EveryHandleMustNameACompleteControl) {
  AddIntControl(intControls_, "Pump", "Plant", "D2", {{"", "1"}});
  AddIntControl(intControls_, "Valve", "", "D3", {{"", "1"}});
  AddIntControl(intControls_, "Ready", "Plant", "D4", {});
  const struct {
    std::int32_t count;
    std::vector<std::int32_t> handles;
    std::int32_t result;
    const char* message;
  } cases[] = {
      {0, {}, 0, ""},
      {-3, {}, 0, ""},
      {2, {0, 2}, 0, ""},
      {2, {0, 0}, 0, ""},
      {1, {-1}, 1, "Unknown integer variable passed to Excel"},
      {2, {0, 3}, 1, "Unknown integer variable passed to Excel"},
      {3, {2, 1, 7}, 1, "A worksheet reference must be supplied for Valve"},
      {101, {}, 1, "Too many integer controls passed to Excel: 101 (at most 100)"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Check(c.count, c.handles), c.result) << c.count;
    EXPECT_EQ(StatusText(), c.message) << c.count;
  }
  intControls_.At(1)->worksheet = "Plant";
  intControls_.At(1)->cell = "";
  EXPECT_EQ(Check(1, {1}), 1);
  EXPECT_EQ(StatusText(), "A cell reference must be supplied for Valve");

  std::vector<std::int32_t> hundred(100, 0);
  EXPECT_EQ(Check(100, hundred), 0);
}

// ---- ClearOptimisation ----------------------------------------------------

TEST_F(OptimisationTest, ClearingRemovesTheKindsTheMaskNames) {
  const struct {
    std::int32_t mask;
    bool objective, constraints, controls, intControls;  // what stays
  } cases[] = {
      {0, true, true, true, true},      {1, false, true, true, true},
      {2, true, false, true, true},     {4, true, true, false, true},
      {8, true, true, true, false},     {6, true, false, false, true},
      {15, false, false, false, false}, {-1, false, false, false, false},
      {16, true, true, true, true},
  };
  for (const auto& c : cases) {
    objective_.Defined = true;
    objective_.name = "Profit";
    constraints_.Clear();
    controls_.Clear();
    intControls_.Clear();
    AddConstraint(constraints_, "K", "Plant", "C2");
    AddControl(controls_, "C", "Plant", "B2");
    AddControl(controls_, "D", "Plant", "B3");
    AddIntControl(intControls_, "I", "Plant", "D2", {});
    optimisation::ClearOptimisation(Items(), c.mask);
    EXPECT_EQ(objective_.Defined, c.objective) << c.mask;
    EXPECT_EQ(objective_.name.empty(), !c.objective) << c.mask;
    EXPECT_EQ(constraints_.size(), c.constraints ? 1u : 0u) << c.mask;
    EXPECT_EQ(controls_.size(), c.controls ? 2u : 0u) << c.mask;
    EXPECT_EQ(intControls_.size(), c.intControls ? 1u : 0u) << c.mask;
  }
}

}  // namespace
}  // namespace optimisation_test
