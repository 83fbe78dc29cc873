// The problem record the host learns the optimisation problem from, byte for
// byte.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "opt_fixture.h"

namespace optimisation_test {
namespace {

using test_support::GuardedBuffer;

// A record image with the host's fill, for building expected records at the
// offsets the host reads.
class Image {
 public:
  explicit Image(std::vector<unsigned char>& bytes) : bytes_(bytes) {}
  void Byte(std::size_t at, unsigned char value) { bytes_[at] = value; }
  void I32(std::size_t at, std::int32_t value) { std::memcpy(&bytes_[at], &value, 4); }
  void F64(std::size_t at, double value) { std::memcpy(&bytes_[at], &value, 8); }
  // The text and its NUL; the rest of the field keeps what it held.
  void Terminated(std::size_t at, const std::string& text) {
    std::memcpy(&bytes_[at], text.c_str(), text.size() + 1);
  }
  // The text, and NULs to the end of the field.
  void Padded(std::size_t at, std::size_t width, const std::string& text) {
    std::memset(&bytes_[at], 0, width);
    std::memcpy(&bytes_[at], text.data(), text.size());
  }

 private:
  std::vector<unsigned char>& bytes_;
};

class ProblemRecordTest : public ::testing::Test {
 protected:
  void TearDown() override {
    EXPECT_TRUE(problem_.GuardsIntact()) << "written past the problem record";
    EXPECT_TRUE(status_.GuardsIntact()) << "written past the status record";
  }

  std::int32_t Write() {
    return optimisation::WriteProblemRecord({objective_, constraints_, controls_, intControls_},
                                            problem_.bytes.data(),
                                            reinterpret_cast<ExtStatusRecord*>(status_.chars()));
  }
  std::string StatusText() const {
    return std::string(reinterpret_cast<const char*>(status_.bytes.data()) + 4);
  }

  // The record as the host passed it: 0x11 throughout.
  std::vector<unsigned char> Untouched() const {
    return std::vector<unsigned char>(EXT_OPT_PROBLEM_RECORD_SIZE, 0x11);
  }
  std::vector<unsigned char> Record() const {
    return std::vector<unsigned char>(problem_.bytes.begin(),
                                      problem_.bytes.begin() + EXT_OPT_PROBLEM_RECORD_SIZE);
  }
  std::string Bytes(std::size_t at, std::size_t width) const {
    return std::string(reinterpret_cast<const char*>(problem_.bytes.data()) + at, width);
  }
  std::int32_t I32(std::size_t at) const {
    std::int32_t value;
    std::memcpy(&value, problem_.bytes.data() + at, 4);
    return value;
  }
  double F64(std::size_t at) const {
    double value;
    std::memcpy(&value, problem_.bytes.data() + at, 8);
    return value;
  }
  unsigned char U8(std::size_t at) const { return problem_.bytes[at]; }

