// The problem record the host learns the optimisation problem from, byte for
// byte, as the headless set-up (a negative mode) fills it.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "items_fixture.h"

namespace optimisation_test {
namespace {

class ProblemRecordTest : public ItemsTest {
 protected:
  std::int32_t Fill() { return Setup(-1); }
  std::vector<unsigned char> Record() const {
    return {problem_.bytes.begin(), problem_.bytes.begin() + EXT_OPT_PROBLEM_RECORD_SIZE};
  }
  std::string Bytes(std::size_t at, std::size_t width) const {
    return std::string(reinterpret_cast<const char*>(problem_.bytes.data()) + at, width);
  }
  // A text field up to its NUL.
  std::string Text(std::size_t at, std::size_t width) const { return Bytes(at, width).c_str(); }
  unsigned char U8(std::size_t at) const { return problem_.bytes[at]; }

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
    const auto actual = Record();
    for (std::size_t i = 0; i < actual.size(); ++i) {
      if (actual[i] != expected_[i])
        return ::testing::AssertionFailure() << "first difference at byte " << i;
    }
    return ::testing::AssertionSuccess();
  }
};

TEST_F(ProblemRecordTest, AWholeProblemLandsAtTheHostsOffsets) {
  auto& objective = model_->objective;
  objective.Defined = true;
  objective.Maximise = false;
  objective.name = "Net present value";
  objective.unit = std::string(20, 'U');  // texts as wide as their fields and wider
  AddConstraint(model_->constraints, "Gas export", "C2", 2, 150.5).unit = "MMscf/d";
  AddConstraint(model_->constraints, std::string(70, 'w'), "C3", 0, kUndefined).unit =
      std::string(16, 'u');
  AddControl(model_->controls, "Choke A", "B2", 0.5, 2.0).unit = "in";
  AddControl(model_->controls, "Lift gas", "B3", kUndefined, 10).unit = "MMscf/d";
  AddIntControl(
      model_->intControls, "Pump", "D2",
      {{"", "10"}, {"High", "20"}, {"  ", std::string(32, 'v')}, {std::string(40, 'n'), "x"}});

  auto& e = expected_;
  e[4] = 1;
  Padded(5, 64, "Net present value");
  Padded(69, 16, std::string(16, 'U'));
  e[85] = 0;

  ExpectConstraint(0, "Gas export", "MMscf/d", 150.5, 2);
  ExpectConstraint(1, std::string(64, 'w'), std::string(16, 'u'), kUndefined, 0);
  Write(e, 45968, std::int32_t{2});
  ExpectControl(0, "Choke A", "in", true, 0.5, true, 2.0);
  ExpectControl(1, "Lift gas", "MMscf/d", false, kUndefined, true, 10);
  Write(e, 22624, std::int32_t{2});
  Terminated(46108, "Pump");
  Write(e, 46108 + 32, std::int32_t{0});
  Write(e, 46108 + 36, std::int32_t{4});
  Padded(46108 + 40, 32, "10");
  Padded(46108 + 72, 32, "High");
  Padded(46108 + 104, 32, std::string(32, 'v'));  // a name of spaces is blank
  Padded(46108 + 136, 32, std::string(32, 'n'));
  Write(e, 126908, std::int32_t{1});

  ASSERT_EQ(Fill(), 0) << StatusText();
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
  ASSERT_EQ(Fill(), 0);
  EXPECT_TRUE(MatchesExpected());
}

TEST_F(ProblemRecordTest, ControlNamesAndUnitsAreCutToTheirFieldsWithATerminator) {
  const std::string eAcute = "\xc3\xa9";
  const struct {
    std::string name;
    std::string unit;
    std::string nameInRecord;
    std::string unitInRecord;
  } cases[] = {
      {std::string(31, 'a'), std::string(15, 'u'), std::string(31, 'a'), std::string(15, 'u')},
      {std::string(32, 'b'), std::string(16, 'v'), std::string(31, 'b'), std::string(15, 'v')},
      {std::string(50, 'c'), std::string(40, 'w'), std::string(31, 'c'), std::string(15, 'w')},
      // A two-byte character that would straddle the end is left out whole.
      {std::string(30, 'd') + eAcute, std::string(14, 'x') + eAcute, std::string(30, 'd'),
       std::string(14, 'x')},
      {std::string(29, 'e') + eAcute, "", std::string(29, 'e') + eAcute, ""},
  };
  for (const auto& c : cases) {
    AddControl(model_->controls, c.name, "B2").unit = c.unit;
    AddIntControl(model_->intControls, c.name, "D2", {});
  }
  ASSERT_EQ(Fill(), 0);
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    const std::size_t control = 224 + 224 * i;
    EXPECT_EQ(Text(control, 32), cases[i].nameInRecord) << i;
    EXPECT_EQ(Text(control + 32, 16), cases[i].unitInRecord) << i;
    EXPECT_EQ(Text(46108 + 808 * i, 32), cases[i].nameInRecord) << i;
    EXPECT_EQ(U8(control + 48), 0) << "the unit's terminator stays inside its field";
  }
}

