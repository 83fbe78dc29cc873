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
#include "model/run_events.h"
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

TEST_F(OptimisationValuesTest, ConstraintsBesideTheObjectiveComeWithItUntilAnotherRequest) {
  AddConstraint(model_->constraints, "Near", "C2");
  AddConstraint(model_->constraints, "Text", "B3");
  AddConstraint(model_->constraints, "Far", "C2").worksheet = "Sheet1";
  AddControl(model_->controls, "Choke", "C2");
  PutCell("B2", Variant::Double(1));
  PutCell("C2", Variant::Double(2));
  PutCell("B3", Variant::Text("x"));
  PutCell("C2", Variant::Double(4), "Sheet1");
  const auto ranges = [&] { return RangesAsked().size(); };
  EXPECT_EQ(Outcome(kGetObjective, 0, -1), std::tuple(0, 1, ""));
  EXPECT_EQ(RangesAsked(), Strings{"B2"}) << "B2:C3 in one call";
  // Near comes from that read; the text and the other sheet's cell are read
  // alone, as they always were.
  const std::tuple<std::int32_t, std::int32_t, double, std::size_t> reads[] = {
      {0, 0, 2, 1}, {1, 1, kUndefined, 2}, {2, 0, 4, 3}, {0, 0, 2, 4}};
  for (const auto& [handle, result, value, asked] : reads) {
    const auto [gotResult, gotValue, message] = Outcome(kGetConstraint, handle, -1);
    EXPECT_EQ(std::pair(gotResult, gotValue), std::pair(result, value)) << handle << message;
    EXPECT_EQ(ranges(), asked) << handle << ", taken once";
  }
  // A request between the two reads: the constraint shows the write it made.
  EXPECT_EQ(Outcome(kGetObjective, 0, -1), std::tuple(0, 1, ""));
  EXPECT_EQ(Run(kSetControl, 0, 9), 0);
  EXPECT_EQ(Outcome(kGetConstraint, 0, -1), std::tuple(0, 9, ""));
}

