// The model's set-up of the optimisation problem with and without its
// dialog, and the answers without a workbook or without a connection.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "items_fixture.h"
#include "model/scripted_dialogs.h"

namespace optimisation_test {
namespace {

using model::DialogResult;
using model::OptimiserPage;

class ModelOptimisationTest : public ItemsTest {
 protected:
  void SetUp() override {
    ItemsTest::SetUp();
    model_->objective.Defined = true;
    model_->objective.name = "Profit";
    AddControl(model_->controls, "Choke", "B2", 0, 1);
    AddIntControl(model_->intControls, "Pump", "D2", {{"", "Off"}, {"", "On"}});
  }

  std::shared_ptr<test_support::ScriptedDialogs> dialogs_ =
      std::make_shared<test_support::ScriptedDialogs>();
  test_support::ScopedDialogs scopedDialogs_{dialogs_};
};

TEST_F(ModelOptimisationTest, TheModeChoosesWhetherAndWhereTheDialogOpens) {
  const struct {
    std::int32_t mode;
    bool dialog;
    OptimiserPage page;
  } cases[] = {{-1, false, {}},
               {-100, false, {}},
               {0, true, OptimiserPage::kObjectiveAndConstraints},
               {1, true, OptimiserPage::kObjectiveAndConstraints},
               {2, true, OptimiserPage::kControls},
               {9, true, OptimiserPage::kControls}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.mode);
    const std::size_t before = dialogs_->Calls().size();
    EXPECT_EQ(Setup(c.mode), 0) << StatusText();
    EXPECT_EQ(problem_.bytes[EXT_OPT_PROBLEM_OBJ_DEFINED_OFFSET], 1);
    EXPECT_EQ(ProblemI32(EXT_OPT_PROBLEM_CONTROL_COUNT_OFFSET), 1);
    EXPECT_EQ(ProblemI32(EXT_OPT_PROBLEM_CONSTRAINT_COUNT_OFFSET), 0);
    EXPECT_EQ(ProblemI32(EXT_OPT_PROBLEM_INT_CONTROL_COUNT_OFFSET), 1);
    const auto calls = dialogs_->Calls();
    ASSERT_EQ(calls.size(), before + (c.dialog ? 1 : 0));
    if (!c.dialog) continue;
    EXPECT_EQ(calls.back().dialog, "SetupOptimisation");
    EXPECT_EQ(calls.back().page, c.page);
    EXPECT_EQ(calls.back().parent, nullptr);
  }
}

TEST_F(ModelOptimisationTest, WhatTheUserSetsUpIsWhatTheHostLearns) {
  dialogs_->OnSetupOptimisation([](OptimiserPage, model::CExcModel& model) {
    AddConstraint(model.constraints, "Water", "C2", 2, 100);
    model.controls.RemoveAt(0);
    model.objective.Maximise = false;
    return DialogResult::kOk;
  });
  EXPECT_EQ(Setup(0), 0);
  EXPECT_EQ(ProblemI32(EXT_OPT_PROBLEM_CONSTRAINT_COUNT_OFFSET), 1);
  EXPECT_EQ(ProblemI32(EXT_OPT_PROBLEM_CONTROL_COUNT_OFFSET), 0);
  EXPECT_EQ(problem_.bytes[EXT_OPT_PROBLEM_OBJ_MAXIMISE_OFFSET], 0);
  EXPECT_EQ(model_->constraints.size(), 1u);
}

TEST_F(ModelOptimisationTest, ACancelledDialogLeavesTheItemsAndTheRecordAsTheyWere) {
  dialogs_->OnSetupOptimisation([](OptimiserPage, model::CExcModel& model) {
    // Edits a dialog that does not put things back would leave.
    AddConstraint(model.constraints, "Water", "C2");
    model.controls.At(0)->UpperBound = 50;
    model.intControls.Clear();
    model.objective.Clear();
    return DialogResult::kCancel;
  });
  const optimisation::CExcControlVariable control(*model_->controls.At(0));
  EXPECT_EQ(Setup(2), 1);
  EXPECT_TRUE(ProblemUntouched());
  EXPECT_TRUE(model_->objective.Defined);
  EXPECT_EQ(model_->objective.name, "Profit");
  EXPECT_EQ(model_->constraints.size(), 0u);
  ASSERT_EQ(model_->controls.size(), 1u);
  EXPECT_TRUE(*model_->controls.At(0) == control);
  ASSERT_EQ(model_->intControls.size(), 1u);
  EXPECT_EQ(model_->intControls.At(0)->StateValues[1], "On");

  // The library's own dialogs answer as cancelled.
  const test_support::ScopedDialogs libraryDialogs(nullptr);
  EXPECT_EQ(Setup(0), 1);
  EXPECT_TRUE(ProblemUntouched());
  EXPECT_EQ(Setup(-1), 0) << "the headless set-up needs no dialog";
}

TEST_F(ModelOptimisationTest, WithoutAWorkbookNothingIsSetUpOrRead) {
  AddConstraint(model_->constraints, "K", "C2");
  model_->Session()->CloseWorkbook();
  for (std::int32_t mode : {-1, 0, 2}) {
    EXPECT_EQ(Setup(mode), -1);
    EXPECT_EQ(StatusText(),
              "Can not perform this function until a workbook is opened\n(double-click on the "
              "icon to create input and output icons)");
    EXPECT_TRUE(ProblemUntouched());
  }
  EXPECT_TRUE(dialogs_->Calls().empty());
  for (ValueSlot slot : {&Interface::GetObjectiveFunction, &Interface::GetConstraints}) {
    ClearStatus();
    EXPECT_EQ(Run(slot, 0, 5), -1);
    EXPECT_EQ(StatusText(), "Lost connection to Excel");
    EXPECT_EQ(ValueRead(), 5);
  }
}

TEST_F(ModelOptimisationTest, WithoutAConnectionEverySlotThatNeedsTheSpreadsheetSaysSo) {
  ASSERT_EQ(model_->StopApplication(), 0);
  ASSERT_EQ(model_->Session(), nullptr);
  EXPECT_EQ(Setup(-1), -1);
  EXPECT_EQ(StatusText(), "There is no connection to Excel");
  EXPECT_TRUE(ProblemUntouched());
  const std::pair<ValueSlot, std::int32_t> slots[] = {
      {&Interface::GetObjectiveFunction, -1}, {&Interface::GetConstraints, -1},
      {&Interface::SetControls, 1},           {&Interface::GetControls, 1},
      {&Interface::SetIntegerControls, 1},    {&Interface::GetIntegerControls, 1}};
  AddConstraint(model_->constraints, "K", "C2");
  for (const auto& [slot, result] : slots) {
    ClearStatus();
    EXPECT_EQ(Run(slot, 0, 0), result);  // handle 0 is valid for every kind
    EXPECT_EQ(StatusText(), "There is no connection to Excel");
  }
}

}  // namespace
}  // namespace optimisation_test
