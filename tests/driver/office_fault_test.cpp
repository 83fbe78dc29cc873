// A frozen office through the driver's entry points, in both modes: the
// command fails at the limit (GRIDMOOR_CALL_TIMEOUT, set by CTest) with the
// reason and the office is gone. That the next application starts a new
// office is the Calc tests' business.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>

#include "driver/application/app.h"
#include "driver/instances.h"
#include "excel/calc/calc_application.h"
#include "excel/calc/calc_test_support.h"
#include "gridmoor/host.h"

namespace {

using driver::Mode;
using ::testing::HasSubstr;

class OfficeFaultTest : public excel::calc::testing::CalcTest,
                        public ::testing::WithParamInterface<Mode> {
 protected:
  void SetUp() override {
    CalcTest::SetUp();
    // What loading the library does: the settings, the call limit among them.
    driver::OnLibraryLoad();
  }

  ExtInstance Started(ExtStatusRecord& status) {
    ExtInstance instance = nullptr;
    EXPECT_EQ(driver::CreateInstance(GetParam(), &instance, &status), 0) << status.text;
    // Direct mode opens the workbook by command, as the host does.
    if (GetParam() == Mode::kDirect) {
      EXPECT_EQ(driver::Command(instance, nullptr, EXT_CMD_OPEN_CASE_WORKBOOK, nullptr, 0, &status),
                0)
          << status.text;
    } else {
      EXPECT_EQ(driver::StartApp(instance, &status), 0) << status.text;
    }
    return instance;
  }
};

TEST_P(OfficeFaultTest, AStoppedOfficeFailsTheCommandAtTheLimit) {
  ExtStatusRecord status{};
  status.size = sizeof status;
  const ExtInstance frozen = Started(status);
  const int pid = excel::calc::CurrentOfficeProcessId();
  ASSERT_GT(pid, 0);
  ASSERT_TRUE(excel::calc::testing::Freeze(pid));

  const std::string copy = PathOf("copy.fods");
  EXPECT_EQ(driver::Command(frozen, nullptr, EXT_CMD_SAVE_CASE_WORKBOOK,
                            const_cast<char*>(copy.c_str()), 0, &status),
            1);
  EXPECT_THAT(status.text, HasSubstr("Failed to save: The office did not answer within 2 seconds"));
  // The workbook could not be closed: the stop says so, or in direct mode
  // (no stop of its own) the destroy.
  const bool direct = GetParam() == Mode::kDirect;
  EXPECT_EQ(driver::StopApp(frozen), direct ? 0 : 1);
  EXPECT_EQ(driver::DestroyInstance(frozen, &status), direct ? 1 : 0);
  if (direct) {
    EXPECT_THAT(status.text, HasSubstr("The workbook could not be closed"));
  }
  EXPECT_FALSE(excel::calc::testing::IsOurChild(pid));
}

INSTANTIATE_TEST_SUITE_P(Modes, OfficeFaultTest, ::testing::Values(Mode::kDirect, Mode::kThreaded),
                         [](const auto& info) {
                           return info.param == Mode::kDirect ? "Direct" : "Threaded";
                         });

}  // namespace