TEST_F(ProblemRecordTest, BoundsArePresentOnlyBelowTheThresholdAndTypesAreZeroTwoOrElseOne) {
  // Each control's upper bound is its lower bound negated.
  const double bounds[] = {3.2e35, 3.3e35, 1e300, 3.1999e35, 0, -1e300};
  for (double bound : bounds)
    AddControl(model_->controls, "C", "B2", bound, -bound);
  const std::pair<std::uint32_t, std::int32_t> types[] = {
      {0, 0}, {1, 1}, {2, 2}, {3, 1}, {0xFFFFFFFFu, 1}};
  for (const auto& [stored, inRecord] : types)
    AddConstraint(model_->constraints, "K", "C2", stored, 1);
  ASSERT_EQ(Fill(), 0);
  for (std::size_t i = 0; i < std::size(bounds); ++i) {
    EXPECT_EQ(U8(224 + 224 * i + 48), bounds[i] < 3.2e35 ? 1 : 0) << bounds[i];
    EXPECT_EQ(U8(224 + 224 * i + 64), -bounds[i] < 3.2e35 ? 1 : 0) << -bounds[i];
  }
  for (std::size_t i = 0; i < std::size(types); ++i)
    EXPECT_EQ(ProblemI32(22768 + 232 * i + 88), types[i].second) << types[i].first;
}

TEST_F(ProblemRecordTest, StateCountsAreKeptInsideTheTwentyLabels) {
  auto& many = AddIntControl(model_->intControls, "Many", "D2", {});
  for (int k = 0; k < optimisation::kMaxStates; ++k)
    many.StateValues[k] = "v" + std::to_string(k);
  many.StateCount = 25;
  AddIntControl(model_->intControls, "Negative", "D3", {{"", "x"}}).StateCount = -4;
  ASSERT_EQ(Fill(), 0);
  EXPECT_EQ(ProblemI32(46108 + 36), 20);
  EXPECT_EQ(Bytes(46108 + 40 + 32 * 19, 4), std::string("v19\0", 4));
  EXPECT_EQ(Bytes(46108 + 680, 808 - 680), std::string(128, '\x11')) << "nothing after label 20";
  EXPECT_EQ(ProblemI32(46108 + 808 + 36), 0);
  EXPECT_EQ(U8(46108 + 808 + 40), 0x11) << "no labels for no states";
}

TEST_F(ProblemRecordTest, MoreThanAHundredItemsOfAKindAreLeftOutAndCounted) {
  for (int i = 0; i < 101; ++i)
    AddConstraint(model_->constraints, "K" + std::to_string(i), "C2");
  for (int i = 0; i < 103; ++i)
    AddControl(model_->controls, "C" + std::to_string(i), "B2");
  for (int i = 0; i < 100; ++i)
    AddIntControl(model_->intControls, "I" + std::to_string(i), "D2", {{"", "1"}});

  EXPECT_EQ(Fill(), 0);
  EXPECT_EQ(ProblemI32(45968), 100);
  EXPECT_EQ(ProblemI32(22624), 100);
  EXPECT_EQ(ProblemI32(126908), 100);
  // Handles count up within each kind.
  EXPECT_EQ(ProblemI32(22768 + 232 * 99 + 92), 99);
  EXPECT_EQ(Text(22768 + 232 * 99, 64), "K99");
  EXPECT_EQ(ProblemI32(224 + 224 * 99 + 80), 99);
  EXPECT_EQ(ProblemI32(46108 + 808 * 99 + 32), 99);
  EXPECT_EQ(StatusText(),
            "The optimiser takes at most 100 items of each kind; left out: 1 constraint, 3 "
            "controls");

  model_->constraints.RemoveAt(0);
  for (int i = 0; i < 3; ++i)
    model_->controls.RemoveAt(0);
  AddIntControl(model_->intControls, "I100", "D2", {});
  ClearStatus();
  EXPECT_EQ(Fill(), 0);
  EXPECT_EQ(StatusText(),
            "The optimiser takes at most 100 items of each kind; left out: 1 integer control");
  model_->intControls.RemoveAt(0);
  ClearStatus();
  EXPECT_EQ(Fill(), 0);
  EXPECT_EQ(StatusText(), "") << "exactly a hundred of each: nothing to say";
}

TEST_F(ProblemRecordTest, NoRecordIsRefused) {
  EXPECT_EQ(Table().SetupOptimisation(nullptr, -1, Status()), 1);
  EXPECT_EQ(StatusText(), "No record was passed to Gridmoor.dll");
}

}  // namespace
}  // namespace optimisation_test
