// The model's optimisation slots, through the interface table as the
// dispatch layer calls them: the set-up with and without its dialog, and the
// answers without a workbook or without a connection.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "model/model.h"
#include "model/scripted_dialogs.h"
#include "opt_fixture.h"
#include "support/application_registration.h"
#include "support/guarded_buffer.h"
#include "support/temp_registry.h"

namespace optimisation_test {
namespace {

using model::DialogResult;
using model::OptimiserPage;
using test_support::GuardedBuffer;

constexpr char kNoWorkbook[] =
    "Can not perform this function until a workbook is opened\n(double-click on the icon to "
    "create input and output icons)";

class ModelOptimisationTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(model_.CreateFailed()) << model_.CreateError();
    char message[EXT_STATUS_TEXT_SIZE] = {};
    ASSERT_EQ(model_.Session()->NewWorkbook(message), 0) << message;
    model_.objective.Defined = true;
    model_.objective.name = "Profit";
    AddControl(model_.controls, "Choke", "Sheet1", "B2", 0, 1);
    AddIntControl(model_.intControls, "Pump", "Sheet1", "D2", {{"", "Off"}, {"", "On"}});
  }

  void TearDown() override {
    EXPECT_TRUE(problem_.GuardsIntact());
    EXPECT_TRUE(status_.GuardsIntact());
  }

  ExtStatusRecord* Status() { return reinterpret_cast<ExtStatusRecord*>(status_.chars()); }
  std::string StatusText() const {
    return std::string(reinterpret_cast<const char*>(status_.bytes.data()) + 4);
  }
  std::int32_t Setup(std::int32_t mode) {
    std::memset(problem_.bytes.data(), 0x11, problem_.size);
    return table_.SetupOptimisation(problem_.bytes.data(), mode, Status());
  }
  std::int32_t RecordI32(std::size_t at) const {
    std::int32_t value;
    std::memcpy(&value, problem_.bytes.data() + at, 4);
    return value;
  }
  bool RecordUntouched() const {
    for (std::size_t i = 0; i < problem_.size; ++i) {
      if (problem_.bytes[i] != 0x11) return false;
    }
    return true;
  }

  test_support::MemoryApplicationRegistration applications_{"memory", /*asDefault=*/true};
  model::CExcModel model_;
  model::CExtInterface& table_ = model_;
  std::shared_ptr<test_support::ScriptedDialogs> dialogs_ =
      std::make_shared<test_support::ScriptedDialogs>();
  test_support::ScopedDialogs scopedDialogs_{dialogs_};
  GuardedBuffer problem_{EXT_OPT_PROBLEM_RECORD_SIZE};
  GuardedBuffer status_{EXT_STATUS_RECORD_SIZE, 0};
};

TEST_F(ModelOptimisationTest, ANegativeModeFillsTheRecordWithoutADialog) {
  for (std::int32_t mode : {-1, -100}) {
    EXPECT_EQ(Setup(mode), 0) << StatusText();
    EXPECT_EQ(problem_.bytes[EXT_OPT_PROBLEM_OBJ_DEFINED_OFFSET], 1);
    EXPECT_EQ(RecordI32(EXT_OPT_PROBLEM_CONTROL_COUNT_OFFSET), 1);
    EXPECT_EQ(RecordI32(EXT_OPT_PROBLEM_CONSTRAINT_COUNT_OFFSET), 0);
    EXPECT_EQ(RecordI32(EXT_OPT_PROBLEM_INT_CONTROL_COUNT_OFFSET), 1);
  }
  EXPECT_TRUE(dialogs_->Calls().empty());
}

TEST_F(ModelOptimisationTest, TheDialogOpensOnThePageTheModeAsksFor) {
  const struct {
    std::int32_t mode;
    OptimiserPage page;
  } cases[] = {{0, OptimiserPage::kObjectiveAndConstraints},
               {1, OptimiserPage::kObjectiveAndConstraints},
               {2, OptimiserPage::kControls},
               {9, OptimiserPage::kControls}};
  for (const auto& c : cases)
    EXPECT_EQ(Setup(c.mode), 0) << c.mode;
  const auto calls = dialogs_->Calls();
  ASSERT_EQ(calls.size(), std::size(cases));
  for (std::size_t i = 0; i < calls.size(); ++i) {
    EXPECT_EQ(calls[i].dialog, "SetupOptimisation");
    EXPECT_EQ(calls[i].page, cases[i].page) << cases[i].mode;
    EXPECT_EQ(calls[i].parent, nullptr);
  }
}