  optimisation::CExcObjFn objective_;
  optimisation::CExcclConstraint constraints_;
  optimisation::CExcclControlVariable controls_;
  optimisation::CExcclIntCtrlVariable intControls_;
  GuardedBuffer problem_{EXT_OPT_PROBLEM_RECORD_SIZE};
  GuardedBuffer status_{EXT_STATUS_RECORD_SIZE, 0};
};

std::size_t FirstDifference(const std::vector<unsigned char>& a,
                            const std::vector<unsigned char>& b) {
  for (std::size_t i = 0; i < a.size() && i < b.size(); ++i) {
    if (a[i] != b[i]) return i;
  }
  return a.size() == b.size() ? SIZE_MAX : std::min(a.size(), b.size());
}

TEST_F(ProblemRecordTest, AWholeProblemLandsAtTheHostsOffsets) {
  objective_.Defined = true;
  objective_.Maximise = false;
  objective_.name = "Net present value";
  objective_.unit = "MM$";
  AddConstraint(constraints_, "Gas export", "Plant", "C2", 2, 150.5).unit = "MMscf/d";
  AddConstraint(constraints_, "Water", "Plant", "C3", 0, kUndefined);
  AddControl(controls_, "Choke A", "Plant", "B2", 0.5, 2.0).unit = "in";
  AddControl(controls_, "Lift gas", "Plant", "B3", kUndefined, 10).unit = "MMscf/d";
  AddIntControl(intControls_, "Pump", "Plant", "D2", {{"", "10"}, {"High", "20"}});

  std::vector<unsigned char> expected = Untouched();
  Image e(expected);
  e.Byte(4, 1);
  e.Padded(5, 64, "Net present value");
  e.Padded(69, 16, "MM$");
  e.Byte(85, 0);

  e.Padded(22768, 64, "Gas export");
  e.Padded(22768 + 64, 16, "MMscf/d");
  e.F64(22768 + 80, 150.5);
  e.I32(22768 + 88, 2);
  e.I32(22768 + 92, 0);
  e.Byte(22768 + 96, 0);
  e.Padded(23000, 64, "Water");
  e.Padded(23000 + 64, 16, "");
  e.F64(23000 + 80, kUndefined);
  e.I32(23000 + 88, 0);
  e.I32(23000 + 92, 1);
  e.Byte(23000 + 96, 0);
  e.I32(45968, 2);

  e.Terminated(224, "Choke A");
  e.Terminated(224 + 32, "in");
  e.Byte(224 + 48, 1);
  e.F64(224 + 56, 0.5);
  e.Byte(224 + 64, 1);
  e.F64(224 + 72, 2.0);
  e.I32(224 + 80, 0);
  e.F64(224 + 88, kUndefined);
  e.Terminated(448, "Lift gas");
  e.Terminated(448 + 32, "MMscf/d");
  e.Byte(448 + 48, 0);
  e.F64(448 + 56, kUndefined);
  e.Byte(448 + 64, 1);
  e.F64(448 + 72, 10);
  e.I32(448 + 80, 1);
  e.F64(448 + 88, kUndefined);
  e.I32(22624, 2);

  e.Terminated(46108, "Pump");
  e.I32(46108 + 32, 0);
  e.I32(46108 + 36, 2);
  e.Padded(46108 + 40, 32, "10");
  e.Padded(46108 + 72, 32, "High");
  e.I32(126908, 1);

  ASSERT_EQ(Write(), 0) << StatusText();
  EXPECT_EQ(StatusText(), "");
  const std::vector<unsigned char> actual = Record();
  EXPECT_TRUE(actual == expected) << "first difference at byte "
                                  << FirstDifference(actual, expected);
}

TEST_F(ProblemRecordTest, AnUndefinedObjectiveWritesOnlyItsFlag) {
  objective_.name = "Profit";
  objective_.unit = "$";
  objective_.Maximise = false;
  ASSERT_EQ(Write(), 0);
  std::vector<unsigned char> expected = Untouched();
  Image e(expected);
  e.Byte(4, 0);
  e.I32(22624, 0);
  e.I32(45968, 0);
  e.I32(126908, 0);
  EXPECT_TRUE(Record() == expected) << FirstDifference(Record(), expected);
}

TEST_F(ProblemRecordTest, FieldWideTextsFillTheirFieldsWithoutTerminator) {
  objective_.Defined = true;
  objective_.name = std::string(64, 'N');
  objective_.unit = std::string(20, 'U');
  AddConstraint(constraints_, std::string(70, 'c'), "Plant", "C2").unit = std::string(16, 'u');
  AddIntControl(intControls_, "Pump", "Plant", "D2",
                {{"", std::string(32, 'v').c_str()}, {std::string(40, 'n').c_str(), "x"}});
  ASSERT_EQ(Write(), 0);
  EXPECT_EQ(Bytes(5, 64), std::string(64, 'N'));
  EXPECT_EQ(Bytes(69, 16), std::string(16, 'U'));
  EXPECT_EQ(U8(85), 1) << "maximise by default, and the unit did not run into it";
  EXPECT_EQ(Bytes(22768, 64), std::string(64, 'c'));
  EXPECT_EQ(Bytes(22768 + 64, 16), std::string(16, 'u'));
  EXPECT_EQ(Bytes(46108 + 40, 32), std::string(32, 'v'));
  EXPECT_EQ(Bytes(46108 + 72, 32), std::string(32, 'n'));
  EXPECT_EQ(U8(46108 + 104), 0x11) << "no third label";
}

TEST_F(ProblemRecordTest, ControlNamesAndUnitsAreCutToTheirFieldsWithATerminator) {
  const std::string e_acute = "\xc3\xa9";
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
      {std::string(30, 'd') + e_acute, std::string(14, 'x') + e_acute, std::string(30, 'd'),
       std::string(14, 'x')},
      {std::string(29, 'e') + e_acute, "", std::string(29, 'e') + e_acute, ""},
  };
  for (const auto& c : cases) {
    AddControl(controls_, c.name, "Plant", "B2").unit = c.unit;
    AddIntControl(intControls_, c.name, "Plant", "D2", {});
  }
  ASSERT_EQ(Write(), 0);
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    const std::size_t control = 224 + 224 * i;
    const std::size_t intControl = 46108 + 808 * i;
    EXPECT_EQ(std::string(Bytes(control, 32).c_str()), cases[i].nameInRecord) << i;
    EXPECT_EQ(std::string(Bytes(control + 32, 16).c_str()), cases[i].unitInRecord) << i;
    EXPECT_EQ(std::string(Bytes(intControl, 32).c_str()), cases[i].nameInRecord) << i;
    EXPECT_EQ(U8(control + 48), 0) << "the unit's terminator stays inside its field";
  }
}

