// The optimisation problem through the model's slots: its set-up with and
// without the dialog, the problem record the host learns it from, and the
// single items read and written while the host optimises.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <limits>
#include <memory>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "com/error_text.h"
#include "excel/errors.h"
#include "items_fixture.h"
#include "model/scripted_dialogs.h"
#include "support/cell_texts.h"

namespace optimisation_test {
namespace {

using model::DialogResult;
using model::OptimiserPage;
using Strings = std::vector<std::string>;
constexpr ValueSlot kGetObjective = &Interface::GetObjectiveFunction;
constexpr ValueSlot kGetConstraint = &Interface::GetConstraints;
constexpr ValueSlot kSetControl = &Interface::SetControls;
constexpr ValueSlot kGetControl = &Interface::GetControls;
constexpr ValueSlot kSetIntControl = &Interface::SetIntegerControls;
constexpr ValueSlot kGetIntControl = &Interface::GetIntegerControls;

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
    EXPECT_EQ(Setup(mode), 0) << StatusText();
    EXPECT_EQ(ProblemI32(EXT_OPT_PROBLEM_INT_CONTROL_COUNT_OFFSET), 1);
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
  EXPECT_EQ(Setup(0), 0);
  EXPECT_EQ(ProblemI32(EXT_OPT_PROBLEM_CONSTRAINT_COUNT_OFFSET), 1);
  EXPECT_EQ(ProblemI32(EXT_OPT_PROBLEM_CONTROL_COUNT_OFFSET), 0);
  EXPECT_EQ(problem_.bytes[EXT_OPT_PROBLEM_OBJ_MAXIMISE_OFFSET], 0);
  EXPECT_EQ(model_->constraints.size(), 1u);

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
  const optimisation::CExcControlVariable control(*model_->controls.At(0));
  EXPECT_EQ(Setup(2), 1);
  EXPECT_TRUE(ProblemUntouched());
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

TEST_F(ModelOptimisationTest, WithoutAWorkbookOrAConnectionNothingIsSetUpOrRead) {
  AddConstraint(model_->constraints, "K", "C2");
  model_->Session()->CloseWorkbook();
  for (std::int32_t mode : {-1, 0}) {
    EXPECT_EQ(Setup(mode), -1);
    EXPECT_TRUE(ProblemUntouched());
  }
  EXPECT_TRUE(dialogs_->Calls().empty());
  for (ValueSlot slot : {kGetObjective, kGetConstraint}) {
    ClearStatus();
    EXPECT_EQ(Outcome(slot, 0, 5), std::tuple(-1, 5, "Lost connection to Excel"));
  }

  ASSERT_EQ(model_->StopApplication(), 0);
  EXPECT_EQ(Setup(-1), -1);
  EXPECT_EQ(StatusText(), "There is no connection to Excel");
  EXPECT_TRUE(ProblemUntouched());
  const std::pair<ValueSlot, std::int32_t> slots[] = {{kGetObjective, -1}, {kGetConstraint, -1},
                                                      {kSetControl, 1},    {kGetControl, 1},
                                                      {kSetIntControl, 1}, {kGetIntControl, 1}};
  for (const auto& [slot, result] : slots) {
    ClearStatus();
    EXPECT_EQ(Run(slot, 0, 0), result);  // handle 0 is valid for every kind
    EXPECT_EQ(StatusText(), "There is no connection to Excel");
  }
}

// The problem record as the headless set-up (a negative mode) fills it.
class ProblemRecordTest : public ItemsTest {
 protected:
  // The record as the host passes it, 0x11 throughout, to write expectations
  // into at the offsets the host reads.
  std::vector<unsigned char> expected_ =
      std::vector<unsigned char>(EXT_OPT_PROBLEM_RECORD_SIZE, 0x11);
  // The text and its NUL; the rest of the field keeps what it held.
  void Terminated(std::size_t at, const std::string& text) {
    std::memcpy(&expected_[at], text.c_str(), text.size() + 1);
  }
  // The text, and NULs to the end of the field.
  void Padded(std::size_t at, std::size_t width, const std::string& text) {
    std::memset(&expected_[at], 0, width);
    std::memcpy(&expected_[at], text.data(), text.size());
  }
  // Entry i of each kind, as the host reads it.
  void ExpectConstraint(std::size_t i, const std::string& name, const std::string& unit,
                        double limit, std::int32_t type) {
    const std::size_t at = 22768 + 232 * i;
    Padded(at, 64, name);
    Padded(at + 64, 16, unit);
    Write(expected_, at + 80, limit);
    Write(expected_, at + 88, type);
    Write(expected_, at + 92, static_cast<std::int32_t>(i));
    expected_[at + 96] = 0;
  }
  void ExpectControl(std::size_t i, const std::string& name, const std::string& unit, bool hasLower,
                     double lower, bool hasUpper, double upper) {
    const std::size_t at = 224 + 224 * i;
    Terminated(at, name);
    Terminated(at + 32, unit);
    expected_[at + 48] = hasLower;
    Write(expected_, at + 56, lower);
    expected_[at + 64] = hasUpper;
    Write(expected_, at + 72, upper);
    Write(expected_, at + 80, static_cast<std::int32_t>(i));
    Write(expected_, at + 88, kUndefined);
  }
  ::testing::AssertionResult MatchesExpected() const {
    const auto end = problem_.bytes.begin() + EXT_OPT_PROBLEM_RECORD_SIZE;
    const auto first = std::mismatch(problem_.bytes.begin(), end, expected_.begin());
    if (first.first == end) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure()
           << "first difference at byte " << (first.first - problem_.bytes.begin());
  }
};

TEST_F(ProblemRecordTest, AWholeProblemLandsAtTheHostsOffsets) {
  auto& objective = model_->objective;
  // Texts as wide as their fields and wider.
  std::tie(objective.Defined, objective.Maximise, objective.name, objective.unit) =
      std::tuple(true, false, "Net present value", std::string(20, 'U'));
  AddConstraint(model_->constraints, "Gas export", "C2", 2, 150.5).unit = "MMscf/d";
  AddConstraint(model_->constraints, std::string(70, 'w'), "C3", 0, kUndefined).unit =
      std::string(16, 'u');
  AddControl(model_->controls, "Choke A", "B2", 0.5, 2.0).unit = "in";
  AddControl(model_->controls, std::string(50, 'c'), "B3", 1.5, 10).unit = std::string(40, 'm');
  // Bounds are present only below the threshold; constraint types are 0, 2
  // or else 1.
  AddControl(model_->controls, "x", "B4", 3.2e35, 3.1999e35);
  AddConstraint(model_->constraints, "y", "C4", 3, 0);
  AddIntControl(
      model_->intControls, std::string(40, 'p'), "D2",
      {{"", "10"}, {"High", "20"}, {"  ", std::string(32, 'v')}, {std::string(40, 'n'), "x"}});
  // At most twenty labels (how state counts are clamped is the item
  // classes' business).
  auto& many = AddIntControl(model_->intControls, "Many", "D3", {});
  for (int k = 0; k < optimisation::kMaxStates; ++k)
    many.StateValues[k] = "v" + std::to_string(k);
  many.StateCount = 25;

  auto& e = expected_;
  e[4] = 1;
  Padded(5, 64, "Net present value");
  Padded(69, 16, std::string(16, 'U'));
  e[85] = 0;
  ExpectConstraint(0, "Gas export", "MMscf/d", 150.5, 2);
  ExpectConstraint(1, std::string(64, 'w'), std::string(16, 'u'), kUndefined, 0);
  ExpectConstraint(2, "y", "", 0, 1);
  Write(e, 45968, std::int32_t{3});
  ExpectControl(0, "Choke A", "in", true, 0.5, true, 2.0);
  // Control names and units are cut to leave room for their terminator.
  ExpectControl(1, std::string(31, 'c'), std::string(15, 'm'), true, 1.5, true, 10);
  ExpectControl(2, "x", "", false, 3.2e35, true, 3.1999e35);
  Write(e, 22624, std::int32_t{3});
  Terminated(46108, std::string(31, 'p'));
  Write(e, 46108 + 32, std::int32_t{0});
  Write(e, 46108 + 36, std::int32_t{4});
  const std::string labels[] = {"10", "High", std::string(32, 'v'), std::string(32, 'n')};
  for (int k = 0; k < 4; ++k)  // a name of spaces is blank
    Padded(46108 + 40 + 32 * k, 32, labels[k]);
  Terminated(46108 + 808, "Many");
  Write(e, 46108 + 808 + 32, std::int32_t{1});
  Write(e, 46108 + 808 + 36, std::int32_t{20});
  for (int k = 0; k < 20; ++k)
    Padded(46108 + 808 + 40 + 32 * k, 32, "v" + std::to_string(k));
  Write(e, 126908, std::int32_t{2});
  ASSERT_EQ(Setup(-1), 0) << StatusText();
  EXPECT_EQ(StatusText(), "");
  EXPECT_TRUE(MatchesExpected());

  // Undefined, the objective writes only its flag.
  objective.Defined = false;
  model_->constraints.Clear();
  model_->controls.Clear();
  model_->intControls.Clear();
  expected_.assign(EXT_OPT_PROBLEM_RECORD_SIZE, 0x11);
  for (std::size_t count : {22624, 45968, 126908})
    Write(expected_, count, std::int32_t{0});
  expected_[4] = 0;
  ASSERT_EQ(Setup(-1), 0);
  EXPECT_TRUE(MatchesExpected());
  EXPECT_EQ(Table().SetupOptimisation(nullptr, -1, Status()), 1);
  EXPECT_EQ(StatusText(), "No record was passed to Gridmoor.dll");
}

TEST_F(ProblemRecordTest, MoreThanAHundredItemsOfAKindAreLeftOutAndCounted) {
  for (int i = 0; i < 101; ++i)
    AddConstraint(model_->constraints, "K" + std::to_string(i), "C2");
  for (int i = 0; i < 103; ++i)
    AddControl(model_->controls, "C" + std::to_string(i), "B2");
  for (int i = 0; i < 100; ++i)
    AddIntControl(model_->intControls, "I" + std::to_string(i), "D2", {{"", "1"}});

  EXPECT_EQ(Setup(-1), 0);
  EXPECT_EQ((std::vector<std::int32_t>{ProblemI32(45968), ProblemI32(22624), ProblemI32(126908)}),
            (std::vector<std::int32_t>{100, 100, 100}));
  // Handles count up within each kind.
  EXPECT_EQ(ProblemI32(22768 + 232 * 99 + 92), 99);
  EXPECT_STREQ(problem_.chars() + 22768 + 232 * 99, "K99");
  EXPECT_EQ(ProblemI32(224 + 224 * 99 + 80), 99);
  EXPECT_EQ(ProblemI32(46108 + 808 * 99 + 32), 99);
  EXPECT_STREQ(problem_.chars() + 46108 + 808 * 99, "I99");
  EXPECT_EQ(StatusText(),
            "The optimiser takes at most 100 items of each kind; left out: 1 constraint, 3 "
            "controls");

  model_->constraints.RemoveAt(0);
  for (int i = 0; i < 3; ++i)
    model_->controls.RemoveAt(0);
  AddIntControl(model_->intControls, "I100", "D2", {});
  ClearStatus();
  EXPECT_EQ(Setup(-1), 0);
  EXPECT_EQ(StatusText(),
            "The optimiser takes at most 100 items of each kind; left out: 1 integer control");
  model_->intControls.RemoveAt(0);
  ClearStatus();
  EXPECT_EQ(Setup(-1), 0);
  EXPECT_EQ(StatusText(), "") << "exactly a hundred of each: nothing to say";
}

class OptimisationValuesTest : public ItemsTest {
 protected:
  void SetUp() override {
    ItemsTest::SetUp();
    std::tie(model_->objective.Defined, model_->objective.worksheet, model_->objective.cell) =
        std::tuple(true, "Data", "B2");
  }
};

TEST_F(OptimisationValuesTest, ObjectiveAndConstraintsReadTheirCellsUnderTheLockOrSayWhyNot) {
  // How a cell's text becomes a number is the cell transfer's business.
  AddConstraint(model_->constraints, "First", "C2");
  AddConstraint(model_->constraints, "Second", "$C$3").worksheet = "Sheet1";
  PutCell("B2", Variant::Double(12.5));
  PutCell("C3", Variant::Text("3e2"), "Sheet1");
  EXPECT_EQ(Outcome(kGetObjective, 0, -1), std::tuple(0, 12.5, ""));
  EXPECT_EQ(Outcome(kGetConstraint, 1, -1), std::tuple(0, 300, ""));

  int lockedElsewhere = 0;
  recorder_->AddFault({"Range.Invoke", com::E_FAIL, 1, true, [&](const auto&) {
                         lockedElsewhere += test_support::SpreadsheetLockedElsewhere();
                         return false;
                       }});
  EXPECT_EQ(Run(kGetObjective, 0, 0), 0);
  EXPECT_EQ(Run(kGetConstraint, 1, 0), 0);
  EXPECT_EQ(lockedElsewhere, 2) << "held while each cell was read";
  EXPECT_FALSE(test_support::SpreadsheetLockedElsewhere()) << "released on return";
  recorder_->ClearFaults();

  // A read that fails gives the undefined value and the cell transfer's say.
  PutCell("B2", Variant::ErrorValue(excel::kErrDiv0));
  model_->constraints.At(0)->worksheet = "Nowhere";
  EXPECT_EQ(Outcome(kGetObjective, 0, 1), std::tuple(1, kUndefined, "Could not get Data.Cell[B2]"));
  EXPECT_EQ(Outcome(kGetConstraint, 0, 1),
            std::tuple(1, kUndefined, "Unable to get worksheet Nowhere"));
}

// An objective or constraint on a label, or on an empty cell, fails the read
// naming the sheet and cell: never a 0 that the optimiser would take as the
// workbook's answer. A control reads back the same way.
TEST_F(OptimisationValuesTest, ItemCellsThatAreNotWhollyNumbersFailTheRead) {
  AddConstraint(model_->constraints, "Limit", "$C$3").worksheet = "Sheet1";
  AddControl(model_->controls, "Choke", "D5");
  // The slot, the sheet, the cell and the cell as the case names it.
  const std::tuple<ValueSlot, const char*, const char*, const char*> readers[] = {
      {kGetObjective, "Data", "B2", "B2"},
      {kGetConstraint, "Sheet1", "C3", "$C$3"},
      {kGetControl, "Data", "D5", "D5"}};
  for (const auto& [slot, sheet, cell, named] : readers) {
    for (const auto& [text, number] : test_support::kCellTexts) {
      SCOPED_TRACE(std::string(sheet) + "!" + cell + " \"" + text + "\"");
      PutCell(cell, *text == '\0' ? Variant() : Variant::Text(text), sheet);
      const std::string place = std::string(sheet) + "!" + named;
      const std::string message =
          number ? ""
          : *text == '\0'
              ? "Error in getting data from Excel: Type mismatch. " + place + " is empty"
              : "Error in getting data from Excel: Type mismatch. " + place + " holds \"" + text +
                    "\", not a number";
      ClearStatus();
      EXPECT_EQ(Outcome(slot, 0, -1),
                std::tuple(number ? 0 : 1, number.value_or(kUndefined), message));
    }
  }
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
    ClearStatus();
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
    ClearStatus();
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
  ClearStatus();
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
      ClearStatus();
      EXPECT_EQ(Outcome(slot, handle, 1), std::tuple(1, 1, message))
          << handle << ", the value stays";
    }
  }
  model_->objective.Defined = false;
  EXPECT_EQ(Outcome(kGetObjective, 0, 5),
            std::tuple(1, 5, "An objective function is not set up in Excel"));
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
    // A list record with room for exactly the handles given, only ever read;
    // bounded so that the compiler can see the buffer's size cannot wrap.
    GuardedBuffer list(EXT_INT_CONTROL_LIST_HANDLES_OFFSET +
                       4 * std::min<std::size_t>(handles.size(), 128));
    Write(list.bytes, EXT_INT_CONTROL_LIST_COUNT_OFFSET, count);
    for (std::size_t j = 0; j < handles.size(); ++j)
      Write(list.bytes, EXT_INT_CONTROL_LIST_HANDLES_OFFSET + 4 * j, handles[j]);
    const auto before = list.bytes;
    ClearStatus();
    EXPECT_EQ(Table().CheckIntegerControls(list.bytes.data(), Status()), *message ? 1 : 0);
    EXPECT_EQ(StatusText(), message) << count;
    EXPECT_EQ(list.bytes, before);
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
  EXPECT_EQ(Table().ClearOptimisation(EXT_OPT_CLEAR_OBJECTIVE | EXT_OPT_CLEAR_CONTROLS, Status()),
            0);
  EXPECT_EQ(left(), (std::vector<std::size_t>{0, 1, 0, 1}));
  EXPECT_EQ(Table().ClearOptimisation(EXT_OPT_CLEAR_INT_CONTROLS, Status()), 0);
  EXPECT_EQ(left(), (std::vector<std::size_t>{0, 1, 0, 0}));
}

}  // namespace
}  // namespace optimisation_test