TEST_F(ModelOptimisationTest, WhatTheUserSetsUpIsWhatTheHostLearns) {
  dialogs_->OnSetupOptimisation([](OptimiserPage, model::CExcModel& model) {
    AddConstraint(model.constraints, "Water", "Sheet1", "C2", 2, 100);
    model.controls.RemoveAt(0);
    model.objective.Maximise = false;
    return DialogResult::kOk;
  });
  EXPECT_EQ(Setup(0), 0);
  EXPECT_EQ(RecordI32(EXT_OPT_PROBLEM_CONSTRAINT_COUNT_OFFSET), 1);
  EXPECT_EQ(RecordI32(EXT_OPT_PROBLEM_CONTROL_COUNT_OFFSET), 0);
  EXPECT_EQ(problem_.bytes[EXT_OPT_PROBLEM_OBJ_MAXIMISE_OFFSET], 0);
  EXPECT_EQ(model_.constraints.size(), 1u);
}

TEST_F(ModelOptimisationTest, ACancelledDialogLeavesTheItemsAndTheRecordAsTheyWere) {
  dialogs_->OnSetupOptimisation([](OptimiserPage, model::CExcModel& model) {
    // Edits a dialog that does not put things back would leave.
    AddConstraint(model.constraints, "Water", "Sheet1", "C2");
    model.controls.At(0)->UpperBound = 50;
    model.intControls.Clear();
    model.objective.Clear();
    return DialogResult::kCancel;
  });
  const optimisation::CExcControlVariable control(*model_.controls.At(0));
  EXPECT_EQ(Setup(2), 1);
  EXPECT_TRUE(RecordUntouched());
  EXPECT_TRUE(model_.objective.Defined);
  EXPECT_EQ(model_.objective.name, "Profit");
  EXPECT_EQ(model_.constraints.size(), 0u);
  ASSERT_EQ(model_.controls.size(), 1u);
  EXPECT_TRUE(*model_.controls.At(0) == control);
  ASSERT_EQ(model_.intControls.size(), 1u);
  EXPECT_EQ(model_.intControls.At(0)->StateValues[1], "On");

  // The library's own dialogs answer as cancelled.
  const test_support::ScopedDialogs libraryDialogs(nullptr);
  EXPECT_EQ(Setup(0), 1);
  EXPECT_TRUE(RecordUntouched());
  EXPECT_EQ(Setup(-1), 0) << "the headless set-up needs no dialog";
}

TEST_F(ModelOptimisationTest, WithoutAWorkbookNothingIsSetUpOrRead) {
  model_.Session()->CloseWorkbook();
  for (std::int32_t mode : {-1, 0, 2}) {
    EXPECT_EQ(Setup(mode), -1);
    EXPECT_EQ(StatusText(), kNoWorkbook);
    EXPECT_TRUE(RecordUntouched());
  }
  EXPECT_TRUE(dialogs_->Calls().empty());

  GuardedBuffer value(EXT_OPT_VALUE_RECORD_MIN_SIZE, 0);
  EXPECT_EQ(table_.GetObjectiveFunction(value.bytes.data(), Status()), -1);
  EXPECT_EQ(StatusText(), "Lost connection to Excel");
  EXPECT_EQ(table_.GetConstraints(value.bytes.data(), Status()), -1);
  EXPECT_TRUE(value.GuardsIntact());
}

