#include "outcome/outcome.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>
#include <tuple>

namespace {

using outcome::Error;
using outcome::Expected;

std::tuple<bool, std::int32_t, std::string> Said(const Error& error) {
  return {static_cast<bool>(error), error.Result(), error.Message()};
}

TEST(Outcome, ErrorsAndExpectedsKeepTheirResultMessageAndValue) {
  EXPECT_EQ(Said(Error::Success()), std::tuple(false, outcome::kOk, ""));
  EXPECT_EQ(Said(Error::Failed("No workbook")), std::tuple(true, outcome::kFailed, "No workbook"));
  // A failure with no message is still a failure: "nothing to give".
  EXPECT_EQ(Said(Error::Failed("", outcome::kNone)), std::tuple(true, outcome::kNone, ""));
  EXPECT_EQ(Said(Error::Failed("x", outcome::kOk)), std::tuple(true, outcome::kFailed, "x"));

  Expected<std::unique_ptr<int>> value(std::make_unique<int>(7));
  ASSERT_TRUE(value);
  EXPECT_FALSE(value.GetError());
  const std::unique_ptr<int> taken = *std::move(value);  // move-only values pass through
  EXPECT_EQ(*taken, 7);
  Expected<std::string> failed(Error::Failed("Type mismatch"));
  ASSERT_FALSE(failed);
  EXPECT_EQ(failed.GetError().Message(), "Type mismatch");
  EXPECT_EQ(Said(failed.TakeError()), std::tuple(true, outcome::kFailed, "Type mismatch"));
}

#ifndef NDEBUG
// Each misuse stops the process, naming what was lost.
TEST(OutcomeDeathTest, MisuseAbortsInBuildsWithAssertions) {
  EXPECT_DEATH({ Error dropped = Error::Failed("Outputs!B4 is empty"); }, "unchecked failure.*B4");
  EXPECT_DEATH({ Error dropped = Error::Success(); }, "unchecked success");
  EXPECT_DEATH(
      {
        Error overwritten = Error::Failed("first");
        overwritten = Error::Failed("second");
        overwritten.Consume();
      },
      "unchecked failure.*first");
  EXPECT_DEATH({ Expected<int> dropped(Error::Failed("Type mismatch")); }, "Type mismatch");
  EXPECT_DEATH(
      {
        Expected<int> failed(Error::Failed("Type mismatch"));
        if (!failed) std::printf("%d", *failed);
      },
      "value of an Expected that holds an error: Type mismatch");
  EXPECT_DEATH({ Expected<int> none(Error::Success()); }, "built from a success");
}

TEST(Outcome, LookingMovingOrConsumingDischargesAnError) {
  EXPECT_TRUE(Error::Failed("a"));
  EXPECT_EQ(Error::Failed("b").Result(), outcome::kFailed);
  Error::Failed("c").Consume();
  Expected<int> holder(Error::Failed("d"));  // the duty moves on with it
  EXPECT_EQ(holder.TakeError().Message(), "d");
  Error checked = Error::Failed("e");
  ASSERT_TRUE(checked);
  Expected<int> rethrown(checked);  // a new result must be looked at again
  EXPECT_DEATH({ Expected<int> copy(rethrown); }, "unchecked failure was dropped: e");
  rethrown.Consume();
  Expected<int> value(3);  // a value needs no look
}
#endif

}  // namespace