TEST_F(OptimisationValuesTest, ControlsAreWrittenAsGivenAsDoublesOrSayWhyNot) {
  AddControl(model_->controls, "Choke", "B4", 0.5, 2.0);
  AddControl(model_->controls, "Rate", "3:5").worksheet = "Sheet1";  // C5
  AddControl(model_->controls, "Unbound", "  ");
  // 7 is above the upper bound, not clamped; the third control has no cell.
  // Each write goes out with the next request.
  const std::tuple<std::int32_t, double, const char*> cases[] = {
      {0, 7, "VT_R8 7"}, {1, 0.25, "VT_R8 0.25"}, {2, 4, nullptr}};
  for (const auto& [handle, value, written] : cases) {
    recorder_->Clear();
    EXPECT_EQ(Run(kSetControl, handle, value), 0) << StatusText();
    EXPECT_EQ(SendHeld(), 0) << StatusText();
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
  // A write held fails as itself when it goes out; a cell text that names
  // no cell is refused at once.
  const std::tuple<std::int32_t, bool, std::string> failures[] = {
      {3, true, "Error in setting data in Excel: Unable to get worksheet Nowhere" + badIndex},
      {4, false, "Error in setting data cell 703:1, worksheet Data:" + badIndex},
      {0, true,
       "Error in setting data cell B4, worksheet Data: (" +
           com::ComErrorText(excel::kApplicationError) + ")"}};
  recorder_->FailCall("Range.Invoke", excel::kApplicationError);  // reached by the last only
  for (const auto& [handle, held, message] : failures) {
    EXPECT_EQ(Run(kSetControl, handle, 1), held ? 0 : 1);
    if (held) {
      EXPECT_EQ(SendHeld(), 1);
    }
    EXPECT_EQ(StatusText(), message);
  }
  EXPECT_EQ(Cell("B4"), Variant::Double(7)) << "nothing written";
}

TEST_F(OptimisationValuesTest, HeldWritesGoOutBeforeAnyReadNeighboursInOneCall) {
  for (const char* cell : {"B4", "B5", "B6"})
    AddControl(model_->controls, cell, cell);
  AddControl(model_->controls, "Elsewhere", "B7").worksheet = "Sheet1";
  // The writes as the host makes them, the calls that carry them out, and
  // what B4:B6 then hold.
  struct Case {
    std::vector<std::pair<std::int32_t, double>> writes;
    Strings puts;
    std::vector<double> column;
  };
  const Case cases[] = {{{{0, 1}, {1, 2}, {2, 3}}, {"B4:B6"}, {1, 2, 3}},
                        {{{2, 6}, {1, 5}}, {"B6", "B5"}, {1, 5, 6}},
                        {{{0, 7}, {3, 9}, {1, 8}}, {"B4", "B7", "B5"}, {7, 8, 6}},
                        {{{1, 4}, {1, 3}}, {"B5", "B5"}, {7, 3, 6}}};
  for (const Case& c : cases) {
    recorder_->Clear();
    for (const auto& [handle, value] : c.writes)
      EXPECT_EQ(Run(kSetControl, handle, value), 0);
    EXPECT_TRUE(ValueLines().empty()) << "held";
    // A read is a request like any other: it sees what was written.
    EXPECT_EQ(Outcome(kGetControl, 1, 0), std::tuple(0, c.column[1], ""));
    Strings puts = Recorded("Worksheet.GetRange", false);
    puts.pop_back();                 // the read's
    for (std::string& put : puts) {  // the cells asked for: "B4:B6", "B5"
      std::string cells;
      for (std::size_t at = put.find('"'); at != std::string::npos; at = put.find('"', at + 1)) {
        const std::size_t end = put.find('"', at + 1);
        cells += (cells.empty() ? "" : ":") + put.substr(at + 1, end - at - 1);
        at = end;
      }
      put = cells;
    }
    EXPECT_EQ(puts, c.puts);
    for (std::size_t row = 0; row < 3; ++row)
      EXPECT_EQ(Cell("B" + std::to_string(4 + row)), Variant::Double(c.column[row]));
  }
  // The write that fails is the answer; those after it are dropped, as the
  // host would not have made them.
  recorder_->FailFrom("Range.Invoke", excel::kApplicationError);
  for (std::int32_t handle : {0, 1, 2})
    EXPECT_EQ(Run(kSetControl, handle, 0), 0);
  EXPECT_EQ(Outcome(kGetControl, 1, -1),
            std::tuple(1, -1,
                       "Error in setting data cell B4, worksheet "
                       "Data: (" +
                           com::ComErrorText(excel::kApplicationError) + ")"));
  recorder_->ClearFaults();
  EXPECT_EQ(SendHeld(), 0) << "nothing left held";
  for (std::size_t row = 0; row < 3; ++row)
    EXPECT_EQ(Cell("B" + std::to_string(4 + row)), Variant::Double(cases[3].column[row]));
}

// An event's request leaves the writes held for its macro's call; they are
// in the cells before the macro runs, with or without a macro, and a write
// that fails is the event's answer, the macro not run.
TEST_F(OptimisationValuesTest, HeldWritesAreInTheCellsBeforeAnEventsMacroRuns) {
  AddControl(model_->controls, "Choke", "B4");
  AddControl(model_->controls, "Lost", "B4").worksheet = "Nowhere";
  std::vector<std::string> seen;
  Application()->RegisterMacro("Module1.Go", [&seen](auto& application, const auto&) {
    seen.push_back(com::VariantToText(application.ActiveWorkbook()->CellValue("Data", "B4")));
    return Variant();
  });
  using Request = model::CExcModel::Request;
  const std::tuple<const char*, std::int32_t, std::string> cases[] = {
      {"Go", 0, ""},
      {"  ", 0, ""},
      {"Go", 1,
       "Error in setting data in Excel: Unable to get worksheet Nowhere (" +
           com::ComErrorText(com::DISP_E_BADINDEX) + ")"}};
  double value = 1;
  for (const auto& [macro, handle, message] : cases) {
    SCOPED_TRACE(std::string(macro) + " " + std::to_string(handle));
    seen.clear();
    recorder_->Clear();
    model_->caseDetails.macros[model::kPreSolveEvent] = macro;
    EXPECT_EQ(Run(kSetControl, handle, ++value), 0);
    EXPECT_EQ(model_->BeforeRequest(Request::kEvent).Message(), "");
    EXPECT_TRUE(ValueLines().empty()) << "still held";
    EXPECT_EQ(model_->OnPreSolve().Message(), message);
    const std::string b4 = com::VariantToText(Cell("B4"));
    EXPECT_EQ(seen, message.empty() && *macro == 'G' ? std::vector<std::string>{b4}
                                                     : std::vector<std::string>{});
    if (message.empty()) {
      EXPECT_EQ(Cell("B4"), Variant::Double(value));
    }
    EXPECT_EQ(SendHeld(), 0) << "nothing left held";
  }
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