TEST_F(ModelOptimisationTest, ValueSlotsReachTheirCells) {
  GuardedBuffer value(EXT_OPT_VALUE_RECORD_MIN_SIZE, 0);
  const auto put = [&](std::int32_t handle, double number) {
    std::memcpy(value.bytes.data() + EXT_OPT_VALUE_HANDLE_OFFSET, &handle, 4);
    std::memcpy(value.bytes.data() + EXT_OPT_VALUE_VALUE_OFFSET, &number, 8);
  };
  const auto read = [&] {
    double number;
    std::memcpy(&number, value.bytes.data() + EXT_OPT_VALUE_VALUE_OFFSET, 8);
    return number;
  };
  model_.objective.worksheet = "Sheet1";
  model_.objective.cell = "B2";

  put(0, 4.5);
  EXPECT_EQ(table_.SetControls(value.bytes.data(), Status()), 0) << StatusText();
  put(0, 0);
  EXPECT_EQ(table_.GetControls(value.bytes.data(), Status()), 0);
  EXPECT_EQ(read(), 4.5);
  put(0, 0);
  EXPECT_EQ(table_.GetObjectiveFunction(value.bytes.data(), Status()), 0) << "the same cell";
  EXPECT_EQ(read(), 4.5);
  put(0, 1);
  EXPECT_EQ(table_.SetIntegerControls(value.bytes.data(), Status()), 0);
  put(0, -5);
  EXPECT_EQ(table_.GetIntegerControls(value.bytes.data(), Status()), 0);
  EXPECT_EQ(read(), 1);
  put(0, 0);
  EXPECT_EQ(table_.GetConstraints(value.bytes.data(), Status()), 1);
  EXPECT_EQ(StatusText(), "Handle to unknown constraint passed to Gridmoor.dll");

  GuardedBuffer list(EXT_INT_CONTROL_LIST_RECORD_MIN_SIZE, 0);
  const std::int32_t one[] = {1, 0};
  std::memcpy(list.bytes.data() + EXT_INT_CONTROL_LIST_COUNT_OFFSET, one, sizeof one);
  EXPECT_EQ(table_.CheckIntegerControls(list.bytes.data(), Status()), 0);
  EXPECT_EQ(table_.Reserved67(), 0);

  EXPECT_EQ(table_.ClearOptimisation(6, Status()), 0);
  EXPECT_TRUE(model_.objective.Defined);
  EXPECT_TRUE(model_.controls.empty());
  EXPECT_EQ(model_.intControls.size(), 1u);
  EXPECT_EQ(table_.ClearOptimisation(9, Status()), 0);
  EXPECT_FALSE(model_.objective.Defined);
  EXPECT_TRUE(model_.intControls.empty());
  EXPECT_TRUE(value.GuardsIntact());
  EXPECT_TRUE(list.GuardsIntact());
}

TEST(ModelOptimisationWithoutConnection, EverySlotThatNeedsTheSpreadsheetSaysSo) {
  const test_support::ScopedEnv noApplication("GRIDMOOR_SPREADSHEET", "none");
  model::CExcModel model;
  ASSERT_EQ(model.Session(), nullptr);
  model.objective.Defined = true;
  AddControl(model.controls, "C", "Sheet1", "B2");
  AddIntControl(model.intControls, "I", "Sheet1", "D2", {{"", "1"}});
  model::CExtInterface& table = model;
  GuardedBuffer problem(EXT_OPT_PROBLEM_RECORD_SIZE);
  GuardedBuffer value(EXT_OPT_VALUE_RECORD_MIN_SIZE, 0);
  GuardedBuffer status(EXT_STATUS_RECORD_SIZE, 0);
  auto* statusRecord = reinterpret_cast<ExtStatusRecord*>(status.chars());
  void* v = value.bytes.data();
  const struct {
    const char* what;
    std::function<std::int32_t()> run;
    std::int32_t result;
  } slots[] = {
      {"SetupOptimisation",
       [&] { return table.SetupOptimisation(problem.bytes.data(), -1, statusRecord); }, -1},
      {"GetObjectiveFunction", [&] { return table.GetObjectiveFunction(v, statusRecord); }, -1},
      {"GetConstraints", [&] { return table.GetConstraints(v, statusRecord); }, -1},
      {"SetControls", [&] { return table.SetControls(v, statusRecord); }, 1},
      {"GetControls", [&] { return table.GetControls(v, statusRecord); }, 1},
      {"SetIntegerControls", [&] { return table.SetIntegerControls(v, statusRecord); }, 1},
      {"GetIntegerControls", [&] { return table.GetIntegerControls(v, statusRecord); }, 1},
  };
  for (const auto& slot : slots) {
    std::memset(status.bytes.data(), 0, EXT_STATUS_RECORD_SIZE);
    std::memset(v, 0, EXT_OPT_VALUE_RECORD_MIN_SIZE);  // handle 0, value 0: both valid
    EXPECT_EQ(slot.run(), slot.result) << slot.what;
    EXPECT_EQ(std::string(statusRecord->text), model::kNoConnectionMessage) << slot.what;
  }
  EXPECT_EQ(problem.bytes[EXT_OPT_PROBLEM_OBJ_DEFINED_OFFSET], 0x11) << "nothing written";
  EXPECT_TRUE(problem.GuardsIntact());
  EXPECT_TRUE(value.GuardsIntact());
  EXPECT_TRUE(status.GuardsIntact());
}

}  // namespace
}  // namespace optimisation_test