TEST_F(ProblemRecordTest, BoundsArePresentOnlyBelowTheThreshold) {
  const struct {
    double bound;
    unsigned char present;
  } cases[] = {
      {kUndefined, 0}, {3.2e35, 0}, {3.3e35, 0}, {1e300, 0},
      {3.1999e35, 1},  {0, 1},      {-1e300, 1}, {-kUndefined * 2, 1},
  };
  for (const auto& c : cases)
    AddControl(controls_, "C", "Plant", "B2", c.bound, -c.bound);
  ASSERT_EQ(Write(), 0);
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    const std::size_t entry = 224 + 224 * i;
    EXPECT_EQ(U8(entry + 48), cases[i].present) << cases[i].bound;
    EXPECT_EQ(F64(entry + 56), cases[i].bound) << "written as stored";
    EXPECT_EQ(U8(entry + 64), -cases[i].bound < 3.2e35 ? 1 : 0) << -cases[i].bound;
    EXPECT_EQ(F64(entry + 72), -cases[i].bound);
    EXPECT_EQ(I32(entry + 80), static_cast<std::int32_t>(i));
  }
}

TEST_F(ProblemRecordTest, ConstraintTypesAreZeroTwoOrElseOne) {
  const std::uint32_t stored[] = {0, 1, 2, 3, 0xFFFFFFFFu};
  const std::int32_t inRecord[] = {0, 1, 2, 1, 1};
  for (std::uint32_t type : stored)
    AddConstraint(constraints_, "K", "Plant", "C2", type, 1);
  ASSERT_EQ(Write(), 0);
  for (std::size_t i = 0; i < std::size(stored); ++i) {
    EXPECT_EQ(I32(22768 + 232 * i + 88), inRecord[i]) << stored[i];
    EXPECT_EQ(I32(22768 + 232 * i + 92), static_cast<std::int32_t>(i));
  }
}

TEST_F(ProblemRecordTest, StateCountsAreKeptInsideTheTwentyLabels) {
  auto& many = AddIntControl(intControls_, "Many", "Plant", "D2", {});
  for (int k = 0; k < optimisation::kMaxStates; ++k)
    many.StateValues[k] = "v" + std::to_string(k);
  many.StateCount = 25;
  AddIntControl(intControls_, "Negative", "Plant", "D3", {{"", "x"}}).StateCount = -4;
  ASSERT_EQ(Write(), 0);
  EXPECT_EQ(I32(46108 + 36), 20);
  EXPECT_EQ(Bytes(46108 + 40 + 32 * 19, 4), std::string("v19\0", 4));
  EXPECT_EQ(Bytes(46108 + 680, 808 - 680), std::string(128, '\x11')) << "nothing after label 20";
  EXPECT_EQ(I32(46108 + 808 + 36), 0);
  EXPECT_EQ(U8(46108 + 808 + 40), 0x11) << "no labels for no states";
}

TEST_F(ProblemRecordTest, MoreThanAHundredItemsOfAKindAreLeftOutAndCounted) {
  for (int i = 0; i < 101; ++i)
    AddConstraint(constraints_, "K" + std::to_string(i), "Plant", "C2");
  for (int i = 0; i < 103; ++i)
    AddControl(controls_, "C" + std::to_string(i), "Plant", "B2");
  for (int i = 0; i < 100; ++i)
    AddIntControl(intControls_, "I" + std::to_string(i), "Plant", "D2", {{"", "1"}});

  EXPECT_EQ(Write(), 0);
  EXPECT_EQ(I32(45968), 100);
  EXPECT_EQ(I32(22624), 100);
  EXPECT_EQ(I32(126908), 100);
  EXPECT_EQ(I32(22768 + 232 * 99 + 92), 99);
  EXPECT_EQ(std::string(Bytes(22768 + 232 * 99, 64).c_str()), "K99");
  EXPECT_EQ(I32(224 + 224 * 99 + 80), 99);
  EXPECT_EQ(I32(46108 + 808 * 99 + 32), 99);
  EXPECT_EQ(StatusText(),
            "The optimiser takes at most 100 items of each kind; left out: 1 constraint, 3 "
            "controls");

  // Exactly a hundred of each: nothing to say.
  constraints_.RemoveAt(0);
  for (int i = 0; i < 3; ++i)
    controls_.RemoveAt(0);
  AddIntControl(intControls_, "I100", "Plant", "D2", {});
  std::memset(status_.bytes.data(), 0, EXT_STATUS_RECORD_SIZE);
  EXPECT_EQ(Write(), 0);
  EXPECT_EQ(StatusText(),
            "The optimiser takes at most 100 items of each kind; left out: 1 integer control");
  intControls_.RemoveAt(0);
  std::memset(status_.bytes.data(), 0, EXT_STATUS_RECORD_SIZE);
  EXPECT_EQ(Write(), 0);
  EXPECT_EQ(StatusText(), "");
}

TEST_F(ProblemRecordTest, NoRecordIsRefused) {
  EXPECT_EQ(
      optimisation::WriteProblemRecord({objective_, constraints_, controls_, intControls_}, nullptr,
                                       reinterpret_cast<ExtStatusRecord*>(status_.chars())),
      1);
  EXPECT_EQ(StatusText(), "No record was passed to Gridmoor.dll");
}

}  // namespace
}  // namespace optimisation_test
