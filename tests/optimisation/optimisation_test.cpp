// The optimisation problem through the model's slots: its set-up with and
// without the dialog, the problem record the host learns it from, and the
// single items read and written while the host optimises.
#include <gtest/gtest.h>

#include <limits>
#include <memory>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "com/error_text.h"
#include "excel/errors.h"
#include "gridmoor/host.h"
#include "items_fixture.h"
#include "model/scripted_dialogs.h"

namespace optimisation_test {
namespace {

using model::DialogResult;
using model::OptimiserPage;
using Strings = std::vector<std::string>;
using enum ValueSlot;

class ModelOptimisationTest : public ItemsTest {
 protected:
  void SetUp() override {
    ItemsTest::SetUp();
    std::tie(model_->objective.Defined, model_->objective.name) = std::pair(true, "Profit");
    AddControl(model_->controls, "Choke", "B2", 0, 1);
    AddIntControl(model_->intControls, "Pump", "D2", {{"", "Off"}, {"", "On"}});
  }

  std::shared_ptr<test_support::ScriptedDialogs> dialogs_ =
      std::make_shared<test_support::ScriptedDialogs>();
  test_support::ScopedDialogs scopedDialogs_{dialogs_};
};

TEST_F(ModelOptimisationTest, TheModeChoosesWhetherAndWhereTheDialogOpens) {
  const std::tuple<std::int32_t, bool, OptimiserPage> cases[] = {
      {-1, false, {}},
      {0, true, OptimiserPage::kObjectiveAndConstraints},
      {1, true, OptimiserPage::kObjectiveAndConstraints},
      {2, true, OptimiserPage::kControls}};
  for (const auto& [mode, dialog, page] : cases) {
    SCOPED_TRACE(mode);
    const std::size_t before = dialogs_->Calls().size();
    EXPECT_EQ(SetUpProblem(mode), 0) << StatusText();
    EXPECT_EQ(problem_->integerControls.size(), 1u);
    const auto calls = dialogs_->Calls();
    ASSERT_EQ(calls.size(), before + (dialog ? 1 : 0));
    if (!dialog) continue;
    EXPECT_EQ(std::tie(calls.back().dialog, calls.back().page, calls.back().parent),
              std::tuple(std::string("SetupOptimisation"), page, ExtWindow{}));
  }
}

TEST_F(ModelOptimisationTest, TheHostLearnsWhatTheUserSetsUpAndNothingOfACancelledDialog) {
  dialogs_->OnSetupOptimisation([](OptimiserPage, model::CExcModel& model) {
    AddConstraint(model.constraints, "Water", "C2", 2, 100);
    model.controls.RemoveAt(0);
    model.objective.Maximise = false;
    return DialogResult::kOk;
  });
  EXPECT_EQ(SetUpProblem(0), 0);
  EXPECT_EQ(std::tuple(problem_->constraints.size(), problem_->controls.size(),
                       problem_->objective.maximise, model_->constraints.size()),
            std::tuple(1u, 0u, false, 1u));

  AddControl(model_->controls, "Choke", "B2", 0, 1);
  model_->constraints.Clear();
  dialogs_->OnSetupOptimisation([](OptimiserPage, model::CExcModel& model) {
    // Edits a dialog that does not put things back would leave.
    AddConstraint(model.constraints, "Water", "C2");
    model.controls.At(0)->UpperBound = 50;
    model.intControls.Clear();
    model.objective.Clear();
    return DialogResult::kCancel;
  });
  const casedata::CExcControlVariable control(*model_->controls.At(0));
  EXPECT_EQ(SetUpProblem(2), 1);
  EXPECT_TRUE(ProblemUntouched());
  EXPECT_EQ(std::tuple(model_->objective.name, model_->constraints.size(), model_->controls.size(),
                       model_->intControls.size()),
            std::tuple("Profit", 0u, 1u, 1u));
  EXPECT_TRUE(*model_->controls.At(0) == control);
  EXPECT_EQ(model_->intControls.At(0)->StateValues[1], "On");
}

TEST_F(ModelOptimisationTest, WithoutAWorkbookNothingIsSetUpOrRead) {
  AddConstraint(model_->constraints, "K", "C2");
  model_->Session()->CloseWorkbook();
  for (std::int32_t mode : {-1, 0}) {
    EXPECT_EQ(SetUpProblem(mode), -1);
    EXPECT_TRUE(ProblemUntouched());
  }
  EXPECT_TRUE(dialogs_->Calls().empty());
  for (ValueSlot slot : {kGetObjective, kGetConstraint})
    EXPECT_EQ(Outcome(slot, 0, 5), std::tuple(-1, 5, "Lost connection to Excel"));
}

class OptimisationValuesTest : public ItemsTest {
 protected:
  void SetUp() override {
    ItemsTest::SetUp();
    std::tie(model_->objective.Defined, model_->objective.worksheet, model_->objective.cell) =
        std::tuple(true, "Data", "B2");
  }
};

TEST_F(OptimisationValuesTest, ObjectiveAndConstraintsReadTheirCellsOrSayWhyNot) {
  // How a cell's text becomes a number is the cell transfer's business.
  AddConstraint(model_->constraints, "First", "C2");
  AddConstraint(model_->constraints, "Second", "$C$3").worksheet = "Sheet1";
  PutCell("B2", Variant::Double(12.5));
  PutCell("C3", Variant::Text("3e2"), "Sheet1");
  EXPECT_EQ(Outcome(kGetObjective, 0, -1), std::tuple(0, 12.5, ""));
  EXPECT_EQ(Outcome(kGetConstraint, 1, -1), std::tuple(0, 300, ""));

  // A read that fails gives the undefined value and the cell transfer's say.
  PutCell("B2", Variant::ErrorValue(excel::kErrDiv0));
  model_->constraints.At(0)->worksheet = "Nowhere";
  EXPECT_EQ(Outcome(kGetObjective, 0, 1), std::tuple(1, kUndefined, "Could not get Data.Cell[B2]"));
  EXPECT_EQ(Outcome(kGetConstraint, 0, 1),
            std::tuple(1, kUndefined, "Unable to get worksheet Nowhere"));
}

TEST_F(OptimisationValuesTest, ControlsAreWrittenAsGivenAsDoublesOrSayWhyNot) {
  AddControl(model_->controls, "Choke", "B4", 0.5, 2.0);
  AddControl(model_->controls, "Rate", "3:5").worksheet = "Sheet1";  // C5
  AddControl(model_->controls, "Unbound", "  ");
  // 7 is above the upper bound, not clamped; the third control has no cell.
  const std::tuple<std::int32_t, double, const char*> cases[] = {
      {0, 7, "VT_R8 7"}, {1, 0.25, "VT_R8 0.25"}, {2, 4, nullptr}};
  for (const auto& [handle, value, written] : cases) {
    recorder_->Clear();
    EXPECT_EQ(Run(kSetControl, handle, value), 0) << StatusText();
    EXPECT_EQ(ValueLines(), written
                                ? Strings{"Range.Invoke(0x56C, put, " + std::string(written) + ")"}
                                : Strings{})
        << handle << " " << value;
  }
  EXPECT_EQ(Cell("B4"), Variant::Double(7));
  EXPECT_EQ(Outcome(kGetControl, 1, 0), std::tuple(0, 0.25, "")) << "read back from C5 of Sheet1";

  AddControl(model_->controls, "Lost", "B4").worksheet = "Nowhere";
  AddControl(model_->controls, "Odd", "703:1");
  const std::string badIndex = " (" + com::ComErrorText(com::DISP_E_BADINDEX) + ")";
  const std::pair<std::int32_t, std::string> failures[] = {
      {3, "Error in setting data in Excel: Unable to get worksheet Nowhere" + badIndex},
      {4, "Error in setting data cell 703:1, worksheet Data:" + badIndex},
      {0, "Error in setting data cell B4, worksheet Data: (" +
              com::ComErrorText(excel::kApplicationError) + ")"}};
  recorder_->FailCall("Range.Invoke", excel::kApplicationError);  // reached by the last only
  for (const auto& [handle, message] : failures) {
    EXPECT_EQ(Run(kSetControl, handle, 1), 1);
    EXPECT_EQ(StatusText(), message);
  }
  EXPECT_EQ(Cell("B4"), Variant::Double(7)) << "nothing written";
}

TEST_F(OptimisationValuesTest, IntegerControlsWriteAndReadBackTheValueTextOfAStateInUse) {
  auto& pump = AddIntControl(model_->intControls, "Pump", "D2", {{"Off", "0"}, {"High", "HIGH"}});
  pump.StateValues[5] = "beyond the count";
  auto& wild = AddIntControl(model_->intControls, "Wild", "D3", {});
  wild.StateCount = 40;  // from a damaged case: only 20 states exist
  wild.StateValues.fill("w");
  const double nan = std::numeric_limits<double>::quiet_NaN();
  // Values truncate towards zero; state 19 is the last there is. The rest
  // name no state in use, or no control.
  const std::tuple<std::int32_t, double, const char*> cases[] = {
      {0, 0, "0"},      {0, 1.9, "HIGH"}, {0, -0.5, "0"},  {1, 19.5, "w"},
      {0, -1, nullptr}, {0, 2, nullptr},  {0, 5, nullptr}, {0, nan, nullptr},
      {1, 20, nullptr}, {-1, 0, nullptr}, {2, 0, nullptr}};
  for (const auto& [handle, value, written] : cases) {
    recorder_->Clear();
    EXPECT_EQ(Run(kSetIntControl, handle, value), written ? 0 : 1) << handle << " " << value;
    EXPECT_EQ(StatusText(), written ? "" : "An integer control variable in Excel is not defined");
    if (written)
      EXPECT_EQ(ValueLines(),
                Strings{"Range.Invoke(0x56C, put, VT_BSTR \"" + std::string(written) + "\")"});
    else
      EXPECT_TRUE(recorder_->Calls().empty()) << "nothing reached the spreadsheet";
  }

  // Read back: the state in use whose value the cell holds, or -1 (how state
  // texts compare is the item classes' business).
  const std::pair<Variant, double> cells[] = {{Variant::Text("high"), 1},
                                              {Variant::Text("beyond the count"), -1},
                                              {Variant(), -1},
                                              {Variant::Double(0), 0}};
  for (const auto& [cell, index] : cells) {
    PutCell("D2", cell);
    EXPECT_EQ(Outcome(kGetIntControl, 0, 99), std::tuple(0, index, "")) << com::VariantToText(cell);
  }
  PutCell("D2", Variant::ErrorValue(excel::kErrNA));
  EXPECT_EQ(Outcome(kGetIntControl, 0, 99), std::tuple(1, 99, "Could not get Data.Cell[D2]"))
      << "no state to report";
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
    for (std::int32_t handle : {-1, 1}) {
      EXPECT_EQ(Outcome(slot, handle, 1), std::tuple(1, 1, message))
          << handle << ", the value stays";
    }
  }
  model_->objective.Defined = false;
  EXPECT_EQ(Outcome(kGetObjective, 0, 5),
            std::tuple(1, 5, "An objective function is not set up in Excel"));
  EXPECT_TRUE(recorder_->Calls().empty()) << recorder_->Transcript();
}

TEST_F(OptimisationValuesTest, EveryCheckedHandleMustNameACompleteIntegerControl) {
  AddIntControl(model_->intControls, "Pump", "D2", {{"", "1"}});
  AddIntControl(model_->intControls, "Valve", "D3", {{"", "1"}}).worksheet = "";
  AddIntControl(model_->intControls, "Ready", "D4", {});
  const std::tuple<std::int32_t, std::vector<std::int32_t>, const char*> cases[] = {
      {0, {}, ""},
      {-3, {}, ""},
      {100, std::vector<std::int32_t>(100, 0), ""},
      {1, {-1}, "Unknown integer variable passed to Excel"},
      {2, {0, 3}, "Unknown integer variable passed to Excel"},
      {3, {2, 1, 7}, "A worksheet reference must be supplied for Valve"},
      {101, {}, "Too many integer controls passed to Excel: 101 (at most 100)"}};
  for (const auto& [count, handles, message] : cases) {
    EXPECT_EQ(Answer(Table().CheckIntegerControls({count, handles})), *message ? 1 : 0);
    EXPECT_EQ(StatusText(), message) << count;
  }
  EXPECT_EQ(Table().Reserved67(), 0);
}

TEST_F(OptimisationValuesTest, ClearingRemovesTheKindsTheMaskNames) {
  AddConstraint(model_->constraints, "K", "C2");
  AddControl(model_->controls, "C", "B2");
  AddIntControl(model_->intControls, "I", "D2", {});
  const auto left = [&] {
    return std::vector<std::size_t>{model_->objective.Defined, model_->constraints.size(),
                                    model_->controls.size(), model_->intControls.size()};
  };
  Table().ClearOptimisation(casedata::ClearMask::kObjective | casedata::ClearMask::kControls);
  EXPECT_EQ(left(), (std::vector<std::size_t>{0, 1, 0, 1}));
  Table().ClearOptimisation(casedata::ClearMask::kIntegerControls);
  EXPECT_EQ(left(), (std::vector<std::size_t>{0, 1, 0, 0}));
}

}  // namespace
}  // namespace optimisation_test
